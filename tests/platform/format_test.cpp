#include "platform/format.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "platform/exceptions.h"

using namespace platform;

TEST(Format, FloatToStrGeneralFormat) {
  struct Case {
    double value;
    char separator;
    const char* text;
  } const kCases[] = {
      {0, '.', "0"},
      {2.5, ',', "2,5"},
      {-1234.5, '.', "-1234.5"},
      {100, '.', "100"},
      {0.1 + 0.2, '.', "0.3"},  // 15 significant digits hide the binary noise
      {1.0 / 3, '.', "0.333333333333333"},
      {123456789012345.0, '.', "123456789012345"},
      {1e15, '.', "1E15"},  // a 16-digit integer part switches to exponent notation
      {1.5e20, ',', "1,5E20"},
      {0.00001, '.', "0.00001"},
      {0.000012345, '.', "0.000012345"},
      {0.0000099, '.', "9.9E-6"},
      {-2e-7, '.', "-2E-7"},
      {999999999999999.9, '.', "1E15"},  // rounding carries into a new digit
  };
  for (const auto& c : kCases) EXPECT_EQ(FloatToStr(c.value, c.separator), c.text) << c.value;
}

TEST(Format, DecimalTextsFormatLikeTheirNumbers) {
  // Whenever the shortcut answers, it must say what converting the number would say.
  const char* kTexts[] = {"   1234.50",
                          "12",
                          "  -7",
                          "0.5",
                          ".5",
                          "-0.00",
                          "000",
                          "1.",
                          "0.00001",
                          "-0.000012",
                          "123456789012345",
                          "12345678901234.5",
                          "99.990",
                          "-1",
                          "  0.1000"};
  for (const char* text : kTexts) {
    char out[64];
    const size_t length = DecimalTextToStrBuf(text, ',', out);
    ASSERT_GT(length, 0u) << text;
    EXPECT_EQ(std::string(out, length), FloatToStr(StrToFloat(text, '.'), ',')) << text;
  }
  // Texts that need the conversion: rounding, exponents, other forms.
  for (const char* text : {"1234567890123456", "0.000001", "1e5", "+5", "1.2.3", "", "  ", "-",
                           "1 2", "0x10", "12345678901234.56"}) {
    char out[64];
    EXPECT_EQ(DecimalTextToStrBuf(text, ',', out), 0u) << text;
  }
}

TEST(Format, DecimalTextsOfEveryShapeAgreeWithTheConversion) {
  // The shortcut reads eight bytes at a time, so blanks, zeros, signs and points are placed
  // at every offset of fields one to twenty bytes wide, and bytes that are not digits go in.
  std::mt19937 random(7);
  const std::string kPieces[] = {" ", "0", "9", "5", "-", ".", "00", "  ", "x", "/", ":", "\xB5"};
  for (int round = 0; round < 200000; ++round) {
    std::string text;
    const size_t width = 1 + random() % 20;
    while (text.size() < width) {
      const size_t piece = random() % 40;
      text += piece < std::size(kPieces) ? kPieces[piece] : std::string(1, char('0' + piece % 10));
    }
    text.resize(width);
    char out[kFloatTextMax];
    const size_t length = DecimalTextToStrBuf(text, ',', out);
    if (length == 0) continue;
    double value = 0;
    ASSERT_TRUE(TryStrToFloat(text, value, '.')) << '"' << text << '"';
    ASSERT_EQ(std::string(out, length), FloatToStr(value, ',')) << '"' << text << '"';
  }
}

TEST(Format, FixedNotationRoundsTheDecimalFormHalfAwayFromZero) {
  struct Case {
    double value;
    int decimals;
    const char* text;
  } const kCases[] = {
      {2.5, 0, "3"},       {-2.5, 0, "-3"},
      {2.675, 2, "2.68"},  {0.125, 2, "0.13"},
      {9.995, 2, "10.00"}, {-0.004, 2, "0.00"},
      {0, 3, "0.000"},     {1e20, 1, "100000000000000000000.0"},
      {123.456, 0, "123"}, {0.000001234, 8, "0.00000123"},
      {999.5, 0, "1000"},  {-1234.5678, 2, "-1234.57"},
  };
  for (const auto& c : kCases) {
    char out[400];
    EXPECT_EQ(std::string(out, FloatToFixedBuf(out, c.value, c.decimals)), c.text) << c.value;
  }
}

