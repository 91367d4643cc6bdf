// Inflate (deflate decoding, RFC 1951) over the engine's bit reader and the
// 32768-byte output window, which doubles as the match history.
//
// The block loop, stored blocks and the dynamic-block header use the
// engine's NeedBits/DropBits directly. The literal/length loop keeps the bit
// buffer in a 64-bit local for speed: it takes whole bytes only from what the
// input buffer already holds, refills through the engine exactly where
// NeedBits would (one byte at a time, when a needed byte is not buffered),
// and hands unused whole bytes back to the input buffer when it returns, so
// refills, the message pump and the abort poll keep their rhythm. Within it,
// a quick loop runs while a whole item's bytes are buffered and the window
// has room for one turn: there no refill or flush can happen, so it skips
// the per-item checks and copies near matches inline; the careful loop
// takes every item near a refill or the window's end.
#include "unzip/methods/inflate.h"

#include <cstring>

#include "unzip/engine_state.h"
#include "unzip/little_endian.h"
#include "unzip/methods/huffman.h"
#include "unzip/output_window.h"

namespace {

// Root-table widths requested for dynamic blocks, fixed blocks and the
// code-length code.
constexpr uint32_t kLiteralBits = 9;
constexpr uint32_t kDistanceBits = 6;
constexpr uint32_t kFixedLiteralBits = 7;
constexpr uint32_t kFixedDistanceBits = 5;
constexpr uint32_t kCodeLengthBits = 7;

constexpr uint32_t kFirstLengthSymbol = 257;
constexpr uint32_t kCodeLengthCodes = 19;
constexpr uint32_t kMaxLengths = 320;  // up to 288 literal/length plus 32 distance lengths

// Literal/length symbols 257 to 287 and distance symbols 0 to 31; an extra
// count of 99 marks a symbol that may be given a length but never occurs
// in valid data (286, 287, 30, 31).
const uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                  35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                  3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const uint16_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,     0};
const uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};
// The order in which the code-length code's lengths are sent.
const uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                    11, 4,  12, 3, 13, 2, 14, 1, 15};

// The literal/length loop's bit buffer. Bits above Count may hold the low
// bits of the next input byte, never anything else.
struct LocalBits {
  uint64_t Bits;
  uint32_t Count;
};

// NeedBits on the local buffer: one byte at a time, refilling the input
// buffer through the engine when it is empty.
void FillBits(LocalBits& r, uint32_t n) {
  while (r.Count < n) {
    if (Engine.InputPos > Engine.InputLast) {
      Engine.BitBuffer = static_cast<uint32_t>(r.Bits & ((uint64_t{1} << r.Count) - 1));
      Engine.BitCount = static_cast<uint8_t>(r.Count);
      RefillInput();
    }
    r.Bits |= static_cast<uint64_t>(Engine.InputBuffer[Engine.InputPos++]) << r.Count;
    r.Count += 8;
  }
}

inline void Need(LocalBits& r, uint32_t n) {
  if (r.Count < n) FillBits(r, n);
}

inline void Drop(LocalBits& r, uint32_t n) {
  r.Bits >>= n;
  r.Count -= n;
}

inline uint32_t Peek(const LocalBits& r, uint32_t n) {
  return static_cast<uint32_t>(r.Bits) & ((1u << n) - 1);
}

inline uint32_t TakeLocal(LocalBits& r, uint32_t n) {
  Need(r, n);
  const uint32_t value = Peek(r, n);
  Drop(r, n);
  return value;
}

// Tops the local buffer up to 56 to 63 bits with whole bytes from
// buffer[in ..], which must hold 8 bytes; in moves past the bytes taken.
inline void TopUp(LocalBits& r, const uint8_t* buffer, int32_t& in) {
  r.Bits |= Little64(buffer + in) << r.Count;
  in += static_cast<int32_t>((63 - r.Count) >> 3);
  r.Count |= 56;  // the count plus 8 per byte taken
}

// Tops the local buffer up from bytes already in the input buffer, when 8 of
// them are there; one item of deflate data never looks at more than 48 bits,
// so the item then needs no refill.
inline void FillFromBuffer(LocalBits& r) {
  if (Engine.InputLast - Engine.InputPos < 7) return;
  int32_t in = Engine.InputPos;
  TopUp(r, Engine.InputBuffer, in);
  Engine.InputPos = static_cast<int16_t>(in);
}

