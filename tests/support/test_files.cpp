// Temporary directories and whole-file reads and writes; see test_files.h.
#include "support/test_files.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

TempDir::TempDir() : savedCwd_(fs::current_path()) {
  std::string pattern = (fs::temp_directory_path() / "engine-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::current_path(savedCwd_, ignored);
  // Read-only files and directories must be writable again to go.
  for (auto& e : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

Bytes ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteWholeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes PatternBytes(size_t count, uint32_t seed) {
  Bytes out(count);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return out;
}
