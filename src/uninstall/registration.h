// Uninstall registration: the uninstall entry under HKEY_LOCAL_MACHINE, or,
// where a value cannot be written there (a standard user, or an
// administrator's unelevated run), under HKEY_CURRENT_USER, whose Uninstall
// key Windows lists among the user's programs; and the run-once removal
// entries, always under HKEY_CURRENT_USER: their commands start the
// uninstaller copy in the user's temporary directory, which any of the
// user's programs can replace, so that a HKEY_LOCAL_MACHINE value would run
// the replacement with an administrator's rights at the next logon, while
// removing the user's own working directory needs none. A write that fails
// fails silently; the run goes on.
//
// `tempDirectory` is the user's temporary directory with its backslash, as
// the run read it once.
#pragma once

// Writes "DisplayName" = "Orvane Stub" and then "UninstallString" = the
// quoted uninstaller copy and VREMOVE under
// SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\orvane_stub.
void RegisterUninstallEntry(const char* tempDirectory);

// Writes the run-once removal entry `entryName` whose command starts the
// uninstaller copy in the REMOVE mode with `directory`. A name that exists
// already gets the new command.
void ScheduleRemoval(const char* entryName, const char* directory, const char* tempDirectory);

// Deletes the run-once removal entry `entryName`: its directory is gone.
void CancelRemoval(const char* entryName);
