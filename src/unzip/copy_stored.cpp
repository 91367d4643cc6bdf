// Method 0: stored entries move from the archive straight into the output
// window and out, one chunk of up to 32768 bytes at a time; the message pump
// and the abort-key poll run after every chunk.
#include "unzip/copy_stored.h"

#include "unzip/engine_state.h"
#include "unzip/output_window.h"

ExtractResult CopyStored() {
  while (Engine.BytesRead < Engine.CompressedSize && !Engine.AbortRequested) {
    int32_t left = Engine.CompressedSize - Engine.BytesRead;
    uint32_t n = left < static_cast<int32_t>(kWindowSize) ? static_cast<uint32_t>(left)
                                                          : kWindowSize;
    // Chunks this large gain nothing from the read-ahead buffer: read
    // straight from the file, keeping the archive's offset.
    if (ReadFromFile(Engine.Archive, OutputWindow, n) != static_cast<int32_t>(n)) {
      return ExtractResult::ReadFailed;
    }
    Engine.ArchiveOffset += n;
    if (!FlushWindow(n)) return ExtractResult::WriteFailed;
    Engine.BytesRead += static_cast<int32_t>(n);
    PumpMessages();
    CheckProgress();
  }
  return Engine.AbortRequested ? ExtractResult::UserAborted : ExtractResult::Ok;
}
