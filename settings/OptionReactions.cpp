#include "settings/OptionReactions.h"

#include "settings/SettingsKeys.h"

namespace settings {

std::string LibraryMissingNotice(const std::string& folder) {
  return "Extraction not supported - libunrar.so not found in " + folder;
}

void ExtractToDirClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::Extract)) {
    panel.SetExtractDirEnabled(false);
    return;
  }
  if (panel.ExtractionLibraryPresent()) {
    panel.SetExtractDirEnabled(true);
    panel.SetChecked(Option::ChooseExtract, false);
    return;
  }
  panel.SetChecked(Option::Extract, false);
  panel.SetExtractDirEnabled(false);
  panel.SetExtractToDirEnabled(false);
  panel.ShowNotice(LibraryMissingNotice(panel.ExtractionLibraryFolder()));
  panel.WriteSetting(KeyOf(Option::Extract), kNo);
}

void ChooseExtractClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::ChooseExtract)) return;
  panel.SetChecked(Option::Extract, false);
  panel.SetExtractDirEnabled(false);
  if (panel.ExtractionLibraryPresent()) return;
  panel.SetChecked(Option::ChooseExtract, false);
  panel.ShowNotice(LibraryMissingNotice(panel.ExtractionLibraryFolder()));
}

void AfterExtClicked(OptionsPanel& panel) { panel.SetAfterRunEnabled(panel.IsChecked(Option::RunAfterExt)); }

void UseBinClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::UseCue)) return;
  panel.SetChecked(Option::UseCue, false);
  panel.SetChecked(Option::UseBin, true);
}

void UseCueClicked(OptionsPanel& panel) {
  if (!panel.IsChecked(Option::UseBin)) return;
  panel.SetChecked(Option::UseBin, false);
  panel.SetChecked(Option::UseCue, true);
}

void WordWrapClicked(OptionsPanel& panel) { panel.SetWordWrap(panel.IsChecked(Option::WordWrap)); }

void AlwaysOnTopClicked(OptionsPanel& panel) { panel.SetStayOnTop(panel.IsChecked(Option::AlwaysOnTop)); }

void RunReaction(OptionsPanel& panel, Option option) {
  switch (option) {
    case Option::Associate: break;
    case Option::Extract: ExtractToDirClicked(panel); break;
    case Option::ChooseExtract: ChooseExtractClicked(panel); break;
    case Option::RunAfterExt: AfterExtClicked(panel); break;
    case Option::UseBin: UseBinClicked(panel); break;
    case Option::UseCue: UseCueClicked(panel); break;
    case Option::WordWrap: WordWrapClicked(panel); break;
    case Option::AlwaysOnTop: AlwaysOnTopClicked(panel); break;
  }
}

}  // namespace settings
