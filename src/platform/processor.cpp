// Asks the processor whether it can multiply without carries. This is the
// one place that knows the instruction-set difference between the 32-bit and
// the 64-bit builds: only a 32-bit processor can lack CPUID, and it says so
// by refusing to toggle the ID bit (bit 21) of EFLAGS. CPUID itself sits in
// a function of its own whose name ends in Pclmul, the mark for code that an
// i486 must never reach.
#include "platform/processor.h"

#include <cstdint>

namespace {

bool HasCpuid() {
#if defined(__i386__)
  uint32_t before, after;
  __asm__ volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0;
#else
  return true;  // every x86-64 processor has CPUID
#endif
}

}  // namespace

// Leaf 1 of CPUID: ECX bit 1 is PCLMULQDQ, EDX bit 26 SSE2. Leaf 0 first
// tells whether leaf 1 exists. C linkage keeps the name's Pclmul ending in
// the link map.
extern "C" __attribute__((noinline)) bool CpuidReportsPclmul() {
  uint32_t a, b, c, d;
  __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(0), "c"(0));
  if (a < 1) return false;
  __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(1), "c"(0));
  return (c & (1u << 1)) != 0 && (d & (1u << 26)) != 0;
}

bool ProcessorHasCarrylessMultiply() { return HasCpuid() && CpuidReportsPclmul(); }
