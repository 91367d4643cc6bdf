// The user's temporary directory, as the registry gives it, and the
// expansion of environment references it may hold.
#pragma once

#include "system/path_text.h"

// Replaces the text with its expansion against the process environment.
// False, with the text unchanged, when the expansion fails; a result that
// does not fit marks the text tooLong.
bool ExpandEnvironment(PathText& text);

// HKEY_CURRENT_USER\Environment value "TEMP", expanded, in its absolute
// form ("." and ".." resolved: C:\Temp\.. gives C:\), with a trailing
// backslash; read afresh at every call. An absent or empty value gives the
// system's temporary directory (GetTempPathA), so that nothing is ever put
// relative to the current directory; "" only when the system has none
// either. A value that is not a string ends the run through FatalError, and
// so does a directory too long to be used.
void UserTempDirectory(PathText& out);
