// The command line of a plain program start; see program_start.h.
#include "system/ascii_text.h"
#include "system/program_start.h"

void BuildProgramCommand(const char* programPath, const char* parameters, CommandText& out) {
  SetText(out, "\"");
  AppendText(out, programPath);
  AppendText(out, "\" ");
  AppendText(out, parameters);
  // The text starts with its quote: only its end can need trimming.
  uint32_t begin = 0;
  uint32_t end = out.length;
  TrimRange(out.chars, &begin, &end);
  const bool tooLong = out.tooLong;
  CutText(out, end);
  out.tooLong = tooLong;
}
