// Where an installation works: the working directory under the user's
// temporary directory, named after the stub's own file.
#pragma once

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
// the stub at `ownPath` + a backslash.
void WorkingDirectoryFor(const char* tempDirectory, const char* ownPath, PathText& out);
