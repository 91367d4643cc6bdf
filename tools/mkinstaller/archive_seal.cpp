// The archive seal as mkinstaller writes and inspects it; see archive_seal.h.
// The CRC-32 is zlib's.
#include "archive_seal.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "launcher/archive_seal.h"

namespace {

constexpr size_t kEndRecordSize = 22;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string SealText(uint32_t crc, uint64_t length) {
  char text[kSealTextLength + 1];
  std::snprintf(text, sizeof text, "%s%08X%s%010llu", kSealCrcLabel, static_cast<unsigned>(crc),
                kSealLengthLabel, static_cast<unsigned long long>(length));
  return text;
}

}  // namespace

uint16_t SealCommentLength() { return kSealTextLength; }

std::string AppendSeal(OutputFile& output, uint64_t archiveStart) {
  // A second handle on the file being written; the writer's is write-only.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(output.path.c_str(), "rb"));
  if (!file) return "cannot read back '" + output.path + "' to seal it";
  if (std::fseek(file.get(), static_cast<long>(archiveStart), SEEK_SET) != 0) {
    return "cannot read back '" + output.path + "' to seal it";
  }
  uLong crc = crc32(0, nullptr, 0);
  uint64_t length = 0;
  Bytes chunk(1 << 20);
  for (;;) {
    const size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    crc = crc32(crc, chunk.data(), static_cast<uInt>(got));
    length += got;
    if (got < chunk.size()) break;
  }
  if (std::ferror(file.get())) return "cannot read back '" + output.path + "' to seal it";
  const std::string text = SealText(static_cast<uint32_t>(crc), length);
  return WriteOutput(output, Bytes(text.begin(), text.end()));
}

std::string SealState(const Bytes& image, size_t start, size_t endRecord, size_t archiveEnd) {
  const size_t sealed = endRecord + kEndRecordSize;
  const size_t shown = std::min<size_t>(archiveEnd - sealed, kSealTextLength + 1);
  ArchiveSeal seal;
  switch (ReadSeal(image.data() + sealed, static_cast<uint32_t>(shown), seal)) {
    case SealReading::None:
      return "none";
    case SealReading::Unreadable:
      return "wrong";
    case SealReading::Read:
      break;
  }
  const uLong crc = crc32(crc32(0, nullptr, 0), image.data() + start,
                          static_cast<uInt>(sealed - start));
  return seal.Length == sealed - start && seal.Crc == crc ? "right" : "wrong";
}
