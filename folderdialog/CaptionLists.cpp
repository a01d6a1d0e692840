#include "folderdialog/CaptionLists.h"

#include <algorithm>
#include <cctype>

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Lines without a key never match, not even an empty language key.
bool FindLine(const CaptionList& lines, std::string_view key, std::string* text) {
  for (const std::string& line : lines) {
    const std::string_view lineKey = CaptionKey(line);
    if (!lineKey.empty() && EqualNoCase(lineKey, key)) {
      *text = std::string(CaptionText(line));
      return true;
    }
  }
  return false;
}

}  // namespace

const CaptionList& BuiltInNewFolderCaptions() {
  static const CaptionList list = {
      "Default=New folder",   "0009=New folder",      "0406=Ny mappe",        "0407=Neuer Ordner",
      "0409=New folder",      "040C=Nouveau Dossier", "0410=Nuova Cartella",  "0413=Nieuwe map",
      "0415=Nowy folder",     "0416=Nova Pasta",      "0807=Neuer Ordner",    "0809=New folder",
      "080C=Nouveau Dossier", "0810=Nuova Cartella",  "0C07=Neuer Ordner",    "0C09=New folder",
      "0C0C=Nouveau Dossier", "1007=Neuer Ordner",    "1009=New folder",      "100C=Nouveau Dossier",
      "1407=Neuer Ordner",    "1409=New folder",      "140C=Nouveau Dossier", "1809=New folder",
      "180C=Nouveau Dossier", "1C09=New folder",      "2009=New folder",      "2809=New folder",
      "2C09=New folder",
  };
  return list;
}

const CaptionList& BuiltInLabelCaptions() {
  static const CaptionList list = {
      "Default=Current folder:",
      "0009=Current folder:",
      "0406=Valgt mappe:",
      "0407=Ausgew\u00e4hlter Ordner:",
      "0409=Current folder:",
      "040C=Dossier Courant:",
      "0410=Cartella selezionata:",
      "0413=Huidige map:",
      "0415=Bie\u017c\u0105cy folder",
      "0416=Pasta Atual:",
      "0807=Ausgew\u00e4hlter Ordner:",
      "0809=Current folder:",
      "080C=Dossier Courant:",
      "0810=Cartella selezionata:",
      "0C07=Ausgew\u00e4hlter Ordner:",
      "0C09=Current folder:",
      "0C0C=Dossier Courant:",
      "1007=Ausgew\u00e4hlter Ordner:",
      "1009=Current folder:",
      "100C=Dossier Courant:",
      "1407=Ausgew\u00e4hlter Ordner:",
      "1409=Current folder:",
      "140C=Dossier Courant:",
      "1809=Current folder:",
      "180C=Dossier Courant:",
      "1C09=Current folder:",
      "2009=Current folder:",
      "2809=Current folder:",
      "2C09=Current folder:",
  };
  return list;
}

std::string_view CaptionKey(std::string_view line) {
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
}

std::string_view CaptionText(std::string_view line) {
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? line : line.substr(eq + 1);
}

std::string LookupCaption(const CaptionList& lines, std::string_view languageKey) {
  if (lines.empty()) return {};
  std::string text;
  if (FindLine(lines, languageKey, &text) || FindLine(lines, "Default", &text)) return text;
  return std::string(CaptionText(lines.front()));
}
