// Inspection of a finished installer; see installer_inspection.h.
//
// The archive is found as the stub's engine finds it: the last end-record
// signature ("PK" 5 6) with the record's 22 bytes of room after it. Its
// directory size (+12) and offset (+16), counted from the archive's start,
// place that start: the directory ends where the end record begins. A PE
// file names its Authenticode signature in the security entry (the fifth)
// of the optional header's data directories: file offset and size.
#include "installer_inspection.h"

#include <cstdint>
#include <map>
#include <string>

#include "archive_seal.h"
#include "stub_resources.h"
#include "unzip/little_endian.h"

namespace {

constexpr size_t kEndRecordSize = 22, kDirectoryRecordSize = 46;

bool HasSignature(const Bytes& image, size_t at, uint8_t third, uint8_t fourth) {
  return at + 4 <= image.size() && image[at] == 'P' && image[at + 1] == 'K' &&
         image[at + 2] == third && image[at + 3] == fourth;
}

std::string MethodName(uint16_t method) {
  switch (method) {
    case 0: return "stored";
    case 1: return "shrunk";
    case 2: case 3: case 4: case 5: return "reduced";
    case 6: return "imploded";
    case 8: return "deflated";
    case 14: return "lzma";
    default: return "method " + std::to_string(method) + " (the installer cannot extract it)";
  }
}

std::string Shown(const std::string& field) {
  const std::string value = TrimmedField(field);
  return value.empty() ? "(blank)" : "\"" + value + "\"";
}

// The Authenticode signature's file offset and size, when `image` is a PE
// file that names one.
bool FindSignature(const Bytes& image, uint32_t& offset, uint32_t& size) {
  if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
  const uint64_t header = Little32(image.data() + 0x3C);
  if (header + 24 > image.size()) return false;
  const uint8_t* pe = image.data() + header;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;
  const uint64_t optional = header + 24, optionalSize = Little16(pe + 20);
  if (optional + 2 > image.size()) return false;
  // PE32 (0x10B) and PE32+ (0x20B) differ in where the directory count lies.
  const uint16_t magic = Little16(image.data() + optional);
  const uint64_t countAt = optional + (magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0);
  if (countAt == optional) return false;
  const uint64_t security = countAt + 4 + 4 * 8;
  if (security + 8 > optional + optionalSize || security + 8 > image.size()) return false;
  if (Little32(image.data() + countAt) < 5) return false;
  offset = Little32(image.data() + security);
  size = Little32(image.data() + security + 4);
  return size != 0;
}

// The publisher's resources: icon sizes, version strings, execution level.
// Nothing for a file that is no PE file with a resource section.
void InspectResources(const Bytes& image, Inspection& result) {
  bool present = false;
  std::vector<Resource> resources;
  const std::string problem = ReadResources(image, present, resources);
  if (!present) return;
  if (!problem.empty()) {
    result.problems.push_back("the resource section does not parse: " + problem);
    return;
  }
  Inspection::Resources found;
  VersionStrings strings;
  for (const Resource& resource : resources) {
    std::string damaged;
    if (resource.type == kIconGroupType && found.iconSizes.empty()) {
      damaged = IconGroupSizes(resource.data, found.iconSizes);
    } else if (resource.type == kVersionType && strings.empty()) {
      damaged = ReadVersionStrings(resource.data, strings);
    } else if (resource.type == kManifestType) {
      found.executionLevel = ExecutionLevel(resource.data);
      if (found.executionLevel.empty()) found.executionLevel = "none";
    }
    if (!damaged.empty()) result.problems.push_back(damaged);
  }
  found.versionStrings.assign(strings.begin(), strings.end());
  result.resources = found;
}

}  // namespace

std::string TrimmedField(const std::string& field) {
  size_t end = field.size();
  while (end > 0 && field[end - 1] == ' ') --end;
  return field.substr(0, end);
}

