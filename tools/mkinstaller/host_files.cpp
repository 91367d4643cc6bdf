// Reading inputs whole, comparing paths and naming the output's temporary
// file; see host_files.h. Built on the per-system calls and standard C++
// only, so the Windows build of the tool shares it.
#include "host_files.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

// The path made absolute with its symbolic links and dot components resolved
// as far as it exists; the plain absolute path when even that fails.
fs::path ResolvedPath(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(HostPath(path), error);
  if (error) return HostPath(path).lexically_normal();
  fs::path resolved = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : resolved;
}

}  // namespace

fs::path HostPath(const std::string& path) { return fs::u8path(path); }

std::string ReadWholeFile(const std::string& path, const char* what, Bytes& contents) {
  contents.clear();
  InputFile file;
  std::string problem = OpenInput(path, what, file);
  if (!problem.empty()) return problem;
  // Room for the whole file at once: no copies while it grows, and no
  // doubled capacity, which a 32-bit builder could not spare. A file that
  // grows meanwhile is read to its end.
  if (file.size < contents.max_size()) contents.resize(static_cast<size_t>(file.size));
  size_t got = 0;
  problem = ReadInput(file, 0, contents.data(), contents.size(), got);
  contents.resize(got);
  uint8_t more[1 << 16];
  while (problem.empty() && got == contents.size()) {
    size_t extra = 0;
    problem = ReadInput(file, contents.size(), more, sizeof more, extra);
    if (extra == 0) break;
    contents.insert(contents.end(), more, more + extra);
    got += extra;
  }
  return problem;
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

std::string TemporaryPrefix(const std::string& target) {
  const fs::path path = HostPath(target);
  return (path.parent_path() / HostPath("." + path.filename().u8string())).u8string() + ".tmp";
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  if (fs::exists(HostPath(a), error) && fs::exists(HostPath(b), error)) {
    const bool same = fs::equivalent(HostPath(a), HostPath(b), error);
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
