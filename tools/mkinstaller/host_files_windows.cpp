// The Windows side of mkinstaller's files (see host_files.h): listing a
// folder, reading inputs in pieces and writing the output. Every read and
// write names its offset (an OVERLAPPED on a synchronous handle), so threads
// can read one file at once and an entry's header can be written again. The ANSI calls, like the command line and
// fopen: names outside ASCII are refused by the tree's checks anyway. A
// reparse point (symbolic link, junction, mount point) is refused, not
// followed; times come as FILETIMEs, which are UTC already.
#include "host_files.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

struct FindCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};

std::string Failure(const char* action, const std::string& path, DWORD error) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = "error " + std::to_string(error);
  return std::string("cannot ") + action + " '" + path + "': " + reason;
}

// A FILETIME counts 100 ns since 1601-01-01 00:00 UTC.
int64_t UnixSeconds(const FILETIME& time) {
  const uint64_t ticks = uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
  constexpr int64_t kSeconds1601To1970 = 11644473600;
  return static_cast<int64_t>(ticks / 10000000) - kSeconds1601To1970;
}

}  // namespace

OutputFile::~OutputFile() {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
  if (!path.empty() && !committed) DeleteFileA(path.c_str());
}

// A file that did not exist before, named after the target and this
// process; a name already taken (a leftover of an earlier run) moves on to
// the next number.
std::string CreateOutput(const std::string& target, OutputFile& file) {
  file.target = target;
  const std::filesystem::path targetPath(target);
  const std::string prefix =
      (targetPath.parent_path() / ("." + targetPath.filename().string())).string() + ".tmp" +
      std::to_string(GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = prefix + std::to_string(attempt);
    // Others may read it: the seal is computed over what was written.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file.path = path;
      file.handle = reinterpret_cast<intptr_t>(handle);
      return "";
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) return Failure("create a temporary file", path, error);
  }
  return "cannot create a temporary file beside '" + target + "': every name is taken";
}

namespace {

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

}  // namespace

std::string WriteOutputAt(OutputFile& file, uint64_t offset, const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1 << 24));
    DWORD written = 0;
    OVERLAPPED at = At(offset + done);
    if (!WriteFile(reinterpret_cast<HANDLE>(file.handle), bytes + done, chunk, &written, &at)) {
      return Failure("write", file.path, GetLastError());
    }
    if (written == 0) return Failure("write", file.path, ERROR_WRITE_FAULT);
    done += written;
  }
  return "";
}

std::string TruncateOutput(OutputFile& file, uint64_t size) {
  const auto handle = reinterpret_cast<HANDLE>(file.handle);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
    return Failure("write", file.path, GetLastError());
  }
  file.size = size;
  return "";
}

InputFile::~InputFile() {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

std::string OpenInput(const std::string& path, const char* what, InputFile& file) {
  file.path = path;
  file.what = what;
  const HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return Failure((std::string("read ") + what).c_str(), path, GetLastError());
  }
  file.handle = reinterpret_cast<intptr_t>(handle);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size)) {
    return Failure((std::string("read ") + what).c_str(), path, GetLastError());
  }
  file.size = static_cast<uint64_t>(size.QuadPart);
  return "";
}

std::string ReadInput(InputFile& file, uint64_t offset, uint8_t* buffer, size_t count,
                      size_t& got) {
  got = 0;
  while (got < count) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - got, 1 << 24));
    DWORD read = 0;
    OVERLAPPED at = At(offset + got);
    if (!ReadFile(reinterpret_cast<HANDLE>(file.handle), buffer + got, chunk, &read, &at)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      return Failure((std::string("read ") + file.what).c_str(), file.path, error);
    }
    if (read == 0) break;
    got += read;
  }
  return "";
}

std::string CommitOutput(OutputFile& file) {
  const auto handle = reinterpret_cast<HANDLE>(file.handle);
  // On the disk before the move, so a crash cannot leave the new name on a
  // short file.
  if (!FlushFileBuffers(handle)) return Failure("write", file.path, GetLastError());
  file.handle = -1;
  if (!CloseHandle(handle)) return Failure("write", file.path, GetLastError());
  if (!MoveFileExA(file.path.c_str(), file.target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Failure("replace", file.target, GetLastError());
  }
  file.committed = true;
  return "";
}

std::string ListTree(const std::string& root, std::vector<TreeItem>& items) {
  const DWORD rootAttributes = GetFileAttributesA(root.c_str());
  if (rootAttributes == INVALID_FILE_ATTRIBUTES) {
    return Failure("read folder", root, GetLastError());
  }
  if (!(rootAttributes & FILE_ATTRIBUTE_DIRECTORY)) return "'" + root + "' is not a folder";

  // Folders still to read: their path on this machine and their entry name.
  std::vector<std::pair<std::string, std::string>> pending = {{root, ""}};
  while (!pending.empty()) {
    const auto [folderPath, folderName] = pending.back();
    pending.pop_back();
    WIN32_FIND_DATAA found;
    const HANDLE first = FindFirstFileA((folderPath + "/*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return Failure("read folder", folderPath, GetLastError());
    std::unique_ptr<void, FindCloser> search(first);
    do {
      const std::string base = found.cFileName;
      if (base == "." || base == "..") continue;
      TreeItem item;
      item.path = folderPath + "/" + base;
      item.name = folderName + base;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return "'" + item.path + "' is a symbolic link (not followed)";
      }
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        item.isDirectory = true;
        item.name += "/";
        pending.emplace_back(item.path, item.name);
      } else {
        item.size = uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
      }
      item.modified = UnixSeconds(found.ftLastWriteTime);
      items.push_back(std::move(item));
    } while (FindNextFileA(search.get(), &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) return Failure("read folder", folderPath, error);
  }
  return "";
}

std::string OwnExecutablePath(std::string& path) {
  char buffer[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0) return Failure("find", "mkinstaller's own path", GetLastError());
  if (length == sizeof buffer) return "mkinstaller's own path is too long";
  path.assign(buffer, length);
  return "";
}
