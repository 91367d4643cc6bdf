// Single string values in the registry, read and written without a 64-bit
// registry view. Key paths are relative to a root; a leading backslash is
// dropped, so "\SOFTWARE\X" and "SOFTWARE\X" name the same key.
#pragma once

#include "system/path_text.h"

enum class RegistryRoot { LocalMachine, CurrentUser };

// The value's text up to its first NUL, unexpanded. A key that cannot be
// opened gives `defaultValue`; a missing or empty value gives "". Data that
// cannot be read once its size is known, or a value that is not a string,
// ends the run through FatalError. A text longer than the result holds
// comes back marked tooLong.
void ReadRegistryString(RegistryRoot root, const char* keyPath, const char* valueName,
                        const char* defaultValue, PathText& out);

// Writes `value` as REG_SZ with its terminating NUL, creating the key when
// it is missing; false when the key cannot be opened for writing or the
// value not written (without the rights to write there, say).
bool WriteRegistryString(RegistryRoot root, const char* keyPath, const char* valueName,
                         const char* value);

// Deletes the value when it is there and may be deleted; silent otherwise.
void DeleteRegistryValue(RegistryRoot root, const char* keyPath, const char* valueName);
