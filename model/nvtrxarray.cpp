#include "model/nvtrxarray.h"

#include <algorithm>

#include "log/nvtrxassert.h"

namespace {

// Follows a VT_BYREF VARIANT once: a reference to a VARIANT is replaced by
// the VARIANT it points to; references to the directly supported types are
// read through.
const VARIANT* Deref(const VARIANT* value, VARIANT& scratch) {
  if (!value) return nullptr;
  if (value->vt == (VT_BYREF | VT_VARIANT)) return value->pvarVal;
  if (!(value->vt & VT_BYREF) || !value->byref) return value;
  scratch.vt = static_cast<VARTYPE>(value->vt & ~VT_BYREF);
  switch (scratch.vt) {
    case VT_I4:
      scratch.lVal = *value->plVal;
      return &scratch;
    case VT_BOOL:
      scratch.boolVal = *value->pboolVal;
      return &scratch;
    case VT_BSTR:
      scratch.bstrVal = *value->pbstrVal;
      return &scratch;
    default:
      if (scratch.vt & VT_ARRAY) {
        scratch.parray = *value->pparray;
        return &scratch;
      }
      return value;
  }
}

bool IsTableElementType(VARTYPE type) { return type == VT_VARIANT || type == VT_BSTR || type == VT_I4; }

// Reads one element of an array of VARIANTs, strings or 32-bit integers as
// a VARIANT.
bool ReadElement(SAFEARRAY* array, VARTYPE elementType, LONG* indices, VARIANT* out) {
  VariantInit(out);
  switch (elementType) {
    case VT_VARIANT:
      return SUCCEEDED(SafeArrayGetElement(array, indices, out));
    case VT_BSTR: {
      BSTR text = nullptr;
      if (FAILED(SafeArrayGetElement(array, indices, &text))) return false;
      out->vt = VT_BSTR;
      out->bstrVal = text;
      return true;
    }
    case VT_I4: {
      LONG number = 0;
      if (FAILED(SafeArrayGetElement(array, indices, &number))) return false;
      out->vt = VT_I4;
      out->lVal = number;
      return true;
    }
    default:
      return false;
  }
}

void AppendCellText(TrxString& out, const VARIANT& cell) {
  switch (cell.vt) {
    case VT_BSTR:
      if (cell.bstrVal) out.append(cell.bstrVal, SysStringLen(cell.bstrVal));
      break;
    case VT_I4: {
      TrxVariant text;
      if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&cell), 0, VT_BSTR)) && text.bstrVal)
        out.append(text.bstrVal, SysStringLen(text.bstrVal));
      break;
    }
    case VT_BOOL:
      out += cell.boolVal ? OLESTR("TRUE") : OLESTR("FALSE");
      break;
    default:
      out += OLESTR("<ValueNotSet>");
      break;
  }
}

// Equality as the mapping tables and Find see it: the platform's variant
// comparison, two nulls equal.
bool VariantsEqual(const VARIANT& a, const VARIANT& b) {
  if (a.vt == VT_NULL && b.vt == VT_NULL) return true;
  return VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
}

LONG Extent(SAFEARRAY* array, UINT dimension) { return TrxSafeArrayExtent(array, dimension); }

LONG LowerBound(SAFEARRAY* array, UINT dimension) {
  LONG lower = 0;
  SafeArrayGetLBound(array, dimension, &lower);
  return lower;
}

}  // namespace

CNVTRXArray::CNVTRXArray(bool rowFirst) : m_rowFirst(rowFirst) {}

CNVTRXArray::CNVTRXArray(const VARIANT* value, bool copy, bool rowFirst) : m_rowFirst(rowFirst) {
  VARIANT scratch;
  VariantInit(&scratch);
  const VARIANT* v = Deref(value, scratch);
  if (!v) return;
  switch (v->vt) {
    case VT_I4:
    case VT_BSTR:
    case VT_BOOL:
      StoreCell(0, 0, *v);
      m_changed = true;
      return;
    default:
      break;
  }
  if (!(v->vt & VT_ARRAY) || (v->vt & VT_BYREF)) return;
  const VARTYPE elementType = static_cast<VARTYPE>(v->vt & VT_TYPEMASK);
  if (!IsTableElementType(elementType)) return;
  SetFromArray(v->parray, elementType, copy);
}

