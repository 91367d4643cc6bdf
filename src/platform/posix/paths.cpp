// POSIX side of the path calls. Read-only maps onto the owner's write
// permission; hidden, system and archive, which a host file cannot carry, are
// kept in a small side table by host path so that they read back as set. A
// symbolic link stands for a Windows reparse point: its attributes are its
// own, as Windows reports a link's, and removing it removes the link only.
// Deleting a read-only file is refused, as Windows refuses it, also when the
// tests run as root.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/host_controls.h"
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

uint32_t HostAttributes(const char* host) {
  struct stat st;
  if (lstat(host, &st) != 0) return kNoAttributes;
  if (S_ISLNK(st.st_mode)) {
    return kAttrReparsePoint | (stat(host, &st) == 0 && S_ISDIR(st.st_mode) ? kAttrDirectory : 0);
  }
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (const SideEntry* e = FindSide(host)) attributes |= e->bits;
  return attributes == 0 ? kAttrNormal : attributes;
}

}  // namespace

void ForgetExtraAttributes(const char* hostPath) { RememberSide(hostPath, 0); }

uint32_t GetPathAttributes(const char* path) {
  char host[kHostPathSize];
  return ToHostPath(path, host) ? HostAttributes(host) : kNoAttributes;
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
  if (!ToHostPath(path, host)) return false;
  uint32_t attributes = HostAttributes(host);
  if (attributes == kNoAttributes || (attributes & kAttrReadOnly) != 0 || unlink(host) != 0) {
    return false;
  }
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

// The host has no sharing modes: the hold is an open descriptor of what was
// made, and the security is Windows's alone.
bool MakeHeldDirectory(const char* path, const void*, FileHandle* hold) {
  *hold = kNoFile;
  char host[kHostPathSize];
  if (!ToHostPath(path, host) || mkdir(host, 0777) != 0) return false;
  const int fd = open(host, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  *hold = fd < 0 ? kNoFile : fd;
  return true;
}

// rename(2) replaces a link itself; a read-only file is refused, as Windows
// refuses it, also when the tests run as root.
bool ReplacePath(const char* from, const char* to) {
  char hostFrom[kHostPathSize];
  char hostTo[kHostPathSize];
  if (!ToHostPath(from, hostFrom) || !ToHostPath(to, hostTo)) return false;
  const uint32_t existing = HostAttributes(hostTo);
  return (existing == kNoAttributes || (existing & kAttrReadOnly) == 0) &&
         rename(hostFrom, hostTo) == 0;
}

bool RemoveDirectoryPath(const char* path) {
  char host[kHostPathSize];
  struct stat st;
  if (!ToHostPath(path, host) || lstat(host, &st) != 0) return false;
  return (S_ISLNK(st.st_mode) ? unlink(host) : rmdir(host)) == 0;
}

namespace {

// What a listing keeps between calls: the open directory and its host path
// with a trailing '/', to which entry names are appended.
struct HostListing {
  DIR* directory;
  char path[kHostPathSize];
  size_t length;
};

bool TakeNext(DirectoryListing* listing) {
  auto* host = reinterpret_cast<HostListing*>(listing->search);
  for (;;) {
    struct dirent* entry = readdir(host->directory);
    if (!entry) return false;
    size_t nameLength = strlen(entry->d_name);
    if (nameLength >= sizeof listing->name || host->length + nameLength >= kHostPathSize) continue;
    memcpy(listing->name, entry->d_name, nameLength + 1);
    memcpy(host->path + host->length, entry->d_name, nameLength + 1);
    listing->attributes = HostAttributes(host->path);
    if (listing->attributes != kNoAttributes) return true;
  }
}

}  // namespace

bool FirstListedEntry(const char* pattern, DirectoryListing* listing) {
  listing->search = 0;
  // Only the pattern "*.*" is used: it lists everything.
  size_t length = strlen(pattern);
  if (length < 3 || strcmp(pattern + length - 3, "*.*") != 0) return false;
  auto* host = static_cast<HostListing*>(calloc(1, sizeof(HostListing)));
  if (!host) return false;
  char directory[kHostPathSize];
  memcpy(directory, pattern, length - 3);
  directory[length - 3] = '\0';
  if (directory[0] == '\0') memcpy(directory, ".", 2);
  if (!ToHostPath(directory, host->path) || (host->directory = opendir(host->path)) == nullptr) {
    free(host);
    return false;
  }
  host->length = strlen(host->path);
  if (host->length == 0 || host->path[host->length - 1] != '/') host->path[host->length++] = '/';
  listing->search = reinterpret_cast<intptr_t>(host);
  if (TakeNext(listing)) return true;
  CloseListing(listing);
  return false;
}

bool NextListedEntry(DirectoryListing* listing) { return listing->search != 0 && TakeNext(listing); }

void CloseListing(DirectoryListing* listing) {
  auto* host = reinterpret_cast<HostListing*>(listing->search);
  if (!host) return;
  closedir(host->directory);
  free(host);
  listing->search = 0;
}

namespace {
bool hostCodePage932 = false;
}  // namespace

void SetHostCodePage932(bool on) { hostCodePage932 = on; }

// The host's paths are UTF-8 and have no two-byte characters, except while
// a test stands in code page 932, whose lead bytes are 0x81-0x9F and
// 0xE0-0xFC.
bool IsLeadByte(uint8_t byte) {
  return hostCodePage932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

namespace {

char hostWindowsDirectory[kHostPathSize] = "C:\\WINDOWS";
char hostSystemDirectory[kHostPathSize] = "C:\\WINDOWS\\system32";

void CopyIfFits(const char* from, char* out, uint32_t size) {
  size_t length = strlen(from);
  if (length >= size) length = 0;
  memcpy(out, from, length);
  out[length] = '\0';
}

}  // namespace

void SetHostSystemDirectories(const char* windowsDirectory, const char* systemDirectory) {
  CopyIfFits(windowsDirectory, hostWindowsDirectory, kHostPathSize);
  CopyIfFits(systemDirectory, hostSystemDirectory, kHostPathSize);
}

void ReadWindowsDirectory(char* out, uint32_t size) { CopyIfFits(hostWindowsDirectory, out, size); }

void ReadSystemDirectory(char* out, uint32_t size) { CopyIfFits(hostSystemDirectory, out, size); }

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
