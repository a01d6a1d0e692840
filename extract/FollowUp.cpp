#include "extract/FollowUp.h"

#include "platform/DirSearch.h"

#include <cerrno>
#include <cstring>

namespace extract {

std::string FindImage(const std::string& folder, bool useBin, bool useCue) {
  std::string found;
  auto look = [&](std::string_view pattern) {
    std::string name = platform::FindFirst(folder, pattern);
    if (!name.empty()) found = platform::JoinPath(folder, name);
  };
  look("*.iso");
  if (useBin) look("*.bin");
  if (useCue) look("*.cue");
  return found;
}

std::optional<std::vector<std::string>> SplitCommand(std::string_view command) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;  // a word has started (it may still be empty: "")
  size_t i = 0;
  const size_t n = command.size();
  while (i < n) {
    char c = command[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      ++i;
    } else if (c == '\\') {
      if (i + 1 >= n) return std::nullopt;
      if (command[i + 1] != '\n') {
        word += command[i + 1];
        inWord = true;
      }
      i += 2;
    } else if (c == '\'') {
      size_t close = command.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      word.append(command.substr(i + 1, close - i - 1));
      inWord = true;
      i = close + 1;
    } else if (c == '"') {
      inWord = true;
      ++i;
      for (;;) {
        if (i >= n) return std::nullopt;
        char d = command[i];
        if (d == '"') {
          ++i;
          break;
        }
        if (d == '\\' && i + 1 < n) {
          char e = command[i + 1];
          if (e == '$' || e == '`' || e == '"' || e == '\\') {
            word += e;
            i += 2;
            continue;
          }
          if (e == '\n') {
            i += 2;
            continue;
          }
        }
        word += d;
        ++i;
      }
    } else {
      word += c;
      inWord = true;
      ++i;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string SubstituteImage(std::string_view word, std::string_view image) {
  std::string out;
  size_t i = 0;
  while (i < word.size()) {
    if (word[i] == '%' && i + 1 < word.size() && (word[i + 1] == 'F' || word[i + 1] == 'f')) {
      out.append(image);
      i += 2;
    } else {
      out += word[i++];
    }
  }
  return out;
}

std::optional<std::vector<std::string>> BuildFollowUpArgs(std::string_view command, std::string_view image) {
  auto words = SplitCommand(command);
  if (!words || words->empty()) return std::nullopt;
  for (auto& w : *words) w = SubstituteImage(w, image);
  return words;
}

namespace {

bool HasPlaceholder(std::string_view word) {
  return word.find("%F") != std::string_view::npos || word.find("%f") != std::string_view::npos;
}

}  // namespace

platform::Expected<pid_t> LaunchFollowUp(std::string_view command, std::string_view image) {
  auto args = BuildFollowUpArgs(command, image);
  if (!args) return platform::Expected<pid_t>::Failed(std::strerror(EINVAL));
  // A program word built from the image path names a file that came out of
  // the archive: it is opened, never executed, whatever its mode says.
  if (HasPlaceholder(SplitCommand(command)->front())) return platform::OpenFile(args->front());
  return platform::StartOrOpen(*args);
}

}  // namespace extract
