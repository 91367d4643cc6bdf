// The ZIP archive mkinstaller makes from a folder: which names and sizes the
// stub's engine can take, the order and time stamps that keep the archive
// the same on every build machine, and the records themselves (local
// headers, central directory, end record). Portable: the files come in as
// TreeItems and bytes, the archive goes out as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host_files.h"
#include "installer_image.h"

// The engine counts entries in 16 bits and keeps sizes and offsets in signed
// 32-bit numbers with 100 to spare: every size and offset stays below this.
constexpr uint32_t kLargestEntryCount = 65535;
constexpr uint64_t kArchiveSizeLimit = (uint64_t{1} << 31) - 100;

// Characters allowed for the directory the installer extracts into, which
// the engine joins with each entry name into at most 259: the install
// directory when given (a leading <WINDIR> counted as "C:\WINDOWS"), but at
// least 64, for the default mode's %TEMP%\<stub name>\.
size_t ExtractionDirectoryAllowance(const std::optional<std::string>& installDirectory);

// Sorts `items` into the archive's order (byte order of their names) and
// checks them: at least one, at most kLargestEntryCount, names the engine
// and Windows take (UTF-8 without control characters or <>:"\|?*, no
// component ending in '.' or a blank, no DOS device name, none equal to
// another but for letter case, joined length within 259 given `allowance`),
// and files below the size limit. Appends every problem to `problems`, and
// marks the items whose names are refused.
void CheckTree(std::vector<TreeItem>& items, size_t allowance, std::vector<std::string>& problems);

// MS-DOS date (high half) and time (low half) of `seconds` since 1970 taken
// as UTC, clamped to 1980-01-01 00:00:00 .. 2107-12-31 23:59:58.
uint32_t DosDateTime(int64_t seconds);

// Compression methods of the entries.
constexpr uint16_t kStored = 0, kDeflated = 8, kLzma = 14;

// The fields an entry's local header and central-directory record share.
struct EntryFields {
  std::string name;
  bool isDirectory = false;
  uint32_t dosDateTime = 0;
  uint16_t method = kStored;
  uint32_t crc = 0;
  uint32_t compressedSize = 0, size = 0;
};

// The bytes an entry takes besides its data: local header and directory
// record, each with the name.
uint64_t EntryOverhead(const std::string& name);
constexpr uint64_t kEndRecordSize = 22;

// The problem when an archive of `size` bytes (`exact`ly, else at least)
// is past the size limit; `name`, when not empty, is the entry that takes
// it there.
std::string ArchiveSizeProblem(uint64_t size, bool exact, const std::string& name);

// The entry's local header: 30 bytes, then the name; its data follows.
Bytes LocalHeader(const EntryFields& entry);

// The archive's central directory as it grows, and what FinishArchive needs
// besides: `written` is the number of archive bytes before the directory.
struct ArchiveWriter {
  uint64_t written = 0;
  Bytes data;
  Bytes directory;
  uint32_t count = 0;
};

// Appends the entry's central-directory record; its local header lies at
// `offset` in the archive.
void AddDirectoryRecord(ArchiveWriter& archive, const EntryFields& entry, uint32_t offset);

// Appends the central directory and the end record to `archive.data`, which
// then holds the rest of the archive but for the comment: the end record
// announces `commentLength` bytes, the seal that AppendSeal writes after it.
// The packing's checks keep it within the limits.
void FinishArchive(ArchiveWriter& archive, uint16_t commentLength);
