#include "cli/trxjsonvariant.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

std::string TypeText(VARTYPE vt) { return std::to_string(static_cast<unsigned>(vt)); }

// Integer element types and their ranges.
struct IntegerRange {
  VARTYPE vt;
  int64_t min;
  uint64_t max;
};
constexpr IntegerRange kIntegerRanges[] = {
    {VT_I1, INT8_MIN, INT8_MAX},        {VT_UI1, 0, UINT8_MAX},           {VT_I2, INT16_MIN, INT16_MAX},
    {VT_UI2, 0, UINT16_MAX},            {VT_I4, INT32_MIN, INT32_MAX},    {VT_UI4, 0, UINT32_MAX},
    {VT_INT, INT32_MIN, INT32_MAX},     {VT_UINT, 0, UINT32_MAX},         {VT_I8, INT64_MIN, INT64_MAX},
    {VT_UI8, 0, UINT64_MAX},            {VT_ERROR, INT32_MIN, INT32_MAX},
};

const IntegerRange* FindIntegerRange(VARTYPE vt) {
  for (const auto& range : kIntegerRanges)
    if (range.vt == vt) return &range;
  return nullptr;
}

bool IsArrayElementType(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_BOOL: case VT_ERROR: case VT_CY: case VT_DATE:
    case VT_BSTR: case VT_VARIANT: case VT_DISPATCH: case VT_UNKNOWN:
      return true;
    default:
      return false;
  }
}

// Stores an integer of an integer type into the VARIANT's union.
void StoreInteger(TrxVariant& v, VARTYPE vt, int64_t value) {
  v.vt = vt;
  switch (vt) {
    case VT_I1: v.cVal = static_cast<CHAR>(value); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(value); break;
    case VT_I2: v.iVal = static_cast<SHORT>(value); break;
    case VT_UI2: v.uiVal = static_cast<USHORT>(value); break;
    case VT_I4: v.lVal = static_cast<LONG>(value); break;
    case VT_UI4: v.ulVal = static_cast<ULONG>(value); break;
    case VT_INT: v.intVal = static_cast<INT>(value); break;
    case VT_UINT: v.uintVal = static_cast<UINT>(value); break;
    case VT_I8: v.llVal = value; break;
    case VT_UI8: v.ullVal = static_cast<ULONGLONG>(value); break;
    case VT_ERROR: v.scode = static_cast<SCODE>(value); break;
    default: break;
  }
}

bool ReadInteger(const TrxJson& json, const IntegerRange& range, TrxVariant& out, std::string& error) {
  if (!json.is_number_integer()) {
    error = "vt " + TypeText(range.vt) + " needs an integer value, not " + json.dump();
    return false;
  }
  if (json.is_number_unsigned()) {
    const uint64_t value = json.get<uint64_t>();
    if (value > range.max) {
      error = "value " + json.dump() + " is out of range for vt " + TypeText(range.vt);
      return false;
    }
    if (range.vt == VT_UI8) {
      out.vt = VT_UI8;
      out.ullVal = value;
      return true;
    }
    StoreInteger(out, range.vt, static_cast<int64_t>(value));
    return true;
  }
  const int64_t value = json.get<int64_t>();
  if (value < range.min || (value >= 0 && static_cast<uint64_t>(value) > range.max)) {
    error = "value " + json.dump() + " is out of range for vt " + TypeText(range.vt);
    return false;
  }
  StoreInteger(out, range.vt, value);
  return true;
}

