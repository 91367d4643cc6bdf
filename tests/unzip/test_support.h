// Helpers shared by the engine's tests: temporary directories, whole-file
// reads and writes, a reference CRC-32, an archive builder that can write
// both sound and deliberately broken ZIP archives, and the recorded boxes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

// A fresh directory under the system's temporary directory, removed (with
// everything in it) at the end of its life. The process's current directory,
// which extraction changes, is put back as well.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
  fs::path savedCwd_;
};

Bytes ReadWholeFile(const fs::path& path);
void WriteWholeFile(const fs::path& path, const Bytes& bytes);
Bytes ToBytes(const std::string& text);
Bytes PatternBytes(size_t count, uint32_t seed = 1);

// Bit-at-a-time CRC-32, independent of the engine's table code.
uint32_t ReferenceCrc(const Bytes& bytes);

struct ZipEntry {
  std::string name;          // as written to the archive (forward slashes)
  Bytes data;                // the stored bytes
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
};

BuiltZip BuildZip(const std::vector<ZipEntry>& entries, const ZipLayout& layout = {});

// Texts of the boxes recorded since the last ClearRecordedBoxes.
std::vector<std::string> BoxTexts();

// The text every box had as caption must be "Installer": true when so.
bool AllBoxesCaptionedInstaller();
