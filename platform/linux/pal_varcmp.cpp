// VarCmp, with the type rules of oleaut32.
#include <cstring>

#include "pal_oleauto.h"
#include "pal_string.h"

namespace {

constexpr DWORD Bit(VARTYPE vt) { return 1u << vt; }

// Two BSTRs: a null BSTR is the empty string; lcid 0 compares the bytes.
HRESULT CompareBstr(BSTR left, BSTR right, LCID lcid, ULONG flags) {
  if (!left || !*left) {
    if (right && *right) return VARCMP_LT;
  } else if (!right || !*right) {
    return VARCMP_GT;
  }
  if (lcid == 0) {
    const UINT leftBytes = SysStringByteLen(left);
    const UINT rightBytes = SysStringByteLen(right);
    const int order = std::memcmp(left, right, leftBytes < rightBytes ? leftBytes : rightBytes);
    if (order != 0) return order < 0 ? VARCMP_LT : VARCMP_GT;
    if (leftBytes == rightBytes) return VARCMP_EQ;
    return leftBytes < rightBytes ? VARCMP_LT : VARCMP_GT;
  }
  const UINT leftLength = SysStringLen(left);
  const UINT rightLength = SysStringLen(right);
  if (leftLength == 0 || rightLength == 0) {
    if (leftLength == rightLength) return VARCMP_EQ;
    return leftLength < rightLength ? VARCMP_LT : VARCMP_GT;
  }
  const int result = CompareStringW(lcid, flags, left, static_cast<int>(leftLength), right, static_cast<int>(rightLength));
  if (result == 0) return E_INVALIDARG;  // flags CompareStringW does not take
  return result - CSTR_LESS_THAN;
}

// VariantChangeTypeEx of a variant that may carry VT_RESERVED.
HRESULT ChangeIgnoringReserved(VARIANT& out, const VARIANT& in, LCID lcid, VARTYPE vt) {
  VARIANT plain = in;
  plain.vt &= static_cast<VARTYPE>(~VT_RESERVED);
  return VariantChangeTypeEx(&out, &plain, lcid, 0, vt);
}

template <class T>
HRESULT Order(T left, T right) {
  if (left == right) return VARCMP_EQ;
  return left < right ? VARCMP_LT : VARCMP_GT;
}

}  // namespace

extern "C" HRESULT WINAPI VarCmp(LPVARIANT pvarLeft, LPVARIANT pvarRight, LCID lcid, ULONG dwFlags) {
  const VARTYPE leftType = pvarLeft->vt & VT_TYPEMASK;
  const VARTYPE rightType = pvarRight->vt & VT_TYPEMASK;

  // Flags other than VT_RESERVED are refused; VT_INT is accepted on the left
  // only, VT_UI8 on the left only to be refused below.
  if (((pvarLeft->vt | pvarRight->vt) & ~VT_TYPEMASK & ~VT_RESERVED) || leftType > VT_INT || rightType > VT_I8)
    return DISP_E_BADVARTYPE;
  const DWORD mask = Bit(leftType) | Bit(rightType);
  if (mask & (Bit(VT_I1) | Bit(VT_UI2) | Bit(VT_UI4) | Bit(VT_UI8) | Bit(VT_DISPATCH) | Bit(VT_VARIANT) |
              Bit(VT_UNKNOWN) | Bit(15)))
    return DISP_E_TYPEMISMATCH;
  if (mask == Bit(VT_ERROR)) return VARCMP_EQ;
  if (mask & Bit(VT_ERROR)) return DISP_E_TYPEMISMATCH;
  if (mask & Bit(VT_NULL)) return VARCMP_NULL;
  if (mask == Bit(VT_BSTR)) return CompareBstr(pvarLeft->bstrVal, pvarRight->bstrVal, lcid, dwFlags);

  if (mask & Bit(VT_BSTR)) {
    // Put the string on the left; swap the answer back at the end.
    const bool swapped = leftType != VT_BSTR;
    VARIANT* text = swapped ? pvarRight : pvarLeft;
    VARIANT* other = swapped ? pvarLeft : pvarRight;
    const bool textReserved = (text->vt & VT_RESERVED) != 0;
    const bool otherReserved = (other->vt & VT_RESERVED) != 0;
    // The types decide first; the text is read only where a rule needs it.
    const auto textEmpty = [text] { return !text->bstrVal || !*text->bstrVal; };

    HRESULT result;
    bool numeric = false;
    if ((other->vt & VT_TYPEMASK) == VT_EMPTY) {
      result = textEmpty() ? VARCMP_EQ : VARCMP_GT;
    } else if (!textReserved && !otherReserved) {
      result = VARCMP_GT;  // a string is greater than any number
    } else if (textReserved && !otherReserved) {
      // Compare as text.
      VARIANT otherText;
      VariantInit(&otherText);
      result = VariantChangeTypeEx(&otherText, other, lcid, 0, VT_BSTR);
      if (FAILED(result)) return result;
      result = CompareBstr(text->bstrVal, otherText.bstrVal, lcid, dwFlags);
      VariantClear(&otherText);
    } else if (textEmpty()) {
      result = VARCMP_GT;
    } else {
      // Numeric text compares as a number; other text is greater.
      VARIANT number;
      VariantInit(&number);
      if (FAILED(ChangeIgnoringReserved(number, *text, lcid, VT_R8)))
        result = VARCMP_GT;
      else if (textReserved && otherReserved)
        result = number.dblVal >= 0 ? VARCMP_GT : VARCMP_LT;
      else
        numeric = true;
    }
    if (!numeric) {
      if (swapped && result == VARCMP_GT) return VARCMP_LT;
      if (swapped && result == VARCMP_LT) return VARCMP_GT;
      return result;
    }
  }

  VARTYPE common;
  if (mask & Bit(VT_DECIMAL))
    common = VT_DECIMAL;
  else if (mask & Bit(VT_BSTR))
    common = VT_R8;
  else if (mask & Bit(VT_R4))
    common = VT_R4;
  else if (mask & (Bit(VT_R8) | Bit(VT_DATE)))
    common = VT_R8;
  else if (mask & Bit(VT_CY))
    common = VT_CY;
  else
    common = VT_I8;
  if (common == VT_DECIMAL || common == VT_CY) return E_NOTIMPL;

  VARIANT left, right;
  VariantInit(&left);
  VariantInit(&right);
  HRESULT hr = ChangeIgnoringReserved(left, *pvarLeft, lcid, common);
  if (hr == DISP_E_OVERFLOW && common != VT_R8) {
    common = VT_R8;
    hr = ChangeIgnoringReserved(left, *pvarLeft, lcid, common);
  }
  if (FAILED(hr)) return hr;
  hr = ChangeIgnoringReserved(right, *pvarRight, lcid, common);
  if (hr == DISP_E_OVERFLOW && common != VT_R8) {
    common = VT_R8;
    hr = ChangeIgnoringReserved(left, *pvarLeft, lcid, common);
    if (FAILED(hr)) return hr;
    hr = ChangeIgnoringReserved(right, *pvarRight, lcid, common);
  }
  if (FAILED(hr)) return hr;

  switch (common) {
    case VT_I8: return Order(left.llVal, right.llVal);
    case VT_R4: return Order(left.fltVal, right.fltVal);
    default: return Order(left.dblVal, right.dblVal);
  }
}
