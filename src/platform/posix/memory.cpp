// POSIX side of memory: the C heap, and the tests' limit on it.
#include <stdlib.h>

#include "platform/platform.h"
#include "platform/posix/host_controls.h"

namespace {

uint32_t largestAllocation = 0;  // 0: no limit

}  // namespace

void LimitHostAllocations(uint32_t largest) { largestAllocation = largest; }

void* AllocateMemory(uint32_t size) {
  if (largestAllocation != 0 && size > largestAllocation) return nullptr;
  return malloc(size);
}

void FreeMemory(void* block) { free(block); }
