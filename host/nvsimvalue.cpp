#include "host/nvsimvalue.h"

#include <algorithm>
#include <iterator>

namespace {

struct KindEntry {
  const OLECHAR* name;
  CNVSimValue::Kind kind;
};
const KindEntry kKinds[] = {
    {OLESTR("string"), CNVSimValue::Kind::String},      {OLESTR("int"), CNVSimValue::Kind::Int},
    {OLESTR("bool"), CNVSimValue::Kind::Bool},          {OLESTR("empty"), CNVSimValue::Kind::Empty},
    {OLESTR("strings"), CNVSimValue::Kind::Strings},    {OLESTR("ints"), CNVSimValue::Kind::Ints},
    {OLESTR("variants"), CNVSimValue::Kind::Variants},  {OLESTR("string-array"), CNVSimValue::Kind::StringArray},
    {OLESTR("int-array"), CNVSimValue::Kind::IntArray}, {OLESTR("table"), CNVSimValue::Kind::Table},
};

TrxStringView Trim(TrxStringView text) {
  const TrxStringView blanks = OLESTR(" \t\r\n");
  const size_t first = text.find_first_not_of(blanks);
  if (first == TrxStringView::npos) return TrxStringView();
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool ParseInt(TrxStringView text, LONG& value) {
  text = Trim(text);
  if (text.empty()) return false;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t result = 0;
  for (OLECHAR c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
    if (result > 2147483648LL) return false;
  }
  if (negative) result = -result;
  if (result > 2147483647LL || result < -2147483648LL) return false;
  value = static_cast<LONG>(result);
  return true;
}

bool ParseBool(TrxStringView text, bool& value) {
  text = Trim(text);
  for (TrxStringView yes : {TrxStringView(OLESTR("true")), TrxStringView(OLESTR("yes")), TrxStringView(OLESTR("1"))})
    if (TrxEqualsNoCase(text, yes)) return value = true, true;
  for (TrxStringView no : {TrxStringView(OLESTR("false")), TrxStringView(OLESTR("no")), TrxStringView(OLESTR("0"))})
    if (TrxEqualsNoCase(text, no)) return value = false, true;
  return false;
}

// Element VARTYPE of a list kind's COM array.
VARTYPE ElementType(CNVSimValue::Kind kind) {
  switch (kind) {
    case CNVSimValue::Kind::StringArray:
      return VT_BSTR;
    case CNVSimValue::Kind::IntArray:
      return VT_I4;
    default:
      return VT_VARIANT;
  }
}

// Scalar kind of a list kind's items.
CNVSimValue::Kind ItemKind(CNVSimValue::Kind kind) {
  switch (kind) {
    case CNVSimValue::Kind::Ints:
    case CNVSimValue::Kind::IntArray:
      return CNVSimValue::Kind::Int;
    default:
      return CNVSimValue::Kind::String;
  }
}

bool SameVariant(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  return CNVSimValue::VariantText(a) == CNVSimValue::VariantText(b);
}

}  // namespace

CNVSimValue CNVSimValue::FromString(TrxStringView text) {
  CNVSimValue value;
  value.m_kind = Kind::String;
  value.m_scalar = TrxVariant::FromString(text);
  return value;
}

CNVSimValue CNVSimValue::FromInt(LONG number) {
  CNVSimValue value;
  value.m_kind = Kind::Int;
  value.m_scalar = TrxVariant::FromI4(number);
  return value;
}

CNVSimValue CNVSimValue::FromBool(bool flag) {
  CNVSimValue value;
  value.m_kind = Kind::Bool;
  value.m_scalar = TrxVariant::FromBool(flag);
  return value;
}

CNVSimValue CNVSimValue::EmptyOf(Kind kind) {
  CNVSimValue value;
  value.m_kind = kind;
  if (kind == Kind::String) value.m_scalar = TrxVariant::FromString(TrxStringView());
  if (kind == Kind::Int) value.m_scalar = TrxVariant::FromI4(0);
  if (kind == Kind::Bool) value.m_scalar = TrxVariant::FromBool(false);
  return value;
}

bool CNVSimValue::ParseKind(TrxStringView name, Kind& kind) {
  for (const KindEntry& entry : kKinds) {
    if (name == entry.name) {
      kind = entry.kind;
      return true;
    }
  }
  return false;
}

TrxString CNVSimValue::KindName(Kind kind) {
  for (const KindEntry& entry : kKinds)
    if (entry.kind == kind) return entry.name;
  return TrxString();
}

bool CNVSimValue::IsList() const noexcept {
  switch (m_kind) {
    case Kind::Strings:
    case Kind::Ints:
    case Kind::Variants:
    case Kind::StringArray:
    case Kind::IntArray:
      return true;
    default:
      return false;
  }
}

bool CNVSimValue::ScalarFromText(Kind kind, TrxStringView text, TrxVariant& value, TrxString* error) {
  switch (kind) {
    case Kind::String:
      value = TrxVariant::FromString(text);
      return true;
    case Kind::Int: {
      LONG number = 0;
      if (!ParseInt(text, number)) {
        if (error) *error = OLESTR("\"") + TrxString(text) + OLESTR("\" is not a 32-bit integer");
        return false;
      }
      value = TrxVariant::FromI4(number);
      return true;
    }
    case Kind::Bool: {
      bool flag = false;
      if (!ParseBool(text, flag)) {
        if (error) *error = OLESTR("\"") + TrxString(text) + OLESTR("\" is not a boolean (true or false)");
        return false;
      }
      value = TrxVariant::FromBool(flag);
      return true;
    }
    case Kind::Empty:
      if (!Trim(text).empty()) {
        if (error) *error = OLESTR("an empty value takes no text");
        return false;
      }
      value.Clear();
      return true;
    default:
      if (error) *error = OLESTR("not a scalar type");
      return false;
  }
}

bool CNVSimValue::ItemFromText(Kind kind, TrxStringView text, TrxVariant& item, TrxString* error) {
  return ScalarFromText(ItemKind(kind), text, item, error);
}

bool CNVSimValue::FromText(Kind kind, TrxStringView text, CNVSimValue& value, TrxString* error) {
  CNVSimValue result = EmptyOf(kind);
  if (kind == Kind::Table) {
    if (error) *error = OLESTR("a table has no text form; write its rows");
    return false;
  }
  if (!result.IsList()) {
    if (!ScalarFromText(kind, text, result.m_scalar, error)) return false;
    value = std::move(result);
    return true;
  }
  if (!text.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t bar = text.find('|', start);
      const TrxStringView part = text.substr(start, bar == TrxStringView::npos ? TrxStringView::npos : bar - start);
      TrxVariant item;
      if (!ItemFromText(kind, part, item, error)) return false;
      result.m_items.push_back(std::move(item));
      if (bar == TrxStringView::npos) break;
      start = bar + 1;
    }
  }
  value = std::move(result);
  return true;
}

