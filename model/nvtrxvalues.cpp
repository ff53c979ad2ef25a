#include "model/nvtrxvalues.h"

TrxString TrxText(const VARIANT& value) {
  if (value.vt == VT_BSTR) return TrxString(TrxBstrView(value.bstrVal));
  TrxVariant text;
  if (FAILED(text.ChangeType(VT_BSTR, &value))) return TrxString();
  return TrxString(TrxBstrView(text.bstrVal));
}

LONG TrxLong(const VARIANT& value, LONG fallback) {
  if (value.vt == VT_I4) return value.lVal;
  TrxVariant number;
  return SUCCEEDED(number.ChangeType(VT_I4, &value)) ? number.lVal : fallback;
}

bool TrxBool(const VARIANT& value) {
  TrxVariant flag;
  return SUCCEEDED(flag.ChangeType(VT_BOOL, &value)) && flag.boolVal != VARIANT_FALSE;
}

std::vector<TrxString> TrxStringList(const VARIANT& value) {
  const VARIANT& v = value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal ? *value.pvarVal : value;
  std::vector<TrxString> list;
  if (v.vt == VT_BSTR) {
    list.emplace_back(TrxBstrView(v.bstrVal));
    return list;
  }
  const VARTYPE element = static_cast<VARTYPE>(v.vt & VT_TYPEMASK);
  if (!(v.vt & VT_ARRAY) || !v.parray || SafeArrayGetDim(v.parray) < 1 ||
      (element != VT_VARIANT && element != VT_BSTR))
    return list;
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(v.parray, 1, &lower);
  SafeArrayGetUBound(v.parray, 1, &upper);
  for (LONG i = lower; i <= upper; ++i) {
    TrxVariant cell;
    if (element == VT_VARIANT) {
      SafeArrayGetElement(v.parray, &i, &cell);
    } else {
      cell.vt = VT_BSTR;
      SafeArrayGetElement(v.parray, &i, &cell.bstrVal);
    }
    list.push_back(TrxText(cell));
  }
  return list;
}

bool TrxListItem(const std::vector<TrxString>& list, LONG index, TrxString& item) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return false;
  item = list[static_cast<size_t>(index)];
  return true;
}
