// Maps Windows paths onto the host: every backslash becomes '/', except a
// second byte of a two-byte character (which only tests stand in).
#include "platform/posix/host_path.h"

#include "platform/platform.h"

bool ToHostPath(const char* path, char (&out)[kHostPathSize]) {
  size_t i = 0;
  for (; path[i] != '\0'; ++i) {
    if (i + 1 >= kHostPathSize) return false;
    // The second byte of a two-byte character is never a separator.
    bool twoBytes = IsLeadByte(static_cast<uint8_t>(path[i])) && path[i + 1] != '\0';
    out[i] = path[i] == '\\' ? '/' : path[i];
    if (twoBytes) {
      if (i + 2 >= kHostPathSize) return false;
      ++i;
      out[i] = path[i];
    }
  }
  out[i] = '\0';
  return true;
}
