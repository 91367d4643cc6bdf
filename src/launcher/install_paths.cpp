// The working directory's name and its making; see install_paths.h.
#include "launcher/install_paths.h"

#include "platform/platform.h"
#include "system/ascii_text.h"
#include "system/path_operations.h"

void StubBaseName(const char* fileName, PathText& out) {
  SetText(out, fileName);
  bool tooLong = out.tooLong;
  if (out.length > 4) CutText(out, out.length - 4);
  uint32_t length = out.length;
  while (length > 0 && (out.chars[length - 1] == '.' || out.chars[length - 1] == ' ')) --length;
  CutText(out, length);
  if (length == 0) SetText(out, kFallbackBaseName);
  // A name that did not fit is reported so (the fallback stands in for it,
  // never the temporary directory itself).
  out.tooLong = tooLong;
}

void AppendNumberSuffix(PathText& text, uint32_t number) {
  if (number < 2) return;
  char digits[21];
  FormatDecimal(number, digits);
  AppendChar(text, '-');
  AppendText(text, digits);
}

void WorkingDirectoryFor(const char* tempDirectory, const char* ownPath, uint32_t number,
                         PathText& out) {
  PathText base;
  StubBaseName(ownPath + FileNameStart(ownPath), base);
  SetText(out, tempDirectory);
  AppendText(out, base.chars);
  AppendNumberSuffix(out, number);
  AddTrailingBackslash(out);
  out.tooLong = out.tooLong || base.tooLong;
}

bool MakeWorkingDirectory(const char* tempDirectory, const char* ownPath, const void* security,
                          PathText& out, uint32_t* number, FileHandle* hold) {
  for (uint32_t n = 1; n <= kLastWorkingNumber; ++n) {
    WorkingDirectoryFor(tempDirectory, ownPath, n, out);
    if (out.tooLong) return false;
    // Looked at without the backslash: named with one, a link answers for
    // what it points to, and a broken link for nothing at all.
    CutText(out, out.length - 1);
    bool made = MakeHeldDirectory(out.chars, security, hold);
    bool taken = !made && GetPathAttributes(out.chars) != kNoAttributes;
    AppendChar(out, '\\');
    if (made) {
      *number = n;
      return true;
    }
    if (!taken) return false;
  }
  return false;
}
