// Starting another program: plainly through CreateProcessA, or with an
// elevation request ("runas") through the shell, and waiting for it. The
// started program inherits the launcher's environment and current
// directory.
#pragma once

#include <cstdint>

#include "system/path_text.h"

constexpr int32_t kShowNormal = 1;  // SW_SHOWNORMAL

// A started program's process, for waiting; null for none.
using ProcessHandle = void*;

// The command line StartProgram passes: the program path in double quotes,
// a blank and the parameters, trimmed of codes 0 to 32 at its end. The
// quotes keep a path with blanks from being read as a shorter program path
// and arguments (C:\Documents.exe for C:\Documents and Settings\...).
void BuildProgramCommand(const char* programPath, const char* parameters, CommandText& out);

// CreateProcessA with the command line as given (it may be modified in
// place), a new process group at normal priority, and the show command.
// True when the process was created. Its handles are closed at once, but
// for the process handle when `process` asks for it.
bool StartProcess(char* commandLine, int32_t showCommand, ProcessHandle* process);

// StartProcess of BuildProgramCommand, shown normally.
bool StartProgram(const char* programPath, const char* parameters, ProcessHandle* process);

// ShellExecuteExA with the verb "runas": the shell shows no error box of its
// own and takes the path as it is, "%" and all. Empty parameters pass none
// at all. True when the shell accepted the request; `process` (when asked
// for) may still be null then, when the shell started nothing of its own.
// A user who declines the elevation makes it fail with ERROR_CANCELLED.
bool StartElevated(const char* programPath, const char* parameters, int32_t showCommand,
                   ProcessHandle* process);

// Waits for the process to end, answering the thread's window messages
// meanwhile, closes its handle and returns its exit code.
uint32_t WaitForProgram(ProcessHandle process);
