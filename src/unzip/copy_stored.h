// The decoder of method 0: stored data copied as it is.
#pragma once

#include "unzip/extract_result.h"

// Copies CompressedSize bytes from the archive's current position through the
// output window, in chunks of at most 32768 bytes, leaving the archive right
// after the data. Uses neither the input buffer nor the bit buffer.
ExtractResult CopyStored();
