// Win32 side of the path calls: attributes, deletion, existence, the current
// directory and directory creation.
#include <windows.h>

#include "platform/platform.h"

uint32_t GetPathAttributes(const char* path) { return GetFileAttributesA(path); }

bool SetPathAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes) != 0;
}

bool DeletePath(const char* path) { return DeleteFileA(path) != 0; }

bool FileExists(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool ChangeDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool AbsolutePath(const char* path, char* out, uint32_t size) {
  DWORD length = GetFullPathNameA(path, size, out, nullptr);
  return length != 0 && length < size;
}
