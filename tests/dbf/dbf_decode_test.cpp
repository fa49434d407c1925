#include "dbf/dbf_decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <variant>

#include "platform/settings.h"
#include "support/dbf_builder.h"

using namespace dbf;
using testing_util::OrderedDouble;
using testing_util::OrderedInt;
using testing_util::TimeStampBytes;

namespace {

// Day number of a calendar date (1 January 0001 is day 1).
int32_t Day(int year, int month, int day) {
  platform::TDateTime date = 0;
  EXPECT_TRUE(platform::TryEncodeDate(year, month, day, date));
  return DateTimeToDayNumber(date);
}

double Ms(int32_t dayNumber, int hour = 0, int minute = 0, int second = 0) {
  return dayNumber * kMSecsPerDay + ((hour * 60 + minute) * 60 + second) * 1000.0;
}

constexpr int32_t kZeroDate = 693594;  // 30 December 1899

using Null = std::monostate;
using Value = std::variant<Null, int16_t, int32_t, int64_t, double, std::string>;

std::string Describe(const Value& value) {
  return std::visit(
      []<typename T>(const T& v) -> std::string {
        if constexpr (std::is_same_v<T, Null>)
          return "null";
        else if constexpr (std::is_same_v<T, std::string>)
          return "\"" + v + "\"";
        else
          return std::to_string(v);
      },
      value);
}

// A record holding one field of the given native type and stored bytes at offset 1.
struct OneField {
  TDbfFieldDefs defs;
  std::string record;
  OneField(char type, int32_t size, int32_t precision, const std::string& bytes) {
    TDbfFieldDef& def = defs.Add();
    def.SetSize(size);
    def.SetPrecision(precision);
    def.SetNativeFieldType(type);
    def.FOffset = 1;
    record = " " + bytes;
    record.resize(1 + size_t(def.Size()), ' ');
  }
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(record.data()); }
  // Decodes into a destination of the type the kind (or native binary type) calls for.
  Value Decode(TFieldType kind) const {
    const TDbfFieldDef& def = defs.Items(0);
    char buffer[80] = {};
    const bool present = DecodeField(def, kind, buffer, Bytes());
    EXPECT_EQ(present, DecodeField(def, kind, nullptr, Bytes())) << "null test disagrees";
    if (!present) return Null{};
    auto as = [&buffer]<typename T>(T) {
      T value;
      std::memcpy(&value, buffer, sizeof value);
      return Value(value);
    };
    switch (def.NativeFieldType()) {
      case 'I':
      case '+':
        return as(int32_t());
      case '@':
      case 'O':
        return as(double());
    }
    switch (kind) {
      case ftString:
        return std::string(buffer);
      case ftSmallint:
      case ftBoolean:
        return as(int16_t());
      case ftInteger:
      case ftDate:
        return as(int32_t());
      case ftLargeint:
        return as(int64_t());
      default:
        return as(double());
    }
  }
};

