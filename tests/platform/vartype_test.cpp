// VariantChangeType(Ex): one table row per conversion - source, flags,
// target type, expected status and value. A failed conversion must leave the
// destination alone, and no conversion may change its source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "linux/pal_types.h"
#include "linux/pal_oleauto.h"

namespace {

// ---- values ------------------------------------------------------------------------------

struct Value {
  VARTYPE vt = VT_EMPTY;
  int64_t i = 0;      // signed integers, VT_BOOL, VT_ERROR, VT_CY (raw)
  uint64_t u = 0;     // unsigned integers
  double d = 0;       // VT_R4, VT_R8, VT_DATE
  std::u16string s;   // VT_BSTR
  bool nullBstr = false;
};

Value Typed(VARTYPE vt) {
  Value v;
  v.vt = vt;
  return v;
}
Value Signed(VARTYPE vt, int64_t n) {
  Value v = Typed(vt);
  v.i = n;
  return v;
}
Value Unsigned(VARTYPE vt, uint64_t n) {
  Value v = Typed(vt);
  v.u = n;
  return v;
}
Value Real(VARTYPE vt, double n) {
  Value v = Typed(vt);
  v.d = n;
  return v;
}

Value Empty() { return Typed(VT_EMPTY); }
Value Null() { return Typed(VT_NULL); }
Value Raw(VARTYPE vt) { return Typed(vt); }
Value I1(int n) { return Signed(VT_I1, n); }
Value I2(int n) { return Signed(VT_I2, n); }
Value I4(int64_t n) { return Signed(VT_I4, n); }
Value Int(int64_t n) { return Signed(VT_INT, n); }
Value I8(int64_t n) { return Signed(VT_I8, n); }
Value Bool(bool b) { return Signed(VT_BOOL, b ? VARIANT_TRUE : VARIANT_FALSE); }
Value Error(int64_t n) { return Signed(VT_ERROR, n); }
Value Cy(int64_t raw) { return Signed(VT_CY, raw); }
Value UI1(unsigned n) { return Unsigned(VT_UI1, n); }
Value UI2(unsigned n) { return Unsigned(VT_UI2, n); }
Value UI4(uint64_t n) { return Unsigned(VT_UI4, n); }
Value UInt(uint64_t n) { return Unsigned(VT_UINT, n); }
Value UI8(uint64_t n) { return Unsigned(VT_UI8, n); }
Value R4(float n) { return Real(VT_R4, n); }
Value R8(double n) { return Real(VT_R8, n); }
Value Date(double n) { return Real(VT_DATE, n); }
Value Str(std::u16string text) {
  Value v = Typed(VT_BSTR);
  v.s = std::move(text);
  return v;
}
Value NullStr() {
  Value v = Typed(VT_BSTR);
  v.nullBstr = true;
  return v;
}

VARIANT Make(const Value& value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = value.vt;
  switch (value.vt) {
    case VT_I1: v.cVal = static_cast<CHAR>(value.i); break;
    case VT_I2: v.iVal = static_cast<SHORT>(value.i); break;
    case VT_I4: v.lVal = static_cast<LONG>(value.i); break;
    case VT_INT: v.intVal = static_cast<INT>(value.i); break;
    case VT_I8: v.llVal = value.i; break;
    case VT_UI1: v.bVal = static_cast<BYTE>(value.u); break;
    case VT_UI2: v.uiVal = static_cast<USHORT>(value.u); break;
    case VT_UI4: v.ulVal = static_cast<ULONG>(value.u); break;
    case VT_UINT: v.uintVal = static_cast<UINT>(value.u); break;
    case VT_UI8: v.ullVal = value.u; break;
    case VT_R4: v.fltVal = static_cast<float>(value.d); break;
    case VT_R8: v.dblVal = value.d; break;
    case VT_DATE: v.date = value.d; break;
    case VT_BOOL: v.boolVal = static_cast<VARIANT_BOOL>(value.i); break;
    case VT_ERROR: v.scode = static_cast<SCODE>(value.i); break;
    case VT_CY: v.cyVal.int64 = value.i; break;
    case VT_BSTR:
      v.bstrVal = value.nullBstr ? nullptr : SysAllocStringLen(value.s.data(), static_cast<UINT>(value.s.size()));
      break;
    default: break;
  }
  return v;
}

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string Describe(const Value& value) {
  char buffer[96];
  switch (value.vt) {
    case VT_BSTR: return value.nullBstr ? "BSTR(null)" : "BSTR(\"" + Narrow(value.s) + "\")";
    case VT_R4:
    case VT_R8:
    case VT_DATE: std::snprintf(buffer, sizeof buffer, "vt %d (%.17g)", value.vt, value.d); return buffer;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
      std::snprintf(buffer, sizeof buffer, "vt %d (%llu)", value.vt, static_cast<unsigned long long>(value.u));
      return buffer;
    default:
      std::snprintf(buffer, sizeof buffer, "vt %d (%lld)", value.vt, static_cast<long long>(value.i));
      return buffer;
  }
}

std::string Hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
  return buffer;
}

