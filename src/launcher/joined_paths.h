// Paths the modes form by joining a directory and a name, as they are: the
// directory keeps whatever trailing backslash it has or lacks.
#pragma once

#include "system/path_text.h"

// directory + name into `out`. A path too long to hold ends the run through
// FatalError: a cut one could name another file.
void JoinPath(const PathText& directory, const char* name, PathText& out);
