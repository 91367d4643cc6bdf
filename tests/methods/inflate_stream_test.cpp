// Inflate on hand-made streams: block framing, match copies through the
// circular window, dynamic-header faults, invalid symbols, truncated input
// and the abort key.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "inflate_support.h"
#include "platform/posix/host_controls.h"

namespace {

Bytes Repeat(uint8_t b, size_t n) { return Bytes(n, b); }

TEST(InflateFraming, EmptyBlocksAndBlockType3) {
  InflateRun fixedEmpty = RunInflate({0x03, 0x00});
  EXPECT_EQ(ExtractResult::Ok, fixedEmpty.result);
  EXPECT_TRUE(fixedEmpty.output.empty());
  EXPECT_EQ(0u, fixedEmpty.crc);

  InflateRun storedEmpty = RunInflate({0x01, 0x00, 0x00, 0xFF, 0xFF});
  EXPECT_EQ(ExtractResult::Ok, storedEmpty.result);
  EXPECT_TRUE(storedEmpty.output.empty());

  EXPECT_EQ(ExtractResult::BadArchive, RunInflate({0x01, 0x00, 0x00, 0xFF, 0xFE}).result);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate({0x07, 0x00}).result);  // final, type 3
}

TEST(InflateFraming, StoredBlocksAfterBitsAndAcrossRefills) {
  // A fixed block leaves the stream mid-byte; the stored block starts at
  // the next byte boundary. Its 5000 bytes span three input refills.
  const Bytes payload = PatternBytes(5000, 7);
  BitWriter w;
  w.Put(0, 1);
  w.Put(1, 2);
  w.FixedSymbol('A');
  w.FixedSymbol(256);
  w.Put(1, 1);
  w.Put(0, 2);
  w.AlignToByte();
  w.Put(5000, 16);
  w.Put(~5000u & 0xFFFF, 16);
  for (uint8_t b : payload) w.PutByte(b);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  Bytes expected(payload.size() + 1, 'A');
  std::copy(payload.begin(), payload.end(), expected.begin() + 1);
  EXPECT_EQ(expected, run.output);
  EXPECT_EQ(ReferenceCrc(expected), run.crc);
}

TEST(InflateMatches, LongRunAtDistanceOneAndZerosBeforeTheFirstByte) {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  w.FixedMatch(5, 100);  // nothing written yet: reads the fresh window's zeros
  w.FixedSymbol('x');
  w.FixedMatch(258, 1);
  w.FixedSymbol(256);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  Bytes expected = Repeat(0, 5);
  Bytes xs = Repeat('x', 259);
  expected.insert(expected.end(), xs.begin(), xs.end());
  EXPECT_EQ(expected, run.output);
}

// Random literals and matches (every distance from 1 to 32768, lengths 3 to
// 258) over several windows, against a byte-by-byte model of the window:
// runs, overlapping and block copies, sources behind and ahead of the write
// position, and matches that cross the window's end.
TEST(InflateMatches, RandomMatchesAgreeWithAByteByByteModel) {
  std::mt19937 rng(99);
  Bytes expected;
  BitWriter w;
  for (int block = 0; block < 12; ++block) {
    w.Put(block == 11, 1);
    w.Put(1, 2);
    for (int item = 0; item < 3000; ++item) {
      const uint32_t kind = rng() % 8;
      if (kind < 3) {
        const uint8_t b = static_cast<uint8_t>(rng());
        w.FixedSymbol(b);
        expected.push_back(b);
        continue;
      }
      const uint32_t length = kind == 3 ? 258 : 3 + rng() % 256;
      uint32_t distance;
      switch (rng() % 5) {
        case 0: distance = 1 + rng() % 8; break;
        case 1: distance = 32768 - rng() % 64; break;
        default: distance = 1 + rng() % 32768;
      }
      w.FixedMatch(length, distance);
      for (uint32_t i = 0; i < length; ++i) {
        const size_t at = expected.size();
        expected.push_back(at >= distance ? expected[at - distance] : 0);
      }
    }
    w.FixedSymbol(256);
  }
  ASSERT_GT(expected.size(), 4 * 32768u);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  ASSERT_EQ(expected.size(), run.output.size());
  EXPECT_TRUE(expected == run.output);
  EXPECT_EQ(ReferenceCrc(expected), run.crc);
}

