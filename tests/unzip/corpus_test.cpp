// Real PKZIP archives of several program versions and an independent tool,
// holding every classic method (stored, shrunk, reduced with factors 1 and
// 4, imploded with both dictionaries, deflated): every entry comes out byte
// for byte with the size and CRC-32 the manifest lists, and no box is shown.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "platform/posix/host_controls.h"
#include "test_support.h"
#include "unzip/extract_archive.h"

namespace {

struct ManifestLine {
  std::string entry, method;
  uint64_t size = 0;
  uint32_t crc = 0;
};

// archive (relative to the corpus) -> its entries
std::map<std::string, std::vector<ManifestLine>> ReadManifest(const fs::path& corpus) {
  std::map<std::string, std::vector<ManifestLine>> archives;
  std::ifstream in(corpus / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string archive, flags, compressed, size, crc;
    ManifestLine m;
    std::getline(fields, archive, '\t');
    std::getline(fields, m.entry, '\t');
    std::getline(fields, m.method, '\t');
    std::getline(fields, flags, '\t');
    std::getline(fields, compressed, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, crc, '\t');
    m.size = std::stoull(size);
    m.crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
    archives[archive].push_back(m);
  }
  return archives;
}

TEST(Corpus, EveryEntryOfEveryArchiveExtracts) {
  fs::path corpus = ORVANE_CORPUS_DIR;
  if (!fs::exists(corpus / "MANIFEST.tsv")) {
    GTEST_SKIP() << "no reference archives at " << corpus << " (ORVANE_CORPUS_DIR)";
  }
  auto archives = ReadManifest(corpus);
  ASSERT_FALSE(archives.empty());
  for (const auto& [archive, entries] : archives) {
    SCOPED_TRACE(archive);
    TempDir dir;
    ClearRecordedBoxes();
    ExtractArchive((corpus / archive).c_str(), dir.str().c_str());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
    for (const ManifestLine& m : entries) {
      Bytes data = ReadWholeFile(dir / m.entry);
      EXPECT_EQ(data.size(), m.size) << m.entry << " " << m.method;
      EXPECT_EQ(ReferenceCrc(data), m.crc) << m.entry << " " << m.method;
    }
  }
}

}  // namespace
