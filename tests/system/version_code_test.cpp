// The version table: one check per row, the edges between rows, and that no
// facts at all give the code 10 (callers read "10 or more" as NT 6 and later).
#include <gtest/gtest.h>

#include "system/windows_version.h"

namespace {

constexpr uint32_t k9x = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr uint32_t kNt = kPlatformWin32Nt;

struct Row {
  WindowsVersionFacts facts;
  int32_t code;
};

TEST(VersionCode, EveryRowOfTheTable) {
  const Row rows[] = {
      // Windows 95: OSR2 by its service-pack text, the first release by its build.
      {{k9x, 4, 0, 950, "", false}, 0},
      {{k9x, 4, 0, 950, "C", false}, 2},
      {{k9x, 4, 9, 950, " C ", false}, 2},
      {{k9x, 4, 0, 1111, "C", false}, 2},
      {{k9x, 4, 0, 950, "c", false}, 0},
      {{k9x, 4, 0, 950, "CC", false}, 0},
      {{k9x, 4, 0, 950, " B ", false}, 0},
      {{k9x, 4, 0, 1111, "", false}, 1},
      {{k9x, 4, 0, 0x04000457, "", false}, 0},  // 1111 in the high word only
      // Windows 98 and Second Edition, then Me.
      {{k9x, 4, 10, 1998, "", false}, 3},
      {{k9x, 4, 10, 2222, "", false}, 4},
      {{k9x, 4, 89, 2222, "C", false}, 4},
      {{k9x, 4, 10, 0x040A08AE, "", false}, 3},  // 2222 in the high word only
      {{k9x, 4, 90, 2222, "C", false}, 5},
      {{k9x, 4, 255, 3000, "", false}, 5},
      {{0, 3, 10, 0, "", false}, 3},  // any platform other than NT reads as 9x
      // The NT line; the service pack and the build never matter there.
      {{kNt, 3, 51, 1057, "", false}, 6},
      {{kNt, 4, 0, 1111, "C", false}, 6},
      {{kNt, 5, 0, 2195, "", false}, 7},
      {{kNt, 5, 1, 2600, "", true}, 8},
      {{kNt, 5, 2, 3790, "", true}, 8},
      {{kNt, 5, 2, 3790, "", false}, 9},
      {{kNt, 6, 0, 6000, "C", false}, 12},
      {{kNt, 6, 1, 7601, "", false}, 11},
      {{kNt, 6, 2, 9200, "", false}, 13},
      {{kNt, 6, 3, 9600, "", false}, 12},
      {{kNt, 10, 0, 19045, "", false}, 12},
  };
  for (const Row& row : rows) {
    const WindowsVersionFacts& f = row.facts;
    EXPECT_EQ(VersionCodeOf(f), row.code) << "platform " << f.platformId << ", " << f.major << "."
                                          << f.minor << " build " << f.build << " sp '"
                                          << f.servicePack << "' wow64 " << f.workstationUnderWow64;
  }
}

TEST(VersionCode, TenIsNeverProducedAndTenOrMoreMeansNtSix) {
  for (uint32_t platform : {0u, k9x, kNt}) {
    for (uint32_t major : {0u, 3u, 4u, 5u, 6u, 7u, 10u, 11u}) {
      for (uint32_t minor : {0u, 1u, 2u, 3u, 4u, 9u, 10u, 11u, 89u, 90u, 200u}) {
        for (uint32_t build : {0u, 1111u, 2222u, 0xFFFFFFFFu}) {
          for (const char* servicePack : {"", "C", "Service Pack 3"}) {
            for (bool wow64 : {false, true}) {
              int32_t code = VersionCodeOf({platform, major, minor, build, servicePack, wow64});
              ASSERT_NE(code, 10);
              ASSERT_EQ(code >= 10, platform == kNt && major >= 6)
                  << platform << " " << major << "." << minor << " code " << code;
            }
          }
        }
      }
    }
  }
}

}  // namespace
