// LZMA decoding (ZIP method 14): the range decoder over the engine's input
// buffer, the adaptive bit model of literals, matches and repeated matches,
// and the dictionary, which is this method's output window.
//
// A ZIP entry's data starts with 4 bytes (the encoder's version, 2 bytes,
// and the properties' size, 16 bits, always 5), then the properties: one
// byte (pb * 5 + lp) * 9 + lc and the 32-bit dictionary size, then the
// range-coded stream. The stream ends after the declared size, or, where
// flag bit 1 says so, with an end marker (a match at distance 2^32) after it.
//
// The dictionary holds the last bytes written, up to the smaller of the
// dictionary size (at least 4096) and the entry's size, as a circular
// buffer; no distance can reach further back. It is allocated once per entry
// (the engine's 32 KB window serves when it is large enough) and flushed
// whole each time it fills, then the rest at the end, through the write path
// every method uses. The range decoder's state lives in locals; a byte is
// taken from the input buffer when the range falls below 2^24, and the
// engine refills the buffer (with its message pump, abort poll and
// compressed-size bound) when it runs dry.
#include "unzip/methods/lzma_decode.h"

#include <cstring>

#include "platform/platform.h"
#include "unzip/engine_state.h"
#include "unzip/little_endian.h"
#include "unzip/output_window.h"

