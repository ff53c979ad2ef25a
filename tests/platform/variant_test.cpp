// VARIANT layout, VariantInit, VariantClear, VariantCopy and VariantCopyInd.
// Freed memory is checked by the sanitizer build (leaks and double frees);
// released interfaces by reference counts.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "linux/pal_types.h"
#include "linux/pal_oleauto.h"

namespace {

// ---- layout: the Windows x64 ABI --------------------------------------------------------
static_assert(sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, vt) == 0);
static_assert(offsetof(VARIANT, lVal) == 8);
static_assert(offsetof(VARIANT, pRecInfo) == 16);
static_assert(offsetof(VARIANT, decVal) == 0);
static_assert(sizeof(DECIMAL) == 16);
static_assert(offsetof(DECIMAL, scale) == 2 && offsetof(DECIMAL, sign) == 3);
static_assert(offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo32) == 8 && offsetof(DECIMAL, Mid32) == 12);
static_assert(sizeof(CY) == 8 && offsetof(CY, Hi) == 4);
static_assert(sizeof(SAFEARRAYBOUND) == 8);
static_assert(sizeof(SAFEARRAY) == 32);
static_assert(offsetof(SAFEARRAY, cbElements) == 4 && offsetof(SAFEARRAY, cLocks) == 8);
static_assert(offsetof(SAFEARRAY, pvData) == 16 && offsetof(SAFEARRAY, rgsabound) == 24);
static_assert(sizeof(DISPPARAMS) == 24);
static_assert(sizeof(EXCEPINFO) == 64 && offsetof(EXCEPINFO, scode) == 56);
static_assert(VT_DECIMAL == 14 && VT_I1 == 16 && VT_INT == 22 && VT_UINT == 23 && VT_RECORD == 36);
static_assert(VT_ARRAY == 0x2000 && VT_BYREF == 0x4000 && VT_TYPEMASK == 0xfff);
static_assert(VARIANT_TRUE == -1 && VARIANT_FALSE == 0);

// A COM object that only counts references.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

SAFEARRAY* MakeBstrArray(const char16_t* first, const char16_t* second) {
  SAFEARRAYBOUND bound = {2, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
  LONG index = 0;
  BSTR text = SysAllocString(first);
  SafeArrayPutElement(array, &index, text);
  SysFreeString(text);
  index = 1;
  text = SysAllocString(second);
  SafeArrayPutElement(array, &index, text);
  SysFreeString(text);
  return array;
}

std::u16string ElementText(SAFEARRAY* array, LONG index) {
  BSTR text = nullptr;
  EXPECT_EQ(SafeArrayGetElement(array, &index, &text), S_OK);
  std::u16string result(text, SysStringLen(text));
  SysFreeString(text);
  return result;
}

TEST(OleVariant, MembersOverlapAsOnWindows) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I8;
  v.llVal = 0x1122334455667788LL;
  EXPECT_EQ(V_I4(&v), 0x55667788);
  EXPECT_EQ(V_UI1(&v), 0x88);
  EXPECT_EQ(v.uiVal, 0x7788);
  EXPECT_EQ(v.decVal.Lo64, 0x1122334455667788ULL);
  EXPECT_EQ(v.decVal.wReserved, VT_I8) << "vt shares its bytes with DECIMAL::wReserved";
  v.dblVal = 1.0;
  EXPECT_EQ(v.ullVal, 0x3FF0000000000000ULL);
}

