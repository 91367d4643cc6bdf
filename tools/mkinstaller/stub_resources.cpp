// The stub's resource section; see stub_resources.h.
//
// PE facts used here: the file header is 20 bytes after "PE\0\0" (section
// count at +2, optional header size at +16); the optional header holds the
// section and file alignment (+32, +36), SizeOfInitializedData (+8),
// SizeOfImage (+56), the checksum (+64), and the data directories after
// their count (+92 in PE32, +108 in PE32+): 2 resources, 4 security (a file
// offset), 5 base relocations. A section header is 40 bytes: name, virtual
// size, address, raw size, raw offset.
//
// A resource tree has three levels of directories (type, id, language). A
// directory: 16 bytes (characteristics, time stamp, version, the counts of
// named and of numbered entries), then 8-byte entries in ascending order:
// the id, then the offset of a subdirectory with the top bit set or, at the
// third level, of a 16-byte data entry (data address, size, code page,
// reserved). Offsets count from the section's start; data addresses are
// image addresses.
#include "stub_resources.h"

#include <algorithm>
#include <tuple>

#include "unzip/little_endian.h"

namespace {

constexpr size_t kSectionHeaderSize = 40, kDirectorySize = 16, kEntrySize = 8, kDataEntrySize = 16;
constexpr uint32_t kResourceDirectory = 2, kSecurityDirectory = 4, kRelocationDirectory = 5;
constexpr uint32_t kSubdirectory = 0x80000000u;
// More would only come from a tree whose directories share their entries.
constexpr size_t kMostResources = 65536;

struct Section {
  std::string name;
  size_t headerAt = 0;
  uint32_t virtualSize = 0, rva = 0, rawSize = 0, rawOffset = 0;
};

struct PeHeaders {
  size_t optionalAt = 0, directoriesAt = 0;
  uint32_t directoryCount = 0, sectionAlignment = 0, fileAlignment = 0;
  std::vector<Section> sections;
};

void Write16(Bytes& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Write32(Bytes& out, size_t at, uint32_t value) {
  Write16(out, at, static_cast<uint16_t>(value));
  Write16(out, at + 2, static_cast<uint16_t>(value >> 16));
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Reads the headers of `image`; false when it is not a PE file whose
// headers and section table lie within it.
bool ReadPeHeaders(const Bytes& image, PeHeaders& pe) {
  if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
  const uint64_t header = Little32(image.data() + 0x3C);
  if (header + 24 > image.size()) return false;
  const uint8_t* p = image.data() + header;
  if (p[0] != 'P' || p[1] != 'E' || p[2] != 0 || p[3] != 0) return false;
  const size_t sectionCount = Little16(p + 6), optionalSize = Little16(p + 20);
  pe.optionalAt = header + 24;
  if (pe.optionalAt + optionalSize > image.size() || optionalSize < 2) return false;
  const uint16_t magic = Little16(image.data() + pe.optionalAt);
  const size_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
  if (countAt == 0 || countAt + 4 > optionalSize) return false;
  pe.directoriesAt = pe.optionalAt + countAt + 4;
  pe.directoryCount = static_cast<uint32_t>(std::min<uint64_t>(
      Little32(image.data() + pe.optionalAt + countAt), (optionalSize - countAt - 4) / 8));
  pe.sectionAlignment = Little32(image.data() + pe.optionalAt + 32);
  pe.fileAlignment = Little32(image.data() + pe.optionalAt + 36);
  if (!IsPowerOfTwo(pe.sectionAlignment) || !IsPowerOfTwo(pe.fileAlignment)) return false;
  const size_t tableAt = pe.optionalAt + optionalSize;
  if (tableAt + sectionCount * kSectionHeaderSize > image.size()) return false;
  pe.sections.clear();
  for (size_t i = 0; i < sectionCount; ++i) {
    const uint8_t* s = image.data() + tableAt + i * kSectionHeaderSize;
    Section section;
    section.name.assign(s, std::find(s, s + 8, 0));
    section.headerAt = tableAt + i * kSectionHeaderSize;
    section.virtualSize = Little32(s + 8);
    section.rva = Little32(s + 12);
    section.rawSize = Little32(s + 16);
    section.rawOffset = Little32(s + 20);
    pe.sections.push_back(section);
  }
  return true;
}

void Directory(const Bytes& image, const PeHeaders& pe, uint32_t index, uint32_t& rva,
               uint32_t& size) {
  rva = size = 0;
  if (index >= pe.directoryCount) return;
  rva = Little32(image.data() + pe.directoriesAt + 8 * index);
  size = Little32(image.data() + pe.directoriesAt + 8 * index + 4);
}

// The section that holds the resource directory, or none.
const Section* ResourceSection(const Bytes& image, const PeHeaders& pe) {
  uint32_t rva, size;
  Directory(image, pe, kResourceDirectory, rva, size);
  if (rva == 0) return nullptr;
  for (const Section& section : pe.sections) {
    if (section.rva == rva) return &section;
  }
  return nullptr;
}

// Reads the tree of the section `section`, whose bytes lie within `image`.
struct TreeReader {
  const Bytes& image;
  const Section& section;
  size_t extent;  // the section's bytes present in the file
  std::vector<Resource>& resources;

  std::string Read(size_t at, int level, uint16_t path[3]) {
    if (at + kDirectorySize > extent) return "a resource directory lies outside the section";
    const uint8_t* directory = image.data() + section.rawOffset + at;
    const size_t named = Little16(directory + 12), numbered = Little16(directory + 14);
    if (named > 0) return "the resource section holds named resources";
    if (at + kDirectorySize + numbered * kEntrySize > extent) {
      return "a resource directory's entries run past the section";
    }
    for (size_t i = 0; i < numbered; ++i) {
      const uint8_t* entry = directory + kDirectorySize + i * kEntrySize;
      const uint32_t id = Little32(entry), target = Little32(entry + 4);
      if (id > 0xFFFF) return "a resource id is out of range";
      path[level] = static_cast<uint16_t>(id);
      const bool subdirectory = (target & kSubdirectory) != 0;
      if (subdirectory != (level < 2)) return "the resource tree is not three levels deep";
      std::string problem = level < 2 ? Read(target & ~kSubdirectory, level + 1, path)
                                      : ReadData(target, path);
      if (!problem.empty()) return problem;
    }
    return "";
  }

  std::string ReadData(size_t at, const uint16_t path[3]) {
    if (at + kDataEntrySize > extent) return "a resource data entry lies outside the section";
    if (resources.size() == kMostResources) return "the resource tree holds too many entries";
    const uint8_t* entry = image.data() + section.rawOffset + at;
    const uint64_t rva = Little32(entry), size = Little32(entry + 4);
    if (rva < section.rva || rva - section.rva + size > extent) {
      return "a resource's data lies outside the section";
    }
    const uint8_t* data = image.data() + section.rawOffset + (rva - section.rva);
    resources.push_back({path[0], path[1], path[2], Bytes(data, data + size)});
    return "";
  }
};

std::string ReadTree(const Bytes& image, const Section& section, std::vector<Resource>& out) {
  if (uint64_t{section.rawOffset} + section.rawSize > image.size()) {
    return "the resource section runs past the end of the file";
  }
  size_t extent = section.rawSize;
  if (section.virtualSize != 0) extent = std::min<size_t>(extent, section.virtualSize);
  std::vector<Resource> resources;
  uint16_t path[3] = {0, 0, 0};
  TreeReader reader{image, section, extent, resources};
  std::string problem = reader.Read(0, 0, path);
  if (problem.empty()) out = std::move(resources);
  return problem;
}

auto Key(const Resource& r) { return std::make_tuple(r.type, r.id, r.language); }

// The section's bytes for `resources` (sorted, no two with one key), to be
// placed at `sectionRva`: every directory, then the data entries, then the
// data, each piece at an 8-byte boundary.
Bytes ResourceSectionBytes(const std::vector<Resource>& resources, uint32_t sectionRva) {
  const size_t count = resources.size();
  // Where a new type or a new id begins.
  std::vector<bool> newType(count), newId(count);
  size_t types = 0, ids = 0;
  for (size_t i = 0; i < count; ++i) {
    newType[i] = i == 0 || resources[i].type != resources[i - 1].type;
    newId[i] = newType[i] || resources[i].id != resources[i - 1].id;
    types += newType[i];
    ids += newId[i];
  }
  const size_t typeDirectoriesAt = kDirectorySize + types * kEntrySize;
  const size_t idDirectoriesAt = typeDirectoriesAt + types * kDirectorySize + ids * kEntrySize;
  const size_t dataEntriesAt = idDirectoriesAt + ids * kDirectorySize + count * kEntrySize;
  size_t size = AlignUp(dataEntriesAt + count * kDataEntrySize, 8);
  std::vector<size_t> dataAt(count);
  for (size_t i = 0; i < count; ++i) {
    dataAt[i] = size;
    size = AlignUp(size + resources[i].data.size(), 8);
  }
  Bytes out(size, 0);

  // Entries go in the order of the sorted list; each directory's header is
  // written when its first entry is, with the number of entries it holds.
  const auto countFrom = [&](size_t i, auto sameGroup) {
    size_t n = 0;
    for (size_t k = i; k < count && sameGroup(k); ++k) n += 1;
    return n;
  };
  size_t typeEntry = kDirectorySize, typeDirectory = typeDirectoriesAt, idDirectory = idDirectoriesAt;
  size_t typeDirectoryEntry = 0, idDirectoryEntry = 0;
  // Writes the entry at `entry` naming `name` and pointing to the next
  // subdirectory at `directory`, which holds `entries` entries; returns
  // where that subdirectory's first entry goes.
  const auto linkSubdirectory = [&](size_t& entry, uint32_t name, size_t& directory,
                                    size_t entries) {
    Write32(out, entry, name);
    Write32(out, entry + 4, static_cast<uint32_t>(directory) | kSubdirectory);
    entry += kEntrySize;
    Write16(out, directory + 14, static_cast<uint16_t>(entries));
    const size_t first = directory + kDirectorySize;
    directory = first + entries * kEntrySize;
    return first;
  };
  for (size_t i = 0; i < count; ++i) {
    const Resource& r = resources[i];
    if (newType[i]) {
      size_t typeIds = 0;
      for (size_t k = i; k < count && r.type == resources[k].type; ++k) typeIds += newId[k];
      typeDirectoryEntry = linkSubdirectory(typeEntry, r.type, typeDirectory, typeIds);
    }
    if (newId[i]) {
      const size_t languages = countFrom(i, [&](size_t k) {
        return resources[k].type == r.type && resources[k].id == r.id;
      });
      idDirectoryEntry = linkSubdirectory(typeDirectoryEntry, r.id, idDirectory, languages);
    }
    const size_t dataEntry = dataEntriesAt + i * kDataEntrySize;
    Write32(out, idDirectoryEntry, r.language);
    Write32(out, idDirectoryEntry + 4, static_cast<uint32_t>(dataEntry));
    idDirectoryEntry += kEntrySize;
    Write32(out, dataEntry, static_cast<uint32_t>(sectionRva + dataAt[i]));
    Write32(out, dataEntry + 4, static_cast<uint32_t>(r.data.size()));
    std::copy(r.data.begin(), r.data.end(), out.begin() + static_cast<ptrdiff_t>(dataAt[i]));
  }
  Write16(out, 14, static_cast<uint16_t>(types));
  return out;
}

// Where the value of the manifest's requestedExecutionLevel level="..."
// lies; false when it has none.
bool FindExecutionLevel(const Bytes& manifest, size_t& at, size_t& length) {
  const std::string text(manifest.begin(), manifest.end());
  const size_t tag = text.find("<requestedExecutionLevel");
  if (tag == std::string::npos) return false;
  const size_t tagEnd = text.find('>', tag);
  const size_t attribute = text.find(" level=\"", tag);
  if (attribute == std::string::npos || attribute > tagEnd) return false;
  at = attribute + 8;
  const size_t quote = text.find('"', at);
  if (quote == std::string::npos || quote > tagEnd) return false;
  length = quote - at;
  return true;
}

// Applies `choices` to the stub's `resources`.
std::string ApplyChoices(const ResourceChoices& choices, std::vector<Resource>& resources) {
  const auto manifest = std::find_if(resources.begin(), resources.end(),
                                     [](const Resource& r) { return r.type == kManifestType; });
  size_t at = 0, length = 0;
  if (manifest == resources.end() || !FindExecutionLevel(manifest->data, at, length)) {
    return "stub has no manifest with an execution level in its resource section";
  }
  if (!choices.executionLevel.empty()) {
    Bytes& data = manifest->data;
    data.erase(data.begin() + static_cast<ptrdiff_t>(at),
               data.begin() + static_cast<ptrdiff_t>(at + length));
    data.insert(data.begin() + static_cast<ptrdiff_t>(at), choices.executionLevel.begin(),
                choices.executionLevel.end());
  }
  const uint16_t language = manifest->language;
  const auto drop = [&](auto unwanted) {
    resources.erase(std::remove_if(resources.begin(), resources.end(), unwanted), resources.end());
  };
  if (!choices.icon.empty()) {
    drop([](const Resource& r) { return r.type == kIconType || r.type == kIconGroupType; });
    for (size_t i = 0; i < choices.icon.size(); ++i) {
      resources.push_back({kIconType, static_cast<uint16_t>(i + 1), language, choices.icon[i].data});
    }
    resources.push_back({kIconGroupType, 1, language, IconGroupResource(choices.icon, 1)});
  }
  if (!choices.versionStrings.empty()) {
    drop([](const Resource& r) { return r.type == kVersionType; });
    resources.push_back({kVersionType, 1, language, VersionResource(choices.versionStrings)});
  }
  std::sort(resources.begin(), resources.end(),
            [](const Resource& a, const Resource& b) { return Key(a) < Key(b); });
  for (size_t i = 1; i < resources.size(); ++i) {
    if (Key(resources[i]) == Key(resources[i - 1])) {
      return "stub's resource section holds one resource twice";
    }
  }
  return "";
}

}  // namespace

std::string ExecutionLevelProblem(const std::string& level) {
  if (level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator") {
    return "";
  }
  return "unknown execution level '" + level +
         "' (asInvoker, highestAvailable or requireAdministrator)";
}

std::string RebuildResources(Bytes& stub, const ResourceChoices& choices) {
  PeHeaders pe;
  if (!ReadPeHeaders(stub, pe)) return "stub is not a PE file";
  const Section* found = ResourceSection(stub, pe);
  if (found == nullptr) return "stub has no resource section";
  const Section resources = *found;
  const size_t index = static_cast<size_t>(found - pe.sections.data());
  uint32_t relocationRva, relocationSize, securityRva, securitySize;
  Directory(stub, pe, kRelocationDirectory, relocationRva, relocationSize);
  Directory(stub, pe, kSecurityDirectory, securityRva, securitySize);
  if (securityRva != 0) return "stub is signed; sign the installer instead";

  // Only the relocations may follow, and they may move: nothing refers to
  // where they lie but their directory entry.
  const bool relocationsFollow = index + 2 == pe.sections.size();
  if (index + 1 != pe.sections.size() && !relocationsFollow) {
    return "stub's resource section is not its last section but for the relocations";
  }
  const Section& last = pe.sections.back();
  if (relocationsFollow && (relocationRva < last.rva ||
                            uint64_t{relocationRva} + relocationSize > uint64_t{last.rva} + last.virtualSize ||
                            last.rawOffset != uint64_t{resources.rawOffset} + resources.rawSize)) {
    return "stub's resource section is not its last section but for the relocations";
  }
  if (uint64_t{last.rawOffset} + last.rawSize != stub.size()) {
    return "stub has data after its last section (an installer or a signed file?)";
  }
  for (uint32_t i = 0; i < pe.directoryCount; ++i) {
    uint32_t rva, size;
    Directory(stub, pe, i, rva, size);
    const bool moved = i != kResourceDirectory && i != kRelocationDirectory && rva != 0 &&
                       rva >= resources.rva;
    if (moved) return "stub has data after its resources that cannot move";
  }

  std::vector<Resource> list;
  std::string problem = ReadTree(stub, resources, list);
  if (!problem.empty()) return "stub's resource section does not parse: " + problem;
  problem = ApplyChoices(choices, list);
  if (!problem.empty()) return problem;

  Bytes section = ResourceSectionBytes(list, resources.rva);
  const uint32_t sectionSize = static_cast<uint32_t>(section.size());
  const uint64_t rawSize = AlignUp(sectionSize, pe.fileAlignment);
  section.resize(rawSize, 0);
  Bytes image(stub.begin(), stub.begin() + resources.rawOffset);
  image.insert(image.end(), section.begin(), section.end());
  Write32(image, resources.headerAt + 8, sectionSize);
  Write32(image, resources.headerAt + 16, static_cast<uint32_t>(rawSize));
  Write32(image, pe.directoriesAt + 8 * kResourceDirectory + 4, sectionSize);
  uint64_t imageEnd = resources.rva + uint64_t{sectionSize};
  if (relocationsFollow) {
    const uint64_t rva = AlignUp(imageEnd, pe.sectionAlignment);
    Write32(image, last.headerAt + 12, static_cast<uint32_t>(rva));
    Write32(image, last.headerAt + 20, static_cast<uint32_t>(image.size()));
    Write32(image, pe.directoriesAt + 8 * kRelocationDirectory,
            static_cast<uint32_t>(relocationRva - last.rva + rva));
    image.insert(image.end(), stub.begin() + last.rawOffset, stub.end());
    imageEnd = rva + last.virtualSize;
  }
  const size_t initializedAt = pe.optionalAt + 8;
  Write32(image, initializedAt,
          static_cast<uint32_t>(Little32(image.data() + initializedAt) + rawSize - resources.rawSize));
  Write32(image, pe.optionalAt + 56, static_cast<uint32_t>(AlignUp(imageEnd, pe.sectionAlignment)));
  Write32(image, pe.optionalAt + 64, 0);
  stub = std::move(image);
  return "";
}

void WritePeChecksum(Bytes& stub) {
  PeHeaders pe;
  if (!ReadPeHeaders(stub, pe)) return;
  const size_t at = pe.optionalAt + 64;
  Write32(stub, at, 0);
  // The 16-bit words of the file summed with the carries folded back in,
  // then the file's length added.
  uint32_t sum = 0;
  for (size_t i = 0; i < stub.size(); i += 2) {
    sum += stub[i] | (i + 1 < stub.size() ? stub[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  Write32(stub, at, sum + static_cast<uint32_t>(stub.size()));
}

std::string ReadResources(const Bytes& image, bool& present, std::vector<Resource>& resources) {
  PeHeaders pe;
  const Section* section = ReadPeHeaders(image, pe) ? ResourceSection(image, pe) : nullptr;
  present = section != nullptr;
  return present ? ReadTree(image, *section, resources) : "";
}

std::string ExecutionLevel(const Bytes& manifest) {
  size_t at = 0, length = 0;
  if (!FindExecutionLevel(manifest, at, length)) return "";
  return std::string(manifest.begin() + static_cast<ptrdiff_t>(at),
                     manifest.begin() + static_cast<ptrdiff_t>(at + length));
}
