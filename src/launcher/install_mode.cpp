// The default mode's steps, in their order; see install_mode.h.
#include "launcher/install_mode.h"

#include <windows.h>

#include "launcher/archive_check.h"
#include "launcher/archive_seal.h"
#include "launcher/command_line.h"
#include "launcher/directory_path.h"
#include "launcher/install_paths.h"
#include "launcher/joined_paths.h"
#include "launcher/status_windows.h"
#include "launcher/template_fields.h"
#include "launcher/uninstaller_copy.h"
#include "system/ascii_text.h"
#include "system/elevation.h"
#include "system/fatal_error.h"
#include "system/path_operations.h"
#include "system/program_start.h"
#include "system/user_temp.h"
#include "system/windows_version.h"
#include "uninstall/directory_removal.h"
#include "uninstall/registration.h"
#include "unzip/extract_archive.h"

namespace {

// What a run holds from the working directory's making to its end. The
// user's temporary directory is read once: a value changed during the run
// cannot lead its later steps elsewhere.
struct Run {
  PathText temp;
  PathText workingDirectory;
  FileHandle hold;  // the working directory
  PathText removalEntry;
};

[[noreturn]] void FailWithPath(const char* what, const char* path, const char* shortMessage) {
  PathText message;
  SetText(message, what);
  AppendText(message, path);
  FatalError(message.tooLong ? shortMessage : message.chars);
}

// Leaves the working directory (the extraction left the current directory
// in it), lets go of it and removes it with the REMOVE mode's rules (what
// is in use stays); true when it is gone.
bool RemoveWorkingDirectory(Run& run) {
  ChangeDirectory(run.temp.chars);
  CloseFile(run.hold);
  run.hold = kNoFile;
  RemoveScheduledDirectory(run.workingDirectory.chars, run.temp.chars);
  return !IsDirectory(run.workingDirectory.chars);
}

// Ends a run whose working directory must go, with its run-once entry once
// the directory is gone (what stays keeps its removal at the next logon).
[[noreturn]] void EndWithout(Run& run, unsigned exitCode) {
  if (RemoveWorkingDirectory(run) && run.removalEntry.length != 0) {
    CancelRemoval(run.removalEntry.chars);
  }
  ExitProcess(exitCode);
}

// The setup program's parameters: the setup command's own, then, when the
// publisher asked for it, the installer's own command line after its name.
void SetupParameters(const char* ownParameters, uint8_t options, CommandText& out) {
  SetText(out, ownParameters);
  const char* passed = CommandLineTail(GetCommandLineA());
  if ((options & kOptionPassArguments) != 0 && passed[0] != '\0') {
    if (out.length != 0) AppendChar(out, ' ');
    AppendText(out, passed);
  }
  if (out.tooLong) FatalError("The setup program's command line is too long.");
}

// Starts the setup program: plainly before Windows NT 6.0, with an
// elevation request from then on. With `wait`, the run then waits for it,
// removes the working directory and ends with its exit code.
void StartSetupProgram(Run& run, uint8_t options) {
  PathText setupCommand;
  ReadSetupCommand(setupCommand);
  // The setup command is used whole here: "*" and "|" mean nothing in this
  // mode and stay in the path.
  PathText setupProgram;
  const char* ownParameters = JoinSetupProgram(run.workingDirectory, setupCommand.chars,
                                               setupProgram);
  static CommandText parameters;
  SetupParameters(ownParameters, options, parameters);
  const bool wait = (options & kOptionWait) != 0;
  ProcessHandle process = nullptr;
  ProcessHandle* kept = wait ? &process : nullptr;
  const bool started =
      WindowsVersionCode() >= 10
          ? StartElevated(setupProgram.chars, parameters.chars, kShowNormal, kept)
          : StartProgram(setupProgram.chars, parameters.chars, kept);
  if (!wait) return;
  if (!started) {
    EndWithout(run, GetLastError() == ERROR_CANCELLED ? kSetupDeclined : kExtractionFailed);
  }
  const unsigned exitCode = process != nullptr ? WaitForProgram(process) : 0;
  EndWithout(run, exitCode);
}

}  // namespace

void RunInstallation(const char* ownPath) {
  HWND copyingWindow = ShowCopyingWindow();
  const char* ownName = ownPath + FileNameStart(ownPath);

  static Run run;
  UserTempDirectory(run.temp);
  CreateDirectoryPath(run.temp.chars);

  // Held from the check to the end of the run: nobody can change, replace
  // or rename the installer between the check and the extraction.
  const FileHandle installer = OpenHeldForReading(ownPath);
  if (installer == kNoFile) {
    FailWithPath("Cannot open the installer ", ownPath, "The installer cannot be opened.");
  }
  const int32_t stubSizeValue = ReadStubSizeValue();
  const uint32_t archiveStart = stubSizeValue > 1 ? static_cast<uint32_t>(stubSizeValue - 1) : 0;

  DirectorySecurity security;
  uint32_t workingNumber = 0;
  if (!MakeWorkingDirectory(run.temp.chars, ownPath, SecurityIfElevated(security),
                            run.workingDirectory, &workingNumber, &run.hold)) {
    if (run.workingDirectory.tooLong) FatalError("The working directory's path is too long.");
    FailWithPath("Cannot create the working directory ", run.workingDirectory.chars,
                 "The working directory could not be created.");
  }
  if (ContainsIgnoringAsciiCase(run.workingDirectory.chars, "\\TEMP\\")) {
    CleanDirectoryFiles(run.workingDirectory.chars);
  }

  // Nothing is extracted, copied or registered before the check.
  uint8_t options = 0;
  if (!IsArchiveSound(installer, archiveStart, &options)) {
    ShowWindow(copyingWindow, SW_HIDE);
    ShowEngineMessage("This installer is damaged or incomplete. Please download it again.",
                      MB_OK | MB_ICONERROR);
    EndWithout(run, 1);
  }
  ShowWindow(copyingWindow, SW_HIDE);

  // Straight from the installer: no temporary archive is written.
  HWND extractionWindow = ShowExtractionWindow();
  const bool extracted = ExtractOpenArchive(installer, run.workingDirectory.chars, true);
  ShowWindow(extractionWindow, SW_HIDE);
  // A failed extraction has had its boxes: nothing is registered or started.
  if (!extracted) EndWithout(run, kExtractionFailed);

  const bool copied = WriteUninstallerCopy(installer, archiveStart, run.temp.chars);
  CloseFile(installer);
  // Nothing may name an uninstaller copy this run did not write.
  if (copied) {
    StripExtension(ownName, run.removalEntry);
    AppendNumberSuffix(run.removalEntry, workingNumber);
    ScheduleRemoval(run.removalEntry.chars, run.workingDirectory.chars, run.temp.chars);
    RegisterUninstallEntry(run.temp.chars);
  }
  StartSetupProgram(run, options);
}