// Leaves the local buffer's bits to the engine, returning whole unused bytes
// to the input buffer where they still are in it.
void StoreBits(LocalBits& r) {
  uint32_t back = r.Count >> 3;
  if (back > static_cast<uint32_t>(Engine.InputPos)) back = static_cast<uint32_t>(Engine.InputPos);
  Engine.InputPos = static_cast<int16_t>(Engine.InputPos - back);
  r.Count -= back * 8;
  Engine.BitBuffer = static_cast<uint32_t>(r.Bits & ((uint64_t{1} << r.Count) - 1));
  Engine.BitCount = static_cast<uint8_t>(r.Count);
}

// Follows links from a root slot to the slot of the next code; null when
// the table has no slots or the code is invalid.
inline const HuffEntry* Lookup(LocalBits& r, const HuffEntry* table, uint32_t bits) {
  if (!table) return nullptr;
  Need(r, bits);
  const HuffEntry* e = table + Peek(r, bits);
  while (e->Operation > kOpLiteral) {
    if (e->Operation == kOpInvalid) return nullptr;
    Drop(r, e->Bits);
    const uint32_t width = e->Operation - kOpLinkBase;
    Need(r, width);
    e = e->Link + Peek(r, width);
  }
  Drop(r, e->Bits);
  return e;
}

// Fast-path limits: one item of deflate data reads at most 48 bits (a
// 15-bit length code, 5 extra bits, a 15-bit distance code, 13 extra bits),
// so with 8 input bytes buffered a top-up to 56 bits covers the whole item;
// a turn of the fast loop writes at most two literals and a 258-byte match,
// and its match copy touches kChunkSlack bytes beyond.
constexpr uint32_t kChunkSlack = 16;
constexpr int32_t kFastInputBytes = 8;
constexpr uint32_t kFastWindowRoom = 2 + 258 + kChunkSlack;

// Follows a slot's links without refilling; the caller has made sure that
// all bits of the code are in the local buffer. Null for an invalid code.
inline const HuffEntry* FollowLinks(LocalBits& r, const HuffEntry* e) {
  while (e->Operation > kOpLiteral) {
    if (e->Operation == kOpInvalid) return nullptr;
    Drop(r, e->Bits);
    e = e->Link + Peek(r, e->Operation - kOpLinkBase);
  }
  Drop(r, e->Bits);
  return e;
}

// The quick loop's own tables: one 32-bit slot for each value of the next 11
// (literal/length) or 8 (distance) bits, built from the same code lengths as
// the careful loop's tables, whose narrower roots (9 and 6 bits) send common
// codes of program files through a second lookup. A slot holds in bits 0 to
// 7 the bits its item takes (the code, and for a length or distance its
// extra bits too, so one shift drops both), in bits 8 to 15 the code's own
// length for a length or distance or else one of the kinds below, and the
// literal byte or base value above. Codes longer than the slot's bits,
// invalid symbols and unassigned codes are kQuickSlow and taken through the
// careful loop's tables. The careful loop keeps its own widths: they decide
// where it asks for input.
constexpr uint32_t kQuickLiteralBits = 11;
constexpr uint32_t kQuickDistanceBits = 8;
constexpr uint32_t kQuickLiteral = 0x8000;
constexpr uint32_t kQuickEnd = 0x4000;  // end of block
constexpr uint32_t kQuickSlow = 0x2000;

// On the stack of each block's decoding: a window procedure run by the
// message pump may start a nested extraction, which must not overwrite them.
struct QuickTables {
  uint32_t Literals[1u << kQuickLiteralBits];
  uint32_t Distances[1u << kQuickDistanceBits];
};

// Fills quick[0 .. 2^quickBits) for n code lengths (that the careful tables
// were built from, so they are valid), symbols as BuildHuffmanTable takes
// them. Codes go in by length: the table is doubled at each step to the next
// length (a code's slots repeat every 2^length), so each code is written
// once; slots no code of these lengths reaches stay kQuickSlow.
void BuildQuickTable(uint32_t* quick, uint32_t quickBits, const uint8_t* lengths, uint32_t n,
                     uint32_t s, const uint16_t* bases, const uint8_t* extras) {
  uint32_t count[17] = {};
  for (uint32_t v = 0; v < n; ++v) ++count[lengths[v]];
  uint16_t sorted[kMaxLengths];
  SortCodes(lengths, n, count, sorted);
  quick[0] = quick[1] = kQuickSlow;
  uint32_t rev = 0;
  uint32_t next = 0;
  for (uint32_t k = 1; k <= quickBits; ++k) {
    if (k > 1) memcpy(quick + (1u << (k - 1)), quick, (1u << (k - 1)) * sizeof *quick);
    for (uint32_t a = count[k]; a > 0; --a, rev = NextReversed(rev, k)) {
      const uint32_t v = sorted[next++];
      uint32_t slot;
      if (v < s)
        slot = v < 256 ? v << 16 | kQuickLiteral | k : kQuickEnd | k;
      else if (extras[v - s] == 99)
        slot = kQuickSlow;
      else
        slot = static_cast<uint32_t>(bases[v - s]) << 16 | k << 8 | (k + extras[v - s]);
      quick[rev] = slot;
    }
  }
}

