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
  char text[] = "Gr\x81\xE1" "e";  // "Grüße" in 850
  EXPECT_EQ(TranslateString(850, 1252, text, -1, text), 5);
  EXPECT_STREQ(text, "Gr\xFC\xDF" "e");
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
  EXPECT_EQ(MemScan("abc\x1A" "d", 0x1A, 5), 3);
  EXPECT_EQ(MemScan("abc\x1A", 0x1A, 3), -1);
  EXPECT_EQ(MemScan("", 0, 0), -1);
}
