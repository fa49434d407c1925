#include "export/page_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "platform/exceptions.h"
#include "platform/word_scan.h"

namespace exporter {
namespace {

// The characters written as entities.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> special{};
  for (const unsigned char c : {'&', '<', '>', '"'}) special[c] = true;
  return special;
}();

// Whether one of the eight bytes is special: " and & are the bytes b with (b | 4) == '&',
// < and > those with (b | 2) == '>'.
bool HasSpecial(uint64_t word) {
  using platform::kEveryByte;
  return (platform::BytesEqual(word | kEveryByte * 0x04, '&') |
          platform::BytesEqual(word | kEveryByte * 0x02, '>')) != 0;
}

std::string_view Entity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return "&quot;";
  }
}

// Writes all of `text`; 0, or the errno of the failure (a write that stores nothing counts
// as a full disk).
int WriteAll(int fd, std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return n < 0 ? errno : ENOSPC;
    }
  }
  return 0;
}

}  // namespace

TPageFile::TPageFile(const std::string& path) : FPath(path) {
  do {
    FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (FFd < 0 && errno == EINTR);
  if (FFd < 0)
    throw platform::Exception(
        fmt::format("Cannot create file \"{}\". {}", path, std::strerror(errno)));
  FBuffer.Reserve(kBufferSize + kBufferSize / 4);  // a row's worth of room past the mark
}

TPageFile::~TPageFile() {
  StopWriter();
  if (FFd >= 0) ::close(FFd);
}

void TPageFile::AppendEscaped(std::string_view text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!kSpecial[static_cast<unsigned char>(text[i])]) continue;
    FBuffer.Append(text.substr(start, i - start));
    FBuffer.Append(Entity(text[i]));
    start = i + 1;
  }
  FBuffer.Append(text.substr(start));
}

void TPageFile::EscapeTail(size_t from) {
  const std::string_view tail = FBuffer.View(from);
  size_t i = 0;
  while (i + 8 <= tail.size() && !HasSpecial(platform::LoadWord(tail.data() + i))) i += 8;
  while (i < tail.size() && !kSpecial[static_cast<unsigned char>(tail[i])]) ++i;
  if (i == tail.size()) return;
  FScratch.assign(tail);
  FBuffer.Truncate(from);
  AppendEscaped(FScratch);
}

void TPageFile::Line(std::string_view text) {
  FBuffer.Append(text);
  FBuffer.Append("\r\n");
}

// Waits until the writer has finished what it was given; throws if that failed.
void TPageFile::WaitIdle(std::unique_lock<std::mutex>& lock) {
  FChanged.wait(lock, [this] { return !FPending; });
  if (FError != 0) Fail(FError);
}

void TPageFile::HandOver() {
  if (!FWriter.joinable()) {
    // The second buffer comes back to the caller as the one to fill: give it full size now
    // rather than growing it piece by piece.
    FWriting.Reserve(kBufferSize + kBufferSize / 4);
    FWriter = std::thread(&TPageFile::WriterLoop, this);
  }
  std::unique_lock<std::mutex> lock(FMutex);
  WaitIdle(lock);
  std::swap(FBuffer, FWriting);
  FPending = true;
  FChanged.notify_all();
}

void TPageFile::WriterLoop() {
  std::unique_lock<std::mutex> lock(FMutex);
  for (;;) {
    FChanged.wait(lock, [this] { return FPending || FStopping; });
    if (!FPending) return;
    lock.unlock();
    // Nothing is handed over after a failure: HandOver throws on it first.
    const int error = WriteAll(FFd, FWriting.View());
    lock.lock();
    FWriting.Clear();
    FError = error;
    FPending = false;
    FChanged.notify_all();
  }
}

void TPageFile::StopWriter() {
  if (!FWriter.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    FStopping = true;
  }
  FChanged.notify_all();
  FWriter.join();
}

void TPageFile::Close() {
  if (FWriter.joinable()) {
    std::unique_lock<std::mutex> lock(FMutex);
    WaitIdle(lock);
  }
  StopWriter();
  if (const int error = WriteAll(FFd, FBuffer.View())) Fail(error);
  FBuffer.Clear();
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0 && errno != EINTR) Fail(errno);
}

void TPageFile::Fail(int error) const {
  throw platform::Exception(
      fmt::format("Error while writing \"{}\". {}", FPath, std::strerror(error)));
}

}  // namespace exporter
