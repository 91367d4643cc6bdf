// The security a working directory gets when the stub runs elevated: only
// SYSTEM and the Administrators may write in it, so that no unelevated
// program, the user's own included, can put a DLL beside the setup program
// that an elevated start will run. The user keeps the right to read and to
// delete (the run-once removal runs with the user's rights at the next
// logon), and the owner's implicit right to change the list is taken away
// (OWNER RIGHTS), whoever Windows makes the owner.
//
// Built as bytes (a self-relative security descriptor) rather than through
// the security API, which the Windows 95 line lacks: the layout is plain
// data, and so can be checked on any system.
#pragma once

#include <cstdint>

// A SID is at most 8 bytes and 15 sub-authorities of 4 bytes.
constexpr uint32_t kLargestSidSize = 68;
// The descriptor's header (20), the list's header (8) and four entries of
// 8 bytes each around SYSTEM (12), the Administrators (16), OWNER RIGHTS (12)
// and the user's SID.
constexpr uint32_t kDirectorySecuritySize = 20 + 8 + 4 * 8 + 12 + 16 + 12 + kLargestSidSize;

struct DirectorySecurity {
  uint8_t bytes[kDirectorySecuritySize];
};

// Access masks of the entries.
constexpr uint32_t kFullControl = 0x001F01FF;      // FILE_ALL_ACCESS
constexpr uint32_t kReadAndDelete = 0x001300A9;    // read, list, execute, DELETE
constexpr uint32_t kReadOnly = 0x001200A9;         // read, list, execute

// Writes the descriptor for the user `userSid` (`sidLength` bytes, as the
// process token gives it) into `out`. False when the SID is malformed.
bool BuildAdminOnlySecurity(const uint8_t* userSid, uint32_t sidLength, DirectorySecurity& out);
