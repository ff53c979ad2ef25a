// VariantInit, VariantClear, VariantCopy, VariantCopyInd.
#include "pal_oleauto.h"

#include <cstring>

namespace {

// The VARIANT types Windows accepts in VariantClear and VariantCopy.
HRESULT ValidateType(VARTYPE vt) {
  const VARTYPE extra = vt & ~VT_TYPEMASK;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (extra & (VT_VECTOR | VT_RESERVED)) return DISP_E_BADVARTYPE;
  if (base >= VT_VOID && base != VT_RECORD && base != VT_CLSID) return DISP_E_BADVARTYPE;
  if ((extra & (VT_BYREF | VT_ARRAY)) && base <= VT_NULL) return DISP_E_BADVARTYPE;
  if (base == 15) return DISP_E_BADVARTYPE;
  return S_OK;
}

// Bytes a by-reference scalar points at, 0 for types copied another way.
size_t ScalarSize(VARTYPE base) {
  switch (base) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

extern "C" {

void WINAPI VariantInit(VARIANTARG* pvarg) { std::memset(pvarg, 0, sizeof *pvarg); }

HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
  HRESULT hr = ValidateType(pvarg->vt);
  if (FAILED(hr)) return hr;
  if (!(pvarg->vt & VT_BYREF)) {
    if ((pvarg->vt & VT_ARRAY) || pvarg->vt == VT_SAFEARRAY) {
      hr = SafeArrayDestroy(pvarg->parray);
    } else if (pvarg->vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if (pvarg->vt == VT_DISPATCH || pvarg->vt == VT_UNKNOWN) {
      if (pvarg->punkVal) pvarg->punkVal->Release();
    } else if (pvarg->vt == VT_RECORD && pvarg->pRecInfo) {
      return E_NOTIMPL;
    }
  }
  pvarg->vt = VT_EMPTY;
  return hr;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if ((pvargSrc->vt & VT_TYPEMASK) == VT_CLSID || FAILED(ValidateType(pvargSrc->vt))) return DISP_E_BADVARTYPE;
  if (pvargSrc == pvargDest) return S_OK;
  if (pvargSrc->vt == VT_RECORD && pvargSrc->pRecInfo) return E_NOTIMPL;

  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  *pvargDest = *pvargSrc;
  if (pvargSrc->vt & VT_BYREF) return S_OK;

  if (pvargSrc->vt & VT_ARRAY) {
    hr = SafeArrayCopy(pvargSrc->parray, &pvargDest->parray);
  } else if (pvargSrc->vt == VT_BSTR) {
    pvargDest->bstrVal =
        SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal), SysStringByteLen(pvargSrc->bstrVal));
    if (!pvargDest->bstrVal) hr = E_OUTOFMEMORY;
  } else if (pvargSrc->vt == VT_DISPATCH || pvargSrc->vt == VT_UNKNOWN) {
    if (pvargSrc->punkVal) pvargSrc->punkVal->AddRef();
  }
  // A failed deep copy leaves nothing behind that could be freed twice.
  if (FAILED(hr)) pvargDest->vt = VT_EMPTY;
  return hr;
}

HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);

  const VARTYPE base = pvargSrc->vt & VT_TYPEMASK;
  const bool valid = (pvargSrc->vt & VT_ARRAY) || pvargSrc->vt == (VT_RECORD | VT_BYREF) ||
                     (base > VT_NULL && base != 15 && base < VT_VOID && !(pvargSrc->vt & (VT_VECTOR | VT_RESERVED)));
  if (!valid) return E_INVALIDARG;
  if (pvargSrc->vt == (VT_RECORD | VT_BYREF)) return E_NOTIMPL;

  // Work from a shallow copy of the source: the destination may be the source.
  const VARIANT source = *pvargSrc;
  if (pvarDest == pvargSrc) {
    pvarDest->vt = VT_EMPTY;
  } else {
    const HRESULT hr = VariantClear(pvarDest);
    if (FAILED(hr)) return hr;
  }

  if (source.vt == (VT_VARIANT | VT_BYREF)) {
    const VARIANT* inner = source.pvarVal;
    if (inner->vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;  // one level only
    return VariantCopyInd(pvarDest, inner);
  }

  HRESULT hr = S_OK;
  VARIANT result;
  VariantInit(&result);
  if (source.vt & VT_ARRAY) {
    hr = SafeArrayCopy(*source.pparray, &result.parray);
  } else if (base == VT_BSTR) {
    BSTR text = *source.pbstrVal;
    result.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
    if (!result.bstrVal) hr = E_OUTOFMEMORY;
  } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
    result.punkVal = *source.ppunkVal;
    if (result.punkVal) result.punkVal->AddRef();
  } else if (base == VT_DECIMAL) {
    result.decVal = *source.pdecVal;
  } else {
    std::memcpy(&result.llVal, source.byref, ScalarSize(base));
  }
  if (FAILED(hr)) return hr;
  result.vt = source.vt & ~VT_BYREF;
  *pvarDest = result;
  return S_OK;
}

}  // extern "C"
