#include "platform/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/exceptions.h"
#include "platform/word_scan.h"

namespace platform {
namespace {

// The digits (trailing zeros dropped) and exponent of a scientific text "d.ddde+xx".
int ReadScientific(const char* text, const char* end, char* digits, int& count) {
  const char* p = text;
  count = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[count++] = *p;
  while (count > 1 && digits[count - 1] == '0') --count;
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  return exponent;
}

// Rounds to 15 significant digits: fills `digits` (no trailing zeros) and returns the decimal
// exponent of the first digit (value = d.ddd x 10^exponent).
int SignificantDigits(double magnitude, char* digits, int& count) {
  char buffer[40];
  // When the shortest digits that read back as a normal number are 15 or fewer, they are
  // also its rounding to 15 digits (half an ulp is below half a unit in the 15th digit), and
  // finding them is much cheaper than a fixed-precision conversion.
  if (magnitude >= std::numeric_limits<double>::min()) {
    const auto shortest =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    const int exponent = ReadScientific(buffer, shortest.ptr, digits, count);
    if (count <= 15) return exponent;
  }
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
  return ReadScientific(buffer, result.ptr, digits, count);
}

size_t AppendInt(char* out, int value) {
  const auto result = std::to_chars(out, out + 12, value);
  return static_cast<size_t>(result.ptr - out);
}

}  // namespace

size_t FloatToStrBuf(char* out, double value, char decimalSeparator) {
  if (std::isnan(value)) return std::strcpy(out, "NAN"), 3;
  if (std::isinf(value)) {
    std::strcpy(out, value > 0 ? "INF" : "-INF");
    return value > 0 ? 3 : 4;
  }
  if (value == 0) return out[0] = '0', 1;

  char digits[20];
  int count = 0;
  const int exponent = SignificantDigits(std::fabs(value), digits, count);
  size_t length = 0;
  if (value < 0) out[length++] = '-';

  if (exponent > 14 || exponent < -5) {
    out[length++] = digits[0];
    if (count > 1) {
      out[length++] = decimalSeparator;
      std::memcpy(out + length, digits + 1, count - 1);
      length += count - 1;
    }
    out[length++] = 'E';
    return length + AppendInt(out + length, exponent);
  }
  if (exponent < 0) {
    out[length++] = '0';
    out[length++] = decimalSeparator;
    for (int i = -1; i > exponent; --i) out[length++] = '0';
    std::memcpy(out + length, digits, count);
    return length + count;
  }
  for (int i = 0; i <= exponent; ++i) out[length++] = i < count ? digits[i] : '0';
  if (count > exponent + 1) {
    out[length++] = decimalSeparator;
    std::memcpy(out + length, digits + exponent + 1, count - exponent - 1);
    length += count - exponent - 1;
  }
  return length;
}

size_t FloatToFixedBuf(char* out, double value, int decimals) {
  if (!std::isfinite(value)) return 0;
  decimals = std::clamp(decimals, 0, 30);
  // Shortest digits that read back as the value: d.ddd x 10^exponent.
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific);
  char digits[24];
  int count = 0;
  const char* p = buffer;
  for (; p < result.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[count++] = *p;
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), result.ptr, exponent);
  if (count == 1 && digits[0] == '0') exponent = 0;

  // Decimal places as a digit string: integer digits, then `decimals` fraction digits.
  // The digit at index i has weight 10^(exponent - i).
  const int integerDigits = exponent >= 0 ? exponent + 1 : 1;
  const int total = integerDigits + decimals;
  char fixed[340 + 32];
  auto digitAt = [&](int position) {  // position 0 = highest integer digit
    const int index = position - (integerDigits - 1) + exponent;
    return index >= 0 && index < count ? digits[index] : '0';
  };
  for (int i = 0; i < total; ++i) fixed[i + 1] = digitAt(i);
  fixed[0] = '0';
  if (digitAt(total) >= '5') {  // half away from zero on the decimal form
    int i = total;
    while (fixed[i] == '9') fixed[i--] = '0';
    ++fixed[i];
  }
  const char* start = fixed[0] == '0' ? fixed + 1 : fixed;
  const int integerLength = integerDigits + (fixed[0] == '0' ? 0 : 1);
  bool zero = true;
  for (int i = 0; i <= total; ++i) zero = zero && fixed[i] == '0';

  size_t length = 0;
  if (value < 0 && !zero) out[length++] = '-';
  std::memcpy(out + length, start, static_cast<size_t>(integerLength));
  length += static_cast<size_t>(integerLength);
  if (decimals > 0) {
    out[length++] = '.';
    std::memcpy(out + length, start + integerLength, static_cast<size_t>(decimals));
    length += static_cast<size_t>(decimals);
  }
  return length;
}

