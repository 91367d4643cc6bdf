// CRC-32 of the bytes written (reflected polynomial 0xEDB88320, as ZIP uses).
//
// Two ways, same register. Where the processor multiplies without carries,
// runs of 16-byte blocks are folded with PCLMULQDQ and only the last block's
// remainder and the tail go through the tables. Elsewhere (every processor
// before 2010, the i486 the stub still runs on) eight bytes are folded per
// step through eight derived tables. The tables are built once at run time
// into zeroed static memory (kept out of the Windows file by the unzip
// library's build flags) so that the stub's file does not carry them.
//
// The folding, in polynomials over GF(2) with P = x^32 + 0x04C11DB7: bytes
// are read first bit first, so a message M of blocks B1 .. Bn is
// B1 x^(128(n-1)) + ... + Bn, and its CRC is M x^32 mod P (with the running
// register added into the first 32 bits of M). A 128-bit accumulator
// A = H x^64 + L absorbs the next block as A x^128 + B, which has the same
// remainder as H (x^192 mod P) + L (x^128 mod P) + B, again under 128 bits.
// Reflected operands of 64 bits multiply into a reflected product one bit
// short of 128, so each constant is taken one power lower: x^191 and x^127.
// Four accumulators 512 bits apart (x^575, x^511) keep the multiplier busy
// and are folded into one at the end. The CRC of A itself, that is of its
// 16 bytes from a zero register, is A x^32 mod P: the tables finish it.
#include "unzip/crc32.h"

#include <emmintrin.h>
#include <wmmintrin.h>

#include "unzip/engine_state.h"

namespace {

uint32_t table[8][256];
bool tableReady = false;

void BuildTables() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[0][i] = c;
  }
  // table[k][i]: the register after i is followed by k zero bytes.
  for (int k = 1; k < 8; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = table[k - 1][i];
      table[k][i] = table[0][c & 0xFF] ^ (c >> 8);
    }
  }
  tableReady = true;
}

inline uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t TableCrc(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  while (count >= 8) {
    uint32_t lo = LoadLittle32(bytes) ^ crc;
    uint32_t hi = LoadLittle32(bytes + 4);
    crc = table[7][lo & 0xFF] ^ table[6][(lo >> 8) & 0xFF] ^ table[5][(lo >> 16) & 0xFF] ^
          table[4][lo >> 24] ^ table[3][hi & 0xFF] ^ table[2][(hi >> 8) & 0xFF] ^
          table[1][(hi >> 16) & 0xFF] ^ table[0][hi >> 24];
    bytes += 8;
    count -= 8;
  }
  while (count-- > 0) crc = table[0][(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
  return crc;
}

// Below this many bytes the tables are as quick as setting up the fold.
constexpr uint32_t kFoldMinimum = 64;

// One fold: the accumulator moved forward by the constants' distance, plus
// the next block.
__attribute__((target("pclmul,sse2"), always_inline)) inline __m128i FoldPclmul(__m128i a,
                                                                               __m128i by,
                                                                               __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, by, 0x00),
                                     _mm_clmulepi64_si128(a, by, 0x11)),
                       next);
}

}  // namespace

// Folds blocks (at least 1) 16-byte blocks, the register added into the
// first, down to one 16-byte accumulator with the same remainder, stored to
// rest. Each constant is reflect64(x^k mod P) for the k named; the low half
// multiplies the accumulator's earlier 64 bits.
extern "C" __attribute__((target("pclmul,sse2"), noinline)) void FoldBlocksPclmul(
    const uint8_t* bytes, uint32_t blocks, uint32_t crc, uint8_t* rest) {
  const __m128i by128 = _mm_set_epi32(static_cast<int>(0x9BA54C6Fu), 0,  // x^127
                                      static_cast<int>(0x65673B46u), 0);  // x^191
  const __m128i by512 = _mm_set_epi32(static_cast<int>(0xCAD38E8Fu), 0,  // x^511
                                      static_cast<int>(0x653D9822u), 0);  // x^575
  const __m128i* p = reinterpret_cast<const __m128i*>(bytes);
  __m128i a0 = _mm_xor_si128(_mm_loadu_si128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  ++p;
  --blocks;
  if (blocks >= 7) {
    __m128i a1 = _mm_loadu_si128(p);
    __m128i a2 = _mm_loadu_si128(p + 1);
    __m128i a3 = _mm_loadu_si128(p + 2);
    p += 3;
    blocks -= 3;
    for (; blocks >= 4; blocks -= 4, p += 4) {
      a0 = FoldPclmul(a0, by512, _mm_loadu_si128(p));
      a1 = FoldPclmul(a1, by512, _mm_loadu_si128(p + 1));
      a2 = FoldPclmul(a2, by512, _mm_loadu_si128(p + 2));
      a3 = FoldPclmul(a3, by512, _mm_loadu_si128(p + 3));
    }
    // The four accumulators are consecutive blocks of one message.
    a0 = FoldPclmul(FoldPclmul(FoldPclmul(a0, by128, a1), by128, a2), by128, a3);
  }
  for (; blocks > 0; --blocks, ++p) a0 = FoldPclmul(a0, by128, _mm_loadu_si128(p));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), a0);
}

uint32_t ContinueCrc(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  if (!tableReady) BuildTables();
  if (count >= kFoldMinimum && CarrylessMultiplyUsable()) {
    const uint32_t folded = count & ~15u;
    uint8_t rest[16];
    FoldBlocksPclmul(bytes, folded / 16, crc, rest);
    crc = TableCrc(0, rest, sizeof rest);
    bytes += folded;
    count -= folded;
  }
  return TableCrc(crc, bytes, count);
}

void UpdateCrc(const uint8_t* bytes, uint32_t count) {
  Engine.RunningCrc = ContinueCrc(Engine.RunningCrc, bytes, count);
}
