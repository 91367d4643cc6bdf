// MS-DOS date and time stamps of ZIP entries.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The 32-bit stamp holds the time in its low half and the date in its high
// half: year 1980 + bits 9-15 of the date, month bits 5-8, day bits 0-4;
// hour bits 11-15 of the time, minute bits 5-10, second 2 x bits 0-4.
CalendarTime DecodeDosTime(uint32_t dosDateTime);

// Sets the open file's last-write time from the stamp, read as local time.
// A stamp that is no calendar time leaves the file's time as it is.
void SetDosFileTime(FileHandle file, uint32_t dosDateTime);
