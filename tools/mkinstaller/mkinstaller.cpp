// mkinstaller: makes an installer from the stub and a folder or a ZIP
// archive, and explains a finished one.
//
//   mkinstaller --stub STUB --from DIR [--level 0-9] [--threads N]
//               [--progress | --quiet] [--setup NAME] [--install-dir DIR] -o OUT.exe
//   mkinstaller --stub STUB --archive PAYLOAD.zip [--setup NAME]
//               [--install-dir DIR] -o OUT.exe
//   mkinstaller --inspect FILE.exe
//
// Owns the command line and the order of the work: every check runs before
// anything is written, and the output appears whole or not at all. A refused
// run prints one line "mkinstaller: <problem>" on stderr and exits with 2 for
// a usage error, 1 for any other. --inspect prints its report on stdout and
// exits with 1, each problem on a line of stderr, when the installer is not
// consistent. The stub is held in memory whole (and so is an installer
// inspected); a given archive is copied in pieces, and --from packs files in
// pieces (folder_packing.h), so neither holds a file whole. A 32-bit builder
// short of address space refuses with that reason.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "folder_archive.h"
#include "folder_packing.h"
#include "host_files.h"
#include "installer_image.h"
#include "installer_inspection.h"
#include "progress_line.h"
#include "worker_threads.h"

namespace {

constexpr int kRefused = 1;
constexpr int kUsageError = 2;
// Installers are built once and fetched many times: the smallest output.
constexpr int kDefaultLevel = 9;
// Each thread adds a piece's buffers and a deflate stream, about 3 MB.
constexpr unsigned kMostThreads = 64;

const char kUsage[] =
    "usage: mkinstaller --stub STUB (--from DIR [--level 0-9] [--threads N] "
    "[--progress | --quiet] | --archive PAYLOAD.zip) [--setup NAME] [--install-dir DIR] "
    "-o OUT.exe | mkinstaller --inspect FILE.exe";

struct CommandLine {
  std::optional<std::string> stub;
  std::optional<std::string> archive;
  std::optional<std::string> folder;
  std::optional<std::string> level;
  std::optional<std::string> threads;
  bool progress = false, quiet = false;
  std::optional<std::string> setupCommand;
  std::optional<std::string> installDirectory;
  std::optional<std::string> output;
  std::optional<std::string> inspect;
};

int Refuse(int exitCode, const std::string& problem) {
  std::fprintf(stderr, "mkinstaller: %s\n", problem.c_str());
  return exitCode;
}

// Every option but the two flags takes a value, and each may appear once.
// Returns the problem.
std::string ParseCommandLine(int argc, char** argv, CommandLine& line) {
  const struct {
    const char* name;
    std::optional<std::string> CommandLine::*value;
  } kOptions[] = {
      {"--stub", &CommandLine::stub},
      {"--archive", &CommandLine::archive},
      {"--from", &CommandLine::folder},
      {"--level", &CommandLine::level},
      {"--threads", &CommandLine::threads},
      {"--setup", &CommandLine::setupCommand},
      {"--install-dir", &CommandLine::installDirectory},
      {"-o", &CommandLine::output},
      {"--inspect", &CommandLine::inspect},
  };
  const struct {
    const char* name;
    bool CommandLine::*set;
  } kFlags[] = {{"--progress", &CommandLine::progress}, {"--quiet", &CommandLine::quiet}};
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    bool* flag = nullptr;
    for (const auto& each : kFlags) {
      if (argument == each.name) flag = &(line.*each.set);
    }
    if (flag != nullptr) {
      if (*flag) return "option " + argument + " given twice";
      *flag = true;
      continue;
    }
    std::optional<std::string>* value = nullptr;
    for (const auto& option : kOptions) {
      if (argument == option.name) value = &(line.*option.value);
    }
    if (value == nullptr) {
      const bool looksLikeOption = argument.size() > 1 && argument[0] == '-';
      return (looksLikeOption ? "unknown option '" : "unexpected argument '") + argument + "'";
    }
    if (value->has_value()) return "option " + argument + " given twice";
    if (i + 1 == argc) return "option " + argument + " needs a value";
    *value = argv[++i];
  }
  if (line.inspect) {
    const bool alone = !line.stub && !line.archive && !line.folder && !line.level &&
                       !line.threads && !line.progress && !line.quiet && !line.setupCommand &&
                       !line.installDirectory && !line.output;
    return alone ? "" : "--inspect takes no other option";
  }
  if (!line.stub) return "missing --stub";
  if (line.archive && line.folder) return "--from and --archive exclude each other";
  if (!line.archive && !line.folder) return "missing --archive or --from";
  if (line.level && !line.folder) return "--level needs --from";
  if (line.threads && !line.folder) return "--threads needs --from";
  if ((line.progress || line.quiet) && !line.folder) {
    return std::string(line.progress ? "--progress" : "--quiet") + " needs --from";
  }
  if (line.progress && line.quiet) return "--progress and --quiet exclude each other";
  if (line.threads) {
    const std::string& text = *line.threads;
    const bool digits = !text.empty() && text.size() <= 2 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(text) < 1 || std::stoi(text) > static_cast<int>(kMostThreads)) {
      return "--threads takes a number from 1 to " + std::to_string(kMostThreads);
    }
  }
  if (line.level && (line.level->size() != 1 || (*line.level)[0] < '0' || (*line.level)[0] > '9')) {
    return "--level takes a digit from 0 to 9";
  }
  if (!line.output) return "missing -o";
  return "";
}

