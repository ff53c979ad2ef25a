// SAFEARRAY: descriptor layout, bounds, element order, element copy
// semantics, locking, copying, resizing and destruction.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "linux/pal_types.h"
#include "linux/pal_oleauto.h"

namespace {

// The SafeArrayCreateVector feature bit, as Windows sets it.
constexpr USHORT kCreateVector = 0x2000;

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

// Destroys an array at the end of a scope.
struct Array {
  SAFEARRAY* psa;
  explicit Array(SAFEARRAY* p) : psa(p) {}
  ~Array() {
    if (psa) {
      EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }
  }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
};

std::u16string Text(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : std::u16string(u"<null>"); }

TEST(OleSafeArray, ElementTypesSizesAndFeatures) {
  struct Case {
    VARTYPE vt;
    ULONG size;
    USHORT features;
  };
  static const Case cases[] = {
      {VT_I1, 1, FADF_HAVEVARTYPE},
      {VT_UI1, 1, FADF_HAVEVARTYPE},
      {VT_I2, 2, FADF_HAVEVARTYPE},
      {VT_UI2, 2, FADF_HAVEVARTYPE},
      {VT_BOOL, 2, FADF_HAVEVARTYPE},
      {VT_I4, 4, FADF_HAVEVARTYPE},
      {VT_UI4, 4, FADF_HAVEVARTYPE},
      {VT_INT, 4, FADF_HAVEVARTYPE},
      {VT_UINT, 4, FADF_HAVEVARTYPE},
      {VT_R4, 4, FADF_HAVEVARTYPE},
      {VT_ERROR, 4, FADF_HAVEVARTYPE},
      {VT_R8, 8, FADF_HAVEVARTYPE},
      {VT_I8, 8, FADF_HAVEVARTYPE},
      {VT_UI8, 8, FADF_HAVEVARTYPE},
      {VT_CY, 8, FADF_HAVEVARTYPE},
      {VT_DATE, 8, FADF_HAVEVARTYPE},
      {VT_DECIMAL, 16, FADF_HAVEVARTYPE},
      {VT_BSTR, 8, FADF_HAVEVARTYPE | FADF_BSTR},
      {VT_VARIANT, 24, FADF_HAVEVARTYPE | FADF_VARIANT},
      {VT_UNKNOWN, 8, FADF_HAVEIID | FADF_UNKNOWN},
      {VT_DISPATCH, 8, FADF_HAVEIID | FADF_DISPATCH},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "vt " << c.vt);
    SAFEARRAYBOUND bound = {4, 0};
    Array array(SafeArrayCreate(c.vt, 1, &bound));
    ASSERT_NE(array.psa, nullptr);
    EXPECT_EQ(SafeArrayGetElemsize(array.psa), c.size);
    EXPECT_EQ(array.psa->cbElements, c.size);
    EXPECT_EQ(array.psa->fFeatures, c.features);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array.psa, &vt), S_OK);
    EXPECT_EQ(vt, c.vt);
    // The data is there and zeroed.
    ASSERT_NE(array.psa->pvData, nullptr);
    const std::vector<unsigned char> zeros(4 * c.size, 0);
    EXPECT_EQ(std::memcmp(array.psa->pvData, zeros.data(), zeros.size()), 0);
  }
}

