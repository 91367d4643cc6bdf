// POSIX side of the carry-less-multiply check: Linux always saves the SSE
// registers, so the processor decides, unless a test turns the instruction
// off to take the table path (host_controls.h).
#include "platform/platform.h"
#include "platform/posix/host_controls.h"
#include "platform/processor.h"

namespace {

int8_t present = -1;  // not asked yet
bool refused = false;

}  // namespace

void RefuseCarrylessMultiply(bool refuse) { refused = refuse; }

bool CarrylessMultiplyUsable() {
  if (present < 0) present = ProcessorHasCarrylessMultiply();
  return present != 0 && !refused;
}