testing::AssertionResult Holds(const VARIANT& v, const Value& expected) {
  if (v.vt != expected.vt)
    return testing::AssertionFailure() << "vt " << v.vt << ", expected " << Describe(expected);
  bool same = true;
  switch (expected.vt) {
    case VT_I1: same = static_cast<signed char>(v.cVal) == expected.i; break;
    case VT_I2: same = v.iVal == expected.i; break;
    case VT_I4: same = v.lVal == expected.i; break;
    case VT_INT: same = v.intVal == expected.i; break;
    case VT_I8: same = v.llVal == expected.i; break;
    case VT_UI1: same = v.bVal == expected.u; break;
    case VT_UI2: same = v.uiVal == expected.u; break;
    case VT_UI4: same = v.ulVal == expected.u; break;
    case VT_UINT: same = v.uintVal == expected.u; break;
    case VT_UI8: same = v.ullVal == expected.u; break;
    case VT_R4: same = v.fltVal == static_cast<float>(expected.d) || (std::isnan(v.fltVal) && std::isnan(expected.d)); break;
    case VT_R8: same = v.dblVal == expected.d || (std::isnan(v.dblVal) && std::isnan(expected.d)); break;
    case VT_DATE: same = v.date == expected.d; break;
    case VT_BOOL: same = v.boolVal == expected.i; break;
    case VT_ERROR: same = v.scode == expected.i; break;
    case VT_CY: same = v.cyVal.int64 == expected.i; break;
    case VT_BSTR:
      if (expected.nullBstr) {
        same = v.bstrVal == nullptr;
      } else {
        same = v.bstrVal != nullptr && std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) == expected.s;
        if (!same && v.bstrVal)
          return testing::AssertionFailure() << "got \"" << Narrow(std::u16string(v.bstrVal, SysStringLen(v.bstrVal)))
                                             << "\", expected " << Describe(expected);
      }
      break;
    default: break;
  }
  if (same) return testing::AssertionSuccess();
  char got[64];
  std::snprintf(got, sizeof got, "llVal=%lld dblVal=%.17g", static_cast<long long>(v.llVal), v.dblVal);
  return testing::AssertionFailure() << "got " << got << ", expected " << Describe(expected);
}

// ---- the table runner -------------------------------------------------------------------

struct Case {
  Value from;
  VARTYPE to;
  HRESULT hr;
  Value expected;
  USHORT flags = 0;
};

void CheckAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.from) + " -> vt " + std::to_string(c.to) + " flags " + std::to_string(c.flags));
    VARIANT source = Make(c.from);
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_I4;
    dest.lVal = 0x5EED;
    const HRESULT hr = VariantChangeTypeEx(&dest, &source, LOCALE_USER_DEFAULT, c.flags, c.to);
    EXPECT_EQ(Hex(hr), Hex(c.hr));
    if (SUCCEEDED(hr)) {
      EXPECT_TRUE(Holds(dest, c.expected));
    } else {
      EXPECT_EQ(dest.vt, VT_I4) << "a failed conversion must not touch the destination";
      EXPECT_EQ(dest.lVal, 0x5EED);
    }
    EXPECT_TRUE(Holds(source, c.from)) << "the source must not change";
    VariantClear(&source);
    VariantClear(&dest);
  }
}

constexpr HRESULT kOk = S_OK;
constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT kOverflow = DISP_E_OVERFLOW;
const Value kNone = Empty();  // expected value of a failing row

