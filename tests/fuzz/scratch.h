// The fuzz targets' scratch area: a private directory per process under
// $TMPDIR, emptied between inputs, and the checks that an input left nothing
// behind (no file outside where the engine may write, no open descriptor).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The current directory, to return to after the engine has moved it.
std::string CurrentDirectory();

// Makes the scratch directory (removed again at exit) and returns its path.
std::string MakeScratch(const char* purpose);

// Writes bytes as the whole file at path; aborts when it cannot.
void WriteScratchFile(const std::string& path, const uint8_t* data, size_t size);

// Removes everything below directory, whatever its attributes, leaving the
// directory itself.
void EmptyDirectory(const std::string& directory);

// Aborts when directory holds an entry whose name is not one of the allowed
// (a null-terminated list).
void RequireOnly(const std::string& directory, const char* const* allowed);

// The number of descriptors this process has open.
int OpenDescriptorCount();
