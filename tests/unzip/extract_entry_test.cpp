// Extraction of single entries: stored data, streamed entries, refusals that
// leave the disk untouched, directories, time and attributes, cleanup after
// failures, the abort key and the re-entry guard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include "platform/posix/host_controls.h"
#include "../methods/inflate_support.h"
#include "test_support.h"
#include "unzip/engine_state.h"
#include "unzip/extract_entry.h"

namespace {

class ExtractEntryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    HoldKeyDown(0);
    UseRealTickCount();
    SetPumpHook(nullptr, nullptr);
  }
  // Writes the archive and extracts its entry `index` to `name` under the
  // temporary directory (name with backslashes).
  ExtractResult Extract(const std::vector<ZipEntry>& entries, size_t index, const std::string& name,
                        uint16_t attributes = 0) {
    zip = BuildZip(entries);
    WriteWholeFile(archive(), zip.bytes);
    const ZipEntry& e = entries[index];
    const uint32_t size = static_cast<uint32_t>(e.data.size());
    return ExtractEntry(archive().c_str(), Out(name).c_str(), attributes, kAbortKeyEscape,
                        zip.headerOffsets[index],
                        {size, e.uncompressedSize < 0 ? size : static_cast<uint32_t>(e.uncompressedSize)});
  }
  std::string Out(const std::string& name) const { return dir.str() + "\\" + name; }
  fs::path archive() const { return dir / "test.zip"; }

  TempDir dir;
  BuiltZip zip;
};

ZipEntry Stored(const std::string& name, const Bytes& data) {
  ZipEntry e;
  e.name = name;
  e.data = data;
  return e;
}

TEST_F(ExtractEntryTest, StoredEntryIsCopiedInChunksWithPumpsBetween) {
  for (size_t size : {0u, 1u, 32768u, 65536u, 65537u}) {
    Bytes data = PatternBytes(size, static_cast<uint32_t>(size));
    int pumps = 0;
    SetPumpHook([](void* n) { ++*static_cast<int*>(n); }, &pumps);
    ASSERT_EQ(Extract({Stored("a.bin", data)}, 0, "a.bin"), ExtractResult::Ok) << size;
    EXPECT_EQ(ReadWholeFile(dir / "a.bin"), data);
    // One pump as the entry starts, one after every chunk of 32768.
    EXPECT_EQ(pumps, 1 + static_cast<int>((size + 32767) / 32768)) << size;
    EXPECT_EQ(Engine.RunningCrc, ReferenceCrc(data));
  }
}

TEST_F(ExtractEntryTest, TruncatedStoredDataIsAReadErrorAndLeavesNoFile) {
  ZipEntry e = Stored("cut.bin", PatternBytes(40000));
  zip = BuildZip({e});
  zip.bytes.resize(zip.headerOffsets[0] + 30 + 7 + 39000);
  WriteWholeFile(archive(), zip.bytes);
  EXPECT_EQ(ExtractEntry(archive().c_str(), Out("cut.bin").c_str(), 0, 27, 0, {}),
            ExtractResult::ReadFailed);
  EXPECT_FALSE(fs::exists(dir / "cut.bin"));
}

TEST_F(ExtractEntryTest, WrongCrcDeletesTheOutputEvenOverAnOldFile) {
  WriteWholeFile(dir / "bad.txt", ToBytes("old contents"));
  ZipEntry e = Stored("bad.txt", ToBytes("right bytes, wrong CRC"));
  e.crcGiven = true;
  e.crc = 0x12345678;
  EXPECT_EQ(Extract({e}, 0, "bad.txt"), ExtractResult::CrcMismatch);
  EXPECT_FALSE(fs::exists(dir / "bad.txt"));
}

