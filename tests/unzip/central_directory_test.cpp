// The central-directory reader on its own: the whole-buffer and window
// modes, records straddling a refill (with the archive read elsewhere
// between entries, as entry extraction does), and the structure error of a
// walk that does not reach the directory's end.
#include <gtest/gtest.h>

#include "test_support.h"
#include "unzip/central_directory.h"

namespace {

struct Walk {
  DirectoryResult first;
  DirectoryResult last;
  uint16_t total = 0;
  std::vector<DirectoryEntry> entries;
};

Walk WalkDirectory(const fs::path& archive) {
  Walk walk;
  DirectoryReader reader;
  const FileHandle file = OpenForReading(archive.c_str());
  DirectoryResult r = walk.first = OpenDirectory(file, reader, walk.total);
  uint8_t elsewhere[16];
  while (r == DirectoryResult::EntryReady) {
    walk.entries.push_back(reader.Entry);
    SeekFile(file, 0);
    ReadFromFile(file, elsewhere, sizeof elsewhere);
    r = NextEntry(reader);
  }
  CloseFile(file);
  walk.last = r;
  CloseDirectory(reader);
  CloseDirectory(reader);  // a second close does nothing
  EXPECT_EQ(NextEntry(reader), DirectoryResult::DirectoryStructureError);
  return walk;
}

ZipEntry Named(const std::string& name, size_t commentLength = 0) {
  ZipEntry e;
  e.name = name;
  e.data = ToBytes(name);
  e.comment = std::string(commentLength, 'k');
  return e;
}

class CentralDirectory : public ::testing::Test {
 protected:
  Walk Write(const Bytes& bytes) {
    WriteWholeFile(dir / "a.zip", bytes);
    return WalkDirectory(dir / "a.zip");
  }
  TempDir dir;
};

TEST_F(CentralDirectory, LongDirectoryIsWalkedThroughTheWindow) {
  // Records of 157 bytes never line up with the 64000-byte window, and one
  // record of 40000 bytes straddles a refill on its own.
  std::vector<ZipEntry> entries;
  for (int i = 0; i < 1000; ++i) {
    char name[16];
    snprintf(name, sizeof name, "n%05d.txt", i);
    entries.push_back(Named(name, 157 - 46 - 10));
    if (i == 700) entries.push_back(Named("huge.txt", 40000));
  }
  BuiltZip zip = BuildZip(entries);
  ASSERT_GE(zip.endOffset - zip.directoryOffset, 64000u * 3);
  Walk walk = Write(zip.bytes);
  EXPECT_EQ(walk.last, DirectoryResult::EndOfDirectory);
  ASSERT_EQ(walk.entries.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(walk.entries[i].Name, entries[i].name);
    EXPECT_EQ(walk.entries[i].HeaderOffset, zip.headerOffsets[i]);
  }
}

TEST_F(CentralDirectory, DirectoryAtTheWindowModeBoundary) {
  // Directory plus the end record's signature: 63999 and 64000 bytes.
  for (size_t length : {63999u, 64000u, 64001u}) {
    ZipEntry e = Named("edge.txt", length - 4 - 46 - 8);
    Walk walk = Write(BuildZip({e, }).bytes);
    EXPECT_EQ(walk.last, DirectoryResult::EndOfDirectory) << length;
    ASSERT_EQ(walk.entries.size(), 1u) << length;
    EXPECT_STREQ(walk.entries[0].Name, "edge.txt");
  }
}

TEST_F(CentralDirectory, WalkThatMissesTheEndIsAStructureError) {
  BuiltZip zip = BuildZip({Named("one"), Named("two"), Named("three")});
  uint32_t second = zip.directoryOffset + 46 + 3;

  Bytes badSignature = zip.bytes;
  badSignature[second + 2] = 'X';
  Walk walk = Write(badSignature);
  EXPECT_EQ(walk.entries.size(), 1u);
  EXPECT_EQ(walk.last, DirectoryResult::DirectoryStructureError);

  // The second record's comment runs 2 bytes past the directory, into the
  // end record's signature.
  Bytes overrun = zip.bytes;
  overrun[second + 32] = 53;
  walk = Write(overrun);
  EXPECT_EQ(walk.entries.size(), 1u);
  EXPECT_EQ(walk.last, DirectoryResult::DirectoryStructureError);

  // Fewer records than the total promises; more are fine.
  for (uint16_t total : {4, 2}) {
    ZipLayout layout;
    layout.totalGiven = true;
    layout.total = total;
    walk = Write(BuildZip({Named("one"), Named("two"), Named("three")}, layout).bytes);
    EXPECT_EQ(walk.entries.size(), 3u);
    EXPECT_EQ(walk.last, total == 4 ? DirectoryResult::DirectoryStructureError
                                    : DirectoryResult::EndOfDirectory);
  }

  // The end record points past itself, or far beyond the file, and its size
  // does not lead to the directory either.
  for (uint32_t start : {zip.endOffset + 1, 0xFFFFFF00u}) {
    ZipLayout layout;
    layout.directoryOffsetGiven = true;
    layout.directoryOffset = start;
    Bytes bytes = BuildZip({Named("one")}, layout).bytes;
    bytes[bytes.size() - 22 + 12] ^= 0x10;  // the directory's size
    walk = Write(bytes);
    EXPECT_EQ(walk.first, DirectoryResult::DirectoryStructureError);
    EXPECT_TRUE(walk.entries.empty());
  }
}

}  // namespace
