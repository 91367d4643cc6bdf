// The archive check before extraction; see archive_check.h.
//
// End record: +20 the comment's length, +22 the comment. A sealed archive's
// sealed part ends where the comment begins.
#include "launcher/archive_check.h"

#include "launcher/archive_seal.h"
#include "platform/platform.h"
#include "unzip/central_directory.h"
#include "unzip/crc32.h"
#include "unzip/little_endian.h"

namespace {

constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kChunkSize = 4096;

bool ReadAt(FileHandle file, uint32_t offset, uint8_t* to, uint32_t length) {
  return SeekFile(file, offset) && ReadFromFile(file, to, length) == static_cast<int32_t>(length);
}

// The walk of the whole directory; the reader is closed after it.
bool DirectoryIsWhole(const char* archivePath, uint32_t& endRecord) {
  DirectoryReader reader;
  uint16_t total = 0;
  DirectoryResult r = OpenDirectory(archivePath, reader, total);
  endRecord = reader.EndRecord;
  for (; r == DirectoryResult::EntryReady; r = NextEntry(reader)) {
    const uint32_t offset = reader.Entry.HeaderOffset;
    if (offset > reader.DirectoryStart || reader.DirectoryStart - offset < kLocalHeaderSize) {
      CloseDirectory(reader);
      return false;
    }
  }
  return r == DirectoryResult::EndOfDirectory && reader.Count == reader.Total;
}

// ZIP's CRC-32 of the file's first `length` bytes: from carving's register
// with the bytes after them taken back out, or read afresh.
bool SealedCrc(FileHandle file, uint32_t fileSize, uint32_t length, const CarvedDigest* carved,
               uint32_t& crc) {
  uint8_t chunk[kChunkSize];
  if (carved != nullptr) {
    if (carved->Length != fileSize) return false;
    crc = carved->Crc;
    for (uint32_t end = fileSize; end > length;) {
      const uint32_t n = end - length < kChunkSize ? end - length : kChunkSize;
      end -= n;
      if (!ReadAt(file, end, chunk, n)) return false;
      crc = RemoveCrcTail(crc, chunk, n);
    }
  } else {
    crc = 0xFFFFFFFF;
    for (uint32_t at = 0; at < length;) {
      const uint32_t n = length - at < kChunkSize ? length - at : kChunkSize;
      if (!ReadAt(file, at, chunk, n)) return false;
      crc = ContinueCrc(crc, chunk, n);
      at += n;
    }
  }
  crc = ~crc;
  return true;
}

// The comment after the end record fits in the file, and a seal in it holds.
bool CommentHolds(FileHandle file, uint32_t endRecord, const CarvedDigest* carved) {
  uint32_t fileSize = 0;
  uint8_t record[kEndRecordSize + kLongestSealText + 1];
  if (!GetFileSize32(file, &fileSize) || endRecord > fileSize ||
      fileSize - endRecord < kEndRecordSize ||
      !ReadAt(file, endRecord, record, kEndRecordSize)) {
    return false;
  }
  const uint32_t sealedLength = endRecord + kEndRecordSize;
  const uint32_t commentLength = Little16(record + 20);
  if (fileSize - sealedLength < commentLength) return false;
  const uint32_t shown =
      commentLength < kLongestSealText + 1 ? commentLength : kLongestSealText + 1;
  ArchiveSeal seal;
  if (!ReadAt(file, sealedLength, record + kEndRecordSize, shown)) return false;
  switch (ReadSeal(record + kEndRecordSize, shown, seal)) {
    case SealReading::None:
      return true;
    case SealReading::Unreadable:
      return false;
    case SealReading::Read:
      break;
  }
  uint32_t crc = 0;
  return seal.Length == sealedLength && SealedCrc(file, fileSize, sealedLength, carved, crc) &&
         crc == seal.Crc;
}

}  // namespace

bool IsArchiveSound(const char* archivePath, const CarvedDigest* carved) {
  uint32_t endRecord = 0;
  if (!DirectoryIsWhole(archivePath, endRecord)) return false;
  FileHandle file = OpenForReading(archivePath);
  if (file == kNoFile) return false;
  const bool holds = CommentHolds(file, endRecord, carved);
  CloseFile(file);
  return holds;
}
