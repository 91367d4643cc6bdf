// Win32 side of the path calls: attributes, deletion, existence, the current
// directory, directory creation and removal, directory listings, and the
// Windows and System directories.
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

bool RemoveDirectoryPath(const char* path) { return RemoveDirectoryA(path) != 0; }

static void TakeFound(const WIN32_FIND_DATAA& found, DirectoryListing* listing) {
  uint32_t i = 0;
  for (; i + 1 < sizeof listing->name && found.cFileName[i] != '\0'; ++i) {
    listing->name[i] = found.cFileName[i];
  }
  listing->name[i] = '\0';
  listing->attributes = found.dwFileAttributes;
}

bool FirstListedEntry(const char* pattern, DirectoryListing* listing) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  listing->search = reinterpret_cast<intptr_t>(search);
  if (search == INVALID_HANDLE_VALUE) return false;
  TakeFound(found, listing);
  return true;
}

bool NextListedEntry(DirectoryListing* listing) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(reinterpret_cast<HANDLE>(listing->search), &found)) return false;
  TakeFound(found, listing);
  return true;
}

void CloseListing(DirectoryListing* listing) {
  HANDLE search = reinterpret_cast<HANDLE>(listing->search);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  listing->search = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
}

// Both queries return the length without the terminator, or the size needed
// (terminator included) when the buffer is too small, or 0 on failure.
static void KeepIfFits(UINT length, char* out, uint32_t size) {
  if (length == 0 || length >= size) out[0] = '\0';
}

void ReadWindowsDirectory(char* out, uint32_t size) {
  KeepIfFits(GetWindowsDirectoryA(out, size), out, size);
}

void ReadSystemDirectory(char* out, uint32_t size) {
  KeepIfFits(GetSystemDirectoryA(out, size), out, size);
}

bool IsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != 0; }

bool AbsolutePath(const char* path, char* out, uint32_t size) {
  DWORD length = GetFullPathNameA(path, size, out, nullptr);
  return length != 0 && length < size;
}
