// The Windows and System directories; see system_directories.h.
#include "system/system_directories.h"

#include "platform/platform.h"
#include "system/path_operations.h"

namespace {

// The platform queries are made with a buffer of 256 characters.
constexpr uint32_t kDirectoryQuerySize = 256;

}  // namespace

void WindowsDirectory(PathText& out) {
  char directory[kDirectoryQuerySize];
  ReadWindowsDirectory(directory, kDirectoryQuerySize);
  SetText(out, directory);
}

void WindowsDirectoryWithBackslash(PathText& out) {
  WindowsDirectory(out);
  AddTrailingBackslash(out);
}

void SystemDirectoryWithBackslash(PathText& out) {
  char directory[kDirectoryQuerySize];
  ReadSystemDirectory(directory, kDirectoryQuerySize);
  SetText(out, directory);
  AddTrailingBackslash(out);
}
