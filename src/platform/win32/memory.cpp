// Win32 side of memory: per-entry buffers and tables come from the process heap.
#include <windows.h>

#include "platform/platform.h"

void* AllocateMemory(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void FreeMemory(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
