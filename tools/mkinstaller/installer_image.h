// How mkinstaller turns a stub file into the head of an installer: the three
// template fields (where they lie, which values they can carry, how a value
// is written into one) and the check that a payload is a ZIP archive. Pure
// functions over bytes in memory; mkinstaller.cpp owns the files.
#pragma once

#include <cstdint>
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

// True when `archive` holds an end-of-central-directory signature with room
// for the record's 22 bytes before the end of the data.
bool HasEndOfCentralDirectory(const Bytes& archive);
