// The command line of a plain program start; see program_start.h.
#include "system/ascii_text.h"
#include "system/program_start.h"

void BuildProgramCommand(const char* programPath, const char* parameters, PathText& out) {
  PathText joined;
  SetText(joined, "\"");
  AppendText(joined, programPath);
  AppendText(joined, "\" ");
  AppendText(joined, parameters);
  uint32_t begin = 0;
  uint32_t end = joined.length;
  TrimRange(joined.chars, &begin, &end);
  SetText(out, "");
  AppendRange(out, joined.chars + begin, end - begin);
  out.tooLong = out.tooLong || joined.tooLong;
}
