// Small services of the operating system: sleeping, the computer's name and the local clock.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

void Sleep(uint32_t milliseconds);

// The host name, cut at `maxLength` bytes when longer (0: no limit).
std::string ComputerName(size_t maxLength = 0);

struct TSystemTime {
  int Year, Month, Day;  // Month and Day 1-based
  int Hour, Minute, Second, Milliseconds;
};

TSystemTime LocalTime();

}  // namespace platform