TEST(OleChangeType, Booleans) {
  CheckAll({
      {I2(-1), VT_BOOL, kOk, Bool(true)},
      {I2(0), VT_BOOL, kOk, Bool(false)},
      {I2(1), VT_BOOL, kOk, Bool(true)},
      {I4(-7), VT_BOOL, kOk, Bool(true)},
      {UI1(0), VT_BOOL, kOk, Bool(false)},
      {UI8(1ull << 40), VT_BOOL, kOk, Bool(true)},
      {R8(0.0), VT_BOOL, kOk, Bool(false)},
      {R8(-0.25), VT_BOOL, kOk, Bool(true)},
      {R4(0.5f), VT_BOOL, kOk, Bool(true)},
      {Bool(true), VT_I2, kOk, I2(-1)},
      {Bool(true), VT_I4, kOk, I4(-1)},
      {Bool(true), VT_INT, kOk, Int(-1)},
      {Bool(true), VT_I8, kOk, I8(-1)},
      {Bool(true), VT_I1, kOk, I1(-1)},
      {Bool(true), VT_UI1, kOk, UI1(255)},
      {Bool(true), VT_UI2, kOk, UI2(65535)},
      {Bool(true), VT_UI4, kOk, UI4(0xFFFFFFFFu)},
      {Bool(true), VT_UI8, kOk, UI8(~0ull)},
      {Bool(true), VT_R4, kOk, R4(-1)},
      {Bool(true), VT_R8, kOk, R8(-1)},
      {Bool(false), VT_I4, kOk, I4(0)},
      {Bool(false), VT_R8, kOk, R8(0)},
      // To text: a number unless asked for words.
      {Bool(true), VT_BSTR, kOk, Str(u"-1")},
      {Bool(false), VT_BSTR, kOk, Str(u"0")},
      {Bool(true), VT_BSTR, kOk, Str(u"True"), VARIANT_ALPHABOOL},
      {Bool(false), VT_BSTR, kOk, Str(u"False"), VARIANT_ALPHABOOL},
      {Bool(true), VT_BSTR, kOk, Str(u"True"), VARIANT_LOCALBOOL},
      // From text: the words in any case, the #TRUE# forms, or a number.
      {Str(u"true"), VT_BOOL, kOk, Bool(true)},
      {Str(u"TRUE"), VT_BOOL, kOk, Bool(true)},
      {Str(u"False"), VT_BOOL, kOk, Bool(false)},
      {Str(u"fAlSe"), VT_BOOL, kOk, Bool(false)},
      {Str(u"#TRUE#"), VT_BOOL, kOk, Bool(true)},
      {Str(u"#FALSE#"), VT_BOOL, kOk, Bool(false)},
      {Str(u"#true#"), VT_BOOL, kMismatch, kNone},
      {Str(u"1"), VT_BOOL, kOk, Bool(true)},
      {Str(u"0"), VT_BOOL, kOk, Bool(false)},
      {Str(u"-1"), VT_BOOL, kOk, Bool(true)},
      {Str(u"0.0"), VT_BOOL, kOk, Bool(false)},
      {Str(u"2.5"), VT_BOOL, kOk, Bool(true)},
      {Str(u" 1 "), VT_BOOL, kOk, Bool(true)},
      {Str(u" true"), VT_BOOL, kMismatch, kNone},
      {Str(u"yes"), VT_BOOL, kMismatch, kNone},
      {Str(u""), VT_BOOL, kMismatch, kNone},
      {NullStr(), VT_BOOL, kMismatch, kNone},
      {Str(u"1e400"), VT_BOOL, kOverflow, kNone},
  });
}

TEST(OleChangeType, NumbersToText) {
  CheckAll({
      {UI4(0xFFFFFFFFu), VT_BSTR, kOk, Str(u"4294967295")},
      {I4(-2147483647 - 1), VT_BSTR, kOk, Str(u"-2147483648")},
      {I4(0), VT_BSTR, kOk, Str(u"0")},
      {I4(42), VT_BSTR, kOk, Str(u"42")},
      {I2(-32768), VT_BSTR, kOk, Str(u"-32768")},
      {I1(-5), VT_BSTR, kOk, Str(u"-5")},
      {UI1(255), VT_BSTR, kOk, Str(u"255")},
      {UI2(65535), VT_BSTR, kOk, Str(u"65535")},
      {I8(std::numeric_limits<int64_t>::min()), VT_BSTR, kOk, Str(u"-9223372036854775808")},
      {UI8(~0ull), VT_BSTR, kOk, Str(u"18446744073709551615")},
      {Int(-7), VT_BSTR, kOk, Str(u"-7")},
      {UInt(7), VT_BSTR, kOk, Str(u"7")},
      // Reals: 15 significant digits, %G style, small numbers written out.
      {R8(1.5), VT_BSTR, kOk, Str(u"1.5")},
      {R8(-2.5), VT_BSTR, kOk, Str(u"-2.5")},
      {R8(100), VT_BSTR, kOk, Str(u"100")},
      {R8(0.1), VT_BSTR, kOk, Str(u"0.1")},
      {R8(1.0 / 3), VT_BSTR, kOk, Str(u"0.333333333333333")},
      {R8(2.0 / 3), VT_BSTR, kOk, Str(u"0.666666666666667")},
      {R8(1e20), VT_BSTR, kOk, Str(u"1E+20")},
      {R8(1e15), VT_BSTR, kOk, Str(u"1E+15")},
      {R8(123456789012345.0), VT_BSTR, kOk, Str(u"123456789012345")},
      {R8(123456789012345678.0), VT_BSTR, kOk, Str(u"1.23456789012346E+17")},
      {R8(1e-5), VT_BSTR, kOk, Str(u"0.00001")},
      {R8(1.5e-7), VT_BSTR, kOk, Str(u"0.00000015")},
      {R8(1e-16), VT_BSTR, kOk, Str(u"1E-16")},
      {R8(-1e-20), VT_BSTR, kOk, Str(u"-1E-20")},
      {R8(-0.0), VT_BSTR, kOk, Str(u"0")},
      {R8(1.7976931348623157e308), VT_BSTR, kOk, Str(u"1.79769313486232E+308")},
      {R4(1.5f), VT_BSTR, kOk, Str(u"1.5")},
      {R4(0.1f), VT_BSTR, kOk, Str(u"0.1")},
      {R4(3.14159274f), VT_BSTR, kOk, Str(u"3.141593")},
      {R4(1e10f), VT_BSTR, kOk, Str(u"1E+10")},
      {R4(16777216.0f), VT_BSTR, kOk, Str(u"1.677722E+07")},
      {Empty(), VT_BSTR, kOk, Str(u"")},
  });
}