// Once the window has wrapped, distances 32761 to 32767 put the source 7 to
// 1 bytes ahead of the write position: each byte is read before the match
// overwrites it, as in a byte-by-byte copy.
TEST(InflateMatches, SourceJustAheadOfTheWritePosition) {
  std::mt19937 rng(7);
  Bytes expected;
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  for (int i = 0; i < 33000; ++i) {
    const uint8_t b = static_cast<uint8_t>(rng());
    w.FixedSymbol(b);
    expected.push_back(b);
  }
  for (uint32_t distance = 32761; distance <= 32767; ++distance) {
    w.FixedMatch(258, distance);
    for (int i = 0; i < 258; ++i) expected.push_back(expected[expected.size() - distance]);
  }
  w.FixedSymbol(256);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  EXPECT_TRUE(expected == run.output);
}

TEST(InflateMatches, OutputEndingOnAWindowBoundary) {
  for (size_t size : {32767u, 32768u, 32769u, 65536u}) {
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    w.FixedSymbol('q');
    size_t left = size - 1;
    while (left > 0) {
      uint32_t n = static_cast<uint32_t>(std::min<size_t>(left, 258));
      if (n < 3) {
        w.FixedSymbol('q');
        --left;
        continue;
      }
      w.FixedMatch(n, 1);
      left -= n;
    }
    w.FixedSymbol(256);
    InflateRun run = RunInflate(w.Finish());
    ASSERT_EQ(ExtractResult::Ok, run.result) << size;
    EXPECT_EQ(Repeat('q', size), run.output) << size;
  }
}

TEST(InflateSymbols, FixedCodesWithoutMeaningAreRejected) {
  for (uint32_t symbol : {286u, 287u}) {
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    w.FixedSymbol('a');
    w.FixedSymbol(symbol);
    w.FixedSymbol(256);
    InflateRun run = RunInflate(w.Finish());
    EXPECT_EQ(ExtractResult::BadArchive, run.result) << symbol;
    EXPECT_TRUE(run.output.empty());  // nothing is flushed after an error
  }
  for (uint32_t symbol : {30u, 31u}) {
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    w.FixedSymbol('a');
    w.FixedLength(3);
    w.PutCode(symbol, 5);
    w.FixedSymbol(256);
    EXPECT_EQ(ExtractResult::BadArchive, RunInflate(w.Finish()).result) << symbol;
  }
}

// A dynamic block written from explicit length lists. The code-length code
// gives 0 to 12 four bits and 13 to 18 five bits, a complete set; lengths are
// sent one symbol each unless the test gives its own code-length symbols.
struct CodeLengthItem {
  uint32_t symbol, extra;
};

class DynamicBlock {
 public:
  DynamicBlock(std::vector<uint8_t> literal, std::vector<uint8_t> distance)
      : literal_(std::move(literal)), distance_(std::move(distance)) {
    codeLengthLengths_.assign(19, 4);
    for (int s = 13; s < 19; ++s) codeLengthLengths_[s] = 5;
  }
  std::vector<uint8_t> codeLengthLengths_;
  std::vector<CodeLengthItem> items_;  // empty: one symbol per length

