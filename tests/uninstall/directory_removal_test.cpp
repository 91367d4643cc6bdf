// The deletions on real temporary trees: what goes, what a read-only file
// keeps, that links are removed but never entered, and that the REMOVE mode
// and the clean-up stay inside their guards.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/host_controls.h"
#include "support/test_files.h"
#include "uninstall/directory_removal.h"

namespace {

class DirectoryRemoval : public ::testing::Test {
 protected:
  void TearDown() override { SetHostSystemDirectories("C:\\WINDOWS", "C:\\WINDOWS\\system32"); }

  // A Windows-style path below the temporary directory: "a\b" for a/b.
  std::string Win(const std::string& relative) const { return dir.str() + "\\" + relative; }

  void Put(const std::string& relative) {
    fs::create_directories((dir / relative).parent_path());
    WriteWholeFile(dir / relative, ToBytes(relative));
  }
  bool Has(const std::string& relative) const {
    return fs::exists(fs::symlink_status(dir / relative));
  }

  // A directory outside every tree under test, with files, and a link to it.
  void LinkToOutside(const std::string& link) {
    Put("outside/f.txt");
    Put("outside/sub/g.txt");
    fs::create_directories((dir / link).parent_path());
    fs::create_directory_symlink(dir / "outside", dir / link);
  }
  bool OutsideIntact() const { return Has("outside/f.txt") && Has("outside/sub/g.txt"); }

