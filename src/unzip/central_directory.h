// The central-directory reader: finds the end record, then hands out the
// directory's records one entry at a time.
#pragma once

#include <cstdint>

#include "platform/platform.h"

enum class DirectoryResult : int8_t {
  EntryReady = 0,        // Entry holds the next entry
  EndOfDirectory = 1,    // the walk reached the directory's end with every promised entry
  DirectoryReadError = -1,
  DirectoryStructureError = -2,  // the walk ended anywhere else
};

constexpr uint32_t kMaxEntryName = 259;

struct DirectoryEntry {
  uint32_t HeaderOffset;  // of the local header, counting bytes in front of the archive
  char Name[kMaxEntryName + 1];  // backslashes, in the ANSI code page (see entry_name.h)
  bool NameRefused;       // Name could not be converted or was cut: it holds the raw bytes
  uint16_t Method;
  uint16_t Attributes;    // low byte of the external attributes, MS-DOS hosts only
  uint32_t CompressedSize;    // after the Zip64 field
  uint32_t UncompressedSize;
  bool TooLarge;          // a Zip64 size or offset above kLargestValue
};

struct DirectoryReader {
  uint8_t* Buffer;        // null when the reader holds no directory
  uint16_t Valid;         // bytes of Buffer that hold directory data
  uint16_t Position;      // of the next record in Buffer
  bool WindowMode;        // the directory is longer than the buffer
  FileHandle Archive;     // the caller's, read again for refills in window mode
  uint32_t NextRead;      // where the next refill reads in the file
  uint32_t Left;          // directory bytes not walked yet
  uint32_t Count;         // records handed out
  uint64_t Total;         // entries the end record promises
  int64_t Bias;           // bytes in front of the archive: added to local header offsets
  uint32_t DirectoryStart;  // where the directory was found, in the file
  uint32_t EndRecord;       // where the end record lies, in the file
  DirectoryEntry Entry;
};

// Finds the directory of the open archive and parses its first entry. total
// receives the end record's entry count (up to 65535). The archive stays
// the caller's: it may be read and sought between entries (each refill
// seeks to its place), and it must outlive the reader. On anything but
// EntryReady the reader is closed already.
DirectoryResult OpenDirectory(FileHandle archive, DirectoryReader& reader, uint16_t& total);
// Parses the next entry; closes the reader on anything but EntryReady.
DirectoryResult NextEntry(DirectoryReader& reader);
// Releases the buffer; a second call does nothing. The archive stays open.
void CloseDirectory(DirectoryReader& reader);
