// What `mkinstaller --inspect` tells about a finished installer: its three
// fields, its icon, version strings and execution level, where its archive
// starts and whether the stub-size field says so, the archive's entries,
// the setup program and its arguments, whether the archive's seal is right,
// wrong or missing and the publisher's options it records, and what follows
// the archive (an Authenticode signature). Portable, over the file's bytes
// in memory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "installer_image.h"

// The facts, each present only where the file lets it be read. The text
// report (InspectionLines) and the JSON object (inspection_json.h) are both
// written from them.
struct Inspection {
  std::optional<uint64_t> fileSize;  // none when the file cannot be read
  std::optional<StoredFields> fields;
  // Where the archive starts (the stub's size) and where its end record is.
  std::optional<uint64_t> archiveStart;
  uint64_t endRecord = 0;
  std::optional<bool> stubSizeMatches;  // the stub-size field names the start
  // The central directory's entries: how many the end record announces, how
  // many use each method, and their sizes as the records read give them.
  std::optional<uint32_t> entryCount;
  std::map<std::string, int> methods;
  uint64_t compressed = 0, uncompressed = 0;
  // The setup program and its arguments as each mode reads the field: the
  // default mode (running the installer) and the "123" mode.
  std::optional<SetupModes> setup;
  // The publisher's resources, where the file has a resource section that
  // parses: the icon's image sizes ("16x16", ...; none without an icon), the
  // version strings in UTF-8 by key, the manifest's execution level (or
  // "none").
  struct Resources {
    std::vector<std::string> iconSizes;
    std::vector<std::pair<std::string, std::string>> versionStrings;
    std::string executionLevel = "none";
  };
  std::optional<Resources> resources;
  std::optional<std::string> seal;  // "right", "wrong" or "none"
  std::optional<uint8_t> options;    // the seal's option bits, when it reads
  // What follows the archive: its size, an Authenticode signature there and
  // the bytes around it that are not the signature.
  std::optional<uint64_t> trailingBytes;
  struct Signature {
    uint32_t offset = 0, size = 0;
  };
  std::optional<Signature> signature;
  bool signaturePlaced = false;  // lies wholly after the archive
  // Why the installer would not install as built; none when it is consistent.
  std::vector<std::string> problems;
  // What works as built but not as a publisher may expect (a setup command
  // that only one mode can start).
  std::vector<std::string> warnings;
};

Inspection InspectInstaller(const Bytes& image);

// The report of --inspect, one fact a line, without the closing
// "consistent:" line.
std::vector<std::string> InspectionLines(const Inspection& inspection);

// A field's value as the reports show it: trailing blanks dropped.
std::string TrimmedField(const std::string& field);
