#include "extract/FollowUp.h"

#include "platform/DirSearch.h"

#include <cerrno>
#include <cstring>
#include <unordered_set>

namespace extract {

namespace {

// The image search, taking from each kind's matches (sorted) the first that
// `accept` agrees to.
template <typename Accept>
std::string SearchImage(const std::string& folder, bool useBin, bool useCue, Accept accept) {
  std::string found;
  auto look = [&](std::string_view pattern) {
    for (const std::string& name : platform::FindAll(folder, pattern)) {
      if (!accept(name)) continue;
      found = platform::JoinPath(folder, name);
      return;
    }
  };
  look("*.iso");
  if (useBin) look("*.bin");
  if (useCue) look("*.cue");
  return found;
}

// The name an entry was written under directly inside the extraction folder
// ("game.iso", "./game.iso"), or "" for an entry inside a sub-folder.
std::string TopLevelName(std::string_view entry) {
  std::string name;
  size_t start = 0;
  while (start <= entry.size()) {
    size_t end = entry.find('/', start);
    if (end == std::string_view::npos) end = entry.size();
    const std::string_view part = entry.substr(start, end - start);
    if (!part.empty() && part != ".") {
      if (!name.empty()) return "";
      name = part;
    }
    start = end + 1;
  }
  return name;
}

}  // namespace

std::string FindImage(const std::string& folder, bool useBin, bool useCue) {
  return SearchImage(folder, useBin, useCue, [](const std::string&) { return true; });
}

std::string FindWrittenImage(const std::string& folder, bool useBin, bool useCue,
                             const std::vector<std::string>& written) {
  std::unordered_set<std::string> names;
  for (const auto& entry : written)
    if (std::string name = TopLevelName(entry); !name.empty()) names.insert(std::move(name));
  return SearchImage(folder, useBin, useCue, [&](const std::string& name) { return names.count(name) != 0; });
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
