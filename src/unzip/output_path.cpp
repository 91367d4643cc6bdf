// Checks and joins of entry output paths.
#include "unzip/output_path.h"

#include <string.h>

#include "unzip/extract_entry.h"

namespace {

bool IsDotsOnly(const char* begin, const char* end) {
  if (end - begin < 2) return false;
  for (const char* c = begin; c < end; ++c) {
    if (*c != '.' && *c != ' ') return false;
  }
  return begin[0] == '.' && begin[1] == '.';
}

}  // namespace

bool StaysInsideTarget(const char* name) {
  if (name[0] == '\\' || strchr(name, ':')) return false;
  const char* component = name;
  for (const char* c = name;; ++c) {
    if (*c == '\\' || *c == '\0') {
      if (IsDotsOnly(component, c)) return false;
      if (*c == '\0') return true;
      component = c + 1;
    }
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
