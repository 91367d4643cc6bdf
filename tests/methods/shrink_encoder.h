// A compact shrink (ZIP method 1) encoder for the unshrink tests, and the
// code writer under it, which also serves hand-made code streams.
#pragma once

#include <cstdint>

#include "inflate_support.h"

// Writes codes least significant bit first at the current code size, which
// starts at 9; Grow and Clear send the control sequences 256,1 and 256,2.
class ShrinkWriter {
 public:
  ShrinkWriter& Code(uint32_t code) {
    bits_.Put(code, size_);
    return *this;
  }
  ShrinkWriter& Grow() {
    Code(256).Code(1);
    ++size_;
    return *this;
  }
  ShrinkWriter& Clear() { return Code(256).Code(2); }
  ShrinkWriter& Literals(const std::string& text) {
    for (char c : text) Code(static_cast<uint8_t>(c));
    return *this;
  }
  uint32_t Size() const { return size_; }
  Bytes Finish() { return bits_.Finish(); }

 private:
  BitWriter bits_;
  uint32_t size_ = 9;
};

struct ShrinkStats {
  int clears = 0;
  uint32_t codeSize = 9;  // at the end
};

// Shrinks data, keeping its table exactly as the decoder will: codes assigned
// from the same free list, one code behind the encoder's match, after any
// control codes. Widens the codes when one does not fit, and sends a partial
// clear as soon as codes 257 to 8191 are all in use.
Bytes Shrink(const Bytes& data, ShrinkStats* stats = nullptr);
