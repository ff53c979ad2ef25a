#include "model/nvtrxvalues.h"

#include <algorithm>

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

LONG TrxFindItem(const std::vector<TrxString>& list, TrxStringView text, bool noCase) {
  for (size_t i = 0; i < list.size(); ++i)
    if (noCase ? TrxEqualsNoCase(list[i], text) : TrxStringView(list[i]) == text) return static_cast<LONG>(i);
  return -1;
}

TrxVariant TrxGrid(const std::vector<std::vector<TrxString>>& columns) {
  size_t rows = 0;
  for (const auto& column : columns) rows = std::max(rows, column.size());
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows), 0}, {static_cast<ULONG>(columns.size()), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!array) return TrxVariant();
  for (size_t c = 0; c < columns.size(); ++c) {
    for (size_t r = 0; r < columns[c].size(); ++r) {
      LONG indices[2] = {static_cast<LONG>(r), static_cast<LONG>(c)};
      TrxVariant cell = TrxVariant::FromString(columns[c][r]);
      SafeArrayPutElement(array, indices, &cell);
    }
  }
  return TrxVariant::FromArray(array, VT_VARIANT);
}

TrxVariant TrxEmptyArray() { return TrxVariant::FromArray(SafeArrayCreateVector(VT_VARIANT, 0, 0), VT_VARIANT); }
