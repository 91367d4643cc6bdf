// Where an installation works: a working directory under the user's
// temporary directory, named after the stub's own file and made fresh for
// the run, so that nothing planted there beforehand is loaded, started or
// written through.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "system/path_text.h"

// The stub's base name: its file name less the last four characters (the
// ".exe"), so mysetup.exe gives mysetup, and less any blanks and dots at its
// end: Windows drops them when it makes the directory but keeps them where
// the name stands further in a path ("inst .exe" would make "inst" and then
// work in "inst \"). A name of four characters or fewer is kept whole (but
// for such an end). Nothing left ("..exe") gives kFallbackBaseName: the
// clean-up of the working directory must never reach the temporary
// directory's own files.
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

// Makes a working directory that did not exist before this call and holds
// it (MakeHeldDirectory, with `security`): the first WorkingDirectoryFor
// number 1, 2, 3, ... at whose place nothing exists yet (a directory, a
// file, a link of anyone's), up to kLastWorkingNumber. What was there before
// is never used, and what was made cannot be swapped while `*hold` is open.
// True with the directory in `out`, its number in `*number` and the hold in
// `*hold`; false when a directory cannot be made although its place is
// free, or every number is taken, or the path is too long (then
// out.tooLong is set).
bool MakeWorkingDirectory(const char* tempDirectory, const char* ownPath, const void* security,
                          PathText& out, uint32_t* number, FileHandle* hold);

constexpr uint32_t kLastWorkingNumber = 9999;
