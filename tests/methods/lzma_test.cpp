// LZMA (method 14): entries of the tools people use come out byte for byte
// through entry extraction (7-Zip with and without the end marker and with
// dictionaries smaller than the window and than the data, python's zipfile
// to a file and to a pipe), so do streams of every property class; the
// dictionary is sized by the entry, not by its declared size; and the
// streams the decoder must refuse get their messages without a byte beyond
// the declared size.
#include <gtest/gtest.h>

#include "lzma_encoder.h"
#include "platform/posix/host_controls.h"
#include "tool_archives.h"
#include "unzip/methods/lzma_decode.h"

namespace {

constexpr uint16_t kEndMarkerFlag = 0x0002;

TEST(LzmaArchives, SevenZipAndPythonZipfileByteForByte) {
  TempDir src;
  const auto files = MakeArchiveFiles(src.path());
  const std::string sevenZip = "cd '" + src.str() + "' && 7z a -bso0 -bsp0 -tzip ";
  struct Archive {
    const char* name;
    std::string command;
    bool endMarker, streamed;
  };
  const Archive archives[] = {
      {"7z.zip", sevenZip + "-mm=LZMA 7z.zip *.txt *.bin", true, false},
      {"7z-no-marker.zip", sevenZip + "-mm=LZMA -meos=off 7z-no-marker.zip *.txt *.bin", false, false},
      // Dictionaries of 4 KB (within the engine's window) and 64 KB (a
      // buffer of its own), smaller than most files: both wrap around.
      {"7z-4k.zip", sevenZip + "-mm=LZMA:d=4k 7z-4k.zip *.txt *.bin", true, false},
      {"7z-64k.zip", sevenZip + "-mm=LZMA:d=64k -meos=off 7z-64k.zip *.txt *.bin", false, false},
      // An 8 MB dictionary declared for every file; written to a pipe,
      // each entry with a data descriptor and no sizes in its local header.
      {"python.zip", "cd '" + src.str() + "' && python3 -c \"import zipfile,glob,sys\n"
                     "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_LZMA)\n"
                     "[z.write(f) for f in sorted(glob.glob('*.txt')+glob.glob('*.bin'))]\n"
                     "z.close()\" python.zip", true, false},
      {"python-pipe.zip", "cd '" + src.str() + "' && python3 -c \"import zipfile,glob,sys\n"
                          "z=zipfile.ZipFile(sys.stdout.buffer,'w',zipfile.ZIP_LZMA)\n"
                          "[z.write(f) for f in sorted(glob.glob('*.txt')+glob.glob('*.bin'))]\n"
                          "z.close()\" | cat > python-pipe.zip", true, true},
  };
  for (const Archive& a : archives) {
    SCOPED_TRACE(a.name);
    ASSERT_TRUE(Shell(a.command));
    const fs::path zip = src / a.name;
    const Bytes bytes = ReadWholeFile(zip);
    int lzma = 0;
    for (const ListedEntry& e : ListArchive(zip)) {
      if (e.method != 14) continue;
      ++lzma;
      const uint16_t flags = LocalFlags(bytes, e.offset);
      EXPECT_EQ(a.endMarker, (flags & kEndMarkerFlag) != 0) << e.name;
      EXPECT_EQ(a.streamed, (flags & 8) != 0 && LocalCompressedSize(bytes, e.offset) == 0) << e.name;
    }
    EXPECT_GE(lzma, 6);  // 7-Zip stores the empty file, the one byte and the noise
    EXPECT_EQ(lzma, ExtractEntriesOf(zip, 14, files));
  }
}

TEST(LzmaStreams, EveryPropertyClassAndDictionaryDecodes) {
  const Bytes data = MixedBytes(300000, 7);
  struct Case {
    const char* label;
    LzmaChoices choices;
  };
  const Case cases[] = {
      {"lc 3 lp 0 pb 2, with marker", {}},
      {"lc 0 lp 4 pb 4, no marker", {0, false, {}, (4 * 5 + 4) * 9 + 0}},
      {"lc 4 lp 0 pb 0", {0, true, {}, 4}},
      {"dictionary 4 KB", {4096, false, {}, 0x5D}},
      {"dictionary 40000", {40000, true, {}, 0x5D}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const uint16_t flags = c.choices.endMarker ? kEndMarkerFlag : 0;
    const InflateRun run = RunDecoder(DecodeLzma, static_cast<int32_t>(data.size()), flags,
                                      LzmaEntryData(data, c.choices));
    EXPECT_EQ(ExtractResult::Ok, run.result);
    EXPECT_TRUE(run.output == data);
    EXPECT_EQ(ReferenceCrc(data), run.crc);
  }
}

// The dictionary takes what the entry can use, however large the size its
// header declares: under a 64 KB limit on allocations, a declared 4 GB
// dictionary decodes a small entry, and one of 40000 bytes a large one;
// only an entry that needs more than the limit fails, as a write error.
TEST(LzmaStreams, DictionaryIsSizedByTheEntry) {
  LimitHostAllocations(64 << 10);
  const Bytes small = TextBytes(10, 3);
  const Bytes large = TextBytes(200000, 4);
  LzmaChoices huge;
  huge.declaredDictionary = 0xFFFFFFFF;
  InflateRun run = RunDecoder(DecodeLzma, 10, kEndMarkerFlag, LzmaEntryData(small, huge));
  EXPECT_EQ(ExtractResult::Ok, run.result);
  EXPECT_TRUE(run.output == small);
  LzmaChoices window;
  window.dictionary = 40000;
  run = RunDecoder(DecodeLzma, 200000, kEndMarkerFlag, LzmaEntryData(large, window));
  EXPECT_EQ(ExtractResult::Ok, run.result);
  EXPECT_TRUE(run.output == large);
  run = RunDecoder(DecodeLzma, 200000, kEndMarkerFlag, LzmaEntryData(large));
  EXPECT_EQ(ExtractResult::WriteFailed, run.result);
  EXPECT_TRUE(run.output.empty());
  LimitHostAllocations(0);
}

TEST(LzmaStreams, RefusedWithTheEngineMessagesAndNothingBeyondTheSize) {
  const Bytes data = TextBytes(100000, 5);
  const int32_t size = static_cast<int32_t>(data.size());
  const Bytes marked = LzmaEntryData(data);
  LzmaChoices noMarker;
  noMarker.endMarker = false;
  const Bytes unmarked = LzmaEntryData(data, noMarker);

  // Matches that reach before the entry's first byte, and nothing else: the
  // encoder took noise as history already written, and the data repeats it.
  LzmaChoices history;
  history.presetDictionary = PatternBytes(5000, 8);
  const Bytes& repeated = history.presetDictionary;
  // Matches 6000 bytes back under a declared dictionary of 4096.
  Bytes twice = PatternBytes(6000, 9);
  twice.insert(twice.end(), twice.begin(), twice.end());
  LzmaChoices shortDictionary;
  shortDictionary.declaredDictionary = 4096;

  struct Case {
    const char* label;
    Bytes stream;
    int32_t size;
    uint16_t flags;
    ExtractResult expected;
    int32_t compressedSize = -1;
    Bytes trailer = Bytes(64, 0xA5);
  };
  std::vector<Case> cases = {
      {"properties byte 225", marked, size, kEndMarkerFlag, ExtractResult::BadArchive},
      {"properties' size 6", marked, size, kEndMarkerFlag, ExtractResult::BadArchive},
      {"range coder's first byte not 0", marked, size, kEndMarkerFlag, ExtractResult::BadArchive},
      {"distance before the entry's start", LzmaEntryData(repeated, history),
       static_cast<int32_t>(repeated.size()), kEndMarkerFlag, ExtractResult::BadArchive},
      {"distance beyond the declared dictionary", LzmaEntryData(twice, shortDictionary),
       static_cast<int32_t>(twice.size()), kEndMarkerFlag, ExtractResult::BadArchive},
      {"one byte more than declared", unmarked, size - 1, 0, ExtractResult::CrcMismatch},
      {"more than declared, marker expected", marked, size - 1, kEndMarkerFlag,
       ExtractResult::CrcMismatch},
      {"end marker before the declared size", marked, size + 1, kEndMarkerFlag,
       ExtractResult::CrcMismatch},
      {"stream longer than its compressed size", marked, size, kEndMarkerFlag,
       ExtractResult::ReadFailed, static_cast<int32_t>(marked.size()) - 2},
      {"stream cut short, archive ends", Bytes(marked.begin(), marked.begin() + marked.size() / 2),
       size, kEndMarkerFlag, ExtractResult::ReadFailed, -1, Bytes()},
  };
  cases[0].stream[4] = 225;
  cases[1].stream[2] = 6;
  cases[2].stream[9] = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const InflateRun run =
        RunDecoder(DecodeLzma, c.size, c.flags, c.stream, c.trailer, c.compressedSize);
    EXPECT_EQ(c.expected, run.result);
    EXPECT_LE(run.output.size(), static_cast<size_t>(c.size));
  }

  // Escape held: the entry stops at a refill whose percentage moved.
  HoldKeyDown(27);
  const InflateRun run = RunDecoder(DecodeLzma, 2000000, kEndMarkerFlag,
                                    LzmaEntryData(MixedBytes(2000000, 6)), Bytes(64, 0xA5), -1, 27);
  HoldKeyDown(0);
  EXPECT_EQ(ExtractResult::UserAborted, run.result);
}

}  // namespace
