// The 32768-byte output window that every decoder writes through, the
// flush that hands a filled part of it (or of a decoder's own larger
// window) to the output file and the CRC, and the match copy that the LZ77
// decoders share.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr uint32_t kWindowSize = 32768;

// Allocated and zero-filled for each entry by entry extraction; decoders that
// copy from before the entry's first byte therefore read zeros.
extern uint8_t* OutputWindow;
// Write position used by inflate, 0 to 32768; other decoders keep their own.
extern uint16_t WindowPos;
// The current entry's output file, opened and closed by entry extraction.
extern FileHandle OutputFile;
// Bytes the current entry may still write: entry extraction sets it to the
// declared uncompressed size and lifts it again afterwards (kNoOutputBound).
extern uint32_t OutputLeft;
constexpr uint32_t kNoOutputBound = 0xFFFFFFFF;
// Why the last flush failed, where that matters beyond "a write error":
// entry extraction clears it for each entry.
enum class OutputFault : uint8_t {
  None,
  Overrun,   // a flush was refused for passing OutputLeft
  DiskFull,  // the system found the disk full
};
extern OutputFault OutputTrouble;

// Writes bytes[0 .. count) to the output file and folds the same bytes into
// the running CRC (even when the write fails). True when all were written.
// A flush of more than OutputLeft bytes writes nothing, sets OutputTrouble to
// Overrun and fails: no decoder writes more than the header declares,
// however forged its data. A write that finds the disk full sets it to
// DiskFull. The one way output reaches the file.
bool FlushOutput(const uint8_t* bytes, uint32_t count);

// FlushOutput of OutputWindow[0 .. count), count at most kWindowSize.
bool FlushWindow(uint32_t count);

// Copies a match of length bytes from source (a window index, taken modulo
// the window size) to pos, in pieces that end at the window's end; a full
// window is flushed and pos starts again at 0. A piece whose source trails
// pos by less than its length repeats the bytes it has just written, as a
// byte-by-byte copy in increasing order would. False when a flush failed.
bool CopyMatch(uint32_t& pos, uint32_t source, uint32_t length);
