// Reading of the Zip64 extended-information extra field. The extra field is
// a sequence of blocks: a 16-bit header id, a 16-bit data length, the data.
#include "unzip/zip64.h"

#include "unzip/little_endian.h"

void ReadZip64Values(const uint8_t* extra, uint32_t extraLength, uint64_t* values, int count) {
  uint32_t at = 0;
  while (extraLength - at >= 4) {
    uint32_t id = Little16(extra + at);
    uint32_t length = Little16(extra + at + 2);
    at += 4;
    if (length > extraLength - at) return;
    if (id == 0x0001) {
      const uint8_t* data = extra + at;
      for (int i = 0; i < count; ++i) {
        if (values[i] != kZip64Marker) continue;
        if (length < 8) return;
        values[i] = Little64(data);
        data += 8;
        length -= 8;
      }
      return;
    }
    at += length;
  }
}
