// VariantChangeType without flags, as the core calls it: one table row per
// conversion - source, target type, expected status and value. A failed
// conversion leaves the destination alone, and no conversion changes its
// source; converted in place, the variant becomes the result, or stays as it
// was on failure.
#include <cmath>
#include <limits>
#include <vector>

#include "oletest.h"

using namespace oletest;

namespace {

struct Case {
  Var from;
  VARTYPE to;
  HRESULT hr;
  Var expected;
};

void CheckAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.from.v) + " to vt " + std::to_string(c.to));
    Var source(c.from), dest = I4(0x5EED);
    EXPECT_EQ(Hex(VariantChangeType(&dest.v, &source.v, 0, c.to)), Hex(c.hr));
    EXPECT_EQ(Show(dest.v), Show(SUCCEEDED(c.hr) ? c.expected.v : I4(0x5EED).v)) << "a failure leaves it alone";
    EXPECT_EQ(Show(source.v), Show(c.from.v)) << "the source does not change";
    EXPECT_EQ(Hex(VariantChangeType(&source.v, &source.v, 0, c.to)), Hex(c.hr));
    EXPECT_EQ(Show(source.v), Show(SUCCEEDED(c.hr) ? c.expected.v : c.from.v)) << "in place";
  }
}

constexpr HRESULT kOk = S_OK;
constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT kOverflow = DISP_E_OVERFLOW;
const Var kNone;  // the expected value of a failing row
constexpr LONGLONG kI8Min = std::numeric_limits<LONGLONG>::min();

// clang-format off
TEST(OleChangeType, Booleans) {
  CheckAll({
      {I2(-1), VT_BOOL, kOk, Bool(true)},
      {UI8(1ull << 40), VT_BOOL, kOk, Bool(true)},
      {R8(0.0), VT_BOOL, kOk, Bool(false)},
      {R8(-0.25), VT_BOOL, kOk, Bool(true)},
      {Bool(true), VT_I2, kOk, I2(-1)},
      {Bool(true), VT_UI1, kOk, UI1(255)},
      {Bool(true), VT_R8, kOk, R8(-1)},
      // To text: a number.
      {Bool(true), VT_BSTR, kOk, Str(u"-1")},
      // From text: the words in any case, the #TRUE# forms, or a number.
      {Str(u"TRUE"), VT_BOOL, kOk, Bool(true)},
      {Str(u"fAlSe"), VT_BOOL, kOk, Bool(false)},
      {Str(u"#TRUE#"), VT_BOOL, kOk, Bool(true)},
      {Str(u"#true#"), VT_BOOL, kMismatch, kNone},
      {Str(u"0"), VT_BOOL, kOk, Bool(false)},
      {Str(u" true"), VT_BOOL, kMismatch, kNone},
      {Str(nullptr), VT_BOOL, kMismatch, kNone},
      {Str(u"1e400"), VT_BOOL, kOverflow, kNone},
  });
}

TEST(OleChangeType, NumbersToText) {
  CheckAll({
      {UI4(0xFFFFFFFFu), VT_BSTR, kOk, Str(u"4294967295")},
      {I4(-2147483647 - 1), VT_BSTR, kOk, Str(u"-2147483648")},
      {I8(kI8Min), VT_BSTR, kOk, Str(u"-9223372036854775808")},
      {UI8(~0ull), VT_BSTR, kOk, Str(u"18446744073709551615")},
      // Reals: 15 significant digits (7 for VT_R4), %G style, small numbers written out.
      {R8(1.0 / 3), VT_BSTR, kOk, Str(u"0.333333333333333")},
      {R8(1e15), VT_BSTR, kOk, Str(u"1E+15")},
      {R8(123456789012345.0), VT_BSTR, kOk, Str(u"123456789012345")},
      {R8(123456789012345678.0), VT_BSTR, kOk, Str(u"1.23456789012346E+17")},
      {R8(1e-5), VT_BSTR, kOk, Str(u"0.00001")},
      {R8(1e-16), VT_BSTR, kOk, Str(u"1E-16")},
      {R8(-0.0), VT_BSTR, kOk, Str(u"0")},
      {R4(3.14159274f), VT_BSTR, kOk, Str(u"3.141593")},
      {R4(16777216.0f), VT_BSTR, kOk, Str(u"1.677722E+07")},
      {R4(654322.25f), VT_BSTR, kOk, Str(u"654322.3")},  // an exact tie rounds away from zero
      {R8(100000000000000.5), VT_BSTR, kOk, Str(u"100000000000001")},
      {Empty(), VT_BSTR, kOk, Str(u"")},
  });
}