// Takes a quick slot's bits from the local buffer; returns the value of the
// extra bits of a length or distance slot (0 for a literal or end).
inline uint32_t TakeQuick(LocalBits& r, uint32_t q) {
  const uint32_t taken = q & 0xFF;
  const uint32_t held = static_cast<uint32_t>(r.Bits);
  r.Bits >>= taken;
  r.Count -= taken;
  // Bits 8 to 15 are the code's length for lengths and distances only; the
  // caller ignores the result otherwise. At most 28 bits: no overflow.
  return (held & ((1u << taken) - 1)) >> ((q >> 8) & 0x1F);
}

// Copies a match in 8-byte chunks, the first kChunkSlack bytes whatever its
// length, so that most matches take no branch; the kChunkSlack bytes after
// the match, which the chunks may overwrite, are put back afterwards (they
// are history that a later match may still read). Right when the source
// trails the destination by at least 8 bytes (each chunk then reads only
// final bytes) or lies at or ahead of it (each chunk is read before it is
// written, and every later read lies above every write, as with memmove),
// and when both have length + kChunkSlack bytes before the window's end.
inline void CopyChunks(uint8_t* to, const uint8_t* from, uint32_t length) {
  // Moved as two 8-byte values: a 16-byte block move would become a string
  // instruction in the size-optimised build, slow to start for so few bytes.
  uint64_t after[2];
  memcpy(&after[0], to + length, 8);
  memcpy(&after[1], to + length + 8, 8);
  memcpy(to, from, 8);
  memcpy(to + 8, from + 8, 8);
  for (uint32_t i = kChunkSlack; i < length; i += 8) memcpy(to + i, from + i, 8);
  memcpy(to + length, &after[0], 8);
  memcpy(to + length + 8, &after[1], 8);
}

enum class FastStop { Careful, Done };

