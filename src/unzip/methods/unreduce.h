// Unreduce: the decoder of ZIP compression methods 2 to 5 (reduced with
// compression factors 1 to 4).
#pragma once

#include <cstdint>

#include "unzip/extract_result.h"

// Decodes the current entry's data from the engine's input into the output
// window until UncompressedSize bytes are out or the input runs dry (the CRC
// check then judges the output). Returns Ok, WriteFailed or UserAborted.
ExtractResult Unreduce(uint16_t method);
