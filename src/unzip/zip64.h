// The Zip64 extended-information extra field (header id 0x0001), which holds
// the 64-bit values of a record's sizes and offset when their 32-bit fields
// are full, and the largest value the engine handles.
#pragma once

#include <cstdint>

// A 32-bit size or offset field that holds this has its value in the Zip64
// field; a 16-bit entry count, 0xFFFF.
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;

// Sizes and offsets above this do not fit the engine's signed 32-bit counts
// with their margin of 100 (2^31 - 1 - 100).
constexpr uint32_t kLargestValue = 2147483547;

// values[0 .. count) hold a record's 32-bit fields in the Zip64 field's order
// (uncompressed size, compressed size, local header offset). Each one that
// is kZip64Marker takes the next 64-bit value of the field, where the extra
// field holds one; the others stay as they are.
void ReadZip64Values(const uint8_t* extra, uint32_t extraLength, uint64_t* values, int count);
