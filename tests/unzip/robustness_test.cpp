// The corruption sweep: small archives of every method, cut at every length
// and with bits flipped at places a fixed seed chooses. Whatever the damage,
// the run ends with its boxes (at most one per entry reached and one for the
// walk; at least one for a cut archive; none only when every entry was
// reached), stays inside its buffers (the
// sanitizer build checks), creates nothing outside the target, closes every
// descriptor it opened, leaves no output of a failed entry (every file left
// holds exactly one entry's data), and does bounded work: message-pump calls
// and the bytes written to any one file are bounded by the archive's size.
// A case that never ends is reported by its index after 60 s.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "../methods/implode_encoder.h"
#include "platform/posix/host_controls.h"
#include "test_support.h"
#include "unzip/extract_archive.h"

namespace {

struct Sample {
  const char* label;
  std::vector<ZipEntry> entries;
  std::vector<Bytes> contents;  // of the entries that are files
  BuiltZip zip;
};

// Every method, a few entries each, with a directory, a comment and data
// descriptors (one streamed entry without local sizes) among them; made
// once, since deflate runs python3.
std::vector<Sample> MakeSamples() {
  struct Packing {
    uint16_t method, flags;
  };
  auto sample = [](const char* label, const std::vector<Packing>& packings) {
    std::vector<ZipEntry> entries;
    std::vector<Bytes> contents;
    for (const Packing& p : packings) {
      const size_t i = entries.size();
      Bytes data = TextBytes(150 + 200 * i, static_cast<uint32_t>(p.method * 7 + i));
      entries.push_back(PackedEntry("d/" + std::to_string(i) + ".txt", data, p.method, p.flags));
      contents.push_back(data);
    }
    return Sample{label, entries, contents, {}};
  };
  std::vector<Sample> samples = {
      sample("stored", {{0, 0}, {0, 0}, {0, 8}}),
      sample("shrunk", {{1, 0}, {1, 0}}),
      sample("reduced", {{2, 0}, {3, 0}, {4, 0}, {5, 0}}),
      sample("imploded", {{6, 0}, {6, kImplodeBigDictionary}, {6, kImplodeLiteralTree},
                          {6, kImplodeBigDictionary | kImplodeLiteralTree}}),
      sample("deflated", {{8, 0}, {8, 8}, {8, 8}}),
      sample("lzma", {{14, 0}, {14, 8}, {14, 8}})};
  ZipEntry directory;
  directory.name = "d/sub/";
  samples[0].entries.insert(samples[0].entries.begin() + 1, directory);
  // Damage to its name or attributes may make it an empty file.
  samples[0].contents.push_back(Bytes());
  samples[0].entries[2].comment = "comment";
  samples[4].entries[2].zeroLocalSizes = true;
  samples[5].entries[2].zeroLocalSizes = true;
  for (Sample& s : samples) s.zip = BuildZip(s.entries);
  return samples;
}

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = MakeSamples();
  return samples;
}

// The sweep's case, known to the signal handlers.
char hangMessage[96];
volatile sig_atomic_t fileSizeLimitHit = 0;

void OnAlarm(int) {
  ssize_t ignored = write(2, hangMessage, strlen(hangMessage));
  (void)ignored;
  abort();
}

void OnFileSizeLimit(int) { fileSizeLimitHit = 1; }

// Writes the archive over the last one in place: the disk's journal makes
// truncating and removing costly, and most cases change no size.
void PutArchive(const fs::path& path, const Bytes& bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  struct stat st;
  if (fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) != bytes.size()) {
    EXPECT_EQ(ftruncate(fd, static_cast<off_t>(bytes.size())), 0);
  }
  close(fd);
}

int OpenDescriptors() {
  int n = 0;
  for (auto& e : fs::directory_iterator("/proc/self/fd")) {
    (void)e;
    ++n;
  }
  return n;
}

struct Counts {
  int pumps = 0;
  int entries = 0;
};

void CountPump(void* context) { ++static_cast<Counts*>(context)->pumps; }
void CountEntry(WindowHandle, const char*, void* context) {
  ++static_cast<Counts*>(context)->entries;
}

class Sweep {
 public:
  Sweep() {
    struct sigaction action = {};
    action.sa_handler = OnAlarm;
    sigaction(SIGALRM, &action, &savedAlarm_);
    action.sa_handler = OnFileSizeLimit;
    sigaction(SIGXFSZ, &action, &savedFileSize_);
    getrlimit(RLIMIT_FSIZE, &savedLimit_);
    SetPumpHook(CountPump, &counts_);
    SetStatusObserver(CountEntry, &counts_);
    ExtractionTextControl = 1;
  }
  ~Sweep() {
    ExtractionTextControl = 0;
    SetStatusObserver(nullptr, nullptr);
    SetPumpHook(nullptr, nullptr);
    setrlimit(RLIMIT_FSIZE, &savedLimit_);
    sigaction(SIGXFSZ, &savedFileSize_, nullptr);
    sigaction(SIGALRM, &savedAlarm_, nullptr);
  }

