// The check that an archive is whole before anything of it is extracted:
// its structure through the engine's own central-directory reader, and its
// seal (archive_seal.h) where the comment holds one.
#pragma once

#include "launcher/payload_carving.h"

// True when the archive at `archivePath` has an end record whose comment
// fits in the file, a directory that reads to its end with exactly the count
// the end record announces, every local header offset before the directory,
// and, where its comment is a seal, the sealed length and CRC-32. `carved`
// (null when the archive was not carved in this run) is what carving counted
// over the whole file; the seal's CRC then comes from it and the few bytes
// after the sealed part, without reading the archive again.
bool IsArchiveSound(const char* archivePath, const CarvedDigest* carved);
