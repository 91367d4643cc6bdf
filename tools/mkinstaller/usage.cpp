// mkinstaller's usage line, help text and version report; see usage.h. The
// help text follows the GNU layout that help2man turns into the man page:
// a "Usage:" block, then sections whose titles end in ':'.
#include "usage.h"

#ifndef ORVANE_VERSION
#error "ORVANE_VERSION comes from the project version (tools/mkinstaller/CMakeLists.txt)"
#endif

const char kUsageLine[] =
    "usage: mkinstaller [--stub STUB] (--from DIR [--method deflate|lzma] [--level 0-9] [--threads N] "
    "[--progress | --quiet] | --archive PAYLOAD.zip) "
    "[--setup NAME] [--install-dir DIR] [--icon FILE.ico] [--version-info KEY=VALUE]... "
    "[--elevation LEVEL] -o OUT.exe | mkinstaller --inspect [--json] FILE.exe "
    "(mkinstaller --help tells more)";

const char kHelpText[] =
    // One line a form: help2man takes each line for one synopsis.
    "Usage: mkinstaller [--stub STUB] --from DIR [--method deflate|lzma] [--level 0-9] [--threads N] [--progress | --quiet] [--setup NAME] [--install-dir DIR] [RESOURCES] -o OUT.exe\n"
    "  or:  mkinstaller [--stub STUB] --archive PAYLOAD.zip [--setup NAME] [--install-dir DIR] [RESOURCES] -o OUT.exe\n"
    "  or:  mkinstaller --inspect [--json] FILE.exe\n"
    "  or:  mkinstaller --help | --version [--stub STUB]\n"
    "Make a self-extracting Windows installer from the orvane stub and a folder or\n"
    "a ZIP archive, or tell what a finished installer holds.\n"
    "\n"
    "Options:\n"
    "  --stub STUB          the stub to build on; default: orvane_stub.exe beside\n"
    "                       mkinstaller, else ../share/orvane/orvane_stub.exe\n"
    "                       relative to it (where the packages install it)\n"
    "  --from DIR           pack every file and folder below DIR, in name order\n"
    "  --method deflate|lzma  with --from: how files are compressed (default\n"
    "                       deflate); lzma makes smaller installers, on Linux only\n"
    "  --level 0-9          deflate level, or liblzma's preset, for --from (0\n"
    "                       stores; default 9)\n"
    "  --threads N          with --from: compress on N threads (1 to 64; default\n"
    "                       the number of cores); the output is the same for any N\n"
    "  --progress           with --from: show the progress line on stderr even\n"
    "                       when it is not a terminal\n"
    "  --quiet              with --from: no progress line, not even on a terminal\n"
    "  --archive FILE.zip   append this ZIP archive unchanged\n"
    "  --setup NAME         the program the installer starts after extracting,\n"
    "                       relative to where it extracts (default SETUP.EXE),\n"
    "                       and its arguments after a blank (\"SETUP.EXE /S\")\n"
    "  --install-dir DIR    extract into DIR (may start with <WINDIR>) instead of\n"
    "                       a new folder in the user's temporary directory\n"
    "  -o OUT.exe           the installer to write; replaced only once complete\n"
    "\n"
    "Resources (RESOURCES; any of them rebuilds the stub's resource section):\n"
    "  --icon FILE.ico      every image of the icon file becomes the installer's icon\n"
    "  --version-info KEY=VALUE\n"
    "                       a version string, repeatable: FileDescription,\n"
    "                       ProductName, CompanyName, LegalCopyright, FileVersion,\n"
    "                       ProductVersion, OriginalFilename, InternalName,\n"
    "                       Comments (VALUE in UTF-8)\n"
    "  --elevation LEVEL    asInvoker (default), highestAvailable or\n"
    "                       requireAdministrator\n"
    "\n"
    "Inspection:\n"
    "  --inspect FILE.exe   print the facts of a finished installer, one a line:\n"
    "                       fields, icon, version strings, execution level,\n"
    "                       sizes, entries per method, setup program and\n"
    "                       arguments, seal, signature, and whether it is\n"
    "                       consistent\n"
    "  --json               with --inspect: the same facts as one JSON object\n"
    "  --help               print this help and exit\n"
    "  --version            print the version of mkinstaller and of the stub it\n"
    "                       would use, and exit\n"
    "\n"
    "Environment:\n"
    "  SOURCE_DATE_EPOCH    with --from: the time (seconds since 1970, UTC) given\n"
    "                       to every entry, for reproducible installers\n"
    "\n"
    "Examples:\n"
    "  mkinstaller --from dist -o setup.exe\n"
    "        pack the folder dist; the installer starts dist's SETUP.EXE\n"
    "  mkinstaller --from dist --setup bin\\install.exe --level 6 -o setup.exe\n"
    "        another setup program, faster packing\n"
    "  mkinstaller --archive payload.zip --install-dir '<WINDIR>\\Tools\\' -o setup.exe\n"
    "        append a ready ZIP archive; extract into the Windows folder's Tools\n"
    "  mkinstaller --inspect --json setup.exe\n"
    "        check a finished installer from a script\n"
    "\n"
    "Exit status:\n"
    "  0    the installer was written; --inspect: the installer is consistent;\n"
    "       --help and --version\n"
    "  1    refused (bad input, no stub, a file that cannot be read or written;\n"
    "       nothing is written); --inspect: not consistent, each reason on stderr\n"
    "  2    usage error: unknown option, missing option or value, an option given\n"
    "       twice, options that do not go together\n";

std::string VersionReport(const std::string& stubPath, const std::string& stubVersion,
                          const std::string& stubProblem) {
  std::string report = "mkinstaller " ORVANE_VERSION "\n";
  if (!stubProblem.empty()) return report + "stub: " + stubProblem + "\n";
  const std::string version = stubVersion.empty() ? "no version (no manifest names one)"
                                                  : "version " + stubVersion;
  return report + "stub: " + stubPath + ", " + version + "\n";
}
