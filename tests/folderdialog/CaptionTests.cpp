#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "folderdialog/BrowseFlags.h"
#include "folderdialog/CaptionLists.h"
#include "platform/LanguageId.h"

namespace {

TEST(CaptionLookup, BuiltInListsByLanguage) {
  struct Case {
    const char* key;
    const char* newFolder;
    const char* label;
  };
  const Case cases[] = {
      {"0407", "Neuer Ordner", "Ausgew\u00e4hlter Ordner:"},
      {"0807", "Neuer Ordner", "Ausgew\u00e4hlter Ordner:"},
      {"0C0A", "New folder", "Current folder:"},  // Spanish is not listed: the Default line
      {"0415", "Nowy folder", "Bie\u017c\u0105cy folder"},
      {"040c", "Nouveau Dossier", "Dossier Courant:"},  // keys compare without letter case
      {"0416", "Nova Pasta", "Pasta Atual:"},
      {"0413", "Nieuwe map", "Huidige map:"},
      {"0406", "Ny mappe", "Valgt mappe:"},
      {"0810", "Nuova Cartella", "Cartella selezionata:"},
      {"0009", "New folder", "Current folder:"},
      {"0007", "New folder", "Current folder:"},  // no fallback from a primary language either
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LookupCaption(BuiltInNewFolderCaptions(), c.key), c.newFolder) << c.key;
    EXPECT_EQ(LookupCaption(BuiltInLabelCaptions(), c.key), c.label) << c.key;
  }
}

TEST(CaptionLookup, BuiltInListsShareTheirKeys) {
  const CaptionList& a = BuiltInNewFolderCaptions();
  const CaptionList& b = BuiltInLabelCaptions();
  ASSERT_EQ(a.size(), 29u);
  ASSERT_EQ(b.size(), 29u);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(CaptionKey(a[i]), CaptionKey(b[i])) << i;
  EXPECT_EQ(CaptionKey(a.front()), "Default");
  // The German label in UTF-8; the Polish one is 14 characters without a colon.
  EXPECT_EQ(b[3], "0407=Ausgew\xc3\xa4hlter Ordner:");
  EXPECT_EQ(CaptionText(b[8]),
            "Bie\xc5\xbc\xc4\x85"
            "cy folder");
}

TEST(CaptionLookup, UserListsFallBackToDefaultThenFirstLine) {
  const CaptionList titles = {"0409=Pick a folder", "040C=Choisir un dossier"};
  EXPECT_EQ(LookupCaption(titles, "0407"), "Pick a folder");  // neither key nor Default: first line
  EXPECT_EQ(LookupCaption(titles, "040C"), "Choisir un dossier");
  EXPECT_EQ(LookupCaption({}, "0407"), "");

  const CaptionList withDefault = {"0409=English", "default=Fallback", "0407=Deutsch", "0407=Second"};
  EXPECT_EQ(LookupCaption(withDefault, "0C0A"), "Fallback");  // "Default" compares without case too
  EXPECT_EQ(LookupCaption(withDefault, "0407"), "Deutsch");   // the first matching line wins

  // Texts may hold '='; lines without a key never match a key but still count as the first line.
  const CaptionList odd = {"plain title", "0407=a=b"};
  EXPECT_EQ(LookupCaption(odd, "0407"), "a=b");
  EXPECT_EQ(LookupCaption(odd, "0409"), "plain title");
  EXPECT_EQ(LookupCaption(odd, ""), "plain title");
}

TEST(LanguageId, LocaleNamesMapToWindowsIdentifiers) {
  struct Case {
    const char* locale;
    uint16_t id;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", 0x0407}, {"de_CH.UTF-8", 0x0807}, {"de_AT", 0x0C07}, {"de_DE@euro", 0x0407},
      {"de", 0x0407},          {"de_BE", 0x0407},       {"fr_FR", 0x040C}, {"fr_CA.UTF-8", 0x0C0C},
      {"pl_PL.UTF-8", 0x0415}, {"pt_BR", 0x0416},       {"pt_PT", 0x0816}, {"es_ES.UTF-8", 0x0C0A},
      {"en_GB.UTF-8", 0x0809}, {"en_US", 0x0409},       {"nl_BE", 0x0813}, {"da_DK", 0x0406},
      {"C", 0x0409},           {"C.UTF-8", 0x0409},     {"POSIX", 0x0409}, {"", 0x0409},
      {"xx_YY", 0x0409},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::LanguageIdFromLocale(c.locale), c.id) << c.locale;
  EXPECT_EQ(platform::LanguageKey(0x0C0A), "0C0A");
  EXPECT_EQ(platform::LanguageKey(0x0009), "0009");
}

TEST(LanguageId, MessageLocaleFollowsTheUsualPrecedence) {
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "de_CH.UTF-8", 1);
  EXPECT_EQ(platform::LanguageKey(platform::SystemLanguageId()), "0807");
  setenv("LC_MESSAGES", "fr_FR.UTF-8", 1);
  EXPECT_EQ(platform::SystemLanguageId(), 0x040C);
  setenv("LC_ALL", "", 1);  // empty values do not count
  EXPECT_EQ(platform::SystemLanguageId(), 0x040C);
  setenv("LC_ALL", "pl_PL", 1);
  EXPECT_EQ(platform::SystemLanguageId(), 0x0415);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "C", 1);
  EXPECT_EQ(platform::LanguageKey(platform::SystemLanguageId()), "0409");
  unsetenv("LANG");
  EXPECT_EQ(platform::SystemLanguageId(), 0x0409);
}

TEST(BrowseFlags, DefaultSetAndItsPickerFlags) {
  EXPECT_EQ(kDefaultBrowseFlags.Bits(), 0x1220);
  EXPECT_EQ(BrowseFlagValue(kDefaultBrowseFlags), 0x8044u);
  TBrowseInfoFlagSet all = TBrowseInfoFlagSet::FromBits(0xFFFF);
  EXPECT_EQ(all.Bits(), 0x3FFF);  // only the 14 members
  EXPECT_EQ(BrowseFlagValue(all), 0xF3FFu);
  EXPECT_EQ(SpecialFolderNumber(TSHFolders::foDesktopExpanded), -1);
  EXPECT_EQ(SpecialFolderNumber(TSHFolders::foDesktopFolder), 16);
  EXPECT_EQ(SpecialFolderNumber(TSHFolders::foTemplates), 21);
}

}  // namespace
