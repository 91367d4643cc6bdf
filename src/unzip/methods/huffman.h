// Multi-level lookup tables for prefix codes, shared by inflate and explode.
//
// A code set is decoded through a root table indexed by the next b bits of
// the bit buffer; codes longer than b bits continue in sub-tables that the
// root's link slots point to. All tables of one code set form one chain that
// the caller owns and releases with FreeHuffmanTable.
#pragma once

#include <cstdint>

// Operations of a slot: 0 to 13 are length or distance codes with that many
// extra bits; the rest are these.
constexpr uint8_t kOpEndOfBlock = 15;
constexpr uint8_t kOpLiteral = 16;
constexpr uint8_t kOpLinkBase = 16;  // 17 to 32: link to a sub-table of (op - 16) bits
constexpr uint8_t kOpInvalid = 99;

struct HuffEntry {
  uint8_t Operation;
  uint8_t Bits;     // bits this slot consumes; for a link, the width of the table holding it
  uint16_t Value;   // literal byte, base length or base distance
  HuffEntry* Link;  // the sub-table, for links
};

enum HuffStatus : int {
  kHuffComplete = 0,
  kHuffIncomplete = 1,  // unassigned codes remain; the tables exist and must be released
  kHuffBadLengths = 2,  // nothing left to release
  kHuffNoMemory = 3,    // nothing left to release
};

// The largest symbol count a caller may pass.
constexpr uint32_t kHuffMaxSymbols = 320;

// Builds the tables for n code lengths (0 = symbol unused, at most 16).
// Symbols below s are simple: values under 256 decode as literals, others as
// end of block. A symbol v at or above s takes its operation from
// extras[v - s] and its value from bases[v - s]; an extra-bit count of 99 in
// the list makes the symbol invalid. *rootBits is the requested root width
// on entry and the width actually used on return (0 when no table is built).
// With all lengths 0 the result is kHuffComplete with no table.
HuffStatus BuildHuffmanTable(const uint8_t* lengths, uint32_t n, uint32_t s,
                             const uint16_t* bases, const uint8_t* extras,
                             HuffEntry** table, uint32_t* rootBits);

// The pieces of the canonical code that inflate's flat tables share.
// SortCodes lists the symbols of nonzero length in code order (by length,
// then by symbol) from lengths of at most 16 and count[len], the number of
// codes of each length 1 to 16. NextReversed gives the bit-reversed form of
// the code after rev of the same length (0 past the last): the canonical
// code plus one, counted from the reversed end; moving on to the next length
// leaves a reversed code as it is.
void SortCodes(const uint8_t* lengths, uint32_t n, const uint32_t* count, uint16_t* sorted);
uint32_t NextReversed(uint32_t rev, uint32_t length);

// Releases every table of a chain; null is allowed.
void FreeHuffmanTable(HuffEntry* table);
