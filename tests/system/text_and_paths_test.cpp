// Bounded texts, the path and ASCII helpers, the Windows and System
// directories as read through the platform, and program command lines.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/host_controls.h"
#include "support/test_files.h"
#include "system/ascii_text.h"
#include "system/path_operations.h"
#include "system/program_start.h"
#include "system/system_directories.h"

namespace {

template <uint32_t Capacity>
std::string Text(const BoundedText<Capacity>& text) {
  return std::string(text.chars, text.length);
}

TEST(PathText, FillsToCapacityThenMarksTooLongUntilSetAgain) {
  PathText text;
  SetText(text, std::string(kPathTextCapacity - 2, 'a').c_str());
  AppendChar(text, 'b');
  EXPECT_FALSE(text.tooLong);
  EXPECT_EQ(text.length, kPathTextCapacity - 1);
  AppendChar(text, 'c');
  EXPECT_TRUE(text.tooLong);
  EXPECT_EQ(text.length, kPathTextCapacity - 1);  // nothing of a refused append lands
  AppendText(text, "");
  EXPECT_TRUE(text.tooLong);  // sticky: a later append that fits does not clear it
  SetText(text, "x");
  EXPECT_FALSE(text.tooLong);
  AppendText(text, std::string(kPathTextCapacity, 'y').c_str());
  EXPECT_TRUE(text.tooLong);
  EXPECT_EQ(Text(text), "x");  // refused whole, never cut
  CutText(text, 5);             // longer than the text: keeps it, clears the mark
  EXPECT_FALSE(text.tooLong);
  EXPECT_EQ(Text(text), "x");
}

TEST(PathOperations, TrailingBackslashAndFileNameStart) {
  for (auto [in, out] : {std::pair<const char*, const char*>{"", ""}, {"C:", "C:\\"},
                         {"C:\\", "C:\\"}, {"C:\\a", "C:\\a\\"}}) {
    PathText path;
    SetText(path, in);
    AddTrailingBackslash(path);
    EXPECT_EQ(Text(path), out) << in;
  }
  EXPECT_EQ(FileNameStart("C:\\dir\\f.exe"), 7u);
  EXPECT_EQ(FileNameStart("C:f.exe"), 2u);
  EXPECT_EQ(FileNameStart("f.exe"), 0u);
  EXPECT_EQ(FileNameStart("C:\\dir\\"), 7u);
  EXPECT_EQ(AfterLastDelimiter("a.b\\c.d", "."), 6u);

  // Code page 932: "ソ" is 83 5C, "表" 95 5C.
  SetHostCodePage932(true);
  PathText path;
  SetText(path, "C:\\\x83\x5C");
  AddTrailingBackslash(path);
  EXPECT_EQ(Text(path), "C:\\\x83\x5C\\");
  EXPECT_EQ(FileNameStart("C:\\\x95\x5C\\\x83\x5C.exe"), 6u);
  SetHostCodePage932(false);
}

TEST(PathOperations, StripExtension) {
  for (auto [in, out] :
       {std::pair<const char*, const char*>{"setup.exe", "setup"}, {"a.b.exe", "a.b"},
        {"name", "name"}, {"dir.d\\file", "dir.d\\file"}, {"C:x.y", "C:x"}, {"d.x:file", "d.x:file"},
        {".profile", ""}, {"trail.", "trail"}}) {
    PathText name;
    StripExtension(in, name);
    EXPECT_EQ(Text(name), out) << in;
  }
}

TEST(PathOperations, IsDirectory) {
  TempDir dir;
  WriteWholeFile(dir / "file", ToBytes("x"));
  EXPECT_TRUE(IsDirectory(dir.str().c_str()));
  EXPECT_TRUE(IsDirectory((dir.str() + "\\").c_str()));
  EXPECT_FALSE(IsDirectory((dir.str() + "\\file").c_str()));
  EXPECT_FALSE(IsDirectory((dir.str() + "\\missing").c_str()));
}

TEST(AsciiText, ComparisonsIgnoreCaseButNotLength) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("C:\\Program Files\\", "c:\\PROGRAM FILES\\"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("C:\\WINDOWS", "C:\\WINDOWS\\"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("C:\\WINDOWS\\", "C:\\WINDOWS"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("c:\\windows\\temp\\x", "C:\\WINDOWS\\TEMP\\"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("C:\\WINDOWS\\TEMP", "C:\\WINDOWS\\TEMP\\"));
  EXPECT_TRUE(ContainsIgnoringAsciiCase("C:\\Users\\u\\Temp\\x\\", "\\TEMP\\"));
  EXPECT_FALSE(ContainsIgnoringAsciiCase("C:\\Users\\u\\Temp", "\\TEMP\\"));
  EXPECT_FALSE(ContainsIgnoringAsciiCase("", "x"));
  EXPECT_TRUE(ContainsIgnoringAsciiCase("", ""));
}

class SystemDirectories : public ::testing::Test {
 protected:
  void TearDown() override { SetHostSystemDirectories("C:\\WINDOWS", "C:\\WINDOWS\\system32"); }
};

TEST_F(SystemDirectories, OneBackslashAddedAndOverlongDirectoriesReadEmpty) {
  PathText windows, system;
  SetHostSystemDirectories("C:\\WINNT", "C:\\WINNT\\system32\\");
  WindowsDirectory(windows);
  EXPECT_EQ(Text(windows), "C:\\WINNT");
  WindowsDirectoryWithBackslash(windows);
  SystemDirectoryWithBackslash(system);
  EXPECT_EQ(Text(windows), "C:\\WINNT\\");
  EXPECT_EQ(Text(system), "C:\\WINNT\\system32\\");
  // 255 characters still fit the query's buffer; 256 do not and read empty,
  // also with the backslash: no guard may become "\" (the drive's root).
  std::string fits = "C:\\" + std::string(252, 'w');
  std::string tooLong = fits + "w";
  SetHostSystemDirectories(fits.c_str(), tooLong.c_str());
  WindowsDirectory(windows);
  SystemDirectoryWithBackslash(system);
  EXPECT_EQ(Text(windows), fits);
  EXPECT_EQ(Text(system), "");
}

TEST(ProgramCommand, QuotedPathThenParametersAfterOneBlank) {
  static CommandText command;
  BuildProgramCommand("C:\\Program Files\\Pack\\setup.exe", "", command);
  EXPECT_EQ(Text(command), "\"C:\\Program Files\\Pack\\setup.exe\"");
  BuildProgramCommand("C:\\T\\setup.exe", "/S /D=C:\\x y ", command);
  EXPECT_EQ(Text(command), "\"C:\\T\\setup.exe\" /S /D=C:\\x y");
  BuildProgramCommand(" C:\\T\\a b.exe ", "", command);  // inside the quotes nothing is trimmed
  EXPECT_EQ(Text(command), "\" C:\\T\\a b.exe \"");
  EXPECT_FALSE(command.tooLong);
  BuildProgramCommand("C:\\T\\setup.exe", std::string(kCommandTextCapacity, 'p').c_str(), command);
  EXPECT_TRUE(command.tooLong);
}

}  // namespace
