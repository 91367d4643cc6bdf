// Program starts and the wait for them through Win32; the command line is
// built in program_command.cpp.
#include <windows.h>
#include <shellapi.h>

#include "platform/platform.h"
#include "system/program_start.h"

static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "STARTUPINFOA");
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOA) == 60, "SHELLEXECUTEINFOA");

bool StartProcess(char* commandLine, int32_t showCommand, ProcessHandle* process) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE,
                      CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  if (process != nullptr) {
    *process = started.hProcess;
  } else {
    CloseHandle(started.hProcess);
  }
  return true;
}

bool StartProgram(const char* programPath, const char* parameters, ProcessHandle* process) {
  static CommandText command;
  BuildProgramCommand(programPath, parameters, command);
  return !command.tooLong && StartProcess(command.chars, kShowNormal, process);
}

bool StartElevated(const char* programPath, const char* parameters, int32_t showCommand,
                   ProcessHandle* process) {
  SHELLEXECUTEINFOA request = {};
  request.cbSize = sizeof request;
  // The path is complete as given: the shell must not expand environment
  // references in it (an installer named a%USERNAME%b.exe would start a
  // program planted in Temp\arootb\ instead of its own).
  request.fMask = SEE_MASK_FLAG_NO_UI | (process != nullptr ? SEE_MASK_NOCLOSEPROCESS : 0);
  request.lpVerb = "runas";
  request.lpFile = programPath;
  request.lpParameters = parameters[0] != '\0' ? parameters : nullptr;
  request.nShow = showCommand;
  const bool started = ShellExecuteExA(&request) != FALSE;
  if (process != nullptr) *process = started ? request.hProcess : nullptr;
  return started;
}

uint32_t WaitForProgram(ProcessHandle process) {
  // The status windows stay the thread's: their messages are answered while
  // the program runs, as the extraction's pump does.
  while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) ==
         WAIT_OBJECT_0 + 1) {
    DispatchPendingMessages();
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}
