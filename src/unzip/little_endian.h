// Little-endian reads of the 16- and 32-bit fields of ZIP records, byte by
// byte, so that nothing depends on the host's byte order or alignment.
#pragma once

#include <cstdint>

inline uint16_t Little16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t Little32(const uint8_t* p) {
  return static_cast<uint32_t>(Little16(p)) | static_cast<uint32_t>(Little16(p + 2)) << 16;
}

inline uint64_t Little64(const uint8_t* p) {
  return static_cast<uint64_t>(Little32(p)) | static_cast<uint64_t>(Little32(p + 4)) << 32;
}