TEST(OleChangeType, TextToIntegers) {
  CheckAll({
      {Str(u" 42"), VT_I4, kOk, I4(42)},
      {Str(u"42 "), VT_I4, kOk, I4(42)},
      {Str(u"\t42\n"), VT_I4, kOk, I4(42)},
      {Str(u"+42"), VT_I4, kOk, I4(42)},
      {Str(u"-42"), VT_I4, kOk, I4(-42)},
      {Str(u"42-"), VT_I4, kOk, I4(-42)},
      {Str(u"(42)"), VT_I4, kOk, I4(-42)},
      {Str(u"(42"), VT_I4, kMismatch, kNone},
      {Str(u"1,000"), VT_I4, kOk, I4(1000)},
      {Str(u"1,234,567"), VT_I4, kOk, I4(1234567)},
      {Str(u",1"), VT_I4, kMismatch, kNone},
      {Str(u"$5"), VT_I4, kOk, I4(5)},
      {Str(u"&H10"), VT_I4, kOk, I4(16)},
      {Str(u"&hff"), VT_I4, kOk, I4(255)},
      {Str(u"&HFFFF"), VT_I2, kOk, I2(-1)},
      {Str(u"&HFFFFFFFF"), VT_I4, kOk, I4(-1)},
      {Str(u"&H1FFFF"), VT_I2, kOverflow, kNone},
      {Str(u"&O17"), VT_I4, kOk, I4(15)},
      {Str(u"&O18"), VT_I4, kMismatch, kNone},
      {Str(u"1e3"), VT_I4, kOk, I4(1000)},
      {Str(u"1.5E1"), VT_I4, kOk, I4(15)},
      {Str(u"1e"), VT_I4, kMismatch, kNone},
      {Str(u"1e+"), VT_I4, kMismatch, kNone},
      {Str(u"abc"), VT_I4, kMismatch, kNone},
      {Str(u""), VT_I4, kMismatch, kNone},
      {Str(u"   "), VT_I4, kMismatch, kNone},
      {Str(u"12abc"), VT_I4, kMismatch, kNone},
      {Str(u"1.2.3"), VT_I4, kMismatch, kNone},
      {Str(u"1 2"), VT_I4, kMismatch, kNone},
      {Str(u"0x10"), VT_I4, kMismatch, kNone},
      {NullStr(), VT_I4, kMismatch, kNone},
      // Fractions round half to even.
      {Str(u"2.5"), VT_I4, kOk, I4(2)},
      {Str(u"3.5"), VT_I4, kOk, I4(4)},
      {Str(u"-2.5"), VT_I4, kOk, I4(-2)},
      {Str(u"-3.5"), VT_I4, kOk, I4(-4)},
      {Str(u"2.51"), VT_I4, kOk, I4(3)},
      {Str(u"2.4999"), VT_I4, kOk, I4(2)},
      {Str(u"0.5"), VT_I4, kOk, I4(0)},
      {Str(u"0.51"), VT_I4, kOk, I4(1)},
      {Str(u"0.06"), VT_I4, kOk, I4(0)},
      // Ranges.
      {Str(u"2147483647"), VT_I4, kOk, I4(2147483647)},
      {Str(u"2147483648"), VT_I4, kOverflow, kNone},
      {Str(u"-2147483648"), VT_I4, kOk, I4(-2147483647 - 1)},
      {Str(u"-2147483649"), VT_I4, kOverflow, kNone},
      {Str(u"32767"), VT_I2, kOk, I2(32767)},
      {Str(u"32768"), VT_I2, kOverflow, kNone},
      {Str(u"-128"), VT_I1, kOk, I1(-128)},
      {Str(u"128"), VT_I1, kOverflow, kNone},
      {Str(u"254.5"), VT_UI1, kOk, UI1(254)},
      {Str(u"255.5"), VT_UI1, kOverflow, kNone},
      {Str(u"4294967295"), VT_UI4, kOk, UI4(4294967295u)},
      {Str(u"4294967296"), VT_UI4, kOverflow, kNone},
      {Str(u"-1"), VT_UI4, kOverflow, kNone},
      {Str(u"-0"), VT_UI4, kOk, UI4(0)},
      {Str(u"-0.4"), VT_UI4, kOk, UI4(0)},
      {Str(u"9223372036854775807"), VT_I8, kOk, I8(std::numeric_limits<int64_t>::max())},
      {Str(u"9223372036854775808"), VT_I8, kOverflow, kNone},
      {Str(u"-9223372036854775808"), VT_I8, kOk, I8(std::numeric_limits<int64_t>::min())},
      {Str(u"18446744073709551615"), VT_UI8, kOk, UI8(~0ull)},
      {Str(u"18446744073709551616"), VT_UI8, kOverflow, kNone},
      {Str(u"1e30"), VT_I4, kOverflow, kNone},
      {Str(u"7"), VT_INT, kOk, Int(7)},
      {Str(u"7"), VT_UINT, kOk, UInt(7)},
  });
}

