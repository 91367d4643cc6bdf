// Tests of the code-table builder: statuses, the root width, canonical code
// assignment through every table level, and the sub-table width rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "inflate_support.h"
#include "unzip/methods/huffman.h"

namespace {

struct Tables {
  HuffEntry* Root = nullptr;
  uint32_t Bits = 0;
  HuffStatus Status = kHuffComplete;
  ~Tables() { FreeHuffmanTable(Root); }
};

void Build(Tables& t, const std::vector<uint8_t>& lengths, uint32_t s, uint32_t bits,
           const uint16_t* bases = nullptr, const uint8_t* extras = nullptr) {
  t.Bits = bits;
  t.Status = BuildHuffmanTable(lengths.data(), static_cast<uint32_t>(lengths.size()), s, bases,
                               extras, &t.Root, &t.Bits);
}

// Decodes one code from bits given first-bit-in-bit-0, as the decoders do.
struct Decoded {
  const HuffEntry* Slot;
  uint32_t Consumed;
};

Decoded Decode(const Tables& t, uint32_t bits) {
  const HuffEntry* e = t.Root + (bits & ((1u << t.Bits) - 1));
  uint32_t consumed = 0;
  while (e->Operation > kOpLiteral && e->Operation != kOpInvalid) {
    consumed += e->Bits;
    bits >>= e->Bits;
    const uint32_t width = e->Operation - kOpLinkBase;
    e = e->Link + (bits & ((1u << width) - 1));
  }
  return {e, consumed + e->Bits};
}

uint32_t Reverse(uint32_t code, uint32_t length) {
  uint32_t r = 0;
  for (uint32_t i = 0; i < length; ++i) r = (r << 1) | ((code >> i) & 1);
  return r;
}

// Chain walk: the widths of every table reached through links, root first.
void CollectWidths(const HuffEntry* table, uint32_t bits, std::vector<uint32_t>* widths) {
  widths->push_back(bits);
  for (uint32_t i = 0; i < (1u << bits); ++i) {
    const HuffEntry& e = table[i];
    if (e.Operation > kOpLiteral && e.Operation != kOpInvalid)
      CollectWidths(e.Link, e.Operation - kOpLinkBase, widths);
  }
}

TEST(HuffmanStatus, EmptyOversubscribedTooLongAndMissingLists) {
  Tables empty;
  Build(empty, std::vector<uint8_t>(19, 0), 19, 7);
  EXPECT_EQ(kHuffComplete, empty.Status);
  EXPECT_EQ(nullptr, empty.Root);
  EXPECT_EQ(0u, empty.Bits);

  Tables over;
  Build(over, {1, 1, 1}, 3, 7);
  EXPECT_EQ(kHuffBadLengths, over.Status);
  EXPECT_EQ(nullptr, over.Root);

  Tables overLong;  // the over-subscription shows only at the longest length
  Build(overLong, {1, 2, 3, 3, 3}, 5, 7);
  EXPECT_EQ(kHuffBadLengths, overLong.Status);

  Tables tooLong;
  Build(tooLong, {1, 17, 1}, 3, 7);
  EXPECT_EQ(kHuffBadLengths, tooLong.Status);
  EXPECT_EQ(nullptr, tooLong.Root);
  EXPECT_EQ(0u, tooLong.Bits);

  Tables noLists;  // symbol 2 is not simple and there are no lists for it
  Build(noLists, {1, 2, 2}, 2, 7);
  EXPECT_EQ(kHuffBadLengths, noLists.Status);
  EXPECT_EQ(nullptr, noLists.Root);
}

TEST(HuffmanStatus, IncompleteSetsKeepTablesAndMarkUnassignedCodes) {
  Tables t;
  Build(t, {1, 0, 2}, 3, 7);  // codes 0 and 10; 11 is unassigned
  EXPECT_EQ(kHuffIncomplete, t.Status);
  ASSERT_NE(nullptr, t.Root);
  EXPECT_EQ(2u, t.Bits);
  EXPECT_EQ(0u, Decode(t, 0b0).Slot->Value);
  EXPECT_EQ(2u, Decode(t, 0b01).Slot->Value);  // code 10, first bit in bit 0
  const Decoded bad = Decode(t, 0b11);
  EXPECT_EQ(kOpInvalid, bad.Slot->Operation);
  EXPECT_EQ(2u, bad.Consumed);

  Tables lone;  // a lone code of length 1 counts as complete; bit 1 is invalid
  Build(lone, {0, 0, 1, 0}, 4, 6);
  EXPECT_EQ(kHuffComplete, lone.Status);
  ASSERT_EQ(1u, lone.Bits);
  EXPECT_EQ(2u, lone.Root[0].Value);
  EXPECT_EQ(kOpInvalid, lone.Root[1].Operation);
}

TEST(HuffmanTables, RandomSetsDecodeEveryCodeThroughAllLevels) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; ++round) {
    const uint32_t n = 2 + rng() % 300;
    const uint32_t maxLen = 1 + rng() % 16;
    std::vector<uint8_t> lengths(n, 0);
    // Hand out code space: budget in units of 2^-maxLen.
    uint64_t budget = uint64_t{1} << maxLen;
    const bool wantComplete = round % 2 == 0;
    for (uint32_t v = 0; v < n && budget > 0; ++v) {
      if (rng() % 4 == 0) continue;
      uint32_t len = 1 + rng() % maxLen;
      while ((uint64_t{1} << (maxLen - len)) > budget) ++len;
      lengths[v] = static_cast<uint8_t>(len);
      budget -= uint64_t{1} << (maxLen - len);
    }
    if (wantComplete) {
      // Fill the rest of the space with codes on unused symbols, if any.
      for (uint32_t v = 0; v < n && budget > 0; ++v) {
        if (lengths[v]) continue;
        uint32_t len = 1;
        while ((uint64_t{1} << (maxLen - len)) > budget) ++len;
        lengths[v] = static_cast<uint8_t>(len);
        budget -= uint64_t{1} << (maxLen - len);
      }
    }
    std::vector<uint16_t> bases(n);
    std::vector<uint8_t> extras(n);
    for (uint32_t i = 0; i < n; ++i) {
      bases[i] = static_cast<uint16_t>(1000 + i);
      extras[i] = static_cast<uint8_t>(i % 7 == 6 ? kOpInvalid : i % 14);
    }
    const uint32_t s = rng() % (n + 1);
    Tables t;
    const uint32_t rootBits = 1 + rng() % 10;
    Build(t, lengths, s, rootBits, bases.data(), extras.data());
    uint32_t used = 0, longest = 0, shortest = 99;
    for (uint8_t l : lengths)
      if (l) {
        ++used;
        longest = std::max<uint32_t>(longest, l);
        shortest = std::min<uint32_t>(shortest, l);
      }
    if (used == 0) {
      EXPECT_EQ(nullptr, t.Root);
      continue;
    }
    ASSERT_NE(nullptr, t.Root) << round;
    EXPECT_EQ(std::min(std::max(rootBits, shortest), longest), t.Bits);
    const bool complete = budget == 0 || (used == 1 && longest == 1);
    EXPECT_EQ(complete ? kHuffComplete : kHuffIncomplete, t.Status) << round;

    const std::vector<uint32_t> codes = CanonicalCodes(lengths);
    uint32_t firstUnassigned = 0;
    for (uint32_t v = 0; v < n; ++v) {
      if (!lengths[v]) continue;
      const Decoded d = Decode(t, Reverse(codes[v], lengths[v]));
      ASSERT_EQ(lengths[v], d.Consumed) << round << " symbol " << v;
      if (lengths[v] == longest) firstUnassigned = std::max(firstUnassigned, codes[v] + 1);
      if (v < s) {
        EXPECT_EQ(v < 256 ? kOpLiteral : kOpEndOfBlock, d.Slot->Operation);
        if (v < 256) {
          EXPECT_EQ(v, d.Slot->Value);
        }
      } else {
        EXPECT_EQ(extras[v - s], d.Slot->Operation);
        EXPECT_EQ(bases[v - s], d.Slot->Value);
      }
    }
    // Unassigned codes follow the last code of the longest length.
    for (uint32_t code = firstUnassigned; code < (1u << longest); ++code) {
      const Decoded d = Decode(t, Reverse(code, longest));
      ASSERT_EQ(kOpInvalid, d.Slot->Operation) << round << " code " << code;
    }
  }
}

