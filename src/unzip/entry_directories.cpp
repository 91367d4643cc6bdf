// Directory creation for entries: walk the output path component by
// component, changing into each directory and making the ones that are
// missing.
#include "unzip/entry_directories.h"

#include <string.h>

#include "platform/platform.h"
#include "unzip/extract_entry.h"
#include "unzip/output_path.h"

char* NextPathToken(char* text, char separator) {
  static char* resume = nullptr;
  char* piece = text ? text : resume;
  if (!piece) return nullptr;
  char* end = FindSeparator(piece, separator);
  if (end) {
    *end = '\0';
    resume = end + 1;
  } else {
    resume = nullptr;
  }
  return piece;
}

void MakeEntryDirectories(const char* path) {
  char buffer[kMaxOutputPath + 1];
  size_t length = strlen(path);
  if (length >= sizeof buffer) return;
  memcpy(buffer, path, length + 1);

  // One directory component stands before each backslash.
  int directories = 0;
  for (const char* c = FindSeparator(buffer, '\\'); c; c = FindSeparator(c + 1, '\\')) {
    ++directories;
  }

  char* component = NextPathToken(buffer, '\\');
  for (int i = 0; i < directories && component; ++i, component = NextPathToken(nullptr, '\\')) {
    if (i == 0 && component[0] != '\0' && component[1] == ':') {
      char root[] = "c:\\";
      root[0] = component[0];
      ChangeDirectory(root);
      continue;
    }
    if (ChangeDirectory(component)) continue;
    if (!MakeDirectory(component) || !ChangeDirectory(component)) return;
  }
}