TEST(OleChangeType, TextToReals) {
  CheckAll({
      {Str(u"1.5"), VT_R8, kOk, R8(1.5)},
      {Str(u" -0.125 "), VT_R8, kOk, R8(-0.125)},
      {Str(u".5"), VT_R8, kOk, R8(0.5)},
      {Str(u"5."), VT_R8, kOk, R8(5)},
      {Str(u"1,5"), VT_R8, kOk, R8(15)},  // ',' separates thousands
      {Str(u"2.5e-3"), VT_R8, kOk, R8(0.0025)},
      {Str(u"0.1"), VT_R8, kOk, R8(0.1)},
      {Str(u"123456789.123456789"), VT_R8, kOk, R8(123456789.123456789)},
      {Str(u"1e308"), VT_R8, kOk, R8(1e308)},
      {Str(u"1e309"), VT_R8, kOverflow, kNone},
      {Str(u"1e-400"), VT_R8, kOverflow, kNone},
      {Str(u"&H10"), VT_R8, kOk, R8(16)},
      {Str(u"3.25"), VT_R4, kOk, R4(3.25f)},
      {Str(u"1e39"), VT_R4, kOverflow, kNone},
      {Str(u"x1"), VT_R8, kMismatch, kNone},
  });
}

TEST(OleChangeType, RealsToIntegersRoundHalfToEven) {
  CheckAll({
      {R8(2.5), VT_I4, kOk, I4(2)},
      {R8(3.5), VT_I4, kOk, I4(4)},
      {R8(-2.5), VT_I4, kOk, I4(-2)},
      {R8(-3.5), VT_I4, kOk, I4(-4)},
      {R8(0.5), VT_I4, kOk, I4(0)},
      {R8(1.5), VT_I4, kOk, I4(2)},
      {R8(2.4999999), VT_I4, kOk, I4(2)},
      {R8(2.5000001), VT_I4, kOk, I4(3)},
      {R8(-0.4), VT_I4, kOk, I4(0)},
      {R8(3.5), VT_INT, kOk, Int(4)},
      {R4(2.5f), VT_I2, kOk, I2(2)},
      {R4(-1.5f), VT_I2, kOk, I2(-2)},
      {R8(2.5), VT_UI1, kOk, UI1(2)},
      {R8(254.5), VT_UI1, kOk, UI1(254)},
      {R8(255.4), VT_UI1, kOk, UI1(255)},
      {R8(255.5), VT_UI1, kOverflow, kNone},
      {R8(-0.5), VT_UI1, kOk, UI1(0)},
      {R8(-0.51), VT_UI1, kOverflow, kNone},
      {R8(127.49), VT_I1, kOk, I1(127)},
      {R8(127.5), VT_I1, kOverflow, kNone},
      {R8(-128.5), VT_I1, kOk, I1(-128)},
      {R8(-128.51), VT_I1, kOverflow, kNone},
      {R8(2147483647.4), VT_I4, kOk, I4(2147483647)},
      {R8(2147483647.5), VT_I4, kOverflow, kNone},
      {R8(-2147483648.5), VT_I4, kOk, I4(-2147483647 - 1)},
      {R8(-2147483648.6), VT_I4, kOverflow, kNone},
      {R8(4294967295.4), VT_UI4, kOk, UI4(4294967295u)},
      {R8(4294967295.5), VT_UI4, kOverflow, kNone},
      {R8(1e15), VT_I8, kOk, I8(1000000000000000)},
      {R8(-1e15), VT_I8, kOk, I8(-1000000000000000)},
      {R8(2.5), VT_UI8, kOk, UI8(2)},
      {R8(1e300), VT_I4, kOverflow, kNone},
      {R8(std::nan("")), VT_I4, kOverflow, kNone},
      {R8(HUGE_VAL), VT_I8, kOverflow, kNone},
      {Date(2.5), VT_I4, kOk, I4(2)},
      // Between reals.
      {R8(1.5), VT_R4, kOk, R4(1.5f)},
      {R8(3e38), VT_R4, kOk, R4(3e38f)},
      {R8(1e39), VT_R4, kOverflow, kNone},
      {R8(-1e39), VT_R4, kOverflow, kNone},
      {R4(0.1f), VT_R8, kOk, R8(static_cast<double>(0.1f))},
      {I4(16777217), VT_R4, kOk, R4(16777216.0f)},
      {UI8(~0ull), VT_R8, kOk, R8(18446744073709551616.0)},
      {I8(-5), VT_R8, kOk, R8(-5)},
  });
}

