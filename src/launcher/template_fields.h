// The stub's three template fields, as a building tool patches them into a
// copy of the executable, and their readers.
//
// Each field lies in the executable at its full width with its default
// content and a NUL after it; each default occurs once in the file, which is
// how a building tool finds the field. The readers copy the bytes through
// volatile access at run time, so they see the patched file and never a
// value the compiler folded into the code.
#pragma once

#include <cstdint>

#include "system/path_text.h"

constexpr uint32_t kStubSizeFieldWidth = 7;
constexpr uint32_t kInstallDirectoryFieldWidth = 128;
constexpr uint32_t kSetupCommandFieldWidth = 128;

// The stub-size field as a number: the 1-based position of the archive's
// first byte in the finished file. A field that is not a decimal number ends
// the run through FatalError.
int32_t ReadStubSizeValue();

// The install-directory field resolved (ResolveInstallDirectory with the
// Windows directory); "" when the field is blank.
void ReadInstallDirectory(PathText& out);

// The setup-command field trimmed of codes 0 to 32 at both ends.
void ReadSetupCommand(PathText& out);

// The setup-command field as the "123" mode reads it ("|" and "*" cut, see
// ParseSetupCommand); returns whether to ask before starting it.
bool ReadParsedSetupCommand(PathText& out);
