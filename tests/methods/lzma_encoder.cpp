// LZMA entries through liblzma; see lzma_encoder.h.
#include "lzma_encoder.h"

#include <gtest/gtest.h>
#include <lzma.h>

Bytes LzmaEntryData(const Bytes& data, const LzmaChoices& choices) {
  lzma_options_lzma options;
  EXPECT_FALSE(lzma_lzma_preset(&options, 6));
  options.dict_size = choices.dictionary != 0 ? choices.dictionary
                      : data.size() < LZMA_DICT_SIZE_MIN
                          ? LZMA_DICT_SIZE_MIN
                          : static_cast<uint32_t>(data.size());
  options.lc = choices.properties % 9;
  options.lp = choices.properties / 9 % 5;
  options.pb = choices.properties / 45;
  if (!choices.presetDictionary.empty()) {
    options.preset_dict = choices.presetDictionary.data();
    options.preset_dict_size = static_cast<uint32_t>(choices.presetDictionary.size());
  }
  // LZMA1EXT without its flag leaves the end marker out.
  options.ext_flags = 0;
  options.ext_size_low = options.ext_size_high = 0;
  lzma_filter filters[] = {
      {choices.endMarker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options},
      {LZMA_VLI_UNKNOWN, nullptr}};
  Bytes out = {9, 20, 5, 0, choices.properties};
  const uint32_t declared = choices.declaredDictionary ? choices.declaredDictionary : options.dict_size;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(declared >> (8 * i)));
  lzma_stream stream = LZMA_STREAM_INIT;
  EXPECT_EQ(LZMA_OK, lzma_raw_encoder(&stream, filters));
  stream.next_in = data.data();
  stream.avail_in = data.size();
  lzma_ret result;
  do {
    uint8_t buffer[65536];
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    result = lzma_code(&stream, LZMA_FINISH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
  } while (result == LZMA_OK);
  EXPECT_EQ(LZMA_STREAM_END, result);
  lzma_end(&stream);
  return out;
}
