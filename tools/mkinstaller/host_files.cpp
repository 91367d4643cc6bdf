// Reading inputs whole and comparing paths; see host_files.h. Standard C and C++
// only, so the Windows build of the tool shares it.
#include "host_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The path made absolute with its symbolic links and dot components resolved
// as far as it exists; the plain absolute path when even that fails.
fs::path ResolvedPath(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return fs::path(path).lexically_normal();
  fs::path resolved = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : resolved;
}

}  // namespace

std::string ReadWholeFile(const std::string& path, const char* what, Bytes& contents) {
  contents.clear();
  errno = 0;
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (file) {
    // Room for the whole file at once: no copies while it grows, and no
    // doubled capacity, which a 32-bit builder could not spare.
    std::error_code sizeError;
    const uintmax_t size = fs::file_size(path, sizeError);
    if (!sizeError && size < contents.max_size()) contents.reserve(static_cast<size_t>(size));
    uint8_t buffer[1 << 16];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
      contents.insert(contents.end(), buffer, buffer + count);
    }
    if (!std::ferror(file.get())) return "";
  }
  const std::string reason = errno != 0 ? std::strerror(errno) : "read error";
  return std::string("cannot read ") + what + " '" + path + "': " + reason;
}

std::string WriteOutput(OutputFile& file, const uint8_t* bytes, size_t count) {
  std::string problem = WriteOutputAt(file, file.size, bytes, count);
  if (problem.empty()) file.size += count;
  return problem;
}

std::string WriteOutput(OutputFile& file, const Bytes& bytes) {
  return WriteOutput(file, bytes.data(), bytes.size());
}

std::string OverwriteOutput(OutputFile& file, uint64_t offset, const Bytes& bytes) {
  return WriteOutputAt(file, offset, bytes.data(), bytes.size());
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) {
    const bool same = fs::equivalent(a, b, error);
    if (!error) return same;
  }
  return ResolvedPath(a) == ResolvedPath(b);
}

bool LiesInside(const std::string& path, const std::string& folder) {
  const fs::path inner = ResolvedPath(path), outer = ResolvedPath(folder);
  auto at = inner.begin();
  for (const fs::path& component : outer) {
    if (component.empty()) continue;  // the empty last component of a path ending in '/'
    if (at == inner.end() || *at != component) return false;
    ++at;
  }
  return at != inner.end();
}
