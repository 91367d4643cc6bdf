// The working directory's name, and carving the archive out of the
// installer copy into a fresh directory path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "launcher/install_paths.h"
#include "launcher/payload_carving.h"
#include "../unzip/test_support.h"
#include "support/test_files.h"

namespace {

std::string Text(const PathText& text) { return std::string(text.chars, text.length); }

TEST(InstallPaths, BaseNameDropsFourCharactersAndFallsBackForDotsAndBlanks) {
  for (auto [file, base] : {std::pair<const char*, const char*>{"mysetup.exe", "mysetup"},
                            {"MYSETUP.EXE", "MYSETUP"}, {"a.b.exe", "a.b"}, {"abcde", "a"},
                            {"abcd", "abcd"}, {"abc", "abc"}, {"x.exe", "x"}, {".exe", ".exe"},
                            {"..exe", kFallbackBaseName}, {"...exe", kFallbackBaseName},
                            {". .exe", kFallbackBaseName}, {"....", kFallbackBaseName},
                            {"", kFallbackBaseName}}) {
    PathText out;
    StubBaseName(file, out);
    EXPECT_EQ(Text(out), base) << file;
  }
  PathText out;
  WorkingDirectoryFor("C:\\T\\", "C:\\dir\\mysetup.exe", 1, out);
  EXPECT_EQ(Text(out), "C:\\T\\mysetup\\");
  WorkingDirectoryFor("C:\\T\\", "C:mysetup.exe", 12, out);
  EXPECT_EQ(Text(out), "C:\\T\\mysetup-12\\");
  WorkingDirectoryFor("C:\\T\\", ("C:\\" + std::string(kPathTextCapacity, 'n')).c_str(), 1, out);
  EXPECT_TRUE(out.tooLong);
  EXPECT_NE(Text(out), "C:\\T\\");
}

// Windows drops trailing dots and blanks from a path's components, and reads
// "." and ".." as the directory and its parent: a component of nothing else
// would put the working directory on the temporary directory or above it.
TEST(InstallPaths, WorkingDirectoryIsAlwaysOneRealLevelBelowTemp) {
  const std::string temp = "C:\\T\\";
  const char alphabet[] = {'.', ' ', 'a', 'e'};
  for (int length = 0; length <= 7; ++length) {
    int combinations = 1;
    for (int i = 0; i < length; ++i) combinations *= 4;
    for (int n = 0; n < combinations; ++n) {
      std::string name;
      for (int i = 0, k = n; i < length; ++i, k /= 4) name += alphabet[k % 4];
      PathText out;
      WorkingDirectoryFor(temp.c_str(), ("C:\\dir\\" + name).c_str(), 1, out);
      std::string dir = Text(out);
      ASSERT_EQ(dir.compare(0, temp.size(), temp), 0) << '"' << name << '"';
      std::string component = dir.substr(temp.size());
      ASSERT_TRUE(component.size() >= 2 && component.back() == '\\') << '"' << name << '"';
      component.pop_back();
      ASSERT_EQ(component.find('\\'), std::string::npos) << '"' << name << '"';
      ASSERT_NE(component.find_first_not_of(". "), std::string::npos) << '"' << name << '"';
    }
  }
}

// Whatever is at a working directory's place before the run (a directory,
// a file, a link, a broken link) is passed over for the next number, and
// left as it was.
TEST(InstallPaths, WorkingDirectoryIsAlwaysMadeAfresh) {
  TempDir dir;
  const std::string temp = dir.str() + "\\";
  fs::create_directories(dir / "setup" / "sub");
  WriteWholeFile(dir / "setup" / "version.dll", ToBytes("planted"));
  WriteWholeFile(dir / "setup-2", ToBytes("a file"));
  fs::create_directory_symlink(dir / "setup", dir / "setup-3");
  fs::create_symlink(dir / "missing", dir / "setup-4");
  PathText out;
  uint32_t number = 0;
  ASSERT_TRUE(MakeWorkingDirectory(temp.c_str(), "C:\\dir\\setup.exe", out, &number));
  EXPECT_EQ(Text(out), temp + "setup-5\\");
  EXPECT_EQ(number, 5u);
  EXPECT_TRUE(fs::is_empty(dir / "setup-5"));
  EXPECT_EQ(ReadWholeFile(dir / "setup" / "version.dll"), ToBytes("planted"));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "setup-4")));

  ASSERT_TRUE(MakeWorkingDirectory(temp.c_str(), "C:\\dir\\other.exe", out, &number));
  EXPECT_EQ(Text(out), temp + "other\\");
  EXPECT_EQ(number, 1u);
  PathText entry;
  SetText(entry, "setup");
  AppendNumberSuffix(entry, 5);
  EXPECT_EQ(Text(entry), "setup-5");

  // A place that is free and still cannot be made: no directory above it.
  EXPECT_FALSE(MakeWorkingDirectory((temp + "missing\\").c_str(), "setup.exe", out, &number));
  EXPECT_FALSE(out.tooLong);
}