TEST_F(ExtractEntryTest, StoredStreamedEntryTakesItsCrcFromTheDescriptor) {
  for (bool signature : {true, false}) {
    Bytes data = PatternBytes(5000, 9);
    ZipEntry e = Stored("s.bin", data);
    e.flags = 8;
    e.descriptorSignature = signature;
    // The local header's CRC is wrong: only the descriptor's may count.
    std::vector<ZipEntry> entries = {e, Stored("next.txt", ToBytes("next"))};
    zip = BuildZip(entries);
    zip.bytes[zip.headerOffsets[0] + 14] ^= 0xFF;
    WriteWholeFile(archive(), zip.bytes);
    EXPECT_EQ(ExtractEntry(archive().c_str(), Out("s.bin").c_str(), 0, 27, 0, {}), ExtractResult::Ok)
        << signature;
    EXPECT_EQ(ReadWholeFile(dir / "s.bin"), data);
  }
}

TEST_F(ExtractEntryTest, StreamedEntryWithWrongDescriptorCrcFails) {
  ZipEntry e = Stored("s.bin", PatternBytes(100));
  e.flags = 8;
  e.crcGiven = true;
  e.crc = 0xDEADBEEF;
  EXPECT_EQ(Extract({e}, 0, "s.bin"), ExtractResult::CrcMismatch);
  EXPECT_FALSE(fs::exists(dir / "s.bin"));
}

TEST_F(ExtractEntryTest, DataLongerThanTheDeclaredSizeIsACrcErrorWithNothingWritten) {
  // 4 stored bytes, 3 declared, the CRC forged to match the 4.
  WriteWholeFile(dir / "over.txt", ToBytes("old"));
  ZipEntry e = Stored("over.txt", ToBytes("abcd"));
  e.uncompressedSize = 3;
  int writes = 0;
  SetPumpHook([](void* n) { ++*static_cast<int*>(n); }, &writes);
  EXPECT_EQ(Extract({e}, 0, "over.txt"), ExtractResult::CrcMismatch);
  EXPECT_FALSE(fs::exists(dir / "over.txt"));
  EXPECT_EQ(writes, 1);  // the pump as the entry starts; no chunk went out
}

TEST_F(ExtractEntryTest, StreamedEntryWithoutLocalSizesTakesTheCentralOnes) {
  // Python's zipfile writes stored entries so to an unseekable output.
  Bytes data = PatternBytes(40000, 4);
  ZipEntry e = Stored("s.bin", data);
  e.flags = 8;
  e.zeroLocalSizes = true;
  EXPECT_EQ(Extract({e, Stored("next.txt", ToBytes("next"))}, 0, "s.bin"), ExtractResult::Ok);
  EXPECT_EQ(ReadWholeFile(dir / "s.bin"), data);
}

TEST_F(ExtractEntryTest, Zip64LocalSizesAreUsedWhereTheyFit) {
  Bytes data = PatternBytes(5000, 5);
  ZipEntry e = Stored("z.bin", data);
  e.zip64 = true;
  e.extra = std::string("\x55\x54\x01\x00\x00", 5);  // a field before the Zip64 one
  EXPECT_EQ(Extract({e}, 0, "z.bin"), ExtractResult::Ok);
  EXPECT_EQ(ReadWholeFile(dir / "z.bin"), data);
  // Streamed, the Zip64 field holding zeros: the descriptor follows.
  e.flags = 8;
  e.zeroLocalSizes = true;
  EXPECT_EQ(Extract({e}, 0, "z.bin"), ExtractResult::Ok);
  EXPECT_EQ(ReadWholeFile(dir / "z.bin"), data);

  // 2^31 - 100 does not fit the engine, nor does a full field without its
  // Zip64 value: nothing is created.
  WriteWholeFile(dir / "z.bin", ToBytes("old"));
  e = Stored("z.bin", data);
  e.zip64 = true;
  e.uncompressedSize = 2147483548;
  EXPECT_EQ(Extract({e}, 0, "z.bin"), ExtractResult::UnsupportedMethod);
  e.zip64 = false;
  e.uncompressedSize = 0xFFFFFFFF;
  EXPECT_EQ(Extract({e}, 0, "z.bin"), ExtractResult::UnsupportedMethod);
  EXPECT_EQ(ReadWholeFile(dir / "z.bin"), ToBytes("old"));
}

