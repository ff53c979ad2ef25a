// SAFEARRAY: descriptor layout, bounds, element order, element copy
// semantics, locking, copying and destruction.
#include <cstring>
#include <vector>

#include "oletest.h"

using namespace oletest;

namespace {

constexpr USHORT kCreateVector = 0x2000;  // the SafeArrayCreateVector feature bit, as Windows sets it

// Destroys the array at the end of the scope.
struct Array {
  SAFEARRAY* psa;
  explicit Array(SAFEARRAY* p) : psa(p) {}
  ~Array() { EXPECT_EQ(SafeArrayDestroy(psa), S_OK); }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
};

SAFEARRAY* Create(VARTYPE vt, std::vector<SAFEARRAYBOUND> bounds) {
  return SafeArrayCreate(vt, static_cast<UINT>(bounds.size()), bounds.data());
}

std::pair<LONG, LONG> Bounds(SAFEARRAY* psa, UINT dim) {
  LONG lower = 99, upper = 99;
  SafeArrayGetLBound(psa, dim, &lower);
  SafeArrayGetUBound(psa, dim, &upper);
  return {lower, upper};
}

std::string Element(SAFEARRAY* psa, std::vector<LONG> at) {
  Var value;
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(psa, &vt);
  if (vt != VT_VARIANT) value.v.vt = vt;  // the element goes into the value's own field
  const HRESULT hr =
      SafeArrayGetElement(psa, at.data(), vt == VT_VARIANT ? static_cast<void*>(&value.v) : &value.v.byref);
  return SUCCEEDED(hr) ? Show(value.v) : Hex(hr);
}

TEST(OleSafeArray, ElementTypesSizesAndFeatures) {
  // clang-format off
  const struct { VARTYPE vt; ULONG size; USHORT features; } cases[] = {
      {VT_I1, 1, FADF_HAVEVARTYPE}, {VT_UI1, 1, FADF_HAVEVARTYPE}, {VT_I2, 2, FADF_HAVEVARTYPE},
      {VT_UI2, 2, FADF_HAVEVARTYPE}, {VT_BOOL, 2, FADF_HAVEVARTYPE}, {VT_I4, 4, FADF_HAVEVARTYPE},
      {VT_UI4, 4, FADF_HAVEVARTYPE}, {VT_INT, 4, FADF_HAVEVARTYPE}, {VT_UINT, 4, FADF_HAVEVARTYPE},
      {VT_R4, 4, FADF_HAVEVARTYPE}, {VT_ERROR, 4, FADF_HAVEVARTYPE}, {VT_R8, 8, FADF_HAVEVARTYPE},
      {VT_I8, 8, FADF_HAVEVARTYPE}, {VT_UI8, 8, FADF_HAVEVARTYPE}, {VT_CY, 8, FADF_HAVEVARTYPE},
      {VT_DATE, 8, FADF_HAVEVARTYPE}, {VT_DECIMAL, 16, FADF_HAVEVARTYPE},
      {VT_BSTR, 8, FADF_HAVEVARTYPE | FADF_BSTR},
      {VT_VARIANT, 24, FADF_HAVEVARTYPE | FADF_VARIANT},
      {VT_UNKNOWN, 8, FADF_HAVEIID | FADF_UNKNOWN},
      {VT_DISPATCH, 8, FADF_HAVEIID | FADF_DISPATCH},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vt);
    Array array(Create(c.vt, {{4, 0}}));
    ASSERT_NE(array.psa, nullptr);
    EXPECT_EQ(array.psa->cbElements, c.size);
    EXPECT_EQ(array.psa->fFeatures, c.features);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array.psa, &vt), S_OK);
    EXPECT_EQ(vt, c.vt);
    const std::vector<unsigned char> zeros(4 * c.size, 0);
    EXPECT_EQ(std::memcmp(array.psa->pvData, zeros.data(), zeros.size()), 0) << "zeroed";
  }
  for (VARTYPE vt :
       std::initializer_list<VARTYPE>{VT_EMPTY, VT_NULL, VT_RECORD, VT_LPWSTR, VT_VOID, VT_I4 | VT_ARRAY, 15}) {
    EXPECT_EQ(Create(vt, {{4, 0}}), nullptr) << vt;
    EXPECT_EQ(SafeArrayCreateVector(vt, 0, 4), nullptr) << vt;
  }
  SAFEARRAYBOUND bound = {4, 0};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
  EXPECT_EQ(Create(VT_VARIANT, {{0x10000, 0}, {0x10000, 0}}), nullptr) << "more bytes than a ULONG holds";
}

