// The scratch area shared by the fuzz targets (see scratch.h).
#include "scratch.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string scratchRoot;

void RemoveBelow(const std::string& directory) {
  // A directory the engine made read-only must be writable again before its
  // entries can go.
  chmod(directory.c_str(), 0700);
  DIR* dir = opendir(directory.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    std::string path = directory + "/" + entry->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      RemoveBelow(path);
      if (rmdir(path.c_str()) != 0) {
        perror(path.c_str());
        abort();
      }
    } else if (unlink(path.c_str()) != 0) {
      perror(path.c_str());
      abort();
    }
  }
  closedir(dir);
}

void RemoveScratch() {
  if (scratchRoot.empty()) return;
  RemoveBelow(scratchRoot);
  rmdir(scratchRoot.c_str());
}

}  // namespace

std::string CurrentDirectory() {
  char path[4096];
  if (!getcwd(path, sizeof path)) abort();
  return path;
}

std::string MakeScratch(const char* purpose) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvane-" + purpose + "-XXXXXX";
  if (!mkdtemp(&pattern[0])) {
    perror(pattern.c_str());
    abort();
  }
  scratchRoot = pattern;
  atexit(RemoveScratch);
  return scratchRoot;
}

void WriteScratchFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file || (size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0) {
    perror(path.c_str());
    abort();
  }
}

void EmptyDirectory(const std::string& directory) { RemoveBelow(directory); }

void RequireOnly(const std::string& directory, const char* const* allowed) {
  DIR* dir = opendir(directory.c_str());
  if (!dir) abort();
  while (dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    bool known = false;
    for (const char* const* name = allowed; *name && !known; ++name) {
      known = strcmp(*name, entry->d_name) == 0;
    }
    if (!known) {
      fprintf(stderr, "fuzz: the input left %s/%s behind\n", directory.c_str(), entry->d_name);
      abort();
    }
  }
  closedir(dir);
}

int OpenDescriptorCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) abort();
  int count = 0;
  while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
  closedir(dir);
  return count;  // the listing's own descriptor is counted every time alike
}
