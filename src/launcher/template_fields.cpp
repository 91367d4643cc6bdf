// The template fields' storage and readers; see template_fields.h.
#include "launcher/template_fields.h"

#include <windows.h>

#include "launcher/field_values.h"
#include "system/fatal_error.h"
#include "system/path_text.h"
#include "system/system_directories.h"

namespace {

// One object, so the linker keeps all three fields as soon as one is read.
struct TemplateFieldBlock {
  char stubSize[kStubSizeFieldWidth + 1];
  char installDirectory[kInstallDirectoryFieldWidth + 1];
  char setupCommand[kSetupCommandFieldWidth + 1];
};

// Defaults: "0279041" is the stub-size value a building tool looks for; the
// install directory is "INSTALL" and 121 zeros; the setup command
// "SETUP.EXE" and 119 blanks. Each array's last byte is the NUL.
const volatile TemplateFieldBlock kTemplateFields = {
    "0279041",
    "INSTALL"
    "0000000000" "0000000000" "0000000000" "0000000000"
    "0000000000" "0000000000" "0000000000" "0000000000"
    "0000000000" "0000000000" "0000000000" "0000000000"
    "0",
    "SETUP.EXE"
    "          " "          " "          " "          "
    "          " "          " "          " "          "
    "          " "          " "          " "         ",
};
static_assert(sizeof(kTemplateFields.installDirectory) == kInstallDirectoryFieldWidth + 1, "width");
static_assert(sizeof(kTemplateFields.setupCommand) == kSetupCommandFieldWidth + 1, "width");

void CopyField(const volatile char* field, uint32_t width, char* out) {
  for (uint32_t i = 0; i < width; ++i) out[i] = field[i];
  out[width] = '\0';
}

}  // namespace

int32_t ReadStubSizeValue() {
  char field[kStubSizeFieldWidth + 1];
  CopyField(kTemplateFields.stubSize, kStubSizeFieldWidth, field);
  int32_t value = 0;
  if (!ParseStubSizeValue(field, kStubSizeFieldWidth, &value)) {
    // Control characters would garble the report; show them as '?'.
    for (uint32_t i = 0; i < kStubSizeFieldWidth; ++i) {
      if (static_cast<unsigned char>(field[i]) < 32) field[i] = '?';
    }
    PathText message;
    SetText(message, "The stub-size field \"");
    AppendText(message, field);
    AppendText(message, "\" is not a valid number.");
    FatalError(message.chars);
  }
  return value;
}

void ReadInstallDirectory(PathText& out) {
  char field[kInstallDirectoryFieldWidth + 1];
  CopyField(kTemplateFields.installDirectory, kInstallDirectoryFieldWidth, field);
  PathText windows;
  WindowsDirectory(windows);
  ResolveInstallDirectory(field, kInstallDirectoryFieldWidth, windows.chars, out);
}

void ReadSetupCommand(PathText& out) {
  char field[kSetupCommandFieldWidth + 1];
  CopyField(kTemplateFields.setupCommand, kSetupCommandFieldWidth, field);
  char trimmed[kSetupCommandFieldWidth + 1];
  CopyTrimmedField(field, kSetupCommandFieldWidth, trimmed);
  SetText(out, trimmed);
}

bool ReadParsedSetupCommand(PathText& out) {
  char field[kSetupCommandFieldWidth + 1];
  CopyField(kTemplateFields.setupCommand, kSetupCommandFieldWidth, field);
  char command[kSetupCommandFieldWidth + 1];
  bool ask = ParseSetupCommand(field, kSetupCommandFieldWidth, command);
  SetText(out, command);
  return ask;
}
