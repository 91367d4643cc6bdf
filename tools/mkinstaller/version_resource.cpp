// Version information resources; see version_resource.h.
//
// A VS_VERSIONINFO is a tree of blocks. Each block: its length in bytes
// (16 bits, without the padding after it), its value's length (in UTF-16
// units for text, in bytes for binary data), its type (1 text, 0 binary),
// its key in UTF-16 with a NUL, padding to 4 bytes, its value, padding to
// 4 bytes, then its child blocks, each starting at a 4-byte boundary.
// The root "VS_VERSION_INFO" holds the 52-byte VS_FIXEDFILEINFO and two
// children: "StringFileInfo" with one table per language and code page
// ("040904B0": US English, UTF-16) of key/value strings, and "VarFileInfo"
// whose "Translation" lists that language and code page.
#include "version_resource.h"

#include <algorithm>
#include <cstdint>

#include "unzip/little_endian.h"

namespace {

const char* const kFieldNames[] = {
    "FileDescription", "ProductName",      "CompanyName",  "LegalCopyright", "FileVersion",
    "ProductVersion",  "OriginalFilename", "InternalName", "Comments",
};

// Explorer shows far less; the bound keeps the whole resource within the
// 16-bit block length with every field at its longest.
constexpr size_t kLongestValue = 1024;  // UTF-16 units
constexpr uint16_t kLanguage = 0x0409, kCodePage = 1200;

using Utf16 = std::vector<uint16_t>;

// False when `text` is not well-formed UTF-8 (overlong forms, surrogates and
// values above U+10FFFF included).
bool Utf8ToUtf16(const std::string& text, Utf16& out) {
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const size_t length = byte < 0x80 ? 1 : (byte >> 5) == 6 ? 2 : (byte >> 4) == 14 ? 3
                                          : (byte >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    static const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
      return false;
    }
    if (code >= 0x10000) {
      out.push_back(static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<uint16_t>(code));
    }
    i += length;
  }
  return true;
}

void AppendUtf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16 units from `p` up to a NUL or `count` units; a lone surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(const uint8_t* p, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    uint32_t code = Little16(p + 2 * i);
    if (code == 0) break;
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < count) {
      const uint32_t low = Little16(p + 2 * i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
    AppendUtf8(code, out);
  }
  return out;
}

// The leading version number of `value`: one to four numbers of 0 to
// 65535 joined by dots, ending the value or followed by neither a digit nor
// a dot ("2.5 beta" gives 2.5.0.0). Returns false when it has none.
bool LeadingVersion(const std::string& value, uint16_t parts[4]) {
  std::fill(parts, parts + 4, 0);
  size_t at = 0;
  for (int part = 0;; ++part) {
    if (part == 4 || at == value.size() || value[at] < '0' || value[at] > '9') return false;
    uint32_t number = 0;
    for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
      number = number * 10 + static_cast<uint32_t>(value[at] - '0');
      if (number > 0xFFFF) return false;
    }
    parts[part] = static_cast<uint16_t>(number);
    if (at == value.size() || value[at] != '.') return true;
    ++at;
  }
}

void Put16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

void PadTo4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// One block with its children appended, each at a 4-byte boundary.
// `valueLength` is the header's value length (units or bytes).
Bytes Block(const char* key, uint16_t type, const Bytes& value, uint16_t valueLength,
            const std::vector<Bytes>& children) {
  Bytes block(6, 0);
  for (const char* c = key;; ++c) {
    Put16(block, static_cast<uint8_t>(*c));
    if (*c == 0) break;
  }
  PadTo4(block);
  block.insert(block.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    PadTo4(block);
    block.insert(block.end(), child.begin(), child.end());
  }
  block[0] = static_cast<uint8_t>(block.size());
  block[1] = static_cast<uint8_t>(block.size() >> 8);
  block[2] = static_cast<uint8_t>(valueLength);
  block[3] = static_cast<uint8_t>(valueLength >> 8);
  block[4] = static_cast<uint8_t>(type);
  return block;
}

// The numeric version of field `name` (checked when it was added), else of
// field `otherwise`: a file of one version is that version of its product,
// and the other way round. 0.0.0.0 when neither is given.
void NumericVersion(const VersionStrings& strings, const char* name, const char* otherwise,
                    uint16_t parts[4]) {
  std::fill(parts, parts + 4, 0);
  for (const char* key : {otherwise, name}) {
    for (const auto& [given, value] : strings) {
      if (given == key) LeadingVersion(value, parts);
    }
  }
}

// A block as read: where its value and children lie within the resource.
struct ReadBlock {
  std::string key;
  size_t valueAt = 0, valueEnd = 0, childrenAt = 0, end = 0;
  uint16_t valueLength = 0, type = 0;
};

size_t Aligned4(size_t at) { return (at + 3) & ~size_t{3}; }