  TempDir dir;
};

TEST_F(DirectoryRemoval, TreeGoesExceptWhatAReadOnlyFileHolds) {
  for (const char* name : {"tree\\", "tree"}) {
    Put("tree/a.txt");
    Put("tree/.dot");
    Put("tree/hidden.txt");
    Put("tree/sub/deep/c.txt");
    Put("tree/keep/locked/ro.txt");
    Put("tree/keep/other.txt");
    fs::create_directories(dir / "tree/empty");
    ASSERT_TRUE(SetPathAttributes(Win("tree\\hidden.txt").c_str(), kAttrHidden | kAttrSystem));
    ASSERT_TRUE(SetPathAttributes(Win("tree\\keep\\locked\\ro.txt").c_str(), kAttrReadOnly));
    DeleteDirectoryTree(Win(name).c_str());
    EXPECT_TRUE(Has("tree/keep/locked/ro.txt")) << name;
    for (const char* gone : {"tree/a.txt", "tree/.dot", "tree/hidden.txt", "tree/sub",
                             "tree/keep/other.txt", "tree/empty"}) {
      EXPECT_FALSE(Has(gone)) << gone << " after " << name;
    }
    // No attribute was changed on the way.
    EXPECT_EQ(GetPathAttributes(Win("tree\\keep\\locked\\ro.txt").c_str()), kAttrReadOnly);
    SetPathAttributes(Win("tree\\keep\\locked\\ro.txt").c_str(), kAttrNormal);
    DeleteDirectoryTree(Win(name).c_str());
    EXPECT_FALSE(Has("tree")) << name;
  }
}

TEST_F(DirectoryRemoval, LinksAreRemovedNeverEntered) {
  LinkToOutside("tree/sub/link");
  Put("tree/sub/f.txt");
  DeleteDirectoryTree(Win("tree\\").c_str());
  EXPECT_FALSE(Has("tree"));
  EXPECT_TRUE(OutsideIntact());

  // The top directory itself a link, named as the REMOVE mode names it (with
  // a backslash) and without.
  for (const char* top : {"top\\", "top"}) {
    LinkToOutside("top");
    DeleteDirectoryTree(Win(top).c_str());
    EXPECT_FALSE(Has("top")) << top;
    EXPECT_TRUE(OutsideIntact()) << top;
  }
}

TEST_F(DirectoryRemoval, MissingDirectoryOrAFileIsLeftAlone) {
  Put("file");
  DeleteDirectoryTree(Win("missing\\").c_str());
  DeleteDirectoryTree(Win("file").c_str());
  EXPECT_TRUE(Has("file"));
}

TEST_F(DirectoryRemoval, RemoveModeDeletesOnlyBelowWindowsTemp) {
  SetHostSystemDirectories(Win("Windows").c_str(), Win("Windows\\system32").c_str());
  Put("Windows/Temp/setup/f.txt");
  Put("Windows/Temp/setup/sub/g.txt");
  Put("Windows/Temp/other.txt");
  Put("Windows/system32/kernel32.dll");
  Put("elsewhere/f.txt");
  for (const char* refused : {"Windows\\Temp\\", "Windows\\Temp", "Windows\\Temp\\..\\",
                              "Windows\\Temp\\setup\\..\\..\\system32\\", "elsewhere\\"}) {
    RemoveScheduledDirectory(Win(refused).c_str(), "");
  }
  EXPECT_TRUE(Has("Windows/Temp/setup/sub/g.txt"));
  EXPECT_TRUE(Has("Windows/Temp/other.txt"));
  EXPECT_TRUE(Has("Windows/system32/kernel32.dll"));
  EXPECT_TRUE(Has("elsewhere/f.txt"));
  RemoveScheduledDirectory(Win("Windows\\Temp\\setup\\").c_str(), "");
  EXPECT_FALSE(Has("Windows/Temp/setup"));
  EXPECT_TRUE(Has("Windows/Temp/other.txt"));
}

// Below the user's temporary directory too, by the same rules; never below
// a user "temporary directory" that is a root or a protected directory.
TEST_F(DirectoryRemoval, RemoveModeDeletesBelowTheUserTemp) {
  SetHostSystemDirectories(Win("Windows").c_str(), Win("Windows\\system32").c_str());
  const std::string userTemp = Win("Users\\u\\Temp\\");
  Put("Users/u/Temp/setup/sub/f.txt");
  Put("Users/u/Temp/other.txt");
  Put("Windows/app/f.txt");
  for (const char* refused : {"Users\\u\\Temp\\", "Users\\u\\Temp\\..\\", "Users\\u\\"}) {
    RemoveScheduledDirectory(Win(refused).c_str(), userTemp.c_str());
  }
  RemoveScheduledDirectory(Win("Windows\\app\\").c_str(), "\\");
  RemoveScheduledDirectory(Win("Windows\\app\\").c_str(), Win("Windows\\").c_str());
  EXPECT_TRUE(Has("Users/u/Temp/setup/sub/f.txt"));
  EXPECT_TRUE(Has("Users/u/Temp/other.txt"));
  EXPECT_TRUE(Has("Windows/app/f.txt"));
  RemoveScheduledDirectory(Win("Users\\u\\Temp\\setup\\").c_str(), userTemp.c_str());
  EXPECT_FALSE(Has("Users/u/Temp/setup"));
  EXPECT_TRUE(Has("Users/u/Temp/other.txt"));
}

// A link on the way below Temp\ (ilink -> outside): the text passes the
// guard, the path the file system takes leads elsewhere. The tree itself a
// link is refused as well.
TEST_F(DirectoryRemoval, RemoveModeRefusesLinksBelowTemp) {
  SetHostSystemDirectories(Win("Windows").c_str(), Win("Windows\\system32").c_str());
  Put("Windows/Temp/plain.txt");
  LinkToOutside("Windows/Temp/ilink");
  for (const char* refused : {"Windows\\Temp\\ilink\\sub\\", "Windows\\TEMP\\ilink\\sub",
                              "Windows\\Temp\\ilink\\"}) {
    RemoveScheduledDirectory(Win(refused).c_str(), "");
    EXPECT_TRUE(OutsideIntact()) << refused;
  }
  EXPECT_TRUE(Has("Windows/Temp/ilink"));
}

// "表" is 95 5C in code page 932: its second byte is no trailing backslash.
TEST_F(DirectoryRemoval, TwoByteCharacterBeforeTheLastBackslash) {
  SetHostSystemDirectories(Win("Windows").c_str(), Win("Windows\\system32").c_str());
  SetHostCodePage932(true);
  const std::string table = "\x95\x5C";
  Put("Windows/Temp/" + table + "/sub/f.txt");
  Put("work" + table + "/f.txt");
  RemoveScheduledDirectory(Win("Windows\\Temp\\" + table + "\\").c_str(), "");
  CleanDirectoryFiles(Win("work" + table + "\\").c_str());
  SetHostCodePage932(false);
  EXPECT_FALSE(Has("Windows/Temp/" + table));
  EXPECT_FALSE(Has("work" + table + "/f.txt"));
}

TEST_F(DirectoryRemoval, CleanupDeletesOnlyPlainFilesDirectlyInTheDirectory) {
  for (const char* name : {"work\\", "work"}) {
    Put("work/a.txt");
    Put("work/hidden.txt");
    Put("work/system.txt");
    Put("work/sub/inner.txt");
    ASSERT_TRUE(SetPathAttributes(Win("work\\hidden.txt").c_str(), kAttrHidden));
    ASSERT_TRUE(SetPathAttributes(Win("work\\system.txt").c_str(), kAttrSystem));
    CleanDirectoryFiles(Win(name).c_str());
    EXPECT_FALSE(Has("work/a.txt")) << name;
    EXPECT_FALSE(Has("work/hidden.txt")) << name;
    EXPECT_FALSE(Has("work/system.txt")) << name;
    EXPECT_TRUE(Has("work/sub/inner.txt")) << name;
  }
}

TEST_F(DirectoryRemoval, CleanupLeavesGuardedDirectoriesAndLinks) {
  SetHostSystemDirectories(Win("Windows").c_str(), Win("Windows\\system32").c_str());
  Put("Windows/win.ini");
  Put("Windows/system32/kernel32.dll");
  for (const char* refused : {"Windows", "Windows\\", "Windows\\system32", "Windows\\system32\\"}) {
    CleanDirectoryFiles(Win(refused).c_str());
  }
  EXPECT_TRUE(Has("Windows/win.ini"));
  EXPECT_TRUE(Has("Windows/system32/kernel32.dll"));

  // Paths that name another directory than their text: through "..", or
  // (as Windows reads it) with a trailing dot.
  Put("other/f.txt");
  Put("TEMP/g.txt");
  for (const char* refused : {"TEMP\\..\\other\\", "TEMP\\.\\", "TEMP\\.. \\other"}) {
    CleanDirectoryFiles(Win(refused).c_str());
  }
  EXPECT_TRUE(Has("other/f.txt"));
  EXPECT_TRUE(Has("TEMP/g.txt"));

  LinkToOutside("work");
  CleanDirectoryFiles(Win("work\\").c_str());
  CleanDirectoryFiles(Win("work").c_str());
  EXPECT_TRUE(OutsideIntact());
}

}  // namespace