class Carving : public ::testing::Test {
 protected:
  // Windows forms for the code, host forms for the checks.
  std::string Directory() const { return dir.str() + "\\"; }
  std::string Source() const { return dir.str() + "\\copy.exe"; }
  fs::path SourceFile() const { return dir / "copy.exe"; }
  fs::path Output() const { return dir / kTemporaryArchiveName; }
  CarveResult Carve(int32_t value) {
    return CarvePayload(Directory().c_str(), Source().c_str(), value, digest);
  }
  TempDir dir;
  CarvedDigest digest = {};
};

TEST_F(Carving, CopiesEverythingAfterTheStubByteForByte) {
  const Bytes stub = PatternBytes(3000, 7);
  for (size_t archiveSize : {1u, 9999u, 10000u, 10001u, 25000u}) {
    Bytes archive = PatternBytes(archiveSize, static_cast<uint32_t>(archiveSize));
    Bytes whole = stub;
    whole.insert(whole.end(), archive.begin(), archive.end());
    WriteWholeFile(SourceFile(), whole);
    ASSERT_EQ(Carve(static_cast<int32_t>(stub.size()) + 1), CarveResult::Done);
    EXPECT_EQ(ReadWholeFile(Output()), archive) << archiveSize;
    EXPECT_EQ(digest.Length, archiveSize);
    EXPECT_EQ(~digest.Crc, ReferenceCrc(archive)) << archiveSize;
    // 1 or less copies the whole source.
    for (int32_t value : {1, 0, -5}) {
      ASSERT_EQ(Carve(value), CarveResult::Done);
      EXPECT_EQ(ReadWholeFile(Output()), whole) << value;
    }
  }
}

TEST_F(Carving, ValuesAtOrPastTheEndReplaceTheArchiveWithAnEmptyOne) {
  WriteWholeFile(SourceFile(), PatternBytes(500));
  for (int32_t value : {501, 502, 100000}) {
    WriteWholeFile(Output(), PatternBytes(20000));  // an older, longer archive
    ASSERT_EQ(Carve(value), CarveResult::Done);
    EXPECT_TRUE(ReadWholeFile(Output()).empty()) << value;
  }
}

TEST_F(Carving, FailuresAreReportedAndCreateNothing) {
  EXPECT_EQ(Carve(1), CarveResult::SourceNotOpened);
  EXPECT_FALSE(fs::exists(Output()));
  WriteWholeFile(SourceFile(), PatternBytes(100));
  fs::create_directory(Output());
  EXPECT_EQ(Carve(1), CarveResult::OutputNotCreated);
  EXPECT_EQ(CarvePayload((dir.str() + "\\missing\\").c_str(), Source().c_str(), 1, digest),
            CarveResult::OutputNotCreated);
}

TEST(DirectoryPath, MakesEveryMissingLevelAndLeavesTheRest) {
  TempDir dir;
  WriteWholeFile(dir / "kept.txt", ToBytes("x"));
  CreateDirectoryPath((dir.str() + "\\a\\b\\c\\").c_str());
  CreateDirectoryPath((dir.str() + "\\a\\x\\y").c_str());
  CreateDirectoryPath((dir.str() + "\\").c_str());
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(dir / "a/x/y"));
  EXPECT_TRUE(fs::exists(dir / "kept.txt"));
  // "" and a drive are taken as existing: nothing appears in the current
  // directory (on the host, "C:" would be a relative name).
  ASSERT_EQ(chdir(dir.str().c_str()), 0);
  for (const char* path : {"", "C:", "C:\\", "ab"}) CreateDirectoryPath(path);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2) << "a and kept.txt only";
}

}  // namespace