namespace {

constexpr uint32_t kTopValue = 1u << 24;
constexpr uint32_t kProbabilityBits = 11;  // a probability of 0 is p / 2048
constexpr uint32_t kMoveBits = 5;          // how fast a probability adapts
constexpr uint16_t kFlagEndMarker = 0x0002;
constexpr uint32_t kPropertyValues = 9 * 5 * 5;
constexpr uint32_t kMinimumDictionary = 1u << 12;
constexpr uint32_t kEndMarker = 0xFFFFFFFF;  // as a zero-based distance
constexpr uint32_t kMatchMinimum = 2;

// Where each group of probabilities starts in the one array. States are 0
// to 11 (0 to 6 after a literal, 7 to 11 after a match); a position state
// is the output position's low pb bits (at most 4). A bit tree of n bits
// takes 2^n entries (entry 0 unused).
constexpr uint32_t kStates = 12;
constexpr uint32_t kPositionStates = 16;
// A length: a choice bit, a second choice bit, a 3-bit tree per position
// state for lengths 0 to 7, another for 8 to 15, one 8-bit tree for 16 to
// 271 (zero-based; a match is 2 longer).
constexpr uint32_t kChoice = 0;
constexpr uint32_t kChoice2 = 1;
constexpr uint32_t kLowLengths = 2;
constexpr uint32_t kMidLengths = kLowLengths + kPositionStates * 8;
constexpr uint32_t kHighLengths = kMidLengths + kPositionStates * 8;
constexpr uint32_t kLengthCoder = kHighLengths + 256;
// The model: is-match per state and position state, the four rep bits per
// state, is-rep0-long per state and position state, a 6-bit distance-slot
// tree per length state (lengths 0, 1, 2, 3 and more), the reverse trees of
// slots 4 to 13 (115 entries together), the 4-bit reverse tree of the low
// bits of far distances, the two length coders, and 0x300 entries per
// literal context.
constexpr uint32_t kIsMatch = 0;
constexpr uint32_t kIsRep = kIsMatch + kStates * kPositionStates;
constexpr uint32_t kIsRepG0 = kIsRep + kStates;
constexpr uint32_t kIsRepG1 = kIsRepG0 + kStates;
constexpr uint32_t kIsRepG2 = kIsRepG1 + kStates;
constexpr uint32_t kIsRep0Long = kIsRepG2 + kStates;
constexpr uint32_t kSlots = kIsRep0Long + kStates * kPositionStates;
constexpr uint32_t kFirstDirectSlot = 14;
constexpr uint32_t kSpecial = kSlots + 4 * 64;
constexpr uint32_t kAlign = kSpecial + 1 + 128 - kFirstDirectSlot;
constexpr uint32_t kMatchLengths = kAlign + 16;
constexpr uint32_t kRepLengths = kMatchLengths + kLengthCoder;
constexpr uint32_t kLiterals = kRepLengths + kLengthCoder;

// The state after a literal, by the state before it.
const uint8_t kAfterLiteral[kStates] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

struct RangeDecoder {
  uint32_t Range;
  uint32_t Code;
  const uint8_t* In;   // the next byte in the engine's input buffer
  const uint8_t* End;  // past the buffer's last valid byte
};

inline void Normalize(RangeDecoder& rc) {
  if (rc.Range >= kTopValue) return;
  if (rc.In == rc.End) {
    RefillInput();
    rc.In = Engine.InputBuffer;
    rc.End = Engine.InputBuffer + Engine.InputLast + 1;
  }
  rc.Range <<= 8;
  rc.Code = rc.Code << 8 | *rc.In++;
}

inline uint32_t DecodeBit(RangeDecoder& rc, uint16_t* probability) {
  const uint32_t p = *probability;
  const uint32_t bound = (rc.Range >> kProbabilityBits) * p;
  uint32_t bit;
  if (rc.Code < bound) {
    rc.Range = bound;
    *probability = static_cast<uint16_t>(p + (((1u << kProbabilityBits) - p) >> kMoveBits));
    bit = 0;
  } else {
    rc.Range -= bound;
    rc.Code -= bound;
    *probability = static_cast<uint16_t>(p - (p >> kMoveBits));
    bit = 1;
  }
  Normalize(rc);
  return bit;
}

// A bit tree of `bits` bits, highest bit first.
inline uint32_t DecodeTree(RangeDecoder& rc, uint16_t* tree, uint32_t bits) {
  uint32_t m = 1;
  for (uint32_t i = 0; i < bits; ++i) m = m << 1 | DecodeBit(rc, tree + m);
  return m - (1u << bits);
}

// A bit tree of `bits` bits, lowest bit first.
inline uint32_t DecodeReverse(RangeDecoder& rc, uint16_t* tree, uint32_t bits) {
  uint32_t m = 1;
  uint32_t value = 0;
  for (uint32_t i = 0; i < bits; ++i) {
    const uint32_t bit = DecodeBit(rc, tree + m);
    m = m << 1 | bit;
    value |= bit << i;
  }
  return value;
}

// Zero-based match length, 0 to 271.
inline uint32_t DecodeLength(RangeDecoder& rc, uint16_t* coder, uint32_t positionState) {
  const uint32_t tree = positionState * 8;
  if (!DecodeBit(rc, coder + kChoice)) return DecodeTree(rc, coder + kLowLengths + tree, 3);
  if (!DecodeBit(rc, coder + kChoice2)) return 8 + DecodeTree(rc, coder + kMidLengths + tree, 3);
  return 16 + DecodeTree(rc, coder + kHighLengths, 8);
}

// Zero-based distance of a new match, from its zero-based length. Slots 0
// to 3 are the distance itself; a higher slot gives the two top bits and
// the number of bits below, taken by a reverse tree of the slot's own
// (slots 4 to 13) or as direct bits and a shared 4-bit reverse tree.
inline uint32_t DecodeDistance(RangeDecoder& rc, uint16_t* probs, uint32_t length) {
  const uint32_t lengthState = length < 3 ? length : 3;
  const uint32_t slot = DecodeTree(rc, probs + kSlots + lengthState * 64, 6);
  if (slot < 4) return slot;
  const uint32_t bits = (slot >> 1) - 1;
  uint32_t distance = (2 | (slot & 1)) << bits;
  if (slot < kFirstDirectSlot) {
    return distance + DecodeReverse(rc, probs + kSpecial + distance - slot, bits);
  }
  uint32_t direct = 0;
  for (uint32_t i = bits - 4; i > 0; --i) {
    // Bits of probability one half: the code is compared with half the
    // range (a wrapped difference means 0, and the half is added back).
    rc.Range >>= 1;
    rc.Code -= rc.Range;
    const uint32_t zero = 0 - (rc.Code >> 31);
    rc.Code += rc.Range & zero;
    direct = (direct << 1) + (zero + 1);
    Normalize(rc);
  }
  return distance + (direct << 4) + DecodeReverse(rc, probs + kAlign, 4);
}

// The dictionary: a circular buffer of Size bytes, Pos where the next byte
// goes. Filled up, it is flushed whole and Pos starts again at 0, so the
// bytes not yet flushed are always Bytes[0 .. Pos).
struct Dictionary {
  uint8_t* Bytes;
  uint32_t Size;
  uint32_t Pos;
};

// The byte `distance` (1 to Size, and at most the bytes written) back.
inline uint32_t ByteBack(const Dictionary& d, uint32_t distance) {
  return d.Bytes[d.Pos >= distance ? d.Pos - distance : d.Pos + d.Size - distance];
}

inline bool PutByte(Dictionary& d, uint32_t byte) {
  d.Bytes[d.Pos++] = static_cast<uint8_t>(byte);
  if (d.Pos < d.Size) return true;
  d.Pos = 0;
  return FlushOutput(d.Bytes, d.Size);
}

// Repeats `length` bytes from `distance` back, as a copy byte by byte would:
// in pieces that end where the source or the destination reaches the
// buffer's end. False when a flush failed.
bool CopyBack(Dictionary& d, uint32_t distance, uint32_t length) {
  uint32_t from = d.Pos >= distance ? d.Pos - distance : d.Pos + d.Size - distance;
  while (length > 0) {
    uint32_t piece = d.Size - (from > d.Pos ? from : d.Pos);
    if (piece > length) piece = length;
    uint8_t* to = d.Bytes + d.Pos;
    const uint8_t* source = d.Bytes + from;
    if (from > d.Pos || distance >= piece) {
      // No byte of the piece is read after it is written.
      memmove(to, source, piece);
    } else {
      for (uint32_t i = 0; i < piece; ++i) to[i] = source[i];
    }
    d.Pos += piece;
    from += piece;
    length -= piece;
    if (from == d.Size) from = 0;
    if (d.Pos == d.Size) {
      d.Pos = 0;
      if (!FlushOutput(d.Bytes, d.Size)) return false;
    }
  }
  return true;
}

// The stream after the properties, into `d`, with the model `probs`.
ExtractResult DecodeStream(Dictionary& d, uint16_t* probs, uint32_t literalContextBits,
                           uint32_t literalPositionMask, uint32_t positionMask) {
  // The range coder's first byte is always 0; the next four start the code.
  if (ReadByte() != 0) return ExtractResult::BadArchive;
  RangeDecoder rc{0xFFFFFFFF, 0, nullptr, nullptr};
  for (int i = 0; i < 4; ++i) rc.Code = rc.Code << 8 | ReadByte();
  rc.In = Engine.InputBuffer + Engine.InputPos;
  rc.End = Engine.InputBuffer + Engine.InputLast + 1;

  const uint32_t size = static_cast<uint32_t>(Engine.UncompressedSize);
  const bool markerFollows = (Engine.EntryFlags & kFlagEndMarker) != 0;
  uint32_t written = 0;
  uint32_t state = 0;
  uint32_t rep0 = 0, rep1 = 0, rep2 = 0, rep3 = 0;  // zero-based distances
  uint32_t previous = 0;                            // the last byte written
  ExtractResult result = ExtractResult::Ok;
  for (;;) {
    if (Engine.AbortRequested) {
      result = ExtractResult::UserAborted;
      break;
    }
    if (Engine.InputExhausted) {
      result = ExtractResult::ReadFailed;
      break;
    }
    // Without a marker the stream ends with the declared size, where the
    // code has come down to 0.
    if (written == size && !markerFollows && rc.Code == 0) break;
    const uint32_t positionState = written & positionMask;
    if (!DecodeBit(rc, probs + kIsMatch + state * kPositionStates + positionState)) {
      if (written == size) {
        result = ExtractResult::CrcMismatch;
        break;
      }
      uint16_t* literal = probs + kLiterals +
                          0x300 * (((written & literalPositionMask) << literalContextBits) +
                                   (previous >> (8 - literalContextBits)));
      uint32_t symbol = 1;
      if (state >= 7) {
        // After a match: the byte at the last distance steers the bits as
        // long as they agree with it.
        uint32_t match = ByteBack(d, rep0 + 1);
        do {
          const uint32_t matchBit = (match >> 7) & 1;
          match <<= 1;
          const uint32_t bit = DecodeBit(rc, literal + ((1 + matchBit) << 8) + symbol);
          symbol = symbol << 1 | bit;
          if (bit != matchBit) break;
        } while (symbol < 0x100);
      }
      while (symbol < 0x100) symbol = symbol << 1 | DecodeBit(rc, literal + symbol);
      previous = symbol - 0x100;
      state = kAfterLiteral[state];
      ++written;
      if (!PutByte(d, previous)) {
        result = ExtractResult::WriteFailed;
        break;
      }
      continue;
    }

    // A new match, or a repeated one: one length coder call for both (a
    // single place that the compiler can keep inline).
    const bool repeated = DecodeBit(rc, probs + kIsRep + state) != 0;
    if (repeated) {
      if (written == 0) {
        result = ExtractResult::BadArchive;
        break;
      }
      if (!DecodeBit(rc, probs + kIsRepG0 + state)) {
        if (!DecodeBit(rc, probs + kIsRep0Long + state * kPositionStates + positionState)) {
          // One byte from the last distance.
          if (written == size) {
            result = ExtractResult::CrcMismatch;
            break;
          }
          state = state < 7 ? 9 : 11;
          previous = ByteBack(d, rep0 + 1);
          ++written;
          if (!PutByte(d, previous)) {
            result = ExtractResult::WriteFailed;
            break;
          }
          continue;
        }
      } else {
        uint32_t distance;
        if (!DecodeBit(rc, probs + kIsRepG1 + state)) {
          distance = rep1;
        } else {
          if (!DecodeBit(rc, probs + kIsRepG2 + state)) {
            distance = rep2;
          } else {
            distance = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = distance;
      }
    }
    uint32_t length =
        DecodeLength(rc, probs + (repeated ? kRepLengths : kMatchLengths), positionState);
    if (repeated) {
      state = state < 7 ? 8 : 11;
    } else {
      state = state < 7 ? 7 : 10;
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      rep0 = DecodeDistance(rc, probs, length);
      if (rep0 == kEndMarker) {
        if (rc.Code != 0) {
          result = ExtractResult::BadArchive;
        } else if (written != size) {
          result = ExtractResult::CrcMismatch;
        }
        break;
      }
      // A distance reaches back over the bytes written and the dictionary
      // at most (the dictionary holds no more than the bytes written).
      if (rep0 >= written || rep0 >= d.Size) {
        result = ExtractResult::BadArchive;
        break;
      }
    }
    length += kMatchMinimum;
    if (length > size - written) {
      result = ExtractResult::CrcMismatch;
      break;
    }
    written += length;
    if (!CopyBack(d, rep0 + 1, length)) {
      result = ExtractResult::WriteFailed;
      break;
    }
    previous = ByteBack(d, 1);
  }
  Engine.InputPos = static_cast<int16_t>(rc.In - Engine.InputBuffer);
  if (result != ExtractResult::Ok) return result;
  // The stream may not have taken bytes beyond its compressed size.
  const int32_t unread = Engine.InputLast + 1 - Engine.InputPos;
  if (Engine.BytesRead - unread > Engine.CompressedSize) return ExtractResult::ReadFailed;
  return FlushOutput(d.Bytes, d.Pos) ? ExtractResult::Ok : ExtractResult::WriteFailed;
}

}  // namespace

ExtractResult DecodeLzma() {
  ResetInput();
  Engine.BitBuffer = 0;
  Engine.BitCount = 0;
  uint8_t header[9];
  for (uint8_t& byte : header) byte = ReadByte();
  if (Engine.InputExhausted) return ExtractResult::ReadFailed;
  uint32_t properties = header[4];
  if (Little16(header + 2) != 5 || properties >= kPropertyValues) return ExtractResult::BadArchive;
  const uint32_t literalContextBits = properties % 9;
  properties /= 9;
  const uint32_t literalPositionBits = properties % 5;
  const uint32_t positionBits = properties / 5;
  uint32_t dictionarySize = Little32(header + 5);
  if (dictionarySize < kMinimumDictionary) dictionarySize = kMinimumDictionary;

  // No distance reaches before the entry's first byte: a dictionary larger
  // than the entry would never be read.
  const uint32_t size = static_cast<uint32_t>(Engine.UncompressedSize);
  Dictionary d{OutputWindow, dictionarySize < size ? dictionarySize : size, 0};
  if (d.Size > kWindowSize) d.Bytes = static_cast<uint8_t*>(AllocateMemory(d.Size));
  const uint32_t count = kLiterals + (0x300u << (literalContextBits + literalPositionBits));
  auto* probs = static_cast<uint16_t*>(AllocateMemory(count * sizeof(uint16_t)));
  ExtractResult result = ExtractResult::WriteFailed;
  if (d.Bytes && probs) {
    for (uint32_t i = 0; i < count; ++i) probs[i] = 1u << (kProbabilityBits - 1);
    result = DecodeStream(d, probs, literalContextBits, (1u << literalPositionBits) - 1,
                          (1u << positionBits) - 1);
  }
  FreeMemory(probs);
  if (d.Bytes != OutputWindow) FreeMemory(d.Bytes);
  return result;
}
