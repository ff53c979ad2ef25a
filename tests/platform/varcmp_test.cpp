// VarCmp: one row per comparison - left, right, locale, flags, expected result.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "linux/pal_types.h"
#include "linux/pal_oleauto.h"
#include "linux/pal_string.h"

namespace {

// A VARIANT owning what it holds, built in one expression.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  Var(const Var& other) {
    VariantInit(&v);
    v = other.v;
    if ((v.vt & VT_TYPEMASK) == VT_BSTR && !(v.vt & VT_BYREF))
      v.bstrVal = other.v.bstrVal ? SysAllocStringLen(other.v.bstrVal, SysStringLen(other.v.bstrVal)) : nullptr;
  }
  Var& operator=(const Var&) = delete;
  ~Var() {
    v.vt &= static_cast<VARTYPE>(~VT_RESERVED);
    VariantClear(&v);
  }
};

Var Of(VARTYPE vt) {
  Var x;
  x.v.vt = vt;
  return x;
}
Var I2(SHORT n) { Var x = Of(VT_I2); x.v.iVal = n; return x; }
Var I4(LONG n) { Var x = Of(VT_I4); x.v.lVal = n; return x; }
Var Int(INT n) { Var x = Of(VT_INT); x.v.intVal = n; return x; }
Var I8(LONGLONG n) { Var x = Of(VT_I8); x.v.llVal = n; return x; }
Var UI1(BYTE n) { Var x = Of(VT_UI1); x.v.bVal = n; return x; }
Var UI4(ULONG n) { Var x = Of(VT_UI4); x.v.ulVal = n; return x; }
Var I1(int n) { Var x = Of(VT_I1); x.v.cVal = static_cast<CHAR>(n); return x; }
Var R4(float n) { Var x = Of(VT_R4); x.v.fltVal = n; return x; }
Var R8(double n) { Var x = Of(VT_R8); x.v.dblVal = n; return x; }
Var Date(double n) { Var x = Of(VT_DATE); x.v.date = n; return x; }
Var Bool(bool b) { Var x = Of(VT_BOOL); x.v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; return x; }
Var Str(const char16_t* s) { Var x = Of(VT_BSTR); x.v.bstrVal = s ? SysAllocString(s) : nullptr; return x; }
Var Err(SCODE s) { Var x = Of(VT_ERROR); x.v.scode = s; return x; }
Var Cy(LONGLONG raw) { Var x = Of(VT_CY); x.v.cyVal.int64 = raw; return x; }
Var Empty() { return Of(VT_EMPTY); }
Var Null() { return Of(VT_NULL); }
// The same value with VT_RESERVED set.
Var Reserved(Var x) {
  x.v.vt |= VT_RESERVED;
  return x;
}

std::string Hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
  return buffer;
}

struct Case {
  const char* what;
  Var left;
  Var right;
  HRESULT expected;
  LCID lcid = LOCALE_USER_DEFAULT;
  ULONG flags = 0;
};

void CheckAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Var left = c.left;
    Var right = c.right;
    EXPECT_EQ(Hex(VarCmp(&left.v, &right.v, c.lcid, c.flags)), Hex(c.expected));
  }
}

TEST(OleVarCmp, NumbersOfMixedTypes) {
  CheckAll({
      {"I4 1 < I4 2", I4(1), I4(2), VARCMP_LT},
      {"I4 2 == I2 2", I4(2), I2(2), VARCMP_EQ},
      {"I2 3 > I4 -3", I2(3), I4(-3), VARCMP_GT},
      {"R8 2.5 > I4 2", R8(2.5), I4(2), VARCMP_GT},
      {"I4 2 < R8 2.5", I4(2), R8(2.5), VARCMP_LT},
      {"UI1 200 > I2 100", UI1(200), I2(100), VARCMP_GT},
      {"I8 large > I4", I8(1ll << 40), I4(2147483647), VARCMP_GT},
      {"INT on the left", Int(5), I4(5), VARCMP_EQ},
      {"DATE as a number", Date(2.0), I4(2), VARCMP_EQ},
      {"R4 and R8 compare as R4", R4(0.1f), R8(0.1), VARCMP_EQ},
      {"R4 vs I4 loses precision like R4", I4(16777217), R4(16777216.0f), VARCMP_EQ},
      {"negative zero equals zero", R8(-0.0), I4(0), VARCMP_EQ},
  });
}

TEST(OleVarCmp, BooleansAreMinusOneAndZero) {
  CheckAll({
      {"TRUE == -1", Bool(true), I4(-1), VARCMP_EQ},
      {"TRUE < FALSE", Bool(true), Bool(false), VARCMP_LT},
      {"FALSE == 0", Bool(false), R8(0), VARCMP_EQ},
      {"TRUE < 1", Bool(true), I2(1), VARCMP_LT},
  });
}

