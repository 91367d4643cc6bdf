// Central-directory reader. The end record is searched backwards from the
// end of the file; the directory is then read whole into memory when it is
// shorter than 64000 bytes, else walked through a 64000-byte window that is
// refilled from the archive as records are consumed.
//
// End record: "PK" 5 6, at +10 the total number of entries (16-bit), at +12
// the directory's size and at +16 the offset of its start (32-bit); 22 bytes
// without comment. Where these fields are full (0xFFFF, 0xFFFFFFFF), the
// Zip64 locator ("PK" 6 7, the 20 bytes right before the end record, +8 the
// offset of the Zip64 end record) leads to the Zip64 end record ("PK" 6 6,
// +32 total, +40 size, +48 start, 64-bit; 56 bytes), which the directory
// then ends at.
// Directory record: "PK" 1 2, +5 host system, +8 flags (bit 11: the name
// is UTF-8), +10 method, +20/+24 the compressed and uncompressed size,
// +28/+30/+32 the lengths of name, extra field and comment, +38 external
// attributes, +42 the local header's offset, +46 the name.
//
// A comment may hold something that looks like an end record, and an
// archive may sit behind other bytes (a self-extractor) with its offsets
// counted from its own start: an end record is taken only when its
// directory is found, at its start or right before the end record; the
// distance between the two is the number of bytes in front of the archive.
#include "unzip/central_directory.h"

#include <string.h>

#include "unzip/entry_name.h"
#include "unzip/little_endian.h"
#include "unzip/zip64.h"

