// A small encoder of reduced data (methods 2 to 5) for the unreduce tests:
// the inner stream of literals and 144-introduced matches, and the outer
// coding of that stream by follower sets.
#pragma once

#include <cstdint>
#include <vector>

#include "inflate_support.h"

// The inner stream of data for factor f (1 to 4): greedy matches of 3 to
// (255 >> f) + 258 bytes from up to 256 << f bytes back, other bytes as
// literals, 144 escaped as 144, 0.
Bytes ReduceMatches(const Bytes& data, uint32_t factor);

// For each byte value, up to maxSize of the bytes that follow it most often
// in inner (set x codes the byte after x; the first byte comes after 0).
std::vector<Bytes> ChooseFollowers(const Bytes& inner, uint32_t maxSize);

// Index width of a set of n members: enough bits to number them, at least 1.
uint32_t IndexBits(size_t n);
// The 256 sets, byte 255 first: a 6-bit size, then the members.
void PutFollowerSets(BitWriter& out, const std::vector<Bytes>& sets);
// One inner byte coded by the set of the byte before it.
void PutInnerByte(BitWriter& out, const Bytes& set, uint8_t b);

// The whole stream: follower sets chosen with maxSize, then the inner bytes.
Bytes PackInner(const Bytes& inner, uint32_t maxSize);
inline Bytes Reduce(const Bytes& data, uint32_t factor, uint32_t maxSize) {
  return PackInner(ReduceMatches(data, factor), maxSize);
}