bool CNVSimValue::FromVariant(const VARIANT& variant, CNVSimValue& value) {
  const VARIANT* v = &variant;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  CNVSimValue result;
  switch (v->vt) {
    case VT_EMPTY:
      break;
    case VT_BSTR:
      result = FromString(TrxBstrView(v->bstrVal));
      break;
    case VT_I4:
      result = FromInt(v->lVal);
      break;
    case VT_BOOL:
      result = FromBool(v->boolVal != VARIANT_FALSE);
      break;
    default: {
      const VARTYPE element = static_cast<VARTYPE>(v->vt & ~VT_ARRAY);
      if (!(v->vt & VT_ARRAY) || !v->parray) return false;
      const UINT dims = SafeArrayGetDim(v->parray);
      if (dims == 1 && (element == VT_VARIANT || element == VT_BSTR || element == VT_I4)) {
        result = EmptyOf(element == VT_VARIANT ? Kind::Variants
                         : element == VT_BSTR  ? Kind::StringArray
                                               : Kind::IntArray);
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(v->parray, 1, &lower);
        SafeArrayGetUBound(v->parray, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
          TrxVariant item;
          if (element == VT_VARIANT) {
            SafeArrayGetElement(v->parray, &i, &item);
          } else if (element == VT_BSTR) {
            BSTR text = nullptr;
            SafeArrayGetElement(v->parray, &i, &text);
            item.vt = VT_BSTR;
            item.bstrVal = text ? text : SysAllocString(OLESTR(""));
          } else {
            LONG number = 0;
            SafeArrayGetElement(v->parray, &i, &number);
            item = TrxVariant::FromI4(number);
          }
          result.m_items.push_back(std::move(item));
        }
      } else if (dims == 2 && element == VT_VARIANT) {
        result = EmptyOf(Kind::Table);
        LONG lower1 = 0, upper1 = -1, lower2 = 0, upper2 = -1;
        SafeArrayGetLBound(v->parray, 1, &lower1);
        SafeArrayGetUBound(v->parray, 1, &upper1);
        SafeArrayGetLBound(v->parray, 2, &lower2);
        SafeArrayGetUBound(v->parray, 2, &upper2);
        for (LONG r = lower1; r <= upper1; ++r) {
          std::vector<TrxVariant> row;
          for (LONG c = lower2; c <= upper2; ++c) {
            LONG indices[2] = {r, c};
            TrxVariant cell;
            SafeArrayGetElement(v->parray, indices, &cell);
            row.push_back(std::move(cell));
          }
          result.m_rows.push_back(std::move(row));
        }
      } else {
        return false;
      }
    }
  }
  value = std::move(result);
  return true;
}