Inspection InspectInstaller(const Bytes& image) {
  Inspection result;
  auto& problems = result.problems;
  result.fileSize = image.size();

  size_t endRecord = image.size();
  const size_t lastStart = image.size() >= kEndRecordSize ? image.size() - kEndRecordSize + 1 : 0;
  for (size_t at = lastStart; at-- > 0;) {
    if (HasSignature(image, at, 5, 6)) {
      endRecord = at;
      break;
    }
  }
  const bool hasArchive = endRecord < image.size();
  size_t start = image.size(), archiveEnd = image.size();
  uint16_t entryCount = 0;
  uint32_t directorySize = 0, directoryOffset = 0;
  if (!hasArchive) {
    problems.push_back("no end-of-central-directory record: no ZIP archive follows the stub");
  } else {
    const uint8_t* record = image.data() + endRecord;
    entryCount = Little16(record + 10);
    directorySize = Little32(record + 12);
    directoryOffset = Little32(record + 16);
    archiveEnd = endRecord + kEndRecordSize + Little16(record + 20);
    if (archiveEnd > image.size()) {
      problems.push_back("the end record's comment runs past the end of the file");
      archiveEnd = image.size();
    }
    if (uint64_t{directorySize} + directoryOffset > endRecord) {
      problems.push_back("the end record places the central directory before the file's start");
    } else {
      start = endRecord - directorySize - directoryOffset;
    }
  }

  // Fields: only the stub, before the archive, can hold them.
  StoredFields fields;
  std::string problem = ReadStoredFields(image, start, fields);
  const bool hasFields = problem.empty();
  if (!hasFields) problems.push_back(problem);
  if (hasFields) {
    result.fields = fields;
    if (fields.installDirectoryIsDefault) {
      problems.push_back("the install-directory field is unpatched (it holds its default)");
    }
  }

  InspectResources(image, result);

  if (start < image.size()) {
    result.archiveStart = start;
    result.endRecord = endRecord;
    if (entryCount > 0 && !HasSignature(image, start, 3, 4)) {
      problems.push_back("no local header at the archive start (byte " + std::to_string(start) +
                         ")");
    }
    if (hasFields) {
      const uint64_t value = std::stoull(fields.stubSize);  // seven digits
      const bool matches = value == uint64_t{start} + 1;
      result.stubSizeMatches = matches;
      if (!matches && fields.stubSizeIsDefault) {
        problems.push_back("the stub-size field is unpatched (it holds its default)");
      } else if (!matches) {
        problems.push_back("the stub-size field holds " + std::to_string(value) +
                           ", but the archive starts at byte " + std::to_string(start) +
                           ", which needs " + std::to_string(start + 1));
      }
    }
  }

  // Entries, from the central directory.
  std::map<std::string, bool> files;  // by WindowsNameKey: true for a file
  if (start < image.size()) {
    size_t at = start + directoryOffset;
    const size_t directoryEnd = at + directorySize;
    for (uint32_t i = 0; i < entryCount; ++i) {
      if (at + kDirectoryRecordSize > directoryEnd || !HasSignature(image, at, 1, 2)) {
        problems.push_back("central directory record " + std::to_string(i + 1) + " of " +
                           std::to_string(entryCount) + " is damaged or missing");
        break;
      }
      const uint8_t* record = image.data() + at;
      const size_t nameLength = Little16(record + 28);
      const size_t length = kDirectoryRecordSize + nameLength + Little16(record + 30) +
                            Little16(record + 32);
      if (at + length > directoryEnd) {
        problems.push_back("central directory record " + std::to_string(i + 1) +
                           " runs past the directory's end");
        break;
      }
      ++result.methods[MethodName(Little16(record + 10))];
      result.compressed += Little32(record + 20);
      result.uncompressed += Little32(record + 24);
      const std::string name(record + kDirectoryRecordSize,
                             record + kDirectoryRecordSize + nameLength);
      files[WindowsNameKey(name)] = name.empty() || name.back() != '/';
      at += length;
    }
    result.entryCount = entryCount;
  }

  if (hasFields && hasArchive) {
    const auto isFile = [&](const std::string& name) {
      const auto found = files.find(WindowsNameKey(name));
      return found != files.end() && found->second;
    };
    const SetupModes setup = ReadSetupModes(fields.setupCommand, isFile);
    result.setup = setup;
    if (!setup.install.found && !setup.beside.found) {
      problems.push_back("the setup program \"" + setup.install.program +
                         "\" is not in the archive");
    }
    const std::string warning = SetupModesWarning(fields.setupCommand, setup);
    if (!warning.empty()) result.warnings.push_back(warning);
  }

  if (hasArchive && start < image.size()) {
    const std::string seal = SealState(image, start, endRecord, archiveEnd, result.options);
    result.seal = seal;
    if (seal == "wrong") {
      problems.push_back("the archive's seal does not match its bytes: the installer is damaged");
    }
  }

  // What follows the archive.
  if (hasArchive) {
    result.trailingBytes = image.size() - archiveEnd;
    uint32_t signatureAt = 0, signatureSize = 0;
    if (FindSignature(image, signatureAt, signatureSize)) {
      result.signature = Inspection::Signature{signatureAt, signatureSize};
      if (signatureAt < archiveEnd) {
        problems.push_back("the Authenticode signature lies inside the stub or the archive");
      } else if (uint64_t{signatureAt} + signatureSize > image.size()) {
        problems.push_back("the Authenticode signature runs past the end of the file");
      } else {
        result.signaturePlaced = true;
      }
    }
  }
  return result;
}

