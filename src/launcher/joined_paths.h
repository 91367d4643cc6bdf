// Paths the modes form by joining a directory and a name, as they are: the
// directory keeps whatever trailing backslash it has or lacks.
#pragma once

#include "system/path_text.h"

// Ends the run through FatalError when `text` did not fit: a cut path
// could name another file, a cut message say something else.
void RequireFits(const PathText& text);

// directory + name into `out`, which must fit (RequireFits).
void JoinPath(const PathText& directory, const char* name, PathText& out);

// The setup program that `command` names in `directory`: the longest part
// of `command` ending at a blank or at its end that names an existing file
// there, joined to `directory` into `program`. Returns the rest of
// `command` after its blanks: the program's parameters. When no part names
// a file, the whole command is the program and the parameters are empty.
const char* JoinSetupProgram(const PathText& directory, const char* command, PathText& program);
