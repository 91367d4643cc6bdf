// Uninstall registration: the uninstall entry and the run-once removal
// entries under HKEY_LOCAL_MACHINE. Every write fails silently (without the
// rights to write there, say); the run goes on all the same.
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
