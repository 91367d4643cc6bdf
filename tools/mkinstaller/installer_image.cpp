// Template fields of mkinstaller; see installer_image.h.
#include "installer_image.h"

#include <algorithm>
#include <cstdio>

#include "launcher/template_fields.h"

namespace {

struct TemplateField {
  const char* name;
  uint32_t width;
  std::string defaultContent;  // `width` characters, a NUL after them in the stub
};

// The defaults the stub is built with (src/launcher/template_fields.cpp).
const TemplateField kStubSizeField = {"stub-size field", kStubSizeFieldWidth, "0279041"};
const TemplateField kInstallDirectoryField = {
    "install-directory field", kInstallDirectoryFieldWidth,
    "INSTALL" + std::string(kInstallDirectoryFieldWidth - 7, '0')};
const TemplateField kSetupCommandField = {
    "setup-command field", kSetupCommandFieldWidth,
    "SETUP.EXE" + std::string(kSetupCommandFieldWidth - 9, ' ')};

// Seven digits: the stub's size plus one is at most this.
constexpr uint32_t kLargestStubSizeValue = 9999999;

// The checks every value shares. The stub reads a field as 8-bit text in the
// ANSI code page of the machine it runs on, unknown here, so only printable
// ASCII means the same everywhere; and it trims codes 0 to 32 from both ends,
// so a blank there would be lost and an empty value would read as none.
std::string TextProblem(const std::string& value, const std::string& what, uint32_t width) {
  if (value.empty()) return what + " is empty";
  if (value.size() > width) {
    return what + " is longer than " + std::to_string(width) + " characters";
  }
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return what + " holds a control character";
    if (byte >= 0x80) {
      return what + " holds a non-ASCII byte (the installer's code page is unknown)";
    }
  }
  if (value.front() == ' ') return what + " starts with a blank";
  if (value.back() == ' ') return what + " ends with a blank";
  return "";
}

bool StartsWithWindirInAnyCase(const std::string& value) {
  static const char kWindir[] = "<WINDIR>";
  const size_t length = sizeof kWindir - 1;
  if (value.size() < length) return false;
  for (size_t i = 0; i < length; ++i) {
    char c = value[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kWindir[i]) return false;
  }
  return true;
}

// The field's offset in `stub`, or the problem when its default followed by
// a NUL is not there exactly once.
std::string LocateField(const Bytes& stub, const TemplateField& field, size_t* offset) {
  Bytes pattern(field.defaultContent.begin(), field.defaultContent.end());
  pattern.push_back(0);
  size_t found = 0;
  for (auto at = stub.begin();; ++at) {
    at = std::search(at, stub.end(), pattern.begin(), pattern.end());
    if (at == stub.end()) break;
    if (found++ == 0) *offset = static_cast<size_t>(at - stub.begin());
  }
  if (found == 1) return "";
  if (found == 0) {
    return std::string("stub has no ") + field.name +
           " (its default content followed by a NUL byte is not in the file)";
  }
  return std::string("stub has ") + std::to_string(found) + " copies of the " + field.name +
         "'s default content; it must occur once";
}

// Overwrites the field at its full width: the value, then blanks.
void WriteField(Bytes& stub, size_t offset, const TemplateField& field, const std::string& value) {
  std::string content = value;
  content.resize(field.width, ' ');
  std::copy(content.begin(), content.end(), stub.begin() + offset);
}

}  // namespace

std::string SetupCommandProblem(const std::string& value) {
  std::string problem = TextProblem(value, "setup command", kSetupCommandFieldWidth);
  if (!problem.empty()) return problem;
  // A relative Windows file name cannot hold these. '|' and '*' stay: the
  // stub's "123" mode gives them a meaning.
  const size_t bad = value.find_first_of("\"<>?:");
  if (bad != std::string::npos) {
    return std::string("setup command holds '") + value[bad] +
           "', which a relative Windows file name cannot hold";
  }
  return "";
}

