// The archive driver over whole archives: end-record search, percentages,
// messages and the continue-or-stop rule, names that would leave the target,
// attributes, and the driver's behaviour under the abort key and re-entry.
#include <gtest/gtest.h>

#include "platform/posix/host_controls.h"
#include "test_support.h"
#include "unzip/extract_archive.h"

namespace {

using Texts = std::vector<std::string>;

ZipEntry Stored(const std::string& name, const std::string& text) {
  ZipEntry e;
  e.name = name;
  e.data = ToBytes(text);
  return e;
}

std::vector<ZipEntry> Numbered(int count) {
  std::vector<ZipEntry> entries;
  for (int i = 1; i <= count; ++i) {
    entries.push_back(Stored("f" + std::to_string(i) + ".txt", "entry " + std::to_string(i)));
  }
  return entries;
}

class ExtractArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRecordedBoxes();
    ExtractionTextControl = 1;
    SetStatusObserver(
        [](WindowHandle, const char* text, void* texts) {
          static_cast<Texts*>(texts)->push_back(text);
        },
        &status);
    fs::create_directory(target());
  }
  void TearDown() override {
    SetStatusObserver(nullptr, nullptr);
    ExtractionTextControl = 0;
    HoldKeyDown(0);
    SetPumpHook(nullptr, nullptr);
    UseRealTickCount();
  }
  fs::path archive() const { return dir / "a.zip"; }
  fs::path target() const { return dir / "out"; }
  bool Run(const Bytes& bytes) {
    WriteWholeFile(archive(), bytes);
    return ExtractArchive(archive().c_str(), target().c_str());
  }
  bool Run(const std::vector<ZipEntry>& entries, const ZipLayout& layout = {}) {
    return Run(BuildZip(entries, layout).bytes);
  }
  bool Extracted(const std::string& name, const std::string& text) const {
    return fs::exists(target() / name) && ReadWholeFile(target() / name) == ToBytes(text);
  }

  TempDir dir;
  Texts status;
};

TEST_F(ExtractArchiveTest, ShowsTheShareOfEntriesReachedBeforeEachEntry) {
  EXPECT_TRUE(Run(Numbered(6)));
  EXPECT_EQ(status, (Texts{"Extracting, 16% complete", "Extracting, 33% complete",
                           "Extracting, 50% complete", "Extracting, 66% complete",
                           "Extracting, 83% complete", "Extracting, 100% complete"}));
  EXPECT_EQ(BoxTexts(), Texts{});
  for (int i = 1; i <= 6; ++i) EXPECT_TRUE(Extracted("f" + std::to_string(i) + ".txt", "entry " + std::to_string(i)));
}

TEST_F(ExtractArchiveTest, PercentageRoundsLikeA64BitSignificand) {
  EXPECT_EQ(EntryPercentage(53, 100), 52u);
  EXPECT_EQ(EntryPercentage(59, 100), 58u);
  for (uint16_t i = 1; i <= 100; ++i) {
    if (i != 53 && i != 59) {
      EXPECT_EQ(EntryPercentage(i, 100), i) << i;
    }
  }
  EXPECT_EQ(EntryPercentage(1, 3), 33u);
  EXPECT_EQ(EntryPercentage(2, 3), 66u);
  EXPECT_EQ(EntryPercentage(65535, 65535), 100u);
  Run(Numbered(100));
  ASSERT_EQ(status.size(), 98u) << "52 and 58 come twice, and are shown once";
  EXPECT_EQ(status[51], "Extracting, 52% complete");
  EXPECT_EQ(status[52], "Extracting, 54% complete");
  EXPECT_EQ(status[97], "Extracting, 100% complete");
}

TEST_F(ExtractArchiveTest, StatedTotalSmallerThanTheEntriesPassesAHundred) {
  ZipLayout layout;
  layout.totalGiven = true;
  layout.total = 6;
  Run(Numbered(7), layout);
  ASSERT_EQ(status.size(), 7u);
  EXPECT_EQ(status[6], "Extracting, 116% complete");
}

