// The working directory's name; see install_paths.h.
#include "launcher/install_paths.h"

#include "system/path_operations.h"

namespace {

bool IsOnlyDotsAndBlanks(const PathText& name) {
  for (uint32_t i = 0; i < name.length; ++i) {
    if (name.chars[i] != '.' && name.chars[i] != ' ') return false;
  }
  return true;
}

}  // namespace

void StubBaseName(const char* fileName, PathText& out) {
  SetText(out, fileName);
  bool tooLong = out.tooLong;
  if (out.length > 4) CutText(out, out.length - 4);
  if (IsOnlyDotsAndBlanks(out)) SetText(out, kFallbackBaseName);
  // A name that did not fit is reported so (the fallback stands in for it,
  // never the temporary directory itself).
  out.tooLong = tooLong;
}

void WorkingDirectoryFor(const char* tempDirectory, const char* ownPath, PathText& out) {
  PathText base;
  StubBaseName(ownPath + FileNameStart(ownPath), base);
  SetText(out, tempDirectory);
  AppendText(out, base.chars);
  AddTrailingBackslash(out);
  out.tooLong = out.tooLong || base.tooLong;
}
