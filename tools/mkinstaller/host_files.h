// mkinstaller's access to files: reading an input whole, telling whether two
// paths name the same file, and replacing the output through a temporary
// file. Each returns an empty string on success, else the problem as one
// line. replace_file_posix.cpp holds the only POSIX calls of the tool.
#pragma once

#include <string>
#include <vector>

#include "installer_image.h"

// Reads the file at `path` into `contents`; `what` names it in the problem.
std::string ReadWholeFile(const std::string& path, const char* what, Bytes& contents);

// True when `a` and `b` are the same file (same device and inode) or, when
// either does not exist, lead to the same absolute, normalised path.
bool SameFile(const std::string& a, const std::string& b);

// Writes `parts` one after another into a new file beside `target` and
// renames it over `target` once all of it is written and closed. On any
// failure the new file is removed and `target` stays as it was.
std::string ReplaceFile(const std::string& target, const std::vector<const Bytes*>& parts);
