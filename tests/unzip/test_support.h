// Helpers shared by the engine's tests, besides the temporary directories and
// file helpers of support/test_files.h: a reference CRC-32, an archive builder
// that can write both sound and deliberately broken ZIP archives, and the
// recorded boxes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_files.h"

// Bit-at-a-time CRC-32, independent of the engine's table code.
uint32_t ReferenceCrc(const Bytes& bytes);

struct ZipEntry {
  std::string name;          // as written to the archive (forward slashes)
  Bytes data;                // the stored bytes
  int64_t uncompressedSize = -1;  // else the size of data
  uint16_t method = 0;
  uint16_t flags = 0;        // bit 3 writes a data descriptor after the data
  uint32_t dosDateTime = 0x00210000;  // 1980-01-01 00:00:00
  bool crcGiven = false;     // else the CRC of data
  uint32_t crc = 0;
  bool descriptorSignature = true;
  bool zeroLocalSizes = false;  // a streamed entry's local header without sizes
  uint8_t hostSystem = 0;
  uint32_t externalAttributes = 0;
  std::string extra;
  std::string comment;
  // Sizes (and the central offset) 0xFFFFFFFF, their values in a Zip64 field
  // after `extra`; uncompressedSize may then pass 32 bits.
  bool zip64 = false;
};

struct BuiltZip {
  Bytes bytes;
  std::vector<uint32_t> headerOffsets;
  uint32_t directoryOffset = 0;
  uint32_t endOffset = 0;
};

struct ZipLayout {
  Bytes prefix;               // bytes before the first local header
  Bytes trailing;             // bytes after the end record
  bool totalGiven = false;    // else the number of entries
  uint16_t total = 0;
  bool directoryOffsetGiven = false;
  uint32_t directoryOffset = 0;
  bool zip64 = false;         // a Zip64 end record and locator; the end record's fields full
  std::string comment;        // the end record's
};

BuiltZip BuildZip(const std::vector<ZipEntry>& entries, const ZipLayout& layout = {});

// Texts of the boxes recorded since the last ClearRecordedBoxes.
std::vector<std::string> BoxTexts();

// The text every box had as caption must be "Installer": true when so.
bool AllBoxesCaptionedInstaller();

// An entry of data packed by the given method through the test encoders of
// tests/methods (shrink 1, reduce 2-5, implode 6 with its flags bits 1 and
// 2), python3's zlib (deflate 8, level 9) or liblzma (LZMA 14, with the end
// marker and flag bit 1); 0 stores it. The CRC and the uncompressed size
// are those of data. Targets using it link the encoders.
ZipEntry PackedEntry(const std::string& name, const Bytes& data, uint16_t method,
                     uint16_t flags = 0);
