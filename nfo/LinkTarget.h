#pragma once
// What a click on a word hands to the desktop's opener.
#include <string>
#include <string_view>

namespace links {

// The address in a web-link word: from the first letter of its scheme (written
// in lower case) to the end of the word, cut before any artwork character
// (codes above 127), with trailing punctuation .,;:!?'")]}> removed.
// "" when the word holds no web link.
std::string WebTarget(std::string_view word);

// "mailto:" and the address around the word's first "@", without the label,
// brackets, quotes, punctuation or artwork characters written against it.
// "" when no address is left.
std::string MailTarget(std::string_view word);

// The one target a click on `word` opens: the web address when the word is a
// web link, otherwise the mail target when it is an e-mail link, otherwise "".
std::string LinkTarget(std::string_view word);

}  // namespace links