// A JSON value of one scalar type (not VT_VARIANT, not an array).
bool ScalarToVariant(const TrxJson& json, VARTYPE vt, TrxVariant& out, std::string& error) {
  out.Clear();
  if (const IntegerRange* range = FindIntegerRange(vt)) return ReadInteger(json, *range, out, error);
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      if (!json.is_null()) {
        error = "vt " + TypeText(vt) + " takes no value";
        return false;
      }
      out.vt = vt;
      return true;
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_CY: {
      if (!json.is_number()) {
        error = "vt " + TypeText(vt) + " needs a number, not " + json.dump();
        return false;
      }
      const double value = json.get<double>();
      out.vt = vt;
      if (vt == VT_R4) {
        out.fltVal = static_cast<float>(value);
      } else if (vt == VT_CY) {
        const double scaled = std::round(value * 10000.0);
        if (!(std::fabs(scaled) < 9.2e18)) {
          error = "value " + json.dump() + " is out of range for vt 6";
          out.vt = VT_EMPTY;
          return false;
        }
        out.cyVal.int64 = static_cast<LONGLONG>(scaled);
      } else {
        out.dblVal = value;  // VT_R8 and VT_DATE share the double
      }
      return true;
    }
    case VT_BSTR:
      if (json.is_null()) {
        out = TrxVariant::NullString();
        return true;
      }
      if (!json.is_string()) {
        error = "vt 8 needs a string or null, not " + json.dump();
        return false;
      }
      out = TrxVariant::FromString(TrxWiden(json.get<std::string>()));
      return true;
    case VT_BOOL:
      if (!json.is_boolean()) {
        error = "vt 11 needs true or false, not " + json.dump();
        return false;
      }
      out = TrxVariant::FromBool(json.get<bool>());
      return true;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (!json.is_null()) {
        error = "vt " + TypeText(vt) + " can only be null";
        return false;
      }
      out.vt = vt;
      out.punkVal = nullptr;
      return true;
    default:
      error = "vt " + TypeText(vt) + " is not supported";
      return false;
  }
}

// Dimensions of nested JSON arrays, the first dimension outermost, taken
// along the first elements; Fill checks that every level matches.
std::vector<ULONG> ShapeOf(const TrxJson& json) {
  std::vector<ULONG> shape;
  const TrxJson* level = &json;
  while (level->is_array()) {
    shape.push_back(static_cast<ULONG>(level->size()));
    if (level->empty()) break;
    level = &(*level)[0];
  }
  return shape;
}

bool PutElement(SAFEARRAY* array, std::vector<LONG>& indices, const TrxJson& json, VARTYPE elementType,
                TrxVariantStore& store, std::string& error) {
  TrxVariant element;
  if (elementType == VT_VARIANT) {
    if (!TrxJsonToVariant(json, element, store, error)) return false;
    if (FAILED(SafeArrayPutElement(array, indices.data(), &element))) {
      error = "cannot store element";
      return false;
    }
    return true;
  }
  if (!ScalarToVariant(json, elementType, element, error)) return false;
  // Null interface pointers and null strings: the new array holds them already.
  if (elementType == VT_DISPATCH || elementType == VT_UNKNOWN) return true;
  if (elementType == VT_BSTR && !element.bstrVal) return true;
  void* slot = elementType == VT_BSTR ? static_cast<void*>(element.bstrVal) : static_cast<void*>(&element.llVal);
  if (FAILED(SafeArrayPutElement(array, indices.data(), slot))) {
    error = "cannot store element";
    return false;
  }
  return true;
}

bool Fill(SAFEARRAY* array, const TrxJson& level, size_t depth, const std::vector<ULONG>& shape,
          std::vector<LONG>& indices, VARTYPE elementType, TrxVariantStore& store, std::string& error) {
  if (!level.is_array() || level.size() != shape[depth]) {
    error = "array rows differ in length or depth";
    return false;
  }
  for (size_t i = 0; i < level.size(); ++i) {
    indices[depth] = static_cast<LONG>(i);
    const TrxJson& item = level[i];
    if (depth + 1 < shape.size()) {
      if (!Fill(array, item, depth + 1, shape, indices, elementType, store, error)) return false;
    } else {
      if (item.is_array()) {
        error = "array rows differ in length or depth";
        return false;
      }
      if (!PutElement(array, indices, item, elementType, store, error)) return false;
    }
  }
  return true;
}

bool ArrayToVariant(const TrxJson& json, VARTYPE elementType, TrxVariant& out, TrxVariantStore& store,
                    std::string& error) {
  if (!IsArrayElementType(elementType)) {
    error = "arrays of vt " + TypeText(elementType) + " are not supported";
    return false;
  }
  if (json.is_null()) {
    out = TrxVariant::FromArray(nullptr, elementType);
    return true;
  }
  if (!json.is_array()) {
    error = "vt " + TypeText(static_cast<VARTYPE>(VT_ARRAY | elementType)) + " needs a JSON array";
    return false;
  }
  const std::vector<ULONG> shape = ShapeOf(json);
  std::vector<SAFEARRAYBOUND> bounds;
  for (ULONG count : shape) bounds.push_back({count, 0});
  TrxSafeArray array(SafeArrayCreate(elementType, static_cast<UINT>(bounds.size()), bounds.data()));
  if (!array) {
    error = "cannot create the array";
    return false;
  }
  std::vector<LONG> indices(shape.size(), 0);
  if (!Fill(array.Get(), json, 0, shape, indices, elementType, store, error)) return false;
  out = TrxVariant::FromArray(array.Detach(), elementType);
  return true;
}

