// Names and commands of the removal and uninstall entries; see
// removal_command.h.
#include "uninstall/removal_command.h"

#include "system/path_operations.h"

namespace {

void AppendQuotedUninstaller(const char* tempDirectory, PathText& out) {
  AppendChar(out, '"');
  AppendText(out, tempDirectory);
  AppendText(out, kUninstallerCopyName);
  AppendChar(out, '"');
}

}  // namespace

void RemovalEntryName(const char* path, PathText& out) {
  PathText name;
  SetText(name, "");
  AppendRange(name, path, AfterLastDelimiter(path, "\\:"));
  if (name.length > 0 && name.chars[name.length - 1] == '\\') CutText(name, name.length - 1);
  AppendText(name, ".uni");
  SetText(out, name.chars + AfterLastDelimiter(name.chars, "\\:"));
  // A directory that did not fit leaves only ".uni" or a part of the name:
  // the mark must reach the caller.
  out.tooLong = name.tooLong;
}

void BuildRemovalCommand(const char* tempDirectory, const char* directory, PathText& out) {
  SetText(out, "");
  AppendQuotedUninstaller(tempDirectory, out);
  AppendText(out, " REMOVE \"");
  AppendText(out, directory);
  AppendChar(out, '"');
}

void BuildUninstallCommand(const char* tempDirectory, PathText& out) {
  SetText(out, "");
  AppendQuotedUninstaller(tempDirectory, out);
  AppendText(out, " VREMOVE");
}
