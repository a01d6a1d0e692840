#include "settings/SettingsLoadSave.h"

#include "platform/Folders.h"
#include "platform/Path.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsLock.h"

namespace settings {

namespace {

bool Holds(const ProfileFile& file, Option option, const char* expected) {
  // Each test reads its key afresh: a reaction may have written the file.
  return file.ReadString(kOptionsSection, KeyOf(option)) == expected;
}

}  // namespace

platform::Result WriteOption(ProfileFile& file, const std::string& key, const std::string& value) {
  if (!file.WriteString(kOptionsSection, key, value, /*createFolders=*/true))
    return platform::Result::Failed(UnableToWriteText(file.Path()));
  return platform::Result::Ok();
}

// Each step of a load or save returns at once when it fails.
#define RETURN_IF_FAILED(step) \
  if (platform::Result done = step; !done) return done

platform::Result LoadSettings(OptionsPanel& panel, const ProfileFile& file) {
  if (!file.Exists()) return platform::Result::Ok();
  const SettingsLock lock(file.Path());

  if (Holds(file, Option::Extract, kYes)) RETURN_IF_FAILED(panel.SetChecked(Option::Extract, true));
  if (Holds(file, Option::ChooseExtract, kYes)) {
    RETURN_IF_FAILED(panel.SetChecked(Option::Extract, false));
    panel.SetExtractDirEnabled(false);
    RETURN_IF_FAILED(panel.SetChecked(Option::ChooseExtract, true));
  }
  if (Holds(file, Option::ChooseExtract, kNo)) {
    RETURN_IF_FAILED(panel.SetChecked(Option::Extract, true));
    panel.SetExtractDirEnabled(true);
    RETURN_IF_FAILED(panel.SetChecked(Option::ChooseExtract, false));
  }
  if (Holds(file, Option::RunAfterExt, kYes)) {
    RETURN_IF_FAILED(panel.SetChecked(Option::RunAfterExt, true));
    panel.SetAfterRunEnabled(true);
  }
  for (const bool on : {true, false}) {
    if (!Holds(file, Option::WordWrap, on ? kYes : kNo)) continue;
    RETURN_IF_FAILED(panel.SetChecked(Option::WordWrap, on));
    panel.SetWordWrap(on);
  }
  for (const bool on : {true, false}) {
    if (!Holds(file, Option::AlwaysOnTop, on ? kYes : kNo)) continue;
    RETURN_IF_FAILED(panel.SetChecked(Option::AlwaysOnTop, on));
    panel.SetStayOnTop(on);
  }
  if (Holds(file, Option::UseBin, kYes)) RETURN_IF_FAILED(panel.SetChecked(Option::UseBin, true));
  if (Holds(file, Option::UseCue, kYes)) RETURN_IF_FAILED(panel.SetChecked(Option::UseCue, true));
  panel.SetExtractDir(file.ReadString(kOptionsSection, kExtractToKey));
  panel.SetAfterRun(file.ReadString(kOptionsSection, kAfterExtractKey));
  return platform::Result::Ok();
}

platform::Result SaveSettings(const OptionsPanel& panel, ProfileFile& file) {
  static constexpr Option kYesOrder[] = {Option::Associate, Option::Extract,    Option::RunAfterExt,
                                         Option::UseBin,    Option::UseCue,     Option::ChooseExtract,
                                         Option::WordWrap,  Option::AlwaysOnTop};
  static constexpr Option kNoOrder[] = {Option::AlwaysOnTop, Option::WordWrap, Option::ChooseExtract,
                                        Option::Associate,   Option::Extract,  Option::RunAfterExt,
                                        Option::UseBin,      Option::UseCue};
  // The folder, for the lock file; a failure shows in the first write below.
  if (const std::string folder = platform::FolderOf(file.Path()); !folder.empty())
    static_cast<void>(platform::CreateFolders(folder, kNewFolderMode));
  const SettingsLock lock(file.Path());
  for (Option option : kYesOrder)
    if (panel.IsChecked(option)) RETURN_IF_FAILED(WriteOption(file, KeyOf(option), kYes));
  for (Option option : kNoOrder)
    if (!panel.IsChecked(option)) RETURN_IF_FAILED(WriteOption(file, KeyOf(option), kNo));
  RETURN_IF_FAILED(WriteOption(file, kExtractToKey, panel.ExtractDir()));
  return WriteOption(file, kAfterExtractKey, panel.AfterRun());
}

#undef RETURN_IF_FAILED

}  // namespace settings
