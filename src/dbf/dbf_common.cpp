#include "dbf/dbf_common.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/codepage.h"
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

void ResetDbfGlobals() { GlobalsSlot() = std::make_unique<TDbfGlobals>(); }

int32_t TranslateString(int32_t fromCP, int32_t toCP, const char* src, int32_t length,
                        char* dest) {
  if (length < 0) length = static_cast<int32_t>(std::strlen(src));
  if (length == 0) return 0;
  // OEM <-> ANSI, the common pair, and every other pair go the same way: single-byte tables
  // convert directly, other code pages through UTF-16, never splitting a character.
  return static_cast<int32_t>(platform::ConvertCodePage(fromCP, toCP, src,
                                                        static_cast<size_t>(length), dest,
                                                        static_cast<size_t>(length)));
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

}  // namespace dbf