namespace {

constexpr uint32_t kSearchWindow = 4096;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kRecordSize = 46;
constexpr uint32_t kDirectoryWindow = 64000;
constexpr uint32_t kZip64EndSize = 56;

bool IsSignature(const uint8_t* p, uint8_t third, uint8_t fourth) {
  return p[0] == 'P' && p[1] == 'K' && p[2] == third && p[3] == fourth;
}

// Length of the record at p, or 0 when its fixed part does not fit in the
// remaining bytes (the variable part is checked by the caller).
uint32_t RecordLength(const uint8_t* p, uint32_t remaining) {
  if (remaining < kRecordSize) return 0;
  return kRecordSize + Little16(p + 28) + Little16(p + 30) + Little16(p + 32);
}

// The facts of one end record candidate.
struct EndFacts {
  uint32_t Position;      // of the end record
  uint32_t DirectoryEnd;  // where the directory ends: the end record or the Zip64 one
  uint64_t Total;
  uint64_t Size;
  uint64_t Start;         // as the record gives it, at most 0xFFFFFFFF
};

bool ReadAt(FileHandle archive, int64_t offset, uint8_t* to, uint32_t length) {
  return offset >= 0 && offset <= 0xFFFFFFFF && SeekFile(archive, static_cast<uint32_t>(offset)) &&
         ReadFromFile(archive, to, length) == static_cast<int32_t>(length);
}

bool SignatureAt(FileHandle archive, int64_t offset, uint8_t third, uint8_t fourth) {
  uint8_t bytes[4];
  return ReadAt(archive, offset, bytes, 4) && IsSignature(bytes, third, fourth);
}

// The facts of the end record at position, through the Zip64 end record
// where its fields are full and a locator leads to one.
EndFacts ReadEndFacts(FileHandle archive, const uint8_t* record, uint32_t position) {
  EndFacts e = {position, position, Little16(record + 10), Little32(record + 12),
                Little32(record + 16)};
  if (e.Total != 0xFFFF && e.Size != kZip64Marker && e.Start != kZip64Marker) return e;
  uint8_t locator[20];
  uint8_t zip64[kZip64EndSize];
  if (position < 20 + kZip64EndSize || !ReadAt(archive, position - 20, locator, 20) ||
      !IsSignature(locator, 6, 7)) {
    return e;
  }
  // The locator counts from the archive's start; with bytes in front of the
  // archive the record is found right before the locator instead.
  const uint64_t beforeLocator = position - 20 - kZip64EndSize;
  uint64_t at = Little64(locator + 8);
  if (at > beforeLocator || !ReadAt(archive, static_cast<int64_t>(at), zip64, kZip64EndSize) ||
      !IsSignature(zip64, 6, 6)) {
    at = beforeLocator;
    if (!ReadAt(archive, static_cast<int64_t>(at), zip64, kZip64EndSize) ||
        !IsSignature(zip64, 6, 6)) {
      return e;
    }
  }
  e.DirectoryEnd = static_cast<uint32_t>(at);
  if (e.Total == 0xFFFF) e.Total = Little64(zip64 + 32);
  if (e.Size == kZip64Marker) e.Size = Little64(zip64 + 40);
  if (e.Start == kZip64Marker) e.Start = Little64(zip64 + 48);
  if (e.Start > 0xFFFFFFFF) e.Start = 0xFFFFFFFF;  // beyond any file of the engine's
  return e;
}

// Finds the directory of e: at its start, or right before its end when bytes
// in front of the archive (or a wrong start) moved it; an empty directory
// needs no record. bias receives the distance from the given start.
bool LocateDirectory(FileHandle archive, const EndFacts& e, int64_t& bias) {
  int64_t at = -1;
  if (e.Start <= e.DirectoryEnd && SignatureAt(archive, static_cast<int64_t>(e.Start), 1, 2)) {
    at = static_cast<int64_t>(e.Start);
  } else if (e.Size <= e.DirectoryEnd &&
             SignatureAt(archive, static_cast<int64_t>(e.DirectoryEnd - e.Size), 1, 2)) {
    at = static_cast<int64_t>(e.DirectoryEnd - e.Size);
  } else if (e.Total == 0 && e.Size == 0) {
    at = e.DirectoryEnd;
  } else {
    return false;
  }
  bias = at - static_cast<int64_t>(e.Start);
  return true;
}

// Searches the end record in 4096-byte windows from the end of the file,
// each window 4074 bytes before the last, so that neighbours overlap by the
// record's 22 bytes; within a window from its last signature that leaves
// room for the record. The first candidate whose directory is found wins;
// when none is, the last signature of the file, without bias.
bool FindEndRecord(FileHandle archive, uint32_t fileSize, uint8_t* window, EndFacts& found,
                   int64_t& bias) {
  bool any = false;
  uint32_t start = fileSize > kSearchWindow ? fileSize - kSearchWindow : 0;
  for (;;) {
    uint32_t length = fileSize - start < kSearchWindow ? fileSize - start : kSearchWindow;
    if (!SeekFile(archive, start) ||
        ReadFromFile(archive, window, length) != static_cast<int32_t>(length)) {
      return false;
    }
    for (uint32_t i = length >= kEndRecordSize ? length - kEndRecordSize + 1 : 0; i-- > 0;) {
      if (!IsSignature(window + i, 5, 6)) continue;
      EndFacts e = ReadEndFacts(archive, window + i, start + i);
      if (LocateDirectory(archive, e, bias)) {
        found = e;
        return true;
      }
      if (!any) found = e;
      any = true;
    }
    if (start == 0) break;
    uint32_t step = kSearchWindow - kEndRecordSize;
    start = start > step ? start - step : 0;
  }
  bias = 0;
  return any;
}

// The uncompressed size, compressed size and local header offset of the
// record at p, after its Zip64 field; tooLarge when a Zip64 value (or a
// full field without one) is above kLargestValue.
void RecordValues(const uint8_t* p, uint64_t values[3], bool& tooLarge) {
  values[0] = Little32(p + 24);
  values[1] = Little32(p + 20);
  values[2] = Little32(p + 42);
  bool full[3] = {values[0] == kZip64Marker, values[1] == kZip64Marker, values[2] == kZip64Marker};
  ReadZip64Values(p + kRecordSize + Little16(p + 28), Little16(p + 30), values, 3);
  tooLarge = false;
  for (int i = 0; i < 3; ++i) tooLarge = tooLarge || (full[i] && values[i] > kLargestValue);
}

// A local header offset with the bias; an offset out of the 32-bit range
// becomes 0xFFFFFFFF, where no local header is found.
uint32_t BiasedOffset(uint64_t offset, int64_t bias) {
  const int64_t at = offset > 0xFFFFFFFF ? -1 : static_cast<int64_t>(offset) + bias;
  return at < 0 || at > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<uint32_t>(at);
}

DirectoryResult Finish(DirectoryReader& reader, DirectoryResult result) {
  if (result != DirectoryResult::EntryReady) CloseDirectory(reader);
  return result;
}

}  // namespace