TEST(OleSafeArray, BoundsAndElementOrder) {
  // rgsabound[0] is dimension 1, indexed by rgIndices[0], which varies fastest.
  Array array(Create(VT_I4, {{3, 1}, {2, 10}}));
  EXPECT_EQ(SafeArrayGetDim(array.psa), 2u);
  EXPECT_EQ(array.psa->cLocks, 0u);
  EXPECT_EQ(Bounds(array.psa, 1), std::make_pair(1, 3));
  EXPECT_EQ(Bounds(array.psa, 2), std::make_pair(10, 11));
  LONG value = 0;
  for (UINT dim : {0u, 3u}) {
    EXPECT_EQ(SafeArrayGetLBound(array.psa, dim, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(array.psa, dim, &value), DISP_E_BADINDEX);
  }
  EXPECT_EQ(array.psa->rgsabound[0].cElements, 2u) << "the descriptor keeps the bounds in reverse, as Windows does";
  EXPECT_EQ(array.psa->rgsabound[0].lLbound, 10);
  EXPECT_EQ(array.psa->rgsabound[1].lLbound, 1);
  for (LONG i = 1; i <= 3; ++i)
    for (LONG j = 10; j <= 11; ++j) {
      LONG at[2] = {i, j}, put = i * 100 + j;
      ASSERT_EQ(SafeArrayPutElement(array.psa, at, &put), S_OK);
    }
  const auto* data = static_cast<const LONG*>(array.psa->pvData);
  EXPECT_EQ(std::vector<LONG>(data, data + 6), (std::vector<LONG>{110, 210, 310, 111, 211, 311}));
  EXPECT_EQ(Element(array.psa, {2, 11}), "vt 3 211");
  const std::pair<LONG, LONG> outside[] = {{0, 10}, {4, 10}, {1, 9}, {1, 12}, {3, 12}, {-2147483647 - 1, 10}};
  for (auto [i, j] : outside) {
    LONG at[2] = {i, j};
    EXPECT_EQ(SafeArrayPutElement(array.psa, at, &value), DISP_E_BADINDEX) << i << "," << j;
    EXPECT_EQ(SafeArrayGetElement(array.psa, at, &value), DISP_E_BADINDEX) << i << "," << j;
  }

  Array empty(Create(VT_BSTR, {{0, 4}}));
  EXPECT_EQ(Bounds(empty.psa, 1), std::make_pair(4, 3)) << "no elements";
  EXPECT_EQ(Element(empty.psa, {4}), Hex(DISP_E_BADINDEX));
}

TEST(OleSafeArray, NullArguments) {
  Array array(Create(VT_I4, {{2, 0}}));
  LONG index = 0, value = 0;
  void* cell = nullptr;
  VARTYPE vt;
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
  EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetUBound(array.psa, 1, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetElement(array.psa, nullptr, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetElement(array.psa, &index, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(nullptr, &index, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(array.psa, nullptr, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(array.psa, &index, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAccessData(array.psa, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAccessData(nullptr, &cell), E_INVALIDARG);
  EXPECT_EQ(SafeArrayCopy(array.psa, nullptr), E_INVALIDARG);
  SAFEARRAY* none = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  EXPECT_EQ(array.psa->cLocks, 0u) << "failed calls leave no lock behind";
}

TEST(OleSafeArray, ElementsAreCopiedAndReleased) {
  Array strings(Create(VT_BSTR, {{2, 0}}));
  LONG index = 0;
  Var mine = Str(u"a\0b", 3);
  ASSERT_EQ(SafeArrayPutElement(strings.psa, &index, mine.v.bstrVal), S_OK);
  BSTR stored = static_cast<BSTR*>(strings.psa->pvData)[0];
  EXPECT_NE(stored, mine.v.bstrVal) << "the array keeps its own copy";
  Var got(VT_BSTR);
  ASSERT_EQ(SafeArrayGetElement(strings.psa, &index, &got.v.bstrVal), S_OK);
  EXPECT_NE(got.v.bstrVal, stored) << "the caller gets its own copy";
  EXPECT_EQ(Show(got.v), Show(mine.v));
  Var second = Str(u"second");
  ASSERT_EQ(SafeArrayPutElement(strings.psa, &index, second.v.bstrVal), S_OK) << "the old one is freed";
  EXPECT_EQ(Element(strings.psa, {0}), Show(second.v));
  ASSERT_EQ(SafeArrayPutElement(strings.psa, &index, nullptr), S_OK);
  EXPECT_EQ(Element(strings.psa, {0}), Show(Str(u"").v)) << "a null BSTR is stored as an empty one";
  EXPECT_EQ(Element(strings.psa, {1}), Show(Str(nullptr).v)) << "an untouched element reads as null";

  Array variants(Create(VT_VARIANT, {{2, 1}}));
  index = 2;
  Var inside = Str(u"inside");
  ASSERT_EQ(SafeArrayPutElement(variants.psa, &index, &inside.v), S_OK);
  EXPECT_NE(static_cast<VARIANT*>(variants.psa->pvData)[1].bstrVal, inside.v.bstrVal) << "a deep copy";
  VARIANT out;
  out.vt = 0x7777;  // garbage is overwritten, not cleared
  ASSERT_EQ(SafeArrayGetElement(variants.psa, &index, &out), S_OK);
  EXPECT_EQ(Show(out), Show(inside.v));
  VariantClear(&out);
  Var bad(15);
  EXPECT_EQ(SafeArrayPutElement(variants.psa, &index, &bad.v), DISP_E_BADVARTYPE);

  Counted first, next;
  {
    Array objects(Create(VT_UNKNOWN, {{2, 0}}));
    index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects.psa, &index, &first), S_OK);
    EXPECT_EQ(first.refs, 2u);
    IUnknown* object = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects.psa, &index, &object), S_OK);
    EXPECT_EQ(object, &first);
    EXPECT_EQ(first.refs, 3u);
    object->Release();
    ASSERT_EQ(SafeArrayPutElement(objects.psa, &index, &next), S_OK);
    EXPECT_EQ(first.refs, 1u) << "the replaced element is released";
    index = 1;
    ASSERT_EQ(SafeArrayPutElement(objects.psa, &index, nullptr), S_OK) << "null interfaces are allowed";
  }
  EXPECT_EQ(next.refs, 1u) << "destroying the array releases its elements";
}

TEST(OleSafeArray, LocksBlockDestroy) {
  SAFEARRAY* psa = Create(VT_I4, {{3, 0}});
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(data, psa->pvData);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  LONG index = 1, value = 5;
  EXPECT_EQ(SafeArrayPutElement(psa, &index, &value), S_OK) << "elements can still be written";
  EXPECT_EQ(psa->cLocks, 1u) << "and their lock is released";
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED) << "no lock left";
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(OleSafeArray, CopyIsDeep) {
  Counted object;
  SAFEARRAY* source = Create(VT_VARIANT, {{2, 5}, {2, -1}});
  LONG at[2] = {5, -1}, at2[2] = {6, 0};
  Var text = Str(u"copied"), unknown(VT_UNKNOWN);
  unknown.v.punkVal = &object;
  SafeArrayPutElement(source, at, &text.v);
  SafeArrayPutElement(source, at2, &unknown.v);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(source, &copy), S_OK);
  EXPECT_NE(copy->pvData, source->pvData);
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(copy->fFeatures, source->fFeatures);
  EXPECT_EQ(Bounds(copy, 2), std::make_pair(-1, 0));
  EXPECT_EQ(SafeArrayDestroy(source), S_OK);
  EXPECT_EQ(Element(copy, {5, -1}), Show(text.v)) << "the copy outlives its source";
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(object.refs, 1u);
  SAFEARRAY* emptyCopy = nullptr;
  Array empty(Create(VT_VARIANT, {{0, 0}}));
  EXPECT_EQ(SafeArrayCopy(empty.psa, &emptyCopy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(emptyCopy), S_OK);
}

TEST(OleSafeArray, VectorsKeepTheirDataInTheDescriptor) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 3);
  EXPECT_EQ(psa->fFeatures, FADF_HAVEVARTYPE | FADF_BSTR | kCreateVector);
  EXPECT_EQ(psa->pvData, reinterpret_cast<unsigned char*>(psa) + sizeof(SAFEARRAY));
  EXPECT_EQ(Bounds(psa, 1), std::make_pair(1, 3));
  LONG index = 3;
  Var last = Str(u"last");
  EXPECT_EQ(SafeArrayPutElement(psa, &index, last.v.bstrVal), S_OK);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  EXPECT_EQ(copy->fFeatures & kCreateVector, 0) << "a copy is an ordinary array";
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  Array empty(SafeArrayCreateVector(VT_I4, 0, 0));
  EXPECT_NE(empty.psa, nullptr) << "empty vectors exist";
}

}  // namespace