bool StructuredToVariant(const TrxJson& json, TrxVariant& out, TrxVariantStore& store, std::string& error) {
  const TrxJson& vtJson = json["vt"];
  if (!vtJson.is_number_integer() || vtJson.get<int64_t>() < 0 || vtJson.get<int64_t>() > 0xFFFF) {
    error = "\"vt\" must be an integer from 0 to 65535";
    return false;
  }
  for (const auto& item : json.items()) {
    if (item.key() != "vt" && item.key() != "value") {
      error = "unexpected key \"" + item.key() + "\" in a VARIANT";
      return false;
    }
  }
  const VARTYPE vt = static_cast<VARTYPE>(vtJson.get<int64_t>());
  const TrxJson value = json.contains("value") ? json["value"] : TrxJson();
  if (vt & VT_BYREF) {
    const VARTYPE target = static_cast<VARTYPE>(vt & ~VT_BYREF);
    if (target == VT_EMPTY || target == VT_NULL || (target & VT_BYREF)) {
      error = "vt " + TypeText(vt) + " cannot be a reference";
      return false;
    }
    TrxVariant& pointee = store.Add();
    if (target == VT_VARIANT) {
      if (!TrxJsonToVariant(value, pointee, store, error)) return false;
      out.Clear();
      out.vt = vt;
      out.pvarVal = &pointee;
      return true;
    }
    TrxJson inner = TrxJson::object();
    inner["vt"] = target;
    inner["value"] = value;
    if (!StructuredToVariant(inner, pointee, store, error)) return false;
    out.Clear();
    out.vt = vt;
    out.byref = (target & VT_ARRAY) ? static_cast<void*>(&pointee.parray) : static_cast<void*>(&pointee.llVal);
    return true;
  }
  if (vt & VT_ARRAY) return ArrayToVariant(value, static_cast<VARTYPE>(vt & ~VT_ARRAY), out, store, error);
  if (vt == VT_VARIANT) {
    error = "vt 12 stands only inside an array or a reference";
    return false;
  }
  return ScalarToVariant(value, vt, out, error);
}

// ---- output ----------------------------------------------------------------------------

TrxJson ScalarValue(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: return v.cVal;
    case VT_UI1: return v.bVal;
    case VT_I2: return v.iVal;
    case VT_UI2: return v.uiVal;
    case VT_I4: return v.lVal;
    case VT_UI4: return v.ulVal;
    case VT_INT: return v.intVal;
    case VT_UINT: return v.uintVal;
    case VT_I8: return v.llVal;
    case VT_UI8: return v.ullVal;
    case VT_ERROR: return v.scode;
    case VT_R4: return static_cast<double>(v.fltVal);
    case VT_R8:
    case VT_DATE:
      return v.dblVal;
    case VT_CY: return static_cast<double>(v.cyVal.int64) / 10000.0;
    case VT_BSTR: return TrxBstrToJson(v.bstrVal);
    case VT_BOOL: return v.boolVal != VARIANT_FALSE;
    default: return nullptr;
  }
}