// SOURCE_DATE_EPOCH, when set: the time every entry gets, in seconds since
// 1970 (UTC). Returns the problem when it is set but not such a number.
std::string SourceDateEpoch(std::optional<int64_t>& seconds) {
  const char* value = std::getenv("SOURCE_DATE_EPOCH");
  if (value == nullptr) return "";
  const std::string text = value;
  const bool digits = text.find_first_not_of("0123456789") == std::string::npos;
  if (text.empty() || text.size() > 18 || !digits) {
    return "SOURCE_DATE_EPOCH is not a number of seconds: '" + text + "'";
  }
  seconds = std::stoll(text);
  return "";
}

// Lists and checks the folder, then packs it.
std::string BuildFromFolder(const CommandLine& line, const InstallerValues& values,
                            const Bytes& stub, OutputFile& output) {
  PackOptions options;
  options.level = line.level ? (*line.level)[0] - '0' : kDefaultLevel;
  options.threads = line.threads ? static_cast<unsigned>(std::stoi(*line.threads))
                                 : std::min(CoreCount(), kMostThreads);
  options.progress = line.progress || (!line.quiet && ErrorsGoToTerminal());
  std::string problem = SourceDateEpoch(options.fixedTime);
  std::vector<TreeItem> items;
  if (problem.empty()) problem = ListTree(*line.folder, items);
  if (problem.empty()) {
    problem = CheckTree(items, ExtractionDirectoryAllowance(values.installDirectory),
                        SetupProgramName(values.setupCommand));
  }
  if (problem.empty()) problem = PackFolder(items, options, stub, *line.output, output);
  return problem;
}

// The offset of the last end-record signature in `file` with the record's
// 22 bytes of room, searched from the end in 64 KB pieces; -1 when none.
int64_t FindEndRecord(InputFile& file, std::string& problem) {
  constexpr size_t kRecordSize = 22, kWindow = 1 << 16;
  static const uint8_t kSignature[4] = {0x50, 0x4B, 0x05, 0x06};
  if (file.size < kRecordSize) return -1;
  // A signature must end by `end`; each window overlaps the next by 3 bytes.
  uint64_t end = file.size - kRecordSize + 4;
  Bytes window(kWindow);
  while (end >= 4) {
    const uint64_t start = end > kWindow ? end - kWindow : 0;
    size_t got = 0;
    problem = ReadInput(file, start, window.data(), static_cast<size_t>(end - start), got);
    if (!problem.empty()) return -1;
    if (got != end - start) {
      problem = "archive '" + file.path + "' changed while it was read";
      return -1;
    }
    for (size_t at = got - 3; at-- > 0;) {
      if (std::equal(kSignature, kSignature + 4, window.begin() + at)) {
        return static_cast<int64_t>(start + at);
      }
    }
    if (start == 0) break;
    end = start + 3;
  }
  return -1;
}

