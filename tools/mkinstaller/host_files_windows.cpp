// The Windows side of mkinstaller's files (see host_files.h): listing a
// folder, reading inputs in pieces and writing the output. Every read and
// write names its offset (an OVERLAPPED on a synchronous handle), so threads
// can read one file at once and an entry's header can be written again.
// Paths are UTF-8 inside the tool (as the command line is read) and go to
// the wide calls, so every name the file system holds can be packed. A
// reparse point (symbolic link, junction, mount point) is refused, or
// followed when asked, a folder being known by its volume and file index;
// times come as FILETIMEs, which are UTC already.
#include "host_files.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <memory>

namespace {

struct FindCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};

std::wstring Wide(const std::string& utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

std::string Utf8(const wchar_t* wide, size_t count) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(count), nullptr, 0,
                                         nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(count), &text[0], length, nullptr,
                      nullptr);
  return text;
}

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
  if (!path.empty() && !committed) DeleteFileW(Wide(path).c_str());
}

// A file that did not exist before, named after the target and this
// process; a name already taken (a leftover of an earlier run) moves on to
// the next number.
std::string CreateOutput(const std::string& target, OutputFile& file) {
  file.target = target;
  const std::string prefix = TemporaryPrefix(target) + std::to_string(GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = prefix + std::to_string(attempt);
    // Others may read it: the seal is computed over what was written.
    const HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file.path = path;
      file.handle = reinterpret_cast<intptr_t>(handle);
      return "";
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) return Failure("write", target, error);
  }
  return "cannot write '" + target + "': every name for a temporary file beside it is taken";
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
      return Failure("write", file.target, GetLastError());
    }
    if (written == 0) return Failure("write", file.target, ERROR_WRITE_FAULT);
    done += written;
  }
  return "";
}

std::string TruncateOutput(OutputFile& file, uint64_t size) {
  const auto handle = reinterpret_cast<HANDLE>(file.handle);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
    return Failure("write", file.target, GetLastError());
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
      CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
  if (!FlushFileBuffers(handle)) return Failure("write", file.target, GetLastError());
  file.handle = -1;
  if (!CloseHandle(handle)) return Failure("write", file.target, GetLastError());
  if (!MoveFileExW(Wide(file.path).c_str(), Wide(file.target).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Failure("replace", file.target, GetLastError());
  }
  file.committed = true;
  return "";
}

namespace {

// What the listing needs of a file or folder, as FindFirstFileW gives it or,
// for a link followed, as the object it leads to has it.
struct Found {
  DWORD attributes = 0;
  uint64_t size = 0;
  FILETIME written{};
};

// The file or folder `path` leads to, links followed, and its identity: the
// volume and the file index. Returns the error, or 0.
DWORD Follow(const std::string& path, Found& found, PendingFolder::Id& id) {
  const HANDLE handle = CreateFileW(Wide(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  BY_HANDLE_FILE_INFORMATION information;
  const bool read = GetFileInformationByHandle(handle, &information);
  const DWORD error = read ? 0 : GetLastError();
  CloseHandle(handle);
  if (!read) return error;
  found.attributes = information.dwFileAttributes;
  found.size = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
  found.written = information.ftLastWriteTime;
  id = {information.dwVolumeSerialNumber,
        uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
  return 0;
}

}  // namespace

void ListTree(const std::string& root, bool followLinks, std::vector<TreeItem>& items,
              std::vector<std::string>& problems) {
  const DWORD rootAttributes = GetFileAttributesW(Wide(root).c_str());
  if (rootAttributes == INVALID_FILE_ATTRIBUTES) {
    problems.push_back(Failure("read folder", root, GetLastError()));
    return;
  }
  if (!(rootAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    problems.push_back("'" + root + "' is not a folder");
    return;
  }
  PendingFolder first = {root, "", {}};
  if (followLinks) {
    Found found;
    PendingFolder::Id id;
    const DWORD error = Follow(root, found, id);
    if (error != 0) {
      problems.push_back(Failure("read folder", root, error));
      return;
    }
    first.chain.push_back(id);
  }

  std::vector<PendingFolder> pending = {first};
  while (!pending.empty()) {
    const PendingFolder folder = std::move(pending.back());
    pending.pop_back();
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(Wide(folder.path + "/*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
      problems.push_back(Failure("read folder", folder.path, GetLastError()));
      continue;
    }
    std::unique_ptr<void, FindCloser> closer(search);
    do {
      const std::string base = Utf8(entry.cFileName, wcslen(entry.cFileName));
      if (base == "." || base == "..") continue;
      TreeItem item;
      item.path = folder.path + "/" + base;
      item.name = folder.name + base;
      Found found = {entry.dwFileAttributes,
                     uint64_t{entry.nFileSizeHigh} << 32 | entry.nFileSizeLow,
                     entry.ftLastWriteTime};
      PendingFolder::Id id;
      const bool isLink = found.attributes & FILE_ATTRIBUTE_REPARSE_POINT;
      if (isLink && !followLinks) {
        problems.push_back("'" + item.path +
                           "' is a symbolic link (not followed without --follow-links)");
        continue;
      }
      if (followLinks && (isLink || (found.attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        const DWORD error = Follow(item.path, found, id);
        if (error != 0) {
          problems.push_back(Failure(isLink ? "follow the symbolic link" : "read folder",
                                     item.path, error));
          continue;
        }
      }
      if (found.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (followLinks &&
            std::find(folder.chain.begin(), folder.chain.end(), id) != folder.chain.end()) {
          problems.push_back("'" + item.path +
                             "' is a symbolic link to a folder that holds it (a loop)");
          continue;
        }
        item.isDirectory = true;
        item.name += "/";
        PendingFolder below = {item.path, item.name, folder.chain};
        if (followLinks) below.chain.push_back(id);
        pending.push_back(std::move(below));
      } else {
        item.size = found.size;
      }
      item.modified = UnixSeconds(found.written);
      items.push_back(std::move(item));
    } while (FindNextFileW(search, &entry));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
      problems.push_back(Failure("read folder", folder.path, error));
    }
  }
}

std::string OwnExecutablePath(std::string& path) {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH + 1);
  if (length == 0) return Failure("find", "mkinstaller's own path", GetLastError());
  if (length == MAX_PATH + 1) return "mkinstaller's own path is too long";
  path = Utf8(buffer, length);
  return "";
}