TEST(OleChangeType, IntegerRanges) {
  CheckAll({
      {I4(70000), VT_I2, kOverflow, kNone},
      {I4(32767), VT_I2, kOk, I2(32767)},
      {I4(-32769), VT_I2, kOverflow, kNone},
      {I4(-1), VT_UI2, kOverflow, kNone},
      {I4(65535), VT_UI2, kOk, UI2(65535)},
      {I4(128), VT_I1, kOverflow, kNone},
      {I4(-128), VT_I1, kOk, I1(-128)},
      {I4(-129), VT_I1, kOverflow, kNone},
      {I4(256), VT_UI1, kOverflow, kNone},
      {I2(-1), VT_UI1, kOverflow, kNone},
      {UI4(0x80000000u), VT_I2, kOverflow, kNone},
      {UI4(0x80000000u), VT_I8, kOk, I8(0x80000000)},
      {I8(1ll << 31), VT_I4, kOverflow, kNone},
      {I8(-(1ll << 31)), VT_I4, kOk, I4(-2147483647 - 1)},
      {I8(-1), VT_UI4, kOverflow, kNone},
      {I8(70000), VT_UI2, kOverflow, kNone},
      {UI8(1ull << 32), VT_UI4, kOverflow, kNone},
      {UI8(1ull << 63), VT_I4, kOverflow, kNone},
      {I4(-1), VT_UI8, kOverflow, kNone},
      {UI2(65535), VT_I4, kOk, I4(65535)},
      {I1(-1), VT_I4, kOk, I4(-1)},
      {UI1(200), VT_I2, kOk, I2(200)},
      {Int(-5), VT_I4, kOk, I4(-5)},
      {I4(-5), VT_INT, kOk, Int(-5)},
      // Same size, other signedness: the bits are kept, as oleaut32 does.
      {UI4(0xFFFFFFFFu), VT_I4, kOk, I4(-1)},
      {I4(-1), VT_UI4, kOk, UI4(0xFFFFFFFFu)},
      {I2(-1), VT_UI2, kOk, UI2(65535)},
      {UI2(0x8000), VT_I2, kOk, I2(-32768)},
      {I1(-1), VT_UI1, kOk, UI1(255)},
      {UI1(200), VT_I1, kOk, I1(-56)},
      {I8(-1), VT_UI8, kOk, UI8(~0ull)},
      {UI8(~0ull), VT_I8, kOk, I8(-1)},
      {Int(-1), VT_UINT, kOk, UInt(0xFFFFFFFFu)},
      {UI4(0xFFFFFFFFu), VT_INT, kOk, Int(-1)},
  });
}

TEST(OleChangeType, EmptyAndNull) {
  CheckAll({
      {Empty(), VT_I1, kOk, I1(0)},
      {Empty(), VT_I2, kOk, I2(0)},
      {Empty(), VT_I4, kOk, I4(0)},
      {Empty(), VT_INT, kOk, Int(0)},
      {Empty(), VT_I8, kOk, I8(0)},
      {Empty(), VT_UI1, kOk, UI1(0)},
      {Empty(), VT_UI2, kOk, UI2(0)},
      {Empty(), VT_UI4, kOk, UI4(0)},
      {Empty(), VT_UINT, kOk, UInt(0)},
      {Empty(), VT_UI8, kOk, UI8(0)},
      {Empty(), VT_R4, kOk, R4(0)},
      {Empty(), VT_R8, kOk, R8(0)},
      {Empty(), VT_DATE, kOk, Date(0)},
      {Empty(), VT_CY, kOk, Cy(0)},
      {Empty(), VT_BOOL, kOk, Bool(false)},
      {Empty(), VT_BSTR, kOk, Str(u"")},
      {Empty(), VT_EMPTY, kOk, Empty()},
      {Empty(), VT_NULL, kOk, Null()},
      {Null(), VT_NULL, kOk, Null()},
      {Null(), VT_EMPTY, kMismatch, kNone},
      {Null(), VT_I2, kMismatch, kNone},
      {Null(), VT_I4, kMismatch, kNone},
      {Null(), VT_UI1, kMismatch, kNone},
      {Null(), VT_R8, kMismatch, kNone},
      {Null(), VT_BOOL, kMismatch, kNone},
      {Null(), VT_BSTR, kMismatch, kNone},
      {Null(), VT_DATE, kMismatch, kNone},
      // Anything simple can become VT_EMPTY or VT_NULL; errors cannot.
      {I4(5), VT_EMPTY, kOk, Empty()},
      {Bool(true), VT_EMPTY, kOk, Empty()},
      {Str(u"x"), VT_NULL, kOk, Null()},
      {R8(1), VT_NULL, kOk, Null()},
      {Error(5), VT_EMPTY, kMismatch, kNone},
      {Error(5), VT_I4, kMismatch, kNone},
      {I4(5), VT_ERROR, kMismatch, kNone},
      {Error(5), VT_ERROR, kOk, Error(5)},
  });
}

