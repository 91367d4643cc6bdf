// Temporary directories and whole-file reads and writes for the host tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

// A fresh directory under the system's temporary directory, removed (with
// everything in it) at the end of its life. The process's current directory,
// which extraction changes, is put back as well.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
  fs::path savedCwd_;
};

Bytes ReadWholeFile(const fs::path& path);
void WriteWholeFile(const fs::path& path, const Bytes& bytes);
Bytes ToBytes(const std::string& text);
Bytes PatternBytes(size_t count, uint32_t seed = 1);