// The text is written when its number changes: a hundred times at most,
// however many entries there are.
TEST_F(ExtractArchiveTest, TheShareIsShownWhenItChanges) {
  ZipLayout layout;
  layout.totalGiven = true;
  layout.total = 0;
  Run(Numbered(2), layout);
  EXPECT_EQ(status, (Texts{"Extracting, 100% complete"}));
  EXPECT_TRUE(Extracted("f2.txt", "entry 2"));
  status.clear();
  Run(Numbered(250));
  ASSERT_EQ(status.size(), 101u);
  EXPECT_EQ(status.front(), "Extracting, 0% complete");
  EXPECT_EQ(status.back(), "Extracting, 100% complete");
}

TEST_F(ExtractArchiveTest, NullTextControlShowsNothingAndExtractsAll) {
  ExtractionTextControl = 0;
  Run(Numbered(3));
  EXPECT_TRUE(status.empty());
  EXPECT_TRUE(Extracted("f3.txt", "entry 3"));
}

TEST_F(ExtractArchiveTest, EndRecordIsFoundBehindTrailingDataOfAnyLength) {
  // 4074 to 4096 put the record into the overlap of the first two windows.
  for (size_t trailing : {0u, 1u, 21u, 22u, 4073u, 4074u, 4075u, 4096u, 8148u, 8149u, 100000u}) {
    ClearRecordedBoxes();
    ZipLayout layout;
    layout.trailing = PatternBytes(trailing, 11);
    fs::remove_all(target());
    Run(Numbered(2), layout);
    EXPECT_EQ(BoxTexts(), Texts{}) << trailing;
    EXPECT_TRUE(Extracted("f2.txt", "entry 2")) << trailing;
  }
}

TEST_F(ExtractArchiveTest, ArchiveAfterLeadingBytesAndLargerThanTheSearchWindow) {
  std::vector<ZipEntry> entries = {Stored("big.txt", std::string(9000, 'b')), Stored("s.txt", "s")};
  Run(entries);
  EXPECT_EQ(BoxTexts(), Texts{});
  EXPECT_TRUE(Extracted("big.txt", std::string(9000, 'b')));
}

TEST_F(ExtractArchiveTest, ArchiveBehindOtherBytesOrWithAWrongDirectoryStart) {
  // A self-extractor's archive: its offsets count from its own start, 5000
  // bytes into the file, with a plain and with a Zip64 end record.
  for (bool zip64 : {false, true}) {
    ClearRecordedBoxes();
    fs::remove_all(target());
    ZipLayout layout;
    layout.zip64 = zip64;
    auto entries = Numbered(3);
    entries[1].zip64 = zip64;
    Bytes bytes = PatternBytes(5000, 3);
    Bytes zip = BuildZip(entries, layout).bytes;
    bytes.insert(bytes.end(), zip.begin(), zip.end());
    Run(bytes);
    EXPECT_EQ(BoxTexts(), Texts{}) << zip64;
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(Extracted("f" + std::to_string(i) + ".txt", "entry " + std::to_string(i)));
  }
  // The entries where their offsets say, only the directory's start wrong.
  for (uint32_t start : {7u, 0xFFFFFF00u}) {
    ClearRecordedBoxes();
    fs::remove_all(target());
    ZipLayout layout;
    layout.directoryOffsetGiven = true;
    layout.directoryOffset = start;
    Run(Numbered(3), layout);
    EXPECT_EQ(BoxTexts(), Texts{}) << start;
    EXPECT_TRUE(Extracted("f3.txt", "entry 3"));
  }
}

