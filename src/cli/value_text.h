// The text forms tabulet-cli reads and writes for values: base64 for binary memos, ISO dates
// and date-times, and "NAME:TYPE[:LENGTH[:DECIMALS]]" field definitions. Pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cli {

std::string Base64Encode(std::string_view bytes);
// False for anything but padded standard base64 (blanks and line breaks are skipped).
bool Base64Decode(std::string_view text, std::string& bytes);

struct TIsoDateTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
// "YYYY-MM-DD" or, with `withTime`, "YYYY-MM-DDThh:mm:ss" (the time may also be missing).
// Checks the digits and ranges, not whether the day exists in its month.
std::optional<TIsoDateTime> ParseIsoDateTime(std::string_view text, bool withTime);

struct TFieldSpec {
  std::string Name;
  char Type = 0;
  int Length = -1;    // -1: the writer's default
  int Decimals = -1;  // -1: the writer's default
};
// Throws UsageError naming the definition when it is not NAME:TYPE[:LENGTH[:DECIMALS]].
TFieldSpec ParseFieldSpec(const std::string& text);

}  // namespace cli
