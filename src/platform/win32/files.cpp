// Win32 side of the file calls: open, create, read, write, seek, size, close
// and the last-write time, each a thin wrapper over the ANSI entry point.
#include <windows.h>

#include "platform/platform.h"

static HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// Others may read and write the file meanwhile.
static FileHandle OpenExisting(const char* path, DWORD access) {
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(h);
}

FileHandle OpenForReading(const char* path) { return OpenExisting(path, GENERIC_READ); }

FileHandle OpenHeldForReading(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(h);
}

FileHandle CreateNewFile(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  return reinterpret_cast<FileHandle>(h);
}

FileHandle CreateOutputFile(const char* path, bool* pathMissing) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  *pathMissing = h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND;
  return reinterpret_cast<FileHandle>(h);
}

int32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count) {
  DWORD got = 0;
  if (!ReadFile(AsHandle(file), buffer, count, &got, nullptr)) return -1;
  return static_cast<int32_t>(got);
}

// A write that takes only part of the bytes (a disk with less room left) is
// carried on: the next one tells why.
int32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count) {
  const uint8_t* at = static_cast<const uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    DWORD put = 0;
    if (!WriteFile(AsHandle(file), at + done, count - done, &put, nullptr)) {
      const DWORD error = GetLastError();
      return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? kWriteDiskFull : -1;
    }
    if (put == 0) return -1;
    done += put;
  }
  return static_cast<int32_t>(done);
}

bool SeekFile(FileHandle file, uint32_t offset) {
  // With a high part given, the low part counts as unsigned: the whole
  // 32-bit range is reachable.
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD at = SetFilePointer(AsHandle(file), static_cast<LONG>(offset), &high, FILE_BEGIN);
  return !(at == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool GetFileSize32(FileHandle file, uint32_t* size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(AsHandle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  if (high != 0) return false;  // offsets in the archive are 32-bit
  *size = low;
  return true;
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) CloseHandle(AsHandle(file));
}

void SetLastWriteTime(FileHandle file, const CalendarTime& local) {
  SYSTEMTIME st;
  st.wYear = local.year;
  st.wMonth = local.month;
  st.wDayOfWeek = 0;
  st.wDay = local.day;
  st.wHour = local.hour;
  st.wMinute = local.minute;
  st.wSecond = local.second;
  st.wMilliseconds = 0;
  FILETIME localTime, utc;
  if (!SystemTimeToFileTime(&st, &localTime)) return;
  if (!LocalFileTimeToFileTime(&localTime, &utc)) return;
  SetFileTime(AsHandle(file), nullptr, nullptr, &utc);
}
