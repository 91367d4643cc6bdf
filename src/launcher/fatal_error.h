// The stub's one top-level error report: the failures that no step handles
// (a stub-size field that is not a number, carving input/output errors, an
// unreadable TEMP value, a command line too long to hold) end here.
#pragma once

// Shows `message` in a message box captioned "Application Error" with the
// error icon, then ends the process with exit code 1.
[[noreturn]] void FatalError(const char* message);
