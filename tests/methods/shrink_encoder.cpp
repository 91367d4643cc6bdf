// The shrink encoder of the unshrink tests: LZW over a table that mirrors
// the decoder's, with code-size steps and partial clears.
#include "shrink_encoder.h"

#include <unordered_map>
#include <vector>

Bytes Shrink(const Bytes& data, ShrinkStats* stats) {
  // The table ends at 8191, the largest 13-bit code: the decoder's slot 8192
  // stays unused, since other decoders have no such slot.
  constexpr int32_t kFirst = 257, kLast = 8191;
  ShrinkWriter out;
  ShrinkStats counts;
  std::vector<int32_t> prefix(kLast + 1), children(kLast + 1, 0);
  std::vector<uint8_t> suffix(kLast + 1);
  for (int32_t x = kFirst; x <= kLast; ++x) prefix[x] = -(x + 1);
  int32_t head = kFirst;
  std::unordered_map<uint32_t, int32_t> codes;  // prefix << 8 | byte -> code
  auto key = [](int32_t p, uint8_t b) { return static_cast<uint32_t>(p) << 8 | b; };

  int32_t w = data.empty() ? -1 : data[0];
  for (size_t i = 1; w >= 0; ++i) {
    const bool more = i < data.size();
    if (more) {
      auto found = codes.find(key(w, data[i]));
      if (found != codes.end()) {
        w = found->second;
        continue;
      }
    }
    while (w >> out.Size()) out.Grow();
    out.Code(static_cast<uint32_t>(w));
    if (!more) break;
    // Clear as soon as the table is full, as PKZIP does: other decoders
    // refuse a code that finds no free slot. The decoder adds the pending
    // string after the clear, so if the clear frees w, the new code extends
    // a free code; no match reaches it until w is assigned again.
    if (head > kLast) {
      out.Clear();
      ++counts.clears;
      std::vector<int32_t> freed;  // decided on the table as it stands
      for (int32_t x = kFirst; x <= kLast; ++x) {
        if (children[x] == 0) freed.push_back(x);
      }
      for (size_t k = 0; k < freed.size(); ++k) {
        const int32_t x = freed[k];
        auto own = codes.find(key(prefix[x], suffix[x]));
        if (own != codes.end() && own->second == x) codes.erase(own);
        if (prefix[x] > 256) --children[prefix[x]];
        prefix[x] = -(k + 1 < freed.size() ? freed[k + 1] : kLast + 1);
      }
      head = freed[0];
    }
    if (head <= kLast) {
      const int32_t n = head;
      head = -prefix[n];
      prefix[n] = w;
      suffix[n] = data[i];
      if (w > 256) ++children[w];
      codes[key(w, data[i])] = n;
    }
    w = data[i];
  }
  counts.codeSize = out.Size();
  if (stats) *stats = counts;
  return out.Finish();
}