TEST_F(ExtractArchiveTest, EndRecordInTheCommentIsPassedOver) {
  // The comment holds a second end record, whose directory is nowhere.
  Bytes fake = {'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0, 1, 0, 46, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ZipLayout layout;
  layout.comment = "made by a tool " + std::string(fake.begin(), fake.end()) + " the end";
  Run(Numbered(2), layout);
  EXPECT_EQ(BoxTexts(), Texts{});
  EXPECT_TRUE(Extracted("f2.txt", "entry 2"));
}

TEST_F(ExtractArchiveTest, WalkThatStopsShortShowsAStructureErrorAfterItsEntries) {
  BuiltZip zip = BuildZip(Numbered(3));
  zip.bytes[zip.directoryOffset + 2 * (46 + 6)] = 'X';  // the third record's signature
  Run(zip.bytes);
  EXPECT_EQ(BoxTexts(), Texts{"Error in Zip file structure!"});
  EXPECT_TRUE(Extracted("f1.txt", "entry 1"));
  EXPECT_TRUE(Extracted("f2.txt", "entry 2"));
  EXPECT_FALSE(fs::exists(target() / "f3.txt"));
}

TEST_F(ExtractArchiveTest, Zip64RecordsAndSizesBeyondTheEngine) {
  // The Zip64 end record's total of 4 counts, not the 16-bit 0xFFFF.
  auto entries = Numbered(4);
  for (ZipEntry& e : entries) e.zip64 = true;
  entries[1].uncompressedSize = int64_t{1} << 32;  // central and local
  ZipLayout layout;
  layout.zip64 = true;
  Run(entries, layout);
  EXPECT_EQ(BoxTexts(), Texts{"ZIP Format not supported!"});
  EXPECT_FALSE(fs::exists(target() / "f2.txt"));
  for (int i : {1, 3, 4}) EXPECT_TRUE(Extracted("f" + std::to_string(i) + ".txt", "entry " + std::to_string(i)));
  EXPECT_EQ(status.back(), "Extracting, 100% complete");
}

TEST_F(ExtractArchiveTest, ArchivesWithoutUsableEndRecord) {
  Run(Bytes{});
  EXPECT_EQ(BoxTexts(), Texts{"Error reading Zipfile!"});

  ClearRecordedBoxes();
  Run(PatternBytes(10000, 5));
  EXPECT_EQ(BoxTexts(), Texts{"Error reading Zipfile!"});

  ClearRecordedBoxes();
  Bytes tooLate = PatternBytes(100, 2);  // a signature with no room for the record
  tooLate.insert(tooLate.end(), {'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0});
  Run(tooLate);
  EXPECT_EQ(BoxTexts(), Texts{"Error reading Zipfile!"});

  ClearRecordedBoxes();
  Run(BuildZip({}).bytes);  // an archive without entries: end record at 0
  EXPECT_EQ(BoxTexts(), Texts{"Error in Zip file structure!"});

  ClearRecordedBoxes();
  ZipLayout layout;
  layout.prefix = PatternBytes(45, 1);
  Run(BuildZip({}, layout).bytes);  // 45 bytes before it: still too close
  EXPECT_EQ(BoxTexts(), Texts{"Error in Zip file structure!"});
  EXPECT_TRUE(status.empty());
}

TEST_F(ExtractArchiveTest, MissingArchiveNamesItsFileNamePart) {
  ExtractArchive((dir / "nothere.zip").c_str(), target().c_str());
  EXPECT_EQ(BoxTexts(),
            Texts{"The specified file, nothere.zip is not found or not a ZIP file!"});
  EXPECT_TRUE(AllBoxesCaptionedInstaller());
  ClearRecordedBoxes();
  ExtractArchive("C:\\setup\\gone.zip", target().c_str());
  EXPECT_EQ(BoxTexts(), Texts{"The specified file, gone.zip is not found or not a ZIP file!"});
}

TEST_F(ExtractArchiveTest, CrcErrorIsShownAndTheWalkGoesOn) {
  auto entries = Numbered(5);
  entries[1].crcGiven = true;
  entries[1].crc = 1;
  EXPECT_FALSE(Run(entries));
  EXPECT_EQ(BoxTexts(), Texts{"CRC-Error!"});
  EXPECT_TRUE(AllBoxesCaptionedInstaller());
  EXPECT_FALSE(fs::exists(target() / "f2.txt"));
  for (int i : {1, 3, 4, 5}) EXPECT_TRUE(Extracted("f" + std::to_string(i) + ".txt", "entry " + std::to_string(i)));
}

// A full disk fails every entry after the first that finds it so: one box
// says why, and the walk ends there, the partial file gone.
TEST_F(ExtractArchiveTest, FullDiskEndsTheWalkWithOneBox) {
  auto entries = Numbered(4);
  entries[1].data = PatternBytes(70000, 1);
  LimitHostWrites(40000);
  const bool complete = Run(entries);
  LimitHostWrites(-1);
  EXPECT_FALSE(complete);
  EXPECT_EQ(BoxTexts(), Texts{"Write error! on f2.txt (the disk is full)"});
  EXPECT_TRUE(Extracted("f1.txt", "entry 1"));
  for (int i : {2, 3, 4}) EXPECT_FALSE(fs::exists(target() / ("f" + std::to_string(i) + ".txt")));
}

TEST_F(ExtractArchiveTest, StructureErrorInAnEntryStopsTheWalk) {
  BuiltZip zip = BuildZip(Numbered(5));
  zip.bytes[zip.headerOffsets[1] + 3] = 0;  // local header signature
  Run(zip.bytes);
  EXPECT_EQ(BoxTexts(), (Texts{"Error in Zip file structure!", "Unzipping aborted!"}));
  EXPECT_TRUE(Extracted("f1.txt", "entry 1"));
  for (int i : {2, 3, 4, 5}) EXPECT_FALSE(fs::exists(target() / ("f" + std::to_string(i) + ".txt")));
  EXPECT_EQ(status.size(), 2u);
}

// The directory and end record first, the entries' data behind them (as
// bytes after the end record), cut to `keep` bytes of that data section.
Bytes DirectoryFirst(const std::vector<ZipEntry>& entries, size_t keep) {
  BuiltZip plain = BuildZip(entries);
  size_t front = plain.bytes.size() - plain.directoryOffset;
  ZipLayout layout;
  layout.prefix = Bytes(front, 0);
  layout.directoryOffsetGiven = true;
  layout.directoryOffset = 0;
  BuiltZip shifted = BuildZip(entries, layout);
  Bytes out(shifted.bytes.begin() + shifted.directoryOffset, shifted.bytes.end());
  out.insert(out.end(), shifted.bytes.begin() + front,
             shifted.bytes.begin() + front + keep);
  return out;
}

TEST_F(ExtractArchiveTest, TruncatedStoredDataStopsWithReadError) {
  std::vector<ZipEntry> entries = {Stored("a.txt", "a"), Stored("cut.txt", std::string(5000, 'c')),
                                   Stored("z.txt", "z")};
  Run(DirectoryFirst(entries, 30 + 5 + 1 + 30 + 7 + 100));
  EXPECT_EQ(BoxTexts(), (Texts{"Read error!", "Unzipping aborted!"}));
  EXPECT_TRUE(Extracted("a.txt", "a"));
  EXPECT_FALSE(fs::exists(target() / "cut.txt"));
  EXPECT_FALSE(fs::exists(target() / "z.txt"));
}

TEST_F(ExtractArchiveTest, UnsupportedAndEncryptedEntriesLeaveOldFilesAndGoOn) {
  std::vector<ZipEntry> entries = {Stored("m7.txt", "new"), Stored("m9.txt", "new"),
                                   Stored("enc.txt", "new"), Stored("last.txt", "last")};
  entries[0].method = 7;
  entries[1].method = 9;
  entries[2].flags = 1;
  for (auto name : {"m7.txt", "m9.txt", "enc.txt"}) {
    WriteWholeFile(target() / name, ToBytes("old"));
  }
  Run(entries);
  EXPECT_EQ(BoxTexts(), (Texts{"ZIP Format not supported!", "Unknown pack method!",
                               "File encrypted, skipped!"}));
  for (auto name : {"m7.txt", "m9.txt", "enc.txt"}) EXPECT_TRUE(Extracted(name, "old"));
  EXPECT_TRUE(Extracted("last.txt", "last"));
}

TEST_F(ExtractArchiveTest, WriteErrorNamesTheEntryWithBackslashes) {
  fs::create_directories(target() / "docs" / "readme.txt");  // a directory where the file goes
  Run({Stored("docs/readme.txt", "text"), Stored("after.txt", "after")});
  EXPECT_EQ(BoxTexts(), Texts{"Write error! on docs\\readme.txt"});
  EXPECT_TRUE(Extracted("after.txt", "after"));
}

TEST_F(ExtractArchiveTest, NamesLeadingOutsideTheTargetAreRefused) {
  fs::create_directories(target() / "inner");
  // Extract into a deeper target so that escapes one level up stay visible.
  fs::path deep = target() / "inner";
  std::vector<ZipEntry> entries = {
      Stored("../evil1.txt", "x"),     Stored("a/../../evil2.txt", "x"),
      Stored("/evil3.txt", "x"),       Stored("\\evil4.txt", "x"),
      Stored("C:/evil5.txt", "x"),     Stored("a:b.txt", "x"),
      Stored("a/.. /evil6.txt", "x"),  Stored("../", ""),
      Stored("ok/good.txt", "good"),   Stored("..ok/fine.txt", "fine"),
  };
  WriteWholeFile(archive(), BuildZip(entries).bytes);
  ExtractArchive(archive().c_str(), deep.c_str());
  EXPECT_EQ(BoxTexts(), (Texts{"Write error! on ..\\evil1.txt", "Write error! on a\\..\\..\\evil2.txt",
                               "Write error! on \\evil3.txt", "Write error! on \\evil4.txt",
                               "Write error! on C:\\evil5.txt", "Write error! on a:b.txt",
                               "Write error! on a\\.. \\evil6.txt", "Write error! on ..\\"}));
  for (auto& e : fs::recursive_directory_iterator(dir.path())) {
    EXPECT_EQ(e.path().filename().string().find("evil"), std::string::npos) << e.path();
  }
  EXPECT_TRUE(fs::exists(deep / "ok" / "good.txt"));
  EXPECT_TRUE(fs::exists(deep / "..ok" / "fine.txt"));
}

TEST_F(ExtractArchiveTest, LinksBelowTheTargetAreNeverWrittenThrough) {
  // The target reached through a link of the user's; below it a link to a
  // directory elsewhere and a link to a file elsewhere.
  fs::create_directories(dir / "outside");
  WriteWholeFile(dir / "outside" / "victim.txt", ToBytes("victim"));
  fs::create_directory_symlink(dir / "outside", target() / "sub");
  fs::create_symlink(dir / "outside" / "victim.txt", target() / "file.txt");
  fs::create_directory_symlink(target(), dir / "chosen");
  WriteWholeFile(archive(), BuildZip({Stored("sub/", ""), Stored("sub/in.txt", "x"),
                                      Stored("sub/deeper/in.txt", "x"), Stored("file.txt", "x"),
                                      Stored("x /in.txt", "x"), Stored("y./in.txt", "x"),
                                      Stored("after.txt", "after")})
                                .bytes);
  // Windows names a component further in that ends in a blank or a dot
  // otherwise than a lookup of it would ("x " is looked up as "x"): such a
  // path counts as one with a link on it.
  ExtractArchive(archive().c_str(), (dir / "chosen").c_str());
  EXPECT_EQ(BoxTexts(), (Texts{"Write error! on sub\\", "Write error! on sub\\in.txt",
                               "Write error! on sub\\deeper\\in.txt", "Write error! on file.txt",
                               "Write error! on x \\in.txt", "Write error! on y.\\in.txt"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "outside"), {}), 1);
  EXPECT_EQ(ReadWholeFile(dir / "outside" / "victim.txt"), ToBytes("victim"));
  EXPECT_TRUE(Extracted("after.txt", "after"));
}

TEST_F(ExtractArchiveTest, OverlongPathsAreWriteErrorsNeverCut) {
  std::string longName(259, 'L');       // fits the directory, not the join
  std::string cutName(300, 'C');        // longer than the directory entry holds
  Run({Stored(longName, "x"), Stored(cutName, "x"), Stored("after.txt", "after")});
  EXPECT_EQ(BoxTexts(), (Texts{"Write error! on " + longName, "Write error! on " + cutName.substr(0, 259)}));
  EXPECT_TRUE(Extracted("after.txt", "after"));
  EXPECT_EQ(std::distance(fs::directory_iterator(target()), {}), 1);

  // A target that fills the path alone leaves no room for any name.
  ClearRecordedBoxes();
  std::string longTarget = target().string() + "\\" + std::string(300, 'T');
  ExtractArchive(archive().c_str(), longTarget.c_str());
  EXPECT_EQ(BoxTexts().size(), 3u);
}

TEST_F(ExtractArchiveTest, DirectoryEntriesAreCreatedQuietly) {
  ZipEntry flagged = Stored("flagged", "");
  flagged.externalAttributes = 0x10;
  Run({Stored("sub/", ""), Stored("sub/deeper/", ""), flagged, Stored("sub/deeper/f.txt", "f")});
  EXPECT_EQ(BoxTexts(), Texts{});
  EXPECT_TRUE(fs::is_directory(target() / "sub" / "deeper"));
  EXPECT_TRUE(fs::is_directory(target() / "flagged"));
  EXPECT_TRUE(Extracted("sub/deeper/f.txt", "f"));
}

TEST_F(ExtractArchiveTest, RelativePathsHoldWhileTheCurrentDirectoryMoves) {
  // Directory creation moves the current directory into each entry's
  // directories: relative paths must still name the archive and target the
  // call began with, also an empty target (the directory it began in).
  WriteWholeFile(archive(), BuildZip({Stored("a/b/one.txt", "1"), Stored("c/two.txt", "2"),
                                      Stored("three.txt", "3")}).bytes);
  for (const char* relativeTarget : {"out", ""}) {
    SCOPED_TRACE(relativeTarget);
    fs::current_path(dir.path());
    ClearRecordedBoxes();
    ExtractArchive("a.zip", relativeTarget);
    fs::path root = dir.path() / relativeTarget;
    EXPECT_EQ(BoxTexts(), Texts{});
    EXPECT_EQ(ReadWholeFile(root / "a" / "b" / "one.txt"), ToBytes("1"));
    EXPECT_EQ(ReadWholeFile(root / "c" / "two.txt"), ToBytes("2"));
    EXPECT_EQ(ReadWholeFile(root / "three.txt"), ToBytes("3"));
  }
}

TEST_F(ExtractArchiveTest, AttributesComeFromTheDirectoryOnlyForMsDosHosts) {
  ZipEntry dos = Stored("dos.txt", "d");
  dos.externalAttributes = 0xABCD0000 | 0x01 | 0x02 | 0x20;  // only the low byte counts
  ZipEntry unix = Stored("unix.txt", "u");
  unix.hostSystem = 3;
  unix.externalAttributes = 0x81A40001;  // rw-r--r-- and a stray low bit
  Run({dos, unix});
  EXPECT_EQ(GetPathAttributes((target() / "dos.txt").c_str()), 0x01u | 0x02u | 0x20u);
  EXPECT_EQ(GetPathAttributes((target() / "unix.txt").c_str()), kAttrNormal);
}

TEST_F(ExtractArchiveTest, ReadOnlyOrHiddenFilesAreOverwritten) {
  WriteWholeFile(target() / "ro.txt", ToBytes("old"));
  WriteWholeFile(target() / "hid.txt", ToBytes("old"));
  ASSERT_TRUE(SetPathAttributes((target() / "ro.txt").c_str(), kAttrReadOnly));
  ASSERT_TRUE(SetPathAttributes((target() / "hid.txt").c_str(), kAttrHidden | kAttrSystem));
  Run({Stored("ro.txt", "new"), Stored("hid.txt", "new")});
  EXPECT_EQ(BoxTexts(), Texts{});
  EXPECT_TRUE(Extracted("ro.txt", "new"));
  EXPECT_TRUE(Extracted("hid.txt", "new"));
}

TEST_F(ExtractArchiveTest, EscapeAbortsAndStopsTheWalk) {
  HoldKeyDown(27);
  Run({Stored("a.txt", std::string(1024, 'a')), Stored("b.txt", "b")});
  EXPECT_EQ(BoxTexts(), (Texts{"Aborted by user!", "Unzipping aborted!"}));
  EXPECT_FALSE(fs::exists(target() / "a.txt"));
  EXPECT_FALSE(fs::exists(target() / "b.txt"));
}

struct Reentry {
  std::string archive, target;
  int calls = 0;
};

TEST_F(ExtractArchiveTest, NestedExtractionIsRefusedAsBusy) {
  Reentry r;
  r.archive = archive().string();
  r.target = (dir / "nested").string();
  SetHostTickCount(5000);
  SetPumpHook(
      [](void* context) {
        Reentry& r = *static_cast<Reentry*>(context);
        if (r.calls++ == 0) ExtractArchive(r.archive.c_str(), r.target.c_str());
      },
      &r);
  Run(Numbered(2));
  EXPECT_EQ(BoxTexts(), (Texts{"DLL already in use, try later or use pkunzip!", "Unzipping aborted!"}));
  EXPECT_TRUE(Extracted("f1.txt", "entry 1"));
  EXPECT_TRUE(Extracted("f2.txt", "entry 2"));
  EXPECT_FALSE(fs::exists(dir / "nested" / "f1.txt"));
}

TEST_F(ExtractArchiveTest, EntryWithCommentAndExtraIsFollowedByTheNext) {
  ZipEntry first = Stored("c.txt", "c");
  first.comment = "a comment";
  first.extra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
  Run({first, Stored("d.txt", "d")});
  EXPECT_EQ(BoxTexts(), Texts{});
  EXPECT_TRUE(Extracted("c.txt", "c"));
  EXPECT_TRUE(Extracted("d.txt", "d"));
}

}  // namespace
