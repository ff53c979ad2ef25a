#include <gtest/gtest.h>

#include "log/nvtrxformat.h"

namespace {

std::string F(const char16_t* format, TrxFormatArgs args) { return TrxNarrow(TrxFormat(format, args)); }

TEST(TrxFormat, FillsEveryPlaceholderKindFromTypedArguments) {
  const TrxString name = u"Account List";
  struct Case {
    const char16_t* format;
    std::initializer_list<TrxFormatArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {u"Could not create the file %s.", {u"c:\\t.log"}, "Could not create the file c:\\t.log."},
      {u"Invalid mode : %d  for GetObjectContents.", {7}, "Invalid mode : 7  for GetObjectContents."},
      {u"%ld ms", {-42L}, "-42 ms"},
      {u"0x%X", {static_cast<LONG>(0x8004000C)}, "0x8004000C"},
      {u"0x%X", {0x1Fu}, "0x1F"},
      {u"0x%x", {255}, "0xff"},
      {u"%u", {-1}, "4294967295"},
      {u"100%% done", {}, "100% done"},
      {u"%s-%s", {name, TrxStringView(u"x")}, "Account List-x"},
      {u"%08X", {0xABCu}, "00000ABC"},
      {u"[%5d][%-3s]", {42, u"a"}, "[   42][a  ]"},
      {u"%c", {static_cast<int>('Z')}, "Z"},
      {u"%lld", {static_cast<long long>(-9000000000LL)}, "-9000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(F(c.format, c.args), c.expected) << TrxNarrow(c.format);
}

TEST(TrxFormat, MissingArgumentsWriteNothingAndSurplusOnesAreIgnored) {
  EXPECT_EQ(F(u"Invalid argument count %d for MethodName:%s. Expected ArgCount : %d.", {2}),
            "Invalid argument count 2 for MethodName:. Expected ArgCount : .");
  EXPECT_EQ(F(u"no placeholders", {1, u"x"}), "no placeholders");
  EXPECT_EQ(F(u"%s", {}), "");
}

TEST(TrxFormat, MismatchedArgumentsAreWrittenInTheirNaturalForm) {
  EXPECT_EQ(F(u"%d", {u"abc"}), "abc");
  EXPECT_EQ(F(u"%s", {-7}), "-7");
  EXPECT_EQ(F(u"%X", {u"text"}), "text");
  EXPECT_EQ(F(u"%s", {static_cast<const OLECHAR*>(nullptr)}), "");
}

TEST(TrxFormat, MalformedDirectivesAreCopiedLiterally) {
  // The -1021 text has "d%." where a "%d" was meant; it must survive as is.
  EXPECT_EQ(F(u"object d%. Object %s", {u"A"}), "object d%. Object A");
  EXPECT_EQ(F(u"ends with %", {}), "ends with %");
  EXPECT_EQ(F(u"%q stays", {1}), "%q stays");
}

TEST(TrxFormat, KeepsNonAsciiAndEmbeddedText) {
  const TrxString value = TrxWiden("Müller & <Söhne>");
  EXPECT_EQ(TrxNarrow(TrxFormat(u"Input value: \"%s\".", {value})), "Input value: \"Müller & <Söhne>\".");
}

}  // namespace