CNVTRXArray::CNVTRXArray(SAFEARRAY* array, bool copy, bool rowFirst) : m_rowFirst(rowFirst) {
  VARTYPE elementType = VT_EMPTY;
  if (!array || FAILED(SafeArrayGetVartype(array, &elementType))) return;
  if (!IsTableElementType(elementType)) {
    TrxAssertFailed(__FILE__, __LINE__, OLESTR("Unsupported Variant type passed to CNVTRXArray"));
    return;
  }
  SetFromArray(array, elementType, copy);
}

CNVTRXArray::CNVTRXArray(INVPropertySet* propertySet, bool rowFirst) : m_rowFirst(rowFirst) {
  if (!propertySet) return;
  LONG count = 0;
  if (FAILED(propertySet->GetPropertyCount(&count))) return;
  for (LONG i = 0; i < count; ++i) {
    TrxBstr name;
    HRESULT hr = i == 0 ? propertySet->GetFirstProperty(name.Put()) : propertySet->GetNextProperty(name.Put());
    if (FAILED(hr)) break;
    TrxBstr value;
    propertySet->GetProperty(name.Get(), value.Put());
    const LONG row = static_cast<LONG>(m_rows.size());
    SetAt(name.View(), row, 0);
    SetAt(value.View(), row, 1);
  }
}

CNVTRXArray CNVTRXArray::FromObject(IUnknown* object, bool rowFirst) {
  TrxComPtr<INVPropertySet> set;
  if (object) object->QueryInterface(IID_INVPropertySet, set.PutVoid());
  return CNVTRXArray(set.Get(), rowFirst);
}

CNVTRXArray::CNVTRXArray(CNVTRXArray&& other) noexcept
    : m_array(other.m_array),
      m_arrayType(other.m_arrayType),
      m_rowFirst(other.m_rowFirst),
      m_owned(other.m_owned),
      m_changed(other.m_changed),
      m_rows(std::move(other.m_rows)),
      m_keys(std::move(other.m_keys)),
      m_values(std::move(other.m_values)) {
  other.m_array = nullptr;
  other.m_owned = true;
  other.m_changed = false;
}

CNVTRXArray& CNVTRXArray::operator=(CNVTRXArray&& other) noexcept {
  if (this != &other) {
    FreeArray();
    m_array = other.m_array;
    m_arrayType = other.m_arrayType;
    m_rowFirst = other.m_rowFirst;
    m_owned = other.m_owned;
    m_changed = other.m_changed;
    m_rows = std::move(other.m_rows);
    m_keys = std::move(other.m_keys);
    m_values = std::move(other.m_values);
    other.m_array = nullptr;
    other.m_owned = true;
    other.m_changed = false;
  }
  return *this;
}

CNVTRXArray::~CNVTRXArray() { FreeArray(); }

void CNVTRXArray::FreeArray() noexcept {
  if (m_array && m_owned) SafeArrayDestroy(m_array);
  m_array = nullptr;
}

void CNVTRXArray::SetFromArray(SAFEARRAY* array, VARTYPE elementType, bool copy) {
  LoadArray(array, elementType);
  if (copy) {
    m_owned = true;
    m_changed = true;
  } else {
    m_array = array;
    m_arrayType = elementType;
    m_owned = false;
    m_changed = false;
  }
}

void CNVTRXArray::LoadArray(SAFEARRAY* array, VARTYPE elementType) {
  if (!array) return;
  const UINT dims = SafeArrayGetDim(array);
  if (dims == 1) {
    const LONG count = Extent(array, 1);
    const LONG lower = LowerBound(array, 1);
    for (LONG i = 0; i < count; ++i) {
      LONG index = lower + i;
      TrxVariant element;
      if (!ReadElement(array, elementType, &index, &element)) {
        TrxAssertFailed(__FILE__, __LINE__, OLESTR("SafeArrayAccessData failed"));
        return;
      }
      const VARTYPE t = element.vt;
      const bool taken = t == VT_BSTR || t == VT_I4 || (elementType == VT_VARIANT && (t == VT_BOOL || t == VT_EMPTY));
      // A skipped element keeps its row, with an empty cell, so positions
      // stay those of the array.
      StoreCell(i, 0, taken ? static_cast<const VARIANT&>(element) : TrxVariant());
    }
  } else if (dims == 2) {
    const LONG rows = Extent(array, m_rowFirst ? 1 : 2);
    const LONG columns = Extent(array, m_rowFirst ? 2 : 1);
    const LONG lower1 = LowerBound(array, 1);
    const LONG lower2 = LowerBound(array, 2);
    for (LONG r = 0; r < rows; ++r) {
      for (LONG c = 0; c < columns; ++c) {
        LONG indices[2] = {lower1 + (m_rowFirst ? r : c), lower2 + (m_rowFirst ? c : r)};
        TrxVariant element;
        if (!ReadElement(array, elementType, indices, &element)) {
          TrxAssertFailed(__FILE__, __LINE__, OLESTR("SafeArrayAccessData failed"));
          return;
        }
        const bool taken = element.vt == VT_BSTR || element.vt == VT_I4;
        StoreCell(r, c, taken ? static_cast<const VARIANT&>(element) : TrxVariant());
      }
    }
  }
}

