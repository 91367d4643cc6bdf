// The check that an archive is whole before anything of it is extracted:
// its structure through the engine's own central-directory reader, the
// places of its entries, and its seal (archive_seal.h) where the comment
// holds one.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// True when the archive that starts at `archiveStart` in the open file
// `archive` (an installer holds its stub in front of it) has an end record
// whose comment fits in the file, a directory that reads to its end with
// exactly the count the end record announces, every entry's local header and
// data between the archive's start and the directory, no two entries that
// share bytes (one entry's data named a hundred times would fill the disk a
// hundred times), and, where its comment is a seal, the sealed length from
// `archiveStart` and the CRC-32 of those bytes, read once. `*options`
// receives the seal's options (0 without a seal).
bool IsArchiveSound(FileHandle archive, uint32_t archiveStart, uint8_t* options);
