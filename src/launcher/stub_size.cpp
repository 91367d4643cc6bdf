// The "SIZE" report; see stub_size.h.
#include "launcher/stub_size.h"

#include <windows.h>

#include "system/ascii_text.h"

void ShowStubSize(const char* ownPath) {
  char digits[21];
  // Summed in 64 bits: a size of 2^32 - 1 reports 4294967296, not 0.
  FormatDecimal(static_cast<uint64_t>(FindFileSize(ownPath)) + 1, digits);
  ShowDialogMessage(digits);
}

void ShowDialogMessage(const char* text) {
  MessageBoxA(nullptr, text, "Dialog", MB_OK | MB_ICONINFORMATION);
}

uint32_t FindFileSize(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return found.nFileSizeLow;
}
