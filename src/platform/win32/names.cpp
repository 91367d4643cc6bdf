// Win32 side of the entry-name conversions: the system's OEM code page to
// UTF-16, and UTF-16 to the ANSI code page, both refusing what they cannot
// map exactly.
#include <windows.h>

#include "platform/platform.h"

namespace {

// The system's OEM code page, in which archives made on it carry names
// without the UTF-8 flag, as the registry records it. GetOEMCP() cannot
// tell: a program whose manifest makes UTF-8 its active code page is told
// 65001 there as well. Where the registry has no number: 437, the code page
// of the first ZIP tools.
UINT SystemOemCodePage() {
  static UINT codePage = 0;
  if (codePage != 0) return codePage;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0,
                    KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    char text[8];
    DWORD size = sizeof text;
    DWORD type = 0;
    if (RegQueryValueExA(key, "OEMCP", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
            ERROR_SUCCESS && type == REG_SZ) {
      UINT number = 0;
      for (DWORD i = 0; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + static_cast<UINT>(text[i] - '0');
      }
      if (number < 65536) codePage = number;
    }
    RegCloseKey(key);
  }
  if (codePage == 0) codePage = 437;
  return codePage;
}

}  // namespace

bool OemToWide(const uint8_t* text, uint32_t length, uint16_t* out, uint32_t capacity,
               uint32_t* count) {
  int n = MultiByteToWideChar(SystemOemCodePage(), MB_ERR_INVALID_CHARS,
                              reinterpret_cast<LPCSTR>(text), static_cast<int>(length),
                              reinterpret_cast<LPWSTR>(out), static_cast<int>(capacity));
  *count = n > 0 ? static_cast<uint32_t>(n) : 0;
  return n > 0;
}

bool WideToPathText(const uint16_t* text, uint32_t count, char* out, uint32_t size) {
  // Best-fit mapping would write a look-alike (U+FF0F as '/', U+00A5 as the
  // yen sign's byte 0x5C in code page 932, which is a backslash to the file
  // functions); without it a missing character comes out as the default
  // character, which usedDefault reports. A UTF-8 ANSI code page holds every
  // character and takes neither the flag nor the report.
  bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS,
                              reinterpret_cast<LPCWSTR>(text), static_cast<int>(count), out,
                              static_cast<int>(size) - 1, nullptr, utf8 ? nullptr : &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out[n] = '\0';
  return true;
}
