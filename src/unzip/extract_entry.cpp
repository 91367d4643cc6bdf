// Entry extraction: reads and checks the local header (with its Zip64 sizes),
// creates the output file and its directories, runs the decoder of the
// entry's method within the entry's declared size, reads the data descriptor
// of a streamed entry, sets the file time, checks the CRC-32, sets the
// attributes, and deletes the output after any failure. Also owns
// the re-entry guard: the message pump runs window procedures in the middle
// of an entry, and one of them may call in again.
#include "unzip/extract_entry.h"

#include <string.h>

#include "platform/platform.h"
#include "unzip/copy_stored.h"
#include "unzip/dos_time.h"
#include "unzip/engine_state.h"
#include "unzip/entry_directories.h"
#include "unzip/little_endian.h"
#include "unzip/methods/explode.h"
#include "unzip/methods/inflate.h"
#include "unzip/methods/lzma_decode.h"
#include "unzip/methods/unreduce.h"
#include "unzip/methods/unshrink.h"
#include "unzip/output_path.h"
#include "unzip/output_window.h"
#include "unzip/zip64.h"

namespace {

// One bit per method number with a decoder: stored (0), shrunk (1), reduced
// with factors 1 to 4 (2-5), imploded (6), deflated (8) and LZMA (14).
// Methods 7, 9 to 13 and everything above 14 are not decoded.
constexpr uint16_t SupportedMethods = 0x417F;
constexpr uint16_t kHighestMethod = 14;

// Stand-in sizes of a streamed deflated entry whose local header gives none:
// 2^31 - 1 - 100, so that BytesRead + 100 never overflows.
constexpr uint32_t kStreamedSize = kLargestValue;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagStreamed = 0x0008;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kDescriptorSignature = 0x08074B50;  // "PK" 7 8
constexpr uint32_t kStaleMarkMs = 30000;

bool BusyMark = false;


ExtractResult DecodeEntry(uint16_t method) {
  switch (method) {
    case 0:
      return CopyStored();
    case 1:  // shrunk
      return Unshrink();
    case 2:  // reduced, factors 1 to 4
    case 3:
    case 4:
    case 5:
      return Unreduce(method);
    case 6:  // imploded
      return Explode();
    case 8:
      return Inflate();
    case 14:
      return DecodeLzma();
    default:
      return ExtractResult::UnsupportedMethod;
  }
}

// The archive belongs to the caller, who keeps it open for the next entry.
void CloseArchive() { Engine.Archive = kNoFile; }

uint32_t NextWord32() {
  NeedBits(16);
  uint32_t low = Engine.BitBuffer & BitMask[16];
  DropBits(16);
  NeedBits(16);
  uint32_t high = Engine.BitBuffer & BitMask[16];
  DropBits(16);
  return low | high << 16;
}

// The CRC of a streamed entry follows its data in a descriptor. Its signature
// is optional in the format: when the first word is not the signature, it is
// the CRC itself.
uint32_t ReadDescriptorCrc(uint16_t method) {
  if (method == 0) {
    // CopyStored left the archive right after the data; start reading there.
    ResetInput();
    Engine.BitBuffer = 0;
    Engine.BitCount = 0;
    WindowPos = 0;
  } else {
    DropBits(Engine.BitCount & 7);
  }
  uint32_t word = NextWord32();
  return word == kDescriptorSignature ? NextWord32() : word;
}

// Everything of one extraction after the re-entry guard. Releases the window
// and both files on every path out.
ExtractResult RunExtraction(FileHandle archive, const char* outputPath, uint16_t attributes,
                            uint16_t abortKey, uint32_t headerOffset, CentralSizes central) {
  char path[kMaxOutputPath + 1];
  size_t length = strlen(outputPath);
  if (length > kMaxOutputPath) return ExtractResult::WriteFailed;
  memcpy(path, outputPath, length + 1);
  if ((attributes & kAttrDirectory) && length > 0 && !EndsInBackslash(path, length)) {
    if (length + 1 > kMaxOutputPath) return ExtractResult::WriteFailed;
    path[length++] = '\\';
    path[length] = '\0';
  }
  bool directoryEntry = EndsInBackslash(path, length);

  Engine.Archive = archive;
  if (Engine.Archive == kNoFile) return ExtractResult::ReadFailed;

  uint8_t header[kLocalHeaderSize];
  if (!SeekArchive(headerOffset) || ReadArchive(header, kLocalHeaderSize) != kLocalHeaderSize ||
      Little32(header) != 0x04034B50) {  // "PK" 3 4
    CloseArchive();
    return ExtractResult::BadArchive;
  }
  Engine.EntryFlags = Little16(header + 6);
  uint16_t method = Little16(header + 8);
  uint32_t dosDateTime = Little32(header + 10);
  uint32_t storedCrc = Little32(header + 14);
  uint64_t extraOffset =
      static_cast<uint64_t>(headerOffset) + kLocalHeaderSize + Little16(header + 26);
  uint32_t extraLength = Little16(header + 28);
  uint64_t dataOffset = extraOffset + extraLength;
  // Uncompressed, then compressed size: the Zip64 field's order. Full fields
  // are read from the first 2048 bytes of the extra field.
  uint64_t sizes[2] = {Little32(header + 22), Little32(header + 18)};
  if (sizes[0] == kZip64Marker || sizes[1] == kZip64Marker) {
    int32_t n =
        extraLength < kInputBufferSize ? static_cast<int32_t>(extraLength) : kInputBufferSize;
    if (extraOffset > 0xFFFFFFFFu ||
        !SeekArchive(static_cast<uint32_t>(extraOffset)) ||
        ReadArchive(Engine.InputBuffer, static_cast<uint32_t>(n)) != n) {
      CloseArchive();
      return ExtractResult::BadArchive;
    }
    ReadZip64Values(Engine.InputBuffer, static_cast<uint32_t>(n), sizes, 2);
  }

  // A streamed entry may leave its sizes to the descriptor. Deflate ends by
  // itself and runs on stand-ins; the other methods take the central
  // directory's sizes: most have no end mark, and LZMA sizes its dictionary
  // by the entry's size (an end marker alone would leave that unbounded).
  const bool sizesFollow = (Engine.EntryFlags & kFlagStreamed) && sizes[1] == 0;
  if (sizesFollow) {
    sizes[0] = method == 8 ? kStreamedSize : central.Uncompressed;
    sizes[1] = method == 8 ? kStreamedSize : central.Compressed;
  }

  // Refused before anything is created: the disk stays untouched.
  ExtractResult result = ExtractResult::Ok;
  if (method > kHighestMethod || ((SupportedMethods >> method) & 1) == 0 ||
      sizes[0] > kLargestValue || sizes[1] > kLargestValue) {
    result = ExtractResult::UnsupportedMethod;
  } else if (Engine.EntryFlags & kFlagEncrypted) {
    result = ExtractResult::EncryptedEntry;
  } else if (dataOffset > 0xFFFFFFFFu || !SeekArchive(static_cast<uint32_t>(dataOffset))) {
    result = ExtractResult::BadArchive;
  }
  if (result != ExtractResult::Ok) {
    CloseArchive();
    return result;
  }
  Engine.UncompressedSize = static_cast<int32_t>(sizes[0]);
  Engine.CompressedSize = static_cast<int32_t>(sizes[1]);
  Engine.BytesRead = 0;

  bool pathMissing = false;
  OutputFile = directoryEntry ? kNoFile : CreateOutputFile(path, &pathMissing);
  if (pathMissing || directoryEntry) {
    MakeEntryDirectories(path);
    if (directoryEntry) {
      CloseArchive();
      return ExtractResult::Ok;
    }
    OutputFile = CreateOutputFile(path, &pathMissing);
  }
  // A file that is there already and read-only, hidden or system refuses to
  // be replaced: it loses those attributes, and the creation is tried once
  // more. (Asked only on failure: a lookup of a name that does not exist
  // yet costs Wine a search through the whole directory.)
  if (OutputFile == kNoFile && !directoryEntry && SetPathAttributes(path, kAttrArchive)) {
    OutputFile = CreateOutputFile(path, &pathMissing);
  }
  if (OutputFile == kNoFile) {
    CloseArchive();
    return ExtractResult::WriteFailed;
  }

  Engine.InputExhausted = false;
  Engine.AbortKey = abortKey;
  PumpMessages();
  Engine.LastPercent = 0;
  Engine.RunningCrc = 0xFFFFFFFF;

  OutputLeft = static_cast<uint32_t>(Engine.UncompressedSize);
  OutputTrouble = OutputFault::None;
  result = DecodeEntry(method);
  OutputLeft = kNoOutputBound;
  if (OutputTrouble == OutputFault::Overrun) result = ExtractResult::CrcMismatch;
  if (OutputTrouble == OutputFault::DiskFull) result = ExtractResult::DiskFull;
  if (result == ExtractResult::Ok && (Engine.EntryFlags & kFlagStreamed)) {
    storedCrc = ReadDescriptorCrc(method);
  }
  Engine.RunningCrc = ~Engine.RunningCrc;
  CloseArchive();

  // The time is set even on a file about to be deleted.
  SetDosFileTime(OutputFile, dosDateTime);
  CloseFile(OutputFile);
  OutputFile = kNoFile;

  if (result == ExtractResult::Ok && storedCrc != Engine.RunningCrc) {
    result = ExtractResult::CrcMismatch;
  }
  if (result == ExtractResult::Ok) {
    // A query is cheaper than a change: a file that already holds exactly
    // these attributes (a new file holds archive alone, what most archives
    // ask for) is left as it is.
    if (GetPathAttributes(path) != attributes) SetPathAttributes(path, attributes);
  } else {
    DeletePath(path);
  }
  return result;
}

// What a nested extraction must give back to the one it interrupted.
struct SuspendedEntry {
  EngineState engine;
  uint8_t* window;
  uint16_t windowPos;
  FileHandle output;
  uint32_t outputLeft;
  OutputFault outputTrouble;
};

}  // namespace

