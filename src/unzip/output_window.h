// The 32768-byte output window that every decoder writes through, and the
// flush that hands a filled part of it to the output file and the CRC.
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

// Writes OutputWindow[0 .. count) to the output file and folds the same bytes
// into the running CRC (even when the write fails). True when all were written.
bool FlushWindow(uint32_t count);
