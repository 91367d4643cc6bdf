// What `mkinstaller --inspect` tells about a finished installer: its three
// fields, its icon, version strings and execution level, where its archive
// starts and whether the stub-size field says so, the archive's entries,
// the setup program and its arguments, whether the archive's seal is right,
// wrong or missing, and what follows the archive (an Authenticode
// signature). Portable, over the file's bytes in memory.
#pragma once

#include <string>
#include <vector>

#include "installer_image.h"

struct Inspection {
  std::vector<std::string> lines;     // the report, one fact a line
  // Why the installer would not install as built; none when it is consistent.
  std::vector<std::string> problems;
};

Inspection InspectInstaller(const Bytes& image);