// Decodes items while the input buffer holds enough bytes for a whole item
// and the window has room for what one turn writes. No refill, flush, message
// pump or abort poll can happen in here, so the flags need no look between
// items; everything else is what the careful loop does, byte for byte and
// bit for bit. Done with *result set at the end of the block or an error;
// Careful when the careful loop is to take over.
FastStop FastItems(LocalBits& bits, uint32_t& position, const QuickTables& quick,
                   const HuffEntry* literals,
                   const HuffEntry* distances, uint32_t literalBits, uint32_t distanceBits,
                   ExtractResult* result) {
  // Local copies, so that no address taken below keeps them out of registers.
  LocalBits r = bits;
  uint32_t pos = position;
  uint8_t* const window = OutputWindow;
  const uint8_t* const buffer = Engine.InputBuffer;
  int32_t in = Engine.InputPos;
  const int32_t inLimit = Engine.InputLast - (kFastInputBytes - 1);
  const uint32_t literalMask = (1u << literalBits) - 1;
  const uint32_t distanceMask = (1u << distanceBits) - 1;
  constexpr uint32_t kQuickLiteralMask = (1u << kQuickLiteralBits) - 1;
  constexpr uint32_t kQuickDistanceMask = (1u << kQuickDistanceBits) - 1;
  FastStop stop = FastStop::Careful;
  while (in <= inLimit && pos < kWindowSize - kFastWindowRoom) {
    TopUp(r, buffer, in);
    uint32_t q = quick.Literals[static_cast<uint32_t>(r.Bits) & kQuickLiteralMask];
    if (q & kQuickLiteral) {
      // Up to three literals per top-up: each takes at most 11 bits, and a
      // quick index needs 11 (a later top-up only adds bits above those, so a
      // slot read before it stays the right one).
      TakeQuick(r, q);
      window[pos++] = static_cast<uint8_t>(q >> 16);
      q = quick.Literals[static_cast<uint32_t>(r.Bits) & kQuickLiteralMask];
      if (q & kQuickLiteral) {
        TakeQuick(r, q);
        window[pos++] = static_cast<uint8_t>(q >> 16);
        q = quick.Literals[static_cast<uint32_t>(r.Bits) & kQuickLiteralMask];
        if (q & kQuickLiteral) {
          TakeQuick(r, q);
          window[pos++] = static_cast<uint8_t>(q >> 16);
          continue;
        }
      }
      // The next item may need a whole item's bits again.
      if (in > inLimit) break;
      TopUp(r, buffer, in);
    }
    uint32_t length;
    if (!(q & (kQuickSlow | kQuickEnd))) {
      length = (q >> 16) + TakeQuick(r, q);
    } else {
      if (q & kQuickEnd) {
        TakeQuick(r, q);
        *result = ExtractResult::Ok;
        stop = FastStop::Done;
        break;
      }
      const HuffEntry* e =
          FollowLinks(r, literals + (static_cast<uint32_t>(r.Bits) & literalMask));
      if (!e) {
        *result = ExtractResult::BadArchive;
        stop = FastStop::Done;
        break;
      }
      if (e->Operation == kOpLiteral) {
        window[pos++] = static_cast<uint8_t>(e->Value);
        continue;
      }
      if (e->Operation == kOpEndOfBlock) {
        *result = ExtractResult::Ok;
        stop = FastStop::Done;
        break;
      }
      length = e->Value + Peek(r, e->Operation);
      Drop(r, e->Operation);
    }

    q = quick.Distances[static_cast<uint32_t>(r.Bits) & kQuickDistanceMask];
    uint32_t distance;
    if (!(q & kQuickSlow)) {
      distance = (q >> 16) + TakeQuick(r, q);
    } else {
      const HuffEntry* e =
          FollowLinks(r, distances + (static_cast<uint32_t>(r.Bits) & distanceMask));
      if (!e) {
        *result = ExtractResult::BadArchive;
        stop = FastStop::Done;
        break;
      }
      distance = e->Value + Peek(r, e->Operation);
      Drop(r, e->Operation);
    }
    uint8_t* const to = window + pos;
    const uint8_t* from = to - distance;
    if (distance > pos) from += kWindowSize;  // from the window's older part
    if ((distance >= 8 || from > to) && from + length + kChunkSlack <= window + kWindowSize) {
      CopyChunks(to, from, length);
      pos += length;
    } else {
      // A run of period 1 to 7, or a source that runs over the window's end
      // (or reaches before the entry's start); pos stays below the end, so
      // no flush can fail.
      uint32_t at = pos;
      CopyMatch(at, (pos - distance) & 0xFFFF, length);
      pos = at;
    }
  }
  Engine.InputPos = static_cast<int16_t>(in);
  bits = r;
  position = pos;
  return stop;
}

ExtractResult InflateCodes(const QuickTables& quick, const HuffEntry* literals,
                           const HuffEntry* distances,
                           uint32_t literalBits, uint32_t distanceBits) {
  LocalBits r{Engine.BitBuffer, Engine.BitCount};
  uint8_t* const window = OutputWindow;
  uint32_t pos = WindowPos;
  ExtractResult result;
  for (;;) {
    if (Engine.AbortRequested) {
      result = ExtractResult::UserAborted;
      break;
    }
    if (Engine.InputExhausted) {
      result = ExtractResult::ReadFailed;
      break;
    }
    if (literals && distances && Engine.InputLast - Engine.InputPos >= kFastInputBytes - 1 &&
        pos < kWindowSize - kFastWindowRoom) {
      if (FastItems(r, pos, quick, literals, distances, literalBits, distanceBits, &result) ==
          FastStop::Done)
        break;
      continue;
    }
    if (r.Count < 48) FillFromBuffer(r);

    const HuffEntry* e = Lookup(r, literals, literalBits);
    if (!e) {
      result = ExtractResult::BadArchive;
      break;
    }
    if (e->Operation == kOpLiteral) {
      window[pos++] = static_cast<uint8_t>(e->Value);
      if (pos == kWindowSize) {
        if (!FlushWindow(kWindowSize)) {
          result = ExtractResult::WriteFailed;
          break;
        }
        pos = 0;
      }
      continue;
    }
    if (e->Operation == kOpEndOfBlock) {
      result = ExtractResult::Ok;
      break;
    }

    uint32_t extra = e->Operation;
    Need(r, extra);
    const uint32_t length = e->Value + Peek(r, extra);
    Drop(r, extra);

    e = Lookup(r, distances, distanceBits);
    if (!e) {
      result = ExtractResult::BadArchive;
      break;
    }
    extra = e->Operation;
    Need(r, extra);
    const uint32_t source = (pos - e->Value - Peek(r, extra)) & 0xFFFF;
    Drop(r, extra);
    if (!CopyMatch(pos, source, length)) {
      result = ExtractResult::WriteFailed;
      break;
    }
  }
  WindowPos = static_cast<uint16_t>(pos);
  StoreBits(r);
  return result;
}

