// The platform date-time: a double counting days since 30 December 1899, its fraction the time
// of day. Conversions to and from calendar parts use the proleptic Gregorian calendar.
#pragma once

#include <cstdint>

namespace platform {

using TDateTime = double;

// Days from 30 December 1899 to the given date; false when the date does not exist.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
// Fraction of a day; false when a part is out of range.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);

void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Days from 1 January 0001 (day 1) to 30 December 1899 (the date-time's day 0).
constexpr int32_t kDateDelta = 693594;

}  // namespace platform
