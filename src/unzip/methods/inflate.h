// Inflate: the decoder of ZIP compression method 8 (deflate, RFC 1951).
#pragma once

#include "unzip/extract_result.h"

// Decodes the current entry's data from the engine's input into the output
// window, flushing every full window and the rest at the end. Returns Ok,
// WriteFailed, ReadFailed, BadArchive or UserAborted. The bits after the
// last block stay in the bit buffer for a data descriptor.
ExtractResult Inflate();
