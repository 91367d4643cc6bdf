// The uninstaller copy, "orvane_r.exe" in the user's temporary directory:
// the stub alone, which the run-once removal entries and the uninstall entry
// start with REMOVE or VREMOVE, neither of which needs the archive. It is
// written under a fresh name and moved into place only when whole, so that
// nothing planted at its name (a link, a folder, a file someone holds open)
// is written through or left to be named by the registration.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Clears the certificate table's entry and the checksum in the headers of
// the executable image whose first `length` bytes are `image`: a signed
// installer's stub, cut from its archive and signature, becomes a
// well-formed unsigned image. False when the bytes hold no such entry.
bool ForgetSignature(uint8_t* image, uint32_t length);

// Writes the first `stubLength` bytes of the open `installer` (the stub,
// unsigned: ForgetSignature) as the uninstaller copy in `tempDirectory`
// (with its backslash), replacing what was there. False when no copy of
// this run's own stub stands at that name afterwards: then nothing may be
// registered that names it.
bool WriteUninstallerCopy(FileHandle installer, uint32_t stubLength, const char* tempDirectory);
