// The output window shared by the decoders, the flush to the output file and
// the match copy of the LZ77 decoders.
#include "unzip/output_window.h"

#include <cstring>

#include "unzip/engine_state.h"

uint8_t* OutputWindow = nullptr;
uint16_t WindowPos = 0;
FileHandle OutputFile = kNoFile;
uint32_t OutputLeft = kNoOutputBound;
OutputFault OutputTrouble = OutputFault::None;

bool FlushOutput(const uint8_t* bytes, uint32_t count) {
  if (count == 0) return true;
  if (count > OutputLeft) {
    OutputTrouble = OutputFault::Overrun;
    return false;
  }
  OutputLeft -= count;
  UpdateCrc(bytes, count);
  const int32_t written = WriteToFile(OutputFile, bytes, count);
  if (written == kWriteDiskFull) OutputTrouble = OutputFault::DiskFull;
  return written == static_cast<int32_t>(count);
}

bool FlushWindow(uint32_t count) {
  return count <= kWindowSize && FlushOutput(OutputWindow, count);
}

bool CopyMatch(uint32_t& pos, uint32_t source, uint32_t length) {
  uint8_t* const window = OutputWindow;
  while (length > 0) {
    source &= kWindowSize - 1;
    uint32_t piece = kWindowSize - (source > pos ? source : pos);
    if (piece > length) piece = length;
    const int32_t lead = static_cast<int32_t>(pos - source);
    uint8_t* to = window + pos;
    const uint8_t* from = window + source;
    if (lead == 1) {
      memset(to, *from, piece);
    } else if (lead < 0) {
      // The source lies ahead (up to 7 bytes ahead at distances 32761 to
      // 32767, so the ranges may overlap): every byte is read before this
      // piece overwrites it, which memmove does too.
      memmove(to, from, piece);
    } else if (lead >= 8) {
      // Eight bytes at a time: with the source eight or more bytes behind,
      // a chunk never reads a byte that this piece writes after it (block
      // moves and long-period runs).
      uint32_t i = 0;
      for (; i + 8 <= piece; i += 8) memcpy(to + i, from + i, 8);
      for (; i < piece; ++i) to[i] = from[i];
    } else {
      // A run of period 2 to 7 (or, at distance 32768, a copy onto itself).
      for (uint32_t i = 0; i < piece; ++i) to[i] = from[i];
    }
    pos += piece;
    source += piece;
    length -= piece;
    if (pos == kWindowSize) {
      if (!FlushWindow(kWindowSize)) return false;
      pos = 0;
    }
  }
  return true;
}
