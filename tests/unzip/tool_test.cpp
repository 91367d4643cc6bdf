// The extract tool end to end on the host, with archives made by Info-ZIP
// zip and python3's zipfile, also written to pipes: exit codes, the box lines
// on stderr, and trees that come out as they went in.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "test_support.h"

namespace {

struct ToolRun {
  int exitCode;
  std::string errors;
};

ToolRun RunTool(const std::string& arguments, const TempDir& dir) {
  fs::path errors = dir / "stderr.txt";
  std::string command = std::string(ORVANE_EXTRACT_TOOL) + " " + arguments + " 2>" + errors.string();
  int status = std::system(command.c_str());
  Bytes text = ReadWholeFile(errors);
  fs::remove(errors);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(text.begin(), text.end())};
}

bool HaveCommand(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A small tree of files and directories, some empty.
void MakeTree(const fs::path& root) {
  fs::create_directories(root / "docs" / "empty");
  fs::create_directories(root / "bin");
  WriteWholeFile(root / "readme.txt", ToBytes("read me\r\n"));
  WriteWholeFile(root / "docs" / "manual.txt", PatternBytes(70000, 1));
  WriteWholeFile(root / "bin" / "tool.exe", PatternBytes(32768, 2));
  WriteWholeFile(root / "bin" / "zero.dat", {});
}

void ExpectSameTree(const fs::path& a, const fs::path& b) {
  for (auto& e : fs::recursive_directory_iterator(a)) {
    fs::path other = b / fs::relative(e.path(), a);
    ASSERT_TRUE(fs::exists(other)) << other;
    if (e.is_regular_file()) {
      EXPECT_EQ(ReadWholeFile(e.path()), ReadWholeFile(other)) << other;
    }
  }
}

TEST(ExtractTool, ExitCodesAndBoxLines) {
  TempDir dir;
  ToolRun run = RunTool((dir / "nothere.zip").string() + " " + (dir / "out").string(), dir);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.errors, "Installer: The specified file, nothere.zip is not found or not a ZIP file!\n");

  ZipEntry good;
  good.name = "good.txt";
  good.data = ToBytes("good");
  ZipEntry bad = good;
  bad.name = "bad.txt";
  bad.crcGiven = true;
  WriteWholeFile(dir / "mixed.zip", BuildZip({bad, good}).bytes);
  run = RunTool((dir / "mixed.zip").string() + " " + (dir / "out").string(), dir);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.errors, "Installer: CRC-Error!\n");
  EXPECT_EQ(ReadWholeFile(dir / "out" / "good.txt"), ToBytes("good"));

  WriteWholeFile(dir / "good.zip", BuildZip({good}).bytes);
  run = RunTool((dir / "good.zip").string() + " " + (dir / "out2").string(), dir);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.errors, "");

  EXPECT_EQ(RunTool("only-one-argument", dir).exitCode, 2);
}

TEST(ExtractTool, RelativePathsAreTakenFromTheStartingDirectory) {
  TempDir dir;
  ZipEntry e;
  e.name = "x/y/z.txt";
  e.data = ToBytes("z");
  ZipEntry f = e;
  f.name = "w/v.txt";
  WriteWholeFile(dir / "rel.zip", BuildZip({e, f}).bytes);
  fs::create_directory(dir / "out");
  std::string command = "cd " + dir.str() + " && " + ORVANE_EXTRACT_TOOL + " rel.zip out";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(dir / "out" / "x" / "y" / "z.txt"), ToBytes("z"));
  EXPECT_EQ(ReadWholeFile(dir / "out" / "w" / "v.txt"), ToBytes("z"));
}

TEST(ExtractTool, InfoZipStoredTreeComesOutWhole) {
  if (!HaveCommand("zip")) GTEST_SKIP() << "Info-ZIP zip not installed";
  TempDir dir;
  MakeTree(dir / "tree");
  std::string command = "cd " + (dir / "tree").string() + " && zip -q -0 -r " +
                        (dir / "tree.zip").string() + " .";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ToolRun run = RunTool((dir / "tree.zip").string() + " " + (dir / "out").string(), dir);
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  ExpectSameTree(dir / "tree", dir / "out");
  EXPECT_TRUE(fs::is_directory(dir / "out" / "docs" / "empty"));
}

// Writes the tree below argv[2] to stdout, which is a pipe: zipfile cannot
// seek back, so it streams every file with a descriptor and no local sizes.
const char kPythonZipper[] = R"(import os, sys, zipfile
method = zipfile.ZIP_STORED if sys.argv[1] == 'stored' else zipfile.ZIP_DEFLATED
with zipfile.ZipFile(sys.stdout.buffer, 'w', compression=method) as z:
    for root, dirs, files in os.walk(sys.argv[2]):
        for name in sorted(dirs + files):
            path = os.path.join(root, name)
            z.write(path, os.path.relpath(path, sys.argv[2]))
)";

TEST(ExtractTool, ArchivesStreamedToAPipeComeOutWhole) {
  if (!HaveCommand("zip") || !HaveCommand("python3")) GTEST_SKIP() << "zip or python3 missing";
  TempDir dir;
  MakeTree(dir / "tree");
  WriteWholeFile(dir / "zipper.py", ToBytes(kPythonZipper));
  const std::string tree = (dir / "tree").string();
  // Each makes a.zip in dir from the tree; zip's "-" reads a file from stdin
  // (Zip64 local headers with sizes to come) or writes the archive to stdout.
  const std::vector<std::string> makers = {
      "cd " + tree + " && zip -q -r - . | cat > ../a.zip",
      "cd " + tree + " && zip -q -r -fz- - . | cat > ../a.zip",
      "cd " + tree + " && zip -q -0 -r - . | cat > ../a.zip",
      "cd " + tree + " && zip -q -r - . | cat > ../b.zip && "
          "(head -c 6000 /dev/zero | tr '\\0' 'M'; cat ../b.zip) > ../a.zip",
      "python3 zipper.py stored " + tree + " | cat > a.zip",
      "python3 zipper.py deflated " + tree + " | cat > a.zip",
  };
  for (const std::string& maker : makers) {
    SCOPED_TRACE(maker);
    fs::remove_all(dir / "out");
    ASSERT_EQ(std::system(("cd " + dir.str() + " && " + maker).c_str()), 0);
    ToolRun run = RunTool((dir / "a.zip").string() + " " + (dir / "out").string(), dir);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    ExpectSameTree(dir / "tree", dir / "out");
  }
  for (const char* option : {"", "-fz-"}) {
    SCOPED_TRACE(option);
    fs::remove_all(dir / "out");
    std::string maker = "cat " + tree + "/docs/manual.txt | zip -q " + option + " - - | cat > " +
                        (dir / "a.zip").string();
    ASSERT_EQ(std::system(maker.c_str()), 0);
    ToolRun run = RunTool((dir / "a.zip").string() + " " + (dir / "out").string(), dir);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(ReadWholeFile(dir / "out" / "-"), ReadWholeFile(dir / "tree" / "docs" / "manual.txt"));
  }
}

}  // namespace