TEST(OleVariant, InitZeroesEverything) {
  VARIANT v;
  std::memset(&v, 0xAB, sizeof v);
  VariantInit(&v);
  const VARIANT zero{};
  EXPECT_EQ(std::memcmp(&v, &zero, sizeof v), 0);
  EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(OleVariant, ClearFreesOwnedValuesAndResetsType) {
  Counted object;
  Counted inArray;
  SAFEARRAYBOUND bound = {1, 0};
  SAFEARRAY* objects = SafeArrayCreate(VT_UNKNOWN, 1, &bound);
  LONG index = 0;
  SafeArrayPutElement(objects, &index, &inArray);
  ASSERT_EQ(inArray.refs, 2u);

  VARIANT v;
  // BSTR: freed (a leak would show in the sanitizer build).
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"text");
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);

  // Interfaces: released.
  object.AddRef();
  v.vt = VT_UNKNOWN;
  v.punkVal = &object;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(v.vt, VT_EMPTY);

  // Arrays: destroyed with their elements.
  v.vt = VT_ARRAY | VT_UNKNOWN;
  v.parray = objects;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(inArray.refs, 1u);

  // By reference: nothing is freed or released.
  BSTR owned = SysAllocString(u"still mine");
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &owned;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(owned), u"still mine");
  SysFreeString(owned);

  IUnknown* ref = &object;
  v.vt = VT_UNKNOWN | VT_BYREF;
  v.ppunkVal = &ref;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(object.refs, 1u);

  // Null pointers in owned slots are fine.
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  EXPECT_EQ(VariantClear(&v), S_OK);
  v.vt = VT_DISPATCH;
  v.pdispVal = nullptr;
  EXPECT_EQ(VariantClear(&v), S_OK);
  v.vt = VT_ARRAY | VT_I4;
  v.parray = nullptr;
  EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(OleVariant, ClearValidatesTheType) {
  struct Case {
    VARTYPE vt;
    HRESULT hr;
  };
  static const Case cases[] = {
      {VT_EMPTY, S_OK},
      {VT_NULL, S_OK},
      {VT_I4, S_OK},
      {VT_UINT, S_OK},
      {VT_DECIMAL, S_OK},
      {VT_I4 | VT_BYREF, S_OK},
      {VT_VARIANT | VT_BYREF, S_OK},
      {VT_CLSID, S_OK},
      {15, DISP_E_BADVARTYPE},
      {VT_VOID, DISP_E_BADVARTYPE},
      {VT_HRESULT, DISP_E_BADVARTYPE},
      {VT_LPWSTR, DISP_E_BADVARTYPE},
      {VT_INT_PTR, DISP_E_BADVARTYPE},
      {VT_I4 | VT_VECTOR, DISP_E_BADVARTYPE},
      {VT_I4 | VT_RESERVED, DISP_E_BADVARTYPE},
      {VT_EMPTY | VT_BYREF, DISP_E_BADVARTYPE},
      {VT_NULL | VT_ARRAY, DISP_E_BADVARTYPE},
      {0x7FF, DISP_E_BADVARTYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "vt=0x" << std::hex << c.vt);
    VARIANT v;
    VariantInit(&v);
    v.vt = c.vt;
    EXPECT_EQ(VariantClear(&v), c.hr);
    EXPECT_EQ(v.vt, SUCCEEDED(c.hr) ? VARTYPE{VT_EMPTY} : c.vt) << "a failed clear leaves the variant alone";
  }
}

TEST(OleVariant, ClearOfLockedArrayFails) {
  SAFEARRAYBOUND bound = {3, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_I4, 1, &bound);
  ASSERT_EQ(SafeArrayLock(array), S_OK);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_I4;
  v.parray = array;
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  // As on Windows the variant lets go of the array; it is still usable.
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(SafeArrayUnlock(array), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(OleVariant, CopyMakesIndependentValues) {
  Counted object;
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);

  // BSTR: a new string with the same content, embedded null included.
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocStringLen(u"a\0b", 3);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(std::u16string(dst.bstrVal, SysStringLen(dst.bstrVal)), std::u16string(u"a\0b", 3));
  VariantClear(&src);

  // The destination is cleared first: its BSTR is freed, the object released.
  src.vt = VT_UNKNOWN;
  src.punkVal = &object;
  object.AddRef();
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.punkVal, &object);
  EXPECT_EQ(object.refs, 3u) << "the copy holds its own reference";
  src.vt = VT_I4;
  src.lVal = 7;
  object.Release();
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(object.refs, 1u) << "copying over the object released it";
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, 7);

  // A null BSTR is copied as an empty one, as Windows does.
  src.vt = VT_BSTR;
  src.bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  ASSERT_NE(dst.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(dst.bstrVal), 0u);
  VariantClear(&dst);

  // Arrays are copied element by element.
  src.vt = VT_ARRAY | VT_BSTR;
  src.parray = MakeBstrArray(u"one", u"two");
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_ARRAY | VT_BSTR);
  EXPECT_NE(dst.parray, src.parray);
  VariantClear(&src);  // the copy must survive its source
  EXPECT_EQ(ElementText(dst.parray, 0), u"one");
  EXPECT_EQ(ElementText(dst.parray, 1), u"two");
  VariantClear(&dst);
}

TEST(OleVariant, CopyOfReferenceCopiesThePointerOnly) {
  Counted object;
  IUnknown* slot = &object;
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_UNKNOWN | VT_BYREF;
  src.ppunkVal = &slot;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_UNKNOWN | VT_BYREF);
  EXPECT_EQ(dst.ppunkVal, &slot);
  EXPECT_EQ(object.refs, 1u);
}

TEST(OleVariant, CopyOntoItselfKeepsTheValue) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"same");
  BSTR before = v.bstrVal;
  EXPECT_EQ(VariantCopy(&v, &v), S_OK);
  EXPECT_EQ(v.bstrVal, before);
  EXPECT_EQ(std::u16string(v.bstrVal), u"same");
  VariantClear(&v);
}

TEST(OleVariant, CopyRejectsInvalidTypes) {
  struct Case {
    VARTYPE src;
    VARTYPE dst;
    HRESULT hr;
  };
  static const Case cases[] = {
      {15, VT_I4, DISP_E_BADVARTYPE},
      {VT_I4 | VT_VECTOR, VT_I4, DISP_E_BADVARTYPE},
      {VT_CLSID, VT_I4, DISP_E_BADVARTYPE},  // valid to clear, not to copy
      {VT_I4, 15, DISP_E_BADVARTYPE},        // the destination cannot be cleared
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "src=" << c.src << " dst=" << c.dst);
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = c.src;
    src.lVal = 1;
    dst.vt = c.dst;
    dst.lVal = 99;
    EXPECT_EQ(VariantCopy(&dst, &src), c.hr);
    EXPECT_EQ(dst.vt, c.dst);
    EXPECT_EQ(dst.lVal, 99);
  }
}

