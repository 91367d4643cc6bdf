// The archive check before extraction; see archive_check.h.
//
// End record: +20 the comment's length, +22 the comment. A sealed archive's
// sealed part ends where the comment begins. Local header: "PK" 3 4, +26 the
// name's length, +28 the extra field's length, +30 the name, the extra
// field, then the data.
#include "launcher/archive_check.h"

#include "launcher/archive_seal.h"
#include "unzip/central_directory.h"
#include "unzip/crc32.h"
#include "unzip/little_endian.h"

namespace {

constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kLocalHeaderSize = 30;
// More entries than this are refused rather than given their list.
constexpr uint64_t kMostEntries = 1u << 20;

// Room for the sealed bytes' reading; zero-filled memory costs the stub's
// file nothing.
constexpr uint32_t kChunkSize = 65536;
uint8_t Chunk[kChunkSize];

bool ReadAt(FileHandle file, uint32_t offset, uint8_t* to, uint32_t length) {
  return SeekFile(file, offset) && ReadFromFile(file, to, length) == static_cast<int32_t>(length);
}

// The bytes an entry takes, its local header to the end of its data, as
// start << 32 | end: sorted as numbers, the spans come in file order.
uint64_t Span(uint32_t start, uint32_t end) { return static_cast<uint64_t>(start) << 32 | end; }

void SiftDown(uint64_t* spans, uint32_t at, uint32_t count) {
  for (uint32_t child; (child = 2 * at + 1) < count; at = child) {
    if (child + 1 < count && spans[child + 1] > spans[child]) ++child;
    if (spans[at] >= spans[child]) return;
    const uint64_t kept = spans[at];
    spans[at] = spans[child];
    spans[child] = kept;
  }
}

void SortSpans(uint64_t* spans, uint32_t count) {
  for (uint32_t i = count / 2; i-- > 0;) SiftDown(spans, i, count);
  for (uint32_t end = count; end-- > 1;) {
    const uint64_t largest = spans[0];
    spans[0] = spans[end];
    spans[end] = largest;
    SiftDown(spans, 0, end);
  }
}

// The span of the reader's entry, read from its local header; false when
// the header is missing or the entry does not lie between `archiveStart`
// and the directory.
bool EntrySpan(FileHandle archive, const DirectoryReader& reader, uint32_t archiveStart,
               uint64_t& span) {
  uint8_t header[kLocalHeaderSize];
  const uint32_t start = reader.Entry.HeaderOffset;
  if (start < archiveStart || !ReadAt(archive, start, header, kLocalHeaderSize) ||
      Little32(header) != 0x04034B50) {
    return false;
  }
  const uint64_t end = static_cast<uint64_t>(start) + kLocalHeaderSize + Little16(header + 26) +
                       Little16(header + 28) + reader.Entry.CompressedSize;
  if (end > reader.DirectoryStart) return false;
  span = Span(start, static_cast<uint32_t>(end));
  return true;
}

// The walk of the whole directory, each entry's span listed, then the
// spans in file order, each ending before the next begins.
bool EntriesAreApart(FileHandle archive, uint32_t archiveStart, uint32_t& endRecord) {
  DirectoryReader reader;
  uint16_t total = 0;
  DirectoryResult r = OpenDirectory(archive, reader, total);
  endRecord = reader.EndRecord;
  auto* spans = reader.Total <= kMostEntries ? static_cast<uint64_t*>(AllocateMemory(
                                                  static_cast<uint32_t>(reader.Total) * 8 + 8))
                                             : nullptr;
  uint32_t count = 0;
  bool apart = spans != nullptr;
  for (; apart && r == DirectoryResult::EntryReady; r = NextEntry(reader)) {
    apart = count < reader.Total && EntrySpan(archive, reader, archiveStart, spans[count++]);
  }
  CloseDirectory(reader);
  apart = apart && r == DirectoryResult::EndOfDirectory && reader.Count == reader.Total;
  if (apart) SortSpans(spans, count);
  for (uint32_t i = 1; apart && i < count; ++i) {
    apart = static_cast<uint32_t>(spans[i - 1]) <= static_cast<uint32_t>(spans[i] >> 32);
  }
  FreeMemory(spans);
  return apart;
}

// ZIP's CRC-32 of `length` bytes from `start`.
bool SealedCrc(FileHandle file, uint32_t start, uint32_t length, uint32_t& crc) {
  crc = 0xFFFFFFFF;
  for (uint32_t at = 0; at < length;) {
    const uint32_t n = length - at < kChunkSize ? length - at : kChunkSize;
    if (!ReadAt(file, start + at, Chunk, n)) return false;
    crc = ContinueCrc(crc, Chunk, n);
    at += n;
  }
  crc = ~crc;
  return true;
}

// The comment after the end record fits in the file, and a seal in it holds.
bool CommentHolds(FileHandle file, uint32_t archiveStart, uint32_t endRecord, uint8_t* options) {
  uint32_t fileSize = 0;
  uint8_t record[kEndRecordSize + kLongestSealText + 1];
  if (!GetFileSize32(file, &fileSize) || endRecord > fileSize ||
      fileSize - endRecord < kEndRecordSize ||
      !ReadAt(file, endRecord, record, kEndRecordSize)) {
    return false;
  }
  const uint32_t sealedEnd = endRecord + kEndRecordSize;
  const uint32_t commentLength = Little16(record + 20);
  if (fileSize - sealedEnd < commentLength) return false;
  const uint32_t shown =
      commentLength < kLongestSealText + 1 ? commentLength : kLongestSealText + 1;
  ArchiveSeal seal;
  if (!ReadAt(file, sealedEnd, record + kEndRecordSize, shown)) return false;
  switch (ReadSeal(record + kEndRecordSize, shown, seal)) {
    case SealReading::None:
      return true;
    case SealReading::Unreadable:
      return false;
    case SealReading::Read:
      break;
  }
  *options = seal.Options;
  uint32_t crc = 0;
  return archiveStart <= endRecord && seal.Length == sealedEnd - archiveStart &&
         SealedCrc(file, archiveStart, seal.Length, crc) && crc == seal.Crc;
}

}  // namespace

bool IsArchiveSound(FileHandle archive, uint32_t archiveStart, uint8_t* options) {
  *options = 0;
  uint32_t endRecord = 0;
  return archive != kNoFile && EntriesAreApart(archive, archiveStart, endRecord) &&
         CommentHolds(archive, archiveStart, endRecord, options);
}