TEST_F(ExtractEntryTest, BrokenLocalHeadersAreStructureErrors) {
  zip = BuildZip({Stored("a.txt", ToBytes("abc"))});
  Bytes badSignature = zip.bytes;
  badSignature[2] = 9;
  WriteWholeFile(archive(), badSignature);
  EXPECT_EQ(ExtractEntry(archive().c_str(), Out("a.txt").c_str(), 0, 27, 0, {}),
            ExtractResult::BadArchive);
  WriteWholeFile(archive(), zip.bytes);
  uint32_t size = static_cast<uint32_t>(zip.bytes.size());
  for (uint32_t offset : {size - 10, size, size + 1000, 0xFFFFFFF0u}) {
    EXPECT_EQ(ExtractEntry(archive().c_str(), Out("a.txt").c_str(), 0, 27, offset, {}),
              ExtractResult::BadArchive)
        << offset;
  }
  EXPECT_FALSE(fs::exists(dir / "a.txt"));
  EXPECT_EQ(ExtractEntry((dir / "missing.zip").c_str(), Out("a.txt").c_str(), 0, 27, 0, {}),
            ExtractResult::ReadFailed);
}

TEST_F(ExtractEntryTest, MissingParentDirectoriesAreMade) {
  Bytes data = ToBytes("deep file");
  EXPECT_EQ(Extract({Stored("a/b/c/f.txt", data)}, 0, "a\\b\\c\\f.txt"), ExtractResult::Ok);
  EXPECT_EQ(ReadWholeFile(dir / "a" / "b" / "c" / "f.txt"), data);
}

TEST_F(ExtractEntryTest, ParentThatCannotBeMadeIsAWriteError) {
  WriteWholeFile(dir / "plain", ToBytes("a file, not a directory"));
  EXPECT_EQ(Extract({Stored("plain/f.txt", ToBytes("x"))}, 0, "plain\\f.txt"),
            ExtractResult::WriteFailed);
}

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return mktime(&t);
}

time_t ModificationTime(const fs::path& path) {
  struct stat st;
  stat(path.c_str(), &st);
  return st.st_mtime;
}

TEST_F(ExtractEntryTest, DosStampIsAppliedAsLocalTime) {
  ZipEntry e = Stored("t.txt", ToBytes("t"));
  e.dosDateTime = 0x00210000;  // 1980-01-01 00:00:00
  ASSERT_EQ(Extract({e}, 0, "t.txt"), ExtractResult::Ok);
  EXPECT_EQ(ModificationTime(dir / "t.txt"), LocalTime(1980, 1, 1, 0, 0, 0));
  // 2021-07-15 13:45:58
  e.dosDateTime = static_cast<uint32_t>((41 << 9 | 7 << 5 | 15) << 16 | (13 << 11 | 45 << 5 | 29));
  ASSERT_EQ(Extract({e}, 0, "t.txt"), ExtractResult::Ok);
  EXPECT_EQ(ModificationTime(dir / "t.txt"), LocalTime(2021, 7, 15, 13, 45, 58));
  // Month 0: the time the system gave the file stays.
  e.dosDateTime = static_cast<uint32_t>((41 << 9 | 0 << 5 | 15) << 16);
  time_t before = time(nullptr);
  ASSERT_EQ(Extract({e}, 0, "t.txt"), ExtractResult::Ok);
  EXPECT_GE(ModificationTime(dir / "t.txt"), before - 1);
}

TEST_F(ExtractEntryTest, AttributesAreSetOnlyAfterSuccess) {
  ASSERT_EQ(Extract({Stored("ro.txt", ToBytes("r"))}, 0, "ro.txt", 0x01 | 0x02),
            ExtractResult::Ok);
  uint32_t attributes = GetPathAttributes(Out("ro.txt").c_str());
  EXPECT_EQ(attributes & (kAttrReadOnly | kAttrHidden), kAttrReadOnly | kAttrHidden);
}

