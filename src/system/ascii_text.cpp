// ASCII-only text helpers; see ascii_text.h.
#include "system/ascii_text.h"

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithIgnoringAsciiCase(const char* text, const char* prefix) {
  while (*prefix != '\0' && UpperAscii(*text) == UpperAscii(*prefix)) {
    ++text;
    ++prefix;
  }
  return *prefix == '\0';
}

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  while (*a != '\0' && UpperAscii(*a) == UpperAscii(*b)) {
    ++a;
    ++b;
  }
  return *a == '\0' && *b == '\0';
}

bool ContainsIgnoringAsciiCase(const char* text, const char* part) {
  for (; *text != '\0'; ++text) {
    if (StartsWithIgnoringAsciiCase(text, part)) return true;
  }
  return *part == '\0';
}

bool EqualsExact(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool IsBlankOrControl(char c) {
  // Compare as unsigned: bytes above 127 are letters of the ANSI code page.
  return static_cast<unsigned char>(c) <= 32;
}

void TrimRange(const char* text, uint32_t* begin, uint32_t* end) {
  while (*begin < *end && IsBlankOrControl(text[*begin])) ++*begin;
  while (*end > *begin && IsBlankOrControl(text[*end - 1])) --*end;
}

namespace {

// Divides `value` by 10 and returns the remainder, in steps of 32 bits and
// then 16 (each dividend stays below 2^32), so that a 32-bit build needs no
// 64-bit division routine of the compiler's library.
uint32_t DivideBy10(uint64_t* value) {
  uint32_t high = static_cast<uint32_t>(*value >> 32);
  uint32_t low = static_cast<uint32_t>(*value);
  uint32_t remainder = high % 10;
  high /= 10;
  uint32_t part = (remainder << 16) | (low >> 16);
  uint32_t upper = part / 10;
  part = ((part % 10) << 16) | (low & 0xFFFF);
  *value = (static_cast<uint64_t>(high) << 32) | (upper << 16) | (part / 10);
  return part % 10;
}

}  // namespace

uint32_t FormatDecimal(uint64_t value, char* out) {
  char reversed[20];
  uint32_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + DivideBy10(&value));
  } while (value != 0);
  for (uint32_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  out[count] = '\0';
  return count;
}
