// Test support: VARIANTs of strings and integers, and arrays of them, as the
// tools pass them.
#pragma once

#include <vector>

#include "platform/trxplatform.h"

inline TrxVariant Str(TrxStringView text) { return TrxVariant::FromString(text); }
inline TrxVariant I4(LONG value) { return TrxVariant::FromI4(value); }

// A one-dimensional array of VARIANTs, strings (VT_BSTR) or 32-bit integers
// (VT_I4) holding `values` from index `lower` on.
inline SAFEARRAY* TrxTestVector(VARTYPE type, std::vector<TrxVariant> values, LONG lower = 0) {
  SAFEARRAY* array = SafeArrayCreateVector(type, lower, static_cast<ULONG>(values.size()));
  for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
    LONG index = lower + i;
    TrxVariant& value = values[static_cast<size_t>(i)];
    SafeArrayPutElement(array, &index, type == VT_VARIANT ? static_cast<void*>(&value)
                                       : type == VT_BSTR  ? static_cast<void*>(value.bstrVal)
                                                          : static_cast<void*>(&value.lVal));
  }
  return array;
}
inline TrxVariant TrxTestArray(VARTYPE type, std::vector<TrxVariant> values, LONG lower = 0) {
  return TrxVariant::FromArray(TrxTestVector(type, std::move(values), lower), type);
}

// A two-dimensional array of VARIANTs, element [r][c] = rows[r][c], with the
// given lower bounds.
inline SAFEARRAY* TrxTestMatrix(std::vector<std::vector<TrxVariant>> rows, LONG lower1 = 0, LONG lower2 = 0) {
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows.size()), lower1}, {static_cast<ULONG>(rows[0].size()), lower2}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c) {
      LONG index[2] = {lower1 + static_cast<LONG>(r), lower2 + static_cast<LONG>(c)};
      SafeArrayPutElement(array, index, &rows[r][c]);
    }
  return array;
}
