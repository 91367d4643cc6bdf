// Helpers of the decoder tests: a bit writer for hand-made deflate streams,
// runners that inflate (or decode by any method) a raw stream through the
// engine's input layer and output window, and the shell helpers that make
// data with outside tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../unzip/test_support.h"
#include "unzip/extract_result.h"

// Writes values least significant bit first, as deflate packs them;
// Huffman codes go most significant bit first.
class BitWriter {
 public:
  void Put(uint32_t value, uint32_t bits);
  void PutCode(uint32_t code, uint32_t length);
  void AlignToByte();
  void PutByte(uint8_t b) { Put(b, 8); }
  Bytes Finish();  // pads the last byte with zeros

  // Fixed-block items: literal or end of block, a length, a distance.
  void FixedSymbol(uint32_t symbol);
  void FixedLength(uint32_t length);
  void FixedDistance(uint32_t distance);
  void FixedMatch(uint32_t length, uint32_t distance) {
    FixedLength(length);
    FixedDistance(distance);
  }

 private:
  Bytes out_;
  uint32_t acc_ = 0;
  uint32_t count_ = 0;
};

// Length and distance symbols with their extra bits, from RFC 1951.
struct SymbolWithExtra {
  uint32_t symbol, extraBits, extraValue;
};
SymbolWithExtra LengthSymbol(uint32_t length);
SymbolWithExtra DistanceSymbol(uint32_t distance);

// Canonical code values of a set of code lengths.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

struct InflateRun {
  ExtractResult result;
  Bytes output;        // what reached the output file
  uint32_t crc;        // the engine's running CRC, complemented
  int32_t bytesRead;   // compressed bytes read, in whole refills
};

// Runs a decoder on stream as an entry (with the given uncompressed size and
// flags) whose data is followed by trailer in the file; compressedSize < 0
// means the stream's length. abortKey is polled as entry extraction sets it.
// The output file keeps whatever was flushed, also after a failure.
InflateRun RunInflate(const Bytes& stream, const Bytes& trailer = Bytes(64, 0xA5),
                      int32_t compressedSize = -1, uint16_t abortKey = 0);
InflateRun RunDecoder(ExtractResult (*decoder)(), int32_t uncompressedSize, uint16_t flags,
                      const Bytes& stream, const Bytes& trailer = Bytes(64, 0xA5),
                      int32_t compressedSize = -1, uint16_t abortKey = 0);

// Runs a shell command; fails the test (and returns false) on a non-zero exit.
bool Shell(const std::string& command);
// Raw deflate of data by python3's zlib with the given level and strategy.
Bytes ZlibDeflate(const Bytes& data, int level, const std::string& strategy = "Z_DEFAULT_STRATEGY");

// Test data: words, runs and noise, seeded.
Bytes TextBytes(size_t count, uint32_t seed);
Bytes MixedBytes(size_t count, uint32_t seed);
