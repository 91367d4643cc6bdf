// Explode (PKWARE's imploding, method 6) over the engine's bit reader and the
// 32768-byte output window, which serves as the dictionary whatever its size.
//
// The entry's data opens with two or three byte-coded lists of Shannon-Fano
// code lengths: literals (256, only with a literal tree), match lengths (64)
// and the upper bits of match distances (64). Every list must describe a
// complete code. Then come items, each led by one bit: 1 is a literal (a
// literal code, or 8 plain bits), 0 a match (6 or 7 plain low distance bits,
// a distance code, a length code, and 8 more length bits after the last
// length symbol). Codes are sent with every bit inverted, so each lookup
// takes the complement of the buffered bits.
#include "unzip/methods/explode.h"

#include "unzip/engine_state.h"
#include "unzip/methods/huffman.h"
#include "unzip/output_window.h"

namespace {

constexpr uint16_t kFlagBigDictionary = 0x0002;  // 8 KB instead of 4 KB
constexpr uint16_t kFlagLiteralTree = 0x0004;
// Entries of more compressed bytes than this request a wider distance lookup.
constexpr int32_t kWideDistanceSize = 200000;
constexpr uint32_t kSymbols = 64;  // length and distance codes
constexpr uint32_t kLiteralSymbols = 256;
constexpr uint8_t kLongLengthBits = 8;  // extra length bits of the last length symbol

enum Tree { kLiterals, kLengths, kDistances, kTrees };

struct CodeTable {
  HuffEntry* Table;
  uint32_t Bits;  // root width, as the builder left it
};

// Reads one length list of count entries with ReadByte: a byte giving the
// number of bytes that follow, less one; each of them holds a bit length
// (low four bits, plus 1) and how many symbols in a row take it (high four
// bits, plus 1). False when the list does not give exactly count lengths;
// a byte that would overshoot ends the list at once.
bool ReadCodeLengths(uint8_t* lengths, uint32_t count) {
  uint32_t bytes = ReadByte() + 1u;
  uint32_t stored = 0;
  while (bytes-- > 0) {
    const uint8_t b = ReadByte();
    const uint32_t end = stored + (b >> 4) + 1u;
    if (end > count) return false;
    while (stored < end) lengths[stored++] = static_cast<uint8_t>((b & 15) + 1);
  }
  return stored == count;
}

uint32_t TakeBits(uint32_t n) {
  NeedBits(n);
  const uint32_t value = Engine.BitBuffer & BitMask[n];
  DropBits(n);
  return value;
}

// Decodes one code; null for a slot that no symbol owns.
const HuffEntry* Decode(const CodeTable& t) {
  NeedBits(t.Bits);
  const HuffEntry* e = t.Table + (~Engine.BitBuffer & BitMask[t.Bits]);
  while (e->Operation > kOpLiteral) {
    if (e->Operation == kOpInvalid) return nullptr;
    DropBits(e->Bits);
    const uint32_t width = e->Operation - kOpLinkBase;
    NeedBits(width);
    e = e->Link + (~Engine.BitBuffer & BitMask[width]);
  }
  DropBits(e->Bits);
  return e;
}

// The item loop. The window is zero-filled for every entry, so a match that
// reaches before the entry's first byte copies zeros, as it should.
ExtractResult ExplodeStream(const CodeTable* trees, bool literalTree, uint32_t lowDistanceBits) {
  Engine.BitBuffer = 0;
  Engine.BitCount = 0;
  uint8_t* const window = OutputWindow;
  uint32_t pos = 0;
  int32_t remaining = Engine.UncompressedSize;
  while (remaining > 0 && !Engine.AbortRequested && !Engine.InputExhausted) {
    if (TakeBits(1)) {
      --remaining;
      if (literalTree) {
        const HuffEntry* e = Decode(trees[kLiterals]);
        if (!e) return ExtractResult::BadArchive;
        window[pos++] = static_cast<uint8_t>(e->Value);
      } else {
        window[pos++] = static_cast<uint8_t>(TakeBits(8));
      }
      if (pos == kWindowSize) {
        if (!FlushWindow(kWindowSize)) return ExtractResult::WriteFailed;
        pos = 0;
      }
      continue;
    }
    const uint32_t low = TakeBits(lowDistanceBits);
    const HuffEntry* e = Decode(trees[kDistances]);
    if (!e) return ExtractResult::BadArchive;
    const uint32_t source = (pos - low - e->Value) & 0xFFFF;
    e = Decode(trees[kLengths]);
    if (!e) return ExtractResult::BadArchive;
    uint32_t length = e->Value;
    if (e->Operation) length += TakeBits(kLongLengthBits);
    remaining -= static_cast<int32_t>(length);  // copied whole; its flush past the end is refused
    if (!CopyMatch(pos, source, length)) return ExtractResult::WriteFailed;
  }
  if (Engine.AbortRequested) return ExtractResult::UserAborted;
  if (!FlushWindow(pos)) return ExtractResult::WriteFailed;
  return Engine.InputExhausted ? ExtractResult::ReadFailed : ExtractResult::Ok;
}

}  // namespace

ExtractResult Explode() {
  ResetInput();
  const bool literalTree = (Engine.EntryFlags & kFlagLiteralTree) != 0;
  const uint32_t lowDistanceBits = (Engine.EntryFlags & kFlagBigDictionary) ? 7 : 6;

  // Symbol k of the length code is a length of k + 2, or k + 3 with a
  // literal tree; of the distance code, the distance bits above the low ones.
  uint16_t lengthBase[kSymbols];
  uint16_t distanceBase[kSymbols];
  uint8_t extra[kSymbols] = {};
  for (uint32_t k = 0; k < kSymbols; ++k) {
    lengthBase[k] = static_cast<uint16_t>(k + (literalTree ? 3 : 2));
    distanceBase[k] = static_cast<uint16_t>(1 + (k << lowDistanceBits));
  }
  extra[kSymbols - 1] = kLongLengthBits;
  const uint16_t* const bases[kTrees] = {nullptr, lengthBase, distanceBase};

  CodeTable trees[kTrees] = {{nullptr, 9},
                             {nullptr, 7},
                             {nullptr, Engine.CompressedSize > kWideDistanceSize ? 8u : 7u}};
  uint8_t lengths[kLiteralSymbols];
  bool built = true;
  for (uint32_t i = literalTree ? kLiterals : kLengths; built && i < kTrees; ++i) {
    const uint32_t count = i == kLiterals ? kLiteralSymbols : kSymbols;
    built = ReadCodeLengths(lengths, count) &&
            BuildHuffmanTable(lengths, count, i == kLiterals ? kLiteralSymbols : 0, bases[i],
                              extra, &trees[i].Table, &trees[i].Bits) == kHuffComplete;
  }
  const ExtractResult result =
      built ? ExplodeStream(trees, literalTree, lowDistanceBits) : ExtractResult::BadArchive;
  for (const CodeTable& t : trees) FreeHuffmanTable(t.Table);
  return result;
}
