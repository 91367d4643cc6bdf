// The stub's entry: reads its own path and the command line, selects the
// mode and runs it. Every mode ends the process; the exit code is 0 unless a
// failure ends the run through FatalError (exit code 1).
#include <windows.h>

#include "launcher/command_line.h"
#include "launcher/fatal_error.h"
#include "launcher/mode_selection.h"
#include "launcher/stub_size.h"
#include "launcher/template_fields.h"

namespace {

void RunMode(const CommandArguments& args) {
  switch (SelectMode(args.text[1])) {
    case Mode::ReportSize:
      ShowStubSize(args.text[0]);
      break;
    case Mode::EndAtOnce:
      // The uninstall entry's command: nothing to do.
      break;
    case Mode::Remove:
    case Mode::ExtractBeside:
      // Not built yet: these modes end at once.
      break;
    case Mode::Install:
      // The installation steps come with the payload carving. The stub-size
      // value it starts from is read now, so a broken field ends the run
      // with the error report at once.
      ReadStubSizeValue();
      break;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Too big for the stack, and not a global: with one section per datum,
  // mingw stores even zero-filled globals in the file, byte for byte.
  auto* args = static_cast<CommandArguments*>(
      HeapAlloc(GetProcessHeap(), 0, sizeof(CommandArguments)));
  if (args == nullptr) FatalError("Not enough memory to start.");
  DWORD length = GetModuleFileNameA(nullptr, args->text[0], kArgumentCapacity);
  if (length == 0 || length >= kArgumentCapacity) {
    FatalError("The program could not read its own file name.");
  }
  if (!SplitCommandLine(GetCommandLineA(), args)) {
    FatalError("An argument on the command line is too long.");
  }
  RunMode(*args);
  ExitProcess(0);
}
