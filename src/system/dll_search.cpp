// The DLL search restriction at start; see dll_search.h.
#include "system/dll_search.h"

#include <windows.h>

#include "system/path_operations.h"
#include "system/path_text.h"

namespace {

constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// DLLs that are not KnownDLLs and that Windows loads by name into a GUI
// process after start-up: user32 and comctl32 for the first window, the
// shell for an elevated start, the security and profile code for the
// registry and files.
const char* const kLateDlls[] = {
    "uxtheme.dll", "dwmapi.dll",  "version.dll", "cryptbase.dll", "propsys.dll",
    "userenv.dll", "setupapi.dll", "apphelp.dll", "oleacc.dll",   "clbcatq.dll",
    "profapi.dll", "ntmarta.dll",
};

}  // namespace

void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto setDefaultDirectories = reinterpret_cast<BOOL(WINAPI*)(DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefaultDirectories == nullptr || !setDefaultDirectories(kSearchSystem32)) {
    auto setDllDirectory = reinterpret_cast<BOOL(WINAPI*)(LPCSTR)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDllDirectory != nullptr) setDllDirectory("");
  }

  char system[MAX_PATH];
  UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  PathText directory;
  SetText(directory, system);
  AddTrailingBackslash(directory);
  // A DLL that this system lacks fails to load quietly: no error box.
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  for (const char* name : kLateDlls) {
    PathText path = directory;
    AppendText(path, name);
    if (!path.tooLong) LoadLibraryA(path.chars);
  }
  SetErrorMode(oldMode);
}
