// The version a stub carries: the assembly identity's version in its
// application manifest, which the build fills in from the project's version.
#pragma once

#include <string>

#include "installer_image.h"

// The version attribute of the first <assemblyIdentity> in `stub` (the
// manifest is stored as plain text in the resource section); empty when
// there is none.
std::string StubVersion(const Bytes& stub);
