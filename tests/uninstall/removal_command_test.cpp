// The run-once entry names and the removal and uninstall commands, and the
// guards that decide which directories may be deleted or cleaned.
#include <gtest/gtest.h>

#include <string>

#include "uninstall/directory_removal.h"
#include "uninstall/removal_command.h"

namespace {

std::string Text(const PathText& text) { return std::string(text.chars, text.length); }

TEST(RemovalCommand, EntryNameIsTheDirectoryHoldingTheLastComponent) {
  for (auto [path, name] : {std::pair<const char*, const char*>{"C:\\Foo\\Bar\\", "Bar.uni"},
                            {"C:\\Foo\\Bar", "Foo.uni"}, {"C:\\", ".uni"}, {"C:Bar\\", "Bar.uni"},
                            {"setup", ".uni"}, {"", ".uni"}}) {
    PathText out;
    RemovalEntryName(path, out);
    EXPECT_EQ(Text(out), name) << path;
    EXPECT_FALSE(out.tooLong) << path;
  }
}

TEST(RemovalCommand, CommandsQuoteBothPaths) {
  PathText out;
  BuildRemovalCommand("C:\\T\\", "C:\\T\\setup\\", out);
  EXPECT_EQ(Text(out), "\"C:\\T\\orvane_r.exe\" REMOVE \"C:\\T\\setup\\\"");
  BuildUninstallCommand("C:\\Documents and Settings\\u\\Temp\\", out);
  EXPECT_EQ(Text(out), "\"C:\\Documents and Settings\\u\\Temp\\orvane_r.exe\" VREMOVE");
  EXPECT_FALSE(out.tooLong);
}

TEST(RemovalCommand, InputsThatDoNotFitAreMarkedNeverCut) {
  // The removal command fills the text exactly, then one character more.
  const std::string fixed = "\"C:\\T\\orvane_r.exe\" REMOVE \"\"";
  std::string directory(kPathTextCapacity - 1 - fixed.size(), 'd');
  PathText out;
  BuildRemovalCommand("C:\\T\\", directory.c_str(), out);
  EXPECT_FALSE(out.tooLong);
  EXPECT_EQ(out.length, kPathTextCapacity - 1);
  BuildRemovalCommand("C:\\T\\", (directory + "d").c_str(), out);
  EXPECT_TRUE(out.tooLong);

  const std::string longTemp = "C:\\" + std::string(kPathTextCapacity, 't') + "\\";
  BuildUninstallCommand(longTemp.c_str(), out);
  EXPECT_TRUE(out.tooLong);
  // An entry name made from a cut path would name another directory.
  RemovalEntryName((longTemp + "setup\\").c_str(), out);
  EXPECT_TRUE(out.tooLong);
}

TEST(CleanupGuards, ProtectedDirectoriesAreRefusedInAnyCaseAndForm) {
  const char* windows = "C:\\WINDOWS\\";
  const char* system = "C:\\WINDOWS\\system32\\";
  for (const char* directory :
       {"", "\\", "c:\\windows", "c:\\windows\\", "C:\\WINDOWS\\SYSTEM32", "C:\\Program Files",
        "c:\\program files\\"}) {
    EXPECT_TRUE(IsCleanupRefused(directory, windows, system)) << directory;
  }
  for (const char* directory : {"C:\\Program Files\\X\\", "C:\\Program Files (x86)\\",
                                "C:\\WINDOWS\\Temp\\setup\\", "C:\\Users\\u\\Temp\\setup"}) {
    EXPECT_FALSE(IsCleanupRefused(directory, windows, system)) << directory;
  }
  EXPECT_TRUE(IsCleanupRefused(std::string(kPathTextCapacity, 'x').c_str(), windows, system));
}

TEST(CleanupGuards, OnlyDirectoriesStrictlyBelowTheBase) {
  for (const char* directory : {"C:\\WINDOWS\\Temp\\x\\", "c:\\windows\\temp\\X",
                                "C:\\WINDOWS\\TEMP\\a b\\c.d\\", "C:\\WINDOWS\\Temp\\.x\\"}) {
    EXPECT_TRUE(IsStrictlyBelow(directory, "C:\\WINDOWS\\Temp\\")) << directory;
  }
  for (const char* directory :
       {"C:\\WINDOWS\\Temp\\", "C:\\WINDOWS\\Temp", "C:\\WINDOWS\\Temp\\\\", "C:\\WINDOWS\\Temp\\..\\",
        "C:\\WINDOWS\\Temp\\x\\..\\..\\System32", "C:\\WINDOWS\\Temp\\./", "C:\\WINDOWS\\Temp\\. .\\",
        "C:\\WINDOWS\\Temp\\x/../..", "C:\\WINDOWS\\Temp\\a:b", "C:\\WINDOWS\\Tempx\\y\\",
        "C:\\WINDOWS\\Temp\\x \\sub\\", "C:\\WINDOWS\\Temp\\y..\\sub", "C:\\WINDOWS\\Temp\\y.\\",
        "C:\\WINDOWS\\Temp\\z\\w \\",
        "C:\\Users\\u\\Temp\\x\\", "D:\\WINDOWS\\Temp\\x\\", ""}) {
    EXPECT_FALSE(IsStrictlyBelow(directory, "C:\\WINDOWS\\Temp\\")) << directory;
  }
  EXPECT_FALSE(IsStrictlyBelow("C:\\WINDOWS\\Temp\\x\\", ""));
}

}  // namespace
