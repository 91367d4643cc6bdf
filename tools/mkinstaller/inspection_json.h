// The facts of `mkinstaller --inspect` as one JSON object (--json), for
// scripts that check finished installers.
#pragma once

#include <string>

#include "installer_inspection.h"

// One JSON object on one line, without a newline. A fact the installer does
// not let be read is null; "consistent" and "problems" close it.
std::string InspectionJson(const Inspection& inspection);
