// mkinstaller: makes an installer from the stub and a ZIP archive.
//
//   mkinstaller --stub STUB --archive PAYLOAD.zip [--setup NAME]
//               [--install-dir DIR] -o OUT.exe
//
// Owns the command line and the order of the work: every check runs before
// anything is written, and the output appears whole or not at all. A refused
// run prints one line "mkinstaller: <problem>" on stderr and exits with 2 for
// a usage error, 1 for any other.
#include <cstdio>
#include <optional>
#include <string>

#include "host_files.h"
#include "installer_image.h"

namespace {

constexpr int kRefused = 1;
constexpr int kUsageError = 2;

const char kUsage[] =
    "usage: mkinstaller --stub STUB --archive PAYLOAD.zip [--setup NAME] "
    "[--install-dir DIR] -o OUT.exe";

struct CommandLine {
  std::optional<std::string> stub;
  std::optional<std::string> archive;
  std::optional<std::string> setupCommand;
  std::optional<std::string> installDirectory;
  std::optional<std::string> output;
};

int Refuse(int exitCode, const std::string& problem) {
  std::fprintf(stderr, "mkinstaller: %s\n", problem.c_str());
  return exitCode;
}

// Every option takes a value, and each may appear once. Returns the problem.
std::string ParseCommandLine(int argc, char** argv, CommandLine& line) {
  const struct {
    const char* name;
    std::optional<std::string> CommandLine::*value;
  } kOptions[] = {
      {"--stub", &CommandLine::stub},
      {"--archive", &CommandLine::archive},
      {"--setup", &CommandLine::setupCommand},
      {"--install-dir", &CommandLine::installDirectory},
      {"-o", &CommandLine::output},
  };
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
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
  if (!line.stub) return "missing --stub";
  if (!line.archive) return "missing --archive";
  if (!line.output) return "missing -o";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return Refuse(kUsageError, kUsage);
  CommandLine line;
  std::string problem = ParseCommandLine(argc, argv, line);
  if (!problem.empty()) return Refuse(kUsageError, problem + "; " + kUsage);

  InstallerValues values;
  values.setupCommand = line.setupCommand.value_or("SETUP.EXE");
  values.installDirectory = line.installDirectory;
  problem = SetupCommandProblem(values.setupCommand);
  if (problem.empty() && values.installDirectory) {
    problem = InstallDirectoryProblem(*values.installDirectory);
  }
  if (!problem.empty()) return Refuse(kRefused, problem);

  // Replacing an input would destroy it before it is read whole.
  if (SameFile(*line.output, *line.stub)) return Refuse(kRefused, "output is the stub file");
  if (SameFile(*line.output, *line.archive)) return Refuse(kRefused, "output is the archive file");

  Bytes stub, archive;
  problem = ReadWholeFile(*line.stub, "stub", stub);
  if (problem.empty()) problem = ReadWholeFile(*line.archive, "archive", archive);
  if (problem.empty()) problem = PatchStub(stub, values);
  if (problem.empty() && !HasEndOfCentralDirectory(archive)) {
    problem = "archive '" + *line.archive + "' is not a ZIP file (no end-of-central-directory record)";
  }
  if (problem.empty()) problem = ReplaceFile(*line.output, {&stub, &archive});
  if (!problem.empty()) return Refuse(kRefused, problem);
  return 0;
}