void CNVTRXArray::StoreCell(LONG row, LONG column, const VARIANT& value) {
  if (static_cast<size_t>(row) >= m_rows.size()) m_rows.resize(static_cast<size_t>(row) + 1);
  std::vector<TrxVariant>& cells = m_rows[static_cast<size_t>(row)];
  if (static_cast<size_t>(column) >= cells.size()) cells.resize(static_cast<size_t>(column) + 1);
  cells[static_cast<size_t>(column)] = value;
}

void CNVTRXArray::Sync() {
  if (!m_changed) return;
  if (m_owned) FreeArray();
  m_array = nullptr;
  m_owned = true;
  m_arrayType = VT_VARIANT;
  m_changed = false;

  const LONG n = static_cast<LONG>(m_rows.size());
  size_t longest = 0;
  for (const auto& row : m_rows) longest = std::max(longest, row.size());
  const LONG m = static_cast<LONG>(longest);
  if (n == 0 || m == 0) return;

  if (m == 1) {
    m_array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(n));
    if (!m_array) return;
    TrxSafeArrayData<VARIANT> data(m_array);
    if (!data.Get()) {
      TrxAssertFailed(__FILE__, __LINE__, OLESTR("SafeArrayAccessData failed"));
      return;
    }
    for (LONG r = 0; r < n; ++r)
      if (!m_rows[static_cast<size_t>(r)].empty())
        VariantCopy(&data[static_cast<size_t>(r)], &m_rows[static_cast<size_t>(r)][0]);
    return;
  }

  SAFEARRAYBOUND bounds[2];
  bounds[0].lLbound = 0;
  bounds[0].cElements = static_cast<ULONG>(m_rowFirst ? n : m);
  bounds[1].lLbound = 0;
  bounds[1].cElements = static_cast<ULONG>(m_rowFirst ? m : n);
  m_array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!m_array) return;
  for (LONG r = 0; r < n; ++r) {
    const auto& cells = m_rows[static_cast<size_t>(r)];
    for (LONG c = 0; c < static_cast<LONG>(cells.size()); ++c) {
      if (cells[static_cast<size_t>(c)].vt == VT_EMPTY) continue;
      LONG indices[2] = {m_rowFirst ? r : c, m_rowFirst ? c : r};
      SafeArrayPutElement(m_array, indices, const_cast<TrxVariant*>(&cells[static_cast<size_t>(c)]));
    }
  }
}

LONG CNVTRXArray::GetCount() {
  Sync();
  if (!m_array) return 0;
  const UINT dims = SafeArrayGetDim(m_array);
  if (dims == 1) return Extent(m_array, 1);
  if (dims == 2) return Extent(m_array, m_rowFirst ? 1 : 2);
  return 0;
}

LONG CNVTRXArray::GetColumnCount() {
  Sync();
  if (!m_array) return 0;
  const UINT dims = SafeArrayGetDim(m_array);
  if (dims == 1) return 1;
  if (dims == 2) return Extent(m_array, m_rowFirst ? 2 : 1);
  return 0;
}

bool CNVTRXArray::ReadComCell(LONG row, LONG column, VARIANT* out) const {
  if (!m_array || row == kNoIndex || column == kNoIndex || row < 0) return false;
  const UINT dims = SafeArrayGetDim(m_array);
  if (dims == 1) {
    if (row >= Extent(m_array, 1)) return false;
    LONG index = LowerBound(m_array, 1) + row;
    return ReadElement(m_array, m_arrayType, &index, out);
  }
  if (dims != 2 || column < 0) return false;
  const LONG rows = Extent(m_array, m_rowFirst ? 1 : 2);
  const LONG columns = Extent(m_array, m_rowFirst ? 2 : 1);
  if (row >= rows || column >= columns) return false;
  LONG indices[2] = {LowerBound(m_array, 1) + (m_rowFirst ? row : column),
                     LowerBound(m_array, 2) + (m_rowFirst ? column : row)};
  return ReadElement(m_array, m_arrayType, indices, out);
}

