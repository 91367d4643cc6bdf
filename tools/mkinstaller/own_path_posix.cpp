// The builder's own path on Linux (see host_files.h): the kernel's link
// /proc/self/exe, which names the executable whatever the working directory
// or argv[0] is.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host_files.h"

std::string OwnExecutablePath(std::string& path) {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length < 0) return std::string("cannot find mkinstaller's own path: ") + std::strerror(errno);
  if (static_cast<size_t>(length) == sizeof buffer) return "mkinstaller's own path is too long";
  path.assign(buffer, static_cast<size_t>(length));
  return "";
}