std::string InstallDirectoryProblem(const std::string& value) {
  std::string problem = TextProblem(value, "install directory", kInstallDirectoryFieldWidth);
  if (!problem.empty()) return problem;
  // A leading "<WINDIR>" is the stub's stand-in for the Windows directory;
  // anywhere else its brackets are as foreign to a path as the rest.
  const size_t from = StartsWithWindirInAnyCase(value) ? 8 : 0;
  const size_t bad = value.find_first_of("\"*?|<>", from);
  if (bad != std::string::npos) {
    return std::string("install directory holds '") + value[bad] +
           "', which a Windows path cannot hold (only a leading <WINDIR> may)";
  }
  // The stub appends file names to the directory as they are.
  if (value.back() != '\\') return "install directory does not end with a backslash";
  return "";
}

std::string PatchStub(Bytes& stub, const InstallerValues& values) {
  // Every field is located before any is written, so a refused stub stays as it was.
  size_t stubSizeAt = 0, installDirectoryAt = 0, setupCommandAt = 0;
  std::string problem = LocateField(stub, kStubSizeField, &stubSizeAt);
  if (problem.empty()) problem = LocateField(stub, kInstallDirectoryField, &installDirectoryAt);
  if (problem.empty()) problem = LocateField(stub, kSetupCommandField, &setupCommandAt);
  if (!problem.empty()) return problem;

  // The archive's first byte, counted from 1, is where the stub carves it out.
  const uint64_t stubSizeValue = static_cast<uint64_t>(stub.size()) + 1;
  if (stubSizeValue > kLargestStubSizeValue) {
    return "stub is too large: " + std::to_string(stub.size()) +
           " bytes, and its size plus one must fit the stub-size field's 7 digits";
  }
  char digits[kStubSizeFieldWidth + 1];
  std::snprintf(digits, sizeof digits, "%07u", static_cast<unsigned>(stubSizeValue));

  WriteField(stub, stubSizeAt, kStubSizeField, digits);
  WriteField(stub, installDirectoryAt, kInstallDirectoryField, values.installDirectory.value_or(""));
  WriteField(stub, setupCommandAt, kSetupCommandField, values.setupCommand);
  return "";
}

namespace {

bool IsFieldText(const uint8_t* begin, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    if (begin[i] < 0x20 || begin[i] == 0x7F) return false;
  }
  return true;
}

// True when a field block starts at `at`: every field at its width, each
// followed by a NUL.
bool IsFieldBlock(const Bytes& image, size_t at) {
  const uint8_t* p = image.data() + at;
  for (uint32_t i = 0; i < kStubSizeFieldWidth; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
  }
  p += kStubSizeFieldWidth;
  if (*p++ != 0 || !IsFieldText(p, kInstallDirectoryFieldWidth)) return false;
  p += kInstallDirectoryFieldWidth;
  if (*p++ != 0 || !IsFieldText(p, kSetupCommandFieldWidth)) return false;
  return p[kSetupCommandFieldWidth] == 0;
}

std::string TrimmedOfBlanks(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

}  // namespace

std::string ReadStoredFields(const Bytes& image, size_t end, StoredFields& fields) {
  constexpr size_t kBlockSize =
      kStubSizeFieldWidth + kInstallDirectoryFieldWidth + kSetupCommandFieldWidth + 3;
  end = std::min(end, image.size());
  size_t found = 0;
  for (size_t at = 0; at + kBlockSize <= end; ++at) {
    if (IsFieldBlock(image, at) && found++ == 0) fields.offset = at;
  }
  if (found == 0) {
    return "no template fields found (seven digits, then two 128-character fields, "
           "each followed by a NUL)";
  }
  if (found > 1) {
    return std::to_string(found) + " places look like the template fields; expected one";
  }
  const auto text = [&](size_t from, uint32_t width) {
    return std::string(image.begin() + from, image.begin() + from + width);
  };
  size_t at = fields.offset;
  fields.stubSize = text(at, kStubSizeFieldWidth);
  at += kStubSizeFieldWidth + 1;
  fields.installDirectory = text(at, kInstallDirectoryFieldWidth);
  at += kInstallDirectoryFieldWidth + 1;
  fields.setupCommand = text(at, kSetupCommandFieldWidth);
  fields.stubSizeIsDefault = fields.stubSize == kStubSizeField.defaultContent;
  fields.installDirectoryIsDefault =
      fields.installDirectory == kInstallDirectoryField.defaultContent;
  return "";
}