// Reads the block at `at`, which must end by `limit`.
bool ReadBlockAt(const Bytes& data, size_t at, size_t limit, ReadBlock& block) {
  if (at + 6 > limit) return false;
  const size_t length = Little16(data.data() + at);
  if (length < 6 || at + length > limit) return false;
  block.end = at + length;
  block.valueLength = Little16(data.data() + at + 2);
  block.type = Little16(data.data() + at + 4);
  size_t p = at + 6;
  const size_t keyAt = p;
  while (p + 2 <= block.end && Little16(data.data() + p) != 0) p += 2;
  if (p + 2 > block.end) return false;
  block.key = Utf16ToUtf8(data.data() + keyAt, (p - keyAt) / 2);
  block.valueAt = Aligned4(p + 2);
  const size_t valueBytes = block.type == 1 ? 2u * block.valueLength : block.valueLength;
  block.valueEnd = std::min(block.valueAt + valueBytes, block.end);
  block.childrenAt = Aligned4(block.valueEnd);
  return block.valueAt <= block.end;
}

}  // namespace

std::string AddVersionString(const std::string& option, VersionStrings& strings) {
  const size_t equals = option.find('=');
  if (equals == std::string::npos) return "--version-info takes KEY=VALUE, not '" + option + "'";
  const std::string key = option.substr(0, equals), value = option.substr(equals + 1);
  if (std::find(std::begin(kFieldNames), std::end(kFieldNames), key) == std::end(kFieldNames)) {
    std::string names;
    for (const char* name : kFieldNames) names += (names.empty() ? "" : ", ") + std::string(name);
    return "unknown version field '" + key + "' (known: " + names + ")";
  }
  for (const auto& given : strings) {
    if (given.first == key) return "version field " + key + " given twice";
  }
  Utf16 units;
  if (value.empty()) return "version field " + key + " is empty";
  if (!Utf8ToUtf16(value, units)) return "version field " + key + " is not UTF-8";
  if (std::find(units.begin(), units.end(), 0) != units.end()) {
    return "version field " + key + " holds a NUL character";
  }
  if (units.size() > kLongestValue) {
    return "version field " + key + " is longer than " + std::to_string(kLongestValue) +
           " UTF-16 units";
  }
  uint16_t parts[4];
  if ((key == "FileVersion" || key == "ProductVersion") && !LeadingVersion(value, parts)) {
    return "version field " + key + " '" + value +
           "' does not start with a version number (up to four numbers of 0 to 65535 "
           "joined by dots)";
  }
  strings.emplace_back(key, value);
  return "";
}

Bytes VersionResource(const VersionStrings& strings) {
  uint16_t file[4], product[4];
  NumericVersion(strings, "FileVersion", "ProductVersion", file);
  NumericVersion(strings, "ProductVersion", "FileVersion", product);
  Bytes fixed;
  Put32(fixed, 0xFEEF04BD);  // signature
  Put32(fixed, 0x00010000);  // structure version 1.0
  Put32(fixed, uint32_t{file[0]} << 16 | file[1]);
  Put32(fixed, uint32_t{file[2]} << 16 | file[3]);
  Put32(fixed, uint32_t{product[0]} << 16 | product[1]);
  Put32(fixed, uint32_t{product[2]} << 16 | product[3]);
  Put32(fixed, 0x3F);     // flags mask: every defined flag
  Put32(fixed, 0);        // flags: a release build
  Put32(fixed, 0x40004);  // VOS_NT_WINDOWS32
  Put32(fixed, 1);        // VFT_APP
  Put32(fixed, 0);        // subtype
  Put32(fixed, 0);        // date, high and low: none
  Put32(fixed, 0);

  std::vector<Bytes> texts;
  for (const auto& [key, value] : strings) {
    Utf16 units;
    Utf8ToUtf16(value, units);
    units.push_back(0);
    Bytes text;
    for (uint16_t unit : units) Put16(text, unit);
    texts.push_back(Block(key.c_str(), 1, text, static_cast<uint16_t>(units.size()), {}));
  }
  Bytes translation;
  Put16(translation, kLanguage);
  Put16(translation, kCodePage);
  const Bytes table = Block("040904B0", 1, {}, 0, texts);
  const Bytes stringInfo = Block("StringFileInfo", 1, {}, 0, {table});
  const Bytes variable = Block("Translation", 0, translation, 4, {});
  const Bytes varInfo = Block("VarFileInfo", 1, {}, 0, {variable});
  return Block("VS_VERSION_INFO", 0, fixed, static_cast<uint16_t>(fixed.size()),
               {stringInfo, varInfo});
}

std::string ReadVersionStrings(const Bytes& resource, VersionStrings& strings) {
  const std::string damaged = "the version information is damaged";
  ReadBlock root;
  if (!ReadBlockAt(resource, 0, resource.size(), root) || root.key != "VS_VERSION_INFO") {
    return damaged;
  }
  for (size_t at = root.childrenAt; at < root.end;) {
    ReadBlock info;
    if (!ReadBlockAt(resource, at, root.end, info)) return damaged;
    for (size_t t = info.childrenAt; info.key == "StringFileInfo" && t < info.end;) {
      ReadBlock table;
      if (!ReadBlockAt(resource, t, info.end, table)) return damaged;
      for (size_t s = table.childrenAt; s < table.end;) {
        ReadBlock text;
        if (!ReadBlockAt(resource, s, table.end, text)) return damaged;
        strings.emplace_back(text.key, Utf16ToUtf8(resource.data() + text.valueAt,
                                                   (text.valueEnd - text.valueAt) / 2));
        s = Aligned4(text.end);
      }
      t = Aligned4(table.end);
    }
    at = Aligned4(info.end);
  }
  return "";
}
