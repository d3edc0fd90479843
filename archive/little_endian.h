// Little-endian integers at a byte position, as the data block stores them.
#pragma once

#include <cstdint>
#include <cstring>

inline uint32_t loadLE32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t loadLE64(const unsigned char* p) {
  return uint64_t(loadLE32(p)) | uint64_t(loadLE32(p + 4)) << 32;
}

inline void storeLE32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void storeLE64(unsigned char* p, uint64_t v) {
  storeLE32(p, static_cast<uint32_t>(v));
  storeLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
