// Template field values; see field_values.h.
#include "launcher/field_values.h"

#include "system/ascii_text.h"

bool ParseStubSizeValue(const char* field, uint32_t width, int32_t* value) {
  uint32_t begin = 0;
  uint32_t end = width;
  TrimRange(field, &begin, &end);
  if (begin == end) return false;
  int64_t result = 0;
  for (uint32_t i = begin; i < end; ++i) {
    if (field[i] < '0' || field[i] > '9') return false;
    result = result * 10 + (field[i] - '0');
    if (result > INT32_MAX) return false;
  }
  *value = static_cast<int32_t>(result);
  return true;
}

uint32_t CopyTrimmedField(const char* field, uint32_t width, char* out) {
  uint32_t begin = 0;
  uint32_t end = width;
  TrimRange(field, &begin, &end);
  uint32_t length = end - begin;
  for (uint32_t i = 0; i < length; ++i) out[i] = field[begin + i];
  out[length] = '\0';
  return length;
}

void ResolveInstallDirectory(const char* field, uint32_t width, const char* windowsDirectory,
                             PathText& out) {
  constexpr const char* kWindowsDirectoryPrefix = "<WINDIR>";
  constexpr uint32_t kPrefixLength = 8;
  uint32_t begin = 0;
  uint32_t end = width;
  TrimRange(field, &begin, &end);
  PathText trimmed;
  SetText(trimmed, "");
  AppendRange(trimmed, field + begin, end - begin);
  if (!StartsWithIgnoringAsciiCase(trimmed.chars, kWindowsDirectoryPrefix)) {
    out = trimmed;
    return;
  }
  const char* rest = trimmed.chars + kPrefixLength;
  SetText(out, windowsDirectory);
  if (rest[0] != '\0' && rest[0] != '\\') AppendChar(out, '\\');
  AppendText(out, rest);
}

bool ParseSetupCommand(const char* field, uint32_t width, char* out) {
  uint32_t begin = 0;
  for (uint32_t i = 0; i < width; ++i) {
    if (field[i] == '|') {
      begin = i + 1;
      break;
    }
  }
  uint32_t length = 0;
  bool starRemoved = false;
  for (uint32_t i = begin; i < width; ++i) {
    if (field[i] == '*' && !starRemoved) {
      starRemoved = true;
      continue;
    }
    out[length++] = field[i];
  }
  // Trimmed in place: CopyTrimmedField copies forwards, never overtaking.
  CopyTrimmedField(out, length, out);
  bool ask = true;
  for (uint32_t i = 0; i < width; ++i) {
    if (field[i] == '*') ask = false;
  }
  return ask;
}