std::vector<std::string> InspectionLines(const Inspection& facts) {
  std::vector<std::string> lines;
  lines.push_back("file size: " + std::to_string(facts.fileSize.value_or(0)) + " bytes");
  if (facts.fields) {
    lines.push_back("stub-size field: " + Shown(facts.fields->stubSize));
    lines.push_back("install-directory field: " + Shown(facts.fields->installDirectory));
    lines.push_back("setup-command field: " + Shown(facts.fields->setupCommand));
  }
  if (facts.resources) {
    std::string icon;
    for (const std::string& size : facts.resources->iconSizes) {
      icon += (icon.empty() ? "" : ", ") + size;
    }
    lines.push_back("icon: " + (icon.empty() ? "none" : icon));
    for (const auto& [key, value] : facts.resources->versionStrings) {
      lines.push_back("version " + key + ": \"" + value + "\"");
    }
    if (facts.resources->versionStrings.empty()) lines.push_back("version information: none");
    lines.push_back("execution level: " + facts.resources->executionLevel);
  }
  if (facts.archiveStart) {
    const std::string start = std::to_string(*facts.archiveStart);
    lines.push_back("stub size: " + start + " bytes");
    lines.push_back("archive start: byte " + start + " (end record at byte " +
                    std::to_string(facts.endRecord) + ")");
  }
  if (facts.stubSizeMatches) {
    lines.push_back(std::string("stub-size field matches the archive start: ") +
                    (*facts.stubSizeMatches ? "yes" : "no"));
  }
  if (facts.entryCount) {
    std::string counts;
    for (const auto& [name, count] : facts.methods) {
      counts += (counts.empty() ? "" : ", ") + name + " " + std::to_string(count);
    }
    lines.push_back("entries: " + std::to_string(*facts.entryCount) +
                    (counts.empty() ? "" : " (" + counts + ")"));
    lines.push_back("sizes: " + std::to_string(facts.compressed) + " bytes compressed, " +
                    std::to_string(facts.uncompressed) + " bytes uncompressed");
  }
  if (facts.setup) {
    const auto place = [](const SetupStart& start) {
      return "\"" + start.program + "\", " +
             (start.found ? "in the archive" : "not in the archive");
    };
    const SetupStart& install = facts.setup->install;
    const SetupStart& beside = facts.setup->beside;
    lines.push_back("setup program: " + place(install));
    lines.push_back("setup arguments: " + Shown(install.arguments));
    if (beside.program != install.program || beside.arguments != install.arguments) {
      lines.push_back("setup program of the \"123\" mode: " + place(beside));
      lines.push_back("setup arguments of the \"123\" mode: " + Shown(beside.arguments));
    }
  }
  if (facts.seal) lines.push_back("seal: " + *facts.seal);
  if (facts.options) {
    std::string words;
    for (const std::string& word : OptionWords(*facts.options)) {
      words += (words.empty() ? "" : ", ") + word;
    }
    lines.push_back("options: " + (words.empty() ? "none" : words));
  }
  if (facts.trailingBytes) {
    const uint64_t trailing = *facts.trailingBytes;
    std::string after = "after the archive: " + std::to_string(trailing) + " bytes";
    if (facts.signature) {
      after += "; an Authenticode signature of " + std::to_string(facts.signature->size) +
               " bytes at byte " + std::to_string(facts.signature->offset);
      if (facts.signaturePlaced && trailing > facts.signature->size) {
        after += ", with " + std::to_string(trailing - facts.signature->size) + " other bytes";
      }
    } else if (trailing > 0) {
      after += ", not a signature";
    }
    lines.push_back(after);
  }
  return lines;
}
