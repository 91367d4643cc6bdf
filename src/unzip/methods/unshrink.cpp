// Unshrink: decodes ZIP method 1, LZW whose codes grow from 9 to 13 bits.
// Code 256 announces a control code: 1 widens the codes by one bit, 2 frees
// every code that no other code extends (a partial clear); the freed codes
// are assigned again first, in increasing order. The stream has no end code:
// it ends when fewer compressed bits are left than the code size.
//
// Owns no memory: the output buffer, the prefix and suffix tables and the
// decode stack fill the 32768-byte output window exactly.
#include "unzip/methods/unshrink.h"

#include <cstring>

#include "unzip/engine_state.h"
#include "unzip/output_window.h"

namespace {

constexpr uint32_t kFirstCodeSize = 9;
constexpr uint32_t kMaxCodeSize = 13;
constexpr int32_t kControlCode = 256;
constexpr int32_t kFirstCode = 257;  // first code of the table
constexpr int32_t kLastCode = 8192;  // assigned, though no 13-bit code names it
constexpr int32_t kTableCodes = kLastCode - kFirstCode + 1;

// Window layout. The output buffer must start the window, since FlushWindow
// writes from offset 0; the prefix table comes last so that its 16-bit
// entries are aligned. 767 bytes is what the three tables leave over.
constexpr uint32_t kOutputSize = 767;
constexpr uint32_t kSuffixAt = kOutputSize;
constexpr uint32_t kStackAt = kSuffixAt + kTableCodes;
constexpr uint32_t kStackSize = 8193;
constexpr uint32_t kPrefixAt = kStackAt + kStackSize;
static_assert(kPrefixAt % 2 == 0 && kPrefixAt + 2 * kTableCodes == kWindowSize,
              "the tables fill the window");

// A prefix entry holds, for a code in use, the code its string extends
// (below 256: a single byte; never above 8191). For a free code it holds the
// negated next code of the free list, so free entries are negative, with
// bits 14 and 15 set. A partial clear marks codes with bit 15.
constexpr uint16_t kMark = 0x8000;
constexpr uint16_t kFreeBit = 0x4000;

struct Shrunk {
  int16_t* prefix;  // indexed by code - kFirstCode
  uint8_t* suffix;  // last byte of each code's string, same index
  uint8_t* stack;
  uint32_t outPos;  // bytes held in the output buffer
  int32_t head;     // next code to assign; above kLastCode: table full
};

int16_t& PrefixOf(Shrunk& s, int32_t code) { return s.prefix[code - kFirstCode]; }

bool PutByte(Shrunk& s, uint8_t b) {
  OutputWindow[s.outPos++] = b;
  if (s.outPos < kOutputSize) return true;
  s.outPos = 0;
  return FlushWindow(kOutputSize);
}

int32_t ReadCode(uint32_t size) {
  NeedBits(size);
  const int32_t code = static_cast<int32_t>(Engine.BitBuffer & BitMask[size]);
  DropBits(size);
  return code;
}

// Frees the codes below the head that no code below the head extends, and
// puts them in increasing order before the old head of the free list.
// False when a code names a free code as its prefix: unmarking that free
// entry would break the free list, so the stream is refused.
bool PartialClear(Shrunk& s) {
  for (int32_t x = kFirstCode; x < s.head; ++x) PrefixOf(s, x) |= static_cast<int16_t>(kMark);
  for (int32_t x = kFirstCode; x < s.head; ++x) {
    const int16_t value = PrefixOf(s, x);
    const int32_t p = value & 0x7FFF;
    if ((value & kFreeBit) || p <= kControlCode) continue;  // a free code extends nothing
    int16_t& entry = PrefixOf(s, p);
    if (entry & kFreeBit) return false;
    entry = static_cast<int16_t>(entry & ~kMark);
  }
  int32_t first = 0;
  int32_t last = 0;
  for (int32_t x = kFirstCode; x < s.head; ++x) {
    if ((PrefixOf(s, x) & (kMark | kFreeBit)) == 0) continue;
    if (last) {
      PrefixOf(s, last) = static_cast<int16_t>(-x);
    } else {
      first = x;
    }
    last = x;
  }
  if (last) {
    PrefixOf(s, last) = static_cast<int16_t>(-s.head);
    s.head = first;
  }
  return true;
}

// Writes the string of code, or for a code not defined yet, the previous
// code's string followed by its own first byte (the code the encoder has
// just made from them). Sets firstByte. A chain through a free code, or one
// longer than the stack (a loop), is a corrupt stream: BadArchive.
ExtractResult PutString(Shrunk& s, int32_t code, int32_t oldCode, uint8_t& firstByte) {
  uint32_t sp = kStackSize;
  int32_t x = code;
  if (x > kControlCode && PrefixOf(s, x) < 0) {
    s.stack[--sp] = firstByte;
    x = oldCode;
  }
  while (x > kControlCode) {
    const int16_t p = PrefixOf(s, x);
    if (p < 0 || sp == 0) return ExtractResult::BadArchive;
    s.stack[--sp] = s.suffix[x - kFirstCode];
    x = p;
  }
  firstByte = static_cast<uint8_t>(x);
  if (!PutByte(s, firstByte)) return ExtractResult::WriteFailed;
  for (; sp < kStackSize; ++sp) {
    if (!PutByte(s, s.stack[sp])) return ExtractResult::WriteFailed;
  }
  return ExtractResult::Ok;
}

}  // namespace

