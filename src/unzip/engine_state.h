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

  FileHandle Archive;        // positioned by entry extraction through SeekArchive
  uint32_t ArchiveOffset;    // where the next ReadArchive starts
  uint16_t AheadPos;         // next unread byte of the read-ahead buffer
  uint16_t AheadEnd;         // bytes the read-ahead buffer holds

  uint8_t InputBuffer[kInputBufferSize];
  int16_t InputPos;          // next unread byte
  int32_t InputLast;         // last valid byte; -1 means empty

  uint32_t BitBuffer;        // the next bit is bit 0
  uint8_t BitCount;
};

extern EngineState Engine;

// BitMask[n] = 2^n - 1 for n = 0 to 16.
extern const uint16_t BitMask[17];

// The archive's local headers and the decoders' input are read through
// these (stored chunks go straight to the file): reads of 32768 bytes fill a
// read-ahead buffer that serves the 2048-byte refills and the headers, so
// only one refill in sixteen costs a system call. What a read returns is what a direct read of
// the file at ArchiveOffset would return. A nested extraction (see
// extract_entry.cpp) overwrites the buffer; ResumeArchive empties it and puts
// the file back at ArchiveOffset.
bool SeekArchive(uint32_t offset);
int32_t ReadArchive(void* buffer, uint32_t count);  // bytes read, or -1 on error
void ResumeArchive();

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
