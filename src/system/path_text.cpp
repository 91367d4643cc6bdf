// Bounded texts; see path_text.h.
#include "system/path_text.h"

void SetText(PathText& text, const char* value) {
  text.length = 0;
  text.tooLong = false;
  text.chars[0] = '\0';
  AppendText(text, value);
}

void CutText(PathText& text, uint32_t length) {
  if (length < text.length) text.length = length;
  text.chars[text.length] = '\0';
  text.tooLong = false;
}

void AppendRange(PathText& text, const char* more, uint32_t count) {
  if (count > kPathTextCapacity - 1 - text.length) {
    text.tooLong = true;
    return;
  }
  for (uint32_t i = 0; i < count; ++i) text.chars[text.length + i] = more[i];
  text.length += count;
  text.chars[text.length] = '\0';
}

void AppendText(PathText& text, const char* more) {
  uint32_t count = 0;
  while (more[count] != '\0') ++count;
  AppendRange(text, more, count);
}

void AppendChar(PathText& text, char c) { AppendRange(text, &c, 1); }
