// The output bound of every method: an entry whose data decodes to more
// bytes than its headers declare ends as a CRC error with its output deleted,
// even when its CRC is that of all the decoded bytes (a forged CRC must not
// pass an overlong file), and the walk goes on. A small deflated entry of
// 50 MB of zeros declared as 1000 bytes never grows a file past the
// declared size.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../methods/implode_encoder.h"
#include "../methods/inflate_support.h"
#include "platform/posix/host_controls.h"
#include "test_support.h"
#include "unzip/extract_archive.h"

namespace {

struct Method {
  uint16_t method, flags;
};

constexpr Method kMethods[] = {
    {0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
    {6, 0}, {6, kImplodeBigDictionary}, {6, kImplodeLiteralTree},
    {6, kImplodeBigDictionary | kImplodeLiteralTree}, {8, 0}, {14, 0}};

TEST(OutputBound, EveryMethodStopsAtTheDeclaredSize) {
  const Bytes data = TextBytes(6000, 11);
  ZipEntry next;
  next.name = "next.txt";
  next.data = ToBytes("after the overlong entry");
  for (const Method& m : kMethods) {
    ZipEntry over = PackedEntry("over.bin", data, m.method, m.flags);
    for (int64_t declared : {static_cast<int64_t>(data.size()) - 1, int64_t{10}}) {
      SCOPED_TRACE("method " + std::to_string(m.method) + " flags " + std::to_string(m.flags) +
                   " declared " + std::to_string(declared));
      over.uncompressedSize = declared;
      TempDir dir;
      WriteWholeFile(dir / "a.zip", BuildZip({over, next}).bytes);
      ClearRecordedBoxes();
      ExtractArchive((dir / "a.zip").c_str(), (dir / "out").c_str());
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{"CRC-Error!"});
      EXPECT_FALSE(fs::exists(dir / "out" / "over.bin"));
      EXPECT_EQ(ReadWholeFile(dir / "out" / "next.txt"), next.data);
    }
  }
}

struct Watched {
  fs::path file;
  uintmax_t biggest = 0;
};

void WatchSize(void* context) {
  Watched& w = *static_cast<Watched*>(context);
  struct stat st;
  if (stat(w.file.c_str(), &st) == 0 && static_cast<uintmax_t>(st.st_size) > w.biggest) {
    w.biggest = static_cast<uintmax_t>(st.st_size);
  }
}

TEST(OutputBound, DeflatedBombNeverGrowsPastItsDeclaredSize) {
  ZipEntry bomb = PackedEntry("bomb.bin", Bytes(50u << 20, 0), 8);
  bomb.uncompressedSize = 1000;
  ZipEntry next;
  next.name = "next.txt";
  next.data = ToBytes("after the bomb");
  TempDir dir;
  WriteWholeFile(dir / "a.zip", BuildZip({bomb, next}).bytes);
  Watched watched{dir / "out" / "bomb.bin"};
  SetPumpHook(WatchSize, &watched);
  ClearRecordedBoxes();
  ExtractArchive((dir / "a.zip").c_str(), (dir / "out").c_str());
  SetPumpHook(nullptr, nullptr);
  EXPECT_LE(watched.biggest, 1000u);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"CRC-Error!"});
  EXPECT_FALSE(fs::exists(watched.file));
  EXPECT_EQ(ReadWholeFile(dir / "out" / "next.txt"), next.data);
}

}  // namespace