TEST(OleSafeArray, CreateRefusesWhatItCannotHold) {
  SAFEARRAYBOUND bound = {4, 0};
  static const VARTYPE unsupported[] = {VT_EMPTY, VT_NULL, VT_RECORD, VT_LPWSTR, VT_VOID, VT_I4 | VT_ARRAY, 15};
  for (VARTYPE vt : unsupported) {
    SCOPED_TRACE(testing::Message() << "vt " << vt);
    EXPECT_EQ(SafeArrayCreate(vt, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(vt, 0, 4), nullptr);
  }
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
  SAFEARRAYBOUND huge[2] = {{0x10000, 0}, {0x10000, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr) << "more bytes than a ULONG holds";
}

TEST(OleSafeArray, OneDimensionWithLowerBound) {
  SAFEARRAYBOUND bound = {5, -2};
  Array array(SafeArrayCreate(VT_I4, 1, &bound));
  ASSERT_NE(array.psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(array.psa), 1u);
  EXPECT_EQ(array.psa->cLocks, 0u);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(array.psa, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array.psa, 1, &upper), S_OK);
  EXPECT_EQ(lower, -2);
  EXPECT_EQ(upper, 2);

  for (LONG i = -2; i <= 2; ++i) {
    LONG value = i * 10;
    EXPECT_EQ(SafeArrayPutElement(array.psa, &i, &value), S_OK);
  }
  const auto* data = static_cast<const LONG*>(array.psa->pvData);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(data[k], (k - 2) * 10) << "element " << k - 2 << " is cell " << k;

  for (LONG index : std::initializer_list<LONG>{-3, 3, 100, -2147483647 - 1}) {
    SCOPED_TRACE(index);
    LONG value = 0;
    void* cell = nullptr;
    EXPECT_EQ(SafeArrayPutElement(array.psa, &index, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetElement(array.psa, &index, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayPtrOfIndex(array.psa, &index, &cell), DISP_E_BADINDEX);
  }
}

TEST(OleSafeArray, TwoDimensionsOrderAndBounds) {
  // SafeArrayCreate's rgsabound[0] is dimension 1 and indexed by rgIndices[0].
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, 10}};
  Array array(SafeArrayCreate(VT_I4, 2, bounds));
  ASSERT_NE(array.psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(array.psa), 2u);

  struct BoundCase {
    UINT dim;
    HRESULT hr;
    LONG lower;
    LONG upper;
  };
  static const BoundCase boundCases[] = {
      {1, S_OK, 1, 3},
      {2, S_OK, 10, 11},
      {0, DISP_E_BADINDEX, 0, 0},
      {3, DISP_E_BADINDEX, 0, 0},
  };
  for (const BoundCase& c : boundCases) {
    SCOPED_TRACE(testing::Message() << "nDim " << c.dim);
    LONG lower = 0, upper = 0;
    EXPECT_EQ(SafeArrayGetLBound(array.psa, c.dim, &lower), c.hr);
    EXPECT_EQ(SafeArrayGetUBound(array.psa, c.dim, &upper), c.hr);
    if (SUCCEEDED(c.hr)) {
      EXPECT_EQ(lower, c.lower);
      EXPECT_EQ(upper, c.upper);
    }
  }
  // The descriptor keeps the bounds in reverse order, as Windows does.
  EXPECT_EQ(array.psa->rgsabound[0].cElements, 2u);
  EXPECT_EQ(array.psa->rgsabound[0].lLbound, 10);
  const SAFEARRAYBOUND* stored = array.psa->rgsabound;
  EXPECT_EQ(stored[1].cElements, 3u);
  EXPECT_EQ(stored[1].lLbound, 1);

  for (LONG i = 1; i <= 3; ++i)
    for (LONG j = 10; j <= 11; ++j) {
      LONG indices[2] = {i, j};
      LONG value = i * 100 + j;
      ASSERT_EQ(SafeArrayPutElement(array.psa, indices, &value), S_OK);
    }
  // rgIndices[0] varies fastest in memory.
  const auto* data = static_cast<const LONG*>(array.psa->pvData);
  for (LONG i = 1; i <= 3; ++i)
    for (LONG j = 10; j <= 11; ++j) {
      EXPECT_EQ(data[(i - 1) + (j - 10) * 3], i * 100 + j) << "(" << i << ", " << j << ")";
      LONG indices[2] = {i, j};
      LONG value = 0;
      EXPECT_EQ(SafeArrayGetElement(array.psa, indices, &value), S_OK);
      EXPECT_EQ(value, i * 100 + j);
    }

  struct IndexCase {
    LONG i, j;
  };
  static const IndexCase outside[] = {{0, 10}, {4, 10}, {1, 9}, {1, 12}, {3, 12}};
  for (const IndexCase& c : outside) {
    SCOPED_TRACE(testing::Message() << "(" << c.i << ", " << c.j << ")");
    LONG indices[2] = {c.i, c.j};
    LONG value = 0;
    EXPECT_EQ(SafeArrayGetElement(array.psa, indices, &value), DISP_E_BADINDEX);
  }
}

TEST(OleSafeArray, PtrOfIndexInThreeDimensions) {
  SAFEARRAYBOUND bounds[3] = {{2, 0}, {3, -1}, {4, 5}};
  Array array(SafeArrayCreate(VT_R8, 3, bounds));
  ASSERT_NE(array.psa, nullptr);
  for (LONG a = 0; a < 2; ++a)
    for (LONG b = -1; b < 2; ++b)
      for (LONG c = 5; c < 9; ++c) {
        LONG indices[3] = {a, b, c};
        void* cell = nullptr;
        ASSERT_EQ(SafeArrayPtrOfIndex(array.psa, indices, &cell), S_OK);
        const size_t expected = static_cast<size_t>(a + (b + 1) * 2 + (c - 5) * 2 * 3);
        EXPECT_EQ(static_cast<double*>(cell) - static_cast<double*>(array.psa->pvData),
                  static_cast<ptrdiff_t>(expected));
      }
}

TEST(OleSafeArray, NullArguments) {
  SAFEARRAYBOUND bound = {2, 0};
  Array array(SafeArrayCreate(VT_I4, 1, &bound));
  LONG index = 0, value = 0;
  void* cell = nullptr;
  VARTYPE vt;
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
  EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
  EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetUBound(array.psa, 1, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetElement(array.psa, nullptr, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetElement(array.psa, &index, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(nullptr, &index, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(array.psa, nullptr, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(array.psa, &index, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPtrOfIndex(array.psa, &index, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAccessData(array.psa, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAccessData(nullptr, &cell), E_INVALIDARG);
  EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayRedim(nullptr, &bound), E_INVALIDARG);
  EXPECT_EQ(SafeArrayRedim(array.psa, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  EXPECT_EQ(array.psa->cLocks, 0u) << "failed calls leave no lock behind";
}

TEST(OleSafeArray, BstrElementsAreCopied) {
  SAFEARRAYBOUND bound = {2, 0};
  Array array(SafeArrayCreate(VT_BSTR, 1, &bound));
  LONG index = 0;

  BSTR mine = SysAllocStringLen(u"a\0b", 3);
  ASSERT_EQ(SafeArrayPutElement(array.psa, &index, mine), S_OK);
  BSTR stored = static_cast<BSTR*>(array.psa->pvData)[0];
  EXPECT_NE(stored, mine) << "the array keeps its own copy";
  SysFreeString(mine);
  EXPECT_EQ(Text(stored), std::u16string(u"a\0b", 3));

  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(array.psa, &index, &got), S_OK);
  EXPECT_NE(got, stored) << "the caller gets its own copy";
  EXPECT_EQ(Text(got), std::u16string(u"a\0b", 3));
  SysFreeString(got);

  // Replacing frees the old element (checked by the sanitizer build).
  BSTR other = SysAllocString(u"second");
  ASSERT_EQ(SafeArrayPutElement(array.psa, &index, other), S_OK);
  SysFreeString(other);
  got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(array.psa, &index, &got), S_OK);
  EXPECT_EQ(Text(got), u"second");
  SysFreeString(got);

  // Putting a null BSTR stores an empty string; an untouched element reads as null.
  ASSERT_EQ(SafeArrayPutElement(array.psa, &index, nullptr), S_OK);
  ASSERT_NE(static_cast<BSTR*>(array.psa->pvData)[0], nullptr);
  EXPECT_EQ(SysStringLen(static_cast<BSTR*>(array.psa->pvData)[0]), 0u);
  index = 1;
  got = reinterpret_cast<BSTR>(1);
  ASSERT_EQ(SafeArrayGetElement(array.psa, &index, &got), S_OK);
  EXPECT_EQ(got, nullptr);
}

TEST(OleSafeArray, VariantElementsAreDeepCopies) {
  SAFEARRAYBOUND bound = {2, 1};
  Array array(SafeArrayCreate(VT_VARIANT, 1, &bound));
  LONG index = 2;
  VARIANT in;
  VariantInit(&in);
  in.vt = VT_BSTR;
  in.bstrVal = SysAllocString(u"inside");
  ASSERT_EQ(SafeArrayPutElement(array.psa, &index, &in), S_OK);
  const VARIANT* cells = static_cast<const VARIANT*>(array.psa->pvData);
  EXPECT_EQ(cells[1].vt, VT_BSTR);
  EXPECT_NE(cells[1].bstrVal, in.bstrVal);
  VariantClear(&in);

  VARIANT out;
  out.vt = 0x7777;  // garbage is overwritten, not cleared
  ASSERT_EQ(SafeArrayGetElement(array.psa, &index, &out), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_NE(out.bstrVal, cells[1].bstrVal);
  EXPECT_EQ(Text(out.bstrVal), u"inside");
  VariantClear(&out);

  // An element that is not a valid VARIANT is refused.
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 15;
  EXPECT_EQ(SafeArrayPutElement(array.psa, &index, &bad), DISP_E_BADVARTYPE);
}

TEST(OleSafeArray, InterfaceElementsAreCounted) {
  Counted first, second;
  {
    SAFEARRAYBOUND bound = {2, 0};
    Array array(SafeArrayCreate(VT_UNKNOWN, 1, &bound));
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array.psa, &index, &first), S_OK);
    EXPECT_EQ(first.refs, 2u);
    IUnknown* got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array.psa, &index, &got), S_OK);
    EXPECT_EQ(got, &first);
    EXPECT_EQ(first.refs, 3u);
    got->Release();
    ASSERT_EQ(SafeArrayPutElement(array.psa, &index, &second), S_OK);
    EXPECT_EQ(first.refs, 1u) << "the replaced element is released";
    EXPECT_EQ(second.refs, 2u);
    index = 1;
    ASSERT_EQ(SafeArrayPutElement(array.psa, &index, nullptr), S_OK) << "null interfaces are allowed";
  }
  EXPECT_EQ(second.refs, 1u) << "destroying the array releases its elements";
}

TEST(OleSafeArray, LockingBlocksDestroyAndRedim) {
  SAFEARRAYBOUND bound = {3, 0};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 1, &bound);
  ASSERT_NE(psa, nullptr);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(data, psa->pvData);
  EXPECT_EQ(psa->cLocks, 1u);
  ASSERT_EQ(SafeArrayLock(psa), S_OK);
  EXPECT_EQ(psa->cLocks, 2u);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  SAFEARRAYBOUND bigger = {6, 0};
  EXPECT_EQ(SafeArrayRedim(psa, &bigger), DISP_E_ARRAYISLOCKED);

  // Elements can still be read and written; the lock count is unchanged.
  LONG index = 1, value = 5;
  EXPECT_EQ(SafeArrayPutElement(psa, &index, &value), S_OK);
  EXPECT_EQ(SafeArrayGetElement(psa, &index, &value), S_OK);
  EXPECT_EQ(psa->cLocks, 2u);

  EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED) << "no lock left";
  EXPECT_EQ(psa->cLocks, 0u);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(OleSafeArray, LockCountHasALimit) {
  SAFEARRAYBOUND bound = {1, 0};
  Array array(SafeArrayCreate(VT_I4, 1, &bound));
  for (int i = 0; i < 0xffff; ++i) ASSERT_EQ(SafeArrayLock(array.psa), S_OK);
  EXPECT_EQ(SafeArrayLock(array.psa), E_UNEXPECTED);
  EXPECT_EQ(array.psa->cLocks, 0xffffu);
  for (int i = 0; i < 0xffff; ++i) ASSERT_EQ(SafeArrayUnlock(array.psa), S_OK);
}

TEST(OleSafeArray, CopyIsDeep) {
  Counted object;
  SAFEARRAYBOUND bounds[2] = {{2, 5}, {2, -1}};
  SAFEARRAY* source = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(source, nullptr);
  LONG at[2] = {5, -1};
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(u"copied");
  SafeArrayPutElement(source, at, &text);
  VariantClear(&text);
  LONG at2[2] = {6, 0};
  VARIANT unk;
  VariantInit(&unk);
  unk.vt = VT_UNKNOWN;
  unk.punkVal = &object;
  SafeArrayPutElement(source, at2, &unk);
  EXPECT_EQ(object.refs, 2u);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(source, &copy), S_OK);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->pvData, source->pvData);
  EXPECT_EQ(object.refs, 3u);
  VARTYPE vt;
  EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
  EXPECT_EQ(vt, VT_VARIANT);
  EXPECT_EQ(copy->fFeatures, source->fFeatures);
  LONG lower = 0;
  SafeArrayGetLBound(copy, 2, &lower);
  EXPECT_EQ(lower, -1);
  EXPECT_EQ(SafeArrayDestroy(source), S_OK);
  EXPECT_EQ(object.refs, 2u);

  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(SafeArrayGetElement(copy, at, &out), S_OK);
  EXPECT_EQ(Text(out.bstrVal), u"copied") << "the copy outlives its source";
  VariantClear(&out);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(object.refs, 1u);

  SAFEARRAY* none = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(SafeArrayCopy(source, nullptr), E_INVALIDARG);
}

TEST(OleSafeArray, Vectors) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 3);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(psa->fFeatures, FADF_HAVEVARTYPE | FADF_BSTR | kCreateVector);
  EXPECT_EQ(psa->pvData, reinterpret_cast<unsigned char*>(psa) + sizeof(SAFEARRAY)) << "data follows the descriptor";
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(psa, 1, &lower);
  SafeArrayGetUBound(psa, 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  LONG index = 3;
  BSTR text = SysAllocString(u"last");
  EXPECT_EQ(SafeArrayPutElement(psa, &index, text), S_OK);
  SysFreeString(text);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  EXPECT_EQ(copy->fFeatures & kCreateVector, 0) << "a copy is an ordinary array";
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

  // Growing moves the data out of the descriptor; it is still freed once.
  SAFEARRAYBOUND bigger = {5, 1};
  ASSERT_EQ(SafeArrayRedim(psa, &bigger), S_OK);
  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &got), S_OK);
  EXPECT_EQ(Text(got), u"last");
  SysFreeString(got);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

  Array empty(SafeArrayCreateVector(VT_I4, 0, 0));
  EXPECT_NE(empty.psa, nullptr) << "empty vectors exist";
}

