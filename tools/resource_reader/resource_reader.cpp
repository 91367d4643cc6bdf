// resource_reader: prints what Windows itself reads from an executable's
// resources, so the Wine tests check a finished installer with something
// that is not the builder's own parser:
//
//   resource_reader.exe FILE
//
// One fact a line, on standard output:
//
//   translation=<language><code page>, as 8 hex digits ("040904b0")
//   string <Name>=<value>   every string of the first translation that is
//                           one of the usual fields, in the ANSI code page
//   fixed file=<a.b.c.d>    the numeric file version
//   fixed product=<a.b.c.d> the numeric product version
//   icons=<n>               the icons ExtractIconExA counts
//   large=<n> small=<n>     the large and small icons it extracts of them
//
// GetFileVersionInfoA and VerQueryValueA read the version information,
// ExtractIconExA the icons. Exit code 0 when the file has version
// information, 1 when it has none, 2 for a wrong command line.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

namespace {

// The fields a publisher can set; VerQueryValueA has no way to list a
// table's strings, so each is asked for by name.
const char* const kFields[] = {"FileDescription", "ProductName",      "CompanyName",
                               "LegalCopyright",  "FileVersion",      "ProductVersion",
                               "OriginalFilename", "InternalName",    "Comments"};

void PrintVersion(const char* label, DWORD most, DWORD least) {
  std::printf("fixed %s=%lu.%lu.%lu.%lu\n", label, static_cast<unsigned long>(HIWORD(most)),
              static_cast<unsigned long>(LOWORD(most)), static_cast<unsigned long>(HIWORD(least)),
              static_cast<unsigned long>(LOWORD(least)));
}

bool PrintVersionInformation(const char* file) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  if (size == 0) return false;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file, 0, size, block.data())) return false;

  WORD* translation = nullptr;
  UINT length = 0;
  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translation), &length) &&
      length >= 4) {
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", translation[0], translation[1]);
    std::printf("translation=%s\n", table);
    for (const char* field : kFields) {
      char query[64];
      std::snprintf(query, sizeof query, "\\StringFileInfo\\%s\\%s", table, field);
      char* value = nullptr;
      if (VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &length)) {
        std::printf("string %s=%s\n", field, value);
      }
    }
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
      length >= sizeof *fixed) {
    PrintVersion("file", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    PrintVersion("product", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  }
  return true;
}

void PrintIcons(const char* file) {
  UINT count = ExtractIconExA(file, -1, nullptr, nullptr, 0);
  std::printf("icons=%u\n", count);
  if (count == 0) return;
  std::vector<HICON> large(count), small(count);
  ExtractIconExA(file, 0, large.data(), small.data(), count);
  UINT largeFound = 0, smallFound = 0;
  for (UINT i = 0; i < count; ++i) {
    if (large[i]) ++largeFound, DestroyIcon(large[i]);
    if (small[i]) ++smallFound, DestroyIcon(small[i]);
  }
  std::printf("large=%u small=%u\n", largeFound, smallFound);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resource_reader.exe FILE\n");
    return 2;
  }
  bool found = PrintVersionInformation(argv[1]);
  PrintIcons(argv[1]);
  return found ? 0 : 1;
}