TEST(OleVariant, CopyIndDereferences) {
  SHORT i2 = -5;
  LONG i4 = 123456;
  double r8 = 2.5;
  VARIANT_BOOL flag = VARIANT_TRUE;
  LONGLONG i8 = -9000000000LL;
  BSTR text = SysAllocString(u"by ref");
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_R8;
  inner.dblVal = 4.25;

  struct Case {
    const char* what;
    VARTYPE vt;
    void* ref;
    VARTYPE expectedVt;
  };
  const Case cases[] = {
      {"I2", VT_I2, &i2, VT_I2},       {"I4", VT_I4, &i4, VT_I4},         {"R8", VT_R8, &r8, VT_R8},
      {"BOOL", VT_BOOL, &flag, VT_BOOL}, {"I8", VT_I8, &i8, VT_I8},       {"BSTR", VT_BSTR, &text, VT_BSTR},
      {"VARIANT", VT_VARIANT, &inner, VT_R8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = static_cast<VARTYPE>(c.vt | VT_BYREF);
    src.byref = c.ref;
    ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, c.expectedVt);
    switch (c.expectedVt) {
      case VT_I2: EXPECT_EQ(dst.iVal, -5); break;
      case VT_I4: EXPECT_EQ(dst.lVal, 123456); break;
      case VT_R8: EXPECT_EQ(dst.dblVal, c.vt == VT_VARIANT ? 4.25 : 2.5); break;
      case VT_BOOL: EXPECT_EQ(dst.boolVal, VARIANT_TRUE); break;
      case VT_I8: EXPECT_EQ(dst.llVal, -9000000000LL); break;
      case VT_BSTR:
        EXPECT_NE(dst.bstrVal, text);
        EXPECT_EQ(std::u16string(dst.bstrVal), u"by ref");
        break;
    }
    VariantClear(&dst);
  }
  SysFreeString(text);
}

TEST(OleVariant, CopyIndAddRefsAndCopiesArrays) {
  Counted object;
  IUnknown* slot = &object;
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_UNKNOWN | VT_BYREF;
  src.ppunkVal = &slot;
  ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_UNKNOWN);
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&dst);
  EXPECT_EQ(object.refs, 1u);

  SAFEARRAY* array = MakeBstrArray(u"x", u"y");
  src.vt = VT_ARRAY | VT_BSTR | VT_BYREF;
  src.pparray = &array;
  ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_ARRAY | VT_BSTR);
  EXPECT_NE(dst.parray, array);
  EXPECT_EQ(ElementText(dst.parray, 1), u"y");
  VariantClear(&dst);
  SafeArrayDestroy(array);
}

TEST(OleVariant, CopyIndInPlaceAndErrors) {
  // In place: the variant becomes the value it referred to.
  BSTR text = SysAllocString(u"abc");
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&v, &v), S_OK);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_NE(v.bstrVal, text);
  VariantClear(&v);
  SysFreeString(text);

  // Only one level of VT_VARIANT | VT_BYREF is followed.
  LONG i4 = 1;
  VARIANT level2, level1;
  VariantInit(&level2);
  level2.vt = VT_I4 | VT_BYREF;
  level2.plVal = &i4;
  VariantInit(&level1);
  level1.vt = VT_VARIANT | VT_BYREF;
  level1.pvarVal = &level2;
  VARIANT outer, dst;
  VariantInit(&outer);
  VariantInit(&dst);
  outer.vt = VT_VARIANT | VT_BYREF;
  outer.pvarVal = &level1;
  EXPECT_EQ(VariantCopyInd(&dst, &outer), E_INVALIDARG);
  ASSERT_EQ(VariantCopyInd(&dst, &level1), S_OK) << "a reference inside the referenced variant is followed";
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, 1);

  struct Case {
    VARTYPE vt;
    HRESULT hr;
  };
  static const Case invalid[] = {
      {VT_EMPTY | VT_BYREF, E_INVALIDARG},
      {VT_NULL | VT_BYREF, E_INVALIDARG},
      {VT_VOID | VT_BYREF, E_INVALIDARG},
      {VT_I4 | VT_BYREF | VT_VECTOR, E_INVALIDARG},
      {15, DISP_E_BADVARTYPE},  // by value: the rules of VariantCopy
  };
  for (const Case& c : invalid) {
    SCOPED_TRACE(testing::Message() << "vt=0x" << std::hex << c.vt);
    VARIANT src;
    VariantInit(&src);
    src.vt = c.vt;
    src.plVal = &i4;
    EXPECT_EQ(VariantCopyInd(&dst, &src), c.hr);
  }
}

}  // namespace
