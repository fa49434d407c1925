#include "dbf/dbf_decode.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/byte_order.h"
#include "platform/format.h"
#include "platform/settings.h"

namespace dbf {
namespace {

constexpr uint32_t kInt32SignBit = 0x80000000u;
constexpr uint64_t kInt64SignBit = uint64_t(1) << 63;
constexpr int64_t kMSecsPerDayInt = 86400000;
// Longest number text the float conversion accepts.
constexpr size_t kMaxFloatText = 350;

bool AllZero(const uint8_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (p[i] != 0) return false;
  return true;
}

// The ordered integer of types I and +: big-endian with the sign bit flipped.
bool DecodeOrderedInt(const uint8_t* field, void* dest) {
  if (AllZero(field, 4)) return false;
  if (dest) {
    const int32_t value = static_cast<int32_t>(platform::GetBE32(field) ^ kInt32SignBit);
    std::memcpy(dest, &value, sizeof value);
  }
  return true;
}

// Type @: a big-endian IEEE double of timestamp milliseconds.
bool DecodeTimeStamp(const uint8_t* field, void* dest) {
  if (AllZero(field, 8)) return false;
  if (dest) {
    const double value = std::bit_cast<double>(platform::GetBE64(field));
    std::memcpy(dest, &value, sizeof value);
  }
  return true;
}

// Type O: a big-endian double stored so that the bytes sort as unsigned bytes: positive
// numbers with the sign bit set, negative numbers with every bit inverted.
bool DecodeOrderedDouble(const uint8_t* field, void* dest) {
  if (AllZero(field, 8)) return false;
  if (dest) {
    uint64_t bits = platform::GetBE64(field);
    bits = static_cast<int64_t>(bits) > 0 ? ~bits : bits ^ kInt64SignBit;
    const double value = std::bit_cast<double>(bits);
    std::memcpy(dest, &value, sizeof value);
  }
  return true;
}

// A decimal integer: optional sign, then digits only, within [min, max].
bool ParseInteger(const char* begin, const char* end, int64_t min, int64_t max, int64_t& result) {
  bool negative = false;
  if (begin < end && (*begin == '-' || *begin == '+')) negative = *begin++ == '-';
  if (begin == end) return false;
  const uint64_t limit =
      negative ? uint64_t(0) - static_cast<uint64_t>(min) : static_cast<uint64_t>(max);
  uint64_t magnitude = 0;
  for (; begin < end; ++begin) {
    if (*begin < '0' || *begin > '9') return false;
    const unsigned digit = static_cast<unsigned>(*begin - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  result = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

template <typename T>
void StoreInteger(const char* begin, const char* end, void* dest) {
  int64_t value = 0;
  if (!ParseInteger(begin, end, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(),
                    value))
    value = 0;
  const T stored = static_cast<T>(value);
  std::memcpy(dest, &stored, sizeof stored);
}

// The text as a number, with a period as decimal point whatever the user's separator; 0 when
// it is not one.
double ParseFloat(const char* begin, const char* end) {
  const size_t length = static_cast<size_t>(end - begin);
  const char separator = platform::Settings().DecimalSeparator;
  double value = 0;
  if (separator == '.' || length > kMaxFloatText) {
    if (!platform::TryStrToFloat(std::string_view(begin, length), value, separator)) value = 0;
    return value;
  }
  char text[kMaxFloatText];
  std::memcpy(text, begin, length);
  if (char* period = static_cast<char*>(std::memchr(text, '.', length))) *period = separator;
  if (!platform::TryStrToFloat(std::string_view(text, length), value, separator)) value = 0;
  return value;
}

// One numeric part of a date text: `width` characters at `offset` from `text`. A part that
// reaches past `end` or is not a decimal integer (blanks, sign, digits) counts as 1.
int DatePart(const char* text, const char* end, int offset, int width) {
  if (end - text < offset + width) return 1;
  const char* p = text + offset;
  const char* stop = p + width;
  while (p < stop && *p == ' ') ++p;
  int64_t value = 0;
  return ParseInteger(p, stop, -9999999, 99999999, value) ? static_cast<int>(value) : 1;
}

// Day number of the YYYYMMDD text at `begin`; 30 December 1899 for an impossible date.
int32_t ParseDayNumber(const char* begin, const char* end) {
  platform::TDateTime date = 0;
  if (!platform::TryEncodeDate(DatePart(begin, end, 0, 4), DatePart(begin, end, 4, 2),
                               DatePart(begin, end, 6, 2), date))
    date = 0;
  return DateTimeToDayNumber(date);
}

// Timestamp milliseconds of a YYYYMMDD[hhmmss] text; the time only when `withTime`. An
// impossible time makes the whole value 30 December 1899, midnight.
double ParseTimeStamp(const char* begin, const char* end, bool withTime) {
  int64_t milliseconds = int64_t(ParseDayNumber(begin, end)) * kMSecsPerDayInt;
  if (withTime) {
    const int hour = DatePart(begin, end, 8, 2);
    const int minute = DatePart(begin, end, 10, 2);
    const int second = DatePart(begin, end, 12, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
      milliseconds = int64_t(platform::kDateDelta) * kMSecsPerDayInt;
    else
      milliseconds += ((hour * 60 + minute) * 60 + second) * 1000;
  }
  return static_cast<double>(milliseconds);
}

template <typename T>
void Store(void* dest, T value) {
  std::memcpy(dest, &value, sizeof value);
}

bool DecodeText(const TDbfFieldDef& def, TFieldType kind, const char* field, void* dest) {
  const char* begin = field;
  const char* end = field + def.Size();
  while (end > begin && end[-1] == ' ') --end;
  if (kind != ftString)
    while (begin < end && *begin == ' ') ++begin;
  if (begin == end) {
    if (kind == ftString && dest) *static_cast<char*>(dest) = 0;
    return false;
  }
  if (!dest) return true;
  switch (kind) {
    case ftString: {
      const void* zero = std::memchr(begin, 0, static_cast<size_t>(end - begin));
      const size_t length =
          static_cast<size_t>((zero ? static_cast<const char*>(zero) : end) - begin);
      std::memcpy(dest, begin, length);
      static_cast<char*>(dest)[length] = 0;
      break;
    }
    case ftSmallint:
      StoreInteger<int16_t>(begin, end, dest);
      break;
    case ftInteger:
      StoreInteger<int32_t>(begin, end, dest);
      break;
    case ftLargeint:
      StoreInteger<int64_t>(begin, end, dest);
      break;
    case ftBoolean:
      Store<int16_t>(dest, *begin == 'T' || *begin == 't');
      break;
    case ftFloat:
    case ftCurrency:
      Store<double>(dest, ParseFloat(begin, end));
      break;
    case ftDate:
      Store<int32_t>(dest, ParseDayNumber(begin, end));
      break;
    case ftDateTime:
      Store<double>(dest, ParseTimeStamp(begin, end, def.FieldType() == ftDateTime));
      break;
    default:
      break;
  }
  return true;
}

}  // namespace

bool DecodeField(const TDbfFieldDef& def, TFieldType kind, void* dest, const uint8_t* record) {
  if (!record) return false;
  const uint8_t* field = record + def.FOffset;
  switch (def.NativeFieldType()) {
    case 'I':
    case '+':
      return DecodeOrderedInt(field, dest);
    case '@':
      return DecodeTimeStamp(field, dest);
    case 'O':
      return DecodeOrderedDouble(field, dest);
    default:
      return DecodeText(def, kind, reinterpret_cast<const char*>(field), dest);
  }
}

int32_t DateTimeToDayNumber(platform::TDateTime value) {
  return static_cast<int32_t>(std::trunc(value)) + platform::kDateDelta;
}

platform::TDateTime DayNumberToDateTime(int32_t dayNumber) {
  return static_cast<platform::TDateTime>(dayNumber - platform::kDateDelta);
}

double DateTimeToBDETimeStamp(platform::TDateTime value) {
  const double days = std::trunc(value) + platform::kDateDelta;
  const double milliseconds = std::round(std::fabs(value - std::trunc(value)) * kMSecsPerDay);
  return days * kMSecsPerDay + milliseconds;
}

platform::TDateTime BDETimeStampToDateTime(double timeStamp) {
  const double rounded = std::round(timeStamp);
  const double day = std::floor(rounded / kMSecsPerDay);
  const double fraction = (rounded - day * kMSecsPerDay) / kMSecsPerDay;
  const double date = day - platform::kDateDelta;
  return date < 0 ? date - fraction : date + fraction;
}

}  // namespace dbf
