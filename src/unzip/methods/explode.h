// Explode: the decoder of ZIP compression method 6 (imploded).
#pragma once

#include "unzip/extract_result.h"

// Decodes the current entry's data from the engine's input into the output
// window: reads the entry's Shannon-Fano length lists, builds the literal
// (when flag bit 2 is set), length and distance tables, and runs the LZ77
// loop over a 4 KB or 8 KB dictionary (flag bit 1) until UncompressedSize
// bytes are out. Returns Ok, WriteFailed, ReadFailed, BadArchive or
// UserAborted.
ExtractResult Explode();
