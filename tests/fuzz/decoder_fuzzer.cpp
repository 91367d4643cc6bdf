// decoder_fuzzer: reaches every decoder directly. The input's first bytes
// choose the entry's method, flags and declared size, the rest is the
// entry's compressed data; it is written behind a local header into a
// scratch archive and extracted by entry extraction at header offset 0.
//
// Input layout (make_seeds.py writes the same):
//   byte 0     method: 0-6 at byte % 10 = 0-6, 8 at 7, 7 at 8, and at 9
//              method 9 + byte / 10 (LZMA, 14, at 59; the others unknown)
//   byte 1     bits 0-2: general-purpose flag bits 1-3 (the method's options
//              and bit 3, sizes in a data descriptor); bit 3: with flag bit 3,
//              the local header gives zero sizes, as a streaming writer does
//   bytes 2-5  declared uncompressed size, little-endian
//   the rest   compressed data (any descriptor of a streamed entry included)
// Shorter inputs are ignored. The entry is extracted with the scratch
// directory as the current directory; afterwards the output file is removed,
// nothing else may be left there, the current directory is set back and no
// descriptor may be left open.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix/host_controls.h"
#include "scratch.h"
#include "unzip/extract_entry.h"

namespace {

constexpr size_t kControlBytes = 6;
constexpr uint16_t kMethodByIndex[9] = {0, 1, 2, 3, 4, 5, 6, 8, 7};
constexpr uint16_t kFlagStreamed = 0x0008;

std::string home, scratch, archive, output;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// The one call into entry extraction: a plain file entry, no abort key, and
// a central directory that agrees with the input's sizes.
ExtractResult ExtractScratchEntry(uint32_t compressed, uint32_t declared) {
  return ExtractEntry(archive.c_str(), output.c_str(), 0, 0, 0, {compressed, declared});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  home = CurrentDirectory();
  scratch = MakeScratch("decoder");
  archive = scratch + "/entry.zip";
  output = scratch + "/entry.out";
  SetHostTickCount(1000);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kControlBytes) return 0;
  uint16_t method = data[0] % 10 < 9 ? kMethodByIndex[data[0] % 10]
                                     : static_cast<uint16_t>(9 + data[0] / 10);
  uint16_t flags = static_cast<uint16_t>((data[1] & 7) << 1);
  bool zeroSizes = (flags & kFlagStreamed) && (data[1] & 8);
  uint32_t declared = data[2] | data[3] << 8 | data[4] << 16 | static_cast<uint32_t>(data[5]) << 24;
  size_t dataSize = size - kControlBytes;

  std::vector<uint8_t> file;
  Put32(file, 0x04034B50);  // "PK" 3 4
  Put16(file, 20);          // version needed
  Put16(file, flags);
  Put16(file, method);
  Put32(file, 0x00210000);  // 1980-01-01 00:00:00
  Put32(file, 0);           // CRC-32
  Put32(file, zeroSizes ? 0 : static_cast<uint32_t>(dataSize));
  Put32(file, zeroSizes ? 0 : declared);
  Put16(file, 0);           // name length
  Put16(file, 0);           // extra length
  file.insert(file.end(), data + kControlBytes, data + size);

  int descriptors = OpenDescriptorCount();
  WriteScratchFile(archive, file.data(), file.size());
  if (chdir(scratch.c_str()) != 0) abort();
  ClearRecordedBoxes();
  ExtractScratchEntry(static_cast<uint32_t>(dataSize), declared);
  if (chdir(home.c_str()) != 0) abort();
  unlink(output.c_str());
  static const char* const kAllowed[] = {"entry.zip", nullptr};
  RequireOnly(scratch, kAllowed);
  if (OpenDescriptorCount() != descriptors) {
    fprintf(stderr, "decoder_fuzzer: the input left a descriptor open\n");
    abort();
  }
  return 0;
}
