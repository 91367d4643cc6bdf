// Implode encoder for the explode tests: LZ77, Shannon-Fano lengths, lists
// and the item stream with every code bit inverted.
#include "implode_encoder.h"

#include <algorithm>
#include <functional>
#include <numeric>

namespace {

uint32_t MinLength(uint16_t flags) { return flags & kImplodeLiteralTree ? 3 : 2; }
uint32_t LowBits(uint16_t flags) { return flags & kImplodeBigDictionary ? 7 : 6; }

// Length symbol (0..63) and the 8 extra bits of symbol 63.
uint32_t LengthSymbol(uint32_t length, uint16_t flags) {
  return std::min<uint32_t>(length - MinLength(flags), 63);
}

// Splits the symbols, heaviest first, into halves of about equal weight,
// never deeper than 16 bits.
std::vector<uint8_t> ShannonFano(const std::vector<uint32_t>& freq) {
  std::vector<size_t> order(freq.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return freq[a] > freq[b]; });
  std::vector<uint8_t> lengths(freq.size());
  std::function<void(size_t, size_t, uint32_t)> split = [&](size_t lo, size_t hi, uint32_t depth) {
    if (hi - lo == 1) {
      lengths[order[lo]] = static_cast<uint8_t>(depth);
      return;
    }
    const size_t cap = size_t{1} << (15 - depth);  // symbols that fit below each half
    uint64_t total = 0;
    for (size_t i = lo; i < hi; ++i) total += freq[order[i]];
    size_t mid = lo + 1;
    uint64_t left = freq[order[lo]];
    while (mid < hi - 1 && mid - lo < cap && (2 * left < total || hi - mid > cap))
      left += freq[order[mid++]];
    split(lo, mid, depth + 1);
    split(mid, hi, depth + 1);
  };
  split(0, freq.size(), 0);
  return lengths;
}

// A tree's codes as the stream carries them: canonical, every bit inverted.
struct Tree {
  std::vector<uint8_t> lengths;
  std::vector<uint32_t> codes;
  explicit Tree(const std::vector<uint8_t>& l) : lengths(l), codes(CanonicalCodes(l)) {}
  void Put(BitWriter& w, uint32_t symbol) const {
    w.PutCode(~codes[symbol] & ((1u << lengths[symbol]) - 1), lengths[symbol]);
  }
};

}  // namespace

std::vector<ImplodeItem> ImplodeItems(const Bytes& data, uint16_t flags) {
  const uint32_t minLength = MinLength(flags);
  const size_t window = flags & kImplodeBigDictionary ? 8192 : 4096;
  std::vector<int64_t> last(65536, -1);  // last position of each byte pair
  std::vector<ImplodeItem> items;
  for (size_t i = 0; i < data.size();) {
    size_t length = 0;
    if (i + 1 < data.size()) {
      const int64_t from = last[data[i] | data[i + 1] << 8];
      if (from >= 0 && i - static_cast<size_t>(from) <= window)
        while (i + length < data.size() && length < minLength + 63 + 255 &&
               data[static_cast<size_t>(from) + length] == data[i + length])
          ++length;
      if (length >= minLength) items.push_back({static_cast<uint32_t>(length), static_cast<uint32_t>(i - from), 0});
    }
    if (length < minLength) {
      items.push_back({0, 0, data[i]});
      length = 1;
    }
    for (size_t end = i + length; i < end; ++i)
      if (i + 1 < data.size()) last[data[i] | data[i + 1] << 8] = static_cast<int64_t>(i);
  }
  return items;
}

Bytes ApplyItems(const std::vector<ImplodeItem>& items) {
  Bytes out;
  for (const ImplodeItem& item : items) {
    if (item.length == 0) out.push_back(item.literal);
    for (uint32_t i = 0; i < item.length; ++i)
      out.push_back(out.size() >= item.distance ? out[out.size() - item.distance] : 0);
  }
  return out;
}

ImplodeCodes ShannonFanoCodes(const std::vector<ImplodeItem>& items, uint16_t flags) {
  std::vector<uint32_t> literals(256), lengths(64), distances(64);
  for (const ImplodeItem& item : items) {
    if (item.length == 0) {
      ++literals[item.literal];
    } else {
      ++lengths[LengthSymbol(item.length, flags)];
      ++distances[(item.distance - 1) >> LowBits(flags)];
    }
  }
  ImplodeCodes codes{{}, ShannonFano(lengths), ShannonFano(distances)};
  if (flags & kImplodeLiteralTree) codes.literals = ShannonFano(literals);
  return codes;
}

Bytes LengthList(const std::vector<uint8_t>& lengths) {
  Bytes list(1);
  for (size_t i = 0; i < lengths.size();) {
    size_t run = 1;
    while (run < 16 && i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
    list.push_back(static_cast<uint8_t>((run - 1) << 4 | (lengths[i] - 1)));
    i += run;
  }
  list[0] = static_cast<uint8_t>(list.size() - 2);
  return list;
}

Bytes ImplodeStream(const std::vector<ImplodeItem>& items, uint16_t flags, const ImplodeCodes& codes) {
  Bytes out;
  for (const auto* tree : {&codes.literals, &codes.lengths, &codes.distances}) {
    if (tree->empty()) continue;
    const Bytes list = LengthList(*tree);
    out.insert(out.end(), list.begin(), list.end());
  }
  const Tree literals(codes.literals), lengths(codes.lengths), distances(codes.distances);
  BitWriter w;
  for (const ImplodeItem& item : items) {
    w.Put(item.length == 0, 1);
    if (item.length == 0) {
      if (flags & kImplodeLiteralTree) literals.Put(w, item.literal);
      else w.Put(item.literal, 8);
      continue;
    }
    w.Put((item.distance - 1) & ((1u << LowBits(flags)) - 1), LowBits(flags));
    distances.Put(w, (item.distance - 1) >> LowBits(flags));
    const uint32_t symbol = LengthSymbol(item.length, flags);
    lengths.Put(w, symbol);
    if (symbol == 63) w.Put(item.length - MinLength(flags) - 63, 8);
  }
  const Bytes bits = w.Finish();
  out.insert(out.end(), bits.begin(), bits.end());
  return out;
}
