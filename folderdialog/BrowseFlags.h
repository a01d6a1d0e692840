#pragma once
// The option set and root choices of the folder dialog component, with the
// picker flag value and special-folder number each one stands for.
#include <cstdint>
#include <initializer_list>

enum class TBrowseInfoFlags : uint8_t {
  OnlyComputers,
  OnlyPrinters,
  OnlyDomains,
  OnlyAncestors,
  OnlyFileSystem,
  ShowPath,
  EditBox,
  Includefiles,
  IncludeURLs,
  NewDialogStyle,
  UsageHint,
  HideNewFolderButton,
  ShowShared,
  Validate,
};
constexpr int kBrowseInfoFlagCount = 14;

// A set of TBrowseInfoFlags held in 16 bits: bit n for the member with ordinal n.
class TBrowseInfoFlagSet {
 public:
  constexpr TBrowseInfoFlagSet() = default;
  constexpr TBrowseInfoFlagSet(std::initializer_list<TBrowseInfoFlags> members) {
    for (TBrowseInfoFlags m : members) Include(m);
  }
  static constexpr TBrowseInfoFlagSet FromBits(uint16_t bits) {
    TBrowseInfoFlagSet s;
    s.bits_ = static_cast<uint16_t>(bits & ((1u << kBrowseInfoFlagCount) - 1));
    return s;
  }

  constexpr bool Contains(TBrowseInfoFlags m) const { return (bits_ & Bit(m)) != 0; }
  constexpr void Include(TBrowseInfoFlags m) { bits_ = static_cast<uint16_t>(bits_ | Bit(m)); }
  constexpr void Exclude(TBrowseInfoFlags m) { bits_ = static_cast<uint16_t>(bits_ & ~Bit(m)); }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TBrowseInfoFlagSet&) const = default;

 private:
  static constexpr uint16_t Bit(TBrowseInfoFlags m) { return static_cast<uint16_t>(1u << static_cast<unsigned>(m)); }
  uint16_t bits_ = 0;
};

constexpr TBrowseInfoFlagSet kDefaultBrowseFlags{TBrowseInfoFlags::ShowPath, TBrowseInfoFlags::NewDialogStyle,
                                                 TBrowseInfoFlags::ShowShared};

// The picker flag value of one member (BIF_* values) and of a whole set.
uint32_t BrowseFlagValue(TBrowseInfoFlags member);
uint32_t BrowseFlagValue(TBrowseInfoFlagSet set);

enum class TSHFolders : uint8_t {
  foDesktop,
  foDesktopExpanded,
  foPrograms,
  foControlPanel,
  foPrinters,
  foPersonal,
  foFavorites,
  foStartup,
  foRecent,
  foSendto,
  foRecycleBin,
  foStartMenu,
  foDesktopFolder,
  foMyComputer,
  foNetwork,
  foNetworkNeighborhood,
  foFonts,
  foTemplates,
};

// The special-folder number a root choice names; -1 for foDesktopExpanded,
// which has no root item.
int SpecialFolderNumber(TSHFolders root);
