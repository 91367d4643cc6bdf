// Path mapping of the host side: Windows paths with backslashes become host
// paths with '/'. Shared by the POSIX file and path calls.
#pragma once

#include <cstddef>

constexpr size_t kHostPathSize = 1024;

// False when the path does not fit.
bool ToHostPath(const char* path, char (&out)[kHostPathSize]);

// Drops the attribute bits a host file cannot carry (hidden, system, archive)
// that were remembered for this host path.
void ForgetExtraAttributes(const char* hostPath);
