// mkinstaller: makes an installer from the stub and a folder or a ZIP
// archive, and explains a finished one.
//
//   mkinstaller [--stub STUB] --from DIR [--method deflate|lzma] [--level 0-9]
//               [--threads N] [--progress | --quiet] [--setup NAME]
//               [--install-dir DIR] [RESOURCES] -o OUT.exe
//   mkinstaller [--stub STUB] --archive PAYLOAD.zip [--setup NAME]
//               [--install-dir DIR] [RESOURCES] -o OUT.exe
//   mkinstaller --inspect [--json] FILE.exe
//   mkinstaller --help | --version [--stub STUB]
//
// RESOURCES: [--icon FILE.ico] [--version-info KEY=VALUE]... [--elevation
// LEVEL]; any of them rebuilds the stub's resource section before the
// fields are patched.
//
// Owns the command line and the order of the work: every check runs before
// anything is written, and the output appears whole or not at all. A refused
// run prints one line "mkinstaller: <problem>" on stderr and exits with 2 for
// a usage error, 1 for any other (usage.h). --inspect prints its report on
// stdout and exits with 1, each problem on a line of stderr, when the
// installer is not consistent. Without --stub the installed stub is used
// (installed_stub.h). The stub is held in memory whole (and so is an
// installer inspected); a given archive is copied in pieces, and --from
// packs files in pieces (folder_packing.h), so neither holds a file whole. A
// 32-bit builder short of address space refuses with that reason.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive_seal.h"
#include "folder_archive.h"
#include "folder_packing.h"
#include "host_files.h"
#include "installer_image.h"
#include "inspection_json.h"
#include "installed_stub.h"
#include "installer_inspection.h"
#include "progress_line.h"
#include "stub_resources.h"
#include "stub_version.h"
#include "usage.h"
#include "utf8_arguments.h"
#include "worker_threads.h"

