// VarCmp: one row per comparison - left, right, expected result - with the
// user's locale and no flags, as the core calls it.
#include <vector>

#include "oletest.h"

using namespace oletest;

namespace {

struct Case {
  Var left, right;
  HRESULT expected;
};

void CheckAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Var left(c.left), right(c.right);
    EXPECT_EQ(Hex(VarCmp(&left.v, &right.v, LOCALE_USER_DEFAULT, 0)), Hex(c.expected))
        << Show(c.left.v) << " vs " << Show(c.right.v);
  }
}

// clang-format off
TEST(OleVarCmp, NumbersBooleansEmptyAndNull) {
  CheckAll({
      {I4(1), I4(2), VARCMP_LT},
      {I4(2), I2(2), VARCMP_EQ},
      {I2(3), I4(-3), VARCMP_GT},
      {R8(2.5), I4(2), VARCMP_GT},
      {UI1(200), I2(100), VARCMP_GT},
      {I8(1ll << 40), I4(2147483647), VARCMP_GT},
      {Int(5), I4(5), VARCMP_EQ},
      {Date(2.0), I4(2), VARCMP_EQ},
      {R4(0.1f), R8(0.1), VARCMP_EQ},  // compared as R4
      {I4(16777217), R4(16777216.0f), VARCMP_EQ},
      {R8(-0.0), I4(0), VARCMP_EQ},
      {Bool(true), I4(-1), VARCMP_EQ},
      {Bool(true), Bool(false), VARCMP_LT},
      {Empty(), I4(0), VARCMP_EQ},
      {Empty(), R8(-0.5), VARCMP_GT},
      {Empty(), Empty(), VARCMP_EQ},
      {Null(), I4(1), VARCMP_NULL},
      {I4(1), Null(), VARCMP_NULL},
      {Empty(), Null(), VARCMP_NULL},
  });
}

TEST(OleVarCmp, Strings) {
  CheckAll({
      {Str(u"a"), Str(u"b"), VARCMP_LT},
      {Str(u"abc"), Str(u"abc"), VARCMP_EQ},
      {Str(u"abc"), Str(u"abcd"), VARCMP_LT},
      {Str(u"B"), Str(u"a"), VARCMP_LT},  // ordinal
      {Str(nullptr), Str(u""), VARCMP_EQ},
      {Str(nullptr), Str(u"a"), VARCMP_LT},
      {Str(u"a"), Str(u""), VARCMP_GT},
      // Against other types.
      {Str(u"5"), I4(10), VARCMP_GT},
      {Nowhere(), I2(1), VARCMP_GT},  // decided by the types: the text is not read
      {I4(10), Str(u"5"), VARCMP_LT},
      {Str(u"False"), Bool(false), VARCMP_GT},
      {Str(nullptr), Empty(), VARCMP_EQ},
      {Str(u"x"), Empty(), VARCMP_GT},
      {Empty(), Str(u"x"), VARCMP_LT},
      // VT_RESERVED changes the rules, as on Windows.
      {Reserved(Str(u"10")), I4(9), VARCMP_LT},  // compared as text
      {Str(u"10"), Reserved(I4(9)), VARCMP_GT},  // numeric text as a number
      {Reserved(I4(9)), Str(u"10"), VARCMP_LT},
      {Str(u"abc"), Reserved(I4(9)), VARCMP_GT},  // other text is greater
      {Reserved(Str(u"-3")), Reserved(I4(-100)), VARCMP_LT},  // both: the sign of the text
  });
}

TEST(OleVarCmp, TypesWindowsRefuses) {
  CheckAll({
      {UI4(1), I4(1), DISP_E_TYPEMISMATCH},
      {I4(1), I1(1), DISP_E_TYPEMISMATCH},
      {I4(5), Int(5), DISP_E_BADVARTYPE},
      {Var(VT_UI8), I4(1), DISP_E_TYPEMISMATCH},
      {Var(VT_UNKNOWN), I4(1), DISP_E_TYPEMISMATCH},
      {I4(1), Var(VT_DISPATCH), DISP_E_TYPEMISMATCH},
      {Err(1), Err(2), VARCMP_EQ},
      {Err(1), I4(1), DISP_E_TYPEMISMATCH},
      {Var(VT_I4 | VT_BYREF), I4(1), DISP_E_BADVARTYPE},
      {I4(1), Var(VT_ARRAY | VT_I4), DISP_E_BADVARTYPE},
      {Var(VT_UINT), I4(1), DISP_E_BADVARTYPE},
      {I4(1), Var(VT_UI8), DISP_E_BADVARTYPE},
      {Cy(10000), I4(1), E_NOTIMPL},  // not in our subset
  });
}
// clang-format on

}  // namespace
