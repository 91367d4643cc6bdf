// Payload carving and directory paths through the platform's file calls;
// see payload_carving.h.
#include "launcher/payload_carving.h"

#include "platform/platform.h"
#include "system/path_operations.h"
#include "system/path_text.h"
#include "unzip/crc32.h"

namespace {

constexpr uint32_t kCarveBlockSize = 10000;

CarveResult CopyRest(FileHandle source, FileHandle output, CarvedDigest& digest) {
  static uint8_t block[kCarveBlockSize];
  for (;;) {
    int32_t got = ReadFromFile(source, block, kCarveBlockSize);
    if (got < 0) return CarveResult::ReadFailed;
    if (got == 0) return CarveResult::Done;
    if (WriteToFile(output, block, static_cast<uint32_t>(got)) != got) {
      return CarveResult::WriteFailed;
    }
    digest.Crc = ContinueCrc(digest.Crc, block, static_cast<uint32_t>(got));
    digest.Length += static_cast<uint32_t>(got);
  }
}

}  // namespace

CarveResult CarvePayload(const char* directory, const char* sourcePath, int32_t stubSizeValue,
                         CarvedDigest& digest) {
  digest = {0xFFFFFFFF, 0};
  PathText outputPath;
  SetText(outputPath, directory);
  AppendText(outputPath, kTemporaryArchiveName);
  if (outputPath.tooLong) return CarveResult::OutputNotCreated;

  FileHandle source = OpenForReading(sourcePath);
  if (source == kNoFile) return CarveResult::SourceNotOpened;
  // The stub's own bytes are skipped by seeking; a position past the end
  // leaves nothing to read.
  if (stubSizeValue > 1 && !SeekFile(source, static_cast<uint32_t>(stubSizeValue - 1))) {
    CloseFile(source);
    return CarveResult::ReadFailed;
  }
  bool pathMissing = false;
  FileHandle output = CreateOutputFile(outputPath.chars, &pathMissing);
  if (output == kNoFile) {
    CloseFile(source);
    return CarveResult::OutputNotCreated;
  }
  CarveResult result = CopyRest(source, output, digest);
  CloseFile(output);
  CloseFile(source);
  return result;
}

namespace {

// Makes the directory named by the first `length` characters of the path,
// after its missing parents. One buffer serves every level: a prefix is
// terminated in place while it is looked at, and given back after.
void MakeDirectoryPrefix(PathText& path, uint32_t length) {
  if (length > 0 && path.chars[length - 1] == '\\') --length;
  if (length < 3) return;
  char kept = path.chars[length];
  path.chars[length] = '\0';
  if (IsDirectory(path.chars)) {
    path.chars[length] = kept;
    return;
  }
  uint32_t parentLength = FileNameStart(path.chars);
  path.chars[length] = kept;
  MakeDirectoryPrefix(path, parentLength);
  path.chars[length] = '\0';
  MakeDirectory(path.chars);
  path.chars[length] = kept;
}

}  // namespace

void CreateDirectoryPath(const char* path) {
  PathText directory;
  SetText(directory, path);
  if (!directory.tooLong) MakeDirectoryPrefix(directory, directory.length);
}