namespace {

constexpr int kRefused = kExitRefused;
constexpr int kUsageError = kExitUsageError;
// Installers are built once and fetched many times: the smallest output.
constexpr int kDefaultLevel = 9;
// Each thread adds a piece's buffers and a deflate stream, about 3 MB.
constexpr unsigned kMostThreads = 64;

struct CommandLine {
  std::optional<std::string> stub;
  std::optional<std::string> archive;
  std::optional<std::string> folder;
  std::optional<std::string> method;
  std::optional<std::string> level;
  std::optional<std::string> threads;
  bool progress = false, quiet = false;
  std::optional<std::string> setupCommand;
  std::optional<std::string> installDirectory;
  std::optional<std::string> output;
  std::optional<std::string> icon;
  std::optional<std::string> elevation;
  std::vector<std::string> versionInfo;  // the one option that may repeat
  std::optional<std::string> inspect;  // the file, the one argument that is no option
  bool inspecting = false, json = false, help = false, version = false;
};

int Refuse(int exitCode, const std::string& problem) {
  std::fprintf(stderr, "mkinstaller: %s\n", problem.c_str());
  return exitCode;
}

// --inspect, --json, --help, --version, --progress and --quiet stand
// alone; every other option takes a value. Each but --version-info may
// appear once. The file to inspect is the one argument that is not an
// option. Returns the problem.
std::string ParseCommandLine(int argc, char** argv, CommandLine& line) {
  const struct {
    const char* name;
    std::optional<std::string> CommandLine::*value;
  } kOptions[] = {
      {"--stub", &CommandLine::stub},
      {"--archive", &CommandLine::archive},
      {"--from", &CommandLine::folder},
      {"--method", &CommandLine::method},
      {"--level", &CommandLine::level},
      {"--threads", &CommandLine::threads},
      {"--setup", &CommandLine::setupCommand},
      {"--install-dir", &CommandLine::installDirectory},
      {"-o", &CommandLine::output},
      {"--icon", &CommandLine::icon},
      {"--elevation", &CommandLine::elevation},
  };
  const struct {
    const char* name;
    bool CommandLine::*value;
  } kFlags[] = {
      {"--inspect", &CommandLine::inspecting},
      {"--json", &CommandLine::json},
      {"--help", &CommandLine::help},
      {"--version", &CommandLine::version},
      {"--progress", &CommandLine::progress},
      {"--quiet", &CommandLine::quiet},
  };
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    bool* flag = nullptr;
    for (const auto& option : kFlags) {
      if (argument == option.name) flag = &(line.*option.value);
    }
    if (flag != nullptr) {
      if (*flag) return "option " + argument + " given twice";
      *flag = true;
      continue;
    }
    if (argument == "--version-info" && i + 1 < argc) {
      line.versionInfo.push_back(Utf8Argument(argc, argv, ++i));
      continue;
    }
    std::optional<std::string>* value = nullptr;
    for (const auto& option : kOptions) {
      if (argument == option.name) value = &(line.*option.value);
    }
    const bool looksLikeOption = argument.size() > 1 && argument[0] == '-';
    if (argument == "--version-info") return "option --version-info needs a value";
    if (value == nullptr && !looksLikeOption && !line.inspect) {
      line.inspect = argument;
      continue;
    }
    if (value == nullptr) {
      return (looksLikeOption ? "unknown option '" : "unexpected argument '") + argument + "'";
    }
    if (value->has_value()) return "option " + argument + " given twice";
    if (i + 1 == argc) return "option " + argument + " needs a value";
    *value = argv[++i];
  }
  if (line.inspect && !line.inspecting) return "unexpected argument '" + *line.inspect + "'";
  if (line.inspecting && !line.inspect) return "--inspect needs a file";
  const bool noBuildOption = !line.archive && !line.folder && !line.level && !line.threads &&
                             !line.method &&
                             !line.progress && !line.quiet && !line.setupCommand &&
                             !line.installDirectory && !line.output && !line.icon &&
                             !line.elevation && line.versionInfo.empty();
  if (line.help) {
    const bool alone = noBuildOption && !line.stub && !line.inspect && !line.json && !line.version;
    return alone ? "" : "--help takes no other option";
  }
  if (line.version) {
    const bool alone = noBuildOption && !line.inspect && !line.json;
    return alone ? "" : "--version takes no other option but --stub";
  }
  if (line.json && !line.inspect) return "--json needs --inspect";
  if (line.inspect) {
    return noBuildOption && !line.stub ? "" : "--inspect takes no other option but --json";
  }
  if (line.archive && line.folder) return "--from and --archive exclude each other";
  if (!line.archive && !line.folder) return "missing --archive or --from";
  if (line.method && !line.folder) return "--method needs --from";
  if (line.method && *line.method != "deflate" && *line.method != "lzma") {
    return "--method takes deflate or lzma";
  }
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
  if (line.elevation) return ExecutionLevelProblem(*line.elevation);
  return "";
}

