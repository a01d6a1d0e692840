#pragma once
// Applying the settings file to the option controls at start-up, and saving
// the controls to it ("Apply"). Both run in a fixed order that decides the
// outcome: setting a control runs its reaction, and a file created by a save
// lists the keys in the order they were first written.
#include "settings/OptionsPanel.h"
#include "settings/ProfileFile.h"

namespace settings {

// Both hold the settings lock (SettingsLock.h) from start to end.
//
// Does nothing when the file does not exist. Values other than exactly "Yes"
// or "No" change nothing. A reaction's failing write ends the load and is
// returned.
[[nodiscard]] platform::Result LoadSettings(OptionsPanel& panel, const ProfileFile& file);

// Writes all ten keys; stops with the failure of the first key that cannot be
// written (the keys before it stay written). Missing folders are created.
[[nodiscard]] platform::Result SaveSettings(const OptionsPanel& panel, ProfileFile& file);

// Writes one key of section "Options"; fails with "Unable to write to <path>".
[[nodiscard]] platform::Result WriteOption(ProfileFile& file, const std::string& key, const std::string& value);

}  // namespace settings
