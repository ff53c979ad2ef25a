#include <gtest/gtest.h>

#include "log/nvtrxformat.h"

namespace {

std::string F(const OLECHAR* format, TrxFormatArgs args) { return TrxNarrow(TrxFormat(format, args)); }

TEST(TrxFormat, FillsPlaceholdersFromTypedArgumentsAndCopiesTheRest) {
  const TrxString name = OLESTR("Account List");
  struct Case {
    const OLECHAR* format;
    std::initializer_list<TrxFormatArg> args;
    const char* expected;
  };
  // clang-format off
  const Case cases[] = {
      {OLESTR("Could not create the file %s."), {OLESTR("c:\\t.log")}, "Could not create the file c:\\t.log."},
      {OLESTR("Invalid mode : %d  for GetObjectContents."), {7}, "Invalid mode : 7  for GetObjectContents."},
      {OLESTR("%ld ms"), {-42L}, "-42 ms"},
      {OLESTR("0x%X"), {static_cast<LONG>(0x8004000C)}, "0x8004000C"},
      {OLESTR("0x%X"), {0x1Fu}, "0x1F"},
      {OLESTR("0x%x"), {255}, "0xff"},
      {OLESTR("%s-%s"), {name, TrxStringView(OLESTR("x"))}, "Account List-x"},
      {OLESTR("Input value: \"%s\"."), {OLESTR("M\u00fcller & <S\u00f6hne>")}, "Input value: \"M\u00fcller & <S\u00f6hne>\"."},
      // Missing arguments write nothing; surplus ones are ignored.
      {OLESTR("Invalid argument count %d for MethodName:%s. Expected ArgCount : %d."), {2}, "Invalid argument count 2 for MethodName:. Expected ArgCount : ."},
      {OLESTR("no placeholders"), {1, OLESTR("x")}, "no placeholders"},
      // Mismatched arguments are written in their natural form.
      {OLESTR("%d"), {OLESTR("abc")}, "abc"},
      {OLESTR("%s"), {-7}, "-7"},
      {OLESTR("%X"), {OLESTR("text")}, "text"},
      {OLESTR("%s"), {static_cast<const OLECHAR*>(nullptr)}, ""},
      // Malformed directives are copied literally: the -1021 text has "d%."
      // where a "%d" was meant, and it must survive as is.
      {OLESTR("object d%. Object %s"), {OLESTR("A")}, "object d%. Object A"},
      {OLESTR("ends with %"), {}, "ends with %"},
      {OLESTR("%q stays"), {1}, "%q stays"},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(F(c.format, c.args), c.expected) << TrxNarrow(c.format);
}

}  // namespace
