// The user's temporary directory; see user_temp.h.
#include <windows.h>

#include "system/fatal_error.h"
#include "system/path_operations.h"
#include "system/registry.h"
#include "system/user_temp.h"

bool ExpandEnvironment(PathText& text) {
  DWORD needed = ExpandEnvironmentStringsA(text.chars, nullptr, 0);
  if (needed == 0) return false;
  if (needed > kPathTextCapacity) {
    text.tooLong = true;
    return false;
  }
  char expanded[kPathTextCapacity];
  if (ExpandEnvironmentStringsA(text.chars, expanded, needed) == 0) return false;
  expanded[needed - 1] = '\0';
  SetText(text, expanded);
  return true;
}

namespace {

// The absolute form with "." and ".." resolved: every path built on the
// directory is then the one the file system uses, and a guard that reads
// the text reads that path. An empty text stays empty.
void ResolvePath(PathText& path) {
  if (path.length == 0 || path.tooLong) return;
  char resolved[kPathTextCapacity];
  DWORD length = GetFullPathNameA(path.chars, sizeof resolved, resolved, nullptr);
  if (length >= sizeof resolved) path.tooLong = true;
  if (length != 0 && length < sizeof resolved) SetText(path, resolved);
}

}  // namespace

void UserTempDirectory(PathText& out) {
  ReadRegistryString(RegistryRoot::CurrentUser, "Environment", "TEMP", "", out);
  ExpandEnvironment(out);
  if (out.chars[0] == '\0') {
    // GetTempPathA gives a full path ending in a backslash (from the
    // process's TMP or TEMP variable, else the Windows directory).
    char system[kPathTextCapacity];
    DWORD length = GetTempPathA(kPathTextCapacity, system);
    if (length >= kPathTextCapacity) out.tooLong = true;
    if (length > 0 && length < kPathTextCapacity) SetText(out, system);
  }
  ResolvePath(out);
  AddTrailingBackslash(out);
  if (out.tooLong) FatalError("The temporary directory named in the registry is too long.");
}
