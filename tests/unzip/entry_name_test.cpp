// Entry names beyond ASCII: UTF-8 under flag bit 11 and code page 437
// without it come out with their characters (UTF-8 paths on the host), names
// that cannot be converted are refused as write errors, and paths in a
// two-byte ANSI code page split only on backslashes that stand for
// themselves.
#include <gtest/gtest.h>

#include "platform/posix/host_controls.h"
#include "test_support.h"
#include "unzip/entry_name.h"
#include "unzip/extract_archive.h"
#include "unzip/extract_entry.h"
#include "unzip/output_path.h"

namespace {

using Texts = std::vector<std::string>;
using Units = std::vector<uint16_t>;

bool Decodes(const std::string& text, Units* units = nullptr) {
  uint16_t out[8];
  uint32_t count = 0;
  bool ok = DecodeUtf8(reinterpret_cast<const uint8_t*>(text.data()),
                       static_cast<uint32_t>(text.size()), out, 8, &count);
  if (ok && units) units->assign(out, out + count);
  return ok;
}

std::string Taken(const std::string& raw, bool utf8, bool* ok = nullptr) {
  char name[kMaxEntryName + 1];
  bool taken = TakeEntryName(reinterpret_cast<const uint8_t*>(raw.data()),
                             static_cast<uint32_t>(raw.size()), utf8, name);
  if (ok) *ok = taken;
  return name;
}

TEST(EntryName, Utf8DecodesEveryLengthAndRefusesWhatIsNotWellFormed) {
  Units units;
  ASSERT_TRUE(Decodes("a\xC3\x9C\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", &units));
  EXPECT_EQ(units, (Units{'a', 0x00DC, 0x20AC, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF}));
  ASSERT_TRUE(Decodes("\xC2\x80\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80", &units));
  EXPECT_EQ(units, (Units{0x80, 0x800, 0xFFFF, 0xD800, 0xDC00}));
  for (const char* bad : {"\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xE0\x9F\xBF", "\xF0\x80\x80\xAF",
                          "\xF0\x8F\xBF\xBF",                    // overlong
                          "\xED\xA0\x80", "\xED\xBF\xBF",        // surrogates
                          "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF",  // beyond U+10FFFF
                          "\x80", "a\xBFz", "\xC3", "\xE2\x82", "\xC3z", "\xE2\x82z"}) {
    EXPECT_FALSE(Decodes(bad)) << testing::PrintToString(bad);
  }
  uint16_t one[1];
  uint32_t count = 0;
  EXPECT_FALSE(DecodeUtf8(reinterpret_cast<const uint8_t*>("\xF0\x9F\x98\x80"), 4, one, 1, &count));
}

TEST(EntryName, EveryHighByteOfCodePage437IsItsCharacter) {
  static const char* const kChart =
      "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
      "└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";
  std::string all;
  for (int byte = 0x80; byte <= 0xFF; ++byte) all += Taken(std::string(1, static_cast<char>(byte)), false);
  EXPECT_EQ(all, kChart);
  // The flag decides: the same bytes are UTF-8 with it.
  EXPECT_EQ(Taken("\xC3\x9C", false), "├£");
  EXPECT_EQ(Taken("\xC3\x9C", true), "Ü");
}

TEST(EntryName, AsciiPassesByteForByteAndUnusableNamesKeepTheirBytes) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
  std::string expected = ascii;
  expected[0x2F - 1] = '\\';
  for (bool utf8 : {false, true}) EXPECT_EQ(Taken(ascii, utf8), expected);

  bool ok = true;
  EXPECT_EQ(Taken("bad/\xC3(.txt", true, &ok), "bad\\\xC3(.txt");
  EXPECT_FALSE(ok);
  EXPECT_EQ(Taken(std::string("evil.txt\0.exe", 13), false, &ok), "evil.txt");
  EXPECT_FALSE(ok);
  // 259 characters fit; 130 two-byte UTF-8 characters are too many once
  // converted, and the message shows the bytes cut.
  Taken(std::string(259, 'n'), false, &ok);
  EXPECT_TRUE(ok);
  std::string umlauts;
  for (int i = 0; i < 130; ++i) umlauts += "\xC3\x9C";
  EXPECT_EQ(Taken(umlauts, true, &ok), umlauts.substr(0, kMaxEntryName));
  EXPECT_FALSE(ok);
}

class EntryNameArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRecordedBoxes();
    fs::create_directory(dir / "out");
  }
  void TearDown() override { SetHostCodePage932(false); }

  TempDir dir;
};

ZipEntry Named(const std::string& name, uint16_t flags, const std::string& text) {
  ZipEntry e;
  e.name = name;
  e.flags = flags;
  e.data = ToBytes(text);
  return e;
}

TEST_F(EntryNameArchiveTest, NamesComeOutWithTheirCharactersOrAreRefused) {
  std::vector<ZipEntry> entries = {
      Named("\xC3\x9C" "ber/\xC3\x84rger.txt", kFlagUtf8Name, "utf8"),
      Named("\x9A" "bersicht.txt", 0, "cp437"),
      Named("\xE4\xB8\xAD\xE6\x96\x87.txt", kFlagUtf8Name, "cjk"),
      Named("..\xEF\xBC\x8F" "escape.txt", kFlagUtf8Name, "fullwidth"),
      Named("bad\xC0\xAF.txt", kFlagUtf8Name, "overlong"),
      Named("plain/ascii.txt", kFlagUtf8Name, "ascii"),
      Named("\x9A/../../x.txt", 0, "converted, then refused"),
  };
  fs::path archive = dir / "names.zip";
  WriteWholeFile(archive, BuildZip(entries).bytes);
  ExtractArchive(archive.c_str(), (dir / "out").c_str());

  // A name that converted is shown converted, one that did not as given.
  EXPECT_EQ(BoxTexts(),
            (Texts{"Write error! on bad\xC0\xAF.txt", "Write error! on Ü\\..\\..\\x.txt"}));
  fs::path out = dir / "out";
  EXPECT_EQ(ReadWholeFile(out / "Über" / "Ärger.txt"), ToBytes("utf8"));
  EXPECT_EQ(ReadWholeFile(out / "Übersicht.txt"), ToBytes("cp437"));
  EXPECT_EQ(ReadWholeFile(out / "中文.txt"), ToBytes("cjk"));
  // On the host the fullwidth solidus is a character of the name, no separator.
  EXPECT_EQ(ReadWholeFile(out / "..／escape.txt"), ToBytes("fullwidth"));
  EXPECT_EQ(ReadWholeFile(out / "plain" / "ascii.txt"), ToBytes("ascii"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 5);
}

TEST_F(EntryNameArchiveTest, TrailBytesOfCodePage932NeverSeparate) {
  SetHostCodePage932(true);
  // "表" is 95 5C and "ソ" 83 5C: the second byte of each is a backslash's.
  const std::string folder = "\x95\x5C", file = "\x83\x5C.txt", bare = "\x83\x5C";
  EXPECT_TRUE(StaysInsideTarget((folder + "\\" + file).c_str()));
  EXPECT_FALSE(StaysInsideTarget((folder + "\\..\\" + file).c_str()));
  EXPECT_TRUE(EndsInBackslash("\x83\x5C\\", 3));
  EXPECT_FALSE(EndsInBackslash(bare.c_str(), 2));

  BuiltZip zip = BuildZip({Named("x", 0, "one"), Named("y", 0, "two")});
  fs::path archive = dir / "a.zip";
  WriteWholeFile(archive, zip.bytes);
  std::string target = (dir / "out").string() + "\\";
  ASSERT_EQ(ExtractEntry(archive.c_str(), (target + folder + "\\" + file).c_str(), 0, kAbortKeyEscape,
                         zip.headerOffsets[0], {3, 3}),
            ExtractResult::Ok);
  // A name ending in a trail byte is a file, not a directory.
  ASSERT_EQ(ExtractEntry(archive.c_str(), (target + folder + "\\" + bare).c_str(), 0, kAbortKeyEscape,
                         zip.headerOffsets[1], {3, 3}),
            ExtractResult::Ok);
  fs::path out = dir / "out";
  EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
  EXPECT_EQ(ReadWholeFile(out / folder / file), ToBytes("one"));
  EXPECT_EQ(ReadWholeFile(out / folder / bare), ToBytes("two"));
}

}  // namespace