std::string Bits(std::initializer_list<uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(DecodeField, StoredFormsByRequestedKind) {
  struct Case {
    const char* what;
    char type;
    int32_t size, precision;
    std::string bytes;
    TFieldType kind;
    Value expected;
  } const kCases[] = {
      {"I zero bytes are null", 'I', 4, 0, Bits({0, 0, 0, 0}), ftInteger, Null{}},
      {"I 80000000 is 0", 'I', 4, 0, Bits({0x80, 0, 0, 0}), ftInteger, int32_t(0)},
      {"I 80000001 is 1", 'I', 4, 0, Bits({0x80, 0, 0, 1}), ftInteger, int32_t(1)},
      {"I 7FFFFFFF is -1", 'I', 4, 0, Bits({0x7F, 0xFF, 0xFF, 0xFF}), ftInteger, int32_t(-1)},
      {"I extremes", 'I', 4, 0, OrderedInt(INT32_MIN + 1), ftInteger, int32_t(INT32_MIN + 1)},
      {"+ any kind", '+', 4, 0, OrderedInt(2147483647), ftString, int32_t(2147483647)},
      {"O zero bytes are null", 'O', 8, 0, std::string(8, '\0'), ftFloat, Null{}},
      {"O 0.0 is not null", 'O', 8, 0, Bits({0x80, 0, 0, 0, 0, 0, 0, 0}), ftFloat, 0.0},
      {"O 1.0", 'O', 8, 0, Bits({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}), ftFloat, 1.0},
      {"O -1.0", 'O', 8, 0, Bits({0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), ftFloat, -1.0},
      {"O -1234.5", 'O', 8, 0, OrderedDouble(-1234.5), ftFloat, -1234.5},
      {"@ zero bytes are null", '@', 8, 0, std::string(8, '\0'), ftDateTime, Null{}},
      {"@ timestamp", '@', 8, 0, TimeStampBytes(Ms(Day(2024, 2, 29), 13, 5, 9)), ftDateTime,
       Ms(Day(2024, 2, 29), 13, 5, 9)},
      {"C keeps leading blanks", 'C', 8, 0, "  ab  ", ftString, std::string("  ab")},
      {"C stops at a zero byte", 'C', 6, 0, std::string("ab\0cd", 5), ftString, std::string("ab")},
      {"C blank is null", 'C', 4, 0, "    ", ftString, Null{}},
      {"C as integer drops leading blanks", 'C', 6, 0, "  12  ", ftInteger, int32_t(12)},
      {"N smallint", 'N', 4, 0, "  42", ftSmallint, int16_t(42)},
      {"N negative smallint", 'N', 4, 0, " -42", ftSmallint, int16_t(-42)},
      {"N smallint out of range is 0", 'N', 6, 0, " 70000", ftSmallint, int16_t(0)},
      {"N text that is no number is 0", 'N', 5, 0, "  abc", ftInteger, int32_t(0)},
      {"N hex is no decimal integer", 'N', 5, 0, "  $1F", ftInteger, int32_t(0)},
      {"N largeint minimum", 'N', 20, 0, "-9223372036854775808", ftLargeint, INT64_MIN},
      {"N largeint overflow is 0", 'N', 20, 0, " 9223372036854775808", ftLargeint, int64_t(0)},
      {"N float", 'N', 8, 2, "   -3.50", ftFloat, -3.5},
      {"N float garbage is 0", 'N', 8, 2, "   3.5x0", ftFloat, 0.0},
      {"N blank is null", 'N', 8, 2, "        ", ftFloat, Null{}},
      {"N(25) decodes its first 20 characters", 'N', 25, 0, "1234567890123456789012345", ftFloat,
       12345678901234567890.0},
      {"L ? is false", 'L', 1, 0, "?", ftBoolean, int16_t(0)},
      {"L Y is false", 'L', 1, 0, "Y", ftBoolean, int16_t(0)},
      {"L t is true", 'L', 1, 0, "t", ftBoolean, int16_t(1)},
      {"L blank is null", 'L', 1, 0, " ", ftBoolean, Null{}},
      {"D blank is null", 'D', 8, 0, "        ", ftDate, Null{}},
      {"D valid", 'D', 8, 0, "20240229", ftDate, Day(2024, 2, 29)},
      {"D first day", 'D', 8, 0, "00010101", ftDate, int32_t(1)},
      {"D impossible date", 'D', 8, 0, "20240230", ftDate, kZeroDate},
      {"D year 0", 'D', 8, 0, "00000101", ftDate, kZeroDate},
      {"D bad month counts as 1", 'D', 8, 0, "2024AB01", ftDate, Day(2024, 1, 1)},
      {"D part past the end counts as 1", 'D', 8, 0, "2024022 ", ftDate, Day(2024, 2, 1)},
      {"D leading blanks shift the parts", 'D', 8, 0, " 2024031", ftDate, Day(2024, 3, 1)},
      {"D as date-time has no time", 'D', 8, 0, "20240229", ftDateTime, Ms(Day(2024, 2, 29))},
      {"T with time", 'T', 14, 0, "20240229130509", ftDateTime, Ms(Day(2024, 2, 29), 13, 5, 9)},
      {"T as date", 'T', 14, 0, "20240229130509", ftDate, Day(2024, 2, 29)},
      {"T impossible time zeroes it all", 'T', 14, 0, "20240229240000", ftDateTime, Ms(kZeroDate)},
      {"T impossible date keeps the time", 'T', 14, 0, "20241301100000", ftDateTime,
       Ms(kZeroDate, 10)},
      {"T time past the end counts as 1", 'T', 14, 0, "2024022913", ftDateTime,
       Ms(Day(2024, 2, 29), 13, 1, 1)},
      {"M block number", 'M', 10, 0, "        17", ftInteger, int32_t(17)},
      {"M blank has no memo", 'M', 10, 0, "          ", ftInteger, Null{}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const OneField field(c.type, c.size, c.precision, c.bytes);
    const Value value = field.Decode(c.kind);
    EXPECT_TRUE(value == c.expected) << Describe(value) << " instead of " << Describe(c.expected);
  }
}

TEST(DecodeField, FloatTextUsesAPeriodWhateverTheSeparator) {
  platform::TPlatformSettings settings;
  settings.DecimalSeparator = ',';
  platform::SetSettings(settings);
  EXPECT_EQ(Describe(OneField('N', 8, 2, "   -3.50").Decode(ftFloat)), Describe(-3.5));
  EXPECT_EQ(Describe(OneField('N', 8, 2, "    1,5").Decode(ftFloat)), Describe(1.5));
  platform::SetSettings(platform::TPlatformSettings());
}

TEST(DecodeField, AbsentRecordAndOtherKinds) {
  const OneField field('C', 4, 0, "ab");
  EXPECT_FALSE(DecodeField(field.defs.Items(0), ftString, nullptr, nullptr));
  char untouched = 'x';
  EXPECT_TRUE(DecodeField(field.defs.Items(0), ftBytes, &untouched, field.Bytes()));
  EXPECT_EQ(untouched, 'x');
  char text[8] = "zzzz";
  const OneField blank('C', 4, 0, "");
  EXPECT_FALSE(DecodeField(blank.defs.Items(0), ftString, text, blank.Bytes()));
  EXPECT_STREQ(text, "");
}

TEST(TimeStamps, DayNumbersAndMillisecondsRoundTrip) {
  EXPECT_EQ(DateTimeToDayNumber(0), kZeroDate);
  EXPECT_EQ(Day(1, 1, 1), 1);
  EXPECT_EQ(DayNumberToDateTime(kZeroDate + 2), 2.0);
  EXPECT_EQ(DateTimeToBDETimeStamp(0), Ms(kZeroDate));
  EXPECT_EQ(DateTimeToBDETimeStamp(1.5), Ms(kZeroDate + 1, 12));
  // Before 30 December 1899 the fraction still counts forward from the day's midnight.
  EXPECT_EQ(DateTimeToBDETimeStamp(-1.25), Ms(kZeroDate - 1, 6));
  for (const double value : {0.0, 1.5, -1.25, 45351.5434375, -36522.75, 2958465.99998843})
    EXPECT_NEAR(BDETimeStampToDateTime(DateTimeToBDETimeStamp(value)), value, 1e-8) << value;
  EXPECT_EQ(BDETimeStampToDateTime(Ms(kZeroDate, 6) + 0.6), 0.25 + 1.0 / kMSecsPerDay);
}
