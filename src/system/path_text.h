// Bounded texts for the paths and command lines the launcher builds: a
// fixed buffer (the stub links no string library) and a mark that something
// did not fit. A text that did not fit is never used: a cut path could name
// another file or directory.
#pragma once

#include <cstdint>

// Characters and terminator. Win32's ANSI path functions take at most 259
// characters; commands join two paths and a few words.
constexpr uint32_t kPathTextCapacity = 1024;
// A whole command line: a program path and parameters that may hold the
// installer's own command line (at most 32,767 UTF-16 characters, up to
// two bytes each in the ANSI code page).
constexpr uint32_t kCommandTextCapacity = 66560;

template <uint32_t Capacity>
struct BoundedText {
  char chars[Capacity];
  uint32_t length;
  bool tooLong;  // an append did not fit; stays set until SetText
};

using PathText = BoundedText<kPathTextCapacity>;
using CommandText = BoundedText<kCommandTextCapacity>;

// Defined once for each size, in path_text.cpp: a call is a call, not a
// copy of the loop at every place that appends.

// Appends count characters of `more` (which holds at least that many).
template <uint32_t Capacity>
void AppendRange(BoundedText<Capacity>& text, const char* more, uint32_t count);

template <uint32_t Capacity>
void AppendText(BoundedText<Capacity>& text, const char* more);

template <uint32_t Capacity>
void AppendChar(BoundedText<Capacity>& text, char c);

template <uint32_t Capacity>
void SetText(BoundedText<Capacity>& text, const char* value);

// Cuts the text back to its first `length` characters (no more than it
// has) and clears tooLong: for reusing a prefix.
template <uint32_t Capacity>
void CutText(BoundedText<Capacity>& text, uint32_t length);
