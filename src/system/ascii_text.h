// Small text helpers the launcher's layers share: ASCII-only upper-casing
// and comparison (command words and paths are compared so), trimming of
// blanks and control characters, and decimal formatting. Plain char buffers
// only, so the stub pulls in no library string code.
#pragma once

#include <cstdint>

// Upper-cases a to z only; every other byte, including bytes above 127,
// stays as it is.
char UpperAscii(char c);

// Comparisons after upper-casing both sides with UpperAscii.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);
bool StartsWithIgnoringAsciiCase(const char* text, const char* prefix);
bool ContainsIgnoringAsciiCase(const char* text, const char* part);

// True when the two NUL-terminated strings are byte for byte equal.
bool EqualsExact(const char* a, const char* b);

// Characters with codes 0 to 32 count as blanks for trimming and as
// separators on the command line.
bool IsBlankOrControl(char c);

// Narrows [*begin, *end) of `text` so that it neither starts nor ends with a
// blank or control character; an all-blank range becomes empty.
void TrimRange(const char* text, uint32_t* begin, uint32_t* end);

// Writes `value` in decimal without leading zeros, NUL-terminated, into
// `out`, which holds at least 21 bytes. Returns the number of digits.
uint32_t FormatDecimal(uint64_t value, char* out);