  void Header(BitWriter& w, bool last) const {
    static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.Put(last, 1);
    w.Put(2, 2);
    w.Put(static_cast<uint32_t>(literal_.size() - 257), 5);
    w.Put(static_cast<uint32_t>(distance_.size() - 1), 5);
    w.Put(15, 4);
    for (int i = 0; i < 19; ++i) w.Put(codeLengthLengths_[kOrder[i]], 3);
    const std::vector<uint32_t> codes = CanonicalCodes(codeLengthLengths_);
    std::vector<CodeLengthItem> items = items_;
    if (items.empty()) {
      for (uint8_t l : literal_) items.push_back({l, 0});
      for (uint8_t l : distance_) items.push_back({l, 0});
    }
    for (const CodeLengthItem& it : items) {
      w.PutCode(codes[it.symbol], codeLengthLengths_[it.symbol]);
      if (it.symbol == 16) w.Put(it.extra, 2);
      if (it.symbol == 17) w.Put(it.extra, 3);
      if (it.symbol == 18) w.Put(it.extra, 7);
    }
  }
  void Literal(BitWriter& w, uint32_t symbol) const {
    w.PutCode(CanonicalCodes(literal_)[symbol], literal_[symbol]);
  }
  void Match(BitWriter& w, uint32_t length, uint32_t distanceSymbol) const {
    const SymbolWithExtra s = LengthSymbol(length);
    Literal(w, s.symbol);
    w.Put(s.extraValue, s.extraBits);
    w.PutCode(CanonicalCodes(distance_)[distanceSymbol], distance_[distanceSymbol]);
  }

 private:
  std::vector<uint8_t> literal_, distance_;
};

// 'a', 'b', end of block and length symbol 257 (length 3), each 2 bits.
std::vector<uint8_t> SmallLiteralLengths() {
  std::vector<uint8_t> l(258, 0);
  l['a'] = l['b'] = l[256] = l[257] = 2;
  return l;
}

// Two literals and a 258-byte match right after a match that ends a little
// before the window's end, with short literal codes: a turn of the decoder's
// quick loop must leave room for all three items, or the match runs past
// the window.
TEST(InflateDynamicBlocks, LiteralsAndLongMatchNearTheWindowEnd) {
  std::vector<uint8_t> literal(286, 0);
  for (int s : {int{'a'}, int{'b'}, int{'c'}, int{'q'}, 256, 257, 284, 285}) literal[s] = 3;
  DynamicBlock d(literal, {1, 1});  // distances 1 and 2
  for (uint32_t end = 32500; end < 32516; ++end) {
    BitWriter w;
    d.Header(w, true);
    const uint32_t left = end - 1, runs = left % 258;
    for (uint32_t i = 0; i < 1 + runs % 3; ++i) d.Literal(w, 'q');
    for (uint32_t i = 0; i < runs / 3; ++i) d.Match(w, 3, 0);
    for (uint32_t i = 0; i < left / 258; ++i) d.Match(w, 258, 0);
    d.Literal(w, 'a');
    d.Literal(w, 'b');
    d.Match(w, 258, 1);
    d.Literal(w, 256);
    Bytes expected = Repeat('q', end);
    for (int i = 0; i < 130; ++i) expected.insert(expected.end(), {'a', 'b'});
    InflateRun run = RunInflate(w.Finish());
    ASSERT_EQ(ExtractResult::Ok, run.result) << end;
    EXPECT_TRUE(expected == run.output) << end;
  }
}

TEST(InflateDynamicBlocks, LoneDistanceCodeOfLengthOne) {
  DynamicBlock d(SmallLiteralLengths(), {1});
  BitWriter w;
  d.Header(w, true);
  d.Literal(w, 'a');
  d.Match(w, 3, 0);  // distance code 0: distance 1
  d.Literal(w, 'b');
  d.Literal(w, 256);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  EXPECT_EQ(ToBytes("aaaab"), run.output);

  // The one code left unassigned (bit 1) is invalid.
  BitWriter bad;
  d.Header(bad, true);
  d.Literal(bad, 'a');
  d.Literal(bad, 257);
  bad.Put(1, 1);
  d.Literal(bad, 256);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(bad.Finish()).result);
}

TEST(InflateDynamicBlocks, NoDistanceCodeDecodesLiteralsButNoMatch) {
  DynamicBlock d(SmallLiteralLengths(), {0});
  BitWriter w;
  d.Header(w, true);
  d.Literal(w, 'b');
  d.Literal(w, 'a');
  d.Literal(w, 256);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  EXPECT_EQ(ToBytes("ba"), run.output);

  BitWriter bad;
  d.Header(bad, true);
  d.Literal(bad, 'b');
  d.Literal(bad, 257);
  bad.Put(0, 8);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(bad.Finish()).result);
}

