// SAFEARRAY.
//
// A descriptor is allocated with 16 hidden bytes in front of it, as Windows
// does: for VT_UNKNOWN/VT_DISPATCH arrays (FADF_HAVEIID) they hold the
// interface id, for other types (FADF_HAVEVARTYPE) the last 4 of them hold the
// VARTYPE. The bounds are stored reversed (rgsabound[cDims - 1] is the
// dimension SafeArrayCreate got first) and the element at indices i0, i1, ...
// is cell (i0 - lb0) + (i1 - lb1) * n0 + (i2 - lb2) * n0 * n1 + ...
// Arrays from SafeArrayCreateVector keep their data in the same block, right
// after the descriptor.
#include "pal_oleauto.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kHiddenSize = sizeof(GUID);
// Feature Windows keeps for itself: the data follows the descriptor.
constexpr USHORT kFeatureCreateVector = 0x2000;
// Features a copy does not inherit.
constexpr USHORT kFeaturesNotCopied = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE | kFeatureCreateVector;
constexpr ULONG kMaxLocks = 0xffff;

// The interface ids kept in the hidden bytes of interface arrays.
constexpr GUID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_BOOL:
    case VT_I2:
    case VT_UI2:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_R8:
    case VT_I8:
    case VT_UI8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_INT_PTR:
    case VT_UINT_PTR:
      return sizeof(UINT_PTR);
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(IUnknown*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    default:
      return 0;
  }
}

size_t DescriptorSize(UINT cDims) { return sizeof(SAFEARRAY) + sizeof(SAFEARRAYBOUND) * (cDims - 1); }

unsigned char* BlockOf(SAFEARRAY* psa) { return reinterpret_cast<unsigned char*>(psa) - kHiddenSize; }

void SetHiddenVartype(SAFEARRAY* psa, VARTYPE vt) {
  const DWORD value = vt;
  std::memcpy(reinterpret_cast<unsigned char*>(psa) - sizeof value, &value, sizeof value);
}

DWORD HiddenVartype(SAFEARRAY* psa) {
  DWORD value;
  std::memcpy(&value, reinterpret_cast<unsigned char*>(psa) - sizeof value, sizeof value);
  return value;
}

void SetHiddenIid(SAFEARRAY* psa, const GUID& iid) { std::memcpy(BlockOf(psa), &iid, sizeof iid); }

// Allocates a zeroed descriptor (with the hidden bytes and extraBytes after
// it), null when out of memory.
SAFEARRAY* AllocateDescriptor(UINT cDims, size_t extraBytes) {
  auto* block = static_cast<unsigned char*>(std::calloc(1, kHiddenSize + DescriptorSize(cDims) + extraBytes));
  if (!block) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHiddenSize);
  psa->cDims = static_cast<USHORT>(cDims);
  return psa;
}

void FreeDescriptor(SAFEARRAY* psa) { std::free(BlockOf(psa)); }

// The features and hidden bytes for an element type.
void SetTypeFeatures(SAFEARRAY* psa, VARTYPE vt) {
  switch (vt) {
    case VT_UNKNOWN:
      psa->fFeatures = FADF_HAVEIID | FADF_UNKNOWN;
      SetHiddenIid(psa, kIidUnknown);
      break;
    case VT_DISPATCH:
      psa->fFeatures = FADF_HAVEIID | FADF_DISPATCH;
      SetHiddenIid(psa, kIidDispatch);
      break;
    case VT_BSTR:
      psa->fFeatures = FADF_HAVEVARTYPE | FADF_BSTR;
      SetHiddenVartype(psa, vt);
      break;
    case VT_VARIANT:
      psa->fFeatures = FADF_HAVEVARTYPE | FADF_VARIANT;
      SetHiddenVartype(psa, vt);
      break;
    default:
      psa->fFeatures = FADF_HAVEVARTYPE;
      SetHiddenVartype(psa, vt);
      break;
  }
}

SAFEARRAYBOUND* Bounds(SAFEARRAY* psa) { return psa->rgsabound; }

// Number of cells, or false when the total byte size does not fit in a ULONG.
bool CellCount(UINT cDims, const SAFEARRAYBOUND* bounds, ULONG cbElements, size_t& cells) {
  uint64_t count = 1;
  for (UINT i = 0; i < cDims; ++i) {
    count *= bounds[i].cElements;
    if (count == 0) break;
    if (count * cbElements > std::numeric_limits<ULONG>::max()) return false;
  }
  cells = static_cast<size_t>(count);
  return true;
}

size_t CellCount(SAFEARRAY* psa) {
  size_t cells = 0;
  CellCount(psa->cDims, Bounds(psa), psa->cbElements, cells);
  return cells;
}

