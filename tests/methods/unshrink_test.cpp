// Unshrink on streams from the test encoder and on hand-made code streams:
// code-size steps, partial clears, codes not yet defined, the 767-byte
// output pieces; and broken entries: chains through free codes and loops,
// streamed entries, entries without data, truncated data, random damage.
#include <gtest/gtest.h>

#include <random>

#include "shrink_encoder.h"
#include "unzip/extract_entry.h"
#include "unzip/methods/unshrink.h"

namespace {

InflateRun Unshrunk(const Bytes& stream, int32_t compressedSize = -1) {
  return RunDecoder(Unshrink, 0, 0, stream, Bytes(64, 0xA5), compressedSize);
}

Bytes Repeat(const std::string& text, size_t times) {
  Bytes out;
  for (size_t i = 0; i < times; ++i) out.insert(out.end(), text.begin(), text.end());
  return out;
}

// Extracts one entry of method 1 holding packed; the output path is dir/out.
ExtractResult ExtractShrunk(const TempDir& dir, ZipEntry entry) {
  entry.name = "out";
  entry.method = 1;
  ZipEntry next;
  next.name = "next";
  next.data = ToBytes("next entry");
  WriteWholeFile(dir / "a.zip", BuildZip({entry, next}).bytes);
  const uint32_t size = static_cast<uint32_t>(entry.data.size());
  return ExtractEntry((dir / "a.zip").c_str(), (dir / "out").c_str(), 0x20, 27, 0,
                      {size, entry.uncompressedSize < 0 ? size : static_cast<uint32_t>(entry.uncompressedSize)});
}

TEST(Unshrink, EncoderStreamsRoundTripThroughEntryExtraction) {
  // Mixed data fills the table over and over: partial clears at every code
  // size up to 13. A run of one byte makes each code one byte longer than
  // the one before, every one of them sent before it is defined.
  ShrinkStats stats;
  for (const Bytes& data : {MixedBytes(400000, 7), Bytes(1000000, 'a')}) {
    TempDir dir;
    ZipEntry entry;
    entry.data = Shrink(data, &stats);
    entry.uncompressedSize = static_cast<int64_t>(data.size());
    entry.crcGiven = true;
    entry.crc = ReferenceCrc(data);
    ASSERT_EQ(ExtractResult::Ok, ExtractShrunk(dir, entry));
    EXPECT_TRUE(ReadWholeFile(dir / "out") == data);
  }
  EXPECT_EQ(0, stats.clears);  // the run never fills the table
  Shrink(MixedBytes(400000, 7), &stats);
  EXPECT_GE(stats.clears, 3);
  EXPECT_EQ(13u, stats.codeSize);
}

TEST(Unshrink, CodeSizeStepsFromNineToThirteenAndNoFurther) {
  ShrinkWriter w;
  w.Literals("ab");  // 257 = "ab"
  for (int step = 0; step < 4; ++step) w.Grow().Code(257);
  const InflateRun ok = Unshrunk(w.Finish());
  EXPECT_EQ(ExtractResult::Ok, ok.result);
  EXPECT_TRUE(ok.output == Repeat("ab", 5));

  ShrinkWriter fifth;
  fifth.Literals("ab");
  for (int step = 0; step < 5; ++step) fifth.Grow();
  const InflateRun refused = Unshrunk(fifth.Finish());
  EXPECT_EQ(ExtractResult::BadArchive, refused.result);
  EXPECT_TRUE(refused.output.empty());  // no flush after a bad control code
}

TEST(Unshrink, PartialClearFreesLeavesForReuseInIncreasingOrder) {
  // A full table: 257 "xy", 258 "yx", 259 "xyz" (extends 257), then 7933
  // codes made from literals. The clear frees everything but 257.
  ShrinkWriter full;
  full.Literals("xy").Code(257).Literals("z");
  for (int i = 0; i < 7933; ++i) full.Literals("q");
  full.Clear().Literals("rs").Code(258).Code(259).Code(257).Code(261);
  const InflateRun run = Unshrunk(full.Finish());
  EXPECT_EQ(ExtractResult::Ok, run.result);
  Bytes expected = ToBytes("xyxyz");
  expected.insert(expected.end(), 7933, 'q');
  // 258 = "qr", 259 = "rs", 260 = "sq", 261 = "qrr": the freed codes in order.
  const Bytes tail = ToBytes("rsqrrsxyqrr");
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_TRUE(run.output == expected);

  // Before the table is full only the codes below the head are examined,
  // and after the freed ones the list goes on at the old head (260).
  ShrinkWriter early;
  early.Literals("xy").Code(257).Literals("z").Clear().Literals("rst").Code(260).Code(258).Code(259);
  EXPECT_TRUE(Unshrunk(early.Finish()).output == ToBytes("xyxyzrststzrrs"));

  // A clear before any code was assigned changes nothing.
  ShrinkWriter none;
  none.Literals("a").Clear().Literals("b").Code(257);
  EXPECT_TRUE(Unshrunk(none.Finish()).output == ToBytes("abab"));
}

TEST(Unshrink, CodesSentBeforeTheyAreDefined) {
  ShrinkWriter w;
  w.Literals("a").Code(257).Code(258).Literals("b").Code(258);
  EXPECT_TRUE(Unshrunk(w.Finish()).output == ToBytes("aaaaaabaaa"));

  // The longest chain there can be: every code up to 8191, each the one
  // before and one more byte, so the last one stacks 7935 bytes.
  ShrinkWriter ladder;
  ladder.Literals("a");
  for (uint32_t code = 257; code < 8192; ++code) {
    if (code >> ladder.Size()) ladder.Grow();
    ladder.Code(code);
  }
  const InflateRun run = Unshrunk(ladder.Finish());
  EXPECT_EQ(ExtractResult::Ok, run.result);
  EXPECT_EQ(7936u * 7937 / 2, run.output.size());
  EXPECT_EQ(run.output.end(), std::find_if(run.output.begin(), run.output.end(),
                                           [](uint8_t b) { return b != 'a'; }));
}

TEST(Unshrink, OutputGoesOutInPiecesOf767Bytes) {
  // A bad control code ends the entry without a flush: what reached the
  // file by then is the full pieces.
  for (const size_t count : {767 * 2 + 5, 767}) {
    ShrinkWriter w;
    for (size_t i = 0; i < count; ++i) w.Code(i % 251);
    w.Code(256).Code(3);
    const InflateRun run = Unshrunk(w.Finish());
    EXPECT_EQ(ExtractResult::BadArchive, run.result);
    EXPECT_EQ(count / 767 * 767, run.output.size()) << count;
  }
  ShrinkWriter exact;
  Bytes data;
  for (size_t i = 0; i < 767; ++i) {
    exact.Code(i % 251);
    data.push_back(static_cast<uint8_t>(i % 251));
  }
  const InflateRun run = Unshrunk(exact.Finish());
  EXPECT_EQ(ExtractResult::Ok, run.result);
  EXPECT_TRUE(run.output == data);
  EXPECT_EQ(ReferenceCrc(data), run.crc);
}

TEST(Unshrink, CorruptChainsEndWithBadArchive) {
  // 300 is free when sent and is not the next code: it decodes as "a" + "a"
  // but stays free, and 258 = (300, 'b') names it as a prefix.
  ShrinkWriter viaFree;
  viaFree.Literals("a").Code(300).Literals("b").Code(258);
  EXPECT_EQ(ExtractResult::BadArchive, Unshrunk(viaFree.Finish()).result);

  ShrinkWriter freeOld;  // 301 before it is defined, after the free 300
  freeOld.Literals("a").Code(300).Code(301);
  EXPECT_EQ(ExtractResult::BadArchive, Unshrunk(freeOld.Finish()).result);

  // A clear must not unmark the free 300 as the prefix of 258: that would
  // take 300 off the free list as a code whose prefix lies outside the
  // table. The entry ends at the clear, before any more output.
  ShrinkWriter unlink;
  unlink.Literals("a").Code(300).Literals("b").Clear().Literals("cd");
  EXPECT_EQ(ExtractResult::BadArchive, Unshrunk(unlink.Finish()).result);

  // 258 sent while free and not next becomes the old code, so the next code
  // assigned, 258 itself, gets itself as prefix: a loop.
  ShrinkWriter loop;
  loop.Literals("a").Code(258).Literals("b").Code(258);
  EXPECT_EQ(ExtractResult::BadArchive, Unshrunk(loop.Finish()).result);
}

TEST(Unshrink, EntriesWithoutSizesOrDataOrWithTruncatedData) {
  TempDir dir;
  // Streamed: the local header gives no sizes, and the stream has no end
  // code: the central directory's sizes end it.
  ZipEntry streamed;
  streamed.data = Shrink(ToBytes("streamed data"));
  streamed.uncompressedSize = 13;
  streamed.flags = 8;
  streamed.zeroLocalSizes = true;
  streamed.crcGiven = true;
  streamed.crc = ReferenceCrc(ToBytes("streamed data"));
  EXPECT_EQ(ExtractResult::Ok, ExtractShrunk(dir, streamed));
  EXPECT_TRUE(ReadWholeFile(dir / "out") == ToBytes("streamed data"));

  // No data: nothing is read from the next entry, nothing is written, and
  // the CRC of no bytes is 0.
  EXPECT_EQ(ExtractResult::Ok, ExtractShrunk(dir, ZipEntry{}));
  EXPECT_TRUE(ReadWholeFile(dir / "out").empty());

  // A size far beyond the archive's end stops at the end of the input
  // instead of decoding stale bytes for a gigabyte.
  EXPECT_EQ(ExtractResult::ReadFailed, RunDecoder(Unshrink, 0, 0, Shrink(ToBytes("abc")), Bytes(64, 0),
                                                  1 << 30).result);
}

TEST(Unshrink, DamagedStreamsStayInsideTheWindow) {
  // Run under the sanitizers: flipped bytes, truncations and plain noise.
  const Bytes packed = Shrink(MixedBytes(60000, 3));
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    Bytes stream = packed;
    if (round % 3 == 2) {
      for (uint8_t& b : stream) b = static_cast<uint8_t>(rng());
    } else {
      for (uint32_t flips = 1 + rng() % 8; flips > 0; --flips) stream[rng() % stream.size()] ^= 1 << rng() % 8;
    }
    const int32_t size = round % 3 == 1 ? static_cast<int32_t>(rng() % stream.size()) : -1;
    const ExtractResult result = Unshrunk(stream, size).result;
    EXPECT_TRUE(result == ExtractResult::Ok || result == ExtractResult::BadArchive ||
                result == ExtractResult::ReadFailed)
        << round;
  }
}

}  // namespace
