// Unreduce (methods 2 to 5). The data is coded in two stages. The inner stage
// is a byte stream in which 144 introduces a back-reference: 144, 0 stands
// for one 144; 144, V, [L,] D copies from up to 4096 bytes back. With the
// compression factor f = method - 1, V's low 8 - f bits hold the length code
// (all ones: the extra byte L follows and adds to it) and its high f bits the
// distance above D's 8 bits. The outer stage codes each inner byte by the
// follower set of the byte before it: a flag bit 0 and an index into the
// set, or a flag bit 1 (or nothing, for an empty set) and the plain byte.
// The 256 sets come first in the stream.
//
// This file owns the follower table, allocated per entry, and the decoder's
// use of the first 16384 bytes of the output window as its history.
#include "unzip/methods/unreduce.h"

#include <cstring>

#include "platform/platform.h"
#include "unzip/engine_state.h"
#include "unzip/output_window.h"

namespace {

// History span and flush unit: the first 16384 bytes of the window. The
// longest distance is 4096, so the history never needs more.
constexpr uint32_t kSpan = 16384;
constexpr uint32_t kMarker = 144;

enum State : uint32_t { kLiteral, kAfterMarker, kExtraLength, kDistance };

// Row x holds the follower set of byte x. Rows are zero beyond each set's
// size, so an index at or past the size (possible, as the index has a whole
// number of bits) reads the byte 0.
struct FollowerSets {
  uint8_t Size[256];
  uint8_t IndexBits[256];
  uint8_t Member[256][64];
};

uint32_t ReadBits(uint32_t n) {
  NeedBits(n);
  const uint32_t value = Engine.BitBuffer & BitMask[n];
  DropBits(n);
  return value;
}

// The sets come for byte 255 first, down to byte 0: a 6-bit size, then the
// members, 8 bits each. A set of n members is indexed with enough bits to
// number them, at least one.
void LoadFollowerSets(FollowerSets* sets) {
  for (uint32_t x = 256; x-- > 0;) {
    const uint32_t size = ReadBits(6);
    uint32_t bits = 1;
    while ((1u << bits) < size) ++bits;
    sets->Size[x] = static_cast<uint8_t>(size);
    sets->IndexBits[x] = static_cast<uint8_t>(bits);
    for (uint32_t i = 0; i < size; ++i) sets->Member[x][i] = static_cast<uint8_t>(ReadBits(8));
  }
}

bool PutByte(uint8_t* window, uint32_t& w, uint8_t b) {
  window[w++] = b;
  if (w < kSpan) return true;
  w = 0;
  return FlushWindow(kSpan);
}

// Copies n bytes from d (taken modulo the span) to w, in pieces that end where
// the source or the target reaches the span's end. Only a source that trails
// the target by less than the piece overlaps it; that piece goes byte by byte
// so that it repeats what it has just written. A source before the entry's
// first byte lies in the untouched, zero-filled part of the window (the
// window is zeroed for every entry), so it yields zeros.
bool CopyMatch(uint8_t* window, uint32_t& w, uint32_t d, uint32_t n) {
  while (n > 0) {
    d &= kSpan - 1;
    uint32_t piece = kSpan - (d > w ? d : w);
    if (piece > n) piece = n;
    if (d < w && w - d < piece) {
      for (uint32_t i = 0; i < piece; ++i) window[w + i] = window[d + i];
    } else {
      memcpy(window + w, window + d, piece);
    }
    w += piece;
    d += piece;
    n -= piece;
    if (w == kSpan) {
      w = 0;
      if (!FlushWindow(kSpan)) return false;
    }
  }
  return true;
}

ExtractResult Decode(const FollowerSets* sets, uint32_t factor) {
  const uint32_t lengthMask = 0xFFu >> factor;
  const uint32_t distanceShift = 8 - factor;
  uint8_t* const window = OutputWindow;
  uint32_t w = 0;
  uint32_t last = 0;  // the previous inner byte: selects the follower set
  uint32_t state = kLiteral;
  uint32_t v = 0;
  uint32_t length = 0;
  int32_t remaining = Engine.UncompressedSize;
  bool written = true;
  while (remaining > 0 && written) {
    if (Engine.AbortRequested) return ExtractResult::UserAborted;
    if (Engine.InputExhausted) break;
    uint32_t b;
    if (sets->Size[last] == 0 || ReadBits(1)) {
      b = ReadBits(8);
    } else {
      b = sets->Member[last][ReadBits(sets->IndexBits[last])];
    }
    switch (state) {
      case kLiteral:
        if (b == kMarker) {
          state = kAfterMarker;
        } else {
          written = PutByte(window, w, static_cast<uint8_t>(b));
          --remaining;
        }
        break;
      case kAfterMarker:
        if (b == 0) {
          written = PutByte(window, w, kMarker);
          --remaining;
          state = kLiteral;
        } else {
          v = b;
          length = v & lengthMask;
          state = length == lengthMask ? kExtraLength : kDistance;
        }
        break;
      case kExtraLength:
        length += b;
        state = kDistance;
        break;
      default: {
        // A match longer than what is left is still copied in full; the
        // loop then ends on remaining, and the flush past the declared size
        // is refused (a CRC error).
        const uint32_t distance = (v >> distanceShift) * 256 + b + 1;
        remaining -= static_cast<int32_t>(length + 3);
        written = CopyMatch(window, w, w - distance, length + 3);
        state = kLiteral;
      }
    }
    last = b;
  }
  if (!written || !FlushWindow(w)) return ExtractResult::WriteFailed;
  return ExtractResult::Ok;
}

}  // namespace

ExtractResult Unreduce(uint16_t method) {
  Engine.InputExhausted = false;
  Engine.BitBuffer = 0;
  Engine.BitCount = 0;
  ResetInput();
  FollowerSets* sets = static_cast<FollowerSets*>(AllocateMemory(sizeof(FollowerSets)));
  if (!sets) return ExtractResult::WriteFailed;  // as for the output window
  memset(sets, 0, sizeof(FollowerSets));
  LoadFollowerSets(sets);
  const ExtractResult result = Decode(sets, method - 1u);
  FreeMemory(sets);
  return result;
}