TrxVariant CNVTRXArray::GetAt(LONG row, LONG column) {
  Sync();
  TrxVariant value;
  if (!ReadComCell(row, column, &value)) value.Clear();
  return value;
}

bool CNVTRXArray::SetAt(const VARIANT& value, LONG row, LONG column) {
  if (row == kNoIndex || column == kNoIndex || column < 0 || row < kAppend) return false;
  if (row == kAppend) row = static_cast<LONG>(m_rows.size());
  if (m_array && !m_owned) {
    // A wrapped array is written in place and never grows.
    const UINT dims = SafeArrayGetDim(m_array);
    const LONG rows = dims == 1 ? Extent(m_array, 1) : Extent(m_array, m_rowFirst ? 1 : 2);
    const LONG columns = dims == 1 ? 1 : Extent(m_array, m_rowFirst ? 2 : 1);
    if ((dims != 1 && dims != 2) || row >= rows || column >= columns) {
      TrxAssertFailed(__FILE__, __LINE__, OLESTR("Out of bounds access on an unowned safearray type"));
      return false;
    }
    LONG indices[2] = {LowerBound(m_array, 1) + (dims == 1 || m_rowFirst ? row : column),
                       dims == 1 ? 0 : LowerBound(m_array, 2) + (m_rowFirst ? column : row)};
    HRESULT hr = E_FAIL;
    TrxVariant converted;
    switch (m_arrayType) {
      case VT_VARIANT:
        hr = SafeArrayPutElement(m_array, indices, const_cast<VARIANT*>(&value));
        break;
      case VT_BSTR:
        if (SUCCEEDED(converted.ChangeType(VT_BSTR, &value)))
          hr = SafeArrayPutElement(m_array, indices, converted.bstrVal);
        break;
      case VT_I4:
        if (SUCCEEDED(converted.ChangeType(VT_I4, &value))) hr = SafeArrayPutElement(m_array, indices, &converted.lVal);
        break;
      default:
        break;
    }
    if (FAILED(hr)) return false;
    StoreCell(row, column, value);
    return true;
  }
  StoreCell(row, column, value);
  m_changed = true;
  return true;
}

bool CNVTRXArray::SetAt(TrxStringView text, LONG row, LONG column) {
  return SetAt(TrxVariant::FromString(text), row, column);
}

LONG CNVTRXArray::Find(const VARIANT& value) const {
  for (size_t r = 0; r < m_rows.size(); ++r) {
    if (m_rows[r].empty()) continue;
    if (VariantsEqual(m_rows[r][0], value)) return static_cast<LONG>(r);
  }
  return kNoIndex;
}

void CNVTRXArray::ToVariant(VARIANT* out) {
  TRX_ASSERT(out != nullptr, "ToVariant called without an out VARIANT");
  if (!out) return;
  Sync();
  VariantClear(out);
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = nullptr;
  if (!m_array) return;
  if (m_arrayType == VT_VARIANT) {
    SAFEARRAY* copy = nullptr;
    if (SUCCEEDED(SafeArrayCopy(m_array, &copy))) out->parray = copy;
    return;
  }
  // A wrapped array of strings or integers goes out as VARIANTs; one of
  // another shape has no table form.
  const UINT dims = SafeArrayGetDim(m_array);
  if (dims != 1 && dims != 2) return;
  SAFEARRAYBOUND bounds[2];
  for (UINT d = 0; d < dims && d < 2; ++d) {
    bounds[d].lLbound = LowerBound(m_array, d + 1);
    bounds[d].cElements = static_cast<ULONG>(Extent(m_array, d + 1));
  }
  SAFEARRAY* copy = SafeArrayCreate(VT_VARIANT, dims, bounds);
  if (!copy) return;
  LONG indices[2] = {0, 0};
  for (LONG i = 0; i < static_cast<LONG>(bounds[0].cElements); ++i) {
    for (LONG j = 0; j < (dims == 2 ? static_cast<LONG>(bounds[1].cElements) : 1); ++j) {
      indices[0] = bounds[0].lLbound + i;
      indices[1] = dims == 2 ? bounds[1].lLbound + j : 0;
      TrxVariant element;
      if (ReadElement(m_array, m_arrayType, indices, &element)) SafeArrayPutElement(copy, indices, &element);
    }
  }
  out->parray = copy;
}

