#include "settings/SettingsKeys.h"

namespace settings {

const char* KeyOf(Option option) {
  switch (option) {
    case Option::Associate: return "Associate";
    case Option::Extract: return "Extract";
    case Option::ChooseExtract: return "ChooseExtract";
    case Option::RunAfterExt: return "RunAfterExt";
    case Option::UseBin: return "UseBin";
    case Option::UseCue: return "UseCue";
    case Option::WordWrap: return "WordWrap";
    case Option::AlwaysOnTop: return "AlwaysOnTop";
  }
  return "";
}

std::string UnableToWriteText(const std::string& path) { return "Unable to write to " + path; }

}  // namespace settings
