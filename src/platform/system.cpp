#include "platform/system.h"

#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

void Sleep(uint32_t milliseconds) {
  struct timespec wait {
    static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L
  };
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

std::string ComputerName(size_t maxLength) {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::string();
  std::string result(name);
  if (maxLength != 0 && result.size() > maxLength) result.resize(maxLength);
  return result;
}

TSystemTime LocalTime() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  struct tm parts;
  localtime_r(&now.tv_sec, &parts);
  return TSystemTime{parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(now.tv_usec / 1000)};
}

}  // namespace platform
