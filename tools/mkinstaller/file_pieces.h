// A file's pieces: how a file is cut into parts that threads read and
// compress, and the work on one part. A file of at most kPieceSize bytes is
// one piece, compressed whole as one stream. A larger one is cut into
// pieces of kPieceSize bytes. Deflated, each is deflated on its own by a
// fresh stream primed with the 32 KB of the file before it, and all but the
// last end with a sync flush (an empty stored block), so that the pieces
// joined in order form one deflate stream. With LZMA, whose stream cannot
// be cut so, one encoder takes the file's pieces one after the other. How a
// file is cut depends on its size only, never on the number of threads: the
// archive stays the same.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

#include "installer_image.h"
#include "lzma_compressor.h"

constexpr uint32_t kPieceSize = 1 << 20;
constexpr uint32_t kDictionarySize = 32768;  // deflate's window

// One piece: where it lies, then what reading and compressing it gave.
struct Piece {
  std::string path;  // of the file
  uint64_t fileSize = 0;
  uint64_t offset = 0;
  uint32_t length = 0;
  bool first = false, last = false;

  // The 32 KB before `offset` (unless first), then the piece's bytes; one
  // more is read after the last piece to see that the file ends there.
  Bytes input;
  Bytes compressed;  // its used part: compressedSize bytes
  size_t compressedSize = 0;
  uint32_t crc = 0;  // CRC-32 of the piece's own bytes
  std::string problem;

  Piece();  // allocates the buffers for the largest piece
};

// The piece's own bytes in its input.
const uint8_t* PieceBytes(const Piece& piece);

// The number of pieces a file of `size` bytes is cut into (one when empty).
uint64_t PieceCount(uint64_t size);

// What one thread compresses with: a deflate stream it reuses for its
// pieces, or an LZMA encoder for the files of one piece.
struct PieceCompressor {
  uint16_t method = 0;  // kDeflated or kLzma
  int level = 0;
  z_stream stream{};
  bool ready = false;  // the deflate stream
  LzmaEncoder lzma;

  PieceCompressor() = default;
  PieceCompressor(const PieceCompressor&) = delete;
  PieceCompressor& operator=(const PieceCompressor&) = delete;
  ~PieceCompressor();
};

// Prepares `compressor` for raw deflate at `level` (1 to 9), or for LZMA
// with liblzma's preset `level`.
std::string StartCompressor(PieceCompressor& compressor, uint16_t method, int level);

// Reads `piece` from its file and takes its CRC-32; with a compressor,
// compresses it too: deflated, or with LZMA by the compressor's own encoder
// for a file of one piece, else by `chain`, which must get the pieces of a
// larger file in order. Sets piece.problem when the file cannot be read,
// does not hold the bytes planned (it changed since it was listed), or the
// compressor fails.
void PackPiece(PieceCompressor* compressor, LzmaEncoder& chain, Piece& piece);
