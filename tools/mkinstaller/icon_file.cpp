// .ico files and icon resources; see icon_file.h.
//
// An .ico file: a 6-byte header (reserved 0, type 1, image count), then a
// 16-byte entry per image (the 12 shared bytes, then the image's offset in
// the file), then the images. The group resource has the same header and
// 14-byte entries: the 12 shared bytes, then the image's RT_ICON id.
#include "icon_file.h"

#include <algorithm>

#include "unzip/little_endian.h"

namespace {

constexpr size_t kHeaderSize = 6, kFileEntrySize = 16, kGroupEntrySize = 14;

void Put16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

bool IsIconHeader(const Bytes& data) {
  return data.size() >= kHeaderSize && Little16(data.data()) == 0 && Little16(data.data() + 2) == 1;
}

// Width or height as a number of pixels: the byte 0 stands for 256.
unsigned Pixels(uint8_t stored) { return stored == 0 ? 256 : stored; }

}  // namespace

std::string ReadIconFile(const Bytes& contents, std::vector<IconImage>& images) {
  if (!IsIconHeader(contents)) return "icon file has no icon header (reserved 0, type 1)";
  const size_t count = Little16(contents.data() + 4);
  if (count == 0) return "icon file holds no images";
  const size_t directoryEnd = kHeaderSize + count * kFileEntrySize;
  if (directoryEnd > contents.size()) return "icon file's directory runs past its end";
  std::vector<IconImage> read(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = contents.data() + kHeaderSize + i * kFileEntrySize;
    const uint64_t size = Little32(entry + 8), offset = Little32(entry + 12);
    const std::string which = "icon file's image " + std::to_string(i + 1);
    if (size == 0 || offset < directoryEnd || offset + size > contents.size()) {
      return which + " lies outside the file";
    }
    const uint8_t* image = contents.data() + offset;
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const bool png = size >= 8 && std::equal(kPng, kPng + 8, image);
    const bool dib = size >= 40 && Little32(image) == 40;  // BITMAPINFOHEADER's size
    if (!png && !dib) return which + " is neither a bitmap nor a PNG image";
    std::copy(entry, entry + 12, read[i].header);
    read[i].data.assign(image, image + size);
  }
  images = std::move(read);
  return "";
}

Bytes IconGroupResource(const std::vector<IconImage>& images, uint16_t firstId) {
  Bytes group;
  Put16(group, 0);
  Put16(group, 1);
  Put16(group, static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    group.insert(group.end(), images[i].header, images[i].header + 12);
    Put16(group, static_cast<uint16_t>(firstId + i));
  }
  return group;
}

std::string IconGroupSizes(const Bytes& group, std::vector<std::string>& sizes) {
  if (!IsIconHeader(group)) return "the icon group has no icon header";
  const size_t count = Little16(group.data() + 4);
  if (kHeaderSize + count * kGroupEntrySize > group.size()) {
    return "the icon group lists more images than it holds";
  }
  sizes.clear();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = group.data() + kHeaderSize + i * kGroupEntrySize;
    sizes.push_back(std::to_string(Pixels(entry[0])) + "x" + std::to_string(Pixels(entry[1])));
  }
  return "";
}