std::string FloatToStr(double value, char decimalSeparator) {
  char buffer[kFloatTextMax];
  return std::string(buffer, FloatToStrBuf(buffer, value, decimalSeparator));
}

namespace {

// The first byte in [p, end) that is not a blank (or `end`), a word at a time; `begin` starts
// the text.
const char* SkipBlanks(const char* begin, const char* p, const char* end) {
  constexpr uint64_t kBlanks = kEveryByte * ' ';
  for (; end - p >= 8; p += 8)
    if (const uint64_t other = LoadWord(p) ^ kBlanks) return p + FirstMatch(other);
  // The zeros above the tail differ from blanks and stop the search at `end`.
  return p == end ? p : p + FirstMatch(LoadTail(begin, p, end) ^ kBlanks);
}

// The first byte in [p, end) that is not a digit (or `end`).
const char* SkipDigits(const char* begin, const char* p, const char* end) {
  for (; end - p >= 8; p += 8)
    if (const uint64_t mask = NonDigitBytes(LoadWord(p))) return p + FirstMatch(mask);
  return p == end ? p : p + FirstMatch(NonDigitBytes(LoadTail(begin, p, end)));
}

// Copies up to 32 bytes with fixed-size moves that overlap where needed.
void CopyShort(char* out, const char* from, size_t length) {
  if (length >= 16) {
    std::memcpy(out, from, 16);
    std::memcpy(out + length - 16, from + length - 16, 16);
  } else if (length >= 8) {
    std::memcpy(out, from, 8);
    std::memcpy(out + length - 8, from + length - 8, 8);
  } else {
    for (size_t i = 0; i < length; ++i) out[i] = from[i];
  }
}

}  // namespace

size_t DecimalTextToStrBuf(std::string_view text, char decimalSeparator, char* out) {
  const char* const begin = text.data();
  const char* end = begin + text.size();
  const char* p = SkipBlanks(begin, begin, end);
  while (end > p && end[-1] == ' ') --end;
  if (p == end) return 0;
  // Signs come at random in a column; no branch on them.
  const bool negative = *p == '-';
  p += negative;
  if (p == end || (end - p == 1 && *p == '.')) return 0;  // no digit at all

  // Integer digits without leading zeros, then fraction digits without trailing zeros.
  while (p < end && *p == '0') ++p;
  const char* integer = p;
  p = SkipDigits(begin, p, end);
  const size_t integerLength = static_cast<size_t>(p - integer);
  const char* fraction = p;
  const char* fractionEnd = p;
  if (p < end) {
    if (*p != '.') return 0;
    fraction = ++p;
    if (SkipDigits(begin, p, end) != end) return 0;
    fractionEnd = end;
    while (fractionEnd > fraction && fractionEnd[-1] == '0') --fractionEnd;
  }
  const size_t fractionLength = static_cast<size_t>(fractionEnd - fraction);

  size_t significant = integerLength + fractionLength;
  if (integerLength == 0) {
    size_t leadingZeros = 0;
    while (leadingZeros < fractionLength && fraction[leadingZeros] == '0') ++leadingZeros;
    if (leadingZeros == fractionLength) return out[0] = '0', 1;  // the value is 0
    if (leadingZeros > 4) return 0;                              // below 0.00001: exponent notation
    significant -= leadingZeros;
  }
  // More digits than a double's 15 would need rounding; a 16th integer digit, an exponent.
  if (significant > 15) return 0;

  // The digits and the point between them lie together in the text: one copy, then the
  // separator in place of the point.
  char* at = out;
  *at = '-';
  at += negative;
  if (integerLength == 0) *at++ = '0';
  const char* from = integerLength == 0 ? fraction - 1 : integer;
  const char* to = fractionLength == 0 ? integer + integerLength : fractionEnd;
  CopyShort(at, from, static_cast<size_t>(to - from));
  if (fractionLength > 0) at[fraction - 1 - from] = decimalSeparator;
  return static_cast<size_t>(at - out) + static_cast<size_t>(to - from);
}

