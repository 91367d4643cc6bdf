// The stub's entry: reads its own path and the command line, selects the
// mode and runs it. Every mode ends the process; the exit code is 0 unless a
// failure ends the run through FatalError or a damaged archive ends it
// (exit code 1).
//
// The stub links no C runtime, so the process starts in WinMainCRTStartup
// itself, the entry point the linker looks for in a Windows GUI program:
// nothing runs before it, and no static constructor exists to be run.
#include <windows.h>

#include "launcher/beside_mode.h"
#include "launcher/command_line.h"
#include "launcher/install_mode.h"
#include "launcher/mode_selection.h"
#include "launcher/stub_size.h"
#include "system/dll_search.h"
#include "system/fatal_error.h"
#include "system/user_temp.h"
#include "uninstall/directory_removal.h"

namespace {

void RunMode(const CommandArguments& args) {
  switch (SelectMode(args.text[1])) {
    case Mode::ReportSize:
      ShowStubSize(args.text[0]);
      break;
    case Mode::EndAtOnce:
      // The uninstall entry's command: nothing to do.
      break;
    case Mode::Remove: {
      PathText userTemp;
      UserTempDirectory(userTemp);
      RemoveScheduledDirectory(args.text[2], userTemp.chars);
      break;
    }
    case Mode::ExtractBeside:
      RunExtractBeside(args.text[0], args.text[2], args.text[3]);
      break;
    case Mode::Install:
      RunInstallation(args.text[0]);
      break;
  }
}

// Too big for the stack; a zero-filled global costs the file nothing.
CommandArguments Arguments;

}  // namespace

extern "C" void WinMainCRTStartup() {
  RestrictDllSearch();
  DWORD length = GetModuleFileNameA(nullptr, Arguments.text[0], kArgumentCapacity);
  if (length == 0 || length >= kArgumentCapacity) {
    FatalError("The program could not read its own file name.");
  }
  if (!SplitCommandLine(GetCommandLineA(), &Arguments)) {
    FatalError("An argument on the command line is too long.");
  }
  RunMode(Arguments);
  ExitProcess(0);
}
