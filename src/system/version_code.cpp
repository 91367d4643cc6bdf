// The version table: from what the version query reports to the version
// code; see windows_version.h.
#include "system/ascii_text.h"
#include "system/windows_version.h"

namespace {

// The service-pack text, trimmed of codes 0 to 32 at both ends, is "C".
bool ServicePackIsC(const char* servicePack) {
  uint32_t end = 0;
  while (servicePack[end] != '\0') ++end;
  uint32_t begin = 0;
  TrimRange(servicePack, &begin, &end);
  return end - begin == 1 && servicePack[begin] == 'C';
}

}  // namespace

int32_t VersionCodeOf(const WindowsVersionFacts& facts) {
  if (facts.platformId != kPlatformWin32Nt) {
    if (facts.minor < 10) {
      if (ServicePackIsC(facts.servicePack)) return 2;
      return facts.build == 1111 ? 1 : 0;
    }
    if (facts.minor < 90) return facts.build == 2222 ? 4 : 3;
    return 5;
  }
  if (facts.major < 5) return 6;
  if (facts.major == 5) {
    if (facts.minor == 0) return 7;
    if (facts.minor == 2) return facts.workstationUnderWow64 ? 8 : 9;
    return 8;
  }
  if (facts.minor == 1) return 11;
  if (facts.minor == 2) return 13;
  return 12;
}
