// mkinstaller's side of the archive seal (the text form and its reader are
// the stub's, src/launcher/archive_seal.h): writing it as the archive
// comment of an installer packed from a folder, and telling whether a
// finished installer's seal is right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host_files.h"
#include "installer_image.h"

// The comment length an archive that will be sealed gives its end record.
uint16_t SealCommentLength();

// Reads back what `output` holds from `archiveStart` on (the whole archive
// up to its comment, as written, whatever was rewritten on the way) and
// appends the seal over it. Returns the problem.
std::string AppendSeal(OutputFile& output, uint64_t archiveStart);

// "right", "wrong" or "none": the seal of the archive that starts at
// `start` in `image` and whose end record lies at `endRecord`, its comment
// running to `archiveEnd`.
std::string SealState(const Bytes& image, size_t start, size_t endRecord, size_t archiveEnd);
