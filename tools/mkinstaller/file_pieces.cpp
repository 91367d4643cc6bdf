// Reading and compressing a file's pieces; see file_pieces.h.
#include "file_pieces.h"

#include "folder_archive.h"
#include "host_files.h"

namespace {

// Memory level 7 rather than zlib's default 8: its blocks of at most 8192
// symbols follow changing data more closely, which makes program files
// about 0.5 % smaller at the same speed (text comes out the same); see
// bench/README.md.
constexpr int kMemoryLevel = 7;

// deflateBound's estimate for any stream, plus the 5 bytes of a sync flush
// and a margin: a piece's deflated form never needs more.
size_t DeflatedBound(uint32_t length) {
  return length + (length >> 3) + (length >> 6) + 64;
}

}  // namespace

Piece::Piece() {
  input.resize(kDictionarySize + kPieceSize + 1);
  compressed.resize(DeflatedBound(kPieceSize));
}

const uint8_t* PieceBytes(const Piece& piece) {
  return piece.input.data() + (piece.first ? 0 : kDictionarySize);
}

uint64_t PieceCount(uint64_t size) {
  return size <= kPieceSize ? 1 : (size + kPieceSize - 1) / kPieceSize;
}

PieceCompressor::~PieceCompressor() {
  if (ready) deflateEnd(&stream);
}

std::string StartCompressor(PieceCompressor& compressor, uint16_t method, int level) {
  compressor.method = method;
  compressor.level = level;
  if (method == kLzma) return LzmaUnavailable();
  if (deflateInit2(&compressor.stream, level, Z_DEFLATED, -15, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    return "cannot start zlib's deflate (out of memory?)";
  }
  compressor.ready = true;
  return "";
}

void PackPiece(PieceCompressor* compressor, LzmaEncoder& chain, Piece& piece) {
  piece.problem.clear();
  piece.compressedSize = 0;
  const uint32_t before = piece.first ? 0 : kDictionarySize;
  const size_t wanted = before + piece.length + (piece.last ? 1 : 0);
  InputFile file;
  size_t got = 0;
  piece.problem = OpenInput(piece.path, "file", file);
  if (piece.problem.empty()) {
    piece.problem = ReadInput(file, piece.offset - before, piece.input.data(), wanted, got);
  }
  if (!piece.problem.empty()) return;
  if (got != before + piece.length) {
    piece.problem = "file '" + piece.path + "' changed while it was packed";
    return;
  }
  const uint8_t* data = PieceBytes(piece);
  piece.crc = static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data, piece.length));
  // An empty file is stored: there is nothing to compress.
  if (compressor == nullptr || (piece.first && piece.last && piece.length == 0)) return;

  if (compressor->method == kLzma) {
    LzmaEncoder& encoder = piece.first && piece.last ? compressor->lzma : chain;
    if (piece.first) {
      piece.problem = StartLzma(encoder, compressor->level, piece.fileSize, piece.compressed,
                                piece.compressedSize);
    }
    if (piece.problem.empty()) {
      piece.problem = CompressLzma(encoder, data, piece.length, piece.last, piece.compressed,
                                   piece.compressedSize);
    }
    if (!piece.problem.empty()) {
      piece.problem = "cannot compress '" + piece.path + "': " + piece.problem;
    }
    return;
  }
  z_stream& stream = compressor->stream;
  const bool primed = deflateReset(&stream) == Z_OK &&
                      (piece.first || deflateSetDictionary(&stream, piece.input.data(),
                                                           kDictionarySize) == Z_OK);
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = piece.length;
  stream.next_out = piece.compressed.data();
  stream.avail_out = static_cast<uInt>(piece.compressed.size());
  const int result = primed ? deflate(&stream, piece.last ? Z_FINISH : Z_SYNC_FLUSH) : Z_STREAM_ERROR;
  const bool done = piece.last ? result == Z_STREAM_END
                               : result == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
  if (!done) {
    piece.problem = "cannot compress '" + piece.path + "' (zlib failed)";
    return;
  }
  piece.compressedSize = piece.compressed.size() - stream.avail_out;
}
