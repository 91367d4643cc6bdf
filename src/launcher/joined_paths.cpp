// Joined paths; see joined_paths.h.
#include "launcher/joined_paths.h"

#include "system/fatal_error.h"

void RequireFits(const PathText& text) {
  if (text.tooLong) FatalError("A path of the installation is too long.");
}

void JoinPath(const PathText& directory, const char* name, PathText& out) {
  out = directory;
  AppendText(out, name);
  RequireFits(out);
}
