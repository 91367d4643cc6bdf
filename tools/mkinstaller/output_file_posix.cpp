// Writing the output through a temporary file (POSIX); see host_files.h.
// Every write names its offset (pwrite), so an entry's header can be
// written again once its sizes are known.
// The temporary file lies in the target's directory, so the closing rename
// stays within one file system and is atomic: a reader sees the old file or
// the whole new one, never a part.
#include "host_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Failure(const char* action, const std::string& path) {
  return std::string("cannot ") + action + " '" + path + "': " + std::strerror(errno);
}

}  // namespace

OutputFile::~OutputFile() {
  if (handle >= 0) close(static_cast<int>(handle));
  if (!path.empty() && !committed) unlink(path.c_str());
}

// A file that did not exist before, executable like the stub, named after
// the target and this process; a name already taken (a leftover of an
// earlier run) moves on to the next number.
std::string CreateOutput(const std::string& target, OutputFile& file) {
  file.target = target;
  const std::string prefix = TemporaryPrefix(target) + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = prefix + std::to_string(attempt);
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    if (descriptor >= 0) {
      file.path = path;
      file.handle = descriptor;
      return "";
    }
    if (errno != EEXIST) return Failure("write", target);
  }
  return "cannot write '" + target + "': every name for a temporary file beside it is taken";
}

std::string WriteOutputAt(OutputFile& file, uint64_t offset, const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t written = pwrite(static_cast<int>(file.handle), bytes + done, count - done,
                                   static_cast<off_t>(offset + done));
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = EIO;
    if (written <= 0) return Failure("write", file.target);
    done += static_cast<size_t>(written);
  }
  return "";
}

std::string TruncateOutput(OutputFile& file, uint64_t size) {
  if (ftruncate(static_cast<int>(file.handle), static_cast<off_t>(size)) != 0) {
    return Failure("write", file.target);
  }
  file.size = size;
  return "";
}

std::string CommitOutput(OutputFile& file) {
  // On the disk before the rename, so a crash cannot leave the new name on
  // a short file.
  if (fsync(static_cast<int>(file.handle)) != 0) return Failure("write", file.target);
  const int descriptor = static_cast<int>(file.handle);
  file.handle = -1;
  if (close(descriptor) != 0) return Failure("write", file.target);
  if (std::rename(file.path.c_str(), file.target.c_str()) != 0) {
    return Failure("replace", file.target);
  }
  file.committed = true;
  return "";
}
