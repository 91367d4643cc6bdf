// Decoder test helpers: bit writer, raw-stream runners and shell helpers.
#include "inflate_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <random>

#include "platform/platform.h"
#include "unzip/engine_state.h"
#include "unzip/methods/inflate.h"
#include "unzip/output_window.h"

void BitWriter::Put(uint32_t value, uint32_t bits) {
  for (uint32_t i = 0; i < bits; ++i) {
    acc_ |= ((value >> i) & 1) << count_;
    if (++count_ == 8) {
      out_.push_back(static_cast<uint8_t>(acc_));
      acc_ = 0;
      count_ = 0;
    }
  }
}

void BitWriter::PutCode(uint32_t code, uint32_t length) {
  for (uint32_t i = length; i-- > 0;) Put((code >> i) & 1, 1);
}

void BitWriter::AlignToByte() {
  if (count_) Put(0, 8 - count_);
}

Bytes BitWriter::Finish() {
  AlignToByte();
  return out_;
}

void BitWriter::FixedSymbol(uint32_t s) {
  if (s < 144) PutCode(0x30 + s, 8);
  else if (s < 256) PutCode(0x190 + s - 144, 9);
  else if (s < 280) PutCode(s - 256, 7);
  else PutCode(0xC0 + s - 280, 8);
}

namespace {
const uint32_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint32_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
}  // namespace

SymbolWithExtra LengthSymbol(uint32_t length) {
  if (length == 258) return {285, 0, 0};
  uint32_t i = 28;
  while (kLengthBase[i] > length) --i;
  const uint32_t extra = i < 8 ? 0 : (i - 4) / 4;
  return {257 + i, extra, length - kLengthBase[i]};
}

SymbolWithExtra DistanceSymbol(uint32_t distance) {
  uint32_t i = 29;
  while (kDistanceBase[i] > distance) --i;
  const uint32_t extra = i < 4 ? 0 : (i - 2) / 2;
  return {i, extra, distance - kDistanceBase[i]};
}

void BitWriter::FixedLength(uint32_t length) {
  const SymbolWithExtra s = LengthSymbol(length);
  FixedSymbol(s.symbol);
  Put(s.extraValue, s.extraBits);
}

void BitWriter::FixedDistance(uint32_t distance) {
  const SymbolWithExtra s = DistanceSymbol(distance);
  PutCode(s.symbol, 5);
  Put(s.extraValue, s.extraBits);
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[17] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int bits = 1; bits <= 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t v = 0; v < lengths.size(); ++v)
    if (lengths[v]) codes[v] = next[lengths[v]]++;
  return codes;
}

InflateRun RunInflate(const Bytes& stream, const Bytes& trailer, int32_t compressedSize,
                      uint16_t abortKey) {
  return RunDecoder(Inflate, 0, 0, stream, trailer, compressedSize, abortKey);
}

InflateRun RunDecoder(ExtractResult (*decoder)(), int32_t uncompressedSize, uint16_t flags,
                      const Bytes& stream, const Bytes& trailer, int32_t compressedSize,
                      uint16_t abortKey) {
  TempDir dir;
  Bytes file = stream;
  file.insert(file.end(), trailer.begin(), trailer.end());
  WriteWholeFile(dir / "data", file);

  Bytes window(kWindowSize, 0);
  OutputWindow = window.data();
  bool pathMissing = false;
  OutputFile = CreateOutputFile((dir / "out").c_str(), &pathMissing);
  Engine.Archive = OpenForReading((dir / "data").c_str());
  EXPECT_NE(kNoFile, OutputFile);
  EXPECT_NE(kNoFile, Engine.Archive);
  Engine.AbortRequested = false;
  Engine.CompressedSize = compressedSize < 0 ? static_cast<int32_t>(stream.size()) : compressedSize;
  Engine.UncompressedSize = uncompressedSize;
  Engine.EntryFlags = flags;
  Engine.BytesRead = 0;
  Engine.InputExhausted = false;
  Engine.AbortKey = abortKey;
  Engine.LastPercent = 0;
  Engine.RunningCrc = 0xFFFFFFFF;

  InflateRun run;
  run.result = decoder();
  run.crc = ~Engine.RunningCrc;
  run.bytesRead = Engine.BytesRead;
  CloseFile(Engine.Archive);
  CloseFile(OutputFile);
  OutputFile = kNoFile;
  OutputWindow = nullptr;
  run.output = ReadWholeFile(dir / "out");
  return run;
}

bool Shell(const std::string& command) {
  const int status = system(command.c_str());
  EXPECT_EQ(0, status) << command;
  return status == 0;
}

Bytes ZlibDeflate(const Bytes& data, int level, const std::string& strategy) {
  TempDir dir;
  WriteWholeFile(dir / "in", data);
  const std::string script =
      "import zlib,sys\n"
      "d=open(sys.argv[1],'rb').read()\n"
      "c=zlib.compressobj(int(sys.argv[3]),zlib.DEFLATED,-15,9,zlib." + strategy + ")\n"
      "open(sys.argv[2],'wb').write(c.compress(d)+c.flush())\n";
  WriteWholeFile(dir / "z.py", ToBytes(script));
  Shell("python3 " + (dir / "z.py").string() + " " + (dir / "in").string() + " " +
        (dir / "out").string() + " " + std::to_string(level));
  return ReadWholeFile(dir / "out");
}

Bytes TextBytes(size_t count, uint32_t seed) {
  static const char* const kWords[] = {"the ",    "window ", "archive ", "entry ",  "deflate ",
                                       "block ",  "code ",   "length ",  "table ",  "stub\n",
                                       "orvane ", "of ",     "and ",     "install ", "file "};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < count) {
    const char* w = kWords[rng() % 15];
    while (*w && out.size() < count) out.push_back(static_cast<uint8_t>(*w++));
  }
  return out;
}

Bytes MixedBytes(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < count) {
    const size_t piece = std::min<size_t>(count - out.size(), 1 + rng() % 5000);
    switch (rng() % 3) {
      case 0: {
        Bytes t = TextBytes(piece, rng());
        out.insert(out.end(), t.begin(), t.end());
        break;
      }
      case 1:
        out.insert(out.end(), piece, static_cast<uint8_t>(rng()));
        break;
      default:
        for (size_t i = 0; i < piece; ++i) out.push_back(static_cast<uint8_t>(rng()));
    }
  }
  return out;
}
