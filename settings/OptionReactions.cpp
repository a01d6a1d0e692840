#include "settings/OptionReactions.h"

#include "settings/SettingsKeys.h"

namespace settings {

std::string LibraryMissingNotice(const std::string& folder) {
  return "Extraction not supported - libunrar.so not found in " + folder;
}

platform::Result ExtractToDirClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::Extract)) {
    panel.SetExtractDirEnabled(false);
    return platform::Result::Ok();
  }
  if (panel.ExtractionLibraryPresent()) {
    panel.SetExtractDirEnabled(true);
    return panel.SetChecked(Option::ChooseExtract, false);
  }
  if (platform::Result done = panel.SetChecked(Option::Extract, false); !done) return done;
  panel.SetExtractDirEnabled(false);
  panel.SetExtractToDirEnabled(false);
  panel.ShowNotice(LibraryMissingNotice(panel.ExtractionLibraryFolder()));
  return panel.WriteSetting(KeyOf(Option::Extract), kNo);
}

platform::Result ChooseExtractClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::ChooseExtract)) return platform::Result::Ok();
  if (platform::Result done = panel.SetChecked(Option::Extract, false); !done) return done;
  panel.SetExtractDirEnabled(false);
  if (panel.ExtractionLibraryPresent()) return platform::Result::Ok();
  if (platform::Result done = panel.SetChecked(Option::ChooseExtract, false); !done) return done;
  panel.ShowNotice(LibraryMissingNotice(panel.ExtractionLibraryFolder()));
  return platform::Result::Ok();
}

platform::Result AfterExtClicked(OptionsPanel& panel) {
  panel.SetAfterRunEnabled(panel.IsChecked(Option::RunAfterExt));
  return platform::Result::Ok();
}

platform::Result UseBinClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::UseCue)) return platform::Result::Ok();
  if (platform::Result done = panel.SetChecked(Option::UseCue, false); !done) return done;
  return panel.SetChecked(Option::UseBin, true);
}

platform::Result UseCueClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::UseBin)) return platform::Result::Ok();
  if (platform::Result done = panel.SetChecked(Option::UseBin, false); !done) return done;
  return panel.SetChecked(Option::UseCue, true);
}

platform::Result WordWrapClicked(OptionsPanel& panel) {
  panel.SetWordWrap(panel.IsChecked(Option::WordWrap));
  return platform::Result::Ok();
}

platform::Result AlwaysOnTopClicked(OptionsPanel& panel) {
  panel.SetStayOnTop(panel.IsChecked(Option::AlwaysOnTop));
  return platform::Result::Ok();
}

platform::Result RunReaction(OptionsPanel& panel, Option option) {
  switch (option) {
    case Option::Associate: break;
    case Option::Extract: return ExtractToDirClicked(panel);
    case Option::ChooseExtract: return ChooseExtractClicked(panel);
    case Option::RunAfterExt: return AfterExtClicked(panel);
    case Option::UseBin: return UseBinClicked(panel);
    case Option::UseCue: return UseCueClicked(panel);
    case Option::WordWrap: return WordWrapClicked(panel);
    case Option::AlwaysOnTop: return AlwaysOnTopClicked(panel);
  }
  return platform::Result::Ok();
}

}  // namespace settings
