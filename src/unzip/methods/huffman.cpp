// Builds and releases the multi-level code tables of inflate and explode.
//
// Codes are canonical: within one length they take consecutive values in
// symbol order, and the values double from one length to the next. The bit
// reader delivers a code's first bit in bit 0, so every code is entered
// bit-reversed. A code set's tables share a few allocations, chained
// through a hidden slot before each, and are freed together.
#include "unzip/methods/huffman.h"

#include "platform/platform.h"

namespace {

constexpr uint32_t kMaxLength = 16;
constexpr uint32_t kMaxLevels = kMaxLength + 1;

uint32_t Mask(uint32_t bits) { return (1u << bits) - 1; }

// Tables are carved from blocks of at least kBlockSlots slots, so that a
// code set costs a few allocations rather than one per sub-table. A block's
// hidden first slot links to the next block's first table.
constexpr uint32_t kBlockSlots = 1024;

struct TableBlocks {
  HuffEntry* Last;  // the newest block's hidden slot; null before the first
  HuffEntry* Free;  // its first free slot
  uint32_t Left;    // and how many follow
};

// Carves a table of 2^bits slots, starting a new block when the newest one
// has too few left.
HuffEntry* NewTable(uint32_t bits, TableBlocks* blocks) {
  const uint32_t size = 1u << bits;
  if (size > blocks->Left) {
    const uint32_t slots = size > kBlockSlots ? size : kBlockSlots;
    HuffEntry* block =
        static_cast<HuffEntry*>(AllocateMemory(static_cast<uint32_t>(sizeof(HuffEntry)) * (slots + 1)));
    if (!block) return nullptr;
    block->Link = nullptr;
    if (blocks->Last) blocks->Last->Link = block + 1;
    blocks->Last = block;
    blocks->Free = block + 1;
    blocks->Left = slots;
  }
  HuffEntry* table = blocks->Free;
  blocks->Free += size;
  blocks->Left -= size;
  return table;
}

}  // namespace

uint32_t NextReversed(uint32_t rev, uint32_t length) {
  // Adding one from the reversed end: the highest clear bit of the code is
  // set and the ones above it cleared.
  const uint32_t clear = ~rev & Mask(length);
  if (clear == 0) return 0;
  const uint32_t bit = 1u << (31 - __builtin_clz(clear));
  return (rev & (bit - 1)) | bit;
}

void SortCodes(const uint8_t* lengths, uint32_t n, const uint32_t* count, uint16_t* sorted) {
  uint32_t start[kMaxLength + 2] = {};
  for (uint32_t len = 1; len <= kMaxLength; ++len) start[len + 1] = start[len] + count[len];
  for (uint32_t v = 0; v < n; ++v)
    if (lengths[v]) sorted[start[lengths[v]]++] = static_cast<uint16_t>(v);
}

void FreeHuffmanTable(HuffEntry* table) {
  while (table) {
    HuffEntry* block = table - 1;
    table = block->Link;
    FreeMemory(block);
  }
}

