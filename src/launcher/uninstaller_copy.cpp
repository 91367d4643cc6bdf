// The uninstaller copy; see uninstaller_copy.h.
//
// Executable image headers: +0x3C the offset of "PE" 0 0; the optional
// header follows 24 bytes after it, its first 16-bit value 0x10B (32-bit
// image) or 0x20B (64-bit); at +64 the checksum; the number of data
// directories at +92 (+108), the directories at +96 (+112), eight bytes each,
// the fifth (index 4) the certificate table.
#include "launcher/uninstaller_copy.h"

#include "system/ascii_text.h"
#include "system/path_text.h"
#include "uninstall/removal_command.h"
#include "unzip/little_endian.h"

namespace {

constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kFreshNameTries = 100;
constexpr uint32_t kCopyChunk = 65536;
uint8_t Chunk[kCopyChunk];

void Clear(uint8_t* at, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) at[i] = 0;
}

// Copies the stub's bytes into `copy`; false on any failure.
bool CopyStub(FileHandle installer, uint32_t stubLength, FileHandle copy) {
  if (!SeekFile(installer, 0)) return false;
  for (uint32_t at = 0; at < stubLength;) {
    const uint32_t n = stubLength - at < kCopyChunk ? stubLength - at : kCopyChunk;
    if (ReadFromFile(installer, Chunk, n) != static_cast<int32_t>(n) ||
        (at == 0 && !ForgetSignature(Chunk, n)) ||
        WriteToFile(copy, Chunk, n) != static_cast<int32_t>(n)) {
      return false;
    }
    at += n;
  }
  return stubLength > 0;
}

}  // namespace

bool ForgetSignature(uint8_t* image, uint32_t length) {
  if (length < 0x40) return false;
  const uint32_t pe = Little32(image + 0x3C);
  if (pe > length - 24 - 2 || Little32(image + pe) != 0x00004550) return false;
  const uint32_t optional = pe + 24;
  const uint16_t magic = Little16(image + optional);
  const uint32_t counted = optional + (magic == 0x20B ? 108 : 92);
  const uint32_t entry = counted + 4 + kCertificateDirectory * 8;
  if ((magic != 0x10B && magic != 0x20B) || entry + 8 > length ||
      Little32(image + counted) <= kCertificateDirectory) {
    return false;
  }
  Clear(image + optional + 64, 4);
  Clear(image + entry, 8);
  return true;
}

bool WriteUninstallerCopy(FileHandle installer, uint32_t stubLength, const char* tempDirectory) {
  PathText fresh;
  FileHandle copy = kNoFile;
  for (uint32_t n = 1; copy == kNoFile && n <= kFreshNameTries; ++n) {
    char digits[21];
    FormatDecimal(n, digits);
    SetText(fresh, tempDirectory);
    AppendText(fresh, "orvane_r-");
    AppendText(fresh, digits);
    AppendText(fresh, ".tmp");
    if (fresh.tooLong) return false;
    copy = CreateNewFile(fresh.chars);
  }
  if (copy == kNoFile) return false;
  const bool written = CopyStub(installer, stubLength, copy);
  CloseFile(copy);
  PathText final;
  SetText(final, tempDirectory);
  AppendText(final, kUninstallerCopyName);
  // A file or a link at the name is replaced (the link itself: deleting it
  // first would, under Wine, delete what it points to); a folder, or a file
  // that is read-only or in use, keeps its place, and the run has no copy.
  if (written && !final.tooLong && ReplacePath(fresh.chars, final.chars)) return true;
  DeletePath(fresh.chars);
  return false;
}
