// Unreduce through entry extraction: encoder-built streams of all four
// factors, hand-made inner streams for the format's corners (escapes, length
// extension, distance bits, history before the entry and across the 16384-
// byte span, short follower indexes, empty sets), the abort key, and damaged
// streams. The PKZIP corpus runs in the corpus test.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/posix/host_controls.h"
#include "reduce_encoder.h"
#include "unzip/extract_entry.h"

namespace {

struct Extracted {
  ExtractResult result;
  Bytes output;  // empty when extraction left no file
};

// Extracts stream as a reduced entry of the given factor whose header gives
// the size and CRC of expected.
Extracted Extract(const Bytes& stream, uint32_t factor, const Bytes& expected,
                  uint16_t abortKey = 0) {
  TempDir dir;
  ZipEntry entry;
  entry.name = "e";
  entry.data = stream;
  entry.method = static_cast<uint16_t>(factor + 1);
  entry.crcGiven = true;
  entry.crc = ReferenceCrc(expected);
  Bytes zip = BuildZip({entry}).bytes;
  for (int i = 0; i < 4; ++i) zip[22 + i] = static_cast<uint8_t>(expected.size() >> (8 * i));
  WriteWholeFile(dir / "a.zip", zip);
  const fs::path out = dir / "out";
  Extracted x{ExtractEntry((dir / "a.zip").c_str(), out.c_str(), 0x20, abortKey, 0, {}), {}};
  if (fs::exists(out)) x.output = ReadWholeFile(out);
  return x;
}

void ExpectExtracts(const Bytes& stream, uint32_t factor, const Bytes& expected) {
  const Extracted x = Extract(stream, factor, expected);
  EXPECT_EQ(ExtractResult::Ok, x.result);
  EXPECT_TRUE(x.output == expected) << "got " << x.output.size() << " bytes";
}

// Appends a match as the inner stream codes it.
void PutMatch(Bytes& inner, uint32_t factor, uint32_t length, uint32_t distance) {
  const uint32_t mask = 0xFFu >> factor, code = length - 3;
  inner.push_back(144);
  inner.push_back(static_cast<uint8_t>((distance - 1) >> 8 << (8 - factor) | std::min(code, mask)));
  if (code >= mask) inner.push_back(static_cast<uint8_t>(code - mask));
  inner.push_back(static_cast<uint8_t>(distance - 1));
}

// What a match appends to the output, one byte at a time.
void CopyBack(Bytes& out, uint32_t length, uint32_t distance) {
  while (length-- > 0) out.push_back(out[out.size() - distance]);
}

// Bytes without 144, which are literals of the inner stream as they are.
Bytes Plain(size_t count) {
  Bytes b = PatternBytes(count, 7);
  for (uint8_t& c : b) c = c == 144 ? 145 : c;
  return b;
}

TEST(Unreduce, EncodedStreamsOfEveryFactorAndSetSize) {
  Bytes data = TextBytes(30000, 3);
  const Bytes mixed = MixedBytes(30000, 4);
  data.insert(data.end(), mixed.begin(), mixed.end());
  for (uint32_t factor = 1; factor <= 4; ++factor) {
    for (uint32_t maxSize : {0u, 2u, 5u, 63u}) {
      SCOPED_TRACE("factor " + std::to_string(factor) + ", sets up to " + std::to_string(maxSize));
      const Bytes stream = Reduce(data, factor, maxSize);
      EXPECT_LT(stream.size(), data.size() * 3 / 4);
      ExpectExtracts(stream, factor, data);
    }
  }
}

TEST(Unreduce, EscapedMarkerIsOneByteAndLeavesContextZero) {
  // After 144, 0 the next byte is coded by the set of 0 (x, 144, y), not by
  // that of 144 (only 0).
  const Bytes inner = {'x', 144, 0, 144, 0, 'y', 144, 0};
  ExpectExtracts(PackInner(inner, 63), 4, {'x', 144, 144, 'y', 144});
}

TEST(Unreduce, LengthExtensionOnlyWhenTheLowBitsAreAllOnes) {
  for (uint32_t factor : {1u, 4u}) {
    SCOPED_TRACE(factor);
    const uint32_t mask = 0xFFu >> factor;
    Bytes inner = {'a', 'b', 'c'}, expected = inner;
    PutMatch(inner, factor, mask + 3 + 10, 3);  // V = mask, extra byte 10
    CopyBack(expected, mask + 3 + 10, 3);
    PutMatch(inner, factor, mask + 2, 2);  // V = mask - 1: the distance comes next
    CopyBack(expected, mask + 2, 2);
    ExpectExtracts(PackInner(inner, 0), factor, expected);
  }
}

TEST(Unreduce, DistanceTakesTheFactorsHighBitsOfV) {
  // Factor 1 has one distance bit in V (reach 512), factor 4 four (reach 4096).
  for (auto [factor, distance] : {std::pair{1u, 300u}, {1u, 512u}, {4u, 1000u}, {4u, 4096u}}) {
    SCOPED_TRACE(distance);
    Bytes expected = Plain(5000), inner = expected;
    PutMatch(inner, factor, 4, distance);
    CopyBack(expected, 4, distance);
    ExpectExtracts(PackInner(inner, 0), factor, expected);
  }
}

TEST(Unreduce, HistoryBeforeTheEntryIsZerosAndAcrossTheSpanIsKept) {
  // Reaching 3 bytes back from the second byte: two zeros, then the run
  // repeats itself.
  Bytes inner = {'a'};
  PutMatch(inner, 4, 5, 3);
  ExpectExtracts(PackInner(inner, 0), 4, {'a', 0, 0, 'a', 0, 0});

  // A match that crosses the end of the 16384-byte span, then one that
  // reaches back across it into bytes already flushed (not zeros) and runs
  // on into the bytes it writes itself.
  Bytes expected = Plain(16380);
  inner = expected;
  PutMatch(inner, 4, 10, 5);
  CopyBack(expected, 10, 5);
  PutMatch(inner, 4, 200, 100);
  CopyBack(expected, 200, 100);
  ExpectExtracts(PackInner(inner, 63), 4, expected);
}

TEST(Unreduce, ShortSetIndexesPastTheSizeGiveZeroAndEmptySetsReadPlainBytes) {
  std::vector<Bytes> sets(256);
  sets[0] = {11, 22, 33, 44, 55};  // 3-bit indexes
  BitWriter out;
  PutFollowerSets(out, sets);
  out.Put(0, 1), out.Put(4, 3);  // 55; its set is empty,
  out.PutByte(0);                // so a plain byte without a flag follows
  for (uint32_t index : {5u, 6u, 7u, 0u}) out.Put(0, 1), out.Put(index, 3);
  ExpectExtracts(out.Finish(), 1, {55, 0, 0, 0, 0, 11});
}

// The decoder looks at the abort flag before every item, as the others do:
// a key held during a large entry stops it at the first poll.
TEST(Unreduce, HeldAbortKeyStopsTheEntry) {
  const Bytes data = PatternBytes(20000, 5), stream = Reduce(data, 2, 0);
  ASSERT_GT(stream.size(), 20000u);  // polled at the second refill
  HoldKeyDown(kAbortKeyEscape);
  const Extracted x = Extract(stream, 2, data, kAbortKeyEscape);
  HoldKeyDown(0);
  EXPECT_EQ(ExtractResult::UserAborted, x.result);
  EXPECT_TRUE(x.output.empty());
}

// No stream is refused: damage shows only in the CRC, never outside a buffer.
TEST(Unreduce, DamagedStreamsEndInTheCrcCheck) {
  std::mt19937 rng(9);
  const Bytes data = TextBytes(40000, 6);
  std::vector<Bytes> streams;
  for (uint32_t factor = 1; factor <= 4; ++factor) {
    for (uint32_t maxSize : {3u, 63u}) streams.push_back(Reduce(data, factor, maxSize));
  }
  for (uint32_t round = 0; round < 40; ++round) {
    const uint32_t factor = 1 + round % 8 / 2;
    Bytes stream = streams[round % 8];
    for (int k = 0; k < 8; ++k) stream[rng() % stream.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    if (round % 5 == 0) stream.resize(rng() % stream.size());
    const ExtractResult result = Extract(stream, factor, data).result;
    EXPECT_TRUE(result == ExtractResult::CrcMismatch || result == ExtractResult::Ok) << round;
  }
}

}  // namespace