bool DataIsEmbedded(SAFEARRAY* psa) {
  return (psa->fFeatures & kFeatureCreateVector) &&
         psa->pvData == reinterpret_cast<unsigned char*>(psa) + DescriptorSize(psa->cDims);
}

// Frees what the elements own: interfaces, BSTRs, VARIANT contents.
void ReleaseElements(SAFEARRAY* psa) {
  if (!psa->pvData) return;
  const size_t cells = CellCount(psa);
  if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* items = static_cast<IUnknown**>(psa->pvData);
    for (size_t i = 0; i < cells; ++i)
      if (items[i]) items[i]->Release();
  } else if (psa->fFeatures & FADF_BSTR) {
    auto* items = static_cast<BSTR*>(psa->pvData);
    for (size_t i = 0; i < cells; ++i) SysFreeString(items[i]);
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* items = static_cast<VARIANT*>(psa->pvData);
    for (size_t i = 0; i < cells; ++i) VariantClear(&items[i]);
  }
}

// Copies the elements of `from` into the zeroed data of `to` (same shape).
HRESULT CopyElements(SAFEARRAY* from, SAFEARRAY* to) {
  const size_t cells = CellCount(from);
  if (from->fFeatures & FADF_VARIANT) {
    auto* src = static_cast<VARIANT*>(from->pvData);
    auto* dst = static_cast<VARIANT*>(to->pvData);
    for (size_t i = 0; i < cells; ++i) {
      const HRESULT hr = VariantCopy(&dst[i], &src[i]);
      if (FAILED(hr)) return hr;
    }
  } else if (from->fFeatures & FADF_BSTR) {
    auto* src = static_cast<BSTR*>(from->pvData);
    auto* dst = static_cast<BSTR*>(to->pvData);
    for (size_t i = 0; i < cells; ++i) {
      if (!src[i]) continue;
      dst[i] = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src[i]), SysStringByteLen(src[i]));
      if (!dst[i]) return E_OUTOFMEMORY;
    }
  } else if (from->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* src = static_cast<IUnknown**>(from->pvData);
    auto* dst = static_cast<IUnknown**>(to->pvData);
    for (size_t i = 0; i < cells; ++i) {
      dst[i] = src[i];
      if (dst[i]) dst[i]->AddRef();
    }
  } else if (cells) {
    std::memcpy(to->pvData, from->pvData, cells * from->cbElements);
  }
  return S_OK;
}

}  // namespace

extern "C" {

SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  const ULONG cbElements = ElementSize(vt);
  if (!cbElements || !rgsabound || cDims == 0 || cDims > 0xffff) return nullptr;
  size_t cells = 0;
  if (!CellCount(cDims, rgsabound, cbElements, cells)) return nullptr;

  SAFEARRAY* psa = AllocateDescriptor(cDims, 0);
  if (!psa) return nullptr;
  SetTypeFeatures(psa, vt);
  psa->cbElements = cbElements;
  SAFEARRAYBOUND* bounds = Bounds(psa);
  for (UINT i = 0; i < cDims; ++i) bounds[i] = rgsabound[cDims - 1 - i];
  // At least one byte, so that even an array without elements has data.
  psa->pvData = std::calloc(1, cells ? cells * cbElements : 1);
  if (!psa->pvData) {
    FreeDescriptor(psa);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  const ULONG cbElements = ElementSize(vt);
  if (!cbElements) return nullptr;
  const uint64_t bytes = static_cast<uint64_t>(cElements) * cbElements;
  if (bytes > std::numeric_limits<ULONG>::max()) return nullptr;
  SAFEARRAY* psa = AllocateDescriptor(1, static_cast<size_t>(bytes));
  if (!psa) return nullptr;
  SetTypeFeatures(psa, vt);
  psa->fFeatures |= kFeatureCreateVector;
  psa->cbElements = cbElements;
  psa->rgsabound[0].cElements = cElements;
  psa->rgsabound[0].lLbound = lLbound;
  psa->pvData = reinterpret_cast<unsigned char*>(psa) + DescriptorSize(1);
  return psa;
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  ReleaseElements(psa);
  if (!DataIsEmbedded(psa)) std::free(psa->pvData);
  FreeDescriptor(psa);
  return S_OK;
}

UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = Bounds(psa)[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& bound = Bounds(psa)[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<int64_t>(bound.lLbound) + bound.cElements - 1);
  return S_OK;
}

HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  if (psa->fFeatures & FADF_RECORD)
    *pvt = VT_RECORD;
  else if ((psa->fFeatures & (FADF_HAVEIID | FADF_DISPATCH)) == (FADF_HAVEIID | FADF_DISPATCH))
    *pvt = VT_DISPATCH;
  else if (psa->fFeatures & FADF_HAVEIID)
    *pvt = VT_UNKNOWN;
  else if (psa->fFeatures & FADF_HAVEVARTYPE)
    *pvt = static_cast<VARTYPE>(HiddenVartype(psa));
  else
    return E_INVALIDARG;
  return S_OK;
}

