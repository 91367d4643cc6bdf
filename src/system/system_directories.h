// The Windows and System directories, read afresh at every call.
#pragma once

#include "system/path_text.h"

// As the system reports it: normally without a trailing backslash; empty
// when the query fails or the directory needs 256 characters or more.
void WindowsDirectory(PathText& out);
void WindowsDirectoryWithBackslash(PathText& out);
void SystemDirectoryWithBackslash(PathText& out);
