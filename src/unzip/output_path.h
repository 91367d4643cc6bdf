// Output paths of entries: the target directory joined with the entry's
// name, refused when the name would lead outside the target or the join
// does not fit.
#pragma once

#include <cstdint>

// True when the backslash name stays inside the directory it is joined to:
// no leading backslash, no colon (drive letters, alternate streams), and no
// component made only of two or more dots (".." and its spellings that
// Windows trims to "..").
bool StaysInsideTarget(const char* name);

// Writes target + name to out (kMaxOutputPath characters and a terminator).
// False, with nothing promised about out, when the join is longer.
bool JoinOutputPath(const char* target, const char* name, char* out);
