// LZMA: the decoder of ZIP compression method 14.
#pragma once

#include "unzip/extract_result.h"

// Decodes the current entry's data (the 4-byte LZMA header, the 5 property
// bytes, then the range-coded stream, ending with an end marker when flag
// bit 1 is set) from the engine's input and writes exactly the declared
// uncompressed size. Returns Ok, CrcMismatch (the stream gives more or fewer
// bytes than declared), WriteFailed (also when its dictionary cannot be
// had), ReadFailed (the stream runs past its compressed size), BadArchive
// (bad properties, a distance beyond the bytes written or the dictionary, a
// damaged stream end) or UserAborted. The input is left right after the
// stream, for a data descriptor.
ExtractResult DecodeLzma();
