// Program starts through Win32; the command line is built in
// program_command.cpp.
#include <windows.h>
#include <shellapi.h>

#include "system/program_start.h"

static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "STARTUPINFOA");
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOA) == 60, "SHELLEXECUTEINFOA");

bool StartProcess(char* commandLine, int32_t showCommand) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE,
                      CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool StartProgram(const char* programPath, const char* parameters) {
  PathText command;
  BuildProgramCommand(programPath, parameters, command);
  return !command.tooLong && StartProcess(command.chars, kShowNormal);
}

bool StartElevated(const char* programPath, const char* parameters, int32_t showCommand) {
  SHELLEXECUTEINFOA request = {};
  request.cbSize = sizeof request;
  // The path is complete as given: the shell must not expand environment
  // references in it (an installer named a%USERNAME%b.exe would start a
  // program planted in Temp\arootb\ instead of its own).
  request.fMask = SEE_MASK_FLAG_NO_UI;
  request.lpVerb = "runas";
  request.lpFile = programPath;
  request.lpParameters = parameters[0] != '\0' ? parameters : nullptr;
  request.nShow = showCommand;
  return ShellExecuteExA(&request) != FALSE;
}
