// The archive driver: walks the central directory, shows the share of
// entries reached before each entry, extracts each one, turns every result
// into its message and decides whether the walk goes on.
#include "unzip/extract_archive.h"

#include <string.h>

#include "unzip/central_directory.h"
#include "unzip/extract_entry.h"
#include "unzip/output_path.h"

WindowHandle ExtractionTextControl = 0;

namespace {

// Room for an archive path or target directory in its absolute form.
constexpr uint32_t kResolvedPathSize = 1024;

// A fixed buffer that texts are appended to; what does not fit is cut.
struct Text {
  char chars[400];
  size_t length;
};

void Append(Text& text, const char* more) {
  size_t room = sizeof text.chars - 1 - text.length;
  size_t n = strlen(more);
  if (n > room) n = room;
  memcpy(text.chars + text.length, more, n);
  text.length += n;
  text.chars[text.length] = '\0';
}

void AppendNumber(Text& text, uint32_t value) {
  char digits[11];
  char* at = digits + sizeof digits - 1;
  *at = '\0';
  do {
    *--at = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  Append(text, at);
}

const char* FileNamePart(const char* path) {
  const char* name = path;
  for (const char* c = path; *c; c = NextCharacter(c)) {
    if (*c == '\\' || *c == '/' || *c == ':') name = c + 1;
  }
  return name;
}

// Shows the share of entries reached when it differs from the one shown
// last (`shown`, kNothingShown before the first entry): the text changes a
// hundred times at most, whatever the number of entries.
constexpr uint32_t kNothingShown = 0xFFFFFFFF;

void ShowProgress(uint16_t count, uint16_t total, uint32_t& shown) {
  const uint32_t percent = EntryPercentage(count, total);
  if (percent == shown) return;
  shown = percent;
  Text text = {};
  Append(text, "Extracting, ");
  AppendNumber(text, percent);
  Append(text, "% complete");
  SetStatusText(ExtractionTextControl, text.chars);
}

// Shows the result's message, if it has one.
void ShowResult(ExtractResult result, const DirectoryEntry& entry) {
  Text text = {};
  switch (result) {
    case ExtractResult::Ok:
      return;
    case ExtractResult::CrcMismatch:
      Append(text, "CRC-Error!");
      break;
    case ExtractResult::WriteFailed:
    case ExtractResult::DiskFull:
      Append(text, "Write error! on ");
      Append(text, entry.Name);
      if (result == ExtractResult::DiskFull) Append(text, " (the disk is full)");
      break;
    case ExtractResult::ReadFailed:
      Append(text, "Read error!");
      break;
    case ExtractResult::BadArchive:
      Append(text, "Error in Zip file structure!");
      break;
    case ExtractResult::UserAborted:
      Append(text, "Aborted by user!");
      break;
    case ExtractResult::UnsupportedMethod:
      Append(text, entry.Method > 8 ? "Unknown pack method!" : "ZIP Format not supported!");
      break;
    case ExtractResult::EncryptedEntry:
      Append(text, "File encrypted, skipped!");
      break;
    case ExtractResult::EngineBusy:
      Append(text, "DLL already in use, try later or use pkunzip!");
      break;
  }
  ShowEngineMessage(text.chars, kMbOk);
}

bool StopsTheWalk(ExtractResult result) {
  return result == ExtractResult::ReadFailed || result == ExtractResult::BadArchive ||
         result == ExtractResult::UserAborted || result == ExtractResult::EngineBusy;
}

// What the walk knows of the links below its target. Below a fresh target
// nothing can be a link that was there before; elsewhere, the directories
// of the last path found free of links need no second look (entries come
// directory by directory).
struct LinkWatch {
  bool freshTarget;
  uint32_t targetLength;
  uint32_t checkedLength;  // of the last free path's directories, backslash included
  char checked[kMaxOutputPath + 1];
};

// True when no link lies on `path` below the target (the target itself may
// be one: the user chose it). `path` fills a buffer of kMaxOutputPath + 1
// bytes, so the comparison with the last free path stays inside it.
bool FreeOfLinks(const char* path, LinkWatch& watch) {
  if (watch.freshTarget) return true;
  uint32_t from = watch.targetLength;
  if (watch.checkedLength > from && memcmp(path, watch.checked, watch.checkedLength) == 0) {
    from = watch.checkedLength;
  }
  if (LinkOnPath(path, from)) return false;
  watch.checkedLength = 0;
  for (const char* c = FindSeparator(path, '\\'); c; c = FindSeparator(c + 1, '\\')) {
    watch.checkedLength = static_cast<uint32_t>(c - path) + 1;
  }
  memcpy(watch.checked, path, watch.checkedLength);
  return true;
}

// Extracts one directory entry below the target. Names that would leave the
// target, cannot be converted, were cut, or make too long a path are refused
// as write errors, and so is a path on which a link lies below the target;
// Zip64 sizes or offsets beyond the engine's as not supported.
ExtractResult ExtractDirectoryEntry(FileHandle archive, const char* target, LinkWatch& watch,
                                    const DirectoryEntry& entry) {
  if (entry.TooLarge) return ExtractResult::UnsupportedMethod;
  char path[kMaxOutputPath + 1];
  if (entry.NameRefused || !StaysInsideTarget(entry.Name) ||
      !JoinOutputPath(target, entry.Name, path) || !FreeOfLinks(path, watch)) {
    return ExtractResult::WriteFailed;
  }
  return ExtractEntryFrom(archive, path, entry.Attributes, kAbortKeyEscape, entry.HeaderOffset,
                          {entry.CompressedSize, entry.UncompressedSize});
}

}  // namespace

uint32_t EntryPercentage(uint16_t count, uint16_t total) {
  if (total == 0) return 100;
  long double share = static_cast<long double>(count) / static_cast<long double>(total);
  return static_cast<uint32_t>(share * 100.0L);
}

int ShowEngineMessage(const char* text, uint32_t buttons) {
  return ShowMessageBox(text, "Installer", buttons);
}

namespace {

// The directory a run extracts into, in its absolute form with a trailing
// backslash, in `target`. Entry extraction moves the current directory into
// each entry's directories, so a relative directory is resolved once, here,
// against the directory the call began in (an empty one stands for it). A
// directory whose absolute form does not fit is used as given: a target that
// long refuses every entry as too long anyway.
void ResolveTarget(const char* targetDirectory, char (&target)[kMaxOutputPath + 3]) {
  char resolvedTarget[kResolvedPathSize];
  if (AbsolutePath(targetDirectory[0] != '\0' ? targetDirectory : ".", resolvedTarget,
                   sizeof resolvedTarget)) {
    targetDirectory = resolvedTarget;
  }
  size_t length = strlen(targetDirectory);
  if (length > kMaxOutputPath) length = kMaxOutputPath + 1;  // every join is then too long
  memcpy(target, targetDirectory, length);
  target[length] = '\0';
  if (length > 0 && !EndsInBackslash(target, length)) {
    target[length++] = '\\';
    target[length] = '\0';
  }
}

}  // namespace

bool ExtractArchive(const char* archivePath, const char* targetDirectory) {
  if (!FileExists(archivePath)) {
    Text text = {};
    Append(text, "The specified file, ");
    Append(text, FileNamePart(archivePath));
    Append(text, " is not found or not a ZIP file!");
    ShowEngineMessage(text.chars, kMbOk);
    return false;
  }
  // One open of the archive serves every entry (kNoFile makes the first
  // entry a read error, as a failed open per entry did).
  const FileHandle archive = OpenForReading(archivePath);
  const bool complete = ExtractOpenArchive(archive, targetDirectory, false);
  CloseFile(archive);
  return complete;
}

bool ExtractOpenArchive(FileHandle archive, const char* targetDirectory, bool freshTarget) {
  char target[kMaxOutputPath + 3];
  ResolveTarget(targetDirectory, target);

  static LinkWatch watch;
  watch = {freshTarget, static_cast<uint32_t>(strlen(target)), 0, {}};
  DirectoryReader reader;
  uint16_t total = 0;
  DirectoryResult r = OpenDirectory(archive, reader, total);
  uint16_t count = 0;
  uint32_t shown = kNothingShown;
  bool complete = true;
  while (r == DirectoryResult::EntryReady) {
    ++count;
    ShowProgress(count, total, shown);
    ExtractResult result = ExtractDirectoryEntry(archive, target, watch, reader.Entry);
    ShowResult(result, reader.Entry);
    complete = complete && result == ExtractResult::Ok;
    // A full disk fails every entry after it: its one box says why the walk
    // ends.
    if (result == ExtractResult::DiskFull) break;
    if (StopsTheWalk(result)) {
      ShowEngineMessage("Unzipping aborted!", kMbOk);
      break;
    }
    r = NextEntry(reader);
  }
  CloseDirectory(reader);

  if (r == DirectoryResult::DirectoryStructureError) {
    ShowEngineMessage("Error in Zip file structure!", kMbOk);
  } else if (r == DirectoryResult::DirectoryReadError) {
    ShowEngineMessage("Error reading Zipfile!", kMbOk);
  }
  return complete && r == DirectoryResult::EndOfDirectory;
}
