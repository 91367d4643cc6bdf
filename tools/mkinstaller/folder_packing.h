// Packing a listed and checked folder into the installer: the stub, then
// each entry in order, then the central directory and the end record,
// written out as they are made. Memory stays bounded whatever the files'
// sizes: threads read and compress pieces of files (file_pieces.h) into a
// few buffers ahead of the writer, which writes them in the archive's order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "folder_archive.h"
#include "host_files.h"
#include "installer_image.h"

struct PackOptions {
  uint16_t method = kDeflated;  // or kLzma
  int level = 9;                // 0 stores every file; for LZMA, liblzma's preset
  unsigned threads = 1;         // that read and compress
  bool progress = false;
  std::optional<int64_t> fixedTime;  // every entry's time, else the file's
  uint8_t sealOptions = 0;           // the publisher's options the seal records
};

// Writes `stub` and the archive of `items` (in the archive's order, checked
// by CheckTree) into `output`, created and empty. The size limit is checked
// before anything is written where the sizes tell (level 0), else as soon as
// the archive is sure to pass it.
std::string PackFolder(const std::vector<TreeItem>& items, const PackOptions& options,
                       const Bytes& stub, OutputFile& output);
