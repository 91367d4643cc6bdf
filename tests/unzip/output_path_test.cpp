// Entry names that must not reach the disk as they stand: device names in
// every spelling Windows accepts, next to near misses that are plain files.
#include <gtest/gtest.h>

#include "unzip/output_path.h"

TEST(OutputPath, DeviceNamesAnywhereInTheNameAreRefused) {
  for (const char* name : {"nul", "NUL.txt", "sub\\aux.c", "com1.log", "lpt1", "Con .txt", "nul.",
                           "prn..", "aux.tar.gz", "CONIN$", "conout$.x", "Clock$", "lpt9 ",
                           "dir\\COM9\\file.txt", "a\\b\\nul\\"}) {
    EXPECT_FALSE(StaysInsideTarget(name)) << name;
  }
  for (const char* name : {"com0", "com10", "lpt", "nullable.txt", "auxiliary.c", "con_fig",
                           "x.nul", "a nul", "conin", "COM1x.txt", "dir\\nul2\\x"}) {
    EXPECT_TRUE(StaysInsideTarget(name)) << name;
  }
}
