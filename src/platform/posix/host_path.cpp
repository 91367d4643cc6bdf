// Maps Windows paths onto the host: every backslash becomes '/'.
#include "platform/posix/host_path.h"

bool ToHostPath(const char* path, char (&out)[kHostPathSize]) {
  size_t i = 0;
  for (; path[i] != '\0'; ++i) {
    if (i + 1 >= kHostPathSize) return false;
    out[i] = path[i] == '\\' ? '/' : path[i];
  }
  out[i] = '\0';
  return true;
}