TEST(OleChangeType, TextToIntegers) {
  CheckAll({
      {Str(u"\t42\n"), VT_I4, kOk, I4(42)},
      {Str(u"42-"), VT_I4, kOk, I4(-42)},
      {Str(u"(42)"), VT_I4, kOk, I4(-42)},
      {Str(u"(42"), VT_I4, kMismatch, kNone},
      {Str(u"1,234,567"), VT_I4, kOk, I4(1234567)},
      {Str(u",1"), VT_I4, kMismatch, kNone},
      {Str(u"$5"), VT_I4, kOk, I4(5)},
      {Str(u"&hff"), VT_I4, kOk, I4(255)},
      {Str(u"&HFFFF"), VT_I2, kOk, I2(-1)},
      {Str(u"&H1FFFF"), VT_I2, kOverflow, kNone},
      {Str(u"&O17"), VT_I4, kOk, I4(15)},
      {Str(u"&O18"), VT_I4, kMismatch, kNone},
      {Str(u"1e3"), VT_I4, kOk, I4(1000)},
      {Str(u"1e"), VT_I4, kMismatch, kNone},
      {Str(u"   "), VT_I4, kMismatch, kNone},
      {Str(u"1.2.3"), VT_I4, kMismatch, kNone},
      {Str(u"0x10"), VT_I4, kMismatch, kNone},
      {Str(u"++1"), VT_I4, kMismatch, kNone},  // one sign at most
      // Fractions round half to even.
      {Str(u"2.5"), VT_I4, kOk, I4(2)},
      {Str(u"3.5"), VT_I4, kOk, I4(4)},
      {Str(u"2.51"), VT_I4, kOk, I4(3)},
      // Ranges.
      {Str(u"2147483647"), VT_I4, kOk, I4(2147483647)},
      {Str(u"2147483648"), VT_I4, kOverflow, kNone},
      {Str(u"-2147483648"), VT_I4, kOk, I4(-2147483647 - 1)},
      {Str(u"32768"), VT_I2, kOverflow, kNone},
      {Str(u"128"), VT_I1, kOverflow, kNone},
      {Str(u"254.5"), VT_UI1, kOk, UI1(254)},
      {Str(u"255.5"), VT_UI1, kOverflow, kNone},
      {Str(u"4294967295"), VT_UI4, kOk, UI4(4294967295u)},
      {Str(u"4294967296"), VT_UI4, kOverflow, kNone},
      {Str(u"-1"), VT_UI4, kOverflow, kNone},
      {Str(u"-0.4"), VT_UI4, kOk, UI4(0)},
      {Str(u"9223372036854775807"), VT_I8, kOk, I8(std::numeric_limits<LONGLONG>::max())},
      {Str(u"9223372036854775808"), VT_I8, kOverflow, kNone},
      {Str(u"-9223372036854775808"), VT_I8, kOk, I8(kI8Min)},
      {Str(u"18446744073709551615"), VT_UI8, kOk, UI8(~0ull)},
      {Str(u"18446744073709551616"), VT_UI8, kOverflow, kNone},
      {Str(u"7"), VT_INT, kOk, Int(7)},
  });
}

TEST(OleChangeType, TextToReals) {
  CheckAll({
      {Str(u" -0.125 "), VT_R8, kOk, R8(-0.125)},
      {Str(u".5"), VT_R8, kOk, R8(0.5)},
      {Str(u"5."), VT_R8, kOk, R8(5)},
      {Str(u"1,5"), VT_R8, kOk, R8(15)},  // ',' separates thousands
      {Str(u"2.5e-3"), VT_R8, kOk, R8(0.0025)},
      {Str(u"123456789.123456789"), VT_R8, kOk, R8(123456789.123456789)},
      {Str(u"1e308"), VT_R8, kOk, R8(1e308)},
      {Str(u"1e309"), VT_R8, kOverflow, kNone},
      {Str(u"1e-94938484"), VT_R8, kOk, R8(0)},  // underflow is zero, not overflow
      {Str(u"1e-50"), VT_R4, kOk, R4(0)},
      {Str(u"&H10"), VT_R8, kOk, R8(16)},
      {Str(u"&H80000001"), VT_R8, kOverflow, kNone},  // past the lowest 32-bit value
      {Str(u"3.25"), VT_R4, kOk, R4(3.25f)},
      {Str(u"1e39"), VT_R4, kOverflow, kNone},
      {Str(u"x1"), VT_R8, kMismatch, kNone},
  });
}