TEST(InflateDynamicBlocks, IncompleteOrOversubscribedCodesAreRefused) {
  std::vector<uint8_t> lengths = SmallLiteralLengths();
  lengths['b'] = 0;  // three 2-bit codes: one left unassigned
  DynamicBlock d(lengths, {1});
  BitWriter w;
  w.Put(0, 1);  // a first block that writes something
  w.Put(1, 2);
  w.FixedSymbol('z');
  w.FixedSymbol(256);
  d.Header(w, true);
  d.Literal(w, 'a');
  d.Literal(w, 256);
  InflateRun run = RunInflate(w.Finish());
  EXPECT_EQ(ExtractResult::BadArchive, run.result);
  EXPECT_TRUE(run.output.empty());

  // An over-subscribed distance code fails after the literal/length table
  // was built (the sanitizer build sees that it is released).
  DynamicBlock over(SmallLiteralLengths(), {1, 1, 1});
  BitWriter w2;
  over.Header(w2, true);
  w2.Put(0, 16);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(w2.Finish()).result);
}

TEST(InflateDynamicBlocks, RepeatCodes) {
  // Lengths sent with repeats: 16 first repeats the initial 0 (3 zeros),
  // 17 and 18 run zeros up to 'a'; 16 repeats 'a''s length for 'b' to 'd'.
  std::vector<uint8_t> literal(258, 0);
  for (int s = 'a'; s <= 'd'; ++s) literal[s] = 3;
  literal[256] = 2;
  literal[257] = 2;
  DynamicBlock d(literal, {1});
  d.items_ = {{16, 0}, {17, 7}, {18, 'a' - 13 - 11}, {3, 0}, {16, 0},
              {18, 127}, {18, 6}, {2, 0}, {2, 0}, {1, 0}};
  BitWriter w;
  d.Header(w, true);
  for (char c : std::string("dcba")) d.Literal(w, static_cast<uint32_t>(c));
  d.Match(w, 3, 0);
  d.Literal(w, 256);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  EXPECT_EQ(ToBytes("dcbaaaa"), run.output);
}

TEST(InflateDynamicBlocks, RepeatPastTheAnnouncedLengthsIsRejected) {
  DynamicBlock d(SmallLiteralLengths(), {1});
  d.items_.clear();
  for (int i = 0; i < 257; ++i) d.items_.push_back({0, 0});
  d.items_.push_back({17, 0});  // three zeros where two lengths remain
  BitWriter w;
  d.Header(w, true);
  w.Put(0, 32);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(w.Finish()).result);
}

// 258 literal/length lengths, zero but for the given symbols.
std::vector<uint8_t> LiteralLengths(std::initializer_list<std::pair<int, uint8_t>> given) {
  std::vector<uint8_t> l(258, 0);
  for (const auto& g : given) l[g.first] = g.second;
  return l;
}

