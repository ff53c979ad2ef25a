// VARIANT layout, VariantInit, VariantClear, VariantCopy and VariantCopyInd.
// Freed memory is checked by the sanitizer build (leaks and double frees);
// released interfaces by reference counts.
#include <cstddef>
#include <cstring>

#include "oletest.h"

using namespace oletest;

namespace {

// ---- layout: the Windows x64 ABI --------------------------------------------------------
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, lVal) == 8 && offsetof(VARIANT, pRecInfo) == 16);
static_assert(sizeof(DECIMAL) == 16 && offsetof(VARIANT, decVal) == 0 && offsetof(DECIMAL, scale) == 2);
static_assert(offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo32) == 8 && offsetof(DECIMAL, Mid32) == 12);
static_assert(sizeof(CY) == 8 && offsetof(CY, Hi) == 4 && sizeof(SAFEARRAYBOUND) == 8 && sizeof(SAFEARRAY) == 32);
static_assert(offsetof(SAFEARRAY, cLocks) == 8 && offsetof(SAFEARRAY, pvData) == 16);
static_assert(sizeof(DISPPARAMS) == 24 && sizeof(EXCEPINFO) == 64 && offsetof(EXCEPINFO, scode) == 56);
static_assert(VT_DECIMAL == 14 && VT_I1 == 16 && VT_INT == 22 && VT_UINT == 23 && VT_RECORD == 36);

