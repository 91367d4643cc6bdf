// LZMA entries for the engine's tests, through liblzma's raw LZMA1 encoder:
// the ZIP entry's data (the 4-byte LZMA header, the 5 property bytes, the
// stream), with the choices the tests vary.
#pragma once

#include <cstdint>

#include "inflate_support.h"

struct LzmaChoices {
  uint32_t dictionary = 0;      // 0: the data's size, at least 4096
  bool endMarker = true;        // else the stream ends with the data
  Bytes presetDictionary;       // history the encoder takes as written before the data
  uint8_t properties = 0x5D;    // lc 3, lp 0, pb 2 (liblzma's default)
  uint32_t declaredDictionary = 0;  // written in the header; 0: the one encoded with
};

Bytes LzmaEntryData(const Bytes& data, const LzmaChoices& choices = {});
