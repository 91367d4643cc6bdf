// Links on a path, for both sides of the door: a directory that is a reparse
// point (a junction, symbolic link or mount point on Windows; a symbolic link
// on the host) leads somewhere else, so every write below a chosen directory
// asks first whether one lies on the way. Built on GetPathAttributes, which
// reports a link's own attributes on both sides.
#include "platform/platform.h"

namespace {

// Room for any path the engine or the launcher forms, with its terminator.
constexpr uint32_t kCheckedPathSize = 1024;

}  // namespace

bool LinkOnPath(const char* path, uint32_t from) {
  char prefix[kCheckedPathSize];
  uint32_t componentStart = 0;
  for (uint32_t i = 0;; ++i) {
    if (i >= kCheckedPathSize) return true;
    char c = path[i];
    // Each component that ends after `from` is looked at without its
    // backslash: named with one, a link answers for what it points to.
    // Named without one, it is the path's last component, whose trailing
    // blanks and dots Windows drops, while a component further in keeps
    // them: "x \sub" lies in "x ", where a lookup of "x " would look at
    // "x". Such a component is never looked at; it counts as a link.
    if ((c == '\\' || c == '\0') && i > componentStart && i > from) {
      if (c == '\\' && (path[i - 1] == ' ' || path[i - 1] == '.')) return true;
      prefix[i] = '\0';
      uint32_t attributes = GetPathAttributes(prefix);
      if (attributes != kNoAttributes && (attributes & kAttrReparsePoint) != 0) return true;
    }
    if (c == '\0') return false;
    prefix[i] = c;
    if (c == '\\') {
      componentStart = i + 1;
    } else if (IsLeadByte(static_cast<uint8_t>(c)) && path[i + 1] != '\0') {
      // The second byte of a character may be 0x5C and never separates.
      if (++i >= kCheckedPathSize) return true;
      prefix[i] = path[i];
    }
  }
}
