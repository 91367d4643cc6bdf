// Extraction of one entry to one output file (or one directory).
#pragma once

#include <cstdint>

#include "unzip/extract_result.h"

// Virtual-key code of the key that aborts an extraction (Escape).
constexpr uint16_t kAbortKeyEscape = 27;

// The joined output path is limited to this many characters.
constexpr uint32_t kMaxOutputPath = 259;

// Extracts the entry whose local header starts at headerOffset in the
// archive to outputPath (a path ending in a backslash names a directory).
// attributes are the entry's MS-DOS attributes from the central directory
// (bit 4 marks a directory). Whatever fails, no partial output file remains.
ExtractResult ExtractEntry(const char* archivePath, const char* outputPath, uint16_t attributes,
                           uint16_t abortKey, uint32_t headerOffset);
