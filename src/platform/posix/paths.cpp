// POSIX side of the path calls. Read-only maps onto the owner's write
// permission; hidden, system and archive, which a host file cannot carry, are
// kept in a small side table by host path so that they read back as set.
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/host_path.h"

namespace {

constexpr uint32_t kExtraBits = kAttrHidden | kAttrSystem | kAttrArchive;
constexpr int kSideTableSize = 64;

struct SideEntry {
  char path[kHostPathSize];
  uint32_t bits;  // 0 marks a free slot
};

SideEntry sideTable[kSideTableSize];

SideEntry* FindSide(const char* hostPath) {
  for (SideEntry& e : sideTable) {
    if (e.bits != 0 && strcmp(e.path, hostPath) == 0) return &e;
  }
  return nullptr;
}

bool RememberSide(const char* hostPath, uint32_t bits) {
  SideEntry* e = FindSide(hostPath);
  if (bits == 0) {
    if (e) e->bits = 0;
    return true;
  }
  if (!e) {
    for (SideEntry& free : sideTable) {
      if (free.bits == 0) {
        e = &free;
        break;
      }
    }
    if (!e) {
      // Full: give up the slots of paths that are gone.
      struct stat st;
      for (SideEntry& old : sideTable) {
        if (stat(old.path, &st) != 0) old.bits = 0;
        if (!e && old.bits == 0) e = &old;
      }
    }
    if (!e) return false;
    strcpy(e->path, hostPath);
  }
  e->bits = bits;
  return true;
}

}  // namespace

void ForgetExtraAttributes(const char* hostPath) { RememberSide(hostPath, 0); }

uint32_t GetPathAttributes(const char* path) {
  char host[kHostPathSize];
  struct stat st;
  if (!ToHostPath(path, host) || stat(host, &st) != 0) return kNoAttributes;
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (const SideEntry* e = FindSide(host)) attributes |= e->bits;
  return attributes == 0 ? kAttrNormal : attributes;
}

bool SetPathAttributes(const char* path, uint32_t attributes) {
  char host[kHostPathSize];
  struct stat st;
  if (!ToHostPath(path, host) || stat(host, &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
  if (mode != (st.st_mode & 07777) && chmod(host, mode) != 0) return false;
  return RememberSide(host, attributes & kExtraBits);
}

bool DeletePath(const char* path) {
  char host[kHostPathSize];
  if (!ToHostPath(path, host) || unlink(host) != 0) return false;
  ForgetExtraAttributes(host);
  return true;
}

bool FileExists(const char* path) {
  char host[kHostPathSize];
  struct stat st;
  return ToHostPath(path, host) && stat(host, &st) == 0;
}

bool ChangeDirectory(const char* path) {
  char host[kHostPathSize];
  return ToHostPath(path, host) && chdir(host) == 0;
}

bool MakeDirectory(const char* path) {
  char host[kHostPathSize];
  return ToHostPath(path, host) && mkdir(host, 0777) == 0;
}

bool AbsolutePath(const char* path, char* out, uint32_t size) {
  size_t length = strlen(path);
  size_t prefix = 0;
  if (path[0] != '/') {
    if (!getcwd(out, size)) return false;
    prefix = strlen(out);
    if (prefix + 1 >= size) return false;
    out[prefix++] = '/';
  }
  if (prefix + length >= size) return false;
  memcpy(out + prefix, path, length + 1);
  return true;
}
