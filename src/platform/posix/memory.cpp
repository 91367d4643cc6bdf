// POSIX side of memory: the C heap.
#include <stdlib.h>

#include "platform/platform.h"

void* AllocateMemory(uint32_t size) { return malloc(size); }

void FreeMemory(void* block) { free(block); }
