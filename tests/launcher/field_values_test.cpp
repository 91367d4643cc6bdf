// Reading template field contents: the stub-size number, trimming and the
// install directory; the "123" mode's setup command.
#include "launcher/field_values.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

bool Parse(const std::string& field, int32_t* value) {
  return ParseStubSizeValue(field.data(), static_cast<uint32_t>(field.size()), value);
}

TEST(StubSizeValue, DecimalWithLeadingZeros) {
  int32_t value = -1;
  ASSERT_TRUE(Parse("0279041", &value));
  EXPECT_EQ(value, 279041);
  ASSERT_TRUE(Parse("0000000", &value));
  EXPECT_EQ(value, 0);
  ASSERT_TRUE(Parse("9999999", &value));
  EXPECT_EQ(value, 9999999);
}

TEST(StubSizeValue, ReadsTheWholeWidthIgnoringSurroundingBlanksAndNuls) {
  int32_t value = 0;
  ASSERT_TRUE(Parse(std::string("16897\0\0", 7), &value));
  EXPECT_EQ(value, 16897);
  ASSERT_TRUE(Parse(" 16897 ", &value));
  EXPECT_EQ(value, 16897);
}

TEST(StubSizeValue, RejectsWhatIsNotANumber) {
  int32_t value = 42;
  for (const std::string& field : std::initializer_list<std::string>{"12x4567", "       ", std::string(7, '\0'), "-000001", "+000001", "12 3456", "0x12345",
        "1234.56"}) {
    EXPECT_FALSE(Parse(field, &value)) << field;
  }
  EXPECT_EQ(value, 42);  // untouched on failure
}

TEST(StubSizeValue, RejectsValuesBeyondThirtyTwoBits) {
  int32_t value = 0;
  ASSERT_TRUE(Parse("2147483647", &value));
  EXPECT_EQ(value, INT32_MAX);
  EXPECT_FALSE(Parse("2147483648", &value));
  EXPECT_FALSE(Parse("99999999999999999999", &value));
}

std::string Trimmed(const std::string& field) {
  std::string out(field.size() + 1, '?');
  uint32_t length = CopyTrimmedField(field.data(), static_cast<uint32_t>(field.size()), &out[0]);
  EXPECT_EQ(out[length], '\0');
  return out.substr(0, length);
}

TEST(FieldTrimming, DefaultSetupCommandGivesTheName) {
  EXPECT_EQ(Trimmed("SETUP.EXE" + std::string(119, ' ')), "SETUP.EXE");
}

TEST(FieldTrimming, CodesZeroToThirtyTwoGoFromBothEndsOnly) {
  EXPECT_EQ(Trimmed(std::string("\0\t MY SETUP.EXE\r\n \0", 19)), "MY SETUP.EXE");
  EXPECT_EQ(Trimmed(std::string(128, ' ')), "");
  EXPECT_EQ(Trimmed(""), "");
  // '*' and '|' mean nothing to trimming; bytes above 127 are kept.
  EXPECT_EQ(Trimmed("  *SETUP.EXE|  "), "*SETUP.EXE|");
  EXPECT_EQ(Trimmed("\xa0x\xa0"), "\xa0x\xa0");
}

std::string InstallDirectory(const std::string& text, char padding = ' ') {
  std::string field = text + std::string(128 - text.size(), padding);
  PathText out;
  ResolveInstallDirectory(field.data(), static_cast<uint32_t>(field.size()), "C:\\WINDOWS", out);
  EXPECT_FALSE(out.tooLong);
  return std::string(out.chars, out.length);
}

TEST(InstallDirectoryField, WindirPrefixInAnyCaseOtherwiseAsItStands) {
  EXPECT_EQ(InstallDirectory(""), "");
  EXPECT_EQ(InstallDirectory("INSTALL", '\0'), "INSTALL");  // the unpatched default
  EXPECT_EQ(InstallDirectory("<WINDIR>\\Temp\\Pack\\"), "C:\\WINDOWS\\Temp\\Pack\\");
  EXPECT_EQ(InstallDirectory("<windir>Temp\\Pack\\"), "C:\\WINDOWS\\Temp\\Pack\\");
  EXPECT_EQ(InstallDirectory("<WINDIR>"), "C:\\WINDOWS");
  EXPECT_EQ(InstallDirectory("D:\\Apps\\Pack\\"), "D:\\Apps\\Pack\\");
  EXPECT_EQ(InstallDirectory(std::string("\0\0 \t<WinDir>\\Pack \0", 17), '\0'), "C:\\WINDOWS\\Pack");
  EXPECT_EQ(InstallDirectory("D:\\<WINDIR>\\"), "D:\\<WINDIR>\\");  // only as a prefix
  EXPECT_EQ(InstallDirectory("<WINDIR"), "<WINDIR");
}

// The "123" mode's setup command and whether to ask before starting it.
std::pair<std::string, bool> SetupCommand(const std::string& text) {
  std::string field = text + std::string(128 - text.size(), ' ');
  std::string out(129, '?');
  bool ask = ParseSetupCommand(field.data(), 128, &out[0]);
  return {out.c_str(), ask};
}

TEST(SetupCommandField, BarAndStarCutTheNameAndAnyStarSilencesTheQuestion) {
  using Parsed = std::pair<std::string, bool>;
  EXPECT_EQ(SetupCommand("SETUP.EXE"), Parsed("SETUP.EXE", true));
  EXPECT_EQ(SetupCommand("*SETUP.EXE"), Parsed("SETUP.EXE", false));
  EXPECT_EQ(SetupCommand("text|*INSTALL.EXE"), Parsed("INSTALL.EXE", false));
  // Only the first "|" and the first "*" after it go; a "*" before the "|"
  // is cut away with the text, yet still means no question.
  EXPECT_EQ(SetupCommand("a|b|*c*.exe"), Parsed("b|c*.exe", false));
  EXPECT_EQ(SetupCommand("a*b|c"), Parsed("c", false));
  EXPECT_EQ(SetupCommand(" * SETUP.EXE "), Parsed("SETUP.EXE", false));
  EXPECT_EQ(SetupCommand(""), Parsed("", true));
  EXPECT_EQ(SetupCommand("|"), Parsed("", true));
}

}  // namespace
