// POSIX side of the file calls. Creating a file refuses an existing
// read-only, hidden or system file, as Win32 does when it truncates, so the
// engine's clearing of those attributes is exercised on the host too (and
// even when the tests run as root, who could write read-only files).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/host_controls.h"
#include "platform/posix/host_path.h"

namespace {

// Opens an existing file (not a directory) with the given open(2) flags.
FileHandle OpenExisting(const char* path, int flags) {
  char host[kHostPathSize];
  if (!ToHostPath(path, host)) return kNoFile;
  int fd = open(host, flags | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return kNoFile;
  }
  return fd;
}

}  // namespace

FileHandle OpenForReading(const char* path) { return OpenExisting(path, O_RDONLY); }

// The host has no sharing modes: a plain read-only open.
FileHandle OpenHeldForReading(const char* path) { return OpenExisting(path, O_RDONLY); }

FileHandle CreateNewFile(const char* path) {
  char host[kHostPathSize];
  if (!ToHostPath(path, host)) return kNoFile;
  // O_EXCL refuses any name that exists, a dangling link included.
  const int fd = open(host, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  return fd < 0 ? kNoFile : fd;
}

FileHandle CreateOutputFile(const char* path, bool* pathMissing) {
  *pathMissing = false;
  char host[kHostPathSize];
  if (!ToHostPath(path, host)) return kNoFile;
  uint32_t existing = GetPathAttributes(path);
  if (existing != kNoAttributes &&
      (existing & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory)) != 0) {
    return kNoFile;
  }
  int fd = open(host, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    *pathMissing = errno == ENOENT || errno == ENOTDIR;
    return kNoFile;
  }
  ForgetExtraAttributes(host);
  return fd;
}

int32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count) {
  uint8_t* at = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    ssize_t got = read(static_cast<int>(file), at + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<uint32_t>(got);
  }
  return static_cast<int32_t>(done);
}

namespace {

int64_t writeRoom = -1;  // bytes that may still be written; -1: no limit

}  // namespace

void LimitHostWrites(int64_t bytes) { writeRoom = bytes; }

int32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count) {
  if (writeRoom >= 0) {
    if (count > writeRoom) return kWriteDiskFull;
    writeRoom -= count;
  }
  const uint8_t* at = static_cast<const uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    ssize_t put = write(static_cast<int>(file), at + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && (errno == ENOSPC || errno == EDQUOT)) return kWriteDiskFull;
    if (put <= 0) return -1;
    done += static_cast<uint32_t>(put);
  }
  return static_cast<int32_t>(done);
}

bool SeekFile(FileHandle file, uint32_t offset) {
  return lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool GetFileSize32(FileHandle file, uint32_t* size) {
  struct stat st;
  if (fstat(static_cast<int>(file), &st) != 0) return false;
  if (st.st_size < 0 || st.st_size > 0xFFFFFFFFLL) return false;
  *size = static_cast<uint32_t>(st.st_size);
  return true;
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) close(static_cast<int>(file));
}

// The calendar checks of SystemTimeToFileTime: a stamp that is no real time
// (month 0, day 31 of a 30-day month, second 60 or more) sets nothing.
static bool IsCalendarTime(const CalendarTime& t) {
  static const uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 1601 || t.month < 1 || t.month > 12 || t.day < 1) return false;
  bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  unsigned days = kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
  return t.day <= days && t.hour < 24 && t.minute < 60 && t.second < 60;
}

void SetLastWriteTime(FileHandle file, const CalendarTime& local) {
  if (!IsCalendarTime(local)) return;
  struct tm parts = {};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;
  time_t when = mktime(&parts);
  if (when == static_cast<time_t>(-1)) return;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time untouched
  times[1].tv_sec = when;
  times[1].tv_nsec = 0;
  futimens(static_cast<int>(file), times);
}