TEST_F(ExtractEntryTest, EscapeHeldAbortsASmallStoredEntryAfterItsChunk) {
  HoldKeyDown(27);
  EXPECT_EQ(Extract({Stored("big.bin", PatternBytes(1024))}, 0, "big.bin"),
            ExtractResult::UserAborted);
  EXPECT_FALSE(fs::exists(dir / "big.bin"));
  // Another key held does nothing.
  HoldKeyDown(65);
  EXPECT_EQ(Extract({Stored("big.bin", PatternBytes(1024))}, 0, "big.bin"), ExtractResult::Ok);
}

struct Nesting {
  std::string archive, output;
  uint32_t tickJump = 0;
  int at = 1;  // the pump that calls in: after the first chunk or refill
  int calls = 0;
  ExtractResult inner = ExtractResult::Ok;
};

void CallBackIn(void* context) {
  Nesting& n = *static_cast<Nesting*>(context);
  if (n.calls++ != n.at) return;
  SetHostTickCount(1000 + n.tickJump);
  n.inner = ExtractEntry(n.archive.c_str(), n.output.c_str(), 0, 27, 0, {});
}

TEST_F(ExtractEntryTest, NestedExtractionFromThePumpIsRefused) {
  Bytes data = PatternBytes(100000, 2);
  Nesting n;
  n.archive = archive().string();
  n.output = Out("inner.bin");
  SetHostTickCount(1000);
  SetPumpHook(CallBackIn, &n);
  EXPECT_EQ(Extract({Stored("outer.bin", data)}, 0, "outer.bin"), ExtractResult::Ok);
  EXPECT_EQ(n.inner, ExtractResult::EngineBusy);
  EXPECT_FALSE(fs::exists(dir / "inner.bin"));
  EXPECT_EQ(ReadWholeFile(dir / "outer.bin"), data);
  // The guard is released afterwards.
  SetPumpHook(nullptr, nullptr);
  EXPECT_EQ(ExtractEntry(archive().c_str(), Out("again.bin").c_str(), 0, 27, 0, {}), ExtractResult::Ok);
}

TEST_F(ExtractEntryTest, MarkAfterThirtySecondsOfPumpSilenceIsStale) {
  Bytes data = PatternBytes(100000, 3);
  for (uint32_t jump : {30000u, 30001u}) {
    Nesting n;
    n.archive = archive().string();
    n.output = Out("inner.bin");
    n.tickJump = jump;
    SetHostTickCount(1000);
    SetPumpHook(CallBackIn, &n);
    EXPECT_EQ(Extract({Stored("outer.bin", data)}, 0, "outer.bin"), ExtractResult::Ok);
    EXPECT_EQ(n.inner, jump > 30000 ? ExtractResult::Ok : ExtractResult::EngineBusy);
    EXPECT_EQ(fs::exists(dir / "inner.bin"), jump > 30000);
    // The interrupted extraction finishes intact.
    EXPECT_EQ(ReadWholeFile(dir / "outer.bin"), data);
    fs::remove(dir / "inner.bin");
  }
}

// The stale mark broken in the middle of a deflated entry: the nested
// extraction reads through the same read-ahead buffer, and the outer one,
// past its first buffer by then, must go on with its own bytes.
TEST_F(ExtractEntryTest, StaleMarkBrokenInsideADeflatedEntryLeavesItsInputIntact) {
  Bytes data = MixedBytes(400000, 9);
  ZipEntry e;
  e.name = "outer.bin";
  e.data = ZlibDeflate(data, 6);
  ASSERT_GT(e.data.size(), 25u * 2048);
  e.method = 8;
  e.uncompressedSize = static_cast<int64_t>(data.size());
  e.crcGiven = true;
  e.crc = ReferenceCrc(data);
  Nesting n;
  n.archive = archive().string();
  n.output = Out("inner.bin");
  n.tickJump = 30001;
  n.at = 20;
  SetHostTickCount(1000);
  SetPumpHook(CallBackIn, &n);
  EXPECT_EQ(Extract({e}, 0, "outer.bin"), ExtractResult::Ok);
  EXPECT_EQ(n.inner, ExtractResult::Ok);
  EXPECT_EQ(ReadWholeFile(dir / "outer.bin"), data);
  EXPECT_EQ(ReadWholeFile(dir / "inner.bin"), data);
}

}  // namespace
