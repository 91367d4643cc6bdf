// Decoding of MS-DOS stamps and setting them as a file's last-write time.
#include "unzip/dos_time.h"

CalendarTime DecodeDosTime(uint32_t dosDateTime) {
  uint16_t time = static_cast<uint16_t>(dosDateTime);
  uint16_t date = static_cast<uint16_t>(dosDateTime >> 16);
  CalendarTime t;
  t.year = static_cast<uint16_t>(1980 + (date >> 9));
  t.month = (date >> 5) & 0x0F;
  t.day = date & 0x1F;
  t.hour = time >> 11;
  t.minute = (time >> 5) & 0x3F;
  t.second = static_cast<uint16_t>(2 * (time & 0x1F));
  return t;
}

void SetDosFileTime(FileHandle file, uint32_t dosDateTime) {
  SetLastWriteTime(file, DecodeDosTime(dosDateTime));
}