TrxJson ArrayLevel(SAFEARRAY* array, UINT dims, UINT depth, std::vector<LONG>& indices, VARTYPE elementType) {
  TrxJson level = TrxJson::array();
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, depth + 1, &lower);
  SafeArrayGetUBound(array, depth + 1, &upper);
  for (LONG i = lower; i <= upper; ++i) {
    indices[depth] = i;
    if (depth + 1 < dims) {
      level.push_back(ArrayLevel(array, dims, depth + 1, indices, elementType));
      continue;
    }
    if (elementType == VT_VARIANT) {
      TrxVariant element;
      if (FAILED(SafeArrayGetElement(array, indices.data(), &element))) {
        level.push_back(nullptr);
      } else {
        level.push_back(TrxVariantToJson(element));
      }
    } else if (elementType == VT_BSTR) {
      BSTR text = nullptr;
      const HRESULT hr = SafeArrayGetElement(array, indices.data(), &text);
      level.push_back(SUCCEEDED(hr) ? TrxBstrToJson(text) : TrxJson());
      SysFreeString(text);
    } else if (elementType == VT_DISPATCH || elementType == VT_UNKNOWN || !IsArrayElementType(elementType)) {
      level.push_back(nullptr);
    } else {
      TrxVariant element;
      if (FAILED(SafeArrayGetElement(array, indices.data(), &element.llVal))) {
        level.push_back(nullptr);
      } else {
        element.vt = elementType;
        level.push_back(ScalarValue(element));
        element.vt = VT_EMPTY;
      }
    }
  }
  return level;
}

TrxJson ValueOf(const VARIANT& v) {
  if (v.vt & VT_ARRAY) {
    SAFEARRAY* array = v.parray;
    if (!array) return nullptr;
    const UINT dims = SafeArrayGetDim(array);
    if (dims == 0) return TrxJson::array();
    std::vector<LONG> indices(dims, 0);
    return ArrayLevel(array, dims, 0, indices, static_cast<VARTYPE>(v.vt & ~VT_ARRAY));
  }
  return ScalarValue(v);
}

}  // namespace

bool TrxJsonToVariant(const TrxJson& json, TrxVariant& out, TrxVariantStore& store, std::string& error) {
  out.Clear();
  if (json.is_object()) {
    if (!json.contains("vt")) {
      error = "a VARIANT object needs \"vt\"";
      return false;
    }
    return StructuredToVariant(json, out, store, error);
  }
  if (json.is_string()) {
    out = TrxVariant::FromString(TrxWiden(json.get<std::string>()));
    return true;
  }
  if (json.is_boolean()) {
    out = TrxVariant::FromBool(json.get<bool>());
    return true;
  }
  if (json.is_null()) {
    out = TrxVariant::Null();
    return true;
  }
  if (json.is_number_integer()) {
    const bool fits = json.is_number_unsigned() ? json.get<uint64_t>() <= static_cast<uint64_t>(INT32_MAX)
                                                : (json.get<int64_t>() >= INT32_MIN && json.get<int64_t>() <= INT32_MAX);
    if (!fits) {
      error = "integer " + json.dump() + " does not fit in 32 bits; give it as {\"vt\":20,\"value\":...}";
      return false;
    }
    out = TrxVariant::FromI4(static_cast<LONG>(json.get<int64_t>()));
    return true;
  }
  if (json.is_number()) {
    out = TrxVariant::FromR8(json.get<double>());
    return true;
  }
  if (json.is_array()) {
    TrxSafeArray array(SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(json.size())));
    if (!array) {
      error = "cannot create the array";
      return false;
    }
    LONG index = 0;
    for (const TrxJson& item : json) {
      TrxVariant element;
      if (!TrxJsonToVariant(item, element, store, error)) return false;
      if (FAILED(SafeArrayPutElement(array.Get(), &index, &element))) {
        error = "cannot store element";
        return false;
      }
      ++index;
    }
    out = TrxVariant::FromArray(array.Detach(), VT_VARIANT);
    return true;
  }
  error = "not a VARIANT: " + json.dump();
  return false;
}

TrxJson TrxVariantToJson(const VARIANT& value) {
  TrxJson json = TrxJson::object();
  json["vt"] = value.vt;
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return json;
  if (value.vt & VT_BYREF) {
    const VARTYPE target = static_cast<VARTYPE>(value.vt & ~VT_BYREF);
    if (!value.byref) {
      json["value"] = nullptr;
    } else if (target == VT_VARIANT) {
      json["value"] = TrxVariantToJson(*value.pvarVal);
    } else {
      TrxVariant copy;
      if (SUCCEEDED(VariantCopyInd(&copy, const_cast<VARIANT*>(&value))))
        json["value"] = ValueOf(copy);
      else
        json["value"] = nullptr;
    }
    return json;
  }
  json["value"] = ValueOf(value);
  return json;
}

TrxJson TrxBstrToJson(BSTR text) {
  if (!text) return nullptr;
  return TrxNarrow(TrxBstrView(text));
}
