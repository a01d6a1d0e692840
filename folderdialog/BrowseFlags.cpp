#include "folderdialog/BrowseFlags.h"

namespace {
constexpr uint32_t kFlagValues[kBrowseInfoFlagCount] = {
    0x1000,  // OnlyComputers
    0x2000,  // OnlyPrinters
    0x0002,  // OnlyDomains
    0x0008,  // OnlyAncestors
    0x0001,  // OnlyFileSystem
    0x0004,  // ShowPath
    0x0010,  // EditBox
    0x4000,  // Includefiles
    0x0080,  // IncludeURLs
    0x0040,  // NewDialogStyle
    0x0100,  // UsageHint
    0x0200,  // HideNewFolderButton
    0x8000,  // ShowShared
    0x0020,  // Validate
};

constexpr int kRootNumbers[] = {0, -1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 20, 21};
}  // namespace

uint32_t BrowseFlagValue(TBrowseInfoFlags member) { return kFlagValues[static_cast<int>(member)]; }

uint32_t BrowseFlagValue(TBrowseInfoFlagSet set) {
  uint32_t value = 0;
  for (int i = 0; i < kBrowseInfoFlagCount; ++i) {
    const auto m = static_cast<TBrowseInfoFlags>(i);
    if (set.Contains(m)) value |= BrowseFlagValue(m);
  }
  return value;
}

int SpecialFolderNumber(TSHFolders root) { return kRootNumbers[static_cast<int>(root)]; }
