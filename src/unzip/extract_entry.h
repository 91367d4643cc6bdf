// Extraction of one entry to one output file (or one directory).
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "unzip/extract_result.h"

// Virtual-key code of the key that aborts an extraction (Escape).
constexpr uint16_t kAbortKeyEscape = 27;

// The joined output path is limited to this many characters.
constexpr uint32_t kMaxOutputPath = 259;

// The entry's sizes as the central directory gives them (after its Zip64
// field). A streamed entry whose local header leaves its sizes out takes them
// from here, unless it is deflated: deflate finds its own end.
struct CentralSizes {
  uint32_t Compressed;
  uint32_t Uncompressed;
};

// Extracts the entry whose local header starts at headerOffset in the open
// archive to outputPath (a path ending in a backslash names a directory).
// The caller keeps the archive open for all its entries, so that an
// extraction opens it once; kNoFile gives ReadFailed. attributes are the
// entry's MS-DOS attributes from the central directory (bit 4 marks a
// directory). Whatever fails, no partial output file remains; an entry that
// decodes to more bytes than its declared size ends as CrcMismatch, and
// nothing beyond that size is ever written.
ExtractResult ExtractEntryFrom(FileHandle archive, const char* outputPath, uint16_t attributes,
                               uint16_t abortKey, uint32_t headerOffset, CentralSizes central);

// The same for an archive named by its path, opened for this entry alone.
ExtractResult ExtractEntry(const char* archivePath, const char* outputPath, uint16_t attributes,
                           uint16_t abortKey, uint32_t headerOffset, CentralSizes central);
