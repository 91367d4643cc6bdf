// The working directory's security descriptor as bytes; see
// directory_security.h.
//
// Self-relative descriptor: revision 1, a padding byte, control (16-bit),
// then the offsets of owner, group, SACL and DACL (32-bit each; 0 for none),
// the DACL right after. ACL: revision 2, padding, its size (16-bit), the
// number of entries (16-bit), padding (16-bit). Each allowed entry: type 0,
// flags, its size (16-bit), the access mask (32-bit), the SID. SID:
// revision 1, the number of sub-authorities, the 48-bit authority (big
// endian), the sub-authorities (32-bit, little endian).
#include "system/directory_security.h"

namespace {

constexpr uint32_t kAclAt = 20;
constexpr uint32_t kInheritedByFilesAndFolders = 0x03;  // OBJECT_ | CONTAINER_INHERIT_ACE

// The descriptor up to the user's entry: control DACL present (0x0004),
// protected so that the parent's entries do not flow in (0x1000),
// self-relative (0x8000); the DACL at 20; its header (size and count filled
// in later); then SYSTEM (S-1-5-18) and the Administrators (S-1-5-32-544)
// with full control, OWNER RIGHTS (S-1-3-4) with read, list and execute.
constexpr uint8_t kFixedPart[] = {
    1, 0, 0x04, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kAclAt, 0, 0, 0,
    2, 0, 0, 0, 4, 0, 0, 0,
    0, kInheritedByFilesAndFolders, 20, 0, 0xFF, 0x01, 0x1F, 0x00,
    1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,
    0, kInheritedByFilesAndFolders, 24, 0, 0xFF, 0x01, 0x1F, 0x00,
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,
    0, kInheritedByFilesAndFolders, 20, 0, 0xA9, 0x00, 0x12, 0x00,
    1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0,
};
static_assert(kFullControl == 0x001F01FF && kReadOnly == 0x001200A9, "the table's masks");

}  // namespace

bool BuildAdminOnlySecurity(const uint8_t* userSid, uint32_t sidLength, DirectorySecurity& out) {
  if (sidLength < 8 || sidLength > kLargestSidSize || userSid[0] != 1 ||
      sidLength != 8 + 4u * userSid[1]) {
    return false;
  }
  uint8_t* d = out.bytes;
  uint32_t size = 0;
  for (; size < sizeof kFixedPart; ++size) d[size] = kFixedPart[size];
  // The user's entry: read, list, execute and DELETE.
  const uint8_t entry[8] = {0, kInheritedByFilesAndFolders, static_cast<uint8_t>(8 + sidLength),
                            0, 0xA9, 0x00, 0x13, 0x00};
  static_assert(kReadAndDelete == 0x001300A9, "the entry's mask");
  for (uint32_t i = 0; i < 8; ++i) d[size++] = entry[i];
  for (uint32_t i = 0; i < sidLength; ++i) d[size++] = userSid[i];
  d[kAclAt + 2] = static_cast<uint8_t>(size - kAclAt);
  return true;
}
