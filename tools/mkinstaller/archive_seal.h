// mkinstaller's side of the archive seal (the text form and its reader are
// the stub's, src/launcher/archive_seal.h): writing it, with the
// publisher's options, as the archive comment of an installer packed from a
// folder, and telling whether a finished installer's seal is right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host_files.h"
#include "installer_image.h"

// The comment: the seal line, then the options line when `options` (the
// seal's option bits) names any. Its length is what the end record of an
// archive that will be sealed announces.
std::string SealComment(uint32_t crc, uint64_t length, uint8_t options);
uint16_t SealCommentLength(uint8_t options);

// Reads back what `output` holds from `archiveStart` on (the whole archive
// up to its comment, as written, whatever was rewritten on the way) and
// appends the seal over it, with `options`. Returns the problem.
std::string AppendSeal(OutputFile& output, uint64_t archiveStart, uint8_t options);

// The seal of the archive that starts at `start` in `image` and whose end
// record lies at `endRecord`, its comment running to `archiveEnd`: "right",
// "wrong" or "none". `options` gets the options it records (none for an
// archive without a seal, which the installer runs without options); it
// stays empty when the comment begins as a seal but does not read as one.
std::string SealState(const Bytes& image, size_t start, size_t endRecord, size_t archiveEnd,
                      std::optional<uint8_t>& options);

// The options' words, "wait" and "pass-arguments", in the seal's order.
std::vector<std::string> OptionWords(uint8_t options);
