#pragma once
// Language-dependent caption lists: lines of the form key=text, where the key is
// "Default" or a language key of four upper-case hexadecimal digits.
#include <string>
#include <string_view>
#include <vector>

using CaptionList = std::vector<std::string>;

// The built-in caption of the folder dialog's "New folder" button and of the
// label above its folder tree, 29 lines each, in UTF-8.
const CaptionList& BuiltInNewFolderCaptions();
const CaptionList& BuiltInLabelCaptions();

// The key of a caption line (the part before the first '='; empty when the
// line has none) and its text (the part after it; the whole line when none).
std::string_view CaptionKey(std::string_view line);
std::string_view CaptionText(std::string_view line);

// The caption for `languageKey`: an empty list gives ""; otherwise the text of
// the first line whose key equals the language key, letter case ignored; else
// that of the first "Default" line; else that of the first line. There is no
// fallback from a sub-language to its primary language.
std::string LookupCaption(const CaptionList& lines, std::string_view languageKey);
