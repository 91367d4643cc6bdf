// Where an installation works: a working directory under the user's
// temporary directory, named after the stub's own file and made fresh for
// the run, so that nothing planted there beforehand is loaded, started or
// written through.
#pragma once

#include <cstdint>

#include "system/path_text.h"

// The stub's base name: its file name less the last four characters (the
// ".exe"), so mysetup.exe gives mysetup. A name of four characters or fewer
// is kept whole. A result that Windows would fold into the temporary
// directory itself or its parent (only dots and blanks: "..exe" gives ".")
// is replaced by kFallbackBaseName: the clean-up of the working directory
// must never reach the temporary directory's own files.
void StubBaseName(const char* fileName, PathText& out);

constexpr const char* kFallbackBaseName = "orvane_stub";

// The temporary directory (with its backslash, or empty) + the base name of
// the stub at `ownPath` + NumberSuffix(number) + a backslash.
void WorkingDirectoryFor(const char* tempDirectory, const char* ownPath, uint32_t number,
                         PathText& out);

// Appends "-N" for a number N of 2 or more; nothing for 1. The working
// directory and its run-once value carry the same suffix, so that each
// directory gets its own removal.
void AppendNumberSuffix(PathText& text, uint32_t number);

// Makes a working directory that did not exist before this call: the first
// WorkingDirectoryFor number 1, 2, 3, ... at whose place nothing exists yet
// (a directory, a file, a link of anyone's), up to kLastWorkingNumber. What
// was there before is never used. True with the directory in `out` and its
// number in `*number`; false when a directory cannot be made although its
// place is free, or every number is taken, or the path is too long (then
// out.tooLong is set).
bool MakeWorkingDirectory(const char* tempDirectory, const char* ownPath, PathText& out,
                          uint32_t* number);

constexpr uint32_t kLastWorkingNumber = 9999;
