// Archives of outside tools for the decoders' tests; see tool_archives.h.
#include "tool_archives.h"

#include <gtest/gtest.h>

#include <fstream>

#include "unzip/extract_entry.h"

std::vector<ListedEntry> ListArchive(const fs::path& archive) {
  TempDir dir;
  Shell("python3 -c \"import zipfile,sys\nfor i in zipfile.ZipFile(sys.argv[1]).infolist():"
        " print(i.header_offset, i.CRC, i.compress_size, i.file_size, i.compress_type, i.filename)\" '" +
        archive.string() + "' > '" + (dir / "list").string() + "'");
  std::ifstream in(dir / "list");
  std::vector<ListedEntry> entries;
  ListedEntry e;
  while (in >> e.offset >> e.crc >> e.compressedSize >> e.size >> e.method) {
    in.get();
    std::getline(in, e.name);
    entries.push_back(e);
  }
  return entries;
}

uint16_t LocalFlags(const Bytes& archive, uint32_t offset) {
  return static_cast<uint16_t>(archive[offset + 6] | archive[offset + 7] << 8);
}

uint32_t LocalCompressedSize(const Bytes& archive, uint32_t offset) {
  return archive[offset + 18] | archive[offset + 19] << 8 | archive[offset + 20] << 16 |
         static_cast<uint32_t>(archive[offset + 21]) << 24;
}

std::map<std::string, Bytes> MakeArchiveFiles(const fs::path& dir) {
  std::map<std::string, Bytes> files = {
      {"empty.txt", {}},
      {"one.txt", ToBytes("x")},
      {"text.txt", TextBytes(150000, 1)},
      {"mixed.bin", MixedBytes(400000, 2)},
      {"noise.bin", PatternBytes(70000, 3)},
      {"runs.bin", Bytes(100000, 0x55)},
      {"w32767.bin", TextBytes(32767, 4)},
      {"w32768.bin", TextBytes(32768, 5)},
      {"w65536.bin", MixedBytes(65536, 6)},
  };
  for (auto& [name, data] : files) WriteWholeFile(dir / name, data);
  return files;
}

int ExtractEntriesOf(const fs::path& archive, uint16_t method,
                     const std::map<std::string, Bytes>& originals) {
  TempDir out;
  int count = 0;
  for (const ListedEntry& e : ListArchive(archive)) {
    if (e.method != method) continue;
    ++count;
    const fs::path target = out / ("entry" + std::to_string(count));
    EXPECT_EQ(ExtractResult::Ok, ExtractEntry(archive.c_str(), target.c_str(), 0x20, kAbortKeyEscape,
                                              e.offset, {e.compressedSize, e.size}))
        << archive << " " << e.name;
    if (!fs::exists(target)) continue;
    const Bytes got = ReadWholeFile(target);
    EXPECT_EQ(e.size, got.size()) << e.name;
    EXPECT_EQ(e.crc, ReferenceCrc(got)) << e.name;
    auto it = originals.find(e.name);
    if (it != originals.end()) {
      EXPECT_TRUE(it->second == got) << e.name;
    }
  }
  return count;
}
