#pragma once
// The system language as a Windows language identifier (LANGID): the primary
// language in the low 10 bits, the sub-language above them. Captions and other
// per-language tables of the program are keyed by it.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Identifier for a POSIX locale name such as "de_CH.UTF-8", "fr_FR@euro" or
// "pl". A language without a known territory gives its default sub-language
// (de -> 0407); "C", "POSIX", an empty name and unknown languages give 0409.
uint16_t LanguageIdFromLocale(std::string_view locale);

// The locale that decides message language: the first non-empty one of
// LC_ALL, LC_MESSAGES and LANG; "C" when none is set.
std::string MessageLocale();

// LanguageIdFromLocale(MessageLocale()).
uint16_t SystemLanguageId();

// Exactly four upper-case hexadecimal digits: 0x0807 -> "0807".
std::string LanguageKey(uint16_t id);

}  // namespace platform
