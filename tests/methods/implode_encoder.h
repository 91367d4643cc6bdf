// A compact implode encoder (method 6) for the explode tests: greedy LZ77
// items, Shannon-Fano code lengths from the items' frequencies, the
// byte-coded length lists and the item stream, in all four variants.
#pragma once

#include <cstdint>
#include <vector>

#include "inflate_support.h"

constexpr uint16_t kImplodeBigDictionary = 0x0002;  // entry flag bit 1: 8 KB
constexpr uint16_t kImplodeLiteralTree = 0x0004;    // entry flag bit 2

// A literal (length 0) or a match.
struct ImplodeItem {
  uint32_t length;
  uint32_t distance;
  uint8_t literal;
};

std::vector<ImplodeItem> ImplodeItems(const Bytes& data, uint16_t flags);
// The bytes that items stand for; a match reaching before the start reads zeros.
Bytes ApplyItems(const std::vector<ImplodeItem>& items);

// Code lengths of the trees; literals is empty without a literal tree.
struct ImplodeCodes {
  std::vector<uint8_t> literals, lengths, distances;
};
ImplodeCodes ShannonFanoCodes(const std::vector<ImplodeItem>& items, uint16_t flags);

// One length list: a count byte, then (repeat - 1) << 4 | (length - 1) bytes.
Bytes LengthList(const std::vector<uint8_t>& lengths);
// The length lists followed by the items.
Bytes ImplodeStream(const std::vector<ImplodeItem>& items, uint16_t flags, const ImplodeCodes& codes);
inline Bytes Implode(const std::vector<ImplodeItem>& items, uint16_t flags) {
  return ImplodeStream(items, flags, ShannonFanoCodes(items, flags));
}
