// Explode on streams from the test encoder: the four variants, the distance
// lookup width, broken length lists and codes, matches before the start,
// across the window's end and at the longest length and distance, input cut
// short, damaged streams, and entries with a data descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "implode_encoder.h"
#include "unzip/extract_entry.h"
#include "unzip/methods/explode.h"

namespace {

const uint16_t kVariants[] = {0, kImplodeBigDictionary, kImplodeLiteralTree,
                              kImplodeBigDictionary | kImplodeLiteralTree};

InflateRun RunExplode(const Bytes& stream, size_t size, uint16_t flags, int32_t compressedSize = -1) {
  return RunDecoder(Explode, static_cast<int32_t>(size), flags, stream, Bytes(64, 0xA5), compressedSize);
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ExplodeVariants, EncodedDataComesBackAndCutDataFails) {
  for (uint16_t flags : kVariants) {
    SCOPED_TRACE(flags);
    const Bytes data = MixedBytes(150000, flags + 1u);
    const std::vector<ImplodeItem> items = ImplodeItems(data, flags);
    ASSERT_EQ(data, ApplyItems(items));
    const Bytes stream = Implode(items, flags);
    const InflateRun run = RunExplode(stream, data.size(), flags);
    EXPECT_EQ(ExtractResult::Ok, run.result);
    EXPECT_TRUE(data == run.output);
    EXPECT_EQ(ReferenceCrc(data), run.crc);

    const Bytes cut(stream.begin(), stream.begin() + static_cast<long>(stream.size() / 2));
    EXPECT_EQ(ExtractResult::ReadFailed, RunDecoder(Explode, static_cast<int32_t>(data.size()), flags, cut, {}).result);
  }
}

// More than 200000 compressed bytes ask for an 8-bit distance lookup; the
// builder narrows it to the longest code, here 6 bits for a flat code, while
// a skewed code has codes on both sides of 7 and 8 bits.
TEST(ExplodeVariants, DistanceLookupWidthFollowsCompressedSize) {
  const uint16_t flags = kImplodeBigDictionary;
  const Bytes data = TextBytes(60000, 5);
  const std::vector<ImplodeItem> items = ImplodeItems(data, flags);
  ImplodeCodes skewed = ShannonFanoCodes(items, flags);
  ASSERT_GT(*std::max_element(skewed.distances.begin(), skewed.distances.end()), 8);
  ASSERT_LT(*std::min_element(skewed.distances.begin(), skewed.distances.end()), 7);
  ImplodeCodes flat = skewed;
  flat.distances.assign(64, 6);
  for (const ImplodeCodes& codes : {skewed, flat}) {
    const Bytes stream = ImplodeStream(items, flags, codes);
    for (int32_t compressedSize : {200000, 200001}) {
      const InflateRun run = RunExplode(stream, data.size(), flags, compressedSize);
      EXPECT_EQ(ExtractResult::Ok, run.result) << compressedSize;
      EXPECT_TRUE(data == run.output) << compressedSize;
    }
  }
}

// A list must give exactly its 64 or 256 lengths, and every code must be
// complete. The items that follow would decode to "abc"; nothing may be
// written when a list or a code is refused.
TEST(ExplodeCodes, BadListsAndIncompleteCodesAreRefusedBeforeAnyOutput) {
  const std::vector<ImplodeItem> items = {{0, 0, 'a'}, {0, 0, 'b'}, {0, 0, 'c'}};
  const std::vector<uint8_t> six(64, 6);
  const Bytes lengthList = LengthList(six);
  const Bytes stream = ImplodeStream(items, 0, {{}, six, six});
  const Bytes itemBits(stream.begin() + 10, stream.end());  // after the two lists
  ASSERT_EQ(Bytes({4 - 1, 0xF5, 0xF5, 0xF5, 0xF5}), lengthList);
  const InflateRun good = RunExplode(Cat(Cat(lengthList, lengthList), itemBits), 3, 0);
  ASSERT_EQ(ExtractResult::Ok, good.result);
  ASSERT_EQ(ToBytes("abc"), good.output);

  const Bytes badDistanceLists[] = {
      {3, 0xF5, 0xF5, 0xF5, 0xE5},        // 63 lengths: one short
      {4, 0xF5, 0xF5, 0xF5, 0xF5, 0x05},  // a 65th length
      LengthList(std::vector<uint8_t>(64, 7)),  // incomplete: half the codes unused
      LengthList(std::vector<uint8_t>(64, 5)),  // over-subscribed
  };
  for (const Bytes& distances : badDistanceLists) {
    const InflateRun run = RunExplode(Cat(Cat(lengthList, distances), itemBits), 3, 0);
    EXPECT_EQ(ExtractResult::BadArchive, run.result);
    EXPECT_TRUE(run.output.empty());
    EXPECT_EQ(0u, run.crc);  // nothing went through the flush
  }

  // The literal list: 255 of its 256 lengths.
  Bytes literals = {15};
  for (int i = 0; i < 15; ++i) literals.push_back(0xF7);
  literals.push_back(0xE7);
  const InflateRun shortLiterals =
      RunExplode(Cat(Cat(Cat(literals, lengthList), lengthList), itemBits), 3, kImplodeLiteralTree);
  EXPECT_EQ(ExtractResult::BadArchive, shortLiterals.result);
}

// Random literals and matches over more than two windows against a
// byte-by-byte model, after fixed openers: a match wholly before the
// entry's start, one straddling it, the longest length (symbol 63 with 8
// extra bits at 255) as a run, symbol 63 with 0 extra bits, the longest
// distance (symbol 63 and all low bits set) and matches across each
// 32768-byte boundary of the window.
TEST(ExplodeMatches, RandomMatchesAgreeWithAByteByByteModel) {
  for (uint16_t flags : kVariants) {
    SCOPED_TRACE(flags);
    const uint32_t minLength = flags & kImplodeLiteralTree ? 3 : 2;
    const uint32_t maxLength = minLength + 63 + 255;
    const uint32_t dictionary = flags & kImplodeBigDictionary ? 8192 : 4096;
    std::vector<ImplodeItem> items = {{5, 100, 0},  {0, 0, 'a'},       {0, 0, 'b'},
                                      {0, 0, 'c'},  {4, 5, 0},         {0, 0, 'x'},
                                      {maxLength, 1, 0}, {minLength + 63, 2, 0}};
    std::mt19937 rng(flags + 7u);
    size_t size = ApplyItems(items).size();
    while (size < 80000) {
      const uint32_t kind = rng() % 5;
      ImplodeItem item{minLength + static_cast<uint32_t>(rng() % (maxLength - minLength + 1)),
                       1 + static_cast<uint32_t>(rng() % dictionary), 0};
      if (size / 32768 != (size + maxLength) / 32768) item.distance = dictionary;  // crosses the end
      else if (kind == 0) item = {0, 0, static_cast<uint8_t>(rng())};
      else if (kind == 1) item.distance = 1 + rng() % 8;
      else if (kind == 2) item.distance = dictionary;
      items.push_back(item);
      size += item.length ? item.length : 1;
    }
    const Bytes expected = ApplyItems(items);
    const InflateRun run = RunExplode(Implode(items, flags), expected.size(), flags);
    ASSERT_EQ(ExtractResult::Ok, run.result);
    ASSERT_EQ(expected.size(), run.output.size());
    EXPECT_TRUE(expected == run.output);
    const Bytes opening = {0, 0, 0, 0, 0, 'a', 'b', 'c', 0, 0, 'a', 'b', 'x', 'x'};
    EXPECT_TRUE(std::equal(opening.begin(), opening.end(), run.output.begin()));
  }
}

// Damaged streams end in some result, never outside a buffer (the sanitizer
// build checks that) and never with a table left unreleased.
TEST(ExplodeInput, DamagedStreamsEndCleanly) {
  std::mt19937 rng(2026);
  for (int round = 0; round < 400; ++round) {
    const uint16_t flags = kVariants[round % 4];
    const Bytes data = MixedBytes(20000, static_cast<uint32_t>(round % 8));
    Bytes s = Implode(ImplodeItems(data, flags), flags);
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) s[rng() % std::min<size_t>(s.size(), 400)] ^= 1u << (rng() % 8);
    const ExtractResult r = RunExplode(s, data.size(), flags).result;
    EXPECT_TRUE(r == ExtractResult::Ok || r == ExtractResult::BadArchive || r == ExtractResult::ReadFailed)
        << static_cast<int>(r);
  }
}

