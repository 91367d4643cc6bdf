// The processor half of the carry-less-multiply check, shared by both sides
// of the OS boundary; each side adds whether its system saves the SSE
// registers (see CarrylessMultiplyUsable in platform.h).
#pragma once

// True when the processor reports CPUID, SSE2 and PCLMULQDQ. A 32-bit
// processor without CPUID (an i386, most i486s) answers false.
bool ProcessorHasCarrylessMultiply();
