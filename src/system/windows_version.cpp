// The running system's version code and the WOW64 test, through the Win32
// version query; the table itself is in version_code.cpp.
#include <windows.h>

#include "system/windows_version.h"

// The 32-bit build hands these records to the system with the sizes its
// Win32 ABI fixes; every build sets the size fields with sizeof.
static_assert(sizeof(void*) != 4 || sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA");
static_assert(sizeof(void*) != 4 || sizeof(OSVERSIONINFOEXA) == 156, "OSVERSIONINFOEXA");

namespace {

int32_t cachedVersionCode = -1;  // -1: not yet known

// NT 5.2 is XP x64 on a workstation under WOW64, else Server 2003; a
// failing second query counts as Server 2003.
bool IsWorkstationUnderWow64() {
  OSVERSIONINFOEXA extended = {};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) return false;
  return extended.wProductType == VER_NT_WORKSTATION && RunsUnderWow64();
}

}  // namespace

int32_t WindowsVersionCode() {
  if (cachedVersionCode != -1) return cachedVersionCode;
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return 0;
  WindowsVersionFacts facts = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                               info.dwBuildNumber, info.szCSDVersion, false};
  if (facts.platformId == kPlatformWin32Nt && facts.major == 5 && facts.minor == 2) {
    facts.workstationUnderWow64 = IsWorkstationUnderWow64();
  }
  cachedVersionCode = VersionCodeOf(facts);
  return cachedVersionCode;
}

bool RunsUnderWow64() {
  // Looked up by name: systems before XP SP2 lack the function.
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleA("kernel32");
  FARPROC found = kernel ? GetProcAddress(kernel, "IsWow64Process") : nullptr;
  if (!found) return false;
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(found));
  BOOL wow64 = FALSE;
  // The process's own pseudo-handle, the value GetCurrentProcess returns.
  const HANDLE self = reinterpret_cast<HANDLE>(-1);
  if (!isWow64Process(self, &wow64)) return false;
  return wow64 != FALSE;
}
