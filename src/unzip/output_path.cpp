// Checks and joins of entry output paths.
#include "unzip/output_path.h"

#include <string.h>

#include "platform/platform.h"
#include "unzip/extract_entry.h"

namespace {

bool IsDotsOnly(const char* begin, const char* end) {
  if (end - begin < 2) return false;
  for (const char* c = begin; c < end; ++c) {
    if (*c != '.' && *c != ' ') return false;
  }
  return begin[0] == '.' && begin[1] == '.';
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const char* NextCharacter(const char* c) {
  return IsLeadByte(static_cast<uint8_t>(c[0])) && c[1] != '\0' ? c + 2 : c + 1;
}

const char* FindSeparator(const char* text, char separator) {
  for (const char* c = text; *c != '\0'; c = NextCharacter(c)) {
    if (*c == separator) return c;
  }
  return nullptr;
}

char* FindSeparator(char* text, char separator) {
  return const_cast<char*>(FindSeparator(static_cast<const char*>(text), separator));
}

bool EndsInBackslash(const char* path, size_t length) {
  const char* last = nullptr;
  for (const char* c = path; c < path + length; c = NextCharacter(c)) last = c;
  return last && *last == '\\';
}

bool IsDeviceName(const char* begin, const char* end) {
  const char* stem = begin;
  while (stem < end && *stem != '.') ++stem;
  while (stem > begin && stem[-1] == ' ') --stem;
  char upper[8];
  size_t length = static_cast<size_t>(stem - begin);
  if (length < 3 || length > 7) return false;
  for (size_t i = 0; i < length; ++i) upper[i] = Upper(begin[i]);
  upper[length] = '\0';
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* name : kNames) {
    if (strcmp(upper, name) == 0) return true;
  }
  return length == 4 && (memcmp(upper, "COM", 3) == 0 || memcmp(upper, "LPT", 3) == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

bool StaysInsideTarget(const char* name) {
  if (name[0] == '\\' || strchr(name, ':')) return false;
  for (const char* component = name;;) {
    const char* end = FindSeparator(component, '\\');
    if (!end) end = component + strlen(component);
    if (IsDotsOnly(component, end) || IsDeviceName(component, end)) return false;
    if (*end == '\0') return true;
    component = end + 1;
  }
}

bool JoinOutputPath(const char* target, const char* name, char* out) {
  size_t targetLength = strlen(target);
  size_t nameLength = strlen(name);
  if (targetLength + nameLength > kMaxOutputPath) return false;
  memcpy(out, target, targetLength);
  memcpy(out + targetLength, name, nameLength + 1);
  return true;
}
