// Bounded texts; see path_text.h.
#include "system/path_text.h"

template <uint32_t Capacity>
void AppendRange(BoundedText<Capacity>& text, const char* more, uint32_t count) {
  if (count > Capacity - 1 - text.length) {
    text.tooLong = true;
    return;
  }
  for (uint32_t i = 0; i < count; ++i) text.chars[text.length + i] = more[i];
  text.length += count;
  text.chars[text.length] = '\0';
}

template <uint32_t Capacity>
void AppendText(BoundedText<Capacity>& text, const char* more) {
  uint32_t count = 0;
  while (more[count] != '\0') ++count;
  AppendRange(text, more, count);
}

template <uint32_t Capacity>
void AppendChar(BoundedText<Capacity>& text, char c) {
  AppendRange(text, &c, 1);
}

template <uint32_t Capacity>
void SetText(BoundedText<Capacity>& text, const char* value) {
  text.length = 0;
  text.tooLong = false;
  text.chars[0] = '\0';
  AppendText(text, value);
}

template <uint32_t Capacity>
void CutText(BoundedText<Capacity>& text, uint32_t length) {
  if (length < text.length) text.length = length;
  text.chars[text.length] = '\0';
  text.tooLong = false;
}

template void AppendRange(PathText&, const char*, uint32_t);
template void AppendText(PathText&, const char*);
template void AppendChar(PathText&, char);
template void SetText(PathText&, const char*);
template void CutText(PathText&, uint32_t);
template void AppendText(CommandText&, const char*);
template void AppendChar(CommandText&, char);
template void SetText(CommandText&, const char*);
template void CutText(CommandText&, uint32_t);