ExtractResult ExtractEntryFrom(FileHandle archive, const char* outputPath, uint16_t attributes,
                               uint16_t abortKey, uint32_t headerOffset, CentralSizes central) {
  Engine.AbortRequested = false;

  // A set mark means an extraction is under way, suspended in the message
  // pump, unless the pump has been silent for over 30 s: then the mark is
  // taken as stale and this call goes ahead. The suspended extraction is
  // then still on the stack, so its state is saved here and given back
  // afterwards, instead of being freed and overwritten under it.
  bool breaksStaleMark = false;
  if (BusyMark) {
    if (Engine.LastPumpTick == 0 || TickCount() - Engine.LastPumpTick <= kStaleMarkMs) {
      return ExtractResult::EngineBusy;
    }
    breaksStaleMark = true;
  }
  SuspendedEntry suspended;
  if (breaksStaleMark) {
    suspended = {Engine, OutputWindow, WindowPos, OutputFile, OutputLeft, OutputTrouble};
  }

  BusyMark = true;
  ExtractResult result = ExtractResult::WriteFailed;  // when the window cannot be had
  OutputWindow = static_cast<uint8_t*>(AllocateMemory(kWindowSize));
  if (OutputWindow) {
    memset(OutputWindow, 0, kWindowSize);
    result = RunExtraction(archive, outputPath, attributes, abortKey, headerOffset, central);
    FreeMemory(OutputWindow);
  }
  OutputWindow = nullptr;

  if (breaksStaleMark) {
    Engine = suspended.engine;
    OutputWindow = suspended.window;
    WindowPos = suspended.windowPos;
    OutputFile = suspended.output;
    OutputLeft = suspended.outputLeft;
    OutputTrouble = suspended.outputTrouble;
    // This extraction used the read-ahead buffer too.
    if (Engine.Archive != kNoFile) ResumeArchive();
  } else {
    BusyMark = false;
  }
  return result;
}

ExtractResult ExtractEntry(const char* archivePath, const char* outputPath, uint16_t attributes,
                           uint16_t abortKey, uint32_t headerOffset, CentralSizes central) {
  const FileHandle archive = OpenForReading(archivePath);
  const ExtractResult result =
      ExtractEntryFrom(archive, outputPath, attributes, abortKey, headerOffset, central);
  CloseFile(archive);
  return result;
}
