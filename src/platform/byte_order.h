// Every little- and big-endian integer the file formats store goes through these helpers.
// They read and write through byte pointers, so alignment never matters. Callers check that
// the bytes exist before calling; the *Checked variants take a limit and yield 0 past it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline uint16_t GetLE16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t GetLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t* p) {
  return uint64_t(GetLE32(p)) | (uint64_t(GetLE32(p + 4)) << 32);
}
inline uint16_t GetBE16(const uint8_t* p) {
  return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t GetBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t GetBE64(const uint8_t* p) {
  return (uint64_t(GetBE32(p)) << 32) | uint64_t(GetBE32(p + 4));
}

inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void PutLE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void PutBE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline void PutBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * (3 - i)));
}
inline void PutBE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * (7 - i)));
}

// Bounds-checked reads: `size` is the number of valid bytes at `p`; `offset` is where the
// integer starts. A value that would run past the end reads as 0.
inline uint16_t GetLE16Checked(const uint8_t* p, size_t size, size_t offset) {
  return offset + 2 <= size ? GetLE16(p + offset) : 0;
}
inline uint32_t GetLE32Checked(const uint8_t* p, size_t size, size_t offset) {
  return offset + 4 <= size ? GetLE32(p + offset) : 0;
}
inline uint32_t GetBE32Checked(const uint8_t* p, size_t size, size_t offset) {
  return offset + 4 <= size ? GetBE32(p + offset) : 0;
}

}  // namespace platform