HuffStatus BuildHuffmanTable(const uint8_t* lengths, uint32_t n, uint32_t s,
                             const uint16_t* bases, const uint8_t* extras,
                             HuffEntry** table, uint32_t* rootBits) {
  *table = nullptr;
  // The end-of-block code's length only limits how far sub-tables reach.
  const uint32_t el = n > 256 ? lengths[256] : kMaxLength;

  if (n > kHuffMaxSymbols) {
    *rootBits = 0;
    return kHuffBadLengths;
  }
  uint32_t count[kMaxLength + 1] = {};
  uint32_t used = 0;
  for (uint32_t v = 0; v < n; ++v) {
    if (lengths[v] > kMaxLength) {
      *rootBits = 0;
      return kHuffBadLengths;
    }
    if (lengths[v] == 0) continue;
    if (v >= s && (!bases || !extras)) {
      *rootBits = 0;
      return kHuffBadLengths;
    }
    ++count[lengths[v]];
    ++used;
  }
  if (used == 0) {
    *rootBits = 0;
    return kHuffComplete;
  }

  uint32_t minLength = 1;
  while (count[minLength] == 0) ++minLength;
  uint32_t maxLength = kMaxLength;
  while (count[maxLength] == 0) --maxLength;
  uint32_t b = *rootBits;
  if (b < minLength) b = minLength;
  if (b > maxLength) b = maxLength;

  // Codes left over at each length; a negative count means over-subscribed.
  int32_t left = 1 << minLength;
  for (uint32_t len = minLength; len < maxLength; ++len) {
    left -= static_cast<int32_t>(count[len]);
    if (left < 0) {
      *rootBits = 0;
      return kHuffBadLengths;
    }
    left <<= 1;
  }
  left -= static_cast<int32_t>(count[maxLength]);
  if (left < 0) {
    *rootBits = 0;
    return kHuffBadLengths;
  }
  const uint32_t unassigned = static_cast<uint32_t>(left);

  // Symbols in code order: by length, then by symbol number.
  uint16_t sorted[kHuffMaxSymbols];
  SortCodes(lengths, n, count, sorted);
  // The unassigned codes are placed as further codes of the longest length.
  count[maxLength] += unassigned;

  TableBlocks blocks = {nullptr, nullptr, 0};
  HuffEntry* root = NewTable(b, &blocks);
  if (!root) {
    *rootBits = 0;
    return kHuffNoMemory;
  }

  // The path of tables that holds the current code: depth (bits consumed
  // before the table), width and the code prefix that leads to it.
  HuffEntry* levelTable[kMaxLevels] = {root};
  uint32_t levelDepth[kMaxLevels] = {0};
  uint32_t levelWidth[kMaxLevels] = {b};
  uint32_t levelPrefix[kMaxLevels] = {0};
  uint32_t top = 0;

  // The current code, bit-reversed. Doubling a code at the step to the next
  // length leaves its reversed form as it is.
  uint32_t rev = 0;
  uint32_t next = 0;  // index into sorted; past used, the unassigned codes
  for (uint32_t k = minLength; k <= maxLength; ++k) {
    for (uint32_t a = count[k]; a > 0; --a, rev = NextReversed(rev, k), ++next) {
      while (top > 0 && (rev & Mask(levelDepth[top])) != levelPrefix[top]) --top;

      while (k > levelDepth[top] + levelWidth[top]) {
        const uint32_t w = levelDepth[top] + levelWidth[top];
        uint32_t limit = maxLength - w;
        if (limit > b) limit = b;
        uint32_t j = k - w;
        if ((1u << j) > a + 1) {
          // Too few codes of this length to fill a (k - w)-bit table: widen
          // it while the longer codes would fill the extra slots.
          uint32_t f = (1u << j) - (a + 1);
          ++j;
          for (uint32_t len = k + 1; j < limit; ++len, ++j) {
            f <<= 1;
            if (f <= count[len]) break;
            f -= count[len];
          }
        }
        if (w + j > el && w < el) j = el - w;

        HuffEntry* sub = NewTable(j, &blocks);
        if (!sub) {
          FreeHuffmanTable(root);
          *rootBits = 0;
          return kHuffNoMemory;
        }
        HuffEntry& link = levelTable[top][(rev >> levelDepth[top]) & Mask(levelWidth[top])];
        link.Operation = static_cast<uint8_t>(kOpLinkBase + j);
        link.Bits = static_cast<uint8_t>(levelWidth[top]);
        link.Value = 0;
        link.Link = sub;
        ++top;
        levelTable[top] = sub;
        levelDepth[top] = w;
        levelWidth[top] = j;
        levelPrefix[top] = rev & Mask(w);
      }

      const uint32_t w = levelDepth[top];
      HuffEntry slot;
      slot.Bits = static_cast<uint8_t>(k - w);
      slot.Value = 0;
      slot.Link = nullptr;
      if (next >= used) {
        slot.Operation = kOpInvalid;
      } else {
        const uint32_t v = sorted[next];
        if (v < s) {
          slot.Operation = v < 256 ? kOpLiteral : kOpEndOfBlock;
          slot.Value = static_cast<uint16_t>(v);
        } else {
          slot.Operation = extras[v - s];
          slot.Value = bases[v - s];
        }
      }
      HuffEntry* t = levelTable[top];
      const uint32_t size = 1u << levelWidth[top];
      for (uint32_t i = (rev >> w) & Mask(k - w); i < size; i += 1u << (k - w)) t[i] = slot;
    }
  }

  *table = root;
  *rootBits = b;
  return unassigned != 0 && maxLength != 1 ? kHuffIncomplete : kHuffComplete;
}
