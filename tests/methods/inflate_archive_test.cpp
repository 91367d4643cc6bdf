// Deflated entries made by the tools people use, extracted through entry
// extraction: Info-ZIP zip at every level, python's zipfile and zlib,
// streamed entries with a data descriptor, and the PKZIP 2.04 corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "inflate_support.h"
#include "tool_archives.h"
#include "unzip/extract_entry.h"

namespace {

TEST(InflateArchives, InfoZipAtEveryLevel) {
  TempDir src;
  const auto files = MakeArchiveFiles(src.path());
  for (int level = 1; level <= 9; ++level) {
    const fs::path zip = src / ("l" + std::to_string(level) + ".zip");
    ASSERT_TRUE(Shell("cd '" + src.str() + "' && zip -q -" + std::to_string(level) + " '" +
                      zip.string() + "' *.txt *.bin"));
    // Info-ZIP stores what does not shrink (the empty file, the noise).
    EXPECT_GE(ExtractEntriesOf(zip, 8, files), 7) << level;
  }
}

TEST(InflateArchives, PythonZipfileAndZlibStrategies) {
  TempDir src;
  const auto files = MakeArchiveFiles(src.path());
  const fs::path zip = src / "py.zip";
  ASSERT_TRUE(Shell("cd '" + src.str() +
                    "' && python3 -c \"import zipfile,glob\n"
                    "z=zipfile.ZipFile('py.zip','w',zipfile.ZIP_DEFLATED,compresslevel=9)\n"
                    "[z.write(f) for f in sorted(glob.glob('*.txt')+glob.glob('*.bin'))]\n"
                    "z.close()\""));
  EXPECT_EQ(9, ExtractEntriesOf(zip, 8, files));

  // Raw streams of every zlib strategy: stored, fixed and dynamic blocks,
  // ending anywhere in the window.
  const Bytes data = MixedBytes(250000, 11);
  for (const char* strategy : {"Z_DEFAULT_STRATEGY", "Z_FIXED", "Z_HUFFMAN_ONLY", "Z_RLE", "Z_FILTERED"}) {
    for (int level : {0, 1, 6, 9}) {
      InflateRun run = RunInflate(ZlibDeflate(data, level, strategy));
      ASSERT_EQ(ExtractResult::Ok, run.result) << strategy << " " << level;
      EXPECT_TRUE(data == run.output) << strategy << " " << level;
      EXPECT_EQ(ReferenceCrc(data), run.crc);
    }
  }
}

// Entries written to a pipe: bit 3 set, sizes 0 in the local header, the
// CRC in a data descriptor after the data.
TEST(InflateArchives, StreamedEntriesWithDataDescriptor) {
  TempDir src;
  const Bytes text = TextBytes(90000, 21);
  WriteWholeFile(src / "in.txt", text);
  // Info-ZIP writing to a pipe, from a pipe and from a file; -fz- keeps
  // the sizes out of Zip64 fields.
  ASSERT_TRUE(Shell("cd '" + src.str() + "' && zip -q -fz- - - < in.txt | cat > stdin.zip"));
  ASSERT_TRUE(Shell("cd '" + src.str() + "' && zip -q -fz- - in.txt | cat > stdout.zip"));
  ASSERT_TRUE(Shell("cd '" + src.str() +
                    "' && python3 -c \"import zipfile,sys\n"
                    "z=zipfile.ZipFile(sys.stdout.buffer,'w',zipfile.ZIP_DEFLATED)\n"
                    "z.writestr('a.txt',open('in.txt','rb').read())\n"
                    "z.writestr('b.txt',open('in.txt','rb').read()[:1000])\n"
                    "z.close()\" | cat > unseekable.zip"));
  for (auto [name, count] : {std::pair{"stdin.zip", 1}, {"stdout.zip", 1}, {"unseekable.zip", 2}}) {
    const fs::path zip = src / name;
    const Bytes bytes = ReadWholeFile(zip);
    int streamed = 0;
    for (const ListedEntry& e : ListArchive(zip)) {
      if (e.method == 8 && (LocalFlags(bytes, e.offset) & 8) &&
          LocalCompressedSize(bytes, e.offset) == 0)
        ++streamed;
    }
    EXPECT_EQ(count, streamed) << name;
    std::map<std::string, Bytes> originals = {
        {"in.txt", text}, {"-", text}, {"a.txt", text}, {"b.txt", Bytes(text.begin(), text.begin() + 1000)}};
    EXPECT_EQ(count, ExtractEntriesOf(zip, 8, originals)) << name;
  }
}

// A streamed entry's CRC comes from its descriptor: a wrong one fails.
TEST(InflateArchives, StreamedEntryWithWrongDescriptorCrcFails) {
  TempDir src;
  WriteWholeFile(src / "in.txt", TextBytes(5000, 8));
  ASSERT_TRUE(Shell("cd '" + src.str() + "' && zip -q -fz- - - < in.txt | cat > piped.zip"));
  Bytes bytes = ReadWholeFile(src / "piped.zip");
  const ListedEntry e = ListArchive(src / "piped.zip").at(0);
  // The descriptor: signature, CRC, sizes; find it by its signature.
  const uint8_t sig[] = {0x50, 0x4B, 0x07, 0x08};
  auto at = std::search(bytes.begin() + e.offset, bytes.end(), sig, sig + 4);
  ASSERT_NE(bytes.end(), at);
  at[4] ^= 0xFF;
  WriteWholeFile(src / "bad.zip", bytes);
  const fs::path target = src / "out";
  EXPECT_EQ(ExtractResult::CrcMismatch,
            ExtractEntry((src / "bad.zip").c_str(), target.c_str(), 0x20, kAbortKeyEscape, e.offset, {}));
  EXPECT_FALSE(fs::exists(target));
}

TEST(InflateArchives, Pkzip204CorpusMatchesItsManifest) {
  const fs::path corpus = fs::path(ORVANE_CORPUS_DIR);
  const fs::path archive = corpus / "pkzip" / "PKZ204EN.ZIP";
  if (!fs::exists(archive)) {
    GTEST_SKIP() << "no reference archives at " << corpus << " (ORVANE_CORPUS_DIR)";
  }
  std::ifstream manifest(corpus / "MANIFEST.tsv");
  std::map<std::string, std::pair<uint32_t, uint32_t>> expected;  // name -> size, crc
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream f(line);
    std::string file, entry, method, flags, compressed, size, crc;
    std::getline(f, file, '\t');
    std::getline(f, entry, '\t');
    std::getline(f, method, '\t');
    std::getline(f, flags, '\t');
    std::getline(f, compressed, '\t');
    std::getline(f, size, '\t');
    std::getline(f, crc, '\t');
    if (file == "pkzip/PKZ204EN.ZIP" && method == "deflated")
      expected[entry] = {static_cast<uint32_t>(std::stoul(size)),
                         static_cast<uint32_t>(std::stoul(crc, nullptr, 16))};
  }
  ASSERT_EQ(8u, expected.size());

  TempDir out;
  int checked = 0;
  for (const ListedEntry& e : ListArchive(archive)) {
    if (e.method != 8) continue;
    const fs::path target = out / e.name;
    ASSERT_EQ(ExtractResult::Ok,
              ExtractEntry(archive.c_str(), target.c_str(), 0x20, kAbortKeyEscape, e.offset, {}))
        << e.name;
    const Bytes got = ReadWholeFile(target);
    ASSERT_TRUE(expected.count(e.name)) << e.name;
    EXPECT_EQ(expected[e.name].first, got.size()) << e.name;
    EXPECT_EQ(expected[e.name].second, ReferenceCrc(got)) << e.name;
    ++checked;
  }
  EXPECT_EQ(8, checked);
}

}  // namespace
