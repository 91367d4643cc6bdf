// mkinstaller: makes an installer from the stub and a folder or a ZIP
// archive, and explains a finished one.
//
//   mkinstaller [--stub STUB] --from DIR [--method deflate|lzma] [--level 0-9]
//               [--threads N] [--progress | --quiet] [--follow-links] [--wait]
//               [--pass-arguments] [--setup NAME] [--install-dir DIR]
//               [RESOURCES] -o OUT.exe
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
// the folder is packed, and the output appears whole or not at all. One
// rule for the exit code (usage.h): 2 when the command line (or
// SOURCE_DATE_EPOCH) is wrong whatever the files hold, "mkinstaller:
// <problem>" and a pointer to --help on stderr; 1 when a file is refused or
// cannot be read or written, one line "mkinstaller: <problem>" for each
// problem (a folder's all at once, up to kMostProblemsShown). A warning
// ("mkinstaller: warning: ...") leaves the exit code 0. --inspect prints its
// report on stdout and exits with 1, each problem on a line of stderr, when
// the installer is not consistent. Without --stub the installed stub is
// used (installed_stub.h). The stub is held in memory whole (and so is an
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
#include <system_error>
#include <vector>

#include "archive_seal.h"
#include "launcher/archive_seal.h"
#include "folder_archive.h"
#include "folder_packing.h"
#include "host_files.h"
#include "installer_image.h"
#include "inspection_json.h"
#include "installed_stub.h"
#include "installer_inspection.h"
#include "lzma_compressor.h"
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
// A folder's problems are shown together, so that one run finds them all,
// but not thousands of lines of them.
constexpr size_t kMostProblemsShown = 20;