// With flag bit 3 the data descriptor is read from the byte after the last
// item's bits, so the decoder must not have taken input beyond them; its CRC
// is the one that counts (the local header's is wrong here). Without sizes
// in the local header the central directory's sizes end the entry.
TEST(ExplodeEntries, DataDescriptorAfterTheItemsAndStreamedEntryWithoutSizes) {
  const uint16_t flags = kImplodeLiteralTree | kImplodeBigDictionary;
  const Bytes data = TextBytes(50000, 8);
  ZipEntry e;
  e.name = "a.txt";
  e.data = Implode(ImplodeItems(data, flags), flags);
  e.method = 6;
  e.flags = flags | 8;
  e.crcGiven = true;
  e.crc = ReferenceCrc(data);
  for (bool zeroLocalSizes : {false, true}) {
    e.zeroLocalSizes = zeroLocalSizes;
    Bytes zip = BuildZip({e}).bytes;
    for (int i = 0; i < 4; ++i) {
      zip[14 + i] = 0xEE;
      if (!zeroLocalSizes) zip[22 + i] = static_cast<uint8_t>(data.size() >> (8 * i));
    }
    TempDir dir;
    WriteWholeFile(dir / "a.zip", zip);
    const ExtractResult r =
        ExtractEntry((dir / "a.zip").c_str(), (dir / "a.txt").c_str(), 0x20, kAbortKeyEscape, 0,
                     {static_cast<uint32_t>(e.data.size()), static_cast<uint32_t>(data.size())});
    EXPECT_EQ(ExtractResult::Ok, r) << zeroLocalSizes;
    EXPECT_TRUE(data == ReadWholeFile(dir / "a.txt"));
  }
}

}  // namespace