HRESULT WINAPI SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  std::atomic_ref<ULONG> locks(psa->cLocks);
  if (locks.fetch_add(1) + 1 > kMaxLocks) {
    locks.fetch_sub(1);
    return E_UNEXPECTED;
  }
  return S_OK;
}

HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  std::atomic_ref<ULONG> locks(psa->cLocks);
  ULONG current = locks.load();
  do {
    if (current == 0) return E_UNEXPECTED;
  } while (!locks.compare_exchange_weak(current, current - 1));
  return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(psa);
  *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
  return hr;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT WINAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
  if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
  const SAFEARRAYBOUND* bounds = Bounds(psa);
  size_t cell = 0;
  size_t stride = 1;
  for (UINT i = 0; i < psa->cDims; ++i) {
    // rgIndices[i] belongs to the dimension stored at cDims - 1 - i.
    const SAFEARRAYBOUND& bound = bounds[psa->cDims - 1 - i];
    const int64_t offset = static_cast<int64_t>(rgIndices[i]) - bound.lLbound;
    if (offset < 0 || offset >= static_cast<int64_t>(bound.cElements)) return DISP_E_BADINDEX;
    cell += static_cast<size_t>(offset) * stride;
    stride *= bound.cElements;
  }
  *ppvData = static_cast<unsigned char*>(psa->pvData) + cell * psa->cbElements;
  return S_OK;
}

HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices || !pv) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  void* cell = nullptr;
  hr = SafeArrayPtrOfIndex(psa, rgIndices, &cell);
  if (SUCCEEDED(hr)) {
    if (psa->fFeatures & FADF_VARIANT) {
      auto* out = static_cast<VARIANT*>(pv);
      out->vt = VT_EMPTY;  // whatever was there is not ours to free
      hr = VariantCopy(out, static_cast<VARIANT*>(cell));
    } else if (psa->fFeatures & FADF_BSTR) {
      BSTR stored = *static_cast<BSTR*>(cell);
      BSTR copy = nullptr;
      if (stored) {
        copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(stored), SysStringByteLen(stored));
        if (!copy) hr = E_OUTOFMEMORY;
      }
      if (SUCCEEDED(hr)) *static_cast<BSTR*>(pv) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown* item = *static_cast<IUnknown**>(cell);
      if (item) item->AddRef();
      *static_cast<IUnknown**>(pv) = item;
    } else {
      std::memcpy(pv, cell, psa->cbElements);
    }
  }
  SafeArrayUnlock(psa);
  return hr;
}

HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices) return E_INVALIDARG;
  if (!pv && !(psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH))) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  void* cell = nullptr;
  hr = SafeArrayPtrOfIndex(psa, rgIndices, &cell);
  if (SUCCEEDED(hr)) {
    if (psa->fFeatures & FADF_VARIANT) {
      hr = VariantCopy(static_cast<VARIANT*>(cell), static_cast<const VARIANT*>(pv));
    } else if (psa->fFeatures & FADF_BSTR) {
      auto source = static_cast<BSTR>(pv);
      BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
      if (copy) {
        SysFreeString(*static_cast<BSTR*>(cell));
        *static_cast<BSTR*>(cell) = copy;
      } else {
        hr = E_OUTOFMEMORY;
      }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      auto* item = static_cast<IUnknown*>(pv);
      if (item) item->AddRef();
      IUnknown* old = *static_cast<IUnknown**>(cell);
      *static_cast<IUnknown**>(cell) = item;
      if (old) old->Release();
    } else {
      std::memcpy(cell, pv, psa->cbElements);
    }
  }
  SafeArrayUnlock(psa);
  return hr;
}

HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  if (!psa->cbElements) return E_INVALIDARG;

  SAFEARRAY* copy = AllocateDescriptor(psa->cDims, 0);
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(BlockOf(copy), BlockOf(psa), kHiddenSize);
  copy->fFeatures = psa->fFeatures & ~kFeaturesNotCopied;
  copy->cbElements = psa->cbElements;
  std::memcpy(Bounds(copy), Bounds(psa), sizeof(SAFEARRAYBOUND) * psa->cDims);
  const size_t cells = CellCount(psa);
  copy->pvData = std::calloc(1, cells ? cells * psa->cbElements : 1);
  if (!copy->pvData) {
    FreeDescriptor(copy);
    return E_OUTOFMEMORY;
  }
  if (psa->pvData) {
    const HRESULT hr = CopyElements(psa, copy);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

}  // extern "C"
