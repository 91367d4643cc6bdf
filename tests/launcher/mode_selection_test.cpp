// Mode selection from argument 1, and the ASCII-only comparisons under it.
#include "launcher/mode_selection.h"

#include <gtest/gtest.h>

#include "system/ascii_text.h"

namespace {

TEST(ModeSelection, SizeOnlyInCapitals) {
  EXPECT_EQ(SelectMode("SIZE"), Mode::ReportSize);
  EXPECT_EQ(SelectMode("size"), Mode::Install);
  EXPECT_EQ(SelectMode("Size"), Mode::Install);
  EXPECT_EQ(SelectMode("SIZE "), Mode::Install);
}

TEST(ModeSelection, VremoveAndRemoveInAnyCase) {
  for (const char* word : {"VREMOVE", "vremove", "VrEmOvE"}) {
    EXPECT_EQ(SelectMode(word), Mode::EndAtOnce) << word;
  }
  for (const char* word : {"REMOVE", "remove", "rEMOVe"}) {
    EXPECT_EQ(SelectMode(word), Mode::Remove) << word;
  }
}

TEST(ModeSelection, NearMissesInstall) {
  for (const char* word : {"", "VREMOV", "VREMOVEE", "EMOVE", "REMOVED", "12", "1234", "RD",
                           "123 ", "vremove\xe9"}) {
    EXPECT_EQ(SelectMode(word), Mode::Install) << word;
  }
}

TEST(ModeSelection, OneTwoThreeExact) {
  EXPECT_EQ(SelectMode("123"), Mode::ExtractBeside);
}

TEST(AsciiText, UpperCasingChangesOnlyAToZ) {
  EXPECT_EQ(UpperAscii('a'), 'A');
  EXPECT_EQ(UpperAscii('z'), 'Z');
  for (char c : {'`', '{', '@', '[', 'A', '1', '\xe9', '\xff'}) EXPECT_EQ(UpperAscii(c), c);
  // No code-page folding: e-acute does not become E-acute.
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xe9", "\xc9"));
}

TEST(AsciiText, FormatDecimal) {
  char out[21];
  EXPECT_EQ(FormatDecimal(0, out), 1u);
  EXPECT_STREQ(out, "0");
  FormatDecimal(279041, out);
  EXPECT_STREQ(out, "279041");
  EXPECT_EQ(FormatDecimal(UINT64_MAX, out), 20u);
  EXPECT_STREQ(out, "18446744073709551615");
  FormatDecimal(4294967296u, out);  // carries from the low 32 bits into the high
  EXPECT_STREQ(out, "4294967296");
  FormatDecimal(0x0000000A0000FFFFu, out);
  EXPECT_STREQ(out, "42949738495");
}

}  // namespace
