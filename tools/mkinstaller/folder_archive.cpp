// The archive made from a folder; see folder_archive.h.
//
// Local header: "PK" 3 4, +4 version needed, +6 flags, +8 method, +10 time,
// +12 date, +14 CRC-32, +18 compressed size, +22 size, +26 name length, +28
// extra length, +30 the name. Central-directory record: "PK" 1 2, +4 version
// made by (low byte the version, high byte the host: 0 for MS-DOS, whose
// attributes the engine applies), then the local header's fields from +6 on,
// +30 extra length, +32 comment length, +34 disk, +36 internal attributes,
// +38 external attributes, +42 local header offset, +46 the name. End record:
// "PK" 5 6, +8 and +10 entry counts, +12 directory size, +16 directory
// offset, +20 comment length.
#include "folder_archive.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "lzma_compressor.h"
#include "unzip/entry_name.h"
#include "unzip/output_path.h"

namespace {

constexpr uint16_t kVersion = 20;      // 2.0: deflate and directories
constexpr uint16_t kLzmaVersion = 63;  // 6.3: LZMA
constexpr uint32_t kDirectoryAttribute = 0x10, kArchiveAttribute = 0x20;
constexpr size_t kLongestJoinedPath = 259;

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The problem of the item `name`'s own last part (the folders above it are
// items of their own, checked on their own) and of its length.
std::string NameProblem(const std::string& name, size_t allowance) {
  const std::string quoted = "name '" + name + "'";
  const size_t end = name.back() == '/' ? name.size() - 1 : name.size();
  const size_t slash = name.rfind('/', end - 1);
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string part = name.substr(start, end - start);
  for (char c : part) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return quoted + " holds a control character";
    if (std::string("<>:\"\\|?*").find(c) != std::string::npos) {
      return quoted + " holds '" + c + "', which Windows does not allow in names";
    }
  }
  // Names beyond ASCII go into the archive as UTF-8 (with the flag that says
  // so), which the installer converts for Windows.
  std::vector<uint16_t> units(part.size());
  uint32_t count = 0;
  if (!DecodeUtf8(reinterpret_cast<const uint8_t*>(part.data()),
                  static_cast<uint32_t>(part.size()), units.data(),
                  static_cast<uint32_t>(units.size()), &count)) {
    return quoted + " is not UTF-8";
  }
  if (part.back() == '.' || part.back() == ' ') {
    return quoted + " has a part ending in '" + part.back() + "', which Windows drops";
  }
  if (IsDeviceName(part.data(), part.data() + part.size())) {
    return quoted + " holds '" + part + "', a device name on Windows";
  }
  // Counted in bytes of UTF-8, never fewer than the installer's characters.
  if (allowance + name.size() > kLongestJoinedPath) {
    return quoted + " is too long: " + std::to_string(name.size()) + " bytes, and at most " +
           std::to_string(kLongestJoinedPath - allowance) +
           " fit after the extraction directory";
  }
  return "";
}

bool IsAscii(const std::string& name) {
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void Put16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

uint16_t VersionNeeded(const EntryFields& entry) {
  return entry.method == kLzma ? kLzmaVersion : kVersion;
}

// The fields from "version needed" to the extra field's length, in both records.
Bytes CommonFields(const EntryFields& entry) {
  Bytes common;
  Put16(common, VersionNeeded(entry));
  // Flags: sizes and CRC are in the headers, no data descriptor; bit 11: a
  // UTF-8 name; bit 1: an LZMA stream ends with its end marker.
  Put16(common, (IsAscii(entry.name) ? 0 : kFlagUtf8Name) |
                    (entry.method == kLzma ? kLzmaEndMarkerFlag : 0));
  Put16(common, entry.method);
  Put32(common, entry.dosDateTime);
  Put32(common, entry.crc);
  Put32(common, entry.compressedSize);
  Put32(common, entry.size);
  Put16(common, static_cast<uint32_t>(entry.name.size()));
  Put16(common, 0);  // extra field length
  return common;
}

}  // namespace

size_t ExtractionDirectoryAllowance(const std::optional<std::string>& installDirectory) {
  constexpr size_t kTemporaryDirectory = 64;
  if (!installDirectory) return kTemporaryDirectory;
  size_t length = installDirectory->size();
  if (Upper(installDirectory->substr(0, 8)) == "<WINDIR>") length = length - 8 + 10;
  return std::max(length, kTemporaryDirectory);
}

