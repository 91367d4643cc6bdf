// archive_fuzzer: the input's bytes are an archive, extracted by the engine's
// archive driver through the host side of the platform door into a scratch
// target directory. The engine starts in the scratch directory, where nothing
// but the archive and the target may be found afterwards; then the target is
// emptied, the current directory (the engine moves it into each entry's
// directories) set back to the process's own, and the process must hold as
// many descriptors as before. Boxes are recorded by the host side, not shown,
// and the tick count is frozen, so a run depends on the input alone. The
// target's path has the same length wherever the scratch directory lies, as
// joined paths longer than 259 characters are refused.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/posix/host_controls.h"
#include "scratch.h"
#include "unzip/extract_archive.h"

namespace {

constexpr size_t kTargetPathLength = 100;

std::string home, scratch, archive, targetName, target;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  home = CurrentDirectory();
  scratch = MakeScratch("archive");
  archive = scratch + "/archive.zip";
  if (scratch.size() + 2 > kTargetPathLength) {
    fprintf(stderr, "archive_fuzzer: %s is too long a scratch path\n", scratch.c_str());
    abort();
  }
  targetName.assign(kTargetPathLength - scratch.size() - 1, 't');
  target = scratch + "/" + targetName;
  if (mkdir(target.c_str(), 0700) != 0) abort();
  SetHostTickCount(1000);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int descriptors = OpenDescriptorCount();
  WriteScratchFile(archive, data, size);
  if (chdir(scratch.c_str()) != 0) abort();

  ClearRecordedBoxes();
  ExtractArchive(archive.c_str(), target.c_str());

  if (chdir(home.c_str()) != 0) abort();
  const char* const allowed[] = {"archive.zip", targetName.c_str(), nullptr};
  RequireOnly(scratch, allowed);
  EmptyDirectory(target);
  if (OpenDescriptorCount() != descriptors) {
    fprintf(stderr, "archive_fuzzer: the input left a descriptor open\n");
    abort();
  }
  return 0;
}
