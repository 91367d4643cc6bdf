// The version code: a small integer that classifies the running Windows
// version. Codes below 10 mean every system older than NT 6.0 (Vista); the
// value 10 itself is never produced, so "10 or more" means NT 6 and later.
//
//   code  release line            code  release line
//   0-2   Windows 95              7     Windows 2000
//   3-4   Windows 98              8     Windows XP (and XP x64)
//   5     Windows Me              9     Windows Server 2003
//   6     NT 4.0 and older        11    Windows 7
//   12    Vista, 8.1, 10          13    Windows 8 (and later releases that report 6.2)
#pragma once

#include <cstdint>

constexpr uint32_t kPlatformWin32Nt = 2;
constexpr uint32_t kWorkstationProduct = 1;

// What the version query reports, and for NT 5.2 whether the system is a
// workstation running this process under WOW64 (XP x64 rather than Server
// 2003). servicePack is the query's service-pack text.
struct WindowsVersionFacts {
  uint32_t platformId;
  uint32_t major;
  uint32_t minor;
  uint32_t build;  // the whole 32-bit field
  const char* servicePack;
  bool workstationUnderWow64;
};

// The code for the facts: the first matching row of the version table.
int32_t VersionCodeOf(const WindowsVersionFacts& facts);

// The running system's code. The first query that works is cached for the
// life of the process; a failing query gives 0 and is tried again next time.
int32_t WindowsVersionCode();

// True when this is a 32-bit process on 64-bit Windows; false on any failure.
bool RunsUnderWow64();
