// Win32 side of the path calls: attributes, deletion, existence, the current
// directory, directory creation and removal, directory listings, and the
// Windows and System directories.
#include <windows.h>
#include <winternl.h>

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

bool ReplacePath(const char* from, const char* to) {
  using MoveFileExCall = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  auto move = reinterpret_cast<MoveFileExCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExA")));
  if (move != nullptr) return move(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
  // The Windows 95 line, without links to be replaced.
  DeleteFileA(to);
  return MoveFileA(from, to) != 0;
}

namespace {

using NtCreateFileCall = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                      PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

constexpr ULONG kCreateOnly = 2;        // FILE_CREATE: fails on anything there, links included
constexpr ULONG kDirectoryFile = 0x01;  // FILE_DIRECTORY_FILE
constexpr ULONG kSynchronousIo = 0x20;  // FILE_SYNCHRONOUS_IO_NONALERT
constexpr int kNativePathSize = 1100;

// The native name of an absolute Win32 path: \??\C:\..., \??\UNC\server\...
// for \\server\..., and \??\... for the \\?\ form. False when it does not
// fit.
bool NativePath(const char* path, WCHAR (&out)[kNativePathSize], USHORT* bytes) {
  const char* rest = path;
  const char* prefix = "\\??\\";
  if (path[0] == '\\' && path[1] == '\\') {
    const bool verbatim = path[2] == '?' && path[3] == '\\';
    rest = path + (verbatim ? 4 : 2);
    if (!verbatim) prefix = "\\??\\UNC\\";
  }
  int n = 0;
  for (; prefix[n] != '\0'; ++n) out[n] = static_cast<WCHAR>(prefix[n]);
  const int converted = MultiByteToWideChar(CP_ACP, 0, rest, -1, out + n, kNativePathSize - n);
  if (converted == 0) return false;
  *bytes = static_cast<USHORT>((n + converted - 1) * sizeof(WCHAR));
  return true;
}

}  // namespace

bool MakeHeldDirectory(const char* path, const void* security, FileHandle* hold) {
  *hold = kNoFile;
  auto create = reinterpret_cast<NtCreateFileCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtCreateFile")));
  // The Windows 95 line: no native calls, and nothing to hold against.
  if (create == nullptr) return CreateDirectoryA(path, nullptr) != 0;
  // Made and opened in one call, so nothing can take the new directory's
  // place between the two; without delete sharing, it can be neither
  // renamed nor removed while held.
  static WCHAR name[kNativePathSize];
  UNICODE_STRING nativeName;
  if (!NativePath(path, name, &nativeName.Length)) return false;
  nativeName.MaximumLength = nativeName.Length;
  nativeName.Buffer = name;
  OBJECT_ATTRIBUTES object = {};
  object.Length = sizeof object;
  object.ObjectName = &nativeName;
  object.Attributes = OBJ_CASE_INSENSITIVE;
  object.SecurityDescriptor = const_cast<void*>(security);
  IO_STATUS_BLOCK status;
  HANDLE directory;
  if (create(&directory, FILE_LIST_DIRECTORY | SYNCHRONIZE, &object, &status, nullptr, 0,
             FILE_SHARE_READ | FILE_SHARE_WRITE, kCreateOnly, kDirectoryFile | kSynchronousIo,
             nullptr, 0) < 0) {
    return false;
  }
  // Windows makes and holds the directory in one step; Wine leaves a moment
  // between the two, in which the name could be swapped for a link: the
  // name must not lead through one.
  if ((GetFileAttributesA(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(directory);
    return false;
  }
  *hold = reinterpret_cast<FileHandle>(directory);
  return true;
}

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
