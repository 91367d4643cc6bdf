// The check of an archive before extraction: the seal's text, and whole,
// damaged, cut, overlapping and unsealed archives, alone or behind a stub.
#include "launcher/archive_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../unzip/test_support.h"
#include "launcher/archive_seal.h"
#include "unzip/crc32.h"

namespace {

SealReading Read(const std::string& comment, ArchiveSeal& seal) {
  return ReadSeal(reinterpret_cast<const uint8_t*>(comment.data()),
                  static_cast<uint32_t>(comment.size()), seal);
}

TEST(ArchiveSealText, ReadsTheWholeFormAndNothingLikeIt) {
  ArchiveSeal seal = {};
  ASSERT_EQ(Read("orvane-seal crc32=89ABCDEF length=4294967295", seal), SealReading::Read);
  EXPECT_EQ(seal.Crc, 0x89ABCDEFu);
  EXPECT_EQ(seal.Length, 4294967295u);
  EXPECT_EQ(seal.Options, 0);
  EXPECT_EQ(Read("", seal), SealReading::None);
  EXPECT_EQ(Read("made by zip", seal), SealReading::None);
  for (const char* damaged : {"orvane-seal crc32=89abcdef length=0000000100",
                              "orvane-seal crc32=89ABCDEF length=4294967296",
                              "orvane-seal crc32=89ABCDEF length=000000010",
                              "orvane-seal crc32=89ABCDEF length=00000001000",
                              "orvane-seal crc32=89ABCDEF lengtX=0000000100",
                              "orvane-seal "}) {
    EXPECT_EQ(Read(damaged, seal), SealReading::Unreadable) << damaged;
  }
}

TEST(ArchiveSealText, ReadsTheOptionsLineAndNothingLikeIt) {
  const std::string line = "orvane-seal crc32=89ABCDEF length=0000000100";
  const std::string longest = line + "\norvane-options v1 wait pass-arguments";
  ASSERT_EQ(longest.size(), kLongestSealText);
  const struct {
    const char* options;
    uint8_t bits;
  } read[] = {{" wait", kOptionWait},
              {" pass-arguments", kOptionPassArguments},
              {" wait pass-arguments", kOptionWait | kOptionPassArguments}};
  for (const auto& each : read) {
    ArchiveSeal seal = {};
    ASSERT_EQ(Read(line + "\norvane-options v1" + each.options, seal), SealReading::Read)
        << each.options;
    EXPECT_EQ(seal.Options, each.bits) << each.options;
    EXPECT_EQ(seal.Length, 100u);
  }
  // This stub and its builder ship together: anything else is damage.
  for (const char* damaged :
       {"\norvane-options v2 wait", "\norvane-options v1 pass-arguments wait",
        "\norvane-options v1 wait wait", "\norvane-options v1 wait ", "\norvane-options v1 later",
        "\norvane-options v1",
        "\r\norvane-options v1 wait", "\norvane-options v1 wait\n", "\n", " wait",
        "\norvane-options v1 wai"}) {
    ArchiveSeal seal = {};
    EXPECT_EQ(Read(line + damaged, seal), SealReading::Unreadable) << damaged;
  }
  // A comment longer than the longest seal, as a caller cuts it.
  ArchiveSeal seal = {};
  EXPECT_EQ(Read(longest + "x", seal), SealReading::Unreadable);
}

ZipEntry File(const std::string& name, const Bytes& data) {
  ZipEntry entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

// Writes `bytes` and checks the archive that starts at `start` in them;
// `options` receives what the check found.
bool Sound(const Bytes& bytes, uint32_t start = 0, uint8_t* options = nullptr) {
  TempDir dir;
  WriteWholeFile(dir / "installer.exe", bytes);
  const FileHandle file = OpenHeldForReading((dir.str() + "\\installer.exe").c_str());
  uint8_t found = 0xFF;
  const bool sound = IsArchiveSound(file, start, &found);
  CloseFile(file);
  if (options != nullptr) *options = found;
  return sound;
}

// A two-entry archive behind `stub`, sealed as mkinstaller seals it, then
// `after` appended (a signature's place); `options`, the options line,
// follows the seal line.
BuiltZip Sealed(const Bytes& stub = {}, const Bytes& after = {}, const std::string& options = "") {
  ZipLayout layout;
  layout.prefix = stub;
  layout.comment = std::string(kSealTextLength, ' ') + options;
  BuiltZip zip = BuildZip(
      {File("a.txt", PatternBytes(3000, 1)), File("b/c.txt", PatternBytes(90000, 2))}, layout);
  const uint32_t sealed = zip.endOffset + 22 - static_cast<uint32_t>(stub.size());
  char text[kSealTextLength + 1];
  std::snprintf(text, sizeof text, "orvane-seal crc32=%08X length=%010u",
                ~ContinueCrc(0xFFFFFFFF, zip.bytes.data() + stub.size(), sealed), sealed);
  std::copy(text, text + kSealTextLength, zip.bytes.begin() + zip.endOffset + 22);
  zip.bytes.insert(zip.bytes.end(), after.begin(), after.end());
  return zip;
}

TEST(ArchiveCheck, WholeArchivesPassAloneOrBehindAStub) {
  const Bytes stub = PatternBytes(5000, 9);
  const Bytes signature = PatternBytes(9000, 4);
  EXPECT_TRUE(Sound(Sealed().bytes));
  EXPECT_TRUE(Sound(Sealed({}, signature).bytes));
  EXPECT_TRUE(Sound(Sealed(stub, signature).bytes, 5000));
  // The longest comment: the whole of it is read, and its options reach the
  // installation.
  uint8_t options = 0;
  EXPECT_TRUE(Sound(Sealed(stub, signature, "\norvane-options v1 wait pass-arguments").bytes, 5000,
                    &options));
  EXPECT_EQ(options, kOptionWait | kOptionPassArguments);
  EXPECT_FALSE(Sound(Sealed(stub, signature, "\norvane-options v1 wait pass-argument!").bytes, 5000));
  EXPECT_TRUE(Sound(BuildZip({File("a.txt", PatternBytes(10, 1))}).bytes, 0, &options));  // no seal
  EXPECT_EQ(options, 0);
  // The seal counts from the archive's first byte: another start is damage,
  // and so is an entry inside the stub.
  EXPECT_FALSE(Sound(Sealed(stub).bytes, 4999));
  EXPECT_FALSE(Sound(Sealed(stub).bytes, 0));
  ZipLayout behind;
  behind.prefix = stub;
  EXPECT_FALSE(Sound(BuildZip({File("a.txt", PatternBytes(10, 1))}, behind).bytes, 5001));
}

TEST(ArchiveCheck, DamageOfTheSealedBytesOrTheSealFails) {
  const BuiltZip zip = Sealed(PatternBytes(100, 3), PatternBytes(100, 5));
  const uint32_t sealAt = zip.endOffset + 22;
  Bytes flipped = zip.bytes;
  flipped[zip.headerOffsets[1] + 70000] ^= 0x10;  // inside the data of b/c.txt, past one chunk
  EXPECT_FALSE(Sound(flipped, 100));
  Bytes digit = zip.bytes;
  digit[sealAt + kSealTextLength - 1] ^= 0x01;  // the length's last digit
  EXPECT_FALSE(Sound(digit, 100));
  digit = zip.bytes;
  digit[sealAt + 20] = digit[sealAt + 20] == '0' ? '1' : '0';  // a CRC digit
  EXPECT_FALSE(Sound(digit, 100));
}

TEST(ArchiveCheck, CutArchivesFailSealedOrNot) {
  const BuiltZip sealed = Sealed();
  const BuiltZip plain =
      BuildZip({File("a.txt", PatternBytes(3000, 1)), File("b.txt", PatternBytes(99, 2))});
  for (const BuiltZip* zip : {&sealed, &plain}) {
    for (size_t keep : {size_t{0}, size_t{40}, size_t{zip->directoryOffset + 50},
                        zip->bytes.size() - 1}) {
      EXPECT_FALSE(Sound(Bytes(zip->bytes.begin(), zip->bytes.begin() + keep))) << keep;
    }
  }
}

// Sets the local header offset of the directory's record `index` (records
// of names of one character: 47 bytes each).
void PointRecordAt(BuiltZip& zip, uint32_t index, uint32_t offset) {
  const uint32_t field = zip.directoryOffset + index * 47 + 42;
  for (int i = 0; i < 4; ++i) zip.bytes[field + i] = static_cast<uint8_t>(offset >> (8 * i));
}

TEST(ArchiveCheck, DirectoriesThatDoNotHoldTogetherFail) {
  ZipLayout more;
  more.totalGiven = true;
  more.total = 3;  // two entries are there
  EXPECT_FALSE(Sound(BuildZip({File("a", {}), File("b", {})}, more).bytes));
  ZipLayout fewer = more;
  fewer.total = 1;
  EXPECT_FALSE(Sound(BuildZip({File("a", {}), File("b", {})}, fewer).bytes));

  // A local header offset that points into the directory.
  BuiltZip zip = BuildZip({File("a", PatternBytes(50, 1))});
  PointRecordAt(zip, 0, zip.directoryOffset);
  EXPECT_FALSE(Sound(zip.bytes));
}

// Records that share an entry's bytes would write them again and again: a
// small archive could fill the disk.
TEST(ArchiveCheck, EntriesThatShareBytesFail) {
  const std::vector<ZipEntry> three = {File("a", PatternBytes(500, 1)),
                                       File("b", PatternBytes(500, 2)),
                                       File("c", PatternBytes(500, 3))};
  BuiltZip same = BuildZip(three);
  PointRecordAt(same, 2, same.headerOffsets[0]);  // c names a's bytes
  EXPECT_FALSE(Sound(same.bytes));
  BuiltZip inside = BuildZip(three);
  PointRecordAt(inside, 1, inside.headerOffsets[0] + 100);  // b starts inside a's data
  EXPECT_FALSE(Sound(inside.bytes));
  // Listed out of file order but apart: sound.
  BuiltZip swapped = BuildZip(three);
  PointRecordAt(swapped, 0, swapped.headerOffsets[2]);
  PointRecordAt(swapped, 2, swapped.headerOffsets[0]);
  EXPECT_TRUE(Sound(swapped.bytes));
}

}  // namespace
