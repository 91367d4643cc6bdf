// POSIX side of what the user sees and does, driven by tests through
// host_controls.h: boxes are recorded and answered OK, the status text goes
// to an observer, the abort key, the tick count and the pump are set from
// outside.
#include <string.h>
#include <time.h>

#include "platform/platform.h"
#include "platform/posix/host_controls.h"

namespace {

MessageBoxObserver boxObserver = nullptr;
RecordedBox boxes[kMaxRecordedBoxes];
int boxCount = 0;

StatusObserver statusObserver = nullptr;
void* statusContext = nullptr;

uint16_t heldKey = 0;
bool tickFrozen = false;
uint32_t frozenTick = 0;

PumpHook pumpHook = nullptr;
void* pumpContext = nullptr;

void CopyCut(char* to, size_t size, const char* from) {
  strncpy(to, from, size - 1);
  to[size - 1] = '\0';
}

}  // namespace

void SetMessageBoxObserver(MessageBoxObserver observer) { boxObserver = observer; }

int ShowMessageBox(const char* text, const char* caption, uint32_t flags) {
  if (boxObserver) boxObserver(caption, text);
  if (boxCount < kMaxRecordedBoxes) {
    RecordedBox& box = boxes[boxCount];
    CopyCut(box.caption, sizeof box.caption, caption);
    CopyCut(box.text, sizeof box.text, text);
    box.flags = flags;
  }
  ++boxCount;
  return (flags & kMbYesNo) == kMbYesNo ? kIdYes : kIdOk;
}

int RecordedBoxCount() { return boxCount; }
const RecordedBox& RecordedBoxAt(int index) { return boxes[index]; }
void ClearRecordedBoxes() { boxCount = 0; }

void SetStatusObserver(StatusObserver observer, void* context) {
  statusObserver = observer;
  statusContext = context;
}

void SetStatusText(WindowHandle control, const char* text) {
  if (control != 0 && statusObserver) statusObserver(control, text, statusContext);
}

void SetPumpHook(PumpHook hook, void* context) {
  pumpHook = hook;
  pumpContext = context;
}

void DispatchPendingMessages() {
  if (pumpHook) pumpHook(pumpContext);
}

void HoldKeyDown(uint16_t virtualKey) { heldKey = virtualKey; }

bool IsKeyDown(uint16_t virtualKey) { return heldKey != 0 && virtualKey == heldKey; }

void SetHostTickCount(uint32_t milliseconds) {
  tickFrozen = true;
  frozenTick = milliseconds;
}

void UseRealTickCount() { tickFrozen = false; }

uint32_t TickCount() {
  if (tickFrozen) return frozenTick;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(now.tv_sec * 1000u + now.tv_nsec / 1000000);
}