// The fixed literal/length set: 7-bit root, two-code 1-bit sub-tables for
// the 8-bit codes and four-code 2-bit sub-tables for the 9-bit codes.
TEST(HuffmanTables, FixedLiteralSetGetsNarrowSubTables) {
  std::vector<uint8_t> lengths(288);
  for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  const uint16_t bases[31] = {};
  const uint8_t extras[31] = {};
  Tables t;
  Build(t, lengths, 257, 7, bases, extras);
  ASSERT_EQ(kHuffComplete, t.Status);
  std::vector<uint32_t> widths;
  CollectWidths(t.Root, t.Bits, &widths);
  ASSERT_EQ(1u + 76 + 28, widths.size());
  EXPECT_EQ(7u, widths[0]);
  EXPECT_EQ(76, std::count(widths.begin(), widths.end(), 1u));
  EXPECT_EQ(28, std::count(widths.begin(), widths.end(), 2u));
}

// A sub-table opened where few codes of its length remain is widened by
// one bit at least, and then while longer codes would fill it.
TEST(HuffmanTables, SparseSubTableIsWidened) {
  // Codes: 0 (length 1), 100 (3), 1010, 1011 (4); 11xx unassigned.
  Tables t;
  Build(t, {1, 3, 4, 4}, 4, 1);
  ASSERT_EQ(kHuffIncomplete, t.Status);
  std::vector<uint32_t> widths;
  CollectWidths(t.Root, t.Bits, &widths);
  EXPECT_EQ((std::vector<uint32_t>{1, 3}), widths);

  // Under a 4-bit root, the prefix 1111 holds one code of length 6, then
  // codes of lengths 7 and 8. Two 7-bit codes leave the 3-bit table short,
  // so it grows to 4 bits; four of them fill it at 3 bits.
  Tables grown;
  Build(grown, {1, 2, 3, 4, 6, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8}, 15, 4);
  ASSERT_EQ(kHuffComplete, grown.Status);
  widths.clear();
  CollectWidths(grown.Root, grown.Bits, &widths);
  EXPECT_EQ((std::vector<uint32_t>{4, 4}), widths);

  Tables kept;
  Build(kept, {1, 2, 3, 4, 6, 7, 7, 7, 7, 8, 8, 8, 8}, 13, 4);
  ASSERT_EQ(kHuffComplete, kept.Status);
  widths.clear();
  CollectWidths(kept.Root, kept.Bits, &widths);
  EXPECT_EQ((std::vector<uint32_t>{4, 3, 1, 1}), widths);

  // The widening threshold, 2^(k - w) > a + 1 with a the codes of length k
  // still to place. Under a 4-bit root (the 4-bit code stays in it): one
  // 5-bit code fills a 1-bit table up to one slot and is not widened; two
  // 6-bit codes leave a 2-bit table two slots short, and it is.
  Tables edge;
  Build(edge, {1, 2, 3, 4, 5, 6, 6}, 7, 4);
  ASSERT_EQ(kHuffComplete, edge.Status);
  widths.clear();
  CollectWidths(edge.Root, edge.Bits, &widths);
  EXPECT_EQ((std::vector<uint32_t>{4, 1, 1}), widths);
  EXPECT_EQ(4u, Decode(edge, 0b0111).Consumed);
  EXPECT_EQ(5u, Decode(edge, 0b01111).Consumed);

  Tables wide;
  Build(wide, {1, 2, 3, 4, 6, 6, 7, 7, 7, 7}, 10, 4);
  ASSERT_EQ(kHuffComplete, wide.Status);
  widths.clear();
  CollectWidths(wide.Root, wide.Bits, &widths);
  EXPECT_EQ((std::vector<uint32_t>{4, 3}), widths);
}

