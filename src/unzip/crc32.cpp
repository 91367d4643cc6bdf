// CRC-32 of the bytes written (reflected polynomial 0xEDB88320, as ZIP uses).
// Eight bytes are folded per step through eight derived tables; the tables
// are built once at run time into zeroed static memory (kept out of the
// Windows file by the unzip library's build flags) so that the stub's file
// does not carry them.
//
// The table's top bytes are all different, so a step can be undone: the
// top byte of the register after a step names the table row that was used.
#include "unzip/crc32.h"

#include "unzip/engine_state.h"

namespace {

uint32_t table[8][256];
uint8_t rowOfTopByte[256];  // the row of table[0] whose top byte is the index
bool tableReady = false;

void BuildTables() {
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
  for (uint32_t i = 0; i < 256; ++i) rowOfTopByte[table[0][i] >> 24] = static_cast<uint8_t>(i);
  tableReady = true;
}

inline uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t ContinueCrc(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  if (!tableReady) BuildTables();
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
  return crc;
}

void UpdateCrc(const uint8_t* bytes, uint32_t count) {
  Engine.RunningCrc = ContinueCrc(Engine.RunningCrc, bytes, count);
}

uint32_t RemoveCrcTail(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  if (!tableReady) BuildTables();
  // A step is crc' = table[0][(crc ^ b) & 0xFF] ^ (crc >> 8), whose top byte
  // comes from the table alone.
  while (count-- > 0) {
    const uint8_t row = rowOfTopByte[crc >> 24];
    crc = (crc ^ table[0][row]) << 8 | static_cast<uint8_t>(row ^ bytes[count]);
  }
  return crc;
}
