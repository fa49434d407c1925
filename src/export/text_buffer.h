// A growable byte buffer for building a page's text fast. Appends are inline, and a writer
// that knows an upper bound of what it will write reserves that room, writes straight into
// it and commits what it used, so formatting needs no scratch copy. Unlike std::string it
// never fills the room it grows.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace exporter {

class TTextBuffer {
 public:
  size_t Size() const { return FSize; }
  bool Empty() const { return FSize == 0; }
  const char* Data() const { return FData.get(); }
  std::string_view View(size_t from = 0) const { return {FData.get() + from, FSize - from}; }

  // Room for at least `count` more bytes at the end; the pointer is valid until the next call
  // that may grow the buffer. Bytes written there count once committed.
  char* Reserve(size_t count) {
    if (FCapacity - FSize < count) Grow(count);
    return FData.get() + FSize;
  }
  void Commit(size_t count) { FSize += count; }

  void Append(const char* text, size_t length) {
    std::memcpy(Reserve(length), text, length);
    FSize += length;
  }
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  void Append(char c) {
    *Reserve(1) = c;
    ++FSize;
  }
  // Appends the first `length` bytes of a fixed-size block, copying the whole block: short
  // markup then costs a fixed-size copy instead of a call with a variable length.
  template <size_t N>
  void AppendBlock(const char (&block)[N], size_t length) {
    std::memcpy(Reserve(N), block, N);
    FSize += length;
  }
  // Cuts the text back to its first `size` bytes (size <= Size()).
  void Truncate(size_t size) { FSize = size; }
  void Clear() { FSize = 0; }

 private:
  void Grow(size_t count) {
    size_t capacity = FCapacity < 256 ? 256 : FCapacity * 2;
    while (capacity - FSize < count) capacity *= 2;
    std::unique_ptr<char[]> data(new char[capacity]);
    if (FSize != 0) std::memcpy(data.get(), FData.get(), FSize);
    FData = std::move(data);
    FCapacity = capacity;
  }

  std::unique_ptr<char[]> FData;
  size_t FSize = 0;
  size_t FCapacity = 0;
};

}  // namespace exporter
