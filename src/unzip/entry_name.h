// Entry names as the file functions take them. The format writes a name in
// UTF-8 when the entry's flag bit 11 is set and in the OEM code page
// otherwise (code page 437 by its own definition; Windows reads the system's
// OEM code page). Paths are carried in the ANSI code page, so a name is
// converted through UTF-16 (by the OS boundary); names of ASCII alone read
// the same in every one of these and pass byte for byte.
#pragma once

#include <cstdint>

#include "unzip/central_directory.h"

constexpr uint16_t kFlagUtf8Name = 0x0800;

// Decodes UTF-8 into UTF-16. False for anything but well-formed UTF-8 (a
// stray or missing continuation byte, an overlong form, a surrogate, a code
// point above U+10FFFF) or when more than capacity units would come out.
bool DecodeUtf8(const uint8_t* text, uint32_t length, uint16_t* out, uint32_t capacity,
                uint32_t* count);

// Writes the entry name of `length` bytes at `raw` to name, with every "/"
// as "\". False when the name cannot be used: a character the ANSI code page
// cannot hold exactly, invalid UTF-8 under the flag, a NUL byte (the file
// would get a shorter name), or more than kMaxEntryName characters once
// converted; name then holds the name's bytes as the directory gives them,
// cut at kMaxEntryName, for the message.
bool TakeEntryName(const uint8_t* raw, uint32_t length, bool utf8, char* name);
