// Replacing the output file through a temporary file (POSIX); see
// host_files.h. The temporary file lies in the target's directory, so the
// closing rename stays within one file system and is atomic: a reader sees
// the old file or the whole new one, never a part.
#include "host_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// The temporary file until it is renamed: closed and removed when it goes
// out of scope any other way.
struct TemporaryFile {
  std::string path;
  int descriptor = -1;
  bool renamed = false;

  ~TemporaryFile() {
    if (descriptor >= 0) close(descriptor);
    if (!path.empty() && !renamed) unlink(path.c_str());
  }
};

std::string Failure(const char* action, const std::string& path) {
  return std::string("cannot ") + action + " '" + path + "': " + std::strerror(errno);
}

// Creates a file that did not exist before, executable like the stub, named
// after the target and this process; a name already taken (a leftover of an
// earlier run) moves on to the next number.
std::string CreateTemporaryFile(const std::string& target, TemporaryFile& file) {
  const std::filesystem::path targetPath(target);
  const std::string prefix =
      (targetPath.parent_path() / ("." + targetPath.filename().string())).string() + ".tmp" +
      std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = prefix + std::to_string(attempt);
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    if (descriptor >= 0) {
      file.path = path;
      file.descriptor = descriptor;
      return "";
    }
    if (errno != EEXIST) return Failure("create a temporary file", path);
  }
  return "cannot create a temporary file beside '" + target + "': every name is taken";
}

bool WriteAll(int descriptor, const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count == 0) errno = EIO;
    if (count <= 0) return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

std::string ReplaceFile(const std::string& target, const std::vector<const Bytes*>& parts) {
  TemporaryFile file;
  std::string problem = CreateTemporaryFile(target, file);
  if (!problem.empty()) return problem;
  for (const Bytes* part : parts) {
    if (!WriteAll(file.descriptor, *part)) return Failure("write", file.path);
  }
  // On the disk before the rename, so a crash cannot leave the new name on
  // a short file.
  if (fsync(file.descriptor) != 0) return Failure("write", file.path);
  const int descriptor = file.descriptor;
  file.descriptor = -1;
  if (close(descriptor) != 0) return Failure("write", file.path);
  if (std::rename(file.path.c_str(), target.c_str()) != 0) return Failure("replace", target);
  file.renamed = true;
  return "";
}
