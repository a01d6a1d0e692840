#pragma once
// What the option controls do when clicked (or set by code, which counts as a
// click when the state changes). The window's click handlers call these.
#include <string>

#include "settings/OptionsPanel.h"

namespace settings {

// The notice shown when the extraction library is not where the loader looks
// first. `folder` ends in '/'.
std::string LibraryMissingNotice(const std::string& folder);

// "Extract to Directory" and "I want to choose where to extract": with the
// extraction library present they exclude each other; without it neither can
// stay checked, and "Extract to Directory" is disabled for good and saved as
// "No" at once.
//
// Each reaction returns the failure of a settings write it made or set off
// (a control set by a reaction runs that control's reaction in turn).
platform::Result ExtractToDirClicked(OptionsPanel&);
platform::Result ChooseExtractClicked(OptionsPanel&);

platform::Result AfterExtClicked(OptionsPanel&);  // the command box follows the check box
platform::Result UseBinClicked(OptionsPanel&);    // the two radio buttons exclude each other
platform::Result UseCueClicked(OptionsPanel&);
platform::Result WordWrapClicked(OptionsPanel&);  // applied to the viewer at once
platform::Result AlwaysOnTopClicked(OptionsPanel&);

// Runs the click reaction of `option` for its current state ("Associate" has
// none here: the association is the window's own).
platform::Result RunReaction(OptionsPanel&, Option option);

}  // namespace settings