// The end-of-block code's length caps a sub-table that would reach past it.
TEST(HuffmanTables, EndOfBlockLengthCapsSubTables) {
  // Codes 0; 100 (end of block); 1010, 1011, 1100, 1101; 11100 to 11111.
  std::vector<uint8_t> lengths(257, 0);
  lengths[0] = 1;
  lengths[256] = 3;
  for (int v = 1; v <= 4; ++v) lengths[v] = 4;
  for (int v = 5; v <= 8; ++v) lengths[v] = 5;
  Tables t;
  Build(t, lengths, 257, 1);
  ASSERT_EQ(kHuffComplete, t.Status);
  std::vector<uint32_t> widths;
  CollectWidths(t.Root, t.Bits, &widths);
  // The table under prefix 1 would be widened to 3 bits; the cap at bit 3
  // keeps it at 2, and the 4- and 5-bit codes go one level deeper.
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 1, 1, 2}), widths);
  const std::vector<uint32_t> codes = CanonicalCodes(lengths);
  for (uint32_t v = 0; v < 257; ++v) {
    if (!lengths[v]) continue;
    const Decoded d = Decode(t, Reverse(codes[v], lengths[v]));
    EXPECT_EQ(lengths[v], d.Consumed) << v;
    EXPECT_EQ(v == 256 ? kOpEndOfBlock : kOpLiteral, d.Slot->Operation) << v;
  }
}

}  // namespace
