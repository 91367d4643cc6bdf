// The default mode: the installation proper.
#pragma once

// Makes a working directory under the user's temporary directory (never one
// that was there before, and held so that it cannot be swapped; see
// MakeWorkingDirectory), checks the archive appended to the installer (at
// ownPath) and extracts it straight from the installer, held so that what
// was checked is what is extracted, leaves the uninstaller copy, writes the
// run-once removal entry (named after the working directory) and the
// uninstall entry, and starts the setup program. A damaged or incomplete
// archive, found before anything is extracted, ends the run with its own
// message and exit code 1; an extraction that failed ends it with
// kExtractionFailed: either leaves nothing of the run behind. The
// publisher's options in the archive's seal decide whether the setup
// program gets the installer's own arguments and whether the run waits for
// it (then the working directory goes when it has ended, and the exit code
// is the setup program's). Failures that no step handles end the run
// through FatalError; every other failure lets the run go on.
void RunInstallation(const char* ownPath);

// Exit codes of an installation beside 0, 1 and the setup program's own.
constexpr unsigned kExtractionFailed = 1603;  // ERROR_INSTALL_FAILURE
constexpr unsigned kSetupDeclined = 1223;     // ERROR_CANCELLED: elevation declined
