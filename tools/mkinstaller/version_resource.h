// The installer's version information: the publisher's KEY=VALUE fields
// checked, the RT_VERSION resource (VS_VERSIONINFO) built from them, and a
// finished installer's read back. Pure functions over bytes and text.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "installer_image.h"

// Field name and value (UTF-8), in the order given.
using VersionStrings = std::vector<std::pair<std::string, std::string>>;

// Adds the field of one "--version-info KEY=VALUE" to `strings`. Returns the
// problem when KEY is not one of the usual string fields or given before,
// the value is empty, not UTF-8 or too long, or a FileVersion or
// ProductVersion does not start with a version number (one to four numbers
// of 0 to 65535 joined by dots).
std::string AddVersionString(const std::string& option, VersionStrings& strings);

// The VS_VERSIONINFO resource for the checked `strings`: one string table
// for US English in UTF-16, and the numeric file and product versions taken
// from FileVersion and ProductVersion, the one given standing for both when
// the other is not (0.0.0.0 when neither is).
Bytes VersionResource(const VersionStrings& strings);

// Reads the string table(s) of the VS_VERSIONINFO resource `resource` back
// into `strings` (values in UTF-8). Returns the problem when it is damaged.
std::string ReadVersionStrings(const Bytes& resource, VersionStrings& strings);
