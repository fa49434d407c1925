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
inline bool IsAscii(uint64_t word) {
  return (word & kHighBits) == 0;
}
// Index of the first matching byte of a nonzero mask.
inline size_t FirstMatch(uint64_t mask) {
  return static_cast<size_t>(std::countr_zero(mask)) / 8;
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
