// The one door between the extraction engine and the operating system.
//
// Everything the engine needs from the platform (files, directories,
// attributes, file times, message boxes, the status text, the message pump,
// the abort key, the tick count and the processor's abilities) goes
// through these functions. There are
// two implementations: win32/ maps each call onto the Win32 ANSI entry point
// of the same purpose; posix/ serves the Linux host build, where backslash
// paths are mapped to '/', message boxes are recorded, and the abort key, the
// tick count and the pump can be driven by tests (see host_controls.h).
//
// Paths are 8-bit Windows paths with backslashes on both sides of the door.
#pragma once

#include <cstdint>

// A file handle; kNoFile means "not open". On Win32 this is the HANDLE value,
// whose invalid value is -1 as well.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// A window handle, opaque to the engine; 0 means none.
using WindowHandle = uintptr_t;

// Win32 attribute bits the engine names.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;  // a junction or symbolic link
constexpr uint32_t kNoAttributes = 0xFFFFFFFF;  // lookup failed

// Message box flags and answers (Win32 values).
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// A local calendar time, as a DOS stamp decodes to.
struct CalendarTime {
  uint16_t year, month, day, hour, minute, second;
};

// Files. Every call reports failure instead of raising.
FileHandle OpenForReading(const char* path);  // existing file, read-only, others may read and write
// An existing file, read-only, held: while it is open nobody else may write,
// rename or delete it, so that what is read once is what is read again.
FileHandle OpenHeldForReading(const char* path);
// Creates a file for writing where nothing is yet: fails when a file, a
// directory or a link of any kind is at its name (nothing is written
// through a link planted there).
FileHandle CreateNewFile(const char* path);
// Creates or truncates a file for reading and writing. On failure,
// *pathMissing tells whether the system said "path not found".
FileHandle CreateOutputFile(const char* path, bool* pathMissing);
int32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count);  // bytes read, or -1 on error
// Bytes written, or -1, or kWriteDiskFull when the system found no room.
int32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count);
constexpr int32_t kWriteDiskFull = -2;
bool SeekFile(FileHandle file, uint32_t offset);  // from the start
bool GetFileSize32(FileHandle file, uint32_t* size);
void CloseFile(FileHandle file);
// Sets the last-write time from a local calendar time; an invalid calendar
// time (month 0, say) leaves the file's time as it is.
void SetLastWriteTime(FileHandle file, const CalendarTime& local);

// Paths.
uint32_t GetPathAttributes(const char* path);  // kNoAttributes when it cannot be read
bool SetPathAttributes(const char* path, uint32_t attributes);
bool DeletePath(const char* path);               // a file
bool FileExists(const char* path);               // a directory search finds it (any attributes)
bool ChangeDirectory(const char* path);
bool MakeDirectory(const char* path);
// Makes a directory where nothing is yet (no directory, file or link) and
// holds it: until the hold is closed (CloseFile), nobody may rename or
// delete it, so its path keeps naming what this call made. `security` is a
// self-relative security descriptor for it, or null for the default. The
// hold is kNoFile where a system cannot hold a directory (the Windows 95
// line, which has neither links nor security): the directory is made all
// the same. False when nothing was made, or when the name leads through a
// link once the directory is held (swapped in a moment that Wine, unlike
// Windows, leaves between making and holding).
bool MakeHeldDirectory(const char* path, const void* security, FileHandle* hold);
// Renames the file `from` to `to`, replacing a file there, or a link itself
// (never what it points to); fails for a folder there, or a file that is
// read-only or in use.
bool ReplacePath(const char* from, const char* to);
// Removes an empty directory, or a directory link itself (never what it
// points to).
bool RemoveDirectoryPath(const char* path);
// True when a component of `path` that ends after its first `from`
// characters exists and is a link (kAttrReparsePoint), the last component
// included; also when such a component other than the last ends in a blank
// or a dot (Windows names it otherwise than a lookup would see it), and
// when the path is too long to be checked (over 1023 characters). Writes
// below a chosen directory pass `from` = its length, so the directory
// itself may be a link, nothing below it.
bool LinkOnPath(const char* path, uint32_t from);
// The absolute form of a path given relative to the current directory; false
// when it does not fit in size characters and a terminator. For tools: the
// engine changes the current directory as it goes.
bool AbsolutePath(const char* path, char* out, uint32_t size);

// Directory listings, for the launcher's clean-ups. A listing of
// "DIR\*.*" visits every entry of DIR: hidden and system ones, "." and ".."
// included. The attributes are the entry's own: a link to a directory
// reports kAttrReparsePoint with kAttrDirectory.
struct DirectoryListing {
  intptr_t search;
  char name[260];
  uint32_t attributes;
};
// False when nothing could be listed; the listing is then closed already.
bool FirstListedEntry(const char* pattern, DirectoryListing* listing);
// False at the end of the listing.
bool NextListedEntry(DirectoryListing* listing);
void CloseListing(DirectoryListing* listing);

// The Windows and System directories as the system reports them (normally
// without a trailing backslash), cut at size - 1 characters; empty when the
// query fails or the directory does not fit.
void ReadWindowsDirectory(char* out, uint32_t size);
void ReadSystemDirectory(char* out, uint32_t size);

// True for the first byte of a two-byte character of the ANSI code page.
bool IsLeadByte(uint8_t byte);

// Entry names. An archive gives a name in UTF-8 or in the OEM code page; the
// engine carries paths in the form the file functions take. Both calls go
// through UTF-16 and are false when a character has no exact counterpart or
// the result does not fit (count units, or size bytes with the terminator).
// The OEM code page is the system's on Win32 and 437, the format's own, on
// the host.
bool OemToWide(const uint8_t* text, uint32_t length, uint16_t* out, uint32_t capacity,
               uint32_t* count);
// Into the ANSI code page on Win32 without best-fit look-alikes (a fullwidth
// solidus never becomes '/'), into UTF-8 on the host.
bool WideToPathText(const uint16_t* text, uint32_t count, char* out, uint32_t size);

// The user's side.
int ShowMessageBox(const char* text, const char* caption, uint32_t flags);
// Called with every box's caption and text just before it is shown; the
// extract tool echoes boxes through it. Null (the default) watches nothing.
using MessageBoxObserver = void (*)(const char* caption, const char* text);
void SetMessageBoxObserver(MessageBoxObserver observer);
void SetStatusText(WindowHandle control, const char* text);  // sets and repaints; 0 does nothing
void DispatchPendingMessages();                               // drains the message queue
bool IsKeyDown(uint16_t virtualKey);                          // held down at this moment
uint32_t TickCount();                                         // milliseconds since start-up

// The processor. True when PCLMULQDQ and SSE2 can be used: the processor
// has them and the system saves their registers. Code built for them sits in
// functions whose names end in Pclmul and runs only after this said yes.
bool CarrylessMultiplyUsable();

// Memory for per-entry buffers and tables; null when exhausted.
void* AllocateMemory(uint32_t size);
void FreeMemory(void* block);
