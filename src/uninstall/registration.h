// Uninstall registration: the uninstall entry and the run-once removal
// entries under HKEY_LOCAL_MACHINE, or, where a value cannot be written
// there (a standard user, or an administrator's unelevated run), the same
// value under HKEY_CURRENT_USER, whose Uninstall key Windows lists among the
// user's programs and whose RunOnce values run at the user's next logon.
// A write that fails in both places fails silently; the run goes on.
#pragma once

// Writes "DisplayName" = "Orvane Stub" and then "UninstallString" = the
// quoted uninstaller copy and VREMOVE under
// SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\orvane_stub.
void RegisterUninstallEntry();

// Writes the run-once removal entry `entryName` whose command starts the
// uninstaller copy in the REMOVE mode with `directory`. A name that exists
// already gets the new command.
void ScheduleRemoval(const char* entryName, const char* directory);

// Writes `command` as the RunOnce value `valueName`.
void WriteRunOnceValue(const char* valueName, const char* command);
