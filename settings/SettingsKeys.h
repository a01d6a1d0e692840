#pragma once
// Names and values of the settings file's section "Options".
#include <string>

#include "settings/OptionsPanel.h"

namespace settings {

inline constexpr char kOptionsSection[] = "Options";
inline constexpr char kYes[] = "Yes";
inline constexpr char kNo[] = "No";
inline constexpr char kExtractToKey[] = "ExtractTo";
inline constexpr char kAfterExtractKey[] = "AfterExtract";

// The key that stores the state of an option control.
const char* KeyOf(Option);

// The text of the error report for a settings file that cannot be written.
std::string UnableToWriteText(const std::string& path);

}  // namespace settings
