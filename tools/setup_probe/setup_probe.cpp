// setup_probe: stands in for a publisher's setup program in tests. It shows
// nothing; it writes what it was started with to "probe-report.txt" beside
// its own executable and exits 0 (1 when the report cannot be written):
//
//   program=<its own module path>
//   command=<its command line, as GetCommandLineA gives it>
//   directory=<its current directory>
//   version=<major>.<minor>.<build> (the Windows version it is told)
//
// Lines end in CR LF. The report is written as "probe-report.tmp" and then
// renamed over the old report, so a test polling for it never reads half.
// It calls kernel32 only; numbers are formatted by hand rather than through
// user32's wsprintfA.
#include <windows.h>

namespace {

char gModule[MAX_PATH];
char gDirectory[MAX_PATH];
char gReport[MAX_PATH + 32];
char gTemporary[MAX_PATH + 32];

bool Write(HANDLE file, const char* text) {
  DWORD written = 0;
  DWORD length = static_cast<DWORD>(lstrlenA(text));
  return WriteFile(file, text, length, &written, nullptr) && written == length;
}

// Appends `number` in decimal to `text`.
void AppendNumber(char* text, DWORD number) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  char* end = text + lstrlenA(text);
  while (count > 0) *end++ = digits[--count];
  *end = '\0';
}

bool WriteLine(HANDLE file, const char* key, const char* value) {
  return Write(file, key) && Write(file, "=") && Write(file, value) && Write(file, "\r\n");
}

// gReport and gTemporary: the report's names beside the module.
bool NameReport() {
  DWORD length = GetModuleFileNameA(nullptr, gModule, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  lstrcpyA(gReport, gModule);
  char* name = gReport;
  for (char* p = gReport; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  *name = '\0';
  lstrcpyA(gTemporary, gReport);
  lstrcatA(gReport, "probe-report.txt");
  lstrcatA(gTemporary, "probe-report.tmp");
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!NameReport()) return 1;
  DWORD length = GetCurrentDirectoryA(MAX_PATH, gDirectory);
  if (length == 0 || length >= MAX_PATH) return 1;
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  char versionText[40] = "";
  AppendNumber(versionText, version.dwMajorVersion);
  lstrcatA(versionText, ".");
  AppendNumber(versionText, version.dwMinorVersion);
  lstrcatA(versionText, ".");
  AppendNumber(versionText, version.dwBuildNumber);

  HANDLE file = CreateFileA(gTemporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  bool written = WriteLine(file, "program", gModule) &&
                 WriteLine(file, "command", GetCommandLineA()) &&
                 WriteLine(file, "directory", gDirectory) &&
                 WriteLine(file, "version", versionText);
  if (!CloseHandle(file) || !written) return 1;
  return MoveFileExA(gTemporary, gReport, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
