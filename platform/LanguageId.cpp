#include "platform/LanguageId.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

struct Language {
  std::string_view code;  // ISO 639 code as used in locale names
  uint16_t primary;       // Windows primary language
  uint16_t sublang;       // sub-language used when the territory is unknown
};

constexpr Language kLanguages[] = {
    {"ar", 0x01, 1}, {"bg", 0x02, 1}, {"ca", 0x03, 1}, {"zh", 0x04, 2}, {"cs", 0x05, 1}, {"da", 0x06, 1},
    {"de", 0x07, 1}, {"el", 0x08, 1}, {"en", 0x09, 1}, {"es", 0x0A, 3}, {"fi", 0x0B, 1}, {"fr", 0x0C, 1},
    {"he", 0x0D, 1}, {"hu", 0x0E, 1}, {"is", 0x0F, 1}, {"it", 0x10, 1}, {"ja", 0x11, 1}, {"ko", 0x12, 1},
    {"nl", 0x13, 1}, {"nb", 0x14, 1}, {"no", 0x14, 1}, {"nn", 0x14, 2}, {"pl", 0x15, 1}, {"pt", 0x16, 1},
    {"ro", 0x18, 1}, {"ru", 0x19, 1}, {"hr", 0x1A, 1}, {"sk", 0x1B, 1}, {"sq", 0x1C, 1}, {"sv", 0x1D, 1},
    {"th", 0x1E, 1}, {"tr", 0x1F, 1}, {"id", 0x21, 1}, {"uk", 0x22, 1}, {"be", 0x23, 1}, {"sl", 0x24, 1},
    {"et", 0x25, 1}, {"lv", 0x26, 1}, {"lt", 0x27, 1}, {"vi", 0x2A, 1}, {"hi", 0x39, 1}, {"ga", 0x3C, 2},
};

struct Territory {
  std::string_view language;
  std::string_view territory;
  uint16_t sublang;
};

// Territories whose sub-language differs from the language's default one.
constexpr Territory kTerritories[] = {
    {"de", "DE", 1},  {"de", "CH", 2},  {"de", "AT", 3},  {"de", "LU", 4},  {"de", "LI", 5},  {"en", "US", 1},
    {"en", "GB", 2},  {"en", "AU", 3},  {"en", "CA", 4},  {"en", "NZ", 5},  {"en", "IE", 6},  {"en", "ZA", 7},
    {"en", "JM", 8},  {"en", "BZ", 10}, {"en", "TT", 11}, {"en", "ZW", 12}, {"en", "PH", 13}, {"en", "IN", 16},
    {"en", "MY", 17}, {"en", "SG", 18}, {"fr", "FR", 1},  {"fr", "BE", 2},  {"fr", "CA", 3},  {"fr", "CH", 4},
    {"fr", "LU", 5},  {"fr", "MC", 6},  {"it", "IT", 1},  {"it", "CH", 2},  {"nl", "NL", 1},  {"nl", "BE", 2},
    {"pt", "BR", 1},  {"pt", "PT", 2},  {"es", "ES", 3},  {"es", "MX", 2},  {"es", "GT", 4},  {"es", "CR", 5},
    {"es", "PA", 6},  {"es", "DO", 7},  {"es", "VE", 8},  {"es", "CO", 9},  {"es", "PE", 10}, {"es", "AR", 11},
    {"es", "EC", 12}, {"es", "CL", 13}, {"es", "UY", 14}, {"es", "PY", 15}, {"es", "BO", 16}, {"es", "SV", 17},
    {"es", "HN", 18}, {"es", "NI", 19}, {"es", "PR", 20}, {"es", "US", 21}, {"sv", "SE", 1},  {"sv", "FI", 2},
    {"zh", "TW", 1},  {"zh", "CN", 2},  {"zh", "HK", 3},  {"zh", "SG", 4},  {"zh", "MO", 5},  {"ar", "SA", 1},
    {"ar", "IQ", 2},  {"ar", "EG", 3},  {"ar", "LY", 4},  {"ar", "DZ", 5},  {"ar", "MA", 6},  {"ar", "TN", 7},
    {"ar", "OM", 8},  {"ar", "YE", 9},  {"ar", "SY", 10}, {"ar", "JO", 11}, {"ar", "LB", 12}, {"ar", "KW", 13},
    {"ar", "AE", 14}, {"ar", "BH", 15}, {"ar", "QA", 16},
};

constexpr uint16_t kEnglishUs = 0x0409;

uint16_t MakeId(uint16_t primary, uint16_t sublang) { return static_cast<uint16_t>((sublang << 10) | primary); }

std::string_view Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string_view(v) : std::string_view();
}

}  // namespace

uint16_t LanguageIdFromLocale(std::string_view locale) {
  // language[_territory][.codeset][@modifier]
  locale = locale.substr(0, locale.find_first_of(".@"));
  const size_t sep = locale.find_first_of("_-");
  const std::string_view language = locale.substr(0, sep);
  const std::string_view territory = sep == std::string_view::npos ? std::string_view() : locale.substr(sep + 1);

  for (const Language& lang : kLanguages) {
    if (lang.code != language) continue;
    for (const Territory& t : kTerritories) {
      if (t.language == language && t.territory == territory) return MakeId(lang.primary, t.sublang);
    }
    return MakeId(lang.primary, lang.sublang);
  }
  return kEnglishUs;  // C, POSIX, empty, or a language without a table entry
}

std::string MessageLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string_view v = Env(name);
    if (!v.empty()) return std::string(v);
  }
  return "C";
}

uint16_t SystemLanguageId() { return LanguageIdFromLocale(MessageLocale()); }

std::string LanguageKey(uint16_t id) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(id));
  return buf;
}

}  // namespace platform
