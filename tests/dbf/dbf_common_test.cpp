#include "dbf/dbf_common.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/settings.h"

using namespace dbf;

TEST(DbfGlobals, FollowThePlatformSettings) {
  platform::TPlatformSettings settings = platform::SettingsForLocale("ru_RU");
  platform::SetSettings(settings);
  ResetDbfGlobals();
  EXPECT_EQ(DbfGlobals().DefaultOpenCodePage(), 1251);
  EXPECT_EQ(DbfGlobals().DefaultCreateCodePage(), 1251);
  EXPECT_EQ(DbfGlobals().DefaultCreateLocale(), 0x0419u);
  EXPECT_TRUE(DbfGlobals().CodePageInstalled(866));
  EXPECT_FALSE(DbfGlobals().CodePageInstalled(620));
  EXPECT_FALSE(DbfGlobals().ComputerName().empty());
  EXPECT_LE(DbfGlobals().ComputerName().size(), 260u);
  platform::SetSettings(platform::SettingsForLocale("C"));
  ResetDbfGlobals();
}

TEST(TranslateString, OemToAnsiInPlaceKeepsTheLength) {
  char text[] =
      "Gr\x81\xE1"
      "e";  // "Grüße" in 850
  EXPECT_EQ(TranslateString(850, 1252, text, -1, text), 5);
  EXPECT_STREQ(text,
               "Gr\xFC\xDF"
               "e");
  char same[] = "unchanged \xFC";
  EXPECT_EQ(TranslateString(1252, 1252, same, -1, same), 11);
  EXPECT_STREQ(same, "unchanged \xFC");
}

TEST(TranslateString, LongTextsAndMultiByteTargets) {
  std::string big(5000, '\x84');  // far beyond any fixed working buffer
  std::string out(big.size(), '\0');
  EXPECT_EQ(TranslateString(850, 1252, big.data(), int32_t(big.size()), out.data()), 5000);
  EXPECT_EQ(out, std::string(5000, '\xE4'));

  // Shift-JIS text cut to 3 bytes of room keeps whole characters only.
  const char kanji[] = "\x93\xFA\x96\x7B";  // two characters
  char dest[4] = {};
  EXPECT_EQ(TranslateString(932, 932, kanji, 4, dest), 4);
  char half[3] = {'\x93', '\xFA', '\x96'};
  char cut[3] = {};
  EXPECT_EQ(TranslateString(932, 65001, half, 3, cut), 3) << "one kanji is 3 UTF-8 bytes";
  EXPECT_EQ(std::string(cut, 3), "\xE6\x97\xA5");
}

TEST(FileNames, CompletePaths) {
  EXPECT_TRUE(IsFullFilePath("C:\\data"));
  EXPECT_TRUE(IsFullFilePath("\\\\server\\share"));
  EXPECT_TRUE(IsFullFilePath("/tmp/x"));
  EXPECT_FALSE(IsFullFilePath("data/x"));
  EXPECT_FALSE(IsFullFilePath("1:"));
  EXPECT_EQ(GetCompletePath("/base", "sub"), "/base/sub/");
  EXPECT_EQ(GetCompletePath("/base/", "../other"), "/other/");
  EXPECT_EQ(GetCompletePath("/ignored", "/abs/dir"), "/abs/dir/");
  EXPECT_EQ(GetCompletePath("", "x"), std::filesystem::current_path().string() + "/x/");
  EXPECT_EQ(GetCompleteFileName("/base", "sub/t.dbf"), "/base/sub/t.dbf");
  EXPECT_EQ(GetCompleteFileName("/base", "t.dbf"), "/base/t.dbf");
  EXPECT_EQ(MemScan("abc\x1A"
                    "d",
                    0x1A, 5),
            3);
  EXPECT_EQ(MemScan("abc\x1A", 0x1A, 3), -1);
  EXPECT_EQ(MemScan("", 0, 0), -1);
}

TEST(NumberText, FixedWidthIntegersAndFloats) {
  struct IntCase {
    int64_t value;
    int32_t width;
    const char* text;
    bool fits;
  } const kInts[] = {
      {42, 5, "00042", true},      {-42, 5, "-0042", true},
      {0, 3, "000", true},         {123456, 5, "23456", false},
      {-12345, 5, "-2345", false}, {INT64_MIN, 20, "-9223372036854775808", true},
  };
  for (const auto& c : kInts) {
    char buffer[32] = {};
    Int64ToStrWidth(c.width, buffer, c.value);
    EXPECT_EQ(std::string(buffer), c.text) << c.value;
    EXPECT_EQ(IntegerFitsWidth(c.value, c.width), c.fits) << c.value;
  }
  char small[8] = {};
  IntToStrWidth(-7, 3, small);
  EXPECT_STREQ(small, "-07");

  struct FloatCase {
    double value;
    int32_t width, decimals;
    const char* text;  // nullptr: does not fit
  } const kFloats[] = {
      {3.5, 8, 2, "    3.50"}, {-3.456, 7, 2, "  -3.46"}, {2.5, 3, 0, "  3"},
      {-0.001, 5, 2, " 0.00"}, {12345.6, 7, 2, nullptr},  {123.0, 3, 0, "123"},
  };
  for (const auto& c : kFloats) {
    char buffer[32] = {};
    const bool fits = FloatToField(c.width, c.decimals, buffer, c.value);
    EXPECT_EQ(fits, c.text != nullptr) << c.value;
    if (c.text) {
      EXPECT_EQ(std::string(buffer), c.text) << c.value;
    }
  }
  char digits[24] = {};
  EXPECT_EQ(IntToStrBuf(-305, digits), 3);
  EXPECT_EQ(std::string(digits, 3), "305");
  EXPECT_EQ(Int64ToStrBuf(0, digits), 1);
}