// Checks that the file at `path` holds an end record, then writes `stub`
// and the file into a new `output`, in pieces.
std::string BuildFromArchive(const std::string& path, const Bytes& stub,
                             const std::string& target, OutputFile& output) {
  InputFile file;
  std::string problem = OpenInput(path, "archive", file);
  if (problem.empty() && FindEndRecord(file, problem) < 0 && problem.empty()) {
    problem = "archive '" + path + "' is not a ZIP file (no end-of-central-directory record)";
  }
  if (problem.empty()) problem = CreateOutput(target, output);
  if (problem.empty()) problem = WriteOutput(output, stub);
  Bytes buffer(1 << 20);
  for (uint64_t done = 0; problem.empty() && done < file.size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(file.size - done, buffer.size()));
    size_t got = 0;
    problem = ReadInput(file, done, buffer.data(), want, got);
    if (problem.empty() && got != want) problem = "archive '" + path + "' changed while it was read";
    if (problem.empty()) problem = WriteOutput(output, buffer.data(), got);
    done += got;
  }
  return problem;
}

int Inspect(const std::string& path) {
  Bytes image;
  const std::string problem = ReadWholeFile(path, "installer", image);
  if (!problem.empty()) return Refuse(kRefused, problem);
  const Inspection inspection = InspectInstaller(image);
  for (const std::string& line : inspection.lines) std::printf("%s\n", line.c_str());
  std::printf("consistent: %s\n", inspection.problems.empty() ? "yes" : "no");
  std::fflush(stdout);
  for (const std::string& each : inspection.problems) Refuse(kRefused, each);
  return inspection.problems.empty() ? 0 : kRefused;
}

int Run(int argc, char** argv) {
  if (argc == 1) return Refuse(kUsageError, kUsage);
  CommandLine line;
  std::string problem = ParseCommandLine(argc, argv, line);
  if (!problem.empty()) return Refuse(kUsageError, problem + "; " + kUsage);
  if (line.inspect) return Inspect(*line.inspect);

  InstallerValues values;
  values.setupCommand = line.setupCommand.value_or("SETUP.EXE");
  values.installDirectory = line.installDirectory;
  problem = SetupCommandProblem(values.setupCommand);
  if (problem.empty() && values.installDirectory) {
    problem = InstallDirectoryProblem(*values.installDirectory);
  }
  if (!problem.empty()) return Refuse(kRefused, problem);

  // Replacing an input would destroy it before it is read whole; an output
  // inside the folder would go into the next installer made from it.
  if (SameFile(*line.output, *line.stub)) return Refuse(kRefused, "output is the stub file");
  if (line.archive && SameFile(*line.output, *line.archive)) {
    return Refuse(kRefused, "output is the archive file");
  }
  if (line.folder && LiesInside(*line.output, *line.folder)) {
    return Refuse(kRefused, "output lies inside the folder to pack");
  }

  Bytes stub;
  OutputFile output;
  problem = ReadWholeFile(*line.stub, "stub", stub);
  if (problem.empty()) problem = PatchStub(stub, values);
  if (problem.empty() && line.archive) {
    problem = BuildFromArchive(*line.archive, stub, *line.output, output);
  }
  if (problem.empty() && line.folder) problem = BuildFromFolder(line, values, stub, output);
  if (problem.empty()) problem = CommitOutput(output);
  if (!problem.empty()) return Refuse(kRefused, problem);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return Refuse(kRefused, "out of memory: the stub and an installer inspected are held in "
                            "memory whole (on 32-bit Windows use the 64-bit mkinstaller)");
  }
}
