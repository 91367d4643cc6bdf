// The engine's one state record and its reading side: input refills from the
// archive, the message pump and the byte-progress poll of the abort key.
#include "unzip/engine_state.h"

#include <string.h>

EngineState Engine;

namespace {

constexpr uint32_t kReadAheadSize = 32768;
uint8_t readAhead[kReadAheadSize];

}  // namespace

bool SeekArchive(uint32_t offset) {
  Engine.AheadPos = Engine.AheadEnd = 0;
  Engine.ArchiveOffset = offset;
  return SeekFile(Engine.Archive, offset);
}

int32_t ReadArchive(void* buffer, uint32_t count) {
  uint8_t* to = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    if (Engine.AheadPos == Engine.AheadEnd) {
      const int32_t got = ReadFromFile(Engine.Archive, readAhead, kReadAheadSize);
      if (got <= 0) {
        if (done == 0) return got;
        break;
      }
      Engine.AheadPos = 0;
      Engine.AheadEnd = static_cast<uint16_t>(got);
    }
    uint32_t n = static_cast<uint32_t>(Engine.AheadEnd - Engine.AheadPos);
    if (n > count - done) n = count - done;
    memcpy(to + done, readAhead + Engine.AheadPos, n);
    Engine.AheadPos = static_cast<uint16_t>(Engine.AheadPos + n);
    done += n;
  }
  Engine.ArchiveOffset += done;
  return static_cast<int32_t>(done);
}

void ResumeArchive() { SeekArchive(Engine.ArchiveOffset); }

const uint16_t BitMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                              0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                              0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

void ResetInput() {
  // Decoders start where the archive was just sought to, or (a stored
  // entry's descriptor) right after a copy read straight from the file: the
  // read-ahead buffer holds nothing of that place.
  Engine.AheadPos = Engine.AheadEnd = 0;
  Engine.InputPos = 0;
  Engine.InputLast = -1;
}

void RefillInput() {
  // Reading stops for good once more than CompressedSize + 2 bytes came in;
  // from then on the buffer's old bytes stand in for data. The sum is taken
  // in 64 bits (a size near 2^31 would overflow), and BytesRead never runs
  // past what a 32-bit count can hold. That second stop, at most 2^31 - 2048
  // bytes read, only ever comes first for compressed sizes from 2147481598
  // up to the largest accepted, 2147483547 (that of a streamed entry).
  if (static_cast<int64_t>(Engine.BytesRead) > static_cast<int64_t>(Engine.CompressedSize) + 2 ||
      Engine.BytesRead > INT32_MAX - kInputBufferSize) {
    Engine.InputExhausted = true;
    Engine.InputLast = kInputBufferSize - 1;
    Engine.InputPos = 0;
    return;
  }
  PumpMessages();
  CheckProgress();
  int32_t count = ReadArchive(Engine.InputBuffer, kInputBufferSize);
  if (count <= 0) {
    Engine.InputExhausted = true;
    count = kInputBufferSize;
  }
  Engine.BytesRead += count;
  Engine.InputLast = count - 1;
  Engine.InputPos = 0;
}

void PumpMessages() {
  Engine.LastPumpTick = TickCount();
  DispatchPendingMessages();
}

void CheckProgress() {
  if (Engine.CompressedSize == 0) return;
  // Up to 1,000,000 bytes read the product fits in 32 bits; above, floating
  // point gives the same truncated quotient.
  int32_t percent;
  if (Engine.BytesRead <= 1000000) {
    percent = Engine.BytesRead * 100 / Engine.CompressedSize;
  } else {
    percent = static_cast<int32_t>(static_cast<double>(Engine.BytesRead) * 100.0 /
                                   static_cast<double>(Engine.CompressedSize));
  }
  if (percent > 100) percent = 100;
  if (percent < 0) percent = 0;  // a negative size from a broken header
  if (static_cast<uint16_t>(percent) == Engine.LastPercent) return;
  Engine.LastPercent = static_cast<uint16_t>(percent);
  if (Engine.AbortKey != 0) Engine.AbortRequested = IsKeyDown(Engine.AbortKey);
}
