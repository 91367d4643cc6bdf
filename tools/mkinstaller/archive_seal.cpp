// The archive seal as mkinstaller writes and inspects it; see archive_seal.h.
// The CRC-32 is zlib's.
#include "archive_seal.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "launcher/archive_seal.h"

namespace {

constexpr size_t kEndRecordSize = 22;

}  // namespace

std::string SealComment(uint32_t crc, uint64_t length, uint8_t options) {
  char text[kSealTextLength + 1];
  std::snprintf(text, sizeof text, "%s%08X%s%010llu", kSealCrcLabel, static_cast<unsigned>(crc),
                kSealLengthLabel, static_cast<unsigned long long>(length));
  std::string comment = text;
  if (options == 0) return comment;
  const std::string line = kSealOptionsLine;
  comment += line.substr(0, kSealOptionsLabelLength);
  if (options & kOptionWait) comment += line.substr(kSealOptionsLabelLength, kSealOptionWaitLength);
  if (options & kOptionPassArguments) {
    comment += line.substr(kSealOptionsLabelLength + kSealOptionWaitLength);
  }
  return comment;
}

uint16_t SealCommentLength(uint8_t options) {
  return static_cast<uint16_t>(SealComment(0, 0, options).size());
}

std::string AppendSeal(OutputFile& output, uint64_t archiveStart, uint8_t options) {
  // A second handle on the file being written; the writer's is write-only.
  InputFile file;
  std::string problem = OpenInput(output.path, "the output", file);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t length = 0;
  Bytes chunk(1 << 20);
  while (problem.empty()) {
    size_t got = 0;
    problem = ReadInput(file, archiveStart + length, chunk.data(), chunk.size(), got);
    if (got == 0) break;
    crc = crc32(crc, chunk.data(), static_cast<uInt>(got));
    length += got;
  }
  if (!problem.empty()) return "cannot read back '" + output.target + "' to seal it";
  const std::string text = SealComment(static_cast<uint32_t>(crc), length, options);
  return WriteOutput(output, Bytes(text.begin(), text.end()));
}

std::string SealState(const Bytes& image, size_t start, size_t endRecord, size_t archiveEnd,
                      std::optional<uint8_t>& options) {
  const size_t sealed = endRecord + kEndRecordSize;
  const size_t shown = std::min<size_t>(archiveEnd - sealed, kLongestSealText + 1);
  ArchiveSeal seal;
  options.reset();
  switch (ReadSeal(image.data() + sealed, static_cast<uint32_t>(shown), seal)) {
    case SealReading::None:
      options = 0;
      return "none";
    case SealReading::Unreadable:
      return "wrong";
    case SealReading::Read:
      break;
  }
  options = seal.Options;
  const uLong crc = crc32(crc32(0, nullptr, 0), image.data() + start,
                          static_cast<uInt>(sealed - start));
  return seal.Length == sealed - start && seal.Crc == crc ? "right" : "wrong";
}

std::vector<std::string> OptionWords(uint8_t options) {
  std::vector<std::string> words;
  if (options & kOptionWait) words.push_back("wait");
  if (options & kOptionPassArguments) words.push_back("pass-arguments");
  return words;
}
