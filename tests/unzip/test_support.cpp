// Test helpers of the engine: reference CRC, the ZIP archive builder and the
// recorded boxes.
#include "test_support.h"

#include "platform/posix/host_controls.h"

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
    uint32_t unpacked = e.uncompressedSize < 0 ? size : static_cast<uint32_t>(e.uncompressedSize);
    zip.headerOffsets.push_back(static_cast<uint32_t>(out.size()));
    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put32(out, e.dosDateTime);
    Put32(out, streamed && e.zeroLocalSizes ? 0 : crc);
    Put32(out, e.zeroLocalSizes ? 0 : size);
    Put32(out, e.zeroLocalSizes ? 0 : unpacked);
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(e.extra.size()));
    PutText(out, e.name);
    PutText(out, e.extra);
    out.insert(out.end(), e.data.begin(), e.data.end());
    if (streamed) {
      if (e.descriptorSignature) Put32(out, 0x08074B50);
      Put32(out, crc);
      Put32(out, size);
      Put32(out, unpacked);
    }
  }
  zip.directoryOffset = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const ZipEntry& e = entries[i];
    uint32_t crc = e.crcGiven ? e.crc : ReferenceCrc(e.data);
    uint32_t size = static_cast<uint32_t>(e.data.size());
    uint32_t unpacked = e.uncompressedSize < 0 ? size : static_cast<uint32_t>(e.uncompressedSize);
    Put32(out, 0x02014B50);
    out.push_back(20);
    out.push_back(e.hostSystem);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put32(out, e.dosDateTime);
    Put32(out, crc);
    Put32(out, size);
    Put32(out, unpacked);
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

#include "../methods/implode_encoder.h"
#include "../methods/reduce_encoder.h"
#include "../methods/shrink_encoder.h"

ZipEntry PackedEntry(const std::string& name, const Bytes& data, uint16_t method,
                     uint16_t flags) {
  ZipEntry e;
  e.name = name;
  e.method = method;
  e.flags = flags;
  e.crcGiven = true;
  e.crc = ReferenceCrc(data);
  e.uncompressedSize = static_cast<int64_t>(data.size());
  if (method == 0) {
    e.data = data;
  } else if (method == 1) {
    e.data = Shrink(data);
  } else if (method >= 2 && method <= 5) {
    e.data = Reduce(data, method - 1u, 32);
  } else if (method == 6) {
    e.data = Implode(ImplodeItems(data, flags), flags);
  } else {
    e.data = ZlibDeflate(data, 9);
  }
  return e;
}
