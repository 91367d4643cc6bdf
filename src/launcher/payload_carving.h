// Carving the appended archive out of the finished installer, and making the
// directories of a path.
#pragma once

#include <cstdint>

// The file the archive is carved into, in the directory extracted into.
constexpr const char* kTemporaryArchiveName = "uztemp.zip";

enum class CarveResult {
  Done,
  SourceNotOpened,   // the installer cannot be opened for reading
  OutputNotCreated,
  ReadFailed,        // also a failing seek past the stub
  WriteFailed,       // also a write that took fewer bytes than given
};

// What carving saw of the bytes it copied: the raw CRC-32 register over
// them (started at 0xFFFFFFFF, not complemented) and their number.
struct CarvedDigest {
  uint32_t Crc;
  uint32_t Length;
};

// Copies everything after the first stubSizeValue - 1 bytes of `sourcePath`
// into directory + "uztemp.zip" (directory ends in a backslash), replacing
// that file, and counts the copied bytes into `digest` as they pass. A value
// of 1 or less copies the whole source; a value past the end gives an empty
// archive. The copy moves in blocks of 10,000 bytes.
CarveResult CarvePayload(const char* directory, const char* sourcePath, int32_t stubSizeValue,
                         CarvedDigest& digest);

// Creates every missing directory of `path` (with or without a trailing
// backslash), from the outermost missing one inwards. Paths shorter than
// three characters (a drive such as C:, empty) count as existing. Whether a
// creation works is not looked at: a directory that could not be made shows
// up when files are written into it.
void CreateDirectoryPath(const char* path);