std::string SetupProgramName(const std::string& field) {
  std::string name = field;
  const size_t bar = name.find('|');
  if (bar != std::string::npos) name.erase(0, bar + 1);
  const size_t star = name.find('*');
  if (star != std::string::npos) name.erase(star, 1);
  return TrimmedOfBlanks(name);
}

SetupStart SplitSetupCommand(const std::string& command, const IsFile& isFile) {
  for (size_t length = command.size(); length > 0; --length) {
    if (length < command.size() && command[length] != ' ') continue;
    if (!isFile(command.substr(0, length))) continue;
    const size_t arguments = command.find_first_not_of(' ', length);
    return {command.substr(0, length),
            arguments == std::string::npos ? "" : command.substr(arguments), true};
  }
  return {command, "", false};
}

SetupModes ReadSetupModes(const std::string& field, const IsFile& isFile) {
  return {SplitSetupCommand(TrimmedOfBlanks(field), isFile),
          SplitSetupCommand(SetupProgramName(field), isFile)};
}

std::string SetupModesWarning(const std::string& field, const SetupModes& modes) {
  if (modes.install.found == modes.beside.found) return "";
  const std::string command = "setup command '" + TrimmedOfBlanks(field) + "'";
  if (modes.beside.found) {
    return "the " + command + " starts '" + modes.beside.program +
           "' only in the \"123\" mode, which drops what comes before a '|' and a '*'; the "
           "default mode (running the installer) reads it whole, finds no file '" +
           modes.install.program + "' and starts nothing";
  }
  return "the " + command + " starts '" + modes.install.program +
         "' only in the default mode (running the installer); the \"123\" mode drops what "
         "comes before a '|' and a '*', finds no file '" + modes.beside.program +
         "' and starts nothing";
}

namespace {

// The upper-case letter of code point `c` among the small letters of
// Latin-1, Latin Extended-A, Greek and Cyrillic (Unicode's simple upper-case
// mapping, which Windows' file systems use); any other code point unchanged.
uint32_t UpperLetter(uint32_t c) {
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F)) {
    return c - 0x20;
  }
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c == 0xFF) return 0x178;
  if (c == 0x131) return 'I';
  if (c == 0x3C2) return 0x3A3;
  // Latin Extended-A pairs a capital and its small letter, the capital even
  // but from U+0139 to U+0148 and from U+0179 to U+017E; U+0138, U+0149 and
  // U+017F stand alone.
  if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x138 && c != 0x149) {
    const bool capitalOdd = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    if (c % 2 == (capitalOdd ? 0u : 1u)) return c - 1;
  }
  return c;
}

void AppendUtf8(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else {  // every letter UpperLetter gives is below U+0800
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string WindowsNameKey(const std::string& name) {
  std::string key;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
    if (byte >= 0xC2 && byte <= 0xDF && (next & 0xC0) == 0x80) {  // two bytes: up to U+07FF
      AppendUtf8(UpperLetter(uint32_t{byte & 0x1Fu} << 6 | (next & 0x3Fu)), key);
      ++i;
    } else if (byte == '\\') {
      key += '/';
    } else {
      key += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte);
    }
  }
  if (!key.empty() && key.back() == '/') key.pop_back();
  return key;
}