TEST(OleChangeType, RealsToIntegersRoundHalfToEven) {
  CheckAll({
      {R8(2.5), VT_I4, kOk, I4(2)},
      {R8(3.5), VT_I4, kOk, I4(4)},
      {R8(2.5000001), VT_I4, kOk, I4(3)},
      {R4(2.5f), VT_I2, kOk, I2(2)},
      {R8(254.5), VT_UI1, kOk, UI1(254)},
      {R8(255.4), VT_UI1, kOk, UI1(255)},
      {R8(255.5), VT_UI1, kOverflow, kNone},
      {R8(-0.5), VT_UI1, kOk, UI1(0)},
      {R8(-0.51), VT_UI1, kOverflow, kNone},
      {R8(127.5), VT_I1, kOverflow, kNone},
      {R8(-128.5), VT_I1, kOk, I1(-128)},
      {R8(2147483647.5), VT_I4, kOverflow, kNone},
      {R8(-2147483648.5), VT_I4, kOk, I4(-2147483647 - 1)},
      {R8(4294967295.5), VT_UI4, kOverflow, kNone},
      {R8(-1e15), VT_I8, kOk, I8(-1000000000000000)},
      {R8(2.5), VT_UI8, kOk, UI8(2)},
      {R8(std::nan("")), VT_I4, kOverflow, kNone},
      {R8(HUGE_VAL), VT_I8, kOverflow, kNone},
      {Date(2.5), VT_I4, kOk, I4(2)},
      // Between reals.
      {R8(3e38), VT_R4, kOk, R4(3e38f)},
      {R8(1e39), VT_R4, kOverflow, kNone},
      {R4(0.1f), VT_R8, kOk, R8(static_cast<double>(0.1f))},
      {I4(16777217), VT_R4, kOk, R4(16777216.0f)},
      {UI8(~0ull), VT_R8, kOk, R8(18446744073709551616.0)},
  });
}

TEST(OleChangeType, IntegerRanges) {
  CheckAll({
      {I4(70000), VT_I2, kOverflow, kNone},
      {I4(-1), VT_UI2, kOverflow, kNone},
      {I4(128), VT_I1, kOverflow, kNone},
      {I4(256), VT_UI1, kOverflow, kNone},
      {UI4(0x80000000u), VT_I8, kOk, I8(0x80000000)},
      {I8(1ll << 31), VT_I4, kOverflow, kNone},
      {I8(-(1ll << 31)), VT_I4, kOk, I4(-2147483647 - 1)},
      {I8(-1), VT_UI4, kOverflow, kNone},
      {UI8(1ull << 32), VT_UI4, kOverflow, kNone},
      {UI8(1ull << 63), VT_I4, kOverflow, kNone},
      {I4(-1), VT_UI8, kOverflow, kNone},
      {UI2(65535), VT_I4, kOk, I4(65535)},
      // Same size, other signedness: the bits are kept, as oleaut32 does.
      {UI4(0xFFFFFFFFu), VT_I4, kOk, I4(-1)},
      {I4(-1), VT_UI4, kOk, UI4(0xFFFFFFFFu)},
      {UI1(200), VT_I1, kOk, I1(-56)},
      {I8(-1), VT_UI8, kOk, UI8(~0ull)},
      {Int(-1), VT_UINT, kOk, UInt(0xFFFFFFFFu)},
  });
}