void CNVSimValue::AppendItem(const VARIANT& item) {
  if (!IsList()) return;
  if (m_kind == Kind::Variants) {
    m_items.emplace_back(item);
    return;
  }
  TrxVariant converted;
  const VARTYPE wanted = ItemKind(m_kind) == Kind::Int ? VT_I4 : VT_BSTR;
  if (item.vt == wanted) {
    converted = item;
  } else if (wanted == VT_BSTR) {
    converted = TrxVariant::FromString(VariantText(item));
  } else if (FAILED(converted.ChangeType(VT_I4, &item))) {
    converted = TrxVariant::FromI4(0);
  }
  m_items.push_back(std::move(converted));
}

void CNVSimValue::RemoveFirstItem() {
  if (!m_items.empty()) m_items.erase(m_items.begin());
}

bool CNVSimValue::ContainsItem(const VARIANT& item) const {
  TrxVariant probe;
  if (m_kind == Kind::Variants || item.vt == (ItemKind(m_kind) == Kind::Int ? VT_I4 : VT_BSTR)) {
    probe = item;
  } else if (ItemKind(m_kind) == Kind::Int) {
    if (FAILED(probe.ChangeType(VT_I4, &item))) return false;
  } else {
    probe = TrxVariant::FromString(VariantText(item));
  }
  return std::any_of(m_items.begin(), m_items.end(), [&](const TrxVariant& v) { return SameVariant(v, probe); });
}

void CNVSimValue::AppendRow(std::vector<TrxVariant> row) {
  if (m_kind == Kind::Table) m_rows.push_back(std::move(row));
}

void CNVSimValue::ToVariant(VARIANT* out) const {
  VariantClear(out);
  switch (m_kind) {
    case Kind::Empty:
      return;
    case Kind::String:
    case Kind::Int:
    case Kind::Bool:
      m_scalar.CopyTo(out);
      return;
    case Kind::Table: {
      size_t columns = 0;
      for (const auto& row : m_rows) columns = std::max(columns, row.size());
      SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(m_rows.size()), 0}, {static_cast<ULONG>(columns), 0}};
      SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
      if (!array) return;
      for (size_t r = 0; r < m_rows.size(); ++r) {
        for (size_t c = 0; c < m_rows[r].size(); ++c) {
          LONG indices[2] = {static_cast<LONG>(r), static_cast<LONG>(c)};
          SafeArrayPutElement(array, indices, const_cast<TrxVariant*>(&m_rows[r][c]));
        }
      }
      out->vt = VT_ARRAY | VT_VARIANT;
      out->parray = array;
      return;
    }
    default: {
      const VARTYPE element = ElementType(m_kind);
      SAFEARRAY* array = SafeArrayCreateVector(element, 0, static_cast<ULONG>(m_items.size()));
      if (!array) return;
      for (size_t i = 0; i < m_items.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        TrxVariant& item = const_cast<TrxVariant&>(m_items[i]);
        void* data = &item;
        if (element == VT_BSTR) data = item.bstrVal;
        if (element == VT_I4) data = &item.lVal;
        SafeArrayPutElement(array, &index, data);
      }
      out->vt = static_cast<VARTYPE>(VT_ARRAY | element);
      out->parray = array;
      return;
    }
  }
}

TrxString CNVSimValue::ToText() const {
  if (IsScalar()) return VariantText(m_scalar);
  TrxString text;
  if (m_kind == Kind::Table) {
    for (size_t r = 0; r < m_rows.size(); ++r) {
      if (r) text += ';';
      for (size_t c = 0; c < m_rows[r].size(); ++c) {
        if (c) text += '|';
        text += VariantText(m_rows[r][c]);
      }
    }
    return text;
  }
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (i) text += '|';
    text += VariantText(m_items[i]);
  }
  return text;
}

TrxString CNVSimValue::VariantText(const VARIANT& value) {
  const VARIANT* v = &value;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  switch (v->vt) {
    case VT_EMPTY:
    case VT_NULL:
      return TrxString();
    case VT_BSTR:
      return TrxString(TrxBstrView(v->bstrVal));
    case VT_BOOL:
      return v->boolVal ? OLESTR("TRUE") : OLESTR("FALSE");
    default: {
      if (v->vt & VT_ARRAY) return TrxString();
      TrxVariant text;
      if (FAILED(text.ChangeType(VT_BSTR, v))) return TrxString();
      return TrxString(TrxBstrView(text.bstrVal));
    }
  }
}
