// The file a page is written into, filled through a large buffer that callers append to
// directly (Buffer()). Once a buffer is full it is handed to a background thread that writes
// it while the caller fills the other one, so formatting and the kernel's copying overlap; a
// page that fits one buffer never starts the thread. A failure to create or write throws
// platform::Exception naming the file — a write failure from the next Drain() or Close() after
// it happened — and the descriptor is closed on every path. One caller at a time.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "export/text_buffer.h"

namespace exporter {

class TPageFile {
 public:
  // Creates the file, replacing what was there.
  explicit TPageFile(const std::string& path);
  // Stops the writer and closes the file; what was not handed over is not written.
  ~TPageFile();
  TPageFile(const TPageFile&) = delete;
  TPageFile& operator=(const TPageFile&) = delete;

  TTextBuffer& Buffer() { return FBuffer; }
  void Append(std::string_view text) { FBuffer.Append(text); }
  // Appends `text` with &, <, > and " written as entities.
  void AppendEscaped(std::string_view text);
  // Escapes what was appended to the buffer since `from` (a size the buffer had).
  void EscapeTail(size_t from);
  // Appends `text` and a CRLF.
  void Line(std::string_view text);
  // Hands the buffer over for writing once it has grown large; call between pieces of text.
  void Drain() {
    if (FBuffer.Size() >= kBufferSize) HandOver();
  }
  // Writes the rest, waits until everything is written and closes the file.
  void Close();

  static constexpr size_t kBufferSize = 1 << 20;

 private:
  void HandOver();
  void WaitIdle(std::unique_lock<std::mutex>& lock);
  void StopWriter();
  void WriterLoop();
  [[noreturn]] void Fail(int error) const;

  std::string FPath;
  int FFd = -1;
  TTextBuffer FBuffer;  // being filled by the caller
  std::string FScratch;

  // Shared with the writer thread, under FMutex.
  std::mutex FMutex;
  std::condition_variable FChanged;
  TTextBuffer FWriting;  // handed over, written by the thread
  bool FPending = false;
  bool FStopping = false;
  int FError = 0;  // errno of the first failed write
  std::thread FWriter;
};

}  // namespace exporter
