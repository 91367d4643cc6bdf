// The output window shared by the decoders and its flush to the output file.
#include "unzip/output_window.h"

#include "unzip/engine_state.h"

uint8_t* OutputWindow = nullptr;
uint16_t WindowPos = 0;
FileHandle OutputFile = kNoFile;

bool FlushWindow(uint32_t count) {
  if (count > kWindowSize) return false;
  if (count == 0) return true;
  UpdateCrc(OutputWindow, count);
  return WriteToFile(OutputFile, OutputWindow, count) == static_cast<int32_t>(count);
}
