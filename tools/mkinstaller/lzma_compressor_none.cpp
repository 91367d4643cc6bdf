// The Windows build's stand-in for LZMA compression: no liblzma is built for
// mingw-w64 here, so LZMA entries are refused; see lzma_compressor.h.
#include "lzma_compressor.h"

std::string LzmaUnavailable() {
  return "this build of mkinstaller (Windows) cannot compress with LZMA: it has no liblzma; "
         "use --method deflate, or mkinstaller on Linux";
}

LzmaEncoder::~LzmaEncoder() = default;

std::string StartLzma(LzmaEncoder&, int, uint64_t, Bytes&, size_t&) { return LzmaUnavailable(); }

std::string CompressLzma(LzmaEncoder&, const uint8_t*, size_t, bool, Bytes&, size_t&) {
  return LzmaUnavailable();
}
