// Broken archives of every kind: damaged bytes anywhere in headers and the
// directory, and archives cut at every length. Whatever the damage, the
// engine must stay inside its buffers (the sanitizer build checks), create
// nothing outside the target, and end.
#include <gtest/gtest.h>

#include <random>

#include "platform/posix/host_controls.h"
#include "test_support.h"
#include "unzip/extract_archive.h"

namespace {

std::vector<ZipEntry> Sample() {
  std::vector<ZipEntry> entries;
  const char* names[] = {"a.txt", "dir/", "dir/b.bin", "dir/sub/c.txt", "d.txt"};
  for (int i = 0; i < 5; ++i) {
    ZipEntry e;
    e.name = names[i];
    if (e.name.back() != '/') e.data = PatternBytes(static_cast<size_t>(100 * i + 7), static_cast<uint32_t>(i));
    e.comment = i == 2 ? "comment" : "";
    if (i == 3) e.flags = 8;
    entries.push_back(e);
  }
  return entries;
}

void ExpectOnlyInside(const fs::path& root, const fs::path& target) {
  for (auto& e : fs::recursive_directory_iterator(root)) {
    std::string p = e.path().string();
    bool inside = p == target.string() || p.rfind(target.string() + "/", 0) == 0 ||
                  e.path().filename() == "a.zip";
    EXPECT_TRUE(inside) << p;
  }
}

TEST(Robustness, DamagedBytesAnywhere) {
  TempDir dir;
  BuiltZip zip = BuildZip(Sample());
  std::mt19937 random(20261208);
  // Damage lands in the structures more often than in the data.
  std::vector<uint32_t> hot;
  for (uint32_t offset : zip.headerOffsets) {
    for (uint32_t i = 0; i < 30; ++i) hot.push_back(offset + i);
  }
  for (uint32_t i = zip.directoryOffset; i < zip.bytes.size(); ++i) hot.push_back(i);
  for (int round = 0; round < 1500; ++round) {
    Bytes bytes = zip.bytes;
    int hits = 1 + static_cast<int>(random() % 4);
    for (int h = 0; h < hits; ++h) {
      uint32_t at = random() % 4 ? hot[random() % hot.size()]
                                 : static_cast<uint32_t>(random() % bytes.size());
      bytes[at] = static_cast<uint8_t>(random() % 3 == 0 ? 0xFF : random());
    }
    WriteWholeFile(dir / "a.zip", bytes);
    fs::path target = dir / "out" / "t";
    ClearRecordedBoxes();
    ExtractArchive((dir / "a.zip").c_str(), target.c_str());
    ASSERT_LT(RecordedBoxCount(), 20) << round;
    if (round % 100 == 0) ExpectOnlyInside(dir.path(), dir / "out");
    fs::remove_all(dir / "out");
  }
}

TEST(Robustness, ArchiveCutAtEveryLength) {
  TempDir dir;
  BuiltZip zip = BuildZip(Sample());
  for (size_t length = 0; length <= zip.bytes.size(); ++length) {
    WriteWholeFile(dir / "a.zip", Bytes(zip.bytes.begin(), zip.bytes.begin() + length));
    ClearRecordedBoxes();
    ExtractArchive((dir / "a.zip").c_str(), (dir / "out").c_str());
    if (length < zip.bytes.size()) {
      ASSERT_GE(RecordedBoxCount(), 1) << length;
    } else {
      EXPECT_EQ(RecordedBoxCount(), 0);
    }
    fs::remove_all(dir / "out");
  }
}

}  // namespace
