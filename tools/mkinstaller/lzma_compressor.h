// LZMA compression of a file's data into a ZIP entry of method 14: the
// entry's data is 4 bytes (the encoder's major and minor version, the
// properties' size 5 as 16 bits), the 5 property bytes, then a raw LZMA
// stream that ends with an end marker (which general-purpose flag bit 1
// announces). An encoder takes one file at a time, its bytes in order and in
// any number of parts, and is then started again for the next file.
//
// Through liblzma on Linux (lzma_compressor_liblzma.cpp). The Windows build
// has no liblzma (lzma_compressor_none.cpp): there LzmaUnavailable() says
// so and nothing is compressed.
#pragma once

#include <cstdint>
#include <string>

#include "installer_image.h"

constexpr uint16_t kLzmaEndMarkerFlag = 0x0002;

// The empty text where this build compresses with LZMA, else the reason.
std::string LzmaUnavailable();

struct LzmaEncoder {
  void* stream = nullptr;  // liblzma's, once started

  LzmaEncoder() = default;
  LzmaEncoder(const LzmaEncoder&) = delete;
  LzmaEncoder& operator=(const LzmaEncoder&) = delete;
  ~LzmaEncoder();
};

// Starts `encoder` on a file of `size` bytes with liblzma's preset `level`
// (1 to 9) and a dictionary of the file's size, at least liblzma's smallest
// (4 KB) and at most the preset's and 8 MB; writes the entry's header (9
// bytes) to out[0 ..) and sets outSize to its length. Returns the problem.
std::string StartLzma(LzmaEncoder& encoder, int level, uint64_t size, Bytes& out,
                      size_t& outSize);

// Compresses the next `length` bytes of the file, appending what comes out
// at out[outSize ..] (out grows when it must); `last` ends the stream.
// Returns the problem.
std::string CompressLzma(LzmaEncoder& encoder, const uint8_t* data, size_t length, bool last,
                         Bytes& out, size_t& outSize);
