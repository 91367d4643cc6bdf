// UTF-8 arguments on Windows: from the UTF-16 command line, split as the
// shell splits it; see utf8_arguments.h. Should that split count otherwise
// than argv, argv's own text is used.
#include "utf8_arguments.h"

#include <windows.h>
#include <shellapi.h>

std::string Utf8Argument(int argc, char** argv, int index) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return argv[index];
  std::string text = argv[index];
  if (count == argc) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      text.assign(static_cast<size_t>(size), '\0');
      WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, &text[0], size, nullptr, nullptr);
      text.pop_back();  // the NUL
    }
  }
  LocalFree(wide);
  return text;
}
