// Splitting of the process command line into arguments 1 to 3.
#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct Split {
  std::string a1, a2, a3;
  bool fits;
};

Split SplitLine(const std::string& line) {
  auto args = std::make_unique<CommandArguments>();
  bool fits = SplitCommandLine(line.c_str(), args.get());
  return {args->text[1], args->text[2], args->text[3], fits};
}

TEST(CommandLine, SkipsTheProgramNameEvenWhenQuotedWithBlanks) {
  Split s = SplitLine("\"C:\\Program Files\\My App\\setup.exe\" SIZE");
  EXPECT_EQ(s.a1, "SIZE");
  EXPECT_EQ(s.a2, "");
  EXPECT_TRUE(s.fits);
}

TEST(CommandLine, MissingArgumentsAreEmpty) {
  Split none = SplitLine("stub.exe");
  EXPECT_EQ(none.a1, "");
  EXPECT_EQ(none.a2, "");
  EXPECT_EQ(none.a3, "");
  Split empty = SplitLine("");
  EXPECT_EQ(empty.a1, "");
  Split one = SplitLine("stub.exe   REMOVE   ");
  EXPECT_EQ(one.a1, "REMOVE");
  EXPECT_EQ(one.a2, "");
}

TEST(CommandLine, OnlyThreeArgumentsAreTaken) {
  Split s = SplitLine("stub.exe 123 RD C:\\Out\\ extra");
  EXPECT_EQ(s.a1, "123");
  EXPECT_EQ(s.a2, "RD");
  EXPECT_EQ(s.a3, "C:\\Out\\");
}

TEST(CommandLine, QuotedStretchKeepsBlanksAndDropsQuotes) {
  Split s = SplitLine("stub.exe REMOVE \"C:\\WINDOWS\\Temp\\My Pack\" next");
  EXPECT_EQ(s.a2, "C:\\WINDOWS\\Temp\\My Pack");
  EXPECT_EQ(s.a3, "next");
}

TEST(CommandLine, BackslashBeforeClosingQuoteStaysABackslash) {
  Split s = SplitLine("stub.exe 123 \"C:\\Out Dir\\\" after");
  EXPECT_EQ(s.a2, "C:\\Out Dir\\");
  EXPECT_EQ(s.a3, "after");
  // Nor does a backslash escape an opening quote.
  Split t = SplitLine("stub.exe a\\\"b c\"");
  EXPECT_EQ(t.a1, "a\\b c");
}

TEST(CommandLine, QuotedAndUnquotedStretchesAlternateInOneWord) {
  Split s = SplitLine("stub.exe C:\\\"Program Files\"\\x\" y\"z next");
  EXPECT_EQ(s.a1, "C:\\Program Files\\x yz");
  EXPECT_EQ(s.a2, "next");
}

TEST(CommandLine, PairOfQuotesWhereAWordBeginsIsASeparator) {
  EXPECT_EQ(SplitLine("stub.exe \"\" SIZE").a1, "SIZE");
  EXPECT_EQ(SplitLine("stub.exe \"\"SIZE").a1, "SIZE");
  EXPECT_EQ(SplitLine("stub.exe \"\"\"\" \"\"SIZE").a1, "SIZE");
  Split s = SplitLine("stub.exe a \"\" b");
  EXPECT_EQ(s.a1, "a");
  EXPECT_EQ(s.a2, "b");
  // A pair at the end leaves the argument absent.
  EXPECT_EQ(SplitLine("stub.exe \"\"").a1, "");
}

TEST(CommandLine, PairOfQuotesInsideAWordIsDropped) {
  Split s = SplitLine("stub.exe VRE\"\"MOVE x");
  EXPECT_EQ(s.a1, "VREMOVE");
  EXPECT_EQ(s.a2, "x");
}

TEST(CommandLine, UnterminatedQuoteRunsToTheEnd) {
  EXPECT_EQ(SplitLine("stub.exe \"C:\\a b  c").a1, "C:\\a b  c");
}

TEST(CommandLine, ControlCharactersOneToThirtyTwoSeparate) {
  Split s = SplitLine(std::string("stub.exe\x01" "a\t\r\nb\x1f\x20" "c"));
  EXPECT_EQ(s.a1, "a");
  EXPECT_EQ(s.a2, "b");
  EXPECT_EQ(s.a3, "c");
  // ...and belong to the word inside quotes.
  EXPECT_EQ(SplitLine("stub.exe \"a\tb\"").a1, "a\tb");
}

TEST(CommandLine, BytesAbove127AndDelAreWordCharacters) {
  // Signed chars would make these look like control characters.
  Split s = SplitLine("stub.exe \xe9t\xe9\x7f\xa0" "b c");
  EXPECT_EQ(s.a1, "\xe9t\xe9\x7f\xa0" "b");
  EXPECT_EQ(s.a2, "c");
}

TEST(CommandLine, TakeArgumentCutsAWordThatDoesNotFitAndSkipsItsRest) {
  char out[4];
  bool fits = true;
  const char* rest = TakeArgument("  ab\"c d\"ef next", out, sizeof out, &fits);
  EXPECT_STREQ(out, "abc");
  EXPECT_FALSE(fits);
  EXPECT_STREQ(rest, " next");
  rest = TakeArgument(rest, out, sizeof out, &fits);
  EXPECT_STREQ(out, "nex");
  EXPECT_FALSE(fits);
  TakeArgument("abc", out, sizeof out, &fits);
  EXPECT_TRUE(fits);
}

TEST(CommandLine, OverlongArgumentIsReportedNotOverrun) {
  std::string huge(kArgumentCapacity + 10, 'x');
  Split s = SplitLine("stub.exe " + huge + " tail");
  EXPECT_FALSE(s.fits);
  EXPECT_EQ(s.a1.size(), kArgumentCapacity - 1);
  EXPECT_EQ(s.a2, "tail");
  // The longest argument that fits is taken whole.
  Split fit = SplitLine("stub.exe " + std::string(kArgumentCapacity - 1, 'y'));
  EXPECT_TRUE(fit.fits);
  EXPECT_EQ(fit.a1.size(), kArgumentCapacity - 1);
}

}  // namespace

namespace {

// What --pass-arguments hands on: the text after the program name, as it
// was typed, quotes and all.
TEST(CommandLine, TailIsTheTextAfterTheProgramNameUnchanged) {
  EXPECT_STREQ(CommandLineTail("inst.exe /S /D=x"), "/S /D=x");
  EXPECT_STREQ(CommandLineTail("\"C:\\My Files\\inst.exe\"  \t/S \"/D=C:\\a b\" "),
               "/S \"/D=C:\\a b\" ");
  EXPECT_STREQ(CommandLineTail("\"C:\\x\"y\\inst.exe /q"), "/q");
  EXPECT_STREQ(CommandLineTail("inst.exe"), "");
  EXPECT_STREQ(CommandLineTail("inst.exe   "), "");
}

}  // namespace
