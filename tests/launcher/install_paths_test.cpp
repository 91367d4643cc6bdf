// The working directory's name and making, and directory paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "launcher/install_paths.h"
#include "launcher/directory_path.h"
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
                            {"", kFallbackBaseName}, {"inst .exe", "inst"},
                            {"inst...exe", "inst"}, {"a. b .exe", "a. b"}}) {
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

// Windows drops trailing dots and blanks from a path's last component (and
// keeps them further in), and reads "." and ".." as the directory and its
// parent: the working directory must be one component below the temporary
// directory that ends in neither, or the directory made and the one worked
// in would differ.
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
      ASSERT_NE(component.back(), '.') << '"' << name << '"';
      ASSERT_NE(component.back(), ' ') << '"' << name << '"';
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
  FileHandle hold = kNoFile;
  ASSERT_TRUE(
      MakeWorkingDirectory(temp.c_str(), "C:\\dir\\setup.exe", nullptr, out, &number, &hold));
  EXPECT_NE(hold, kNoFile);
  CloseFile(hold);
  EXPECT_EQ(Text(out), temp + "setup-5\\");
  EXPECT_EQ(number, 5u);
  EXPECT_TRUE(fs::is_empty(dir / "setup-5"));
  EXPECT_EQ(ReadWholeFile(dir / "setup" / "version.dll"), ToBytes("planted"));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "setup-4")));

  ASSERT_TRUE(
      MakeWorkingDirectory(temp.c_str(), "C:\\dir\\other.exe", nullptr, out, &number, &hold));
  CloseFile(hold);
  EXPECT_EQ(Text(out), temp + "other\\");
  EXPECT_EQ(number, 1u);
  PathText entry;
  SetText(entry, "setup");
  AppendNumberSuffix(entry, 5);
  EXPECT_EQ(Text(entry), "setup-5");

  // A place that is free and still cannot be made: no directory above it.
  EXPECT_FALSE(MakeWorkingDirectory((temp + "missing\\").c_str(), "setup.exe", nullptr, out,
                                    &number, &hold));
  EXPECT_FALSE(out.tooLong);
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