// Header edges, each in a block that is valid but for the point it makes:
// the literals, then a match of length 3 when matchSymbol >= 0; output null
// means the block must be refused.
TEST(InflateDynamicBlocks, HeaderEdges) {
  struct Case {
    const char* what;
    std::vector<uint8_t> literal, distance;
    std::vector<uint8_t> codeLengthLengths;  // empty: DynamicBlock's
    std::vector<CodeLengthItem> items;       // empty: one symbol per length
    std::string literals;
    int matchSymbol;
    const char* output;
  };
  const std::vector<uint8_t> ab = SmallLiteralLengths();
  std::vector<uint8_t> threeCodes(19, 0);  // 0, 1 and 2 get 2 bits; 11 is unassigned
  threeCodes[0] = threeCodes[1] = threeCodes[2] = 2;
  // 'a' and 'b' between zeros, then 256 and 257; the four distance lengths
  // end in a 16 whose repeat count comes last.
  auto repeatAtEnd = [](uint32_t extra) {
    return std::vector<CodeLengthItem>{{18, 86}, {2, 0},  {2, 0}, {18, 127}, {18, 8},
                                       {2, 0},   {2, 0},  {2, 0}, {16, extra}};
  };
  const Case cases[] = {
      {"incomplete distance code of three codes", ab, {2, 2, 2}, {}, {}, "ab", 1, "ababa"},
      {"incomplete code-length code", LiteralLengths({{'a', 1}, {256, 2}, {257, 2}}), {1},
       threeCodes, {}, "a", -1, nullptr},
      {"repeat ending at the announced count", ab, {2, 2, 2, 2}, {}, repeatAtEnd(0), "ab", 1,
       "ababa"},
      {"repeat running one past it", ab, {2, 2, 2, 2}, {}, repeatAtEnd(1), "ab", 1, nullptr},
      // Both 16s repeat 0: after a 17 following 'a', and after an 18
      // following 'h'; repeating 2 would over-subscribe the code.
      {"16 after 17 and 18 repeats zero",
       LiteralLengths({{'a', 2}, {'h', 2}, {256, 2}, {257, 2}}), {1}, {},
       {{18, 86}, {2, 0}, {17, 0}, {16, 0}, {2, 0}, {18, 127}, {16, 0}, {17, 7}, {2, 0}, {2, 0},
        {1, 0}},
       "ah", 0, "ahhhh"},
  };
  for (const Case& c : cases) {
    DynamicBlock d(c.literal, c.distance);
    if (!c.codeLengthLengths.empty()) d.codeLengthLengths_ = c.codeLengthLengths;
    d.items_ = c.items;
    BitWriter w;
    d.Header(w, true);
    for (char ch : c.literals) d.Literal(w, static_cast<uint8_t>(ch));
    if (c.matchSymbol >= 0) d.Match(w, 3, static_cast<uint32_t>(c.matchSymbol));
    d.Literal(w, 256);
    const InflateRun run = RunInflate(w.Finish());
    if (c.output) {
      EXPECT_EQ(ExtractResult::Ok, run.result) << c.what;
      EXPECT_EQ(ToBytes(c.output), run.output) << c.what;
    } else {
      EXPECT_EQ(ExtractResult::BadArchive, run.result) << c.what;
    }
  }
}

TEST(InflateDynamicBlocks, SymbolsBeyondTheAlphabetMayHaveLengthsButNotOccur) {
  std::vector<uint8_t> literal(288, 0);
  literal['a'] = literal[256] = 2;
  literal[286] = literal[287] = 2;
  DynamicBlock d(literal, std::vector<uint8_t>(32, 5));  // distances 30 and 31 too
  BitWriter w;
  d.Header(w, true);
  d.Literal(w, 'a');
  d.Literal(w, 256);
  InflateRun run = RunInflate(w.Finish());
  ASSERT_EQ(ExtractResult::Ok, run.result);
  EXPECT_EQ(ToBytes("a"), run.output);

  BitWriter bad;
  d.Header(bad, true);
  d.Literal(bad, 'a');
  d.Literal(bad, 287);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(bad.Finish()).result);
}

TEST(InflateDynamicBlocks, BrokenCodeLengthCodes) {
  // All code-length lengths 0: nothing can be decoded.
  DynamicBlock none(SmallLiteralLengths(), {1});
  none.codeLengthLengths_.assign(19, 0);
  none.items_ = {{0, 0}};
  BitWriter w1;
  none.Header(w1, true);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(w1.Finish()).result);

  // Incomplete: two codes of length 2.
  DynamicBlock incomplete(SmallLiteralLengths(), {1});
  incomplete.codeLengthLengths_.assign(19, 0);
  incomplete.codeLengthLengths_[0] = incomplete.codeLengthLengths_[2] = 2;
  incomplete.items_ = {{0, 0}};
  BitWriter w2;
  incomplete.Header(w2, true);
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(w2.Finish()).result);

  // One code of length 1 (for length 1) counts as complete, but the other
  // 1-bit code is unassigned and must not decode as a length. Read as 0, it
  // would make this a valid block giving "a".
  BitWriter w3;
  w3.Put(1, 1);
  w3.Put(2, 2);
  w3.Put(1, 5);   // 258 literal/length codes
  w3.Put(0, 5);   // 1 distance code
  w3.Put(15, 4);  // 19 code-length codes
  static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (int k : kOrder) w3.Put(k == 1 ? 1 : 0, 3);
  for (int i = 0; i < 259; ++i) w3.Put(i == 'a' || i == 256 ? 0 : 1, 1);
  w3.Put(0, 1);  // 'a'
  w3.Put(1, 1);  // end of block
  EXPECT_EQ(ExtractResult::BadArchive, RunInflate(w3.Finish()).result);
}

