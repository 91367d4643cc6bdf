// The process token's elevation and user through Win32; see elevation.h.
// The token calls are looked up at run time: the Windows 95 line has none.
#include "system/elevation.h"

#include <windows.h>

namespace {

using OpenProcessTokenCall = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationCall = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                              PDWORD);

// GetCurrentProcess's constant: the process itself.
HANDLE const kThisProcess = reinterpret_cast<HANDLE>(-1);

}  // namespace

const void* SecurityIfElevated(DirectorySecurity& out) {
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  auto openToken = reinterpret_cast<OpenProcessTokenCall>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "OpenProcessToken")));
  auto tokenInformation = reinterpret_cast<GetTokenInformationCall>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "GetTokenInformation")));
  HANDLE token;
  if (openToken == nullptr || tokenInformation == nullptr ||
      !openToken(kThisProcess, TOKEN_QUERY, &token)) {
    return nullptr;
  }
  DWORD elevated = 0;
  DWORD size = 0;
  union {
    TOKEN_USER user;
    uint8_t room[sizeof(TOKEN_USER) + kLargestSidSize];
  } user;
  // Before Vista the token knows no elevation: the query fails.
  const bool known = tokenInformation(token, TokenElevation, &elevated, sizeof elevated, &size) &&
                     elevated != 0 &&
                     tokenInformation(token, TokenUser, &user, sizeof user, &size);
  CloseHandle(token);
  if (!known) return nullptr;
  const auto* sid = static_cast<const uint8_t*>(user.user.User.Sid);
  return BuildAdminOnlySecurity(sid, 8 + 4u * sid[1], out) ? out.bytes : nullptr;
}
