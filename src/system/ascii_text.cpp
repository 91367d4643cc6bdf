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

uint32_t FormatDecimal(uint64_t value, char* out) {
  char reversed[20];
  uint32_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (uint32_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  out[count] = '\0';
  return count;
}