size_t FloatToStrFixedBuf(char* out, double value, int decimals, int precision,
                          char decimalSeparator) {
  decimals = std::clamp(decimals, 0, 18);
  precision = std::clamp(precision, 1, 18);
  if (!std::isfinite(value)) return FloatToStrBuf(out, value, decimalSeparator);

  // digits[0..count) with the first at place 10^exponent, rounded to `precision` digits.
  char digits[24] = {};
  int count = 0;
  int exponent = 0;
  if (value != 0) {
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, precision - 1);
    const char* p = buffer;
    for (; p < result.ptr && *p != 'e'; ++p)
      if (*p != '.') digits[count++] = *p;
    std::from_chars(p + 1 + (p[1] == '+'), result.ptr, exponent);
  }
  if (exponent >= precision) return FloatToStrBuf(out, value, decimalSeparator);

  // Keep the digits down to the last decimal place; round half away from zero.
  int kept = std::clamp(exponent + decimals + 1, 0, count);
  const bool roundUp = exponent + decimals + 1 >= 0 && kept < count && digits[kept] >= '5';
  count = kept;
  if (roundUp) {
    int i = count - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      // All nines (or nothing kept): the carry makes a new leading digit.
      std::memmove(digits + 1, digits, count);
      digits[0] = '1';
      ++count;
      ++exponent;
    }
  }
  bool zero = true;
  for (int i = 0; i < count; ++i) zero = zero && digits[i] == '0';
  auto digitAt = [&](int place) {  // the digit of 10^place
    const int index = exponent - place;
    return index >= 0 && index < count ? digits[index] : '0';
  };

  size_t length = 0;
  if (value < 0 && !zero) out[length++] = '-';
  for (int place = std::max(exponent, 0); place >= 0; --place) out[length++] = digitAt(place);
  if (decimals > 0) {
    out[length++] = decimalSeparator;
    for (int place = -1; place >= -decimals; --place) out[length++] = digitAt(place);
  }
  return length;
}

std::string FloatToStrFixed(double value, int decimals, int precision, char decimalSeparator) {
  char buffer[kFixedTextMax];
  return std::string(buffer,
                     FloatToStrFixedBuf(buffer, value, decimals, precision, decimalSeparator));
}

bool TryStrToFloat(std::string_view text, double& result, char decimalSeparator) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 350) return false;

  // from_chars knows only '.', and rejects a leading '+'.
  char buffer[352];
  size_t length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == decimalSeparator) {
      c = '.';
    } else if (c == '.' && decimalSeparator != '.') {
      return false;
    }
    if (c == '+' && i == 0) continue;
    buffer[length++] = c;
  }
  if (length == 0) return false;
  double value = 0;
  const auto parsed = std::from_chars(buffer, buffer + length, value);
  if (parsed.ec != std::errc() || parsed.ptr != buffer + length) return false;
  result = value;
  return true;
}