DirectoryResult OpenDirectory(FileHandle archive, DirectoryReader& reader, uint16_t& total) {
  reader.Buffer = nullptr;
  reader.Valid = reader.Position = 0;
  reader.WindowMode = false;
  reader.Left = reader.Count = 0;
  reader.Total = 0;
  reader.Bias = 0;
  reader.DirectoryStart = reader.EndRecord = 0;
  reader.Archive = archive;
  total = 0;
  if (reader.Archive == kNoFile) return DirectoryResult::DirectoryReadError;

  uint32_t fileSize = 0;
  if (!GetFileSize32(reader.Archive, &fileSize) || fileSize == 0) {
    return Finish(reader, DirectoryResult::DirectoryReadError);
  }
  uint8_t* window = static_cast<uint8_t*>(AllocateMemory(kSearchWindow));
  if (!window) return Finish(reader, DirectoryResult::DirectoryReadError);
  EndFacts end;
  int64_t bias = 0;
  bool found = FindEndRecord(reader.Archive, fileSize, window, end, bias);
  FreeMemory(window);
  if (!found) return Finish(reader, DirectoryResult::DirectoryReadError);

  reader.Total = end.Total;
  total = end.Total > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(end.Total);
  if (end.Position < kRecordSize) return Finish(reader, DirectoryResult::DirectoryStructureError);
  const int64_t start = static_cast<int64_t>(end.Start) + bias;
  if (start > end.DirectoryEnd) return Finish(reader, DirectoryResult::DirectoryStructureError);
  reader.Left = end.DirectoryEnd - static_cast<uint32_t>(start);
  reader.DirectoryStart = static_cast<uint32_t>(start);
  reader.EndRecord = end.Position;

  // The directory and the signature after it.
  uint32_t length = reader.Left + 4;
  reader.WindowMode = length >= kDirectoryWindow;
  uint32_t bufferSize = reader.WindowMode ? kDirectoryWindow : length;
  reader.Buffer = static_cast<uint8_t*>(AllocateMemory(bufferSize));
  if (!reader.Buffer || !SeekFile(reader.Archive, static_cast<uint32_t>(start))) {
    return Finish(reader, DirectoryResult::DirectoryReadError);
  }
  int32_t got = ReadFromFile(reader.Archive, reader.Buffer, bufferSize);
  if (got < 0) return Finish(reader, DirectoryResult::DirectoryReadError);
  reader.Valid = static_cast<uint16_t>(got);
  reader.NextRead = static_cast<uint32_t>(start) + static_cast<uint32_t>(got);

  // A wrong directory start moves the directory without moving the entries:
  // the bias holds for the local headers only where the first one is found
  // with it, and not without.
  const uint32_t first = RecordLength(reader.Buffer, reader.Valid);
  if (bias != 0 && first != 0 && first <= reader.Valid && IsSignature(reader.Buffer, 1, 2)) {
    uint64_t values[3];
    bool tooLarge = false;
    RecordValues(reader.Buffer, values, tooLarge);
    if (!SignatureAt(reader.Archive, BiasedOffset(values[2], bias), 3, 4) &&
        SignatureAt(reader.Archive, BiasedOffset(values[2], 0), 3, 4)) {
      bias = 0;
    }
  }
  reader.Bias = bias;
  return NextEntry(reader);
}

DirectoryResult NextEntry(DirectoryReader& reader) {
  if (!reader.Buffer) return DirectoryResult::DirectoryStructureError;
  // The end: every promised entry must have come (a total that promises
  // fewer only makes the percentage pass 100).
  if (reader.Left == 0) {
    return Finish(reader, reader.Count >= reader.Total ? DirectoryResult::EndOfDirectory
                                                      : DirectoryResult::DirectoryStructureError);
  }
  uint32_t remaining = reader.Valid - reader.Position;
  const uint8_t* p = reader.Buffer + reader.Position;

  if (reader.WindowMode && reader.Position > 0 &&
      (remaining < kRecordSize || RecordLength(p, remaining) > remaining)) {
    // Keep the unread bytes, bring in as many new ones as were consumed.
    memmove(reader.Buffer, p, remaining);
    int32_t got = SeekFile(reader.Archive, reader.NextRead)
                      ? ReadFromFile(reader.Archive, reader.Buffer + remaining, reader.Position)
                      : -1;
    if (got < 0) return Finish(reader, DirectoryResult::DirectoryReadError);
    reader.NextRead += static_cast<uint32_t>(got);
    reader.Valid = static_cast<uint16_t>(remaining + static_cast<uint32_t>(got));
    reader.Position = 0;
    remaining = reader.Valid;
    p = reader.Buffer;
  }

  // Anything but a whole record inside the directory ends the walk short.
  uint32_t recordLength = RecordLength(p, remaining);
  if (recordLength == 0 || recordLength > remaining || recordLength > reader.Left ||
      !IsSignature(p, 1, 2)) {
    return Finish(reader, DirectoryResult::DirectoryStructureError);
  }

  DirectoryEntry& e = reader.Entry;
  bool utf8 = (Little16(p + 8) & kFlagUtf8Name) != 0;
  e.NameRefused = !TakeEntryName(p + kRecordSize, Little16(p + 28), utf8, e.Name);
  e.Method = Little16(p + 10);
  e.Attributes = p[5] == 0 ? p[38] : 0;  // host system 0: MS-DOS and compatibles
  uint64_t values[3];
  RecordValues(p, values, e.TooLarge);
  e.UncompressedSize = static_cast<uint32_t>(values[0]);
  e.CompressedSize = static_cast<uint32_t>(values[1]);
  e.HeaderOffset = BiasedOffset(values[2], reader.Bias);
  reader.Position = static_cast<uint16_t>(reader.Position + recordLength);
  reader.Left -= recordLength;
  ++reader.Count;
  return DirectoryResult::EntryReady;
}

void CloseDirectory(DirectoryReader& reader) {
  FreeMemory(reader.Buffer);
  reader.Buffer = nullptr;
}