struct CommandLine {
  std::optional<std::string> stub;
  std::optional<std::string> archive;
  std::optional<std::string> folder;
  std::optional<std::string> method;
  std::optional<std::string> level;
  std::optional<std::string> threads;
  bool progress = false, quiet = false, followLinks = false;
  bool wait = false, passArguments = false;
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

int UsageError(const std::string& problem) {
  Refuse(kUsageError, problem);
  std::fputs(kTryHelpLine, stderr);
  return kUsageError;
}

// Each problem on its line, up to kMostProblemsShown and a count of the rest.
int RefuseAll(const std::vector<std::string>& problems) {
  for (size_t i = 0; i < problems.size() && i < kMostProblemsShown; ++i) {
    Refuse(kRefused, problems[i]);
  }
  if (problems.size() > kMostProblemsShown) {
    Refuse(kRefused, "and " + std::to_string(problems.size() - kMostProblemsShown) +
                         " more problems (" + std::to_string(problems.size()) + " in all)");
  }
  return kRefused;
}

void Warn(const std::string& warning) {
  std::fprintf(stderr, "mkinstaller: warning: %s\n", warning.c_str());
}

// --inspect, --json, --help, --version, --progress, --quiet,
// --follow-links, --wait and --pass-arguments stand alone; every other
// option takes a value. Each but --version-info may appear once, under any
// of its names. The file to inspect is the one argument that is not an
// option. Arguments are read as UTF-8. Returns the problem.
std::string ParseCommandLine(int argc, char** argv, CommandLine& line) {
  const struct {
    const char* name;
    const char* otherName;
    std::optional<std::string> CommandLine::*value;
  } kOptions[] = {
      {"--stub", nullptr, &CommandLine::stub},
      {"--archive", nullptr, &CommandLine::archive},
      {"--from", nullptr, &CommandLine::folder},
      {"--method", nullptr, &CommandLine::method},
      {"--level", nullptr, &CommandLine::level},
      {"--threads", nullptr, &CommandLine::threads},
      {"--setup", nullptr, &CommandLine::setupCommand},
      {"--install-dir", nullptr, &CommandLine::installDirectory},
      {"-o", "--output", &CommandLine::output},
      {"--icon", nullptr, &CommandLine::icon},
      {"--elevation", nullptr, &CommandLine::elevation},
  };
  const struct {
    const char* name;
    const char* otherName;
    bool CommandLine::*value;
  } kFlags[] = {
      {"--inspect", nullptr, &CommandLine::inspecting},
      {"--json", nullptr, &CommandLine::json},
      {"--help", "-h", &CommandLine::help},
      {"--version", "-V", &CommandLine::version},
      {"--progress", nullptr, &CommandLine::progress},
      {"--quiet", nullptr, &CommandLine::quiet},
      {"--follow-links", nullptr, &CommandLine::followLinks},
      {"--wait", nullptr, &CommandLine::wait},
      {"--pass-arguments", nullptr, &CommandLine::passArguments},
  };
  const auto named = [](const std::string& argument, const char* name, const char* otherName) {
    return argument == name || (otherName != nullptr && argument == otherName);
  };
  for (int i = 1; i < argc; ++i) {
    const std::string argument = Utf8Argument(argc, argv, i);
    bool* flag = nullptr;
    for (const auto& option : kFlags) {
      if (named(argument, option.name, option.otherName)) flag = &(line.*option.value);
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
      if (named(argument, option.name, option.otherName)) value = &(line.*option.value);
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
    *value = Utf8Argument(argc, argv, ++i);
  }
  if (line.inspect && !line.inspecting) return "unexpected argument '" + *line.inspect + "'";
  if (line.inspecting && !line.inspect) return "--inspect needs a file";
  const bool noBuildOption = !line.archive && !line.folder && !line.method && !line.level &&
                             !line.threads &&
                             !line.progress && !line.quiet && !line.followLinks && !line.wait &&
                             !line.passArguments && !line.setupCommand &&
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
  // What only packing a folder does, and the options the seal records,
  // which only an archive packed by --from carries (--archive appends one
  // unchanged).
  const struct {
    bool given;
    const char* name;
    bool inSeal;
  } kFolderOnly[] = {{line.method.has_value(), "--method", false},
                     {line.level.has_value(), "--level", false},
                     {line.threads.has_value(), "--threads", false},
                     {line.progress, "--progress", false},
                     {line.quiet, "--quiet", false},
                     {line.followLinks, "--follow-links", false},
                     {line.wait, "--wait", true},
                     {line.passArguments, "--pass-arguments", true}};
  for (const auto& option : kFolderOnly) {
    if (!option.given || line.folder) continue;
    return std::string(option.name) + " needs --from" +
           (option.inSeal ? ": the installer reads it from the archive's seal, which only an "
                            "archive packed by --from carries (--archive appends one unchanged)"
                          : "");
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
  if (line.method && *line.method != "deflate" && *line.method != "lzma") {
    return "--method takes deflate or lzma";
  }
  if (line.level && (line.level->size() != 1 || (*line.level)[0] < '0' || (*line.level)[0] > '9')) {
    return "--level takes a digit from 0 to 9";
  }
  if (!line.output) return "missing -o";
  if (line.output->empty()) return "-o needs a file name, not an empty one";
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

// The values of a build that the command line alone decides: the fields,
// the version strings, the execution level, the packing's settings. Returns
// the problem (a usage error).
std::string ReadValues(const CommandLine& line, InstallerValues& values, ResourceChoices& choices,
                       PackOptions& packing) {
  values.setupCommand = line.setupCommand.value_or("SETUP.EXE");
  values.installDirectory = line.installDirectory;
  std::string problem = SetupCommandProblem(values.setupCommand);
  if (problem.empty() && values.installDirectory) {
    problem = InstallDirectoryProblem(*values.installDirectory);
  }
  for (const std::string& option : line.versionInfo) {
    if (problem.empty()) problem = AddVersionString(option, choices.versionStrings);
  }
  if (problem.empty() && line.elevation) problem = ExecutionLevelProblem(*line.elevation);
  choices.executionLevel = line.elevation.value_or("");
  if (problem.empty() && line.folder) problem = SourceDateEpoch(packing.fixedTime);
  packing.method = line.method == "lzma" ? kLzma : kDeflated;
  packing.level = line.level ? (*line.level)[0] - '0' : kDefaultLevel;
  packing.threads = line.threads ? static_cast<unsigned>(std::stoi(*line.threads))
                                 : std::min(CoreCount(), kMostThreads);
  packing.progress = line.progress || (!line.quiet && ErrorsGoToTerminal());
  packing.sealOptions = static_cast<uint8_t>((line.wait ? kOptionWait : 0) |
                                             (line.passArguments ? kOptionPassArguments : 0));
  return problem;
}

// Replacing an input would destroy it before it is read whole, and an
// output inside the folder would go into the next installer made from it.
// Returns the problem.
std::string OutputProblem(const CommandLine& line, const std::string& stubPath) {
  const std::string& output = *line.output;
  const struct {
    const std::string* path;
    const char* what;
  } inputs[] = {{&stubPath, "the stub file"},
                {line.archive ? &*line.archive : nullptr, "the archive file"},
                {line.icon ? &*line.icon : nullptr, "the icon file"}};
  for (const auto& input : inputs) {
    if (input.path && SameFile(output, *input.path)) return std::string("output is ") + input.what;
  }
  if (line.folder && (SameFile(output, *line.folder) || LiesInside(output, *line.folder))) {
    return "output lies inside the folder to pack";
  }
  std::error_code error;
  if (std::filesystem::is_directory(HostPath(output), error)) {
    return "output '" + output + "' is a folder";
  }
  return "";
}

// Every file of the folder opened once, so that one that cannot be read
// is named before the work rather than after it; not those refused by name
// already (Windows cannot open a name that holds a '?').
void CheckReadable(const std::vector<TreeItem>& items, std::vector<std::string>& problems) {
  for (const TreeItem& item : items) {
    if (item.isDirectory || item.refused) continue;
    InputFile file;
    const std::string problem = OpenInput(item.path, "file", file);
    if (!problem.empty()) problems.push_back(problem);
  }
}

// Lists and checks the folder, every problem of it at once, then packs it.
// Returns the problems.
std::vector<std::string> BuildFromFolder(const CommandLine& line, const InstallerValues& values,
                                         const PackOptions& options, const Bytes& stub,
                                         OutputFile& output) {
  std::vector<std::string> problems;
  std::vector<TreeItem> items;
  ListTree(*line.folder, line.followLinks, items, problems);
  if (items.empty() && !problems.empty()) return problems;  // the folder itself
  CheckTree(items, ExtractionDirectoryAllowance(values.installDirectory), problems);
  if (items.empty()) return problems;
  std::set<std::string> files;
  for (const TreeItem& item : items) {
    if (!item.isDirectory) files.insert(WindowsNameKey(item.name));
  }
  const SetupModes setup = ReadSetupModes(values.setupCommand, [&](const std::string& name) {
    return files.count(WindowsNameKey(name)) > 0;
  });
  if (!setup.install.found && !setup.beside.found) {
    problems.push_back("setup program '" + setup.install.program +
                       "' is not among the folder's files");
  }
  CheckReadable(items, problems);
  if (!problems.empty()) return problems;
  const std::string warning = SetupModesWarning(values.setupCommand, setup);
  if (!warning.empty()) Warn(warning);
  const std::string problem = PackFolder(items, options, stub, output);
  if (!problem.empty()) problems.push_back(problem);
  return problems;
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
// and the file into `output`, in pieces.
std::string BuildFromArchive(const std::string& path, const Bytes& stub, OutputFile& output) {
  InputFile file;
  std::string problem = OpenInput(path, "archive", file);
  if (problem.empty() && FindEndRecord(file, problem) < 0 && problem.empty()) {
    problem = "archive '" + path + "' is not a ZIP file (no end-of-central-directory record)";
  }
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
// logs why, and so are the warnings. A file that cannot be read still gives
// a JSON object, with the reason among its problems.
int Inspect(const std::string& path, bool json) {
  Bytes image;
  const std::string problem = ReadWholeFile(path, "installer", image);
  Inspection inspection;
  if (problem.empty()) {
    inspection = InspectInstaller(image);
  } else {
    inspection.problems.push_back(problem);
  }
  if (json) {
    std::printf("%s\n", InspectionJson(inspection).c_str());
  } else if (problem.empty()) {
    for (const std::string& line : InspectionLines(inspection)) std::printf("%s\n", line.c_str());
    std::printf("consistent: %s\n", inspection.problems.empty() ? "yes" : "no");
  }
  std::fflush(stdout);
  for (const std::string& each : inspection.problems) Refuse(kRefused, each);
  for (const std::string& each : inspection.warnings) Warn(each);
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
  if (argc == 1) {
    return UsageError("no mode given (--from, --archive, --inspect, --help or --version)");
  }
  CommandLine line;
  std::string problem = ParseCommandLine(argc, argv, line);
  if (!problem.empty()) return UsageError(problem);
  if (line.help) {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (line.version) return Version(line);
  if (line.inspect) return Inspect(*line.inspect, line.json);

  InstallerValues values;
  ResourceChoices choices;
  PackOptions packing;
  problem = ReadValues(line, values, choices, packing);
  if (!problem.empty()) return UsageError(problem);
  // A builder without an LZMA compressor (the Windows one) says so first.
  if (packing.method == kLzma && !LzmaUnavailable().empty()) {
    return Refuse(kRefused, LzmaUnavailable());
  }

  // Files from here on: every one is looked at before the folder is packed.
  std::string stubPath;
  problem = StubPath(line, stubPath);
  if (problem.empty()) problem = OutputProblem(line, stubPath);
  Bytes stub;
  if (problem.empty()) problem = ReadWholeFile(stubPath, "stub", stub);
  if (problem.empty() && line.icon) {
    Bytes icon;
    problem = ReadWholeFile(*line.icon, "icon file", icon);
    if (problem.empty()) problem = ReadIconFile(icon, choices.icon);
    if (!problem.empty()) problem = "'" + *line.icon + "': " + problem;
  }
  const bool rebuildResources = line.icon || line.elevation || !line.versionInfo.empty();
  if (problem.empty() && rebuildResources) problem = RebuildResources(stub, choices);
  if (problem.empty()) problem = PatchStub(stub, values);
  // Over the stub as it goes out, fields patched; signing recomputes it
  // over the whole installer.
  if (problem.empty() && rebuildResources) WritePeChecksum(stub);
  OutputFile output;
  if (problem.empty()) problem = CreateOutput(*line.output, output);
  if (!problem.empty()) return Refuse(kRefused, problem);

  if (line.archive) {
    const std::string warning = SetupModesWarning(
        values.setupCommand, ReadSetupModes(values.setupCommand, [](const std::string& name) {
          // The archive's names are not read; Windows allows neither mark in a name.
          return name.find_first_of("*|") == std::string::npos;
        }));
    if (!warning.empty()) Warn(warning);
    problem = BuildFromArchive(*line.archive, stub, output);
    if (!problem.empty()) return Refuse(kRefused, problem);
  } else {
    const std::vector<std::string> problems = BuildFromFolder(line, values, packing, stub, output);
    if (!problems.empty()) return RefuseAll(problems);
  }
  problem = CommitOutput(output);
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
