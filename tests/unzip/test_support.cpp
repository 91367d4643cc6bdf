// Test helpers: temporary directories, file I/O, reference CRC and the ZIP
// archive builder.
#include "test_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "platform/posix/host_controls.h"

TempDir::TempDir() : savedCwd_(fs::current_path()) {
  std::string pattern = (fs::temp_directory_path() / "engine-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::current_path(savedCwd_, ignored);
  // Read-only files and directories must be writable again to go.
  for (auto& e : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

Bytes ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteWholeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes PatternBytes(size_t count, uint32_t seed) {
  Bytes out(count);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

uint32_t ReferenceCrc(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

namespace {

void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutText(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

}  // namespace

BuiltZip BuildZip(const std::vector<ZipEntry>& entries, const ZipLayout& layout) {
  BuiltZip zip;
  Bytes& out = zip.bytes;
  out = layout.prefix;
  for (const ZipEntry& e : entries) {
    uint32_t crc = e.crcGiven ? e.crc : ReferenceCrc(e.data);
    bool streamed = (e.flags & 8) != 0;
    uint32_t size = static_cast<uint32_t>(e.data.size());
    zip.headerOffsets.push_back(static_cast<uint32_t>(out.size()));
    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put32(out, e.dosDateTime);
    Put32(out, streamed && e.zeroLocalSizes ? 0 : crc);
    Put32(out, e.zeroLocalSizes ? 0 : size);
    Put32(out, e.zeroLocalSizes ? 0 : size);
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(e.extra.size()));
    PutText(out, e.name);
    PutText(out, e.extra);
    out.insert(out.end(), e.data.begin(), e.data.end());
    if (streamed) {
      if (e.descriptorSignature) Put32(out, 0x08074B50);
      Put32(out, crc);
      Put32(out, size);
      Put32(out, size);
    }
  }
  zip.directoryOffset = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const ZipEntry& e = entries[i];
    uint32_t crc = e.crcGiven ? e.crc : ReferenceCrc(e.data);
    uint32_t size = static_cast<uint32_t>(e.data.size());
    Put32(out, 0x02014B50);
    out.push_back(20);
    out.push_back(e.hostSystem);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put32(out, e.dosDateTime);
    Put32(out, crc);
    Put32(out, size);
    Put32(out, size);
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(e.extra.size()));
    Put16(out, static_cast<uint32_t>(e.comment.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, e.externalAttributes);
    Put32(out, zip.headerOffsets[i]);
    PutText(out, e.name);
    PutText(out, e.extra);
    PutText(out, e.comment);
  }
  zip.endOffset = static_cast<uint32_t>(out.size());
  uint16_t count = static_cast<uint16_t>(entries.size());
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, count);
  Put16(out, layout.totalGiven ? layout.total : count);
  Put32(out, zip.endOffset - zip.directoryOffset);
  Put32(out, layout.directoryOffsetGiven ? layout.directoryOffset : zip.directoryOffset);
  Put16(out, 0);
  out.insert(out.end(), layout.trailing.begin(), layout.trailing.end());
  return zip;
}

std::vector<std::string> BoxTexts() {
  std::vector<std::string> texts;
  for (int i = 0; i < RecordedBoxCount() && i < kMaxRecordedBoxes; ++i) {
    texts.push_back(RecordedBoxAt(i).text);
  }
  return texts;
}

bool AllBoxesCaptionedInstaller() {
  for (int i = 0; i < RecordedBoxCount() && i < kMaxRecordedBoxes; ++i) {
    if (std::string(RecordedBoxAt(i).caption) != "Installer") return false;
  }
  return true;
}
