// Tests on eight bytes at once for the per-field hot paths (text conversion, escaping): a
// 64-bit word loaded from unaligned memory, and masks that have the high bit set in the bytes
// that match. The lowest set bit of a mask marks the first match exactly (a match can set
// false bits only above itself), so FirstMatch gives the first matching byte's index.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform {

static_assert(std::endian::native == std::endian::little, "word scans assume little-endian");

constexpr uint64_t kEveryByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

inline uint64_t LoadWord(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// High bit set in (at least the first of) the bytes of `word` that are zero.
inline uint64_t ZeroBytes(uint64_t word) {
  return (word - kEveryByte) & ~word & kHighBits;
}
inline uint64_t BytesEqual(uint64_t word, uint8_t c) {
  return ZeroBytes(word ^ (kEveryByte * c));
}
// High bit set in (at least the first of) the bytes that are not '0'..'9'. A byte below '0'
// borrows and one far above it carries, but only into the bytes after it.
inline uint64_t NonDigitBytes(uint64_t word) {
  const uint64_t values = word - kEveryByte * '0';
  return ((values + kEveryByte * 0x76) | values) & kHighBits;
}
inline bool IsAscii(uint64_t word) {
  return (word & kHighBits) == 0;
}
// Index of the first matching byte of a nonzero mask (or of the first nonzero byte).
inline size_t FirstMatch(uint64_t mask) {
  return static_cast<size_t>(std::countr_zero(mask)) / 8;
}

// The 1..8 bytes [p, end) at the low end of a word, zeros above. `begin` is the start of
// the text: when it lies eight bytes or more before `end`, one load ending at `end` does.
inline uint64_t LoadTail(const char* begin, const char* p, const char* end) {
  const auto count = static_cast<size_t>(end - p);
  if (end - begin >= 8) return LoadWord(end - 8) >> (8 * (8 - count));
  uint64_t word = 0;
  std::memcpy(&word, p, count);
  return word;
}

// Index of the first byte `c` in text[0, length), or `length` when there is none.
inline size_t FindByte(const char* text, size_t length, uint8_t c) {
  size_t i = 0;
  for (; i + 8 <= length; i += 8)
    if (const uint64_t mask = BytesEqual(LoadWord(text + i), c)) return i + FirstMatch(mask);
  while (i < length && static_cast<uint8_t>(text[i]) != c) ++i;
  return i;
}

}  // namespace platform
