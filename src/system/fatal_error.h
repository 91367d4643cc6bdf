// The one top-level error report of the stub: the failures that no step
// handles (a stub-size field that is not a number, carving input and output
// errors, a TEMP value that is not a string, a path or command line too long
// to hold) end the run here. The stub builds without exceptions: "raising"
// one of these failures is calling FatalError, which never returns.
#pragma once

// Shows `message` in a message box captioned "Application Error" with the
// error icon, then ends the process with exit code 1.
[[noreturn]] void FatalError(const char* message);