TEST(OleVarCmp, EmptyAndNull) {
  CheckAll({
      {"EMPTY == 0", Empty(), I4(0), VARCMP_EQ},
      {"EMPTY < 1", Empty(), I4(1), VARCMP_LT},
      {"EMPTY > -0.5", Empty(), R8(-0.5), VARCMP_GT},
      {"EMPTY == EMPTY", Empty(), Empty(), VARCMP_EQ},
      {"EMPTY == FALSE", Empty(), Bool(false), VARCMP_EQ},
      {"NULL left", Null(), I4(1), VARCMP_NULL},
      {"NULL right", I4(1), Null(), VARCMP_NULL},
      {"NULL and NULL", Null(), Null(), VARCMP_NULL},
      {"NULL and text", Str(u"a"), Null(), VARCMP_NULL},
      {"NULL and EMPTY", Empty(), Null(), VARCMP_NULL},
  });
}

TEST(OleVarCmp, Strings) {
  CheckAll({
      {"a < b", Str(u"a"), Str(u"b"), VARCMP_LT},
      {"equal", Str(u"abc"), Str(u"abc"), VARCMP_EQ},
      {"prefix is less", Str(u"abc"), Str(u"abcd"), VARCMP_LT},
      {"case matters", Str(u"ABC"), Str(u"abc"), VARCMP_LT},
      {"ordinal: B < a", Str(u"B"), Str(u"a"), VARCMP_LT},
      {"NORM_IGNORECASE", Str(u"ABC"), Str(u"abc"), VARCMP_EQ, LOCALE_USER_DEFAULT, NORM_IGNORECASE},
      {"NORM_IGNORECASE Cyrillic", Str(u"\u0416\u0418"), Str(u"\u0436\u0438"), VARCMP_EQ, LOCALE_USER_DEFAULT,
       NORM_IGNORECASE},
      {"NORM_IGNORECASE still orders", Str(u"abc"), Str(u"ABD"), VARCMP_LT, LOCALE_USER_DEFAULT, NORM_IGNORECASE},
      {"lcid 0 compares bytes", Str(u"a"), Str(u"b"), VARCMP_LT, 0},
      // Bytes of UTF-16 in memory order: U+0100 is 00 01, U+0001 is 01 00.
      {"lcid 0 byte order", Str(u"\u0100"), Str(u"\u0001"), VARCMP_LT, 0},
      {"null BSTR equals empty", Str(nullptr), Str(u""), VARCMP_EQ},
      {"null BSTR is less", Str(nullptr), Str(u"a"), VARCMP_LT},
      {"text is more than empty", Str(u"a"), Str(u""), VARCMP_GT},
      {"flags CompareStringW refuses", Str(u"a"), Str(u"b"), E_INVALIDARG, LOCALE_USER_DEFAULT, NORM_IGNORENONSPACE},
  });
}

TEST(OleVarCmp, StringsAgainstOtherTypes) {
  CheckAll({
      {"text > number", Str(u"5"), I4(10), VARCMP_GT},
      {"number < text", I4(10), Str(u"5"), VARCMP_LT},
      {"text > bool", Str(u"False"), Bool(false), VARCMP_GT},
      {"empty text == EMPTY", Str(u""), Empty(), VARCMP_EQ},
      {"null text == EMPTY", Str(nullptr), Empty(), VARCMP_EQ},
      {"text > EMPTY", Str(u"x"), Empty(), VARCMP_GT},
      {"EMPTY < text", Empty(), Str(u"x"), VARCMP_LT},
      // VT_RESERVED changes the rules, as on Windows.
      {"reserved text: compared as text", Reserved(Str(u"10")), I4(9), VARCMP_LT},
      {"reserved number: numeric text as number", Str(u"10"), Reserved(I4(9)), VARCMP_GT},
      {"reserved number, swapped", Reserved(I4(9)), Str(u"10"), VARCMP_LT},
      {"reserved number: other text is greater", Str(u"abc"), Reserved(I4(9)), VARCMP_GT},
      {"both reserved: the sign of the text", Reserved(Str(u"-3")), Reserved(I4(-100)), VARCMP_LT},
  });
}

TEST(OleVarCmp, TypesWindowsRefuses) {
  CheckAll({
      {"UI4", UI4(1), I4(1), DISP_E_TYPEMISMATCH},
      {"I1", I4(1), I1(1), DISP_E_TYPEMISMATCH},
      {"INT on the right", I4(5), Int(5), DISP_E_BADVARTYPE},
      {"UI8 on the left", Of(VT_UI8), I4(1), DISP_E_TYPEMISMATCH},
      {"UNKNOWN", Of(VT_UNKNOWN), I4(1), DISP_E_TYPEMISMATCH},
      {"DISPATCH", I4(1), Of(VT_DISPATCH), DISP_E_TYPEMISMATCH},
      {"ERROR vs ERROR", Err(1), Err(2), VARCMP_EQ},
      {"ERROR vs number", Err(1), I4(1), DISP_E_TYPEMISMATCH},
      {"by reference", Of(VT_I4 | VT_BYREF), I4(1), DISP_E_BADVARTYPE},
      {"array", I4(1), Of(VT_ARRAY | VT_I4), DISP_E_BADVARTYPE},
      {"UINT on the left", Of(VT_UINT), I4(1), DISP_E_BADVARTYPE},
      {"UI8 on the right", I4(1), Of(VT_UI8), DISP_E_BADVARTYPE},
      {"CY is not in our subset", Cy(10000), I4(1), E_NOTIMPL},
  });
}

}  // namespace
