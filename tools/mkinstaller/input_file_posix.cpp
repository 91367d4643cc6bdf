// Reading an input in pieces at given offsets (POSIX); see host_files.h.
// pread keeps no shared file position, so threads can read one file at once.
#include "host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Failure(const InputFile& file) {
  return std::string("cannot read ") + file.what + " '" + file.path + "': " + std::strerror(errno);
}

}  // namespace

InputFile::~InputFile() {
  if (handle >= 0) close(static_cast<int>(handle));
}

std::string OpenInput(const std::string& path, const char* what, InputFile& file) {
  file.path = path;
  file.what = what;
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return Failure(file);
  file.handle = descriptor;
  struct stat info;
  if (fstat(descriptor, &info) != 0) return Failure(file);
  if (S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return Failure(file);
  }
  file.size = static_cast<uint64_t>(info.st_size);
  return "";
}

std::string ReadInput(InputFile& file, uint64_t offset, uint8_t* buffer, size_t count,
                      size_t& got) {
  got = 0;
  while (got < count) {
    const ssize_t read = pread(static_cast<int>(file.handle), buffer + got, count - got,
                               static_cast<off_t>(offset + got));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) return Failure(file);
    if (read == 0) break;
    got += static_cast<size_t>(read);
  }
  return "";
}
