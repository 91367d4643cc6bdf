// Conversion of entry names into the ANSI code page; see entry_name.h.
#include "unzip/entry_name.h"

#include <string.h>

#include "platform/platform.h"

namespace {

// The name's bytes with "/" as "\", cut at kMaxEntryName.
void CopyAsGiven(const uint8_t* raw, uint32_t length, char* name) {
  uint32_t kept = length > kMaxEntryName ? kMaxEntryName : length;
  for (uint32_t i = 0; i < kept; ++i) name[i] = raw[i] == '/' ? '\\' : static_cast<char>(raw[i]);
  name[kept] = '\0';
}

}  // namespace

bool DecodeUtf8(const uint8_t* text, uint32_t length, uint16_t* out, uint32_t capacity,
                uint32_t* count) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < length;) {
    uint32_t c = text[i++];
    uint32_t following, least;
    if (c < 0x80) {
      following = 0, least = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {  // C0 and C1 could only start overlong forms
      following = 1, least = 0x80, c &= 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      following = 2, least = 0x800, c &= 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      following = 3, least = 0x10000, c &= 0x07;
    } else {
      return false;
    }
    if (following > length - i) return false;
    for (; following > 0; --following) {
      uint8_t b = text[i++];
      if ((b & 0xC0) != 0x80) return false;
      c = c << 6 | (b & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      if (capacity - n < 2) return false;
      c -= 0x10000;
      out[n++] = static_cast<uint16_t>(0xD800 + (c >> 10));
      out[n++] = static_cast<uint16_t>(0xDC00 + (c & 0x3FF));
    } else {
      if (capacity - n < 1) return false;
      out[n++] = static_cast<uint16_t>(c);
    }
  }
  *count = n;
  return true;
}

bool TakeEntryName(const uint8_t* raw, uint32_t length, bool utf8, char* name) {
  bool ascii = true, nul = false;
  for (uint32_t i = 0; i < length; ++i) {
    ascii = ascii && raw[i] < 0x80;
    nul = nul || raw[i] == 0;
  }
  CopyAsGiven(raw, length, name);
  if (nul) return false;
  if (ascii) return length <= kMaxEntryName;

  // Every character takes at least one byte in the ANSI code page, so a name
  // of more UTF-16 units than kMaxEntryName is too long there.
  uint16_t wide[kMaxEntryName];
  uint32_t count = 0;
  bool decoded = utf8 ? DecodeUtf8(raw, length, wide, kMaxEntryName, &count)
                      : OemToWide(raw, length, wide, kMaxEntryName, &count);
  if (!decoded) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (wide[i] == '/') wide[i] = '\\';
  }
  // The converted name replaces the bytes only when all of it fits.
  char converted[kMaxEntryName + 1];
  if (!WideToPathText(wide, count, converted, sizeof converted)) return false;
  memcpy(name, converted, strlen(converted) + 1);
  return true;
}
