// What mkinstaller says about itself: the line that follows a usage error,
// the --help text (also the source of the man page, through help2man) and
// the --version report.
#pragma once

#include <string>

// The exit codes, documented in the help text: a usage error is one the
// command line (or SOURCE_DATE_EPOCH) makes whatever the files hold; a
// refusal is of a file, or of what it holds.
constexpr int kExitRefused = 1;
constexpr int kExitUsageError = 2;

extern const char kTryHelpLine[];
extern const char kHelpText[];

// "mkinstaller VERSION", then a line on the stub a build would use: its path
// and the version it carries, or `stubProblem` when there is none to read.
std::string VersionReport(const std::string& stubPath, const std::string& stubVersion,
                          const std::string& stubProblem);
