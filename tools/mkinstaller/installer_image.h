// How mkinstaller turns a stub file into the head of an installer: the three
// template fields (where they lie, which values they can carry, how a value
// is written into one, how a finished installer's are read back, which
// program the stub starts).
// Pure functions over bytes in memory; mkinstaller.cpp owns the files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// What the publisher asked for. No install directory leaves that field blank.
struct InstallerValues {
  std::string setupCommand;
  std::optional<std::string> installDirectory;
};

// Empty when the value can go into the setup-command field; otherwise the
// problem, as one line naming the field.
std::string SetupCommandProblem(const std::string& value);
// The same for the install-directory field.
std::string InstallDirectoryProblem(const std::string& value);

// Overwrites the three template fields of `stub` in place with `values` and
// the stub's own size plus one. Returns the problem when a field's default
// is missing or occurs more than once, or when the size does not fit the
// stub-size field; `stub` is then unchanged. The values must have passed the
// checks above.
std::string PatchStub(Bytes& stub, const InstallerValues& values);

// The three fields as a finished installer holds them, at full width.
struct StoredFields {
  size_t offset = 0;  // of the stub-size field; the other two follow it
  std::string stubSize, installDirectory, setupCommand;
  bool stubSizeIsDefault = false, installDirectoryIsDefault = false;
};

// Finds the fields in `image`[0, end). The stub keeps them in one block, each
// followed by its NUL: seven digits, then two fields of 128 characters
// without NUL or control characters. Returns the problem when no such block
// or more than one is there.
std::string ReadStoredFields(const Bytes& image, size_t end, StoredFields& fields);

// The program a setup-command field value makes the stub start, as the "123"
// mode reads it: everything up to a first '|' dropped, then a first '*', and
// the rest trimmed of codes 0 to 32. The default mode starts the trimmed
// field whole, which is the same name when it holds neither character.
std::string SetupProgramName(const std::string& field);

// The setup program and its arguments as the stub splits a setup command
// as one mode reads it (`command`): the longest part ending at a blank or at
// its end that `isFile` accepts (the stub asks whether it names an extracted
// file); the arguments follow it after blanks. When no part is accepted,
// the whole command and no arguments.
struct SetupStart {
  std::string program, arguments;
  bool found = false;  // `program` is a file
};
using IsFile = std::function<bool(const std::string&)>;
SetupStart SplitSetupCommand(const std::string& command, const IsFile& isFile);

// What each mode starts from the setup-command field `field`: the default
// mode (running the installer) reads it whole, the "123" mode as
// SetupProgramName gives it.
struct SetupModes {
  SetupStart install, beside;
};
SetupModes ReadSetupModes(const std::string& field, const IsFile& isFile);

// The warning when one mode finds its setup program and the other does not
// ("" when both or neither do): it names the program each mode would start.
std::string SetupModesWarning(const std::string& field, const SetupModes& modes);

// The key under which Windows finds `name`: letters upper-cased (ASCII, and
// in UTF-8 those of Latin-1, Latin Extended-A, Greek and Cyrillic, as the
// file system's table has them), '\' as '/', a trailing '/' dropped. Two
// names with one key are one file.
std::string WindowsNameKey(const std::string& name);