TEST(OleChangeType, EmptyNullAndTypes) {
  CheckAll({
      {Empty(), VT_I1, kOk, I1(0)},
      {Empty(), VT_DATE, kOk, Date(0)},
      {Empty(), VT_CY, kOk, Cy(0)},
      {Empty(), VT_BOOL, kOk, Bool(false)},
      {Empty(), VT_EMPTY, kOk, Empty()},
      {Empty(), VT_NULL, kOk, Null()},
      {Null(), VT_NULL, kOk, Null()},
      {Null(), VT_EMPTY, kMismatch, kNone},
      {Null(), VT_I4, kMismatch, kNone},
      // Anything simple can become VT_EMPTY or VT_NULL; errors cannot.
      {I4(5), VT_EMPTY, kOk, Empty()},
      {Str(u"x"), VT_NULL, kOk, Null()},
      {Err(5), VT_EMPTY, kMismatch, kNone},
      {Err(5), VT_I4, kMismatch, kNone},
      {I4(5), VT_ERROR, kMismatch, kNone},
      {Err(5), VT_ERROR, kOk, Err(5)},
      {I4(1), VT_CLSID, DISP_E_BADVARTYPE, kNone},
      {I4(1), 15, DISP_E_BADVARTYPE, kNone},
      {I4(1), VT_I4 | VT_VECTOR, DISP_E_BADVARTYPE, kNone},
      {I4(1), VT_EMPTY | VT_BYREF, DISP_E_BADVARTYPE, kNone},
      {Var(15), VT_I4, DISP_E_BADVARTYPE, kNone},
      {Reserved(I4(1)), VT_I4, DISP_E_BADVARTYPE, kNone},
      {I4(1), VT_VARIANT, kMismatch, kNone},
      {I4(1), VT_I4 | VT_BYREF, kMismatch, kNone},
      {I4(1), VT_UNKNOWN, kMismatch, kNone},
      // Dates convert as numbers.
      {Date(-1.5), VT_R8, kOk, R8(-1.5)},
      {I4(3), VT_DATE, kOk, Date(3)},
      {I4(3000000), VT_DATE, kOverflow, kNone},  // after 31 December 9999
      // Not in our subset.
      {Date(2.0), VT_BSTR, E_NOTIMPL, kNone},
      {Str(u"1/1/2000"), VT_DATE, E_NOTIMPL, kNone},
      {Cy(25000), VT_I4, E_NOTIMPL, kNone},
      {I4(1), VT_CY, E_NOTIMPL, kNone},
      {I4(1), VT_DECIMAL, E_NOTIMPL, kNone},
      {Cy(25000), VT_CY, kOk, Cy(25000)},
  });
}
// clang-format on

TEST(OleChangeType, ByReferenceAndTheDestinationsOldValue) {
  Var v = Str(u"12"), five = I4(5);
  EXPECT_EQ(VariantChangeType(&v.v, &five.v, 0, VT_R8), S_OK) << "the destination's BSTR is freed";
  EXPECT_EQ(Show(v.v), Show(R8(5).v));
  Var garbage(15);
  EXPECT_EQ(VariantChangeType(&garbage.v, &five.v, 0, VT_R8), DISP_E_BADVARTYPE) << "a destination of no type";

  LONG number = 5;
  BSTR owned = SysAllocString(u" 77 ");
  Var inner = R8(2.5);
  // clang-format off
  const struct { VARTYPE vt; void* ref; VARTYPE to; HRESULT hr; Var expected; } cases[] = {
      {VT_I4, &number, VT_BSTR, S_OK, Str(u"5")},
      {VT_BSTR, &owned, VT_I4, S_OK, I4(77)},
      {VT_VARIANT, &inner.v, VT_I4, S_OK, I4(2)},
      {VT_I4, nullptr, VT_BSTR, DISP_E_TYPEMISMATCH, kNone},
  };
  // clang-format on
  for (const auto& c : cases) {
    Var source(static_cast<VARTYPE>(c.vt | VT_BYREF)), dest;
    source.v.byref = c.ref;
    EXPECT_EQ(Hex(VariantChangeType(&dest.v, &source.v, 0, c.to)), Hex(c.hr)) << c.vt;
    EXPECT_EQ(Show(dest.v), Show(c.expected.v)) << c.vt;
  }
  Var byReference(VT_BSTR | VT_BYREF);
  byReference.v.pbstrVal = &owned;
  EXPECT_EQ(VariantChangeType(&byReference.v, &byReference.v, 0, VT_I4), S_OK);
  EXPECT_EQ(Show(byReference.v), Show(I4(77).v)) << "in place: the value, not the reference";
  EXPECT_EQ(std::u16string(owned), u" 77 ") << "what it referred to is untouched";
  SysFreeString(owned);
}

// An object whose value property (DISPID_VALUE) is a VARIANT it holds.
class ValueObject : public IDispatch {
 public:
  explicit ValueObject(Var value, HRESULT invokeResult = S_OK, bool isDispatch = true)
      : m_value(value), m_invokeResult(invokeResult), m_isDispatch(isDispatch) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    const bool ok = IsEqualGUID(riid, IID_IUnknown) || (m_isDispatch && IsEqualGUID(riid, IID_IDispatch));
    *ppv = ok ? static_cast<IDispatch*>(this) : nullptr;
    if (ok) AddRef();
    return ok ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    ++invokes;
    if (FAILED(m_invokeResult)) return m_invokeResult;
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !params || params->cArgs != 0 || !result)
      return DISP_E_MEMBERNOTFOUND;
    return VariantCopy(result, &m_value.v);
  }
  ULONG refs = 1;
  int invokes = 0;

 private:
  Var m_value;
  HRESULT m_invokeResult;
  bool m_isDispatch;
};

