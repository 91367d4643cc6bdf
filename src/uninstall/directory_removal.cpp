// Directory removal and clean-up through the platform's file calls; see
// directory_removal.h.
#include "uninstall/directory_removal.h"

#include "platform/platform.h"
#include "system/ascii_text.h"
#include "system/path_operations.h"
#include "system/path_text.h"
#include "system/system_directories.h"

namespace {

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool IsLink(uint32_t attributes) { return (attributes & kAttrReparsePoint) != 0; }

// The directory named without trailing backslashes, though a root keeps its
// own (C:\ is not C:). Named with one, a link can answer for what it points
// to (the POSIX host's lookups follow it then): the link would be taken for
// a plain directory and entered, and what it points to deleted.
void SetDirectoryName(PathText& path, const char* directory) {
  SetText(path, directory);
  uint32_t length = path.length;
  while (length > 1 && path.chars[length - 1] == '\\' && path.chars[length - 2] != ':') --length;
  if (!path.tooLong) CutText(path, length);
}

}  // namespace

bool IsBelowWindowsTemp(const char* directory, const char* windowsDirectory) {
  if (windowsDirectory[0] == '\0') return false;
  PathText guard;
  SetText(guard, windowsDirectory);
  AppendText(guard, "\\Temp\\");
  if (guard.tooLong || !StartsWithIgnoringAsciiCase(directory, guard.chars)) return false;
  bool namesDirectory = false;
  bool onlyDots = true;
  bool inComponent = false;
  for (const char* c = directory + guard.length;; ++c) {
    if (*c == ':') return false;
    if (*c == '\\' || *c == '/' || *c == '\0') {
      if (inComponent && onlyDots) return false;
      namesDirectory = namesDirectory || inComponent;
      if (*c == '\0') return namesDirectory;
      inComponent = false;
      onlyDots = true;
      continue;
    }
    inComponent = true;
    onlyDots = onlyDots && (*c == '.' || *c == ' ');
  }
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

void RemoveScheduledDirectory(const char* directory) {
  PathText windows;
  WindowsDirectory(windows);
  if (IsBelowWindowsTemp(directory, windows.chars)) DeleteDirectoryTree(directory);
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
  if (IsCleanupRefused(directory, windows.chars, system.chars)) return;
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