TEST(OleSafeArray, RedimChangesTheLastDimension) {
  // 1-D: grow keeps the elements and zero-fills the rest.
  SAFEARRAYBOUND bound = {3, 0};
  Array numbers(SafeArrayCreate(VT_I4, 1, &bound));
  for (LONG i = 0; i < 3; ++i) {
    LONG value = i + 1;
    SafeArrayPutElement(numbers.psa, &i, &value);
  }
  SAFEARRAYBOUND grown = {5, 10};
  ASSERT_EQ(SafeArrayRedim(numbers.psa, &grown), S_OK);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(numbers.psa, 1, &lower);
  SafeArrayGetUBound(numbers.psa, 1, &upper);
  EXPECT_EQ(lower, 10) << "the lower bound changes too";
  EXPECT_EQ(upper, 14);
  const auto* data = static_cast<const LONG*>(numbers.psa->pvData);
  EXPECT_EQ(std::vector<LONG>(data, data + 5), (std::vector<LONG>{1, 2, 3, 0, 0}));

  // 2-D: the last dimension (nDim 2) is the slowest, so rows are kept whole.
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};
  Array grid(SafeArrayCreate(VT_I4, 2, bounds));
  for (LONG i = 0; i < 2; ++i)
    for (LONG j = 0; j < 3; ++j) {
      LONG at[2] = {i, j};
      LONG value = 10 * i + j + 1;
      SafeArrayPutElement(grid.psa, at, &value);
    }
  SAFEARRAYBOUND fewer = {2, 0};
  ASSERT_EQ(SafeArrayRedim(grid.psa, &fewer), S_OK);
  SafeArrayGetUBound(grid.psa, 1, &upper);
  EXPECT_EQ(upper, 1) << "dimension 1 is unchanged";
  SafeArrayGetUBound(grid.psa, 2, &upper);
  EXPECT_EQ(upper, 1);
  for (LONG i = 0; i < 2; ++i)
    for (LONG j = 0; j < 2; ++j) {
      LONG at[2] = {i, j};
      LONG value = 0;
      EXPECT_EQ(SafeArrayGetElement(grid.psa, at, &value), S_OK);
      EXPECT_EQ(value, 10 * i + j + 1);
    }
  LONG gone[2] = {0, 2};
  LONG value = 0;
  EXPECT_EQ(SafeArrayGetElement(grid.psa, gone, &value), DISP_E_BADINDEX);
}

