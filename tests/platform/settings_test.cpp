#include "platform/settings.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Settings, DerivedFromTheLocaleLikeWindowsRegions) {
  struct Case {
    const char* locale;
    int ansi, oem;
    uint32_t lcid;
    char decimal;
    const char *shortDate, *longTime;
  } const kCases[] = {
      {"de_DE.UTF-8", 1252, 850, 0x0407, ',', "dd.MM.yyyy", "HH:mm:ss"},
      {"en_US.UTF-8", 1252, 437, 0x0409, '.', "M/d/yyyy", "h:mm:ss a"},
      {"C", 1252, 437, 0x0409, '.', "M/d/yyyy", "h:mm:ss a"},
      {"POSIX", 1252, 437, 0x0409, '.', "M/d/yyyy", "h:mm:ss a"},
      {"ru_RU", 1251, 866, 0x0419, ',', "dd.MM.yyyy", "HH:mm:ss"},
      {"pl_PL.UTF-8", 1250, 852, 0x0415, ',', "d.MM.yyyy", "HH:mm:ss"},
      {"ja_JP.UTF-8", 932, 932, 0x0411, '.', "yyyy/MM/dd", "H:mm:ss"},
  };
  for (const auto& c : kCases) {
    const TPlatformSettings s = SettingsForLocale(c.locale);
    EXPECT_EQ(s.AnsiCodePage, c.ansi) << c.locale;
    EXPECT_EQ(s.OemCodePage, c.oem) << c.locale;
    EXPECT_EQ(s.UserLCID, c.lcid) << c.locale;
    EXPECT_EQ(s.DecimalSeparator, c.decimal) << c.locale;
    EXPECT_EQ(s.ShortDateFormat, c.shortDate) << c.locale;
    EXPECT_EQ(s.LongTimeFormat, c.longTime) << c.locale;
  }
}

TEST(Settings, AreReplaceableAndGiveTheAnsiPageOfALocale) {
  TPlatformSettings s = SettingsForLocale("de_DE");
  SetSettings(s);
  EXPECT_EQ(Settings().DecimalSeparator, ',');
  SetSettings(SettingsForLocale("C"));
  EXPECT_EQ(Settings().DecimalSeparator, '.');
  EXPECT_EQ(AnsiCodePageOfLCID(0x0407), 1252);
  EXPECT_EQ(AnsiCodePageOfLCID(0x0419), 1251);
  EXPECT_EQ(AnsiCodePageOfLCID(0x0411), 932);
  EXPECT_EQ(AnsiCodePageOfLCID(0x7FFF), 0);
}