TEST(OleChangeType, ObjectsConvertThroughTheirValueProperty) {
  ValueObject object(I4(42)), failing(I4(1), E_FAIL), textValue(Str(u"abc"));
  // clang-format off
  const struct { IDispatch* object; VARTYPE to; HRESULT hr; Var expected; } cases[] = {
      {&object, VT_I4, S_OK, I4(42)},
      {&object, VT_BSTR, S_OK, Str(u"42")},
      {&object, VT_R8, S_OK, R8(42)},
      {&failing, VT_I4, DISP_E_TYPEMISMATCH, kNone},
      {&textValue, VT_I4, DISP_E_TYPEMISMATCH, kNone},
      {nullptr, VT_I4, DISP_E_BADVARTYPE, kNone},
  };
  // clang-format on
  for (const auto& c : cases) {
    Var source(VT_DISPATCH), dest;
    source.v.pdispVal = c.object;
    EXPECT_EQ(Hex(VariantChangeType(&dest.v, &source.v, 0, c.to)), Hex(c.hr)) << c.to;
    EXPECT_EQ(Show(dest.v), Show(c.expected.v));
  }
  EXPECT_EQ(object.refs, 1u) << "conversions keep no reference";
  EXPECT_EQ(failing.invokes, 1);

  // Between VT_UNKNOWN and VT_DISPATCH through QueryInterface; the result holds a reference.
  ValueObject plain(I4(1), S_OK, /*isDispatch=*/false);
  // clang-format off
  const struct { VARTYPE from; ValueObject* object; VARTYPE to; HRESULT hr; VARTYPE vt; } objects[] = {
      {VT_DISPATCH, &object, VT_UNKNOWN, S_OK, VT_UNKNOWN},
      {VT_UNKNOWN, &object, VT_DISPATCH, S_OK, VT_DISPATCH},
      {VT_UNKNOWN, &plain, VT_DISPATCH, E_NOINTERFACE, VT_EMPTY},
      {VT_UNKNOWN, nullptr, VT_DISPATCH, S_OK, VT_DISPATCH},  // a null object stays null
  };
  // clang-format on
  for (const auto& c : objects) {
    Var source(c.from), dest;
    source.v.punkVal = c.object ? static_cast<IDispatch*>(c.object) : nullptr;
    EXPECT_EQ(Hex(VariantChangeType(&dest.v, &source.v, 0, c.to)), Hex(c.hr)) << c.from;
    EXPECT_EQ(dest.v.vt, c.vt);
    EXPECT_EQ(dest.v.punkVal, SUCCEEDED(c.hr) && c.object ? static_cast<IDispatch*>(c.object) : nullptr);
    if (c.object) {
      EXPECT_EQ(c.object->refs, SUCCEEDED(c.hr) ? 2u : 1u) << c.from;
    }
    VariantClear(&dest.v);
  }
  EXPECT_EQ(object.refs, 1u);
}

TEST(OleChangeType, ArraysCopyAndBytesBecomeText) {
  SAFEARRAYBOUND bound = {3, 0};
  VARIANT source{}, dest{}, back{};  // VT_EMPTY
  source.vt = VT_ARRAY | VT_I4;
  source.parray = SafeArrayCreate(VT_I4, 1, &bound);
  ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_ARRAY | VT_I4), S_OK);
  EXPECT_EQ(dest.vt, VT_ARRAY | VT_I4);
  EXPECT_NE(dest.parray, source.parray) << "a copy";
  VariantClear(&dest);
  for (VARTYPE other : {VARTYPE(VT_ARRAY | VT_I2), VARTYPE(VT_I4), VARTYPE(VT_BSTR)})
    EXPECT_EQ(VariantChangeType(&dest, &source, 0, other), DISP_E_TYPEMISMATCH) << other;
  VariantClear(&source);

  Var text = Str(u"Hi");
  ASSERT_EQ(VariantChangeType(&dest, &text.v, 0, VT_ARRAY | VT_UI1), S_OK);
  ASSERT_EQ(dest.vt, VT_ARRAY | VT_UI1);
  const auto* bytes = static_cast<const char*>(dest.parray->pvData);
  EXPECT_EQ(std::string(bytes, dest.parray->rgsabound[0].cElements), std::string("H\0i\0", 4)) << "UTF-16 bytes";
  ASSERT_EQ(VariantChangeType(&back, &dest, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Show(back), Show(text.v));
  VariantClear(&back);
  VariantClear(&dest);
}

}  // namespace
