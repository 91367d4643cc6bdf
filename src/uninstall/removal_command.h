// The texts that uninstall registration writes: the names and commands of
// run-once removal entries and the uninstall entry's command. Pure functions,
// so that every form can be checked without a registry.
#pragma once

#include "system/path_text.h"

// The uninstaller copy: a copy of the stub left in the user's temporary
// directory, started by the run-once removal entries at the next logon.
constexpr const char* kUninstallerCopyName = "orvane_r.exe";

// The value name of a run-once removal entry for `path`: the name of the
// directory that holds the path's last component (or of the path itself
// when it ends in a backslash) followed by ".uni". C:\Foo\Bar\ gives
// Bar.uni, C:\Foo\Bar gives Foo.uni, C:\ gives .uni.
void RemovalEntryName(const char* path, PathText& out);

// "<temp>orvane_r.exe" REMOVE "<directory>", both paths in double quotes;
// `tempDirectory` ends in a backslash (or is empty).
void BuildRemovalCommand(const char* tempDirectory, const char* directory, PathText& out);

// "<temp>orvane_r.exe" VREMOVE, the path in double quotes so that a
// temporary directory with blanks cannot start another program.
void BuildUninstallCommand(const char* tempDirectory, PathText& out);
