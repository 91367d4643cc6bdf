// Archives that outside tools make, for the decoders' tests: the files they
// are made from, their entries as python's zipfile lists them, and the
// extraction of every entry of one method through entry extraction.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "inflate_support.h"

struct ListedEntry {
  uint32_t offset;
  std::string name;
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t size;
  uint16_t method;
};

std::vector<ListedEntry> ListArchive(const fs::path& archive);

uint16_t LocalFlags(const Bytes& archive, uint32_t offset);
uint32_t LocalCompressedSize(const Bytes& archive, uint32_t offset);

// Files of several kinds and sizes, among them sizes at and around the
// window's 32768 bytes, written into `dir`.
std::map<std::string, Bytes> MakeArchiveFiles(const fs::path& dir);

// Extracts every entry of `method` to its own file (with the central
// directory's sizes, as the archive driver does) and checks it against its
// size, its CRC and the original bytes; returns the number of such entries.
int ExtractEntriesOf(const fs::path& archive, uint16_t method,
                     const std::map<std::string, Bytes>& originals);