TEST(InflateInput, TruncatedDataEndsInReadFailed) {
  const Bytes data = MixedBytes(200000, 3);
  const Bytes full = ZlibDeflate(data, 6);
  for (size_t cut : {full.size() / 2, full.size() - 100, size_t{3000}}) {
    const Bytes part(full.begin(), full.begin() + static_cast<long>(cut));
    InflateRun run = RunInflate(part, {});
    EXPECT_EQ(ExtractResult::ReadFailed, run.result) << cut;
  }
  // A stored block cut short.
  BitWriter w;
  w.Put(1, 1);
  w.Put(0, 2);
  w.AlignToByte();
  w.Put(1000, 16);
  w.Put(~1000u & 0xFFFF, 16);
  for (int i = 0; i < 10; ++i) w.PutByte('s');
  EXPECT_EQ(ExtractResult::ReadFailed, RunInflate(w.Finish(), {}).result);
}

// Data cut in the middle of a ZIP archive: reading goes on into the bytes
// that follow, and stops for good after the compressed size plus two.
TEST(InflateInput, ShortCompressedSizeStopsReadingPastIt) {
  const Bytes data = MixedBytes(100000, 4);
  const Bytes full = ZlibDeflate(data, 9);
  InflateRun run = RunInflate(full, Bytes(70000, 0), 4096);
  EXPECT_NE(ExtractResult::Ok, run.result);
  EXPECT_LE(run.bytesRead, 4096 + 2048);
}

// Damaged streams end in some result, never outside a buffer (the
// sanitizer build checks that) and never with a table left unreleased.
TEST(InflateInput, DamagedStreamsEndCleanly) {
  const Bytes data = MixedBytes(60000, 9);
  const Bytes streams[] = {ZlibDeflate(data, 9), ZlibDeflate(data, 6, "Z_FIXED")};
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; ++round) {
    Bytes s = streams[round % 2];
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) s[rng() % std::min<size_t>(s.size(), 400)] ^= 1u << (rng() % 8);
    const ExtractResult r = RunInflate(s, Bytes(100, static_cast<uint8_t>(rng()))).result;
    EXPECT_TRUE(r == ExtractResult::Ok || r == ExtractResult::BadArchive ||
                r == ExtractResult::ReadFailed)
        << static_cast<int>(r);
  }
}

TEST(InflateInput, HeldAbortKeyStopsALargeEntry) {
  // Compressed blocks, and stored blocks (incompressible data at level 1).
  for (const Bytes& stream : {ZlibDeflate(MixedBytes(600000, 5), 6), ZlibDeflate(PatternBytes(300000, 5), 1)}) {
    HoldKeyDown(27);
    InflateRun held = RunInflate(stream, Bytes(64, 0), -1, 27);
    HoldKeyDown(0);
    EXPECT_EQ(ExtractResult::UserAborted, held.result);
    EXPECT_LT(held.bytesRead, static_cast<int32_t>(stream.size()) / 20);
    EXPECT_TRUE(held.output.empty());
  }

  // An entry decoded from its first read is never polled.
  const Bytes small = ZlibDeflate(ToBytes("a small entry"), 6);
  HoldKeyDown(27);
  InflateRun quick = RunInflate(small, Bytes(64, 0), -1, 27);
  HoldKeyDown(0);
  EXPECT_EQ(ExtractResult::Ok, quick.result);
}

}  // namespace
