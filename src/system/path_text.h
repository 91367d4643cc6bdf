// Bounded texts for the paths and command lines the launcher builds: a
// fixed buffer (the stub links no string library) and a mark that something
// did not fit. A text that did not fit is never used: a cut path could name
// another file or directory.
#pragma once

#include <cstdint>

// Characters and terminator. Win32's ANSI path functions take at most 259
// characters; commands join two paths and a few words.
constexpr uint32_t kPathTextCapacity = 1024;

struct PathText {
  char chars[kPathTextCapacity];
  uint32_t length;
  bool tooLong;  // an append did not fit; stays set until SetText
};

void SetText(PathText& text, const char* value);
void AppendText(PathText& text, const char* more);
void AppendChar(PathText& text, char c);
// Cuts the text back to its first `length` characters (no more than it
// has) and clears tooLong: for reusing a prefix.
void CutText(PathText& text, uint32_t length);
// Appends count characters of `more` (which holds at least that many).
void AppendRange(PathText& text, const char* more, uint32_t count);
