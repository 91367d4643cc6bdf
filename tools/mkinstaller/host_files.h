// mkinstaller's access to files: listing a folder, reading an input whole
// or piece by piece at any offset, telling whether two paths name the same
// file or one lies in a folder, and writing the output into a temporary file
// that replaces it when complete. Each returns an empty string on success,
// else the problem as one line. The system calls of the tool are in
// list_tree_posix.cpp, input_file_posix.cpp and output_file_posix.cpp
// (POSIX) and in host_files_windows.cpp (Windows) only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "installer_image.h"

// Paths are the system's bytes on POSIX and UTF-8 on Windows; this makes a
// std::filesystem path of one.
std::filesystem::path HostPath(const std::string& path);

// Reads the file at `path` into `contents`; `what` names it in the problem.
std::string ReadWholeFile(const std::string& path, const char* what, Bytes& contents);

// An input read in pieces, from any thread: each read names its offset.
struct InputFile {
  std::string path;
  const char* what = "file";  // names it in the problems
  intptr_t handle = -1;  // its descriptor (POSIX) or HANDLE (Windows); -1 when closed
  uint64_t size = 0;     // when it was opened

  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();
};

// Opens the file at `path` and takes its size.
std::string OpenInput(const std::string& path, const char* what, InputFile& file);
// Reads `count` bytes from `offset` into `buffer`; `got` falls short of
// `count` only where the file ends.
std::string ReadInput(InputFile& file, uint64_t offset, uint8_t* buffer, size_t count,
                      size_t& got);

// True when `a` and `b` are the same file (same device and inode) or, when
// either does not exist, lead to the same absolute, normalised path.
bool SameFile(const std::string& a, const std::string& b);

// The output while it is written: a new file beside `target`, renamed over
// `target` by CommitOutput once all of it is written and closed. Destroyed
// before that, on any failure, it is closed and removed, and `target` stays
// as it was.
struct OutputFile {
  std::string target;
  std::string path;      // of the new file
  intptr_t handle = -1;  // its descriptor (POSIX) or HANDLE (Windows); -1 when closed
  uint64_t size = 0;     // bytes written; WriteOutput appends here
  bool committed = false;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();
};

// Creates the new file for `target`. Problems name the target, never the
// new file.
std::string CreateOutput(const std::string& target, OutputFile& file);
// The new file's name but for the numbers that make it unique: a hidden
// name beside `target`.
std::string TemporaryPrefix(const std::string& target);
// Appends `count` bytes to it.
std::string WriteOutput(OutputFile& file, const uint8_t* bytes, size_t count);
std::string WriteOutput(OutputFile& file, const Bytes& bytes);
// Writes `bytes` over what lies at `offset`, all of which is written already.
std::string OverwriteOutput(OutputFile& file, uint64_t offset, const Bytes& bytes);
// The one write each system supplies: `count` bytes at `offset`, all or an
// error; the two above are made of it.
std::string WriteOutputAt(OutputFile& file, uint64_t offset, const uint8_t* bytes, size_t count);
// Cuts it back to its first `size` bytes, where the next append goes.
std::string TruncateOutput(OutputFile& file, uint64_t size);
// Puts it on the disk, closes it and renames it over the target.
std::string CommitOutput(OutputFile& file);

// One file or directory below the folder being packed.
struct TreeItem {
  std::string name;  // relative to the folder, '/' between components; a directory's ends in '/'
  std::string path;  // opens it on this machine
  bool isDirectory = false;
  uint64_t size = 0;     // of a file
  int64_t modified = 0;  // seconds since 1970-01-01 00:00 UTC
  bool refused = false;  // its name cannot go into an installer (CheckTree)
};

// What each system's listing keeps of a folder it has still to read: its
// path on this machine, its entry name, and the folders above it with itself
// last, each as its device or volume and its inode or file index, by which
// a link that leads back up is known.
struct PendingFolder {
  using Id = std::pair<uint64_t, uint64_t>;
  std::string path, name;
  std::vector<Id> chain;
};

// Appends everything below the folder `root` to `items`, in no particular
// order, and every problem met to `problems`, going on past each. A
// symbolic link (on Windows any reparse point) is a problem, or with
// `followLinks` taken for what it leads to, unless that is a folder holding
// the link (a loop). Anything neither a regular file nor a folder is a
// problem. Names are the bytes the system gives (POSIX) or UTF-8 (Windows).
void ListTree(const std::string& root, bool followLinks, std::vector<TreeItem>& items,
              std::vector<std::string>& problems);

// True when `path` (existing or not) lies below the existing folder `folder`.
bool LiesInside(const std::string& path, const std::string& folder);

// The path of the running mkinstaller executable, in `path`.
std::string OwnExecutablePath(std::string& path);
