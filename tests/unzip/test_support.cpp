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
void Put64(Bytes& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}
void PutText(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

// A Zip64 extended-information field holding the given values.
std::string Zip64Field(std::initializer_list<uint64_t> values) {
  Bytes field;
  Put16(field, 0x0001);
  Put16(field, static_cast<uint32_t>(values.size() * 8));
  for (uint64_t v : values) Put64(field, v);
  return std::string(field.begin(), field.end());
}

}  // namespace

BuiltZip BuildZip(const std::vector<ZipEntry>& entries, const ZipLayout& layout) {
  BuiltZip zip;
  Bytes& out = zip.bytes;
  out = layout.prefix;
  for (const ZipEntry& e : entries) {
    uint32_t crc = e.crcGiven ? e.crc : ReferenceCrc(e.data);
    bool streamed = (e.flags & 8) != 0;
    uint32_t size = static_cast<uint32_t>(e.data.size());
    uint64_t unpacked = e.uncompressedSize < 0 ? size : static_cast<uint64_t>(e.uncompressedSize);
    std::string extra = e.extra;
    if (e.zip64) extra += Zip64Field({e.zeroLocalSizes ? 0 : unpacked, e.zeroLocalSizes ? 0u : size});
    zip.headerOffsets.push_back(static_cast<uint32_t>(out.size()));
    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put32(out, e.dosDateTime);
    Put32(out, streamed && e.zeroLocalSizes ? 0 : crc);
    Put32(out, e.zip64 ? 0xFFFFFFFF : e.zeroLocalSizes ? 0 : size);
    Put32(out, e.zip64 ? 0xFFFFFFFF : e.zeroLocalSizes ? 0 : static_cast<uint32_t>(unpacked));
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(extra.size()));
    PutText(out, e.name);
    PutText(out, extra);
    out.insert(out.end(), e.data.begin(), e.data.end());
    if (streamed) {
      if (e.descriptorSignature) Put32(out, 0x08074B50);
      Put32(out, crc);
      Put32(out, size);
      Put32(out, static_cast<uint32_t>(unpacked));
    }
  }
  zip.directoryOffset = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const ZipEntry& e = entries[i];
    uint32_t crc = e.crcGiven ? e.crc : ReferenceCrc(e.data);
    uint32_t size = static_cast<uint32_t>(e.data.size());
    uint64_t unpacked = e.uncompressedSize < 0 ? size : static_cast<uint64_t>(e.uncompressedSize);
    std::string extra = e.extra;
    if (e.zip64) extra += Zip64Field({unpacked, size, zip.headerOffsets[i]});
    Put32(out, 0x02014B50);
    out.push_back(20);
    out.push_back(e.hostSystem);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put32(out, e.dosDateTime);
    Put32(out, crc);
    Put32(out, e.zip64 ? 0xFFFFFFFF : size);
    Put32(out, e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(unpacked));
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(extra.size()));
    Put16(out, static_cast<uint32_t>(e.comment.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, e.externalAttributes);
    Put32(out, e.zip64 ? 0xFFFFFFFF : zip.headerOffsets[i]);
    PutText(out, e.name);
    PutText(out, extra);
    PutText(out, e.comment);
  }
  uint32_t directoryEnd = static_cast<uint32_t>(out.size());
  uint16_t count = static_cast<uint16_t>(entries.size());
  uint16_t total = layout.totalGiven ? layout.total : count;
  uint32_t start = layout.directoryOffsetGiven ? layout.directoryOffset : zip.directoryOffset;
  if (layout.zip64) {
    Put32(out, 0x06064B50);
    Put64(out, 44);  // the record's size after this field
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, count);
    Put64(out, total);
    Put64(out, directoryEnd - zip.directoryOffset);
    Put64(out, start);
    Put32(out, 0x07064B50);  // the locator
    Put32(out, 0);
    Put64(out, directoryEnd);
    Put32(out, 1);
  }
  zip.endOffset = static_cast<uint32_t>(out.size());
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, layout.zip64 ? 0xFFFF : count);
  Put16(out, layout.zip64 ? 0xFFFF : total);
  Put32(out, layout.zip64 ? 0xFFFFFFFF : directoryEnd - zip.directoryOffset);
  Put32(out, layout.zip64 ? 0xFFFFFFFF : start);
  Put16(out, static_cast<uint32_t>(layout.comment.size()));
  PutText(out, layout.comment);
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
#include "../methods/lzma_encoder.h"
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
  } else if (method == 14) {
    e.data = LzmaEntryData(data);
    e.flags |= 0x0002;
  } else {
    e.data = ZlibDeflate(data, 9);
  }
  return e;
}
