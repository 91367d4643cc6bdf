// Directory paths through the platform's file calls; see directory_path.h.
#include "launcher/directory_path.h"

#include "platform/platform.h"
#include "system/path_operations.h"
#include "system/path_text.h"

namespace {

// Makes the directory named by the first `length` characters of the path,
// after its missing parents. One buffer serves every level: a prefix is
// terminated in place while it is looked at, and given back after.
void MakeDirectoryPrefix(PathText& path, uint32_t length) {
  if (length > 0 && path.chars[length - 1] == '\\') --length;
  if (length < 3) return;
  char kept = path.chars[length];
  path.chars[length] = '\0';
  if (IsDirectory(path.chars)) {
    path.chars[length] = kept;
    return;
  }
  uint32_t parentLength = FileNameStart(path.chars);
  path.chars[length] = kept;
  MakeDirectoryPrefix(path, parentLength);
  path.chars[length] = '\0';
  MakeDirectory(path.chars);
  path.chars[length] = kept;
}

}  // namespace

void CreateDirectoryPath(const char* path) {
  PathText directory;
  SetText(directory, path);
  if (!directory.tooLong) MakeDirectoryPrefix(directory, directory.length);
}
