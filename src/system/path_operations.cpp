// Path operations; see path_operations.h.
#include "system/path_operations.h"

#include "platform/platform.h"

void AddTrailingBackslash(PathText& path) {
  if (path.length > 0 && AfterLastDelimiter(path.chars, "\\") != path.length) {
    AppendChar(path, '\\');
  }
}

uint32_t AfterLastDelimiter(const char* text, const char* delimiters) {
  uint32_t after = 0;
  for (uint32_t i = 0; text[i] != '\0'; ++i) {
    if (IsLeadByte(static_cast<uint8_t>(text[i])) && text[i + 1] != '\0') {
      ++i;  // the trail byte may have any value
      continue;
    }
    for (const char* d = delimiters; *d != '\0'; ++d) {
      if (text[i] == *d) after = i + 1;
    }
  }
  return after;
}

uint32_t FileNameStart(const char* path) { return AfterLastDelimiter(path, "\\:"); }

void StripExtension(const char* name, PathText& out) {
  SetText(out, name);
  uint32_t after = AfterLastDelimiter(name, ".\\:");
  if (after > 0 && name[after - 1] == '.') CutText(out, after - 1);
}

bool IsDirectory(const char* path) {
  uint32_t attributes = GetPathAttributes(path);
  return attributes != kNoAttributes && (attributes & kAttrDirectory) != 0;
}
