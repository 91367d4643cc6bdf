// The seal that mkinstaller writes into the archive comment: the CRC-32 and
// the length of the archive's bytes from its first byte up to the comment
// (the end record included, the comment not), in one line of text that other
// ZIP tools show as the comment:
//
//   orvane-seal crc32=89ABCDEF length=0000123456
//
// eight upper-case hexadecimal digits and ten decimal digits, 44 characters.
// The publisher's options, when any was chosen, follow on a second line,
// after one LF: the label and version, then each chosen word (at least one)
// once and in this order, nothing after them (no line end):
//
//   orvane-options v1 wait pass-arguments
//
// Without options the comment is the seal line alone. Bytes after the
// comment (an Authenticode signature) are outside the seal.
#pragma once

#include <cstdint>

constexpr char kSealCrcLabel[] = "orvane-seal crc32=";
constexpr char kSealLengthLabel[] = " length=";
constexpr uint32_t kSealCrcDigits = 8;
constexpr uint32_t kSealLengthDigits = 10;
constexpr uint32_t kSealTextLength = sizeof kSealCrcLabel - 1 + kSealCrcDigits +
                                     sizeof kSealLengthLabel - 1 + kSealLengthDigits;

// The longest options line; a shorter one leaves out the words not chosen.
constexpr char kSealOptionsLine[] = "\norvane-options v1 wait pass-arguments";
constexpr uint32_t kSealOptionsLabelLength = 18;  // "\norvane-options v1"
constexpr uint32_t kSealOptionWaitLength = 5;     // " wait"
constexpr uint32_t kSealOptionPassArgumentsLength = 15;  // " pass-arguments"
static_assert(kSealOptionsLabelLength + kSealOptionWaitLength + kSealOptionPassArgumentsLength ==
                  sizeof kSealOptionsLine - 1,
              "the options line is the label and the two words");
// The longest comment a seal makes: the seal line and every option.
constexpr uint32_t kLongestSealText = kSealTextLength + sizeof kSealOptionsLine - 1;

// The options' bits in ArchiveSeal::Options.
constexpr uint8_t kOptionWait = 1;           // wait for the setup program, take its exit code
constexpr uint8_t kOptionPassArguments = 2;  // hand the installer's arguments to it

struct ArchiveSeal {
  uint32_t Crc;     // ZIP's CRC-32 (complemented register)
  uint32_t Length;
  uint8_t Options;
};

enum class SealReading : uint8_t {
  None,        // the comment is no seal: another tool made the archive
  Unreadable,  // it begins as a seal but is not one: damaged
  Read,
};

// Reads the comment's first `length` bytes. A caller that holds only part of
// a longer comment passes kLongestSealText + 1 bytes of it, which is no seal.
SealReading ReadSeal(const uint8_t* comment, uint32_t length, ArchiveSeal& seal);
