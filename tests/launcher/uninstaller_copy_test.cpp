// The uninstaller copy: the stub's bytes alone, unsigned, and never written
// through or registered over whatever was planted at its name.
#include "launcher/uninstaller_copy.h"

#include <gtest/gtest.h>

#include <string>

#include "../unzip/test_support.h"

namespace {

constexpr uint32_t kPe = 0x80;            // where "PE" 0 0 stands
constexpr uint32_t kOptional = kPe + 24;  // the optional header

// The headers of a signed image: a checksum and a certificate table entry
// (the fifth data directory) that points past the stub, where a signature
// follows the archive.
Bytes SignedStub(uint16_t magic, uint32_t size) {
  Bytes stub = PatternBytes(size, 11);
  const uint32_t counted = kOptional + (magic == 0x20B ? 108 : 92);
  auto put32 = [&](uint32_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) stub[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(0x3C, kPe);
  put32(kPe, 0x00004550);
  stub[kOptional] = static_cast<uint8_t>(magic);
  stub[kOptional + 1] = static_cast<uint8_t>(magic >> 8);
  put32(kOptional + 64, 0x12345678);
  put32(counted, 16);
  put32(counted + 4 + 32, 0x00090000);
  put32(counted + 4 + 36, 0x1A00);
  return stub;
}

// The stub as the copy must hold it: checksum and certificate entry zero.
Bytes Unsigned(Bytes stub, uint16_t magic) {
  const uint32_t entry = kOptional + (magic == 0x20B ? 108 : 92) + 4 + 32;
  std::fill(stub.begin() + kOptional + 64, stub.begin() + kOptional + 68, 0);
  std::fill(stub.begin() + entry, stub.begin() + entry + 8, 0);
  return stub;
}

TEST(UninstallerCopy, SignatureEntryAndChecksumAreClearedInBothWidths) {
  for (uint16_t magic : {0x10B, 0x20B}) {
    Bytes stub = SignedStub(magic, 1024);
    ASSERT_TRUE(ForgetSignature(stub.data(), static_cast<uint32_t>(stub.size()))) << magic;
    EXPECT_EQ(stub, Unsigned(SignedStub(magic, 1024), magic)) << magic;
  }
  Bytes noEntry = SignedStub(0x10B, 1024);
  noEntry[kOptional + 92] = 4;  // four directories: no certificate table
  EXPECT_FALSE(ForgetSignature(noEntry.data(), 1024));
  Bytes cut = SignedStub(0x10B, 1024);
  EXPECT_FALSE(ForgetSignature(cut.data(), kOptional + 92 + 4 + 32 + 7));
  Bytes farOff = SignedStub(0x10B, 1024);
  farOff[0x3E] = 0xFF;  // "PE" beyond the bytes given
  EXPECT_FALSE(ForgetSignature(farOff.data(), 1024));
}

class UninstallerCopyFile : public ::testing::Test {
 protected:
  // A signed installer: the stub, an archive, a signature.
  void SetUp() override {
    Bytes installer = stub;
    const Bytes rest = PatternBytes(200000, 5);
    installer.insert(installer.end(), rest.begin(), rest.end());
    WriteWholeFile(dir / "installer.exe", installer);
    fs::create_directory(dir / "temp");
  }
  bool Write() {
    const FileHandle installer = OpenHeldForReading((dir.str() + "\\installer.exe").c_str());
    const bool written = WriteUninstallerCopy(installer, static_cast<uint32_t>(stub.size()),
                                              (dir.str() + "\\temp\\").c_str());
    CloseFile(installer);
    return written;
  }
  fs::path Copy() const { return dir / "temp" / "orvane_r.exe"; }
  size_t FilesInTemp() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir / "temp"), {}));
  }

  TempDir dir;
  const Bytes stub = SignedStub(0x10B, 70000);  // more than one chunk
};

TEST_F(UninstallerCopyFile, HoldsTheStubAloneAndReplacesAnOlderCopy) {
  WriteWholeFile(Copy(), PatternBytes(300000, 1));
  WriteWholeFile(dir / "temp" / "orvane_r-1.tmp", ToBytes("someone's"));
  ASSERT_TRUE(Write());
  EXPECT_EQ(ReadWholeFile(Copy()), Unsigned(stub, 0x10B));
  EXPECT_EQ(ReadWholeFile(dir / "temp" / "orvane_r-1.tmp"), ToBytes("someone's"));
  EXPECT_EQ(FilesInTemp(), 2u) << "no fresh name left behind";
}

// A link at the name is replaced, never written through; a folder or a file
// that cannot be deleted stays, and then the run has no copy to register.
TEST_F(UninstallerCopyFile, WhatIsPlantedAtTheNameIsNeverWrittenThrough) {
  WriteWholeFile(dir / "victim.txt", ToBytes("victim"));
  fs::create_symlink(dir / "victim.txt", Copy());
  ASSERT_TRUE(Write());
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(Copy())));
  EXPECT_EQ(ReadWholeFile(Copy()), Unsigned(stub, 0x10B));
  EXPECT_EQ(ReadWholeFile(dir / "victim.txt"), ToBytes("victim"));

  fs::remove(Copy());
  fs::create_directory(Copy());
  EXPECT_FALSE(Write());
  EXPECT_TRUE(fs::is_empty(Copy()));
  fs::remove(Copy());
  WriteWholeFile(Copy(), ToBytes("planted"));
  fs::permissions(Copy(), fs::perms::owner_write, fs::perm_options::remove);  // read-only
  EXPECT_FALSE(Write());
  EXPECT_EQ(ReadWholeFile(Copy()), ToBytes("planted"));
  EXPECT_EQ(FilesInTemp(), 1u);
}

}  // namespace
