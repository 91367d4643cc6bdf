// Central-directory reader. The end record is searched backwards from the
// end of the file; the directory is then read whole into memory when it is
// shorter than 64000 bytes, else walked through a 64000-byte window that is
// refilled from the archive as records are consumed.
//
// End record: "PK" 5 6, at +10 the total number of entries (16-bit), at +16
// the offset of the directory's start (32-bit); 22 bytes without comment.
// Directory record: "PK" 1 2, +5 host system, +10 method, +28/+30/+32 the
// lengths of name, extra field and comment, +38 external attributes, +42
// the local header's offset, +46 the name.
#include "unzip/central_directory.h"

#include <string.h>

#include "unzip/little_endian.h"

namespace {

constexpr uint32_t kSearchWindow = 4096;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kRecordSize = 46;
constexpr uint32_t kDirectoryWindow = 64000;

bool IsSignature(const uint8_t* p, uint8_t third, uint8_t fourth) {
  return p[0] == 'P' && p[1] == 'K' && p[2] == third && p[3] == fourth;
}

// Length of the record at p, or 0 when its fixed part does not fit in the
// remaining bytes (the variable part is checked by the caller).
uint32_t RecordLength(const uint8_t* p, uint32_t remaining) {
  if (remaining < kRecordSize) return 0;
  return kRecordSize + Little16(p + 28) + Little16(p + 30) + Little16(p + 32);
}

// Searches the end record in 4096-byte windows from the end of the file,
// each window 4074 bytes before the last, so that neighbours overlap by the
// record's 22 bytes. Within a window the last signature that leaves room
// for the record wins. Copies the record to `record` and its position.
bool FindEndRecord(FileHandle archive, uint32_t fileSize, uint8_t* window, uint8_t* record,
                   uint32_t& recordPos) {
  uint32_t start = fileSize > kSearchWindow ? fileSize - kSearchWindow : 0;
  for (;;) {
    uint32_t length = fileSize - start < kSearchWindow ? fileSize - start : kSearchWindow;
    if (!SeekFile(archive, start) ||
        ReadFromFile(archive, window, length) != static_cast<int32_t>(length)) {
      return false;
    }
    for (uint32_t i = length >= kEndRecordSize ? length - kEndRecordSize + 1 : 0; i-- > 0;) {
      if (IsSignature(window + i, 5, 6)) {
        memcpy(record, window + i, kEndRecordSize);
        recordPos = start + i;
        return true;
      }
    }
    if (start == 0) return false;
    uint32_t step = kSearchWindow - kEndRecordSize;
    start = start > step ? start - step : 0;
  }
}

DirectoryResult Finish(DirectoryReader& reader, DirectoryResult result) {
  if (result != DirectoryResult::EntryReady) CloseDirectory(reader);
  return result;
}

}  // namespace

DirectoryResult OpenDirectory(const char* archivePath, DirectoryReader& reader, uint16_t& total) {
  reader.Buffer = nullptr;
  reader.Valid = reader.Position = 0;
  reader.WindowMode = false;
  reader.Archive = OpenForReading(archivePath);
  total = 0;
  if (reader.Archive == kNoFile) return DirectoryResult::DirectoryReadError;

  uint32_t fileSize = 0;
  if (!GetFileSize32(reader.Archive, &fileSize) || fileSize == 0) {
    return Finish(reader, DirectoryResult::DirectoryReadError);
  }
  uint8_t* window = static_cast<uint8_t*>(AllocateMemory(kSearchWindow));
  if (!window) return Finish(reader, DirectoryResult::DirectoryReadError);
  uint8_t record[kEndRecordSize];
  uint32_t endPos = 0;
  bool found = FindEndRecord(reader.Archive, fileSize, window, record, endPos);
  FreeMemory(window);
  if (!found) return Finish(reader, DirectoryResult::DirectoryReadError);

  total = Little16(record + 10);
  uint32_t start = Little32(record + 16);
  if (endPos < kRecordSize) return Finish(reader, DirectoryResult::DirectoryStructureError);
  // A directory that starts after the end record holds no entries.
  if (start > endPos) return Finish(reader, DirectoryResult::EndOfDirectory);

  // The directory and the end record's signature, which ends the walk.
  uint32_t length = endPos - start + 4;
  reader.WindowMode = length >= kDirectoryWindow;
  uint32_t bufferSize = reader.WindowMode ? kDirectoryWindow : length;
  reader.Buffer = static_cast<uint8_t*>(AllocateMemory(bufferSize));
  if (!reader.Buffer || !SeekFile(reader.Archive, start)) {
    return Finish(reader, DirectoryResult::DirectoryReadError);
  }
  int32_t got = ReadFromFile(reader.Archive, reader.Buffer, bufferSize);
  if (got < 0) return Finish(reader, DirectoryResult::DirectoryReadError);
  reader.Valid = static_cast<uint16_t>(got);
  if (!reader.WindowMode) {
    CloseFile(reader.Archive);
    reader.Archive = kNoFile;
  }
  return NextEntry(reader);
}

DirectoryResult NextEntry(DirectoryReader& reader) {
  if (!reader.Buffer) return DirectoryResult::DirectoryStructureError;
  uint32_t remaining = reader.Valid - reader.Position;
  const uint8_t* p = reader.Buffer + reader.Position;

  if (reader.WindowMode && reader.Position > 0 &&
      (remaining < kRecordSize || RecordLength(p, remaining) > remaining)) {
    // Keep the unread bytes, bring in as many new ones as were consumed.
    memmove(reader.Buffer, p, remaining);
    int32_t got = ReadFromFile(reader.Archive, reader.Buffer + remaining, reader.Position);
    if (got < 0) return Finish(reader, DirectoryResult::EndOfDirectory);
    reader.Valid = static_cast<uint16_t>(remaining + static_cast<uint32_t>(got));
    reader.Position = 0;
    remaining = reader.Valid;
    p = reader.Buffer;
  }

  if (remaining >= 4 && IsSignature(p, 5, 6)) return Finish(reader, DirectoryResult::EndOfDirectory);
  uint32_t recordLength = RecordLength(p, remaining);
  if (recordLength == 0 || recordLength > remaining || !IsSignature(p, 1, 2)) {
    return Finish(reader, DirectoryResult::EndOfDirectory);
  }

  DirectoryEntry& e = reader.Entry;
  uint32_t nameLength = Little16(p + 28);
  uint32_t kept = nameLength > kMaxEntryName ? kMaxEntryName : nameLength;
  memcpy(e.Name, p + kRecordSize, kept);
  e.Name[kept] = '\0';
  for (uint32_t i = 0; i < kept; ++i) {
    if (e.Name[i] == '/') e.Name[i] = '\\';
  }
  e.NameCut = nameLength > kMaxEntryName;
  e.Method = Little16(p + 10);
  e.Attributes = p[5] == 0 ? p[38] : 0;  // host system 0: MS-DOS and compatibles
  e.HeaderOffset = Little32(p + 42);
  reader.Position = static_cast<uint16_t>(reader.Position + recordLength);
  return DirectoryResult::EntryReady;
}

void CloseDirectory(DirectoryReader& reader) {
  FreeMemory(reader.Buffer);
  reader.Buffer = nullptr;
  CloseFile(reader.Archive);
  reader.Archive = kNoFile;
}
