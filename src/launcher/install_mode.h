// The default mode: the installation proper.
#pragma once

// Makes a working directory under the user's temporary directory (never one
// that was there before; see MakeWorkingDirectory), carves the appended
// archive out of the installer (at ownPath) into it, extracts it there, leaves the uninstaller copy, writes the run-once
// removal entry (named after the working directory) and the uninstall
// entry, and starts the setup program without waiting for it. A damaged or
// incomplete archive, found before anything is extracted, ends the run with
// its own message and exit code 1, leaving nothing of the run behind.
// Failures that no step handles end the run through FatalError; every other
// failure lets the run go on.
void RunInstallation(const char* ownPath);