TEST(OleChangeType, TypesAndUnsupportedConversions) {
  CheckAll({
      {I4(1), VT_CLSID, DISP_E_BADVARTYPE, kNone},
      {I4(1), 15, DISP_E_BADVARTYPE, kNone},
      {I4(1), VT_VOID, DISP_E_BADVARTYPE, kNone},
      {I4(1), VT_I4 | VT_VECTOR, DISP_E_BADVARTYPE, kNone},
      {I4(1), VT_EMPTY | VT_BYREF, DISP_E_BADVARTYPE, kNone},
      {Raw(15), VT_I4, DISP_E_BADVARTYPE, kNone},
      {Raw(VT_I4 | VT_RESERVED), VT_I4, DISP_E_BADVARTYPE, kNone},
      {I4(1), VT_VARIANT, kMismatch, kNone},
      {I4(1), VT_I4 | VT_BYREF, kMismatch, kNone},
      {I4(1), VT_UNKNOWN, kMismatch, kNone},
      {I4(1), VT_DISPATCH, kMismatch, kNone},
      // Dates convert as numbers.
      {Date(2.0), VT_I4, kOk, I4(2)},
      {Date(-1.5), VT_R8, kOk, R8(-1.5)},
      {I4(3), VT_DATE, kOk, Date(3)},
      {R8(1e7), VT_DATE, kOverflow, kNone},
      {Bool(true), VT_DATE, kOk, Date(-1)},
      // Not in our subset.
      {Date(2.0), VT_BSTR, E_NOTIMPL, kNone},
      {Str(u"1/1/2000"), VT_DATE, E_NOTIMPL, kNone},
      {Cy(25000), VT_I4, E_NOTIMPL, kNone},
      {I4(1), VT_CY, E_NOTIMPL, kNone},
      {I4(1), VT_DECIMAL, E_NOTIMPL, kNone},
      {Null(), VT_CY, kMismatch, kNone},
      {Cy(25000), VT_CY, kOk, Cy(25000)},
  });
}

TEST(OleChangeType, ChangeTypeIsChangeTypeExForTheUserLocale) {
  VARIANT source = Make(Str(u"12"));
  VARIANT dest;
  VariantInit(&dest);
  EXPECT_EQ(VariantChangeType(&dest, &source, 0, VT_I2), S_OK);
  EXPECT_TRUE(Holds(dest, I2(12)));
  VariantClear(&source);
}

TEST(OleChangeType, InPlaceConversion) {
  // The source BSTR is freed when it is replaced (the sanitizer build checks).
  VARIANT v = Make(Str(u"12"));
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_TRUE(Holds(v, I4(12)));
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_TRUE(Holds(v, Str(u"12")));
  // A failure leaves the variant as it was.
  VARIANT text = Make(Str(u"abc"));
  EXPECT_EQ(VariantChangeType(&text, &text, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(Holds(text, Str(u"abc")));
  VariantClear(&text);
  VariantClear(&v);
}

TEST(OleChangeType, DestinationIsClearedOnSuccess) {
  VARIANT source = Make(I4(5));
  VARIANT dest = Make(Str(u"old value"));  // freed by the conversion
  EXPECT_EQ(VariantChangeType(&dest, &source, 0, VT_R8), S_OK);
  EXPECT_TRUE(Holds(dest, R8(5)));
  // An uninitialised destination type is refused.
  VARIANT garbage;
  VariantInit(&garbage);
  garbage.vt = 15;
  EXPECT_EQ(VariantChangeType(&garbage, &source, 0, VT_R8), DISP_E_BADVARTYPE);
}

TEST(OleChangeType, ByReferenceSourcesAreRead) {
  LONG number = 5;
  BSTR text = SysAllocString(u" 77 ");
  VARIANT inner = Make(R8(2.5));

  struct RefCase {
    const char* what;
    VARTYPE vt;
    void* ref;
    VARTYPE to;
    HRESULT hr;
    Value expected;
  };
  const RefCase cases[] = {
      {"I4 by reference to text", VT_I4, &number, VT_BSTR, S_OK, Str(u"5")},
      {"BSTR by reference to I4", VT_BSTR, &text, VT_I4, S_OK, I4(77)},
      {"VARIANT by reference to I4", VT_VARIANT, &inner, VT_I4, S_OK, I4(2)},
      {"null reference", VT_I4, nullptr, VT_BSTR, DISP_E_TYPEMISMATCH, kNone},
  };
  for (const RefCase& c : cases) {
    SCOPED_TRACE(c.what);
    VARIANT source;
    VariantInit(&source);
    source.vt = static_cast<VARTYPE>(c.vt | VT_BYREF);
    source.byref = c.ref;
    VARIANT dest;
    VariantInit(&dest);
    EXPECT_EQ(Hex(VariantChangeType(&dest, &source, 0, c.to)), Hex(c.hr));
    if (SUCCEEDED(c.hr)) {
      EXPECT_TRUE(Holds(dest, c.expected));
    }
    VariantClear(&dest);
  }

  // In place: the variant gets the value; what it referred to is untouched.
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &text;
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_TRUE(Holds(v, I4(77)));
  EXPECT_EQ(std::u16string(text), u" 77 ");
  EXPECT_EQ(number, 5);
  SysFreeString(text);
}

// An object whose value property (DISPID_VALUE) is a VARIANT it holds.
class ValueObject : public IDispatch {
 public:
  explicit ValueObject(VARIANT value, HRESULT invokeResult = S_OK, bool isDispatch = true)
      : m_value(value), m_invokeResult(invokeResult), m_isDispatch(isDispatch) {}
  ~ValueObject() { VariantClear(&m_value); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || (m_isDispatch && IsEqualGUID(riid, IID_IDispatch))) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    ++invokes;
    if (FAILED(m_invokeResult)) return m_invokeResult;
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !params || params->cArgs != 0 || !result)
      return DISP_E_MEMBERNOTFOUND;
    return VariantCopy(result, &m_value);
  }

  ULONG refs = 1;
  int invokes = 0;

 private:
  VARIANT m_value;
  HRESULT m_invokeResult;
  bool m_isDispatch;
};