ExtractResult InflateStored() {
  DropBits(Engine.BitCount & 7);
  NeedBits(16);
  uint32_t length = Engine.BitBuffer & 0xFFFF;
  DropBits(16);
  NeedBits(16);
  if (length != (~Engine.BitBuffer & 0xFFFF)) return ExtractResult::BadArchive;
  DropBits(16);

  while (length > 0 && !Engine.AbortRequested && !Engine.InputExhausted) {
    if (Engine.BitCount == 0 && Engine.InputPos <= Engine.InputLast) {
      // Byte-aligned with nothing held: move what the input buffer has in
      // one piece. No refill happens inside, so the flags cannot change; the
      // bytes and the refill points are those of the byte-at-a-time branch.
      uint32_t n = static_cast<uint32_t>(Engine.InputLast - Engine.InputPos + 1);
      if (n > length) n = length;
      if (n > kWindowSize - WindowPos) n = kWindowSize - WindowPos;
      memcpy(OutputWindow + WindowPos, Engine.InputBuffer + Engine.InputPos, n);
      Engine.InputPos = static_cast<int16_t>(Engine.InputPos + n);
      WindowPos = static_cast<uint16_t>(WindowPos + n);
      length -= n;
    } else {
      --length;
      NeedBits(8);
      OutputWindow[WindowPos++] = static_cast<uint8_t>(Engine.BitBuffer);
      DropBits(8);
    }
    if (WindowPos == kWindowSize) {
      if (!FlushWindow(kWindowSize)) return ExtractResult::WriteFailed;
      WindowPos = 0;
    }
  }
  if (Engine.AbortRequested) return ExtractResult::UserAborted;
  if (Engine.InputExhausted) return ExtractResult::ReadFailed;
  return ExtractResult::Ok;
}

// Runs the literal/length loop with two tables and releases both; the
// lengths they were built from give the quick tables.
ExtractResult DecodeWith(HuffEntry* literals, HuffEntry* distances, uint32_t literalBits,
                         uint32_t distanceBits, const uint8_t* literalLengths,
                         uint32_t literalCount, const uint8_t* distanceLengths,
                         uint32_t distanceCount) {
  QuickTables quick;
  // The quick loop runs only with both tables.
  if (literals && distances) {
    BuildQuickTable(quick.Literals, kQuickLiteralBits, literalLengths, literalCount,
                    kFirstLengthSymbol, kLengthBase, kLengthExtra);
    BuildQuickTable(quick.Distances, kQuickDistanceBits, distanceLengths, distanceCount, 0,
                    kDistanceBase, kDistanceExtra);
  }
  const ExtractResult result =
      InflateCodes(quick, literals, distances, literalBits, distanceBits);
  FreeHuffmanTable(literals);
  FreeHuffmanTable(distances);
  return result;
}

ExtractResult InflateFixed() {
  uint8_t lengths[288 + 30];
  memset(lengths, 8, 144);
  memset(lengths + 144, 9, 112);
  memset(lengths + 256, 7, 24);
  memset(lengths + 280, 8, 8);
  HuffEntry* literals;
  uint32_t literalBits = kFixedLiteralBits;
  const HuffStatus literalStatus = BuildHuffmanTable(lengths, 288, kFirstLengthSymbol, kLengthBase,
                                                     kLengthExtra, &literals, &literalBits);
  if (literalStatus != kHuffComplete) {
    // Only a lack of memory can fail this complete set.
    FreeHuffmanTable(literals);
    return ExtractResult::BadArchive;
  }

  memset(lengths + 288, 5, 30);
  HuffEntry* distances;
  uint32_t distanceBits = kFixedDistanceBits;
  if (BuildHuffmanTable(lengths + 288, 30, 0, kDistanceBase, kDistanceExtra, &distances,
                        &distanceBits) > kHuffIncomplete) {
    FreeHuffmanTable(literals);
    return ExtractResult::BadArchive;
  }
  return DecodeWith(literals, distances, literalBits, distanceBits, lengths, 288, lengths + 288,
                    30);
}