TEST(OleSafeArray, RedimShrinkReleasesRemovedElements) {
  Counted a, b, c;
  SAFEARRAYBOUND bound = {3, 0};
  Array array(SafeArrayCreate(VT_UNKNOWN, 1, &bound));
  Counted* objects[] = {&a, &b, &c};
  for (LONG i = 0; i < 3; ++i) SafeArrayPutElement(array.psa, &i, objects[i]);
  SAFEARRAYBOUND one = {1, 0};
  ASSERT_EQ(SafeArrayRedim(array.psa, &one), S_OK);
  EXPECT_EQ(a.refs, 2u);
  EXPECT_EQ(b.refs, 1u);
  EXPECT_EQ(c.refs, 1u);
  SAFEARRAYBOUND again = {3, 0};
  ASSERT_EQ(SafeArrayRedim(array.psa, &again), S_OK);
  LONG index = 2;
  IUnknown* got = reinterpret_cast<IUnknown*>(1);
  ASSERT_EQ(SafeArrayGetElement(array.psa, &index, &got), S_OK);
  EXPECT_EQ(got, nullptr) << "regrown elements start empty";
}

TEST(OleSafeArray, RedimOfFixedSizeArrayFails) {
  SAFEARRAYBOUND bound = {2, 0};
  Array array(SafeArrayCreate(VT_I4, 1, &bound));
  array.psa->fFeatures |= FADF_FIXEDSIZE;
  SAFEARRAYBOUND bigger = {4, 0};
  EXPECT_EQ(SafeArrayRedim(array.psa, &bigger), DISP_E_ARRAYISLOCKED);
  array.psa->fFeatures &= static_cast<USHORT>(~FADF_FIXEDSIZE);
}

TEST(OleSafeArray, EmptyDimensions) {
  SAFEARRAYBOUND bound = {0, 4};
  Array array(SafeArrayCreate(VT_BSTR, 1, &bound));
  ASSERT_NE(array.psa, nullptr);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(array.psa, 1, &lower);
  SafeArrayGetUBound(array.psa, 1, &upper);
  EXPECT_EQ(lower, 4);
  EXPECT_EQ(upper, 3);
  LONG index = 4;
  BSTR got = nullptr;
  EXPECT_EQ(SafeArrayGetElement(array.psa, &index, &got), DISP_E_BADINDEX);
  SAFEARRAYBOUND one = {1, 4};
  ASSERT_EQ(SafeArrayRedim(array.psa, &one), S_OK);
  EXPECT_EQ(SafeArrayGetElement(array.psa, &index, &got), S_OK);
  EXPECT_EQ(got, nullptr);
  SAFEARRAY* copy = nullptr;
  SAFEARRAYBOUND none = {0, 0};
  Array empty(SafeArrayCreate(VT_VARIANT, 1, &none));
  EXPECT_EQ(SafeArrayCopy(empty.psa, &copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

}  // namespace
