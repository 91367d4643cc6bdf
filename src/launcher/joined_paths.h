// Paths the modes form by joining a directory and a name, as they are: the
// directory keeps whatever trailing backslash it has or lacks.
#pragma once

#include "system/path_text.h"

// Ends the run through FatalError when `text` did not fit: a cut path
// could name another file, a cut message say something else.
void RequireFits(const PathText& text);

// directory + name into `out`, which must fit (RequireFits).
void JoinPath(const PathText& directory, const char* name, PathText& out);
