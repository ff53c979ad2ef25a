#include <gtest/gtest.h>

#include "log/nvtrxformat.h"

namespace {

std::string F(const OLECHAR* format, TrxFormatArgs args) { return TrxNarrow(TrxFormat(format, args)); }

TEST(TrxFormat, FillsEveryPlaceholderKindFromTypedArguments) {
  const TrxString name = OLESTR("Account List");
  struct Case {
    const OLECHAR* format;
    std::initializer_list<TrxFormatArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {OLESTR("Could not create the file %s."), {OLESTR("c:\\t.log")}, "Could not create the file c:\\t.log."},
      {OLESTR("Invalid mode : %d  for GetObjectContents."), {7}, "Invalid mode : 7  for GetObjectContents."},
      {OLESTR("%ld ms"), {-42L}, "-42 ms"},
      {OLESTR("0x%X"), {static_cast<LONG>(0x8004000C)}, "0x8004000C"},
      {OLESTR("0x%X"), {0x1Fu}, "0x1F"},
      {OLESTR("0x%x"), {255}, "0xff"},
      {OLESTR("%u"), {-1}, "4294967295"},
      {OLESTR("100%% done"), {}, "100% done"},
      {OLESTR("%s-%s"), {name, TrxStringView(OLESTR("x"))}, "Account List-x"},
      {OLESTR("%08X"), {0xABCu}, "00000ABC"},
      {OLESTR("[%5d][%-3s]"), {42, OLESTR("a")}, "[   42][a  ]"},
      {OLESTR("%c"), {static_cast<int>('Z')}, "Z"},
      {OLESTR("%lld"), {static_cast<long long>(-9000000000LL)}, "-9000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(F(c.format, c.args), c.expected) << TrxNarrow(c.format);
}

TEST(TrxFormat, MissingArgumentsWriteNothingAndSurplusOnesAreIgnored) {
  EXPECT_EQ(F(OLESTR("Invalid argument count %d for MethodName:%s. Expected ArgCount : %d."), {2}),
            "Invalid argument count 2 for MethodName:. Expected ArgCount : .");
  EXPECT_EQ(F(OLESTR("no placeholders"), {1, OLESTR("x")}), "no placeholders");
  EXPECT_EQ(F(OLESTR("%s"), {}), "");
}

TEST(TrxFormat, MismatchedArgumentsAreWrittenInTheirNaturalForm) {
  EXPECT_EQ(F(OLESTR("%d"), {OLESTR("abc")}), "abc");
  EXPECT_EQ(F(OLESTR("%s"), {-7}), "-7");
  EXPECT_EQ(F(OLESTR("%X"), {OLESTR("text")}), "text");
  EXPECT_EQ(F(OLESTR("%s"), {static_cast<const OLECHAR*>(nullptr)}), "");
}

TEST(TrxFormat, MalformedDirectivesAreCopiedLiterally) {
  // The -1021 text has "d%." where a "%d" was meant; it must survive as is.
  EXPECT_EQ(F(OLESTR("object d%. Object %s"), {OLESTR("A")}), "object d%. Object A");
  EXPECT_EQ(F(OLESTR("ends with %"), {}), "ends with %");
  EXPECT_EQ(F(OLESTR("%q stays"), {1}), "%q stays");
}

TEST(TrxFormat, KeepsNonAsciiAndEmbeddedText) {
  const TrxString value = TrxWiden("Müller & <Söhne>");
  EXPECT_EQ(TrxNarrow(TrxFormat(OLESTR("Input value: \"%s\"."), {value})), "Input value: \"Müller & <Söhne>\".");
}

}  // namespace