  int FilesLeft() const { return filesLeft_; }

  // Runs one damaged archive; false (with the failure added) when a check
  // does not hold.
  bool Run(const Sample& sample, const Bytes& archive, const std::string& name, bool cut) {
    snprintf(hangMessage, sizeof hangMessage, "Robustness: %s case %s did not end\n", sample.label,
             name.c_str());
    const fs::path zip = dir_ / "a.zip", out = dir_ / "out", target = out / "t";
    PutArchive(zip, archive);
    fs::create_directories(target);
    // A relative path that escapes would land in the checked directory.
    fs::current_path(dir_.path());
    const int descriptors = OpenDescriptors();
    counts_ = {};
    fileSizeLimitHit = 0;
    // Decoders expand by at most about 1000 times what they read.
    struct rlimit limit = savedLimit_;
    limit.rlim_cur = 1100 * archive.size() + 65536;
    setrlimit(RLIMIT_FSIZE, &limit);
    ClearRecordedBoxes();
    alarm(60);
    const bool complete = ExtractArchive(zip.c_str(), target.c_str());
    alarm(0);
    setrlimit(RLIMIT_FSIZE, &savedLimit_);

    std::string faults;
    filesLeft_ = 0;
    if (OpenDescriptors() != descriptors) faults += " descriptor left open;";
    if (fileSizeLimitHit) faults += " a file grew past the bound;";
    // The status text changes at most once per entry.
    const int records = static_cast<int>(archive.size() / 46 + 1);
    const int pumps = records * static_cast<int>(archive.size() / 2048 + 6) + 16;
    if (counts_.entries > records) faults += " more entries than records fit;";
    if (counts_.pumps > pumps) faults += " " + std::to_string(counts_.pumps) + " pumps;";
    if (RecordedBoxCount() > records + 1) faults += " more boxes than entries reached;";
    if (cut && RecordedBoxCount() == 0) faults += " cut archive without a box;";
    // A walk that ends early must say so, and only a walk without a box is
    // complete.
    if (complete != (RecordedBoxCount() == 0)) faults += " complete and boxes disagree;";
    for (auto& e : fs::recursive_directory_iterator(dir_.path())) {
      const fs::path& p = e.path();
      if (p == zip || p == out || p == target) continue;
      const std::string s = p.string();
      if (s.rfind(target.string(), 0) != 0) {
        faults += " outside the target: " + s + ";";
      } else if (e.is_regular_file()) {
        ++filesLeft_;
        Bytes data = ReadWholeFile(p);
        bool known = false;
        for (const Bytes& c : sample.contents) known = known || c == data;
        if (!known) faults += " failed entry's output left: " + s + ";";
      }
    }
    if (!fs::is_empty(target)) fs::remove_all(target);
    if (faults.empty()) return true;
    ADD_FAILURE() << sample.label << " case " << name << ":" << faults << " boxes "
                  << testing::PrintToString(BoxTexts());
    return false;
  }

 private:
  TempDir dir_;
  Counts counts_;
  int filesLeft_ = 0;
  struct sigaction savedAlarm_, savedFileSize_;
  struct rlimit savedLimit_;
};

// Failures are reported up to this many per test; the rest would repeat them.
constexpr int kReportedFailures = 10;

TEST(Robustness, ArchivesCutAtEveryLength) {
  Sweep sweep;
  int failures = 0;
  for (const Sample& s : Samples()) {
    const Bytes& whole = s.zip.bytes;
    for (size_t length = 0; length < whole.size() && failures < kReportedFailures; ++length) {
      Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
      if (!sweep.Run(s, cut, "cut " + std::to_string(length), true)) ++failures;
    }
    sweep.Run(s, whole, "whole", false);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{}) << s.label;
    const auto files = std::count_if(s.entries.begin(), s.entries.end(),
                                     [](const ZipEntry& e) { return e.name.back() != '/'; });
    EXPECT_EQ(sweep.FilesLeft(), files) << s.label;
  }
}

TEST(Robustness, BitsFlippedBySeed) {
  Sweep sweep;
  std::mt19937 random(20261208);
  int failures = 0;
  for (const Sample& s : Samples()) {
    const BuiltZip& zip = s.zip;
    // Damage lands in the headers and the directory more often than in the
    // data.
    std::vector<uint32_t> hot;
    for (uint32_t offset : zip.headerOffsets) {
      for (uint32_t i = 0; i < 30; ++i) hot.push_back(offset + i);
    }
    for (uint32_t i = zip.directoryOffset; i < zip.bytes.size(); ++i) hot.push_back(i);
    for (int round = 0; round < 600 && failures < kReportedFailures; ++round) {
      Bytes bytes = zip.bytes;
      const int hits = 1 + static_cast<int>(random() % 3);
      for (int h = 0; h < hits; ++h) {
        uint32_t at = random() % 4 ? hot[random() % hot.size()]
                                   : static_cast<uint32_t>(random() % bytes.size());
        bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
      }
      if (!sweep.Run(s, bytes, "flip " + std::to_string(round), false)) ++failures;
    }
  }
}

}  // namespace
