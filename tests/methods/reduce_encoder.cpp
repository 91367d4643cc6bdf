// Reduce encoder of the unreduce tests: hash-chain match search, follower
// sets by successor counts.
#include "reduce_encoder.h"

#include <algorithm>

Bytes ReduceMatches(const Bytes& data, uint32_t factor) {
  const uint32_t lengthMask = 0xFFu >> factor;
  const size_t maxLength = lengthMask + 258, maxDistance = 256u << factor;
  std::vector<int64_t> head(1 << 16, -1), prev(data.size(), -1);
  auto hash = [&](size_t i) { return (data[i] << 8 ^ data[i + 1] << 4 ^ data[i + 2]) & 0xFFFF; };
  Bytes inner;
  for (size_t i = 0; i < data.size();) {
    size_t bestLength = 0, bestDistance = 0;
    if (i + 3 <= data.size()) {
      int chain = 64;
      for (int64_t j = head[hash(i)]; j >= 0 && i - j <= maxDistance && chain-- > 0; j = prev[j]) {
        size_t n = 0;
        while (n < maxLength && i + n < data.size() && data[j + n] == data[i + n]) ++n;
        if (n > bestLength) bestLength = n, bestDistance = i - j;
      }
    }
    const uint32_t code = static_cast<uint32_t>(bestLength) - 3;
    const uint32_t high = static_cast<uint32_t>(bestDistance - 1) >> 8 << (8 - factor);
    // V = 0 would read as an escaped 144: such a match stays literals.
    const size_t step = bestLength >= 3 && (high | code) != 0 ? bestLength : 1;
    if (step > 1) {
      inner.push_back(144);
      inner.push_back(static_cast<uint8_t>(high | std::min(code, lengthMask)));
      if (code >= lengthMask) inner.push_back(static_cast<uint8_t>(code - lengthMask));
      inner.push_back(static_cast<uint8_t>(bestDistance - 1));
    } else {
      inner.push_back(data[i]);
      if (data[i] == 144) inner.push_back(0);
    }
    for (size_t k = i; k < i + step; ++k) {
      if (k + 3 > data.size()) break;
      prev[k] = head[hash(k)];
      head[hash(k)] = static_cast<int64_t>(k);
    }
    i += step;
  }
  return inner;
}

std::vector<Bytes> ChooseFollowers(const Bytes& inner, uint32_t maxSize) {
  std::vector<std::vector<uint32_t>> counts(256, std::vector<uint32_t>(256, 0));
  uint8_t last = 0;
  for (uint8_t b : inner) ++counts[last][b], last = b;
  std::vector<Bytes> sets(256);
  for (int x = 0; x < 256; ++x) {
    Bytes order;
    for (int b = 0; b < 256; ++b)
      if (counts[x][b]) order.push_back(static_cast<uint8_t>(b));
    std::stable_sort(order.begin(), order.end(),
                     [&](uint8_t a, uint8_t b) { return counts[x][a] > counts[x][b]; });
    order.resize(std::min<size_t>(order.size(), maxSize));
    sets[x] = order;
  }
  return sets;
}

uint32_t IndexBits(size_t n) {
  uint32_t bits = 1;
  while ((size_t{1} << bits) < n) ++bits;
  return bits;
}

void PutFollowerSets(BitWriter& out, const std::vector<Bytes>& sets) {
  for (int x = 255; x >= 0; --x) {
    out.Put(static_cast<uint32_t>(sets[x].size()), 6);
    for (uint8_t b : sets[x]) out.PutByte(b);
  }
}

void PutInnerByte(BitWriter& out, const Bytes& set, uint8_t b) {
  const auto at = std::find(set.begin(), set.end(), b);
  if (at != set.end()) {
    out.Put(0, 1);
    out.Put(static_cast<uint32_t>(at - set.begin()), IndexBits(set.size()));
    return;
  }
  if (!set.empty()) out.Put(1, 1);
  out.PutByte(b);
}

Bytes PackInner(const Bytes& inner, uint32_t maxSize) {
  const std::vector<Bytes> sets = ChooseFollowers(inner, maxSize);
  BitWriter out;
  PutFollowerSets(out, sets);
  uint8_t last = 0;
  for (uint8_t b : inner) PutInnerByte(out, sets[last], b), last = b;
  return out.Finish();
}
