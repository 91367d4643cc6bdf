// Where mkinstaller finds a stub when none is given: the one installed with
// it, found from its own executable's path so that an unpacked package works
// wherever it lies.
#pragma once

#include <string>
#include <vector>

// The places looked at, in order, for the executable at `ownPath`:
// orvane_stub.exe beside it (the Windows package, a build directory), then
// ../share/orvane/orvane_stub.exe (an installation under a prefix).
std::vector<std::string> InstalledStubCandidates(const std::string& ownPath);

// The first candidate that exists, in `path`; otherwise the problem, naming
// the places looked at and how to give a stub.
std::string FindInstalledStub(std::string& path);
