// CRC-32 over any bytes, for callers outside the engine's entry extraction
// (the launcher checks a carved archive with it). The register is the raw
// one: start from 0xFFFFFFFF and complement the end value to get ZIP's CRC.
#pragma once

#include <cstdint>

// The register after `count` more bytes.
uint32_t ContinueCrc(uint32_t crc, const uint8_t* bytes, uint32_t count);

// The register as it was before the last `count` bytes, which are `bytes`:
// the register over a prefix, from the register over the whole and the
// bytes that follow the prefix.
uint32_t RemoveCrcTail(uint32_t crc, const uint8_t* bytes, uint32_t count);
