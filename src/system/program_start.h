// Starting another program: plainly through CreateProcessA, or with an
// elevation request ("runas") through the shell. The started program
// inherits the launcher's environment and current directory; the launcher
// never waits for it.
#pragma once

#include <cstdint>

#include "system/path_text.h"

constexpr int32_t kShowNormal = 1;  // SW_SHOWNORMAL

// The command line StartProgram passes: the program path in double quotes,
// a blank and the parameters, trimmed of codes 0 to 32 at both ends. The
// quotes keep a path with blanks from being read as a shorter program path
// and arguments (C:\Documents.exe for C:\Documents and Settings\...).
void BuildProgramCommand(const char* programPath, const char* parameters, PathText& out);

// CreateProcessA with the command line as given (it may be modified in
// place), a new process group at normal priority, and the show command.
// True when the process was created; its handles are closed at once.
bool StartProcess(char* commandLine, int32_t showCommand);

// StartProcess of BuildProgramCommand, shown normally.
bool StartProgram(const char* programPath, const char* parameters);

// ShellExecuteExA with the verb "runas": the shell shows no error box of its
// own and takes the path as it is, "%" and all. Empty parameters pass none
// at all. True when the shell accepted the request.
bool StartElevated(const char* programPath, const char* parameters, int32_t showCommand);
