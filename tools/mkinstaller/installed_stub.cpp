// The installed stub's lookup; see installed_stub.h.
#include "installed_stub.h"

#include <filesystem>
#include <system_error>

#include "host_files.h"

namespace fs = std::filesystem;

std::vector<std::string> InstalledStubCandidates(const std::string& ownPath) {
  const fs::path directory = HostPath(ownPath).parent_path();
  const fs::path shared = directory / ".." / "share" / "orvane" / "orvane_stub.exe";
  return {(directory / "orvane_stub.exe").u8string(), shared.lexically_normal().u8string()};
}

std::string FindInstalledStub(std::string& path) {
  std::string ownPath;
  std::string problem = OwnExecutablePath(ownPath);
  if (!problem.empty()) return "no --stub given, and " + problem + "; give one with --stub STUB.exe";
  std::string looked;
  for (const std::string& candidate : InstalledStubCandidates(ownPath)) {
    std::error_code error;
    if (fs::is_regular_file(HostPath(candidate), error)) {
      path = candidate;
      return "";
    }
    looked += (looked.empty() ? "'" : " and '") + candidate + "'";
  }
  return "no --stub given, and no stub is installed with mkinstaller (looked for " + looked +
         "); give one with --stub STUB.exe";
}