// The resource options read and checked into `choices`; `any` tells
// whether one was given. Returns the problem.
std::string ReadResourceChoices(const CommandLine& line, ResourceChoices& choices, bool& any) {
  any = line.icon || line.elevation || !line.versionInfo.empty();
  for (const std::string& option : line.versionInfo) {
    const std::string problem = AddVersionString(option, choices.versionStrings);
    if (!problem.empty()) return problem;
  }
  choices.executionLevel = line.elevation.value_or("");
  if (!line.icon) return "";
  Bytes icon;
  std::string problem = ReadWholeFile(*line.icon, "icon file", icon);
  if (problem.empty()) problem = ReadIconFile(icon, choices.icon);
  return problem.empty() ? "" : "'" + *line.icon + "': " + problem;
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
  options.method = line.method == "lzma" ? kLzma : kDeflated;
  options.level = line.level ? (*line.level)[0] - '0' : kDefaultLevel;
  options.threads = line.threads ? static_cast<unsigned>(std::stoi(*line.threads))
                                 : std::min(CoreCount(), kMostThreads);
  options.progress = line.progress || (!line.quiet && ErrorsGoToTerminal());
  std::string problem = SourceDateEpoch(options.fixedTime);
  std::vector<TreeItem> items;
  if (problem.empty()) problem = ListTree(*line.folder, items);
  if (problem.empty()) {
    std::set<std::string> files;
    for (const TreeItem& item : items) {
      if (!item.isDirectory) files.insert(WindowsNameKey(item.name));
    }
    const SetupStart setup = SplitSetupCommand(values.setupCommand, [&](const std::string& name) {
      return files.count(WindowsNameKey(name)) > 0;
    });
    problem = CheckTree(items, ExtractionDirectoryAllowance(values.installDirectory),
                        setup.program);
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

// --inspect: the report, as lines or as one JSON object, on stdout; the
// problems also on stderr, so a script that checks only the exit code still
// logs why.
int Inspect(const std::string& path, bool json) {
  Bytes image;
  const std::string problem = ReadWholeFile(path, "installer", image);
  if (!problem.empty()) return Refuse(kRefused, problem);
  const Inspection inspection = InspectInstaller(image);
  if (json) {
    std::printf("%s\n", InspectionJson(inspection).c_str());
  } else {
    for (const std::string& line : InspectionLines(inspection)) std::printf("%s\n", line.c_str());
    std::printf("consistent: %s\n", inspection.problems.empty() ? "yes" : "no");
  }
  std::fflush(stdout);
  for (const std::string& each : inspection.problems) Refuse(kRefused, each);
  return inspection.problems.empty() ? 0 : kRefused;
}

// The given stub's path, or the installed one's; the problem when there is
// none.
std::string StubPath(const CommandLine& line, std::string& path) {
  if (!line.stub) return FindInstalledStub(path);
  path = *line.stub;
  return "";
}

// --version: this program's version and the one of the stub a build would
// use. A missing installed stub is reported there; a given one that cannot
// be read is refused.
int Version(const CommandLine& line) {
  std::string path, version;
  std::string problem = StubPath(line, path);
  if (problem.empty()) {
    Bytes stub;
    problem = ReadWholeFile(path, "stub", stub);
    if (!problem.empty() && line.stub) return Refuse(kRefused, problem);
    version = StubVersion(stub);
  }
  std::fputs(VersionReport(path, version, problem).c_str(), stdout);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc == 1) return Refuse(kUsageError, kUsageLine);
  CommandLine line;
  std::string problem = ParseCommandLine(argc, argv, line);
  if (!problem.empty()) return Refuse(kUsageError, problem + "; " + kUsageLine);
  if (line.help) {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (line.version) return Version(line);
  if (line.inspect) return Inspect(*line.inspect, line.json);

  InstallerValues values;
  values.setupCommand = line.setupCommand.value_or("SETUP.EXE");
  values.installDirectory = line.installDirectory;
  problem = SetupCommandProblem(values.setupCommand);
  if (problem.empty() && values.installDirectory) {
    problem = InstallDirectoryProblem(*values.installDirectory);
  }
  ResourceChoices choices;
  bool rebuildResources = false;
  if (problem.empty()) problem = ReadResourceChoices(line, choices, rebuildResources);
  if (!problem.empty()) return Refuse(kRefused, problem);

  std::string stubPath;
  problem = StubPath(line, stubPath);
  if (!problem.empty()) return Refuse(kRefused, problem);

  // Replacing an input would destroy it before it is read whole; an output
  // inside the folder would go into the next installer made from it.
  if (SameFile(*line.output, stubPath)) return Refuse(kRefused, "output is the stub file");
  if (line.archive && SameFile(*line.output, *line.archive)) {
    return Refuse(kRefused, "output is the archive file");
  }
  if (line.folder && LiesInside(*line.output, *line.folder)) {
    return Refuse(kRefused, "output lies inside the folder to pack");
  }

  Bytes stub;
  OutputFile output;
  problem = ReadWholeFile(stubPath, "stub", stub);
  if (problem.empty() && rebuildResources) problem = RebuildResources(stub, choices);
  if (problem.empty()) problem = PatchStub(stub, values);
  // Over the stub as it goes out, fields patched; signing recomputes it
  // over the whole installer.
  if (problem.empty() && rebuildResources) WritePeChecksum(stub);
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