TrxString CNVTRXArray::ToText() {
  Sync();
  if (!m_array) return OLESTR("()");
  TrxString text;
  const UINT dims = SafeArrayGetDim(m_array);
  if (dims == 1) {
    const LONG count = Extent(m_array, 1);
    if (count == 0) return text;
    text.push_back('(');
    for (LONG i = 0; i < count; ++i) {
      if (i > 0) text.push_back(',');
      TrxVariant cell;
      ReadComCell(i, 0, &cell);
      AppendCellText(text, cell);
    }
    text.push_back(')');
    return text;
  }
  if (dims != 2) return text;
  const LONG rows = Extent(m_array, m_rowFirst ? 1 : 2);
  const LONG columns = Extent(m_array, m_rowFirst ? 2 : 1);
  for (LONG r = 0; r < rows; ++r) {
    text.push_back('(');
    for (LONG c = 0; c < columns; ++c) {
      if (c > 0) text.push_back(',');
      TrxVariant cell;
      ReadComCell(r, c, &cell);
      AppendCellText(text, cell);
    }
    text.push_back(')');
  }
  return text;
}

// ---- mapping tables --------------------------------------------------------------

void CNVTRXArray::AddMapping(TrxStringView key, const VARIANT& value, LONG type0, LONG type1, LONG kind,
                             TrxStringView description) {
  LONG row = LookupKey(key);
  if (row < 0) {
    row = static_cast<LONG>(m_keys.size());
    m_keys.emplace_back(key);
    m_values.emplace_back(value);
  } else {
    m_values[static_cast<size_t>(row)] = value;
  }
  // The rows of a mapping table belong to its keys one to one.
  if (m_rows.size() < m_keys.size()) m_rows.resize(m_keys.size());
  StoreCell(row, 0, TrxVariant::FromI4(type0));
  StoreCell(row, 1, TrxVariant::FromI4(type1));
  StoreCell(row, 2, TrxVariant::FromI4(kind));
  StoreCell(row, 3, TrxVariant::FromString(description));
  m_changed = true;
}

void CNVTRXArray::AddPropertyMapping(TrxStringView key, LONG type0, TrxStringView hostProperty, LONG type1,
                                     LONG kind, TrxStringView description) {
  AddMapping(key, TrxVariant::FromString(hostProperty), type0, type1, kind, description);
}

void CNVTRXArray::AddPropertyMapping(TrxStringView key, LONG type0, const VARIANT& constant, LONG type1, LONG kind,
                                     TrxStringView description) {
  AddMapping(key, constant, type0, type1, kind, description);
}

void CNVTRXArray::AddMethodMapping(TrxStringView key, LONG type0, LONG requestId, LONG type1, LONG kind,
                                   TrxStringView description) {
  AddMapping(key, TrxVariant::FromI4(requestId), type0, type1, kind, description);
}

LONG CNVTRXArray::LookupKey(TrxStringView key, VARIANT* value) const {
  for (size_t i = 0; i < m_keys.size(); ++i) {
    if (TrxEqualsNoCase(m_keys[i], key)) {
      if (value) VariantCopy(value, const_cast<TrxVariant*>(&m_values[i]));
      return static_cast<LONG>(i);
    }
  }
  return -1;
}

LONG CNVTRXArray::LookupValue(const VARIANT& value, TrxString* key) const {
  for (size_t i = 0; i < m_values.size(); ++i) {
    if (VariantsEqual(m_values[i], value)) {
      if (key) *key = m_keys[i];
      return static_cast<LONG>(i);
    }
  }
  return -1;
}

TrxString CNVTRXArray::GetKeyAt(LONG index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_keys.size()) return TrxString();
  return m_keys[static_cast<size_t>(index)];
}

const VARIANT* CNVTRXArray::GetCell(LONG row, LONG column) const noexcept {
  if (row < 0 || column < 0 || static_cast<size_t>(row) >= m_rows.size()) return nullptr;
  const auto& cells = m_rows[static_cast<size_t>(row)];
  if (static_cast<size_t>(column) >= cells.size()) return nullptr;
  return &cells[static_cast<size_t>(column)];
}
