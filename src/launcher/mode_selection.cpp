// Mode selection from argument 1; see mode_selection.h.
#include "launcher/mode_selection.h"

#include "system/ascii_text.h"

Mode SelectMode(const char* argument1) {
  if (EqualsExact(argument1, "SIZE")) return Mode::ReportSize;
  if (EqualsIgnoringAsciiCase(argument1, "VREMOVE")) return Mode::EndAtOnce;
  if (EqualsIgnoringAsciiCase(argument1, "REMOVE")) return Mode::Remove;
  if (EqualsExact(argument1, "123")) return Mode::ExtractBeside;
  return Mode::Install;
}
