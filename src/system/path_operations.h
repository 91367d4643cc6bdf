// Path operations of the launcher: trailing backslashes, the file-name part
// of a path, extensions, and whether a path names a directory. Paths are
// 8-bit Windows paths in the ANSI code page; in a two-byte code page the
// second byte of a character is never taken for a delimiter.
#pragma once

#include <cstdint>

#include "system/path_text.h"

// Appends a backslash unless the path is empty or already ends in one (a
// character whose second byte is 0x5C does not count).
void AddTrailingBackslash(PathText& path);

// The index just after the last character of `text` that is one of
// `delimiters`; 0 when there is none.
uint32_t AfterLastDelimiter(const char* text, const char* delimiters);

// Where the file-name part of a path starts: after its last '\' or ':'.
uint32_t FileNameStart(const char* path);

// The name less its extension: the text from the last '.', '\' or ':' on,
// when that last delimiter is a '.'. "a.b.exe" gives "a.b"; "dir.d\file" and
// "name" stay whole; ".profile" gives "".
void StripExtension(const char* name, PathText& out);

// True when the path names an existing directory.
bool IsDirectory(const char* path);
