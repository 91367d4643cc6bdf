// The engine's one state record and the reading side every decoder shares:
// the 2048-byte input buffer over the archive file, the 32-bit bit buffer
// (bits are taken least significant first, for every method), the running
// CRC-32, the message pump and the abort-key poll.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr int kInputBufferSize = 2048;

struct EngineState {
  // Facts of the current entry, set by entry extraction before a decoder runs.
  int32_t CompressedSize;    // 2147483547 for a streamed deflated entry without sizes
  int32_t UncompressedSize;
  int32_t BytesRead;         // compressed bytes read from the archive so far
  uint16_t EntryFlags;       // general-purpose flags of the local header
  bool AbortRequested;
  bool InputExhausted;
  uint32_t RunningCrc;
  uint16_t LastPercent;      // byte-progress percentage of this entry, 0 to 100
  uint16_t AbortKey;         // virtual-key code; 0 disables the key
  uint32_t LastPumpTick;     // 0 until the first pump

  FileHandle Archive;        // opened and positioned by entry extraction

  uint8_t InputBuffer[kInputBufferSize];
  int16_t InputPos;          // next unread byte
  int32_t InputLast;         // last valid byte; -1 means empty

  uint32_t BitBuffer;        // the next bit is bit 0
  uint8_t BitCount;
};

extern EngineState Engine;

// BitMask[n] = 2^n - 1 for n = 0 to 16.
extern const uint16_t BitMask[17];

void ResetInput();
void RefillInput();
void UpdateCrc(const uint8_t* bytes, uint32_t count);
void PumpMessages();
void CheckProgress();

inline uint8_t ReadByte() {
  if (Engine.InputPos > Engine.InputLast) RefillInput();
  return Engine.InputBuffer[Engine.InputPos++];
}

// Afterwards BitCount is at least n and at most n + 7 (n from 0 to 16).
inline void NeedBits(unsigned n) {
  while (Engine.BitCount < n) {
    Engine.BitBuffer |= static_cast<uint32_t>(ReadByte()) << Engine.BitCount;
    Engine.BitCount = static_cast<uint8_t>(Engine.BitCount + 8);
  }
}

inline void DropBits(unsigned n) {
  Engine.BitBuffer >>= n;
  Engine.BitCount = static_cast<uint8_t>(Engine.BitCount - n);
}
