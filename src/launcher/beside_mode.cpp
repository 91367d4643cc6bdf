// The "123" mode's steps, in their order; see beside_mode.h.
#include "launcher/beside_mode.h"

#include <windows.h>

#include "launcher/archive_check.h"
#include "launcher/joined_paths.h"
#include "launcher/status_windows.h"
#include "launcher/template_fields.h"
#include "system/ascii_text.h"
#include "system/fatal_error.h"
#include "system/path_operations.h"
#include "system/program_start.h"
#include "system/user_temp.h"
#include "uninstall/registration.h"
#include "uninstall/removal_command.h"
#include "unzip/extract_archive.h"

namespace {

// The archive this mode extracts, in the directory it extracts into.
constexpr const char* kTemporaryArchiveName = "uztemp.zip";

// True when a file that is not a directory is at `path`. Attributes that
// cannot be read for another reason than a missing file or an invalid name
// (a file another process holds open, say) leave the answer to a directory
// search, with the same test.
bool IsExistingFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME) {
      return false;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    attributes = found.dwFileAttributes;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Schedules the removal of `directory` at the next logon, under the name of
// the directory that holds `path`. The user's temporary directory, which
// the command names, is read once in the run.
void ScheduleRemovalFor(const char* path, const char* directory) {
  static PathText temp;
  if (temp.length == 0) UserTempDirectory(temp);
  PathText entryName;
  RemovalEntryName(path, entryName);
  ScheduleRemoval(entryName.chars, directory, temp.chars);
}

// Starts the setup program in target with its parameters. The path goes in double quotes: unquoted,
// a target directory with blanks (C:\My Files\) would let the system start
// C:\My.exe instead.
void StartSetupProgram(const PathText& target, const char* setupCommand) {
  PathText program;
  const char* parameters = JoinSetupProgram(target, setupCommand, program);
  static CommandText command;
  BuildProgramCommand(program.chars, parameters, command);
  if (command.tooLong) FatalError("The setup program's command line is too long.");
  WinExec(command.chars, SW_SHOWNORMAL);
}

// Ends the run on a damaged archive before anything is extracted or
// scheduled: the files stay as they are.
[[noreturn]] void RefuseDamagedArchive(const char* archive) {
  PathText message;
  SetText(message, "The archive ");
  AppendText(message, archive);
  AppendText(message, " is damaged or incomplete.");
  RequireFits(message);
  ShowEngineMessage(message.chars, MB_OK | MB_ICONERROR);
  ExitProcess(1);
}

}  // namespace

void RunExtractBeside(const char* ownPath, const char* argument2, const char* argument3) {
  // The target directory is used as given: no backslash is added, so every
  // later path is a plain concatenation.
  bool givenDirectory = EqualsExact(argument2, "RD");
  PathText target;
  SetText(target, "");
  if (givenDirectory) {
    AppendText(target, argument3);
  } else {
    AppendRange(target, ownPath, FileNameStart(ownPath));
  }
  RequireFits(target);
  PathText archive;
  JoinPath(target, kTemporaryArchiveName, archive);
  // A missing archive is left to the extraction, which reports it. One that
  // is there is held from its check to the end of its extraction: what was
  // checked is what is extracted. One that cannot be held (another program
  // still writes it) counts as incomplete.
  FileHandle held = kNoFile;
  if (IsExistingFile(archive.chars)) {
    held = OpenHeldForReading(archive.chars);
    uint8_t options = 0;
    if (held == kNoFile || !IsArchiveSound(held, 0, &options)) {
      RefuseDamagedArchive(archive.chars);
    }
  }

  PathText installDirectory;
  ReadInstallDirectory(installDirectory);
  RequireFits(installDirectory);
  if (installDirectory.length != 0) {
    ScheduleRemovalFor(archive.chars, target.chars);
    target = installDirectory;
  }

  HWND extractionWindow = ShowExtractionWindow();
  if (held != kNoFile) {
    ExtractOpenArchive(held, target.chars, false);
    CloseFile(held);
  } else {
    ExtractArchive(archive.chars, target.chars);
  }
  ShowWindow(extractionWindow, SW_HIDE);
  if (givenDirectory) return;

  PathText setupCommand;
  bool ask = ReadParsedSetupCommand(setupCommand);
  // A missing archive was reported by the extraction already.
  if (!IsExistingFile(archive.chars)) return;

  PathText message;
  SetText(message, "All files have been extracted to ");
  AppendText(message, target.chars);
  if (setupCommand.length == 0) {
    RequireFits(message);
    ShowEngineMessage(message.chars, MB_OK);
    return;
  }
  AppendText(message, ", run ");
  AppendText(message, setupCommand.chars);
  AppendText(message, " now?");
  RequireFits(message);
  if (!ask || ShowEngineMessage(message.chars, MB_YESNO) == IDYES) {
    ScheduleRemovalFor(target.chars, target.chars);
    StartSetupProgram(target, setupCommand.chars);
  }

  if (argument2[0] != '\0') {
    PathText leftover;
    JoinPath(target, kTemporaryArchiveName, leftover);
    DeleteFileA(leftover.chars);
    JoinPath(target, argument2, leftover);
    DeleteFileA(leftover.chars);
  }
}
