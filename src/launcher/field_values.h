// Turns the characters of a template field into the value the stub uses.
// Pure functions over the field's full width (NULs inside it included), so
// the host tests can feed them any patched content.
#pragma once

#include <cstdint>

#include "system/path_text.h"

// The stub-size field as a decimal integer: one or more digits, leading
// zeros allowed, blanks and control characters around them ignored. Returns
// false for anything else (empty, a sign, a letter, a value above 2^31 - 1).
bool ParseStubSizeValue(const char* field, uint32_t width, int32_t* value);

// Copies the field without leading and trailing characters of codes 0 to 32
// into `out` (at least width + 1 bytes), NUL-terminated. Returns the length.
uint32_t CopyTrimmedField(const char* field, uint32_t width, char* out);

// The install-directory field as a directory: trimmed of codes 0 to 32; a
// leading "<WINDIR>" in any letter case stands for `windowsDirectory`, with
// a backslash put between when the rest does not begin with one ("<WINDIR>"
// alone gives the Windows directory itself). Anything else is used as it
// stands; a blank field gives "" (no install directory).
void ResolveInstallDirectory(const char* field, uint32_t width, const char* windowsDirectory,
                             PathText& out);

// The setup-command field as the "123" mode reads it: everything up to and
// including the first "|" goes, then the first "*" of what is left, then
// codes 0 to 32 at both ends. `out` holds at least width + 1 bytes and gets
// the command NUL-terminated (empty: nothing to start). Returns whether to
// ask before starting it: only when the field as stored holds no "*"
// anywhere, also none before the "|".
bool ParseSetupCommand(const char* field, uint32_t width, char* out);
