// The working directory's security descriptor, read back as Windows would
// read it: who may write, who may delete, what flows down to the files.
#include "system/directory_security.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

uint32_t Get16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t Get32(const uint8_t* p) { return Get16(p) | Get16(p + 2) << 16; }

// The SID at p in its S-1-... form.
std::string SidText(const uint8_t* p) {
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = authority << 8 | p[i];
  std::string text = "S-" + std::to_string(p[0]) + "-" + std::to_string(authority);
  for (int i = 0; i < p[1]; ++i) text += "-" + std::to_string(Get32(p + 8 + 4 * i));
  return text;
}

struct Entry {
  uint32_t mask;
  uint8_t flags;
};

// The allowed entries of the descriptor's DACL by SID; only allowed
// entries (type 0) are expected.
std::map<std::string, Entry> Entries(const DirectorySecurity& security, uint32_t& control) {
  const uint8_t* d = security.bytes;
  EXPECT_EQ(d[0], 1);
  control = Get16(d + 2);
  EXPECT_EQ(Get32(d + 4), 0u);  // no owner: Windows's default, held in check by OWNER RIGHTS
  const uint8_t* acl = d + Get32(d + 16);
  EXPECT_EQ(acl[0], 2);
  std::map<std::string, Entry> entries;
  const uint8_t* at = acl + 8;
  for (uint32_t i = 0; i < Get16(acl + 4); ++i) {
    EXPECT_EQ(at[0], 0) << "allowed entries only";
    entries[SidText(at + 8)] = {Get32(at + 4), at[1]};
    at += Get16(at + 2);
  }
  EXPECT_EQ(at - acl, static_cast<ptrdiff_t>(Get16(acl + 2)));
  EXPECT_LE(at - d, static_cast<ptrdiff_t>(kDirectorySecuritySize));
  return entries;
}

// Every right that lets a token put or change something: data, files,
// folders, attributes, the list itself, the owner, GENERIC_WRITE/ALL.
constexpr uint32_t kAnyWrite = 0x2 | 0x4 | 0x100 | 0x10 | 0x40000 | 0x80000 | 0x40000000 |
                               0x10000000;

TEST(DirectorySecurity, OnlySystemAndAdministratorsMayWriteTheUserMayDelete) {
  // S-1-5-21-1-2-3-1001, as the token gives it.
  const std::vector<uint8_t> user = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0,
                                     2, 0, 0, 0, 3, 0, 0, 0, 0xE9, 3, 0, 0};
  DirectorySecurity security;
  ASSERT_TRUE(BuildAdminOnlySecurity(user.data(), static_cast<uint32_t>(user.size()), security));
  uint32_t control = 0;
  const auto entries = Entries(security, control);
  EXPECT_EQ(control & 0x1000, 0x1000u) << "protected: Temp's own entries must not flow in";
  EXPECT_EQ(control & 0x8004, 0x8004u) << "self-relative, with a DACL";
  ASSERT_EQ(entries.size(), 4u);
  for (const auto& [sid, entry] : entries) {
    EXPECT_EQ(entry.flags, 3) << sid << ": inherited by files and folders";
    const bool mayWrite = sid == "S-1-5-18" || sid == "S-1-5-32-544";
    EXPECT_EQ((entry.mask & kAnyWrite) != 0, mayWrite) << sid;
  }
  EXPECT_EQ(entries.at("S-1-5-32-544").mask, 0x1F01FFu);
  EXPECT_EQ(entries.at("S-1-5-21-1-2-3-1001").mask & 0x10000, 0x10000u) << "DELETE, for REMOVE";
  EXPECT_EQ(entries.at("S-1-3-4").mask & 0x40000, 0u) << "the owner may not rewrite the list";

  DirectorySecurity unused;
  for (uint32_t length : {7u, 27u, 29u}) {
    EXPECT_FALSE(BuildAdminOnlySecurity(user.data(), length, unused)) << length;
  }
}

}  // namespace