double StrToFloat(std::string_view text, char decimalSeparator) {
  double value = 0;
  if (!TryStrToFloat(text, value, decimalSeparator))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

bool TryStrToInt64(std::string_view text, int64_t& result) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  uint64_t magnitude = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return false;
  const uint64_t limit = negative ? (uint64_t(1) << 63) : (uint64_t(1) << 63) - 1;
  if (magnitude > limit) return false;
  result = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

TDateTimePattern::TDateTimePattern(std::string_view pattern) {
  auto literal = [&](std::string_view text) {
    if (!FSteps.empty() && FSteps.back().Part == kLiteral &&
        FSteps.back().Offset + FSteps.back().Width == FLiterals.size()) {
      FSteps.back().Width += static_cast<uint16_t>(text.size());
    } else {
      FSteps.push_back(
          {kLiteral, static_cast<uint16_t>(text.size()), static_cast<uint16_t>(FLiterals.size())});
    }
    FLiterals.append(text);
  };
  for (size_t i = 0; i < pattern.size() && FLiterals.size() < 1000;) {
    const char c = pattern[i];
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    const uint16_t width = static_cast<uint16_t>(std::min<size_t>(run, 9));
    switch (c) {
      case 'y':
        FSteps.push_back({run == 2 ? kYear2 : kYear, width, 0});
        break;
      case 'M':
        FSteps.push_back({kMonth, width, 0});
        break;
      case 'd':
        FSteps.push_back({kDay, width, 0});
        break;
      case 'H':
        FSteps.push_back({kHour, width, 0});
        break;
      case 'h':
        FSteps.push_back({kHour12, width, 0});
        break;
      case 'm':
        FSteps.push_back({kMinute, width, 0});
        break;
      case 's':
        FSteps.push_back({kSecond, width, 0});
        break;
      case 'a':
        FSteps.push_back({kAmPm, 2, 0});
        break;
      case '\'': {
        // Quoted literal text; a doubled quote stands for one quote, inside or outside.
        size_t end = i + 1;
        if (end < pattern.size() && pattern[end] == '\'') {
          literal("'");
          run = 2;
          break;
        }
        while (end < pattern.size()) {
          if (pattern[end] == '\'') {
            if (end + 1 < pattern.size() && pattern[end + 1] == '\'') {
              literal("'");
              end += 2;
              continue;
            }
            break;
          }
          literal(pattern.substr(end++, 1));
        }
        run = std::min(end + 1, pattern.size()) - i;
        break;
      }
      default:
        literal(pattern.substr(i, run));
    }
    i += run;
  }
  for (const Step& step : FSteps)
    FMaxLength += step.Part == kLiteral ? step.Width
                  : step.Part == kAmPm  ? 2
                                        : std::max<size_t>(step.Width, kNumberTextMax);
}

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes `number` with at least `width` digits (zeros in front); returns the end. Calendar
// parts (0..99, four-digit years) take a short path; below 100 it may write one byte more
// than it keeps.
char* PutNumber(char* out, int number, int width) {
  if (number >= 0 && number < 100 && width <= 2) {
    const int skip = number < 10 && width < 2;
    std::memcpy(out, kDigitPairs + 2 * number + skip, 2);
    return out + 2 - skip;
  }
  if (number >= 1000 && number < 10000 && width <= 4) {
    std::memcpy(out, kDigitPairs + 2 * (number / 100), 2);
    std::memcpy(out + 2, kDigitPairs + 2 * (number % 100), 2);
    return out + 4;
  }
  char digits[12];
  const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  for (int count = static_cast<int>(end - digits); count < width; ++count) *out++ = '0';
  std::memcpy(out, digits, static_cast<size_t>(end - digits));
  return out + (end - digits);
}

}  // namespace

size_t TDateTimePattern::FormatWhole(char* out, const TDateTimeParts& parts) const {
  // The number each part stands for, by TPart.
  const int numbers[] = {parts.Year,   parts.Year % 100,
                         parts.Month,  parts.Day,
                         parts.Hour,   parts.Hour % 12 == 0 ? 12 : parts.Hour % 12,
                         parts.Minute, parts.Second};
  char* const start = out;
  for (const Step& step : FSteps) {
    if (step.Part == kLiteral) {
      std::memcpy(out, FLiterals.data() + step.Offset, step.Width);
      out += step.Width;
    } else if (step.Part == kAmPm) {
      *out++ = parts.Hour < 12 ? 'A' : 'P';
      *out++ = 'M';
    } else {
      out = PutNumber(out, numbers[step.Part], step.Width);
    }
  }
  return static_cast<size_t>(out - start);
}

size_t TDateTimePattern::Format(char* out, size_t capacity, const TDateTimeParts& parts) const {
  if (capacity >= FMaxLength) return FormatWhole(out, parts);
  std::string whole(FMaxLength, '\0');
  const size_t length = std::min(FormatWhole(whole.data(), parts), capacity);
  std::memcpy(out, whole.data(), length);
  return length;
}

TDateTimeParts DateTimeParts(TDateTime value) {
  TDateTimeParts parts;
  int ms;
  DecodeDate(value, parts.Year, parts.Month, parts.Day);
  DecodeTime(value, parts.Hour, parts.Minute, parts.Second, ms);
  return parts;
}

size_t FormatDateTimeBuf(char* out, size_t capacity, std::string_view pattern, TDateTime value) {
  return TDateTimePattern(pattern).Format(out, capacity, DateTimeParts(value));
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  char buffer[128];
  return std::string(buffer, FormatDateTimeBuf(buffer, sizeof buffer, pattern, value));
}

}  // namespace platform
