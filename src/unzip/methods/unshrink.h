// Unshrink: the decoder of ZIP compression method 1 (shrinking).
#pragma once

#include "unzip/extract_result.h"

// Decodes the current entry's CompressedSize bytes from the engine's input,
// flushing its output in pieces of 767 bytes and the rest at the end.
// Returns Ok, WriteFailed, ReadFailed, BadArchive, UserAborted or
// UnsupportedMethod. Keeps all its tables inside the output window.
ExtractResult Unshrink();
