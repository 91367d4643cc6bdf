// CRC-32 over any bytes, for callers outside the engine's entry extraction
// (the launcher checks an archive's seal with it). The register is the raw
// one: start from 0xFFFFFFFF and complement the end value to get ZIP's CRC.
#pragma once

#include <cstdint>

// The register after `count` more bytes.
uint32_t ContinueCrc(uint32_t crc, const uint8_t* bytes, uint32_t count);
