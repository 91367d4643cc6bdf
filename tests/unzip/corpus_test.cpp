// Real PKZIP archives of several program versions: every entry either comes
// out byte for byte with the CRC-32 the manifest lists, or, when its method
// has no decoder in this build, is reported as "ZIP Format not supported!"
// and the walk goes on. Entries of the methods decoded here must come out.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
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

// The methods whose decoders are built in.
const std::set<std::string> kDecoded = {"stored", "deflated", "imploded"};

TEST(Corpus, DecodedEntriesExtractAndOthersAreReported) {
  fs::path corpus = ORVANE_CORPUS_DIR;
  if (!fs::exists(corpus / "MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << corpus;
  auto archives = ReadManifest(corpus);
  ASSERT_FALSE(archives.empty());
  for (const auto& [archive, entries] : archives) {
    SCOPED_TRACE(archive);
    TempDir dir;
    ClearRecordedBoxes();
    ExtractArchive((corpus / archive).c_str(), dir.str().c_str());
    size_t missing = 0;
    for (const ManifestLine& m : entries) {
      fs::path out = dir / m.entry;
      if (!fs::exists(out)) {
        EXPECT_EQ(0u, kDecoded.count(m.method)) << m.entry;
        ++missing;
        continue;
      }
      Bytes data = ReadWholeFile(out);
      EXPECT_EQ(data.size(), m.size) << m.entry;
      EXPECT_EQ(ReferenceCrc(data), m.crc) << m.entry;
    }
    std::vector<std::string> expected(missing, "ZIP Format not supported!");
    EXPECT_EQ(BoxTexts(), expected);
  }
}

}  // namespace
