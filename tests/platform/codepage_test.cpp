#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(CodePage, InstalledPagesExcludeThoseWithoutAConverter) {
  for (int cp : {437, 850, 852, 866, 932, 936, 949, 950, 1250, 1251, 1252, 1255, 10000})
    EXPECT_TRUE(CodePageAvailable(cp)) << cp;
  for (int cp : {0, 620, 895, 12345}) EXPECT_FALSE(CodePageAvailable(cp)) << cp;
  const auto& pages = InstalledCodePages();
  EXPECT_NE(std::find(pages.begin(), pages.end(), 1252), pages.end());
  EXPECT_EQ(std::find(pages.begin(), pages.end(), 620), pages.end());
}

TEST(CodePage, ConvertsBetweenPagesAndUtf8) {
  struct Case {
    int cp;
    std::string bytes, utf8;
  } const kCases[] = {
      {1252,
       "Stra\xDF"
       "e \xE4\xF6\xFC \x80",
       "Straße äöü €"},
      {850,
       "Stra\xE1"
       "e \x84\x94\x81",
       "Straße äöü"},
      {437, "\x8E\x99\x9A", "ÄÖÜ"},
      {866, "\x8C\xAE\xE1\xAA\xA2\xA0", "Москва"},
      {1251, "\xCC\xEE\xF1\xEA\xE2\xE0", "Москва"},
      {932, "\x93\xFA\x96\x7B", "日本"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ToUtf8(c.cp, c.bytes), c.utf8) << c.cp;
    EXPECT_EQ(FromUtf8(c.cp, c.utf8), c.bytes) << c.cp;
  }
  EXPECT_EQ(FromUtf8(1252, "日"), "?");  // what the page lacks becomes its substitute
}

TEST(CodePage, ConvertsInPlaceAndNeverSplitsACharacter) {
  std::string text = "\x84\x94\x81 \xE1";  // äöü ß in 850
  EXPECT_EQ(ConvertCodePage(850, 1252, text.data(), text.size(), text.data(), text.size()), 5u);
  EXPECT_EQ(text, "\xE4\xF6\xFC \xDF");

  // "A日本" is 1 + 2 + 2 bytes in Shift-JIS; with room for 4 the last kanji is left out whole.
  const std::string utf8 = "A\xE6\x97\xA5\xE6\x9C\xAC";
  char out[8] = {};
  EXPECT_EQ(ConvertCodePage(65001, 932, utf8.data(), utf8.size(), out, 4), 3u);
  EXPECT_EQ(std::string(out, 3), "A\x93\xFA");
  EXPECT_EQ(ConvertCodePage(1252, 65001, "A\xE4", 2, out, 2), 1u);
  EXPECT_EQ(ConvertCodePage(65001, 65001, utf8.data(), utf8.size(), out, 8), 7u);
}

TEST(CodePage, ComparesByLocaleWithOptionalCaseFolding) {
  struct Case {
    const char *a, *b;
    uint32_t flags;
    int expected;
  } const kCases[] = {
      {"apple", "Banana", 0, CSTR_LESS_THAN},  // a locale puts a before B
      {"abc", "ABC", 0, CSTR_LESS_THAN},       // lower case first at full strength
      {"abc", "ABC", NORM_IGNORECASE, CSTR_EQUAL},
      {"\xE4", "a", NORM_IGNORECASE, CSTR_GREATER_THAN},  // accents still count
      {"M\xFCller", "Mueller", 0, CSTR_GREATER_THAN},
      {"same", "same", 0, CSTR_EQUAL},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(CompareStringA(0x0407, c.flags, 1252, c.a, c.b), c.expected) << c.a << " " << c.b;
  EXPECT_EQ(CompareStringA(0x7FFF, 0, 1252, "a", "b"), 0);
  EXPECT_TRUE(LocaleInstalled(0x0407));
  EXPECT_FALSE(LocaleInstalled(0x7FFF));
}
