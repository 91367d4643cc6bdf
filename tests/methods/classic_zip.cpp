// classic_zip METHOD OUT.zip: writes a ZIP archive of the files named on
// standard input (one path a line, relative to /, stored under that name),
// every entry compressed with METHOD by the test tree's encoders: "shrunk",
// "reduced1" to "reduced4", "imploded" (8 KB dictionary and a literal tree)
// or "imploded4k" (4 KB, no literal tree). The benchmark makes its archives
// of the classic methods with it: no tool on these machines writes them.
#include <cstdio>
#include <iostream>
#include <string>

#include "../unzip/test_support.h"
#include "implode_encoder.h"
#include "reduce_encoder.h"
#include "shrink_encoder.h"

namespace {

bool Encode(const std::string& method, const Bytes& data, ZipEntry& entry) {
  if (method == "shrunk") {
    entry.method = 1;
    entry.data = Shrink(data);
  } else if (method.size() == 8 && method.compare(0, 7, "reduced") == 0 && method[7] >= '1' &&
             method[7] <= '4') {
    uint32_t factor = static_cast<uint32_t>(method[7] - '0');
    entry.method = static_cast<uint16_t>(1 + factor);
    entry.data = Reduce(data, factor, 32);
  } else if (method == "imploded" || method == "imploded4k") {
    entry.method = 6;
    entry.flags = method == "imploded" ? kImplodeBigDictionary | kImplodeLiteralTree : 0;
    entry.data = Implode(ImplodeItems(data, entry.flags), entry.flags);
  } else {
    return false;
  }
  entry.uncompressedSize = static_cast<int64_t>(data.size());
  entry.crcGiven = true;
  entry.crc = ReferenceCrc(data);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: classic_zip METHOD OUT.zip < LIST\n", stderr);
    return 2;
  }
  std::vector<ZipEntry> entries;
  std::string name;
  while (std::getline(std::cin, name)) {
    ZipEntry entry;
    entry.name = name;
    if (!Encode(argv[1], ReadWholeFile("/" + name), entry)) {
      std::fprintf(stderr, "classic_zip: unknown method %s\n", argv[1]);
      return 2;
    }
    entries.push_back(std::move(entry));
  }
  WriteWholeFile(argv[2], BuildZip(entries).bytes);
  return 0;
}
