// The check of an archive before extraction: the seal's text, taking bytes
// back out of a CRC register, and whole, damaged and unsealed archives with
// and without the digest that carving counted.
#include "launcher/archive_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../unzip/test_support.h"
#include "launcher/archive_seal.h"
#include "unzip/crc32.h"

namespace {

uint32_t Register(const Bytes& bytes, size_t count) {
  return ContinueCrc(0xFFFFFFFF, bytes.data(), static_cast<uint32_t>(count));
}

TEST(ArchiveCrc, BytesTakenBackOutLeaveThePrefixRegister) {
  const Bytes data = PatternBytes(5000, 3);
  EXPECT_EQ(~Register(data, data.size()), ReferenceCrc(data));
  for (size_t prefix : {size_t{0}, size_t{1}, size_t{7}, size_t{4093}, size_t{4999}}) {
    const uint32_t tail = static_cast<uint32_t>(data.size() - prefix);
    EXPECT_EQ(RemoveCrcTail(Register(data, data.size()), data.data() + prefix, tail),
              Register(data, prefix))
        << prefix;
  }
}

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

// Writes `bytes` as an archive and checks it, with the digest of the whole
// file when `carved`.
bool Sound(const Bytes& bytes, bool carved) {
  TempDir dir;
  WriteWholeFile(dir / "uztemp.zip", bytes);
  const CarvedDigest digest = {Register(bytes, bytes.size()), static_cast<uint32_t>(bytes.size())};
  return IsArchiveSound((dir / "uztemp.zip").c_str(), carved ? &digest : nullptr);
}

// A two-entry archive sealed as mkinstaller seals it, then `after` appended
// (a signature's place); `options`, the options line, follows the seal line.
BuiltZip Sealed(const Bytes& after = {}, const std::string& options = "") {
  ZipLayout layout;
  layout.comment = std::string(kSealTextLength, ' ') + options;
  BuiltZip zip = BuildZip(
      {File("a.txt", PatternBytes(3000, 1)), File("b/c.txt", PatternBytes(9000, 2))}, layout);
  const uint32_t sealed = zip.endOffset + 22;
  char text[kSealTextLength + 1];
  std::snprintf(text, sizeof text, "orvane-seal crc32=%08X length=%010u",
                ~Register(zip.bytes, sealed), sealed);
  std::copy(text, text + kSealTextLength, zip.bytes.begin() + sealed);
  zip.bytes.insert(zip.bytes.end(), after.begin(), after.end());
  return zip;
}

TEST(ArchiveCheck, WholeArchivesPassWithAndWithoutTheCarvedDigest) {
  const Bytes signature = PatternBytes(9000, 4);  // more than one read back
  for (bool carved : {false, true}) {
    EXPECT_TRUE(Sound(Sealed().bytes, carved));
    EXPECT_TRUE(Sound(Sealed(signature).bytes, carved));
    // The longest comment: the whole of it is read.
    EXPECT_TRUE(Sound(Sealed(signature, "\norvane-options v1 wait pass-arguments").bytes, carved));
    EXPECT_FALSE(Sound(Sealed(signature, "\norvane-options v1 wait pass-argument!").bytes, carved));
    EXPECT_TRUE(Sound(BuildZip({File("a.txt", PatternBytes(10, 1))}).bytes, carved));  // no seal
  }
}

TEST(ArchiveCheck, DamageOfTheSealedBytesOrTheSealFails) {
  const BuiltZip zip = Sealed(PatternBytes(100, 5));
  const uint32_t sealAt = zip.endOffset + 22;
  for (bool carved : {false, true}) {
    Bytes flipped = zip.bytes;
    flipped[zip.headerOffsets[1] + 40] ^= 0x10;  // inside the data of b/c.txt
    EXPECT_FALSE(Sound(flipped, carved));
    Bytes digit = zip.bytes;
    digit[sealAt + kSealTextLength - 1] ^= 0x01;  // the length's last digit
    EXPECT_FALSE(Sound(digit, carved));
    digit = zip.bytes;
    digit[sealAt + 20] = digit[sealAt + 20] == '0' ? '1' : '0';  // a CRC digit
    EXPECT_FALSE(Sound(digit, carved));
  }
  // The digest must be of this very file.
  TempDir dir;
  WriteWholeFile(dir / "uztemp.zip", zip.bytes);
  const CarvedDigest shorter = {Register(zip.bytes, zip.bytes.size() - 1),
                                static_cast<uint32_t>(zip.bytes.size() - 1)};
  EXPECT_FALSE(IsArchiveSound((dir / "uztemp.zip").c_str(), &shorter));
}

TEST(ArchiveCheck, CutArchivesFailSealedOrNot) {
  const BuiltZip sealed = Sealed();
  const BuiltZip plain =
      BuildZip({File("a.txt", PatternBytes(3000, 1)), File("b.txt", PatternBytes(99, 2))});
  for (const BuiltZip* zip : {&sealed, &plain}) {
    for (size_t keep : {size_t{0}, size_t{40}, size_t{zip->directoryOffset + 50},
                        zip->bytes.size() - 1}) {
      EXPECT_FALSE(Sound(Bytes(zip->bytes.begin(), zip->bytes.begin() + keep), true)) << keep;
    }
  }
}

TEST(ArchiveCheck, DirectoriesThatDoNotHoldTogetherFail) {
  ZipLayout more;
  more.totalGiven = true;
  more.total = 3;  // two entries are there
  EXPECT_FALSE(Sound(BuildZip({File("a", {}), File("b", {})}, more).bytes, false));
  ZipLayout fewer = more;
  fewer.total = 1;
  EXPECT_FALSE(Sound(BuildZip({File("a", {}), File("b", {})}, fewer).bytes, false));

  // A local header offset that points into the directory.
  BuiltZip zip = BuildZip({File("a", PatternBytes(50, 1))});
  const uint32_t offsetField = zip.directoryOffset + 42;
  zip.bytes[offsetField] = static_cast<uint8_t>(zip.directoryOffset);
  zip.bytes[offsetField + 1] = static_cast<uint8_t>(zip.directoryOffset >> 8);
  EXPECT_FALSE(Sound(zip.bytes, false));
}

}  // namespace
