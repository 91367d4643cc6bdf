// Joined paths; see joined_paths.h.
#include "launcher/joined_paths.h"

#include "platform/platform.h"
#include "system/fatal_error.h"

void RequireFits(const PathText& text) {
  if (text.tooLong) FatalError("A path of the installation is too long.");
}

void JoinPath(const PathText& directory, const char* name, PathText& out) {
  out = directory;
  AppendText(out, name);
  RequireFits(out);
}

const char* JoinSetupProgram(const PathText& directory, const char* command, PathText& program) {
  uint32_t end = 0;
  while (command[end] != '\0') ++end;
  for (uint32_t length = end; length > 0; --length) {
    if (command[length] != ' ' && command[length] != '\0') continue;
    program = directory;
    AppendRange(program, command, length);
    RequireFits(program);
    if (!FileExists(program.chars)) continue;
    const char* parameters = command + length;
    while (*parameters == ' ') ++parameters;
    return parameters;
  }
  JoinPath(directory, command, program);
  return command + end;
}
