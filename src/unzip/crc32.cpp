// CRC-32 of the bytes written (reflected polynomial 0xEDB88320, as ZIP uses).
// Eight bytes are folded per step through eight derived tables. The tables
// are built once, on first use, in memory from the heap: a static array
// would be written into the stub's file by the Windows toolchain (zeroed
// data there is not kept out of the file), costing 8 KB of the budget.
#include "unzip/engine_state.h"

namespace {

using Table = uint32_t[256];
Table* table = nullptr;  // eight tables, kept for the life of the process

bool BuildTables() {
  table = static_cast<Table*>(AllocateMemory(8 * sizeof(Table)));
  if (!table) return false;
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
  return true;
}

inline uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

void UpdateCrc(const uint8_t* bytes, uint32_t count) {
  uint32_t crc = Engine.RunningCrc;
  if (!table && !BuildTables()) {
    // No memory for the tables: the same register, one bit at a time.
    while (count-- > 0) {
      crc ^= *bytes++;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    Engine.RunningCrc = crc;
    return;
  }
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
  Engine.RunningCrc = crc;
}