TEST(OleChangeType, ObjectsConvertThroughTheirValueProperty) {
  ValueObject object(Make(I4(42)));
  struct ObjectCase {
    const char* what;
    IDispatch* object;
    USHORT flags;
    VARTYPE to;
    HRESULT hr;
    Value expected;
  };
  ValueObject failing(Make(I4(1)), E_FAIL);
  ValueObject textValue(Make(Str(u"abc")));
  const ObjectCase cases[] = {
      {"to I4", &object, 0, VT_I4, S_OK, I4(42)},
      {"to text", &object, 0, VT_BSTR, S_OK, Str(u"42")},
      {"to R8", &object, 0, VT_R8, S_OK, R8(42)},
      {"value property not wanted", &object, VARIANT_NOVALUEPROP, VT_I4, DISP_E_TYPEMISMATCH, kNone},
      {"Invoke fails", &failing, 0, VT_I4, DISP_E_TYPEMISMATCH, kNone},
      {"value does not convert", &textValue, 0, VT_I4, DISP_E_TYPEMISMATCH, kNone},
      {"null object", nullptr, 0, VT_I4, DISP_E_BADVARTYPE, kNone},
  };
  for (const ObjectCase& c : cases) {
    SCOPED_TRACE(c.what);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_DISPATCH;
    source.pdispVal = c.object;
    VARIANT dest;
    VariantInit(&dest);
    EXPECT_EQ(Hex(VariantChangeType(&dest, &source, c.flags, c.to)), Hex(c.hr));
    if (SUCCEEDED(c.hr)) {
      EXPECT_TRUE(Holds(dest, c.expected));
    }
    VariantClear(&dest);
  }
  EXPECT_EQ(object.refs, 1u) << "conversions must not keep references";
  EXPECT_EQ(failing.invokes, 1);
}

TEST(OleChangeType, UnknownAndDispatchUseQueryInterface) {
  ValueObject object(Make(I4(1)));
  ValueObject plain(Make(I4(1)), S_OK, /*isDispatch=*/false);

  VARIANT source, dest;
  VariantInit(&source);
  VariantInit(&dest);
  source.vt = VT_DISPATCH;
  source.pdispVal = &object;
  ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(dest.vt, VT_UNKNOWN);
  EXPECT_EQ(dest.punkVal, static_cast<IUnknown*>(&object));
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&dest);

  source.vt = VT_UNKNOWN;
  source.punkVal = &object;
  ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(dest.vt, VT_DISPATCH);
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&dest);
  EXPECT_EQ(object.refs, 1u);

  source.punkVal = &plain;
  EXPECT_EQ(VariantChangeType(&dest, &source, 0, VT_DISPATCH), E_NOINTERFACE);
  EXPECT_EQ(dest.vt, VT_EMPTY);
  EXPECT_EQ(plain.refs, 1u);

  source.punkVal = nullptr;
  ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(dest.vt, VT_DISPATCH);
  EXPECT_EQ(dest.pdispVal, nullptr);
}

TEST(OleChangeType, Arrays) {
  SAFEARRAYBOUND bound = {3, 0};
  SAFEARRAY* numbers = SafeArrayCreate(VT_I4, 1, &bound);
  VARIANT source, dest;
  VariantInit(&source);
  VariantInit(&dest);
  source.vt = VT_ARRAY | VT_I4;
  source.parray = numbers;

  // Same array type: a copy.
  ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_ARRAY | VT_I4), S_OK);
  EXPECT_EQ(dest.vt, VT_ARRAY | VT_I4);
  EXPECT_NE(dest.parray, numbers);
  VariantClear(&dest);
  // Other types: no.
  EXPECT_EQ(VariantChangeType(&dest, &source, 0, VT_ARRAY | VT_I2), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&dest, &source, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&dest, &source, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  VariantClear(&source);

  // Bytes and BSTR convert into each other.
  source = Make(Str(u"Hi"));
  ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_ARRAY | VT_UI1), S_OK);
  ASSERT_EQ(dest.vt, VT_ARRAY | VT_UI1);
  LONG upper = -1;
  SafeArrayGetUBound(dest.parray, 1, &upper);
  EXPECT_EQ(upper, 3) << "four bytes";
  const auto* bytes = static_cast<const unsigned char*>(dest.parray->pvData);
  EXPECT_EQ(bytes[0], 'H');
  EXPECT_EQ(bytes[2], 'i');
  VARIANT back;
  VariantInit(&back);
  ASSERT_EQ(VariantChangeType(&back, &dest, 0, VT_BSTR), S_OK);
  EXPECT_TRUE(Holds(back, Str(u"Hi")));
  VariantClear(&back);
  VariantClear(&dest);
  VariantClear(&source);
}

}  // namespace