ExtractResult Unshrink() {
  if (Engine.CompressedSize == 0x7FFFFFFF) return ExtractResult::UnsupportedMethod;
  ResetInput();
  Engine.BitBuffer = 0;
  Engine.BitCount = 0;

  memset(OutputWindow, 0, kWindowSize);
  Shrunk s = {reinterpret_cast<int16_t*>(OutputWindow + kPrefixAt), OutputWindow + kSuffixAt,
              OutputWindow + kStackAt, 0, kFirstCode};
  for (int32_t x = kFirstCode; x <= kLastCode; ++x) PrefixOf(s, x) = static_cast<int16_t>(-(x + 1));
  uint32_t codeSize = kFirstCodeSize;

  // In 64 bits: the bit count of an entry from 256 MiB on overflows 32.
  int64_t bitsLeft = Engine.CompressedSize > 0 ? int64_t{Engine.CompressedSize} * 8 : 0;
  // The first code is a literal. An entry without data has none, and reads
  // nothing of what follows it in the archive.
  int32_t oldCode = 0;
  uint8_t firstByte = 0;
  if (bitsLeft >= codeSize) {
    oldCode = ReadCode(codeSize);
    bitsLeft -= codeSize;
    firstByte = static_cast<uint8_t>(oldCode);
    if (!PutByte(s, firstByte)) return ExtractResult::WriteFailed;
  }

  // A truncated archive hands out stale bytes: stop at once rather than
  // decode them for as many bits as the header claims.
  while (!Engine.AbortRequested && !Engine.InputExhausted && codeSize <= bitsLeft) {
    const int32_t code = ReadCode(codeSize);
    bitsLeft -= codeSize;
    if (code == kControlCode) {
      const int32_t control = ReadCode(codeSize);
      bitsLeft -= codeSize;
      if (control == 1 && codeSize < kMaxCodeSize) {
        ++codeSize;
      } else if (control != 2 || !PartialClear(s)) {
        return ExtractResult::BadArchive;
      }
      continue;
    }
    const ExtractResult written = PutString(s, code, oldCode, firstByte);
    if (written != ExtractResult::Ok) return written;
    if (s.head <= kLastCode) {
      const int32_t n = s.head;
      s.head = -PrefixOf(s, n);
      PrefixOf(s, n) = static_cast<int16_t>(oldCode);
      s.suffix[n - kFirstCode] = firstByte;
    }
    oldCode = code;
  }
  if (Engine.AbortRequested) return ExtractResult::UserAborted;
  if (Engine.InputExhausted) return ExtractResult::ReadFailed;
  return FlushWindow(s.outPos) ? ExtractResult::Ok : ExtractResult::WriteFailed;
}
