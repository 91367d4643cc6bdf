// LZMA entries through liblzma's raw LZMA1 encoder; see lzma_compressor.h.
#include <lzma.h>

#include <algorithm>

#include "lzma_compressor.h"

namespace {

// The largest dictionary: 8 MB (xz's default) leaves the encoder of a large
// file at about 95 MB and the installer's decoder at 8 MB; 32 MB made a
// 27 MB program file 0.4 % smaller for three times the encoder's memory.
constexpr uint32_t kLargestDictionary = 8 << 20;

lzma_stream* StreamOf(LzmaEncoder& encoder) { return static_cast<lzma_stream*>(encoder.stream); }

}  // namespace

std::string LzmaUnavailable() { return ""; }

LzmaEncoder::~LzmaEncoder() {
  if (stream == nullptr) return;
  lzma_end(StreamOf(*this));
  delete StreamOf(*this);
}

std::string StartLzma(LzmaEncoder& encoder, int level, uint64_t size, Bytes& out,
                      size_t& outSize) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, static_cast<uint32_t>(level))) {
    return "liblzma has no preset " + std::to_string(level);
  }
  // No distance reaches further back than the file's start: a larger
  // dictionary would only cost the encoder's and the installer's memory.
  if (options.dict_size > kLargestDictionary) options.dict_size = kLargestDictionary;
  if (size < options.dict_size) {
    options.dict_size =
        size < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : static_cast<uint32_t>(size);
  }
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (encoder.stream == nullptr) encoder.stream = new lzma_stream(LZMA_STREAM_INIT);
  uint8_t properties[5];
  if (lzma_raw_encoder(StreamOf(encoder), filters) != LZMA_OK ||
      lzma_properties_encode(filters, properties) != LZMA_OK) {
    return "cannot start liblzma's encoder (out of memory?)";
  }
  const uint32_t version = lzma_version_number();  // major * 10^7 + minor * 10^4 + ...
  const uint8_t header[4] = {static_cast<uint8_t>(version / 10000000),
                             static_cast<uint8_t>(version / 10000 % 1000), 5, 0};
  if (out.size() < sizeof header + sizeof properties) out.resize(sizeof header + sizeof properties);
  std::copy(header, header + sizeof header, out.begin());
  std::copy(properties, properties + sizeof properties, out.begin() + sizeof header);
  outSize = sizeof header + sizeof properties;
  return "";
}

std::string CompressLzma(LzmaEncoder& encoder, const uint8_t* data, size_t length, bool last,
                         Bytes& out, size_t& outSize) {
  lzma_stream& stream = *StreamOf(encoder);
  stream.next_in = data;
  stream.avail_in = length;
  for (;;) {
    if (outSize == out.size()) out.resize(out.size() + out.size() / 2 + 4096);
    stream.next_out = out.data() + outSize;
    stream.avail_out = out.size() - outSize;
    const lzma_ret result = lzma_code(&stream, last ? LZMA_FINISH : LZMA_RUN);
    outSize = out.size() - stream.avail_out;
    if (result == LZMA_STREAM_END) return "";
    if (result != LZMA_OK) return "liblzma failed (" + std::to_string(result) + ")";
    // Without `last`, what the encoder still holds comes out with later parts.
    if (!last && stream.avail_in == 0 && stream.avail_out > 0) return "";
  }
}
