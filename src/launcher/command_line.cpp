// Command-line splitting; see command_line.h for the rules.
#include "launcher/command_line.h"

#include "system/ascii_text.h"

const char* TakeArgument(const char* p, char* out, uint32_t capacity, bool* fits) {
  *fits = true;
  // Separators, and pairs of quotes where a word would begin, are skipped.
  for (;;) {
    while (*p != '\0' && IsBlankOrControl(*p)) ++p;
    if (p[0] == '"' && p[1] == '"') {
      p += 2;
    } else {
      break;
    }
  }
  uint32_t length = 0;
  bool quoted = false;
  for (; *p != '\0' && (quoted || !IsBlankOrControl(*p)); ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (out != nullptr) {
      if (length + 1 < capacity) {
        out[length++] = *p;
      } else {
        *fits = false;
      }
    }
  }
  if (out != nullptr && capacity > 0) out[length] = '\0';
  return p;
}

bool SplitCommandLine(const char* commandLine, CommandArguments* args) {
  bool allFit = true;
  bool fits = true;
  const char* p = TakeArgument(commandLine, nullptr, 0, &fits);
  for (int i = 1; i <= 3; ++i) {
    p = TakeArgument(p, args->text[i], kArgumentCapacity, &fits);
    allFit = allFit && fits;
  }
  return allFit;
}

const char* CommandLineTail(const char* commandLine) {
  bool fits = true;
  const char* p = TakeArgument(commandLine, nullptr, 0, &fits);
  while (*p != '\0' && IsBlankOrControl(*p)) ++p;
  return p;
}
