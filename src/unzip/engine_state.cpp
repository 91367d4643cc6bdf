// The engine's one state record and its reading side: input refills from the
// archive, the message pump and the byte-progress poll of the abort key.
#include "unzip/engine_state.h"

EngineState Engine;

const uint16_t BitMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                              0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                              0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

void ResetInput() {
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
  int32_t count = ReadFromFile(Engine.Archive, Engine.InputBuffer, kInputBufferSize);
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
