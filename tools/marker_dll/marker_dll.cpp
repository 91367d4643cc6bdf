// marker_dll: a DLL that tells when it is loaded, for the tests of DLL
// planting. Saved under the name of a system DLL (uxtheme.dll) beside a
// program, it appends one line to the file that the environment variable
// ORVANE_MARKER_FILE names each time a process loads it:
//
//   <the loading program's module path> CR LF
//
// It exports nothing and does nothing else; without the variable it writes
// nothing. It calls kernel32 only.
#include <windows.h>

namespace {

void RecordLoad() {
  char markerFile[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("ORVANE_MARKER_FILE", markerFile, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  char line[MAX_PATH + 2];
  DWORD moduleLength = GetModuleFileNameA(nullptr, line, MAX_PATH);
  if (moduleLength == 0 || moduleLength >= MAX_PATH) return;
  line[moduleLength++] = '\r';
  line[moduleLength++] = '\n';
  HANDLE file = CreateFileA(markerFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, moduleLength, &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordLoad();
  return TRUE;
}
