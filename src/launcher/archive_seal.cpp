// Reading the archive seal's text; see archive_seal.h.
#include "launcher/archive_seal.h"

namespace {

bool MatchesLabel(const uint8_t* at, const char* label, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    if (at[i] != static_cast<uint8_t>(label[i])) return false;
  }
  return true;
}

// `digits` digits of base 16 (upper case) or 10 into value; false on anything
// else or a value beyond 32 bits.
bool ReadDigits(const uint8_t* at, uint32_t digits, uint32_t base, uint32_t& value) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < digits; ++i) {
    uint32_t digit;
    if (at[i] >= '0' && at[i] <= '9') {
      digit = at[i] - '0';
    } else if (base == 16 && at[i] >= 'A' && at[i] <= 'F') {
      digit = at[i] - 'A' + 10;
    } else {
      return false;
    }
    if (sum > (0xFFFFFFFF - digit) / base) return false;
    sum = sum * base + digit;
  }
  value = sum;
  return true;
}

}  // namespace

SealReading ReadSeal(const uint8_t* comment, uint32_t length, ArchiveSeal& seal) {
  constexpr uint32_t kCrcLabelLength = sizeof kSealCrcLabel - 1;
  constexpr uint32_t kLengthLabelLength = sizeof kSealLengthLabel - 1;
  // "orvane-seal " alone marks a seal; what follows must then be whole.
  constexpr uint32_t kMarkLength = 12;
  if (length < kMarkLength || !MatchesLabel(comment, kSealCrcLabel, kMarkLength)) {
    return SealReading::None;
  }
  const uint8_t* crcAt = comment + kCrcLabelLength;
  const uint8_t* lengthAt = crcAt + kSealCrcDigits + kLengthLabelLength;
  const bool whole = length >= kSealTextLength &&
                     MatchesLabel(comment, kSealCrcLabel, kCrcLabelLength) &&
                     ReadDigits(crcAt, kSealCrcDigits, 16, seal.Crc) &&
                     MatchesLabel(crcAt + kSealCrcDigits, kSealLengthLabel, kLengthLabelLength) &&
                     ReadDigits(lengthAt, kSealLengthDigits, 10, seal.Length);
  if (!whole) return SealReading::Unreadable;
  // What follows the seal line: nothing, or an options line. Each set of
  // options gives that line a length of its own, and its text is the
  // longest line's with the words not chosen left out.
  constexpr uint32_t kLabel = kSealOptionsLabelLength;
  constexpr uint32_t kWaitOnly = kLabel + kSealOptionWaitLength;
  constexpr uint32_t kPassOnly = kLabel + kSealOptionPassArgumentsLength;
  constexpr uint32_t kBoth = sizeof kSealOptionsLine - 1;
  static_assert(kWaitOnly != kPassOnly, "the lengths tell the options apart");
  const uint32_t left = length - kSealTextLength;
  seal.Options = 0;
  if (left == 0) return SealReading::Read;
  if (left != kWaitOnly && left != kPassOnly && left != kBoth) return SealReading::Unreadable;
  const uint32_t skipped = left == kPassOnly ? kSealOptionWaitLength : 0;
  for (uint32_t i = 0; i < left; ++i) {
    const char expected = kSealOptionsLine[i < kLabel ? i : i + skipped];
    if (comment[kSealTextLength + i] != static_cast<uint8_t>(expected)) {
      return SealReading::Unreadable;
    }
  }
  seal.Options = static_cast<uint8_t>((left == kPassOnly ? 0 : kOptionWait) |
                                      (left >= kPassOnly ? kOptionPassArguments : 0));
  return SealReading::Read;
}
