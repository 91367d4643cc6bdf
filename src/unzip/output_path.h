// Output paths of entries: the target directory joined with the entry's
// name, refused when the name would lead outside the target (to another
// directory or to a device) or the join does not fit; and the scanning of
// paths for their separators.
//
// Paths are in the ANSI code page. In a two-byte code page the second byte
// of a character may have the value of a backslash ("表" is 95 5C in code
// page 932): such a byte belongs to its character and never separates.
#pragma once

#include <cstddef>
#include <cstdint>

// The character after the one at c: two bytes for a lead byte with a
// second byte behind it, else one.
const char* NextCharacter(const char* c);

// The first separator of the text that stands for itself, or null.
char* FindSeparator(char* text, char separator);
const char* FindSeparator(const char* text, char separator);

// True when the last character of path[0, length) is a backslash.
bool EndsInBackslash(const char* path, size_t length);

// True when the backslash name stays inside the directory it is joined to:
// no leading backslash, no colon (drive letters, alternate streams), and no
// component made only of two or more dots (".." and its spellings that
// Windows trims to ".."), and no component that Windows opens as a device
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$, CLOCK$, in any
// case, with any extension, trailing dots or blanks): writing there would
// send the entry's bytes to the device, or block on a port.
bool StaysInsideTarget(const char* name);

// True when Windows opens a device for the path component [begin, end):
// its part before the first dot, less trailing blanks, is a device name in
// any letter case ("nul", "NUL.txt", "Com1 .log" and "aux.tar.gz" all are).
bool IsDeviceName(const char* begin, const char* end);

// Writes target + name to out (kMaxOutputPath characters and a terminator).
// False, with nothing promised about out, when the join is longer.
bool JoinOutputPath(const char* target, const char* name, char* out);
