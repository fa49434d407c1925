// Number and date conversions to and from text with the locale settings' separator and
// patterns. Built on std::to_chars/from_chars: independent of the C locale, and the *Buf forms
// write into a caller's buffer without allocating, for per-field hot paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/datetime.h"

namespace platform {

// Longest text FloatToStrBuf writes ("-1.23456789012345E-308").
constexpr size_t kFloatTextMax = 32;

// General format, at most 15 significant digits, trailing zeros dropped: fixed notation while
// the integer part has at most 15 digits and the magnitude is at least 0.00001, scientific
// ("1.5E20", "2E-7") otherwise. Returns the length written (no terminating zero).
size_t FloatToStrBuf(char* out, double value, char decimalSeparator);
std::string FloatToStr(double value, char decimalSeparator);

// FloatToStrBuf of the number a plain decimal text ("  -12.50") stands for, made from the
// text's digits without converting to a double. Returns 0 when the text is not of that plain
// form or its number would need rounding or exponent notation; the caller converts then.
// `out` holds kFloatTextMax bytes.
size_t DecimalTextToStrBuf(std::string_view text, char decimalSeparator, char* out);

// Fixed notation with exactly `decimals` places (0..30) and a period, rounding the shortest
// decimal form of the value half away from zero (2.5 -> "3", 2.675 -> "2.68"); a value that
// rounds to zero has no sign. Returns the length written; `out` needs 340 + decimals bytes.
// Non-finite values write nothing and return 0.
size_t FloatToFixedBuf(char* out, double value, int decimals);

// Fixed notation with exactly `decimals` (0..18) digits after the separator, from at most
// `precision` (1..18) significant digits (unlike FloatToFixedBuf): the value is rounded to
// `precision` significant digits, then to `decimals` places, halves away from zero ("2.5"
// with no decimals is "3"); a value that rounds to zero has no sign. A value whose integer
// part needs more than `precision` digits, and infinities and NaN, are written in
// FloatToStrBuf's general format instead. `out` must hold kFixedTextMax bytes.
constexpr size_t kFixedTextMax = 40;
size_t FloatToStrFixedBuf(char* out, double value, int decimals, int precision,
                          char decimalSeparator);
std::string FloatToStrFixed(double value, int decimals, int precision, char decimalSeparator);

// Text to double: optional blanks around, sign, digits, one `decimalSeparator`, exponent.
// False (and `result` untouched) for anything else, including an empty text.
bool TryStrToFloat(std::string_view text, double& result, char decimalSeparator);
// As TryStrToFloat; throws EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view text, char decimalSeparator);

// Strict integer: optional sign and decimal digits only (or "$" and hex digits), in range.
bool TryStrToInt64(std::string_view text, int64_t& result);

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
TDateTimeParts DateTimeParts(TDateTime value);

// A date-time pattern in ICU letters (y M d H h m s a, 'quoted' text), read once so that
// formatting many values does not read it again.
class TDateTimePattern {
 public:
  explicit TDateTimePattern(std::string_view pattern);
  // Writes at most `capacity` bytes; returns the length written (no terminator). Fastest when
  // `capacity` is at least MaxLength().
  size_t Format(char* out, size_t capacity, const TDateTimeParts& parts) const;
  // The longest text Format can write.
  size_t MaxLength() const { return FMaxLength; }

 private:
  // The number parts come first, in the order FormatWhole indexes them.
  enum TPart : uint8_t {
    kYear,
    kYear2,
    kMonth,
    kDay,
    kHour,
    kHour12,
    kMinute,
    kSecond,
    kAmPm,
    kLiteral
  };
  struct Step {
    TPart Part;
    uint16_t Width;   // digits at least; for literals, their length
    uint16_t Offset;  // literals: where their text starts in FLiterals
  };
  // Longest text of a number part (a full int with its sign).
  static constexpr size_t kNumberTextMax = 11;

  size_t FormatWhole(char* out, const TDateTimeParts& parts) const;

  std::vector<Step> FSteps;
  std::string FLiterals;
  size_t FMaxLength = 0;
};

// Formats a date-time with a pattern read afresh; see TDateTimePattern.
size_t FormatDateTimeBuf(char* out, size_t capacity, std::string_view pattern, TDateTime value);
std::string FormatDateTime(std::string_view pattern, TDateTime value);

}  // namespace platform
