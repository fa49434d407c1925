#include "dbf/dbf_common.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/codepage.h"
#include "platform/format.h"
#include "platform/settings.h"
#include "platform/system.h"

namespace dbf {
namespace {

constexpr size_t kComputerNameCapacity = 260;

std::unique_ptr<TDbfGlobals>& GlobalsSlot() {
  static std::unique_ptr<TDbfGlobals> globals;
  return globals;
}

}  // namespace

TDbfGlobals::TDbfGlobals() {
  const platform::TPlatformSettings& settings = platform::Settings();
  FDefaultOpenCodePage = settings.AnsiCodePage;
  FDefaultCreateCodePage = settings.AnsiCodePage;
  FDefaultCreateLocale = settings.UserLCID;
  for (const int cp : platform::InstalledCodePages()) FCodePages.push_back(cp);
  FComputerName = platform::ComputerName(kComputerNameCapacity);
}

bool TDbfGlobals::CodePageInstalled(int32_t cp) const {
  return std::find(FCodePages.begin(), FCodePages.end(), cp) != FCodePages.end();
}

const TDbfGlobals& DbfGlobals() {
  auto& slot = GlobalsSlot();
  if (!slot) slot = std::make_unique<TDbfGlobals>();
  return *slot;
}

void ResetDbfGlobals() {
  GlobalsSlot() = std::make_unique<TDbfGlobals>();
}

int32_t TranslateString(int32_t fromCP, int32_t toCP, const char* src, int32_t length, char* dest) {
  if (length < 0) length = static_cast<int32_t>(std::strlen(src));
  if (length == 0) return 0;
  // OEM <-> ANSI, the common pair, and every other pair go the same way: single-byte tables
  // convert directly, other code pages through UTF-16, never splitting a character.
  return static_cast<int32_t>(platform::ConvertCodePage(
      fromCP, toCP, src, static_cast<size_t>(length), dest, static_cast<size_t>(length)));
}

bool IsFullFilePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return true;
  if (path.size() < 2) return false;
  const char first = path[0];
  const bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  return (path[1] == ':' && letter) || (path[0] == '\\' && path[1] == '\\');
}

std::string GetCompletePath(const std::string& base, const std::string& path) {
  namespace fs = std::filesystem;
  std::string result;
  if (IsFullFilePath(path)) {
    result = path;
  } else {
    std::error_code ignored;
    const fs::path root = base.empty() ? fs::current_path(ignored) : fs::path(base);
    result = fs::absolute(root / path, ignored).lexically_normal().string();
  }
  if (!result.empty() && result.back() != '/') result += '/';
  return result;
}

std::string GetCompleteFileName(const std::string& base, const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  return GetCompletePath(base, directory) + name;
}

int32_t MemScan(const void* buffer, uint8_t value, int32_t length) {
  if (length <= 0) return -1;
  const void* found = std::memchr(buffer, value, static_cast<size_t>(length));
  return found == nullptr ? -1
                          : static_cast<int32_t>(static_cast<const uint8_t*>(found) -
                                                 static_cast<const uint8_t*>(buffer));
}

namespace {

// Digits of |value| into `digits` (at least 20 bytes); returns their count.
int32_t AbsoluteDigits(int64_t value, char* digits) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : uint64_t(value);
  const auto result = std::to_chars(digits, digits + 20, magnitude);
  return static_cast<int32_t>(result.ptr - digits);
}

}  // namespace

void Int64ToStrWidth(int32_t width, char* dest, int64_t value) {
  if (width <= 0) return;
  char digits[20];
  const int32_t count = AbsoluteDigits(value, digits);
  int32_t at = 0;
  if (value < 0) dest[at++] = '-';
  const int32_t room = width - at;
  for (int32_t i = count; i < room; ++i) dest[at++] = '0';
  const int32_t shown = std::min(count, room);
  std::memcpy(dest + at, digits + (count - shown), static_cast<size_t>(shown));
}

void IntToStrWidth(int32_t value, int32_t width, char* dest) {
  Int64ToStrWidth(width, dest, value);
}

bool IntegerFitsWidth(int64_t value, int32_t width) {
  char digits[20];
  return AbsoluteDigits(value, digits) + (value < 0 ? 1 : 0) <= width;
}

bool FloatToField(int32_t width, int32_t decimals, char* dest, double value) {
  if (width <= 0) return false;
  char text[400];
  const size_t length = platform::FloatToFixedBuf(text, value, decimals);
  if (length == 0 || length > static_cast<size_t>(width)) return false;
  std::memset(dest, ' ', static_cast<size_t>(width) - length);
  std::memcpy(dest + (width - static_cast<int32_t>(length)), text, length);
  return true;
}

int32_t Int64ToStrBuf(int64_t value, char* dest) {
  return AbsoluteDigits(value, dest);
}

int32_t IntToStrBuf(int32_t value, char* dest) {
  return AbsoluteDigits(value, dest);
}

}  // namespace dbf
