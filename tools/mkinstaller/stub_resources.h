// The stub's resource section, rebuilt with the publisher's icon, version
// information and execution level, and read back from a finished installer.
// Owns the PE layout work: reading the headers and the resource tree,
// writing a new tree, moving the relocations after it, the image sizes and
// the PE checksum. Pure functions over bytes in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "icon_file.h"
#include "installer_image.h"
#include "version_resource.h"

// One resource: type, id and language by number, and its data.
struct Resource {
  uint16_t type = 0, id = 0, language = 0;
  Bytes data;
};

constexpr uint16_t kIconType = 3, kIconGroupType = 14, kVersionType = 16, kManifestType = 24;

// What the publisher asked for; an empty member keeps what the stub has.
struct ResourceChoices {
  std::vector<IconImage> icon;
  VersionStrings versionStrings;
  std::string executionLevel;
};

// Empty when `level` is one the manifest can request, else the problem.
std::string ExecutionLevelProblem(const std::string& level);

// Rebuilds the resource section of the PE file `stub` with `choices`: the
// icon replaces every icon and icon group, the version information any
// version resource, the level the manifest's. The section keeps its place;
// the relocations, if they follow it, move after it. Directory time stamps
// are 0, the checksum field is cleared (see WritePeChecksum). Returns the
// problem, `stub` then unchanged, when it is not such a PE file: no
// resource section, one that does not parse or is not last but for the
// relocations, named resources, data after the last section, no manifest
// with an execution level.
std::string RebuildResources(Bytes& stub, const ResourceChoices& choices);

// Writes the PE checksum of `stub` (a PE file whose headers have been read
// by RebuildResources) into its optional header.
void WritePeChecksum(Bytes& stub);

// Reads the resources of the PE file `image` (anything may follow its last
// section). `present` tells whether it is a PE file with a resource
// section; the problem is returned when that section does not parse.
std::string ReadResources(const Bytes& image, bool& present, std::vector<Resource>& resources);

// The execution level `manifest` requests; empty when it names none.
std::string ExecutionLevel(const Bytes& manifest);
