// The DLL search of the stub's process, restricted at start: an installer
// runs from a folder anyone's browser writes to, and a DLL saved there under
// a system DLL's name must never be loaded into it.
#pragma once

// Restricts the process's DLL search to the System directory where Windows
// can (SetDefaultDllDirectories, from Windows 8 and with KB2533623), takes
// the current directory out of it where only that can be done
// (SetDllDirectoryA, from XP SP1), and loads the DLLs that Windows loads
// later by name (when the first window is made, a file is opened or the
// shell is called) from the System directory by full path, so that no later
// search for them reaches the stub's own folder. Functions newer than
// Windows 95 are looked up by name. Called first, before any window exists.
void RestrictDllSearch();
