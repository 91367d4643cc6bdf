// The archive driver: the engine's one entry point for the launcher.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "unzip/extract_result.h"

// The status window's text line that shows "Extracting, N% complete";
// set by the launcher before extracting. 0 makes the updates do nothing.
extern WindowHandle ExtractionTextControl;

// Extracts every entry of the archive into the target directory, showing a
// message box (captioned "Installer") for each failure, and stops at the
// first failure that makes going on pointless (a full disk among them).
// True when every entry was extracted: no box was shown.
bool ExtractArchive(const char* archivePath, const char* targetDirectory);

// The same for an archive the caller holds open (and keeps open); bytes in
// front of the archive (an installer's stub) are allowed. `freshTarget`
// says that the target directory was made empty by this run and is held so
// that it cannot be replaced: nothing in it existed before, so no entry's
// path is looked at for links.
bool ExtractOpenArchive(FileHandle archive, const char* targetDirectory, bool freshTarget);

// A message box captioned "Installer" with no owner; returns the button.
int ShowEngineMessage(const char* text, uint32_t buttons);

// Integer part of count / total x 100, the division first, in floating point
// with a 64-bit significand. A total of 0 counts as done: 100.
uint32_t EntryPercentage(uint16_t count, uint16_t total);
