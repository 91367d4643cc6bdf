// The result of extracting one entry, shared by entry extraction, every
// decoder and the archive driver, which turns each value into its message.
#pragma once

#include <cstdint>

enum class ExtractResult : int32_t {
  Ok = 0,
  CrcMismatch = 1,
  WriteFailed = 2,
  ReadFailed = 3,
  BadArchive = 4,
  UserAborted = 5,
  UnsupportedMethod = 6,
  EncryptedEntry = 7,
  DiskFull = 8,  // a write found the disk full: the walk ends there
  EngineBusy = -1,
};
