// Whether the stub runs elevated, and the working directory's security then.
#pragma once

#include "system/directory_security.h"

// The admin-only descriptor of directory_security.h for this process's user,
// built into `out`, when the process runs elevated (its token says so: an
// installer that asks for administrator rights, or one started with "Run as
// administrator"); null otherwise, and on systems without elevation (before
// Vista), where a directory keeps the default security.
const void* SecurityIfElevated(DirectorySecurity& out);
