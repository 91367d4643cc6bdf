// The top-level error report; see fatal_error.h.
#include "system/fatal_error.h"

#include <windows.h>

void FatalError(const char* message) {
  MessageBoxA(nullptr, message, "Application Error", MB_OK | MB_ICONERROR);
  ExitProcess(1);
}
