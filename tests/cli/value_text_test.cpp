#include "cli/value_text.h"

#include <gtest/gtest.h>

#include "cli/commands.h"

using namespace cli;

TEST(ValueText, Base64RoundTripsAndRejectsGarbage) {
  for (const std::string& bytes : {std::string(), std::string("f"), std::string("fo"),
                                   std::string("foo"), std::string("\0\xFF\x10 binary", 10)}) {
    std::string back = "stale";
    ASSERT_TRUE(Base64Decode(Base64Encode(bytes), back));
    EXPECT_EQ(back, bytes);
  }
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  std::string out;
  EXPECT_TRUE(Base64Decode("Zm9v\nYmFy", out));
  EXPECT_EQ(out, "foobar");
  for (const char* bad : {"Zm8", "Zm8*", "Z=m8", "Zm8===="})
    EXPECT_FALSE(Base64Decode(bad, out)) << bad;
}

TEST(ValueText, IsoDatesAndTimes) {
  auto date = ParseIsoDateTime("2024-02-29", false);
  ASSERT_TRUE(date);
  EXPECT_EQ(date->Year * 10000 + date->Month * 100 + date->Day, 20240229);
  auto stamp = ParseIsoDateTime("1999-12-31T23:59:58", true);
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->Hour * 10000 + stamp->Minute * 100 + stamp->Second, 235958);
  for (const char* bad : {"", "2024-2-29", "2024-13-01", "2024-00-10", "24-01-01",
                          "2024-01-01T25:00:00", "2024-01-01 10:00:00", "2024-01-0a"})
    EXPECT_FALSE(ParseIsoDateTime(bad, true)) << bad;
  EXPECT_FALSE(ParseIsoDateTime("2024-01-01T10:00:00", false));
}

TEST(ValueText, FieldDefinitions) {
  struct Case {
    const char* text;
    const char* name;
    char type;
    int length, decimals;
  } const kCases[] = {
      {"NAME:C:30", "NAME", 'C', 30, -1},
      {"Betrag:n:12:2", "Betrag", 'N', 12, 2},
      {"ID:+", "ID", '+', -1, -1},
      {"BOOKED:D", "BOOKED", 'D', -1, -1},
  };
  for (const auto& c : kCases) {
    const TFieldSpec definition = ParseFieldSpec(c.text);
    EXPECT_EQ(definition.Name, c.name);
    EXPECT_EQ(definition.Type, c.type);
    EXPECT_EQ(definition.Length, c.length);
    EXPECT_EQ(definition.Decimals, c.decimals);
  }
  for (const char* bad : {"NAME", ":C", "NAME:", "NAME:CC", "NAME:C:x", "NAME:N:5:-1", "A:N:5:2:1"})
    EXPECT_THROW(ParseFieldSpec(bad), UsageError) << bad;
}
