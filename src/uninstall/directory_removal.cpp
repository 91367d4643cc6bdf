// Directory removal and clean-up through the platform's file calls; see
// directory_removal.h.
#include "uninstall/directory_removal.h"

#include "platform/platform.h"
#include "system/ascii_text.h"
#include "system/path_operations.h"
#include "system/path_text.h"
#include "system/system_directories.h"

#include <string.h>

namespace {

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool IsLink(uint32_t attributes) { return (attributes & kAttrReparsePoint) != 0; }

// The directory named without trailing backslashes, though a root keeps its
// own (C:\ is not C:). Named with one, a link can answer for what it points
// to (the POSIX host's lookups follow it then): the link would be taken for
// a plain directory and entered, and what it points to deleted. In a
// two-byte code page a character's second byte may be 0x5C ("表" is 95 5C
// in code page 932): it stays with its character.
void SetDirectoryName(PathText& path, const char* directory) {
  SetText(path, directory);
  if (path.tooLong) return;
  while (path.length > 1 && AfterLastDelimiter(path.chars, "\\") == path.length &&
         path.chars[path.length - 2] != ':') {
    CutText(path, path.length - 1);
  }
}

// The number of components of `path`, or -1 when one of them ends in a dot
// or a blank or holds a colon: such a path names another directory than its
// text. ".." climbs out, and Windows drops a last component's trailing dots
// and blanks while one further in keeps them, so that "x \sub" lies in "x "
// where a lookup of "x " sees "x".
int32_t PlainComponentCount(const char* path) {
  int32_t count = 0;
  bool inComponent = false;
  bool endsInDotOrBlank = false;
  for (const char* c = path;; ++c) {
    if (*c == ':') return -1;
    if (*c == '\\' || *c == '/' || *c == '\0') {
      if (endsInDotOrBlank) return -1;
      if (inComponent) ++count;
      if (*c == '\0') return count;
      inComponent = false;
      continue;
    }
    inComponent = true;
    endsInDotOrBlank = *c == '.' || *c == ' ';
    // A lead byte's second byte may have any value.
    if (IsLeadByte(static_cast<uint8_t>(*c)) && c[1] != '\0') ++c;
  }
}

// True when the file system names the directory as its text does: no
// component of dots, no colon past the drive, and an absolute form that is
// the text itself (Windows drops trailing dots and blanks, turns '/' into
// '\\', and resolves a relative path elsewhere).
bool IsResolvedDirectory(const char* directory) {
  const char* rest = directory[0] != '\0' && directory[1] == ':' ? directory + 2 : directory;
  if (PlainComponentCount(rest) < 0) return false;
  char absolute[kPathTextCapacity];
  return AbsolutePath(directory, absolute, sizeof absolute) && EqualsExact(absolute, directory);
}

// Deletes `directory` when it lies strictly below `base` and no component
// below `base` is a link, looked at before anything is deleted; true then.
bool RemoveBelow(const char* directory, const PathText& base) {
  if (base.tooLong || !IsStrictlyBelow(directory, base.chars) ||
      LinkOnPath(directory, base.length)) {
    return false;
  }
  DeleteDirectoryTree(directory);
  return true;
}

}  // namespace

bool IsStrictlyBelow(const char* directory, const char* base) {
  if (base[0] == '\0' || !StartsWithIgnoringAsciiCase(directory, base)) return false;
  return PlainComponentCount(directory + strlen(base)) > 0;
}

bool IsCleanupRefused(const char* directory, const char* windowsDirectoryWithBackslash,
                      const char* systemDirectoryWithBackslash) {
  if (directory[0] == '\0') return true;
  PathText withBackslash;
  SetText(withBackslash, directory);
  AddTrailingBackslash(withBackslash);
  if (withBackslash.tooLong) return true;
  const char* const guards[] = {
      windowsDirectoryWithBackslash,
      systemDirectoryWithBackslash,
      "S:\\sData\\Source\\Lumatic\\Zelt42\\Wlnd\\Source\\",
      "\\",
      "C:\\Program Files\\",
  };
  for (const char* guard : guards) {
    if (EqualsIgnoringAsciiCase(withBackslash.chars, guard)) return true;
  }
  return false;
}

void RemoveScheduledDirectory(const char* directory, const char* userTemp) {
  PathText windowsTemp;
  WindowsDirectory(windowsTemp);
  if (windowsTemp.length != 0) AppendText(windowsTemp, "\\Temp\\");
  if (RemoveBelow(directory, windowsTemp)) return;
  // The user's temporary directory, unless it is a root or a protected
  // directory: below those, everything would count as temporary.
  PathText windows;
  PathText system;
  WindowsDirectoryWithBackslash(windows);
  SystemDirectoryWithBackslash(system);
  const char* afterDrive = userTemp[0] != '\0' && userTemp[1] == ':' ? userTemp + 2 : userTemp;
  if (PlainComponentCount(afterDrive) > 0 &&
      !IsCleanupRefused(userTemp, windows.chars, system.chars)) {
    PathText base;
    SetText(base, userTemp);
    RemoveBelow(directory, base);
  }
}

void DeleteDirectoryTree(const char* directory) {
  PathText path;
  SetDirectoryName(path, directory);
  if (path.tooLong) return;
  uint32_t attributes = GetPathAttributes(path.chars);
  if (attributes == kNoAttributes || (attributes & kAttrDirectory) == 0) return;
  if (IsLink(attributes)) {
    RemoveDirectoryPath(path.chars);
    return;
  }
  // Entry paths are the directory, a backslash and the name.
  uint32_t directoryLength = path.length;
  AppendText(path, "\\*.*");
  DirectoryListing listing;
  if (!path.tooLong && FirstListedEntry(path.chars, &listing)) {
    uint32_t prefixLength = path.length - 3;
    do {
      if (IsDotOrDotDot(listing.name)) continue;
      CutText(path, prefixLength);
      AppendText(path, listing.name);
      if (path.tooLong) continue;
      if ((listing.attributes & kAttrDirectory) != 0) {
        DeleteDirectoryTree(path.chars);
      } else {
        DeletePath(path.chars);
      }
    } while (NextListedEntry(&listing));
    CloseListing(&listing);
  }
  CutText(path, directoryLength);
  RemoveDirectoryPath(path.chars);
}

void CleanDirectoryFiles(const char* directory) {
  PathText windows;
  PathText system;
  WindowsDirectoryWithBackslash(windows);
  SystemDirectoryWithBackslash(system);
  if (IsCleanupRefused(directory, windows.chars, system.chars) || !IsResolvedDirectory(directory)) {
    return;
  }
  PathText path;
  SetDirectoryName(path, directory);
  uint32_t attributes = GetPathAttributes(path.chars);
  if (path.tooLong || attributes == kNoAttributes || (attributes & kAttrDirectory) == 0 ||
      IsLink(attributes)) {
    return;
  }
  AddTrailingBackslash(path);
  uint32_t prefixLength = path.length;
  AppendText(path, "*.*");
  DirectoryListing listing;
  if (path.tooLong || !FirstListedEntry(path.chars, &listing)) return;
  do {
    if ((listing.attributes & kAttrDirectory) != 0) continue;
    CutText(path, prefixLength);
    AppendText(path, listing.name);
    if (!path.tooLong) DeletePath(path.chars);
  } while (NextListedEntry(&listing));
  CloseListing(&listing);
}
