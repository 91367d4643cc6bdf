// Splits the process command line into the stub's arguments 1 to 3.
//
// Rules: words are separated by runs of characters with codes 1 to 32; a
// double quote starts or ends a quoted stretch in which separators belong to
// the word, and the quotes themselves are dropped; a backslash is an ordinary
// character, also right before a quote (so "C:\Dir\" keeps its trailing
// backslash); quoted and unquoted stretches may alternate within one word; a
// pair of quotes met where a word would begin is skipped like a separator; a
// word that is not there reads as the empty string. The first word, the
// program name, is skipped: argument 0 is the module's own path instead.
#pragma once

#include <cstdint>

// Room for one argument and its NUL. A Windows command line holds at most
// 32,767 UTF-16 characters; the ANSI form can take two bytes for each.
constexpr uint32_t kArgumentCapacity = 65536;

struct CommandArguments {
  // text[0] is filled by the caller (the own module path); SplitCommandLine
  // fills text[1] to text[3].
  char text[4][kArgumentCapacity];
};

// Reads the word at or after `p` into `out` (capacity bytes including the
// NUL; null `out` just skips the word). Returns the position right after the
// word. *fits becomes false when the word was cut to fit `out`.
const char* TakeArgument(const char* p, char* out, uint32_t capacity, bool* fits);

// Fills args->text[1..3] from `commandLine`. Returns false when a word was
// longer than kArgumentCapacity - 1 bytes (its text is then cut short).
bool SplitCommandLine(const char* commandLine, CommandArguments* args);

// The command line after its first word (the program name) and the
// separators after that, unchanged: what the installer passes on to the
// setup program when its publisher asks for it.
const char* CommandLineTail(const char* commandLine);
