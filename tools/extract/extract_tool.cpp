// extract ARCHIVE TARGETDIR: runs the engine's archive driver on one archive.
//
// Every message box the engine shows is also printed on stderr as one line
// "Installer: <text>" (on Windows the real boxes appear as well). Exit code
// 0 when no box was shown, 1 when any was, 2 on a usage error. Tests and
// benchmarks drive the engine through this tool.
#include <stdio.h>

#include "platform/platform.h"
#include "unzip/extract_archive.h"

static int boxesShown = 0;

static void EchoBox(const char* caption, const char* text) {
  fprintf(stderr, "%s: %s\n", caption, text);
  fflush(stderr);
  ++boxesShown;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: extract ARCHIVE TARGETDIR\n", stderr);
    return 2;
  }
  // Absolute paths: extraction changes the current directory as it goes.
  char archive[1024], target[1024];
  if (!AbsolutePath(argv[1], archive, sizeof archive) ||
      !AbsolutePath(argv[2], target, sizeof target)) {
    fputs("extract: path too long\n", stderr);
    return 2;
  }
  SetMessageBoxObserver(EchoBox);
  ExtractArchive(archive, target);
  return boxesShown == 0 ? 0 : 1;
}