TEST(Format, TextToNumbers) {
  double value = 0;
  EXPECT_TRUE(TryStrToFloat(" 12,5 ", value, ','));
  EXPECT_DOUBLE_EQ(value, 12.5);
  EXPECT_TRUE(TryStrToFloat("+2.5e2", value, '.'));
  EXPECT_DOUBLE_EQ(value, 250);
  EXPECT_TRUE(TryStrToFloat(".5", value, '.'));
  EXPECT_DOUBLE_EQ(value, 0.5);
  for (const char* bad : {"", "  ", "1.5", "abc", "1,5x", "--1"})
    EXPECT_FALSE(TryStrToFloat(bad, value, ',')) << bad;
  EXPECT_THROW(StrToFloat("x", '.'), EConvertError);

  int64_t n = 0;
  EXPECT_TRUE(TryStrToInt64("-42", n));
  EXPECT_EQ(n, -42);
  EXPECT_TRUE(TryStrToInt64("$1F", n));
  EXPECT_EQ(n, 31);
  EXPECT_TRUE(TryStrToInt64("-9223372036854775808", n));
  EXPECT_EQ(n, INT64_MIN);
  for (const char* bad : {"", "-", "1.0", " 1", "9223372036854775808", "12a"})
    EXPECT_FALSE(TryStrToInt64(bad, n)) << bad;
}

TEST(Format, DatesRoundTripAndFormat) {
  TDateTime date = 0;
  ASSERT_TRUE(TryEncodeDate(1899, 12, 30, date));
  EXPECT_EQ(date, 0);
  ASSERT_TRUE(TryEncodeDate(2024, 2, 29, date));
  EXPECT_EQ(date, 45351);
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, date));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, date));
  ASSERT_TRUE(TryEncodeDate(1, 1, 1, date));
  EXPECT_EQ(date, -693593);  // day 1 of the era is 693594 days before day 0

  int y, m, d;
  DecodeDate(-693593, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
  TDateTime time = 0;
  ASSERT_TRUE(TryEncodeTime(13, 5, 9, 0, time));
  EXPECT_EQ(FormatDateTime("dd.MM.yyyy HH:mm:ss", 45351 + time), "29.02.2024 13:05:09");
  EXPECT_EQ(FormatDateTime("M/d/yyyy h:mm:ss a", 45351 + time), "2/29/2024 1:05:09 PM");
  EXPECT_EQ(FormatDateTime("yy 'o''clock' h a", 45351), "24 o'clock 12 AM");
}

TEST(Format, FloatToStrFixedRoundsHalvesAwayFromZero) {
  struct Case {
    double value;
    int decimals;
    const char* text;
  } const kCases[] = {
      {3.7, 0, "4"},
      {2.5, 0, "3"},
      {-2.5, 0, "-3"},
      {0.125, 2, "0.13"},  // exactly representable tie
      {3.14159, 2, "3.14"},
      {9.995, 2, "9.99"},   // 9.99499999... in binary
      {99.96, 1, "100.0"},  // the carry adds a digit
      {0.004, 2, "0.00"},
      {-0.004, 2, "0.00"},  // rounds to zero: no sign
      {0.005, 2, "0.01"},
      {0.0004, 2, "0.00"},
      {0, 3, "0.000"},
      {123456.0, 0, "123456"},
      {1e17, 1, "100000000000000000.0"},
      {0.1 + 0.2, 18, "0.300000000000000044"},  // 18 significant digits
      {1.5, 40, "1.500000000000000000"},        // at most 18 decimals
      {1e20, 2, "1E20"},                        // more than 18 integer digits: general format
  };
  for (const auto& c : kCases)
    EXPECT_EQ(FloatToStrFixed(c.value, c.decimals, 18, '.'), c.text) << c.value;
  EXPECT_EQ(FloatToStrFixed(2.25, 1, 18, ','), "2,3");
  EXPECT_EQ(FloatToStrFixed(1.2345, 3, 2, '.'), "1.200");  // two significant digits
}
