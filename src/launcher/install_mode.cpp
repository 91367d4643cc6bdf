// The default mode's steps, in their order; see install_mode.h.
#include "launcher/install_mode.h"

#include <windows.h>

#include "launcher/archive_check.h"
#include "launcher/install_paths.h"
#include "launcher/joined_paths.h"
#include "launcher/payload_carving.h"
#include "launcher/status_windows.h"
#include "launcher/template_fields.h"
#include "system/ascii_text.h"
#include "system/fatal_error.h"
#include "system/path_operations.h"
#include "system/program_start.h"
#include "system/user_temp.h"
#include "system/windows_version.h"
#include "uninstall/directory_removal.h"
#include "uninstall/registration.h"
#include "uninstall/removal_command.h"
#include "unzip/extract_archive.h"

namespace {

[[noreturn]] void CarvingFailed(CarveResult result, const char* source, const char* directory) {
  PathText message;
  switch (result) {
    case CarveResult::SourceNotOpened:
      SetText(message, "Cannot open the installer ");
      AppendText(message, source);
      break;
    case CarveResult::OutputNotCreated:
      SetText(message, "Cannot create the archive ");
      AppendText(message, directory);
      AppendText(message, kTemporaryArchiveName);
      break;
    case CarveResult::ReadFailed:
      SetText(message, "Read error in the installer ");
      AppendText(message, source);
      break;
    default:
      SetText(message, "Write error in the archive ");
      AppendText(message, directory);
      AppendText(message, kTemporaryArchiveName);
      break;
  }
  FatalError(message.tooLong ? "The installer could not carve out its archive." : message.chars);
}

// Takes back what a run that found its archive damaged made: the carved
// archive and the working directory, which the run made itself. Nothing is
// registered or copied before the check.
void UndoCarving(const PathText& workingDirectory, const char* archive) {
  DeleteFileA(archive);
  RemoveDirectoryA(workingDirectory.chars);
}

}  // namespace

void RunInstallation(const char* ownPath) {
  HWND copyingWindow = ShowCopyingWindow();
  const char* ownName = ownPath + FileNameStart(ownPath);

  PathText temp;
  UserTempDirectory(temp);
  CreateDirectoryPath(temp.chars);
  PathText workingDirectory;
  uint32_t workingNumber = 0;
  if (!MakeWorkingDirectory(temp.chars, ownPath, workingDirectory, &workingNumber)) {
    if (workingDirectory.tooLong) FatalError("The working directory's path is too long.");
    PathText message;
    SetText(message, "Cannot create the working directory ");
    AppendText(message, workingDirectory.chars);
    FatalError(message.tooLong ? "The working directory could not be created." : message.chars);
  }
  if (ContainsIgnoringAsciiCase(workingDirectory.chars, "\\TEMP\\")) {
    CleanDirectoryFiles(workingDirectory.chars);
  }

  // The archive is carved straight out of the running installer, which can
  // be read while it runs: a copy of the installer in the working directory
  // to carve from, deleted right after, would cost a whole extra write and
  // read of the payload and show nobody anything.
  CarvedDigest digest;
  CarveResult carved = CarvePayload(workingDirectory.chars, ownPath, ReadStubSizeValue(), digest);
  if (carved != CarveResult::Done) CarvingFailed(carved, ownPath, workingDirectory.chars);
  ShowWindow(copyingWindow, SW_HIDE);

  PathText archive;
  JoinPath(workingDirectory, kTemporaryArchiveName, archive);
  if (!IsArchiveSound(archive.chars, &digest)) {
    UndoCarving(workingDirectory, archive.chars);
    ShowEngineMessage("This installer is damaged or incomplete. Please download it again.",
                      MB_OK | MB_ICONERROR);
    ExitProcess(1);
  }

  PathText uninstallerCopy;
  JoinPath(temp, kUninstallerCopyName, uninstallerCopy);
  CopyFileA(ownPath, uninstallerCopy.chars, FALSE);

  HWND extractionWindow = ShowExtractionWindow();
  ExtractArchive(archive.chars, workingDirectory.chars);
  DeleteFileA(archive.chars);
  ShowWindow(extractionWindow, SW_HIDE);

  PathText entryName;
  StripExtension(ownName, entryName);
  AppendNumberSuffix(entryName, workingNumber);
  ScheduleRemoval(entryName.chars, workingDirectory.chars);
  RegisterUninstallEntry();

  // The setup command is used whole here: "*" and "|" mean nothing in this
  // mode and stay in the path.
  PathText setupCommand;
  ReadSetupCommand(setupCommand);
  PathText setupProgram;
  const char* parameters = JoinSetupProgram(workingDirectory, setupCommand.chars, setupProgram);
  if (WindowsVersionCode() >= 10) {
    StartElevated(setupProgram.chars, parameters, kShowNormal);
  } else {
    StartProgram(setupProgram.chars, parameters);
  }
}