uint32_t TakeBits(uint32_t n) {
  NeedBits(n);
  const uint32_t value = Engine.BitBuffer & BitMask[n];
  DropBits(n);
  return value;
}

ExtractResult InflateDynamic() {
  const uint32_t literalCount = kFirstLengthSymbol + TakeBits(5);
  const uint32_t distanceCount = 1 + TakeBits(5);
  const uint32_t codeLengthCount = 4 + TakeBits(4);

  uint8_t lengths[kMaxLengths] = {};
  for (uint32_t i = 0; i < codeLengthCount; ++i)
    lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(TakeBits(3));

  HuffEntry* codeLengths;
  uint32_t codeLengthBits = kCodeLengthBits;
  const HuffStatus status = BuildHuffmanTable(lengths, kCodeLengthCodes, kCodeLengthCodes, nullptr,
                                              nullptr, &codeLengths, &codeLengthBits);
  if (status != kHuffComplete || !codeLengths) {
    FreeHuffmanTable(codeLengths);
    return ExtractResult::BadArchive;
  }

  // The lengths are read through a local bit buffer, as in the literal/length
  // loop: an item takes at most 14 bits.
  const uint32_t total = literalCount + distanceCount;
  uint32_t previous = 0;
  LocalBits r{Engine.BitBuffer, Engine.BitCount};
  bool valid = true;
  for (uint32_t i = 0; i < total;) {
    if (r.Count < 14) FillFromBuffer(r);
    Need(r, codeLengthBits);
    const HuffEntry& slot = codeLengths[Peek(r, codeLengthBits)];
    // A lone code-length code of length 1 leaves its other code unassigned.
    if (slot.Operation == kOpInvalid) {
      valid = false;
      break;
    }
    Drop(r, slot.Bits);
    const uint32_t symbol = slot.Value;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      previous = symbol;
      continue;
    }
    uint32_t repeat;
    uint32_t value = 0;
    if (symbol == 16) {
      repeat = 3 + TakeLocal(r, 2);
      value = previous;
    } else if (symbol == 17) {
      repeat = 3 + TakeLocal(r, 3);
    } else {
      repeat = 11 + TakeLocal(r, 7);
    }
    if (i + repeat > total) {
      valid = false;
      break;
    }
    memset(lengths + i, static_cast<int>(value), repeat);
    i += repeat;
    previous = value;
  }
  StoreBits(r);
  if (!valid) {
    FreeHuffmanTable(codeLengths);
    return ExtractResult::BadArchive;
  }
  FreeHuffmanTable(codeLengths);

  HuffEntry* literals;
  uint32_t literalBits = kLiteralBits;
  if (BuildHuffmanTable(lengths, literalCount, kFirstLengthSymbol, kLengthBase, kLengthExtra,
                        &literals, &literalBits) != kHuffComplete) {
    FreeHuffmanTable(literals);
    return ExtractResult::BadArchive;
  }
  HuffEntry* distances;
  uint32_t distanceBits = kDistanceBits;
  if (BuildHuffmanTable(lengths + literalCount, distanceCount, 0, kDistanceBase, kDistanceExtra,
                        &distances, &distanceBits) > kHuffIncomplete) {
    FreeHuffmanTable(literals);
    return ExtractResult::BadArchive;
  }
  return DecodeWith(literals, distances, literalBits, distanceBits, lengths, literalCount,
                    lengths + literalCount, distanceCount);
}

ExtractResult InflateBlock(bool* last) {
  *last = TakeBits(1) != 0;
  switch (TakeBits(2)) {
    case 0:
      return InflateStored();
    case 1:
      return InflateFixed();
    case 2:
      return InflateDynamic();
    default:
      return ExtractResult::BadArchive;
  }
}

}  // namespace

ExtractResult Inflate() {
  ResetInput();
  Engine.BitBuffer = 0;
  Engine.BitCount = 0;
  WindowPos = 0;
  bool last = false;
  while (!last) {
    const ExtractResult result = InflateBlock(&last);
    if (result != ExtractResult::Ok) return result;
  }
  return FlushWindow(WindowPos) ? ExtractResult::Ok : ExtractResult::WriteFailed;
}