SAFEARRAY* BstrArray(const char16_t* first, const char16_t* second) {
  SAFEARRAYBOUND bound = {2, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
  LONG index = 0;
  for (const char16_t* text : {first, second}) {
    Var element = Str(text);
    SafeArrayPutElement(array, &index, element.v.bstrVal);
    ++index;
  }
  return array;
}

std::string ElementText(SAFEARRAY* array, LONG index) {
  Var text(VT_BSTR);
  EXPECT_EQ(SafeArrayGetElement(array, &index, &text.v.bstrVal), S_OK);
  return Show(text.v);
}

TEST(OleVariant, InitZeroesEverythingAndClearFreesWhatItOwns) {
  VARIANT garbage, zero{};
  std::memset(&garbage, 0xAB, sizeof garbage);
  VariantInit(&garbage);
  EXPECT_EQ(std::memcmp(&garbage, &zero, sizeof garbage), 0) << "VariantInit";
  Counted object, inArray;
  SAFEARRAYBOUND bound = {1, 0};
  SAFEARRAY* objects = SafeArrayCreate(VT_UNKNOWN, 1, &bound);
  LONG index = 0;
  SafeArrayPutElement(objects, &index, &inArray);
  BSTR mine = SysAllocString(u"still mine");
  IUnknown* ref = &object;
  object.AddRef();
  // clang-format off
  const struct { VARTYPE vt; void* value; HRESULT hr; } cases[] = {
      {VT_BSTR, SysAllocString(u"text"), S_OK},  // freed
      {VT_UNKNOWN, &object, S_OK},  // released
      {VT_ARRAY | VT_UNKNOWN, objects, S_OK},  // destroyed with its elements
      {VT_BSTR | VT_BYREF, &mine, S_OK},  // by reference: nothing freed or released
      {VT_UNKNOWN | VT_BYREF, &ref, S_OK},
      {VT_BSTR, nullptr, S_OK}, {VT_DISPATCH, nullptr, S_OK}, {VT_ARRAY | VT_I4, nullptr, S_OK},
      {VT_EMPTY, nullptr, S_OK}, {VT_NULL, nullptr, S_OK}, {VT_UINT, nullptr, S_OK}, {VT_DECIMAL, nullptr, S_OK},
      {VT_VARIANT | VT_BYREF, nullptr, S_OK}, {VT_CLSID, nullptr, S_OK},
      {15, nullptr, DISP_E_BADVARTYPE}, {VT_VOID, nullptr, DISP_E_BADVARTYPE},
      {VT_HRESULT, nullptr, DISP_E_BADVARTYPE}, {VT_LPWSTR, nullptr, DISP_E_BADVARTYPE},
      {VT_INT_PTR, nullptr, DISP_E_BADVARTYPE}, {VT_I4 | VT_VECTOR, nullptr, DISP_E_BADVARTYPE},
      {VT_I4 | VT_RESERVED, nullptr, DISP_E_BADVARTYPE}, {VT_EMPTY | VT_BYREF, nullptr, DISP_E_BADVARTYPE},
      {VT_NULL | VT_ARRAY, nullptr, DISP_E_BADVARTYPE}, {0x7FF, nullptr, DISP_E_BADVARTYPE},
  };
  // clang-format on
  for (const auto& c : cases) {
    VARIANT v;
    VariantInit(&v);
    v.vt = c.vt;
    v.byref = c.value;
    EXPECT_EQ(VariantClear(&v), c.hr) << c.vt;
    EXPECT_EQ(v.vt, SUCCEEDED(c.hr) ? VARTYPE{VT_EMPTY} : c.vt) << "a failed clear leaves the variant alone";
  }
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(inArray.refs, 1u);
  EXPECT_EQ(std::u16string(mine), u"still mine");
  SysFreeString(mine);

  SAFEARRAY* locked = SafeArrayCreate(VT_I4, 1, &bound);
  void* data = nullptr;
  SafeArrayAccessData(locked, &data);
  Var v(VT_ARRAY | VT_I4);
  v.v.parray = locked;
  EXPECT_EQ(VariantClear(&v.v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.v.vt, VT_EMPTY) << "as on Windows the variant lets go of the array, which stays usable";
  EXPECT_EQ(SafeArrayUnaccessData(locked), S_OK);
  EXPECT_EQ(SafeArrayDestroy(locked), S_OK);
}

TEST(OleVariant, CopyMakesIndependentValues) {
  Counted object;
  Var src = Str(u"a\0b", 3), dst;
  ASSERT_EQ(VariantCopy(&dst.v, &src.v), S_OK);
  EXPECT_NE(dst.v.bstrVal, src.v.bstrVal);
  EXPECT_EQ(Show(dst.v), Show(src.v)) << "a new string with the same text, embedded null included";

  // The destination is cleared first: its BSTR is freed, its object released.
  Var unknown(VT_UNKNOWN);
  unknown.v.punkVal = &object;
  ASSERT_EQ(VariantCopy(&dst.v, &unknown.v), S_OK);
  EXPECT_EQ(dst.v.punkVal, &object);
  EXPECT_EQ(object.refs, 2u) << "the copy holds its own reference";
  Var seven = I4(7);
  seven.v.pRecInfo = reinterpret_cast<IRecordInfo*>(uintptr_t{1});  // past the value: not read
  ASSERT_EQ(VariantCopy(&dst.v, &seven.v), S_OK);
  EXPECT_EQ(object.refs, 1u) << "copying over the object released it";
  EXPECT_EQ(Show(dst.v), Show(seven.v));
  Var null = Str(nullptr);
  ASSERT_EQ(VariantCopy(&dst.v, &null.v), S_OK);
  EXPECT_EQ(Show(dst.v), Show(Str(u"").v)) << "a null BSTR is copied as an empty one, as Windows does";
  ASSERT_EQ(VariantCopy(&dst.v, &dst.v), S_OK);
  EXPECT_EQ(Show(dst.v), Show(Str(u"").v)) << "onto itself";

  VARIANT array{}, arrayCopy{};
  array.vt = VT_ARRAY | VT_BSTR;
  array.parray = BstrArray(u"one", u"two");
  ASSERT_EQ(VariantCopy(&arrayCopy, &array), S_OK);
  EXPECT_NE(arrayCopy.parray, array.parray);
  VariantClear(&array);  // the copy outlives its source
  EXPECT_EQ(ElementText(arrayCopy.parray, 1), Show(Str(u"two").v));
  VariantClear(&arrayCopy);

  IUnknown* slot = &object;
  Var reference(VT_UNKNOWN | VT_BYREF), copy;
  reference.v.ppunkVal = &slot;
  ASSERT_EQ(VariantCopy(&copy.v, &reference.v), S_OK);
  EXPECT_EQ(copy.v.ppunkVal, &slot) << "a reference: the pointer only";
  EXPECT_EQ(object.refs, 1u);

  // clang-format off
  const struct { VARTYPE src, dst; } invalid[] = {
      {15, VT_I4}, {VT_I4 | VT_VECTOR, VT_I4},
      {VT_CLSID, VT_I4},  // valid to clear, not to copy
      {VT_I4, 15},  // the destination cannot be cleared
  };
  // clang-format on
  for (const auto& c : invalid) {
    Var from(c.src), to(c.dst);
    to.v.lVal = 99;
    EXPECT_EQ(VariantCopy(&to.v, &from.v), DISP_E_BADVARTYPE) << c.src << " " << c.dst;
    EXPECT_EQ(to.v.vt, c.dst);
    EXPECT_EQ(to.v.lVal, 99);
  }
}

TEST(OleVariant, CopyIndDereferences) {
  SHORT i2 = -5;
  LONG i4 = 123456;
  double r8 = 2.5;
  VARIANT_BOOL flag = VARIANT_TRUE;
  LONGLONG i8 = -9000000000LL;
  BSTR text = SysAllocString(u"by ref");
  Var inner = R8(4.25);
  Counted object;
  IUnknown* slot = &object;
  SAFEARRAY* array = BstrArray(u"x", u"y");
  // clang-format off
  const struct { VARTYPE vt; void* ref; Var expected; } cases[] = {
      {VT_I2, &i2, I2(-5)}, {VT_I4, &i4, I4(123456)}, {VT_R8, &r8, R8(2.5)}, {VT_BOOL, &flag, Bool(true)},
      {VT_I8, &i8, I8(-9000000000LL)}, {VT_BSTR, &text, Str(u"by ref")}, {VT_VARIANT, &inner.v, R8(4.25)},
  };
  // clang-format on
  for (const auto& c : cases) {
    Var src(static_cast<VARTYPE>(c.vt | VT_BYREF)), dst;
    src.v.byref = c.ref;
    ASSERT_EQ(VariantCopyInd(&dst.v, &src.v), S_OK) << c.vt;
    EXPECT_EQ(Show(dst.v), Show(c.expected.v));
  }
  Var unknown(VT_UNKNOWN | VT_BYREF), arrays(VT_ARRAY | VT_BSTR | VT_BYREF);
  unknown.v.ppunkVal = &slot;
  arrays.v.pparray = &array;
  VARIANT dst{};
  ASSERT_EQ(VariantCopyInd(&dst, &unknown.v), S_OK);
  EXPECT_EQ(dst.vt, VT_UNKNOWN);
  EXPECT_EQ(object.refs, 2u);
  ASSERT_EQ(VariantCopyInd(&dst, &arrays.v), S_OK);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(dst.vt, VT_ARRAY | VT_BSTR);
  EXPECT_NE(dst.parray, array);
  EXPECT_EQ(ElementText(dst.parray, 1), Show(Str(u"y").v));
  VariantClear(&dst);
  SafeArrayDestroy(array);

  // In place: the variant becomes the value it referred to.
  Var inPlace(VT_BSTR | VT_BYREF);
  inPlace.v.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&inPlace.v, &inPlace.v), S_OK);
  EXPECT_EQ(inPlace.v.vt, VT_BSTR);
  EXPECT_NE(inPlace.v.bstrVal, text);
  SysFreeString(text);

  // One level of VT_VARIANT | VT_BYREF is followed.
  Var level2(VT_I4 | VT_BYREF), level1(VT_VARIANT | VT_BYREF), outer(VT_VARIANT | VT_BYREF);
  level2.v.plVal = &i4;
  level1.v.pvarVal = &level2.v;
  outer.v.pvarVal = &level1.v;
  EXPECT_EQ(VariantCopyInd(&dst, &outer.v), E_INVALIDARG);
  ASSERT_EQ(VariantCopyInd(&dst, &level1.v), S_OK) << "a reference inside the referenced variant is followed";
  EXPECT_EQ(Show(dst), Show(I4(123456).v));
  // clang-format off
  const struct { VARTYPE vt; HRESULT hr; } invalid[] = {
      {VT_EMPTY | VT_BYREF, E_INVALIDARG}, {VT_NULL | VT_BYREF, E_INVALIDARG}, {VT_VOID | VT_BYREF, E_INVALIDARG},
      {VT_I4 | VT_BYREF | VT_VECTOR, E_INVALIDARG},
      {15, DISP_E_BADVARTYPE},  // by value: the rules of VariantCopy
  };
  // clang-format on
  for (const auto& c : invalid) {
    Var src(c.vt);
    src.v.plVal = &i4;
    EXPECT_EQ(VariantCopyInd(&dst, &src.v), c.hr) << c.vt;
  }
}

}  // namespace
