#include "extract/FirstVolume.h"

#include <cctype>
#include <string_view>

namespace extract {

namespace {

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  std::string_view tail = name.substr(name.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) != std::tolower(static_cast<unsigned char>(suffix[i])))
      return false;
  }
  return true;
}

enum class RarKind { NotRar, Plain, FirstPart, LaterPart };

// Classifies a ".rar" name: "x.part<digits>.rar" is a part of a numbered set
// (first when the digits are all zeros but a final 1), anything else plain.
RarKind ClassifyRar(std::string_view name) {
  if (!EndsWithNoCase(name, ".rar")) return RarKind::NotRar;
  std::string_view stem = name.substr(0, name.size() - 4);
  size_t digits = 0;
  while (digits < stem.size() && std::isdigit(static_cast<unsigned char>(stem[stem.size() - 1 - digits]))) ++digits;
  if (digits == 0 || !EndsWithNoCase(stem.substr(0, stem.size() - digits), ".part")) return RarKind::Plain;
  std::string_view number = stem.substr(stem.size() - digits);
  size_t firstNonZero = number.find_first_not_of('0');
  bool isOne = firstNonZero == number.size() - 1 && number.back() == '1';
  return isOne ? RarKind::FirstPart : RarKind::LaterPart;
}

}  // namespace

std::string FindFirstVolume(const std::vector<std::string>& names) {
  const std::string* starter = nullptr;    // last plain or first-part ".rar"
  const std::string* laterPart = nullptr;  // last ".partN.rar" with N != 1
  for (const auto& name : names) {
    switch (ClassifyRar(name)) {
      case RarKind::Plain:
      case RarKind::FirstPart: starter = &name; break;
      case RarKind::LaterPart: laterPart = &name; break;
      case RarKind::NotRar: break;
    }
  }
  if (starter) return *starter;
  if (laterPart) return *laterPart;

  for (std::string_view ext : {".r00", ".000", ".001"}) {
    const std::string* last = nullptr;
    for (const auto& name : names)
      if (EndsWithNoCase(name, ext)) last = &name;
    if (last) return *last;
  }
  return "";
}

}  // namespace extract