void CheckTree(std::vector<TreeItem>& items, size_t allowance, std::vector<std::string>& problems) {
  if (items.empty()) {
    problems.push_back("the folder to pack is empty");
    return;
  }
  if (items.size() > kLargestEntryCount) {
    problems.push_back("the folder holds " + std::to_string(items.size()) +
                       " files and folders; an installer takes at most " +
                       std::to_string(kLargestEntryCount));
  }
  std::sort(items.begin(), items.end(),
            [](const TreeItem& a, const TreeItem& b) { return a.name < b.name; });
  std::map<std::string, const std::string*> seen;  // by WindowsNameKey
  std::set<std::string> clashing;  // keys of folders named twice, whose items clash as well
  for (TreeItem& item : items) {
    const std::string problem = NameProblem(item.name, allowance);
    item.refused = !problem.empty();
    if (item.refused) problems.push_back(problem);
    const std::string key = WindowsNameKey(item.name);
    const auto [at, added] = seen.emplace(key, &item.name);
    const size_t slash = key.rfind('/');
    if (!added && (slash == std::string::npos || !clashing.count(key.substr(0, slash)))) {
      problems.push_back("names '" + *at->second + "' and '" + item.name +
                         "' differ only in letter case, and Windows would take them for one");
    }
    if (!added && item.isDirectory) clashing.insert(key);
    if (!item.isDirectory && item.size >= kArchiveSizeLimit) {
      problems.push_back("file '" + item.name + "' is " + std::to_string(item.size) +
                         " bytes; the installer takes files below " +
                         std::to_string(kArchiveSizeLimit));
    }
  }
}

uint32_t DosDateTime(int64_t seconds) {
  constexpr int64_t kFirst = 315532800;   // 1980-01-01 00:00:00
  constexpr int64_t kLast = 4354819198;   // 2107-12-31 23:59:58
  seconds = std::min(std::max(seconds, kFirst), kLast);
  const int64_t days = seconds / 86400, daySeconds = seconds % 86400;
  // Civil date of a day count since 1970-01-01, in 400-year eras that begin
  // on 1 March 0000 so that the leap day comes last.
  const int64_t shifted = days + 719468;
  const int64_t era = shifted / 146097, dayOfEra = shifted % 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  const auto date = static_cast<uint32_t>((year - 1980) << 9 | month << 5 | day);
  const auto time = static_cast<uint32_t>((daySeconds / 3600) << 11 |
                                          (daySeconds / 60 % 60) << 5 | (daySeconds % 60) / 2);
  return date << 16 | time;
}

uint64_t EntryOverhead(const std::string& name) { return 30 + 46 + 2 * uint64_t{name.size()}; }

std::string ArchiveSizeProblem(uint64_t size, bool exact, const std::string& name) {
  if (size < kArchiveSizeLimit) return "";
  return std::string("the archive would reach ") + (exact ? "" : "at least ") +
         std::to_string(size) + " bytes" + (name.empty() ? "" : " with '" + name + "'") +
         "; the installer takes archives below " + std::to_string(kArchiveSizeLimit);
}

Bytes LocalHeader(const EntryFields& entry) {
  Bytes local;
  Put32(local, 0x04034B50);
  const Bytes common = CommonFields(entry);
  local.insert(local.end(), common.begin(), common.end());
  local.insert(local.end(), entry.name.begin(), entry.name.end());
  return local;
}

void AddDirectoryRecord(ArchiveWriter& archive, const EntryFields& entry, uint32_t offset) {
  Bytes& record = archive.directory;
  Put32(record, 0x02014B50);
  Put16(record, VersionNeeded(entry));  // host 0: MS-DOS
  const Bytes common = CommonFields(entry);
  record.insert(record.end(), common.begin(), common.end());
  Put16(record, 0);  // comment length
  Put16(record, 0);  // disk
  Put16(record, 0);  // internal attributes
  Put32(record, entry.isDirectory ? kDirectoryAttribute : kArchiveAttribute);
  Put32(record, offset);
  record.insert(record.end(), entry.name.begin(), entry.name.end());
  ++archive.count;
}

void FinishArchive(ArchiveWriter& archive, uint16_t commentLength) {
  const auto directoryOffset = static_cast<uint32_t>(archive.written + archive.data.size());
  const auto directorySize = static_cast<uint32_t>(archive.directory.size());
  archive.data.insert(archive.data.end(), archive.directory.begin(), archive.directory.end());
  archive.directory.clear();
  Put32(archive.data, 0x06054B50);
  Put16(archive.data, 0);  // this disk
  Put16(archive.data, 0);  // the directory's disk
  Put16(archive.data, archive.count);
  Put16(archive.data, archive.count);
  Put32(archive.data, directorySize);
  Put32(archive.data, directoryOffset);
  Put16(archive.data, commentLength);
}
