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
// Three environment variables make it a long-running program with an exit
// code of its own, as deployment tools meet them: SETUP_PROBE_SLEEP (ms to
// wait before the report), SETUP_PROBE_EXIT (the exit code, when the report
// was written) and SETUP_PROBE_REPORT (the directory that gets the report,
// with its backslash, instead of the module's).
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

// The decimal value of the environment variable `name`, or `otherwise`.
DWORD NumberFrom(const char* name, DWORD otherwise) {
  char text[16];
  DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  if (length == 0 || length >= sizeof text) return otherwise;
  DWORD value = 0;
  for (const char* c = text; *c >= '0' && *c <= '9'; ++c) value = value * 10 + (*c - '0');
  return value;
}

// gReport and gTemporary: the report's names beside the module, or in
// SETUP_PROBE_REPORT.
bool NameReport() {
  DWORD length = GetModuleFileNameA(nullptr, gModule, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  length = GetEnvironmentVariableA("SETUP_PROBE_REPORT", gReport, MAX_PATH);
  if (length >= MAX_PATH) return false;
  if (length == 0) {
    lstrcpyA(gReport, gModule);
    char* name = gReport;
    for (char* p = gReport; *p; ++p) {
      if (*p == '\\' || *p == '/') name = p + 1;
    }
    *name = '\0';
  }
  lstrcpyA(gTemporary, gReport);
  lstrcatA(gReport, "probe-report.txt");
  lstrcatA(gTemporary, "probe-report.tmp");
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!NameReport()) return 1;
  Sleep(NumberFrom("SETUP_PROBE_SLEEP", 0));
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
  if (!MoveFileExA(gTemporary, gReport, MOVEFILE_REPLACE_EXISTING)) return 1;
  return static_cast<int>(NumberFrom("SETUP_PROBE_EXIT", 0));
}
