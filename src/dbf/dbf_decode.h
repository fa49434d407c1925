// Decoding a field's stored bytes into a value of a requested field kind, in place: nothing is
// copied or allocated, and the record bytes are never changed. Also the value forms of dates:
// day numbers (1 January 0001 is day 1) and timestamp milliseconds (day number x 86,400,000 +
// milliseconds of the day, in a double), and their conversion from and to the platform
// date-time. The caller guarantees that the field's Size bytes lie inside `record`.
#pragma once

#include <cstdint>

#include "dbf/dbf_fields.h"
#include "platform/datetime.h"

namespace dbf {

constexpr double kMSecsPerDay = 86400000.0;

// Decodes the field `def` of `record` as `kind`; false means no value (null). With no record
// the result is false; with no `dest` only the null test is made. What `dest` receives:
//   native I, +           int32_t, whatever kind is asked
//   native @, O           double (@: timestamp milliseconds), whatever kind is asked
//   ftString              the text (leading blanks kept, trailing cut, up to a zero byte),
//                         zero-terminated: `dest` holds Size + 1 bytes
//   ftSmallint, ftBoolean int16_t (ftBoolean: 1 for a leading T or t, else 0)
//   ftInteger, ftDate     int32_t (ftDate: day number)
//   ftLargeint            int64_t
//   ftFloat, ftCurrency   double
//   ftDateTime            double, timestamp milliseconds
// Any other kind stores nothing and reports a value. Text that is not a number gives 0, text
// that is not a date gives 30 December 1899.
bool DecodeField(const TDbfFieldDef& def, TFieldType kind, void* dest, const uint8_t* record);

// Day numbers and timestamp milliseconds. Day 693594 is 30 December 1899, the platform
// date-time 0.
int32_t DateTimeToDayNumber(platform::TDateTime value);
platform::TDateTime DayNumberToDateTime(int32_t dayNumber);
double DateTimeToBDETimeStamp(platform::TDateTime value);
// Rounds to the nearest whole millisecond first.
platform::TDateTime BDETimeStampToDateTime(double timeStamp);

}  // namespace dbf
