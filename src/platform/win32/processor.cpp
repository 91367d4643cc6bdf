// Win32 side of the carry-less-multiply check: the processor must have the
// instruction and the system must save the SSE registers across task
// switches, which it reports as PF_XMMI64_INSTRUCTIONS_AVAILABLE.
#include <windows.h>

#include "platform/platform.h"
#include "platform/processor.h"

namespace {

// Looked up by name: Windows 95 lacks the function; without it the answer
// is no.
bool SystemSavesSseRegisters() {
  using IsProcessorFeaturePresentFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32");
  FARPROC found = kernel ? GetProcAddress(kernel, "IsProcessorFeaturePresent") : nullptr;
  if (!found) return false;
  auto isPresent =
      reinterpret_cast<IsProcessorFeaturePresentFunction>(reinterpret_cast<void (*)()>(found));
  return isPresent(10 /* PF_XMMI64_INSTRUCTIONS_AVAILABLE */) != FALSE;
}

int8_t usable = -1;  // not asked yet

}  // namespace

bool CarrylessMultiplyUsable() {
  if (usable < 0) usable = ProcessorHasCarrylessMultiply() && SystemSavesSseRegisters();
  return usable != 0;
}
