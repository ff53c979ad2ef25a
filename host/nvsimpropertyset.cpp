#include "host/nvsimpropertyset.h"

namespace {

VARIANT_BOOL Bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

HRESULT Answer(VARIANT_BOOL* pOk, bool ok) {
  if (!pOk) return E_POINTER;
  *pOk = Bool(ok);
  return S_OK;
}

BSTR Alloc(TrxStringView text) {
  return SysAllocStringLen(text.data() ? text.data() : OLESTR(""), static_cast<UINT>(text.size()));
}

void AppendString(TrxString& text, TrxStringView value) {
  text += TrxDecimal(static_cast<int64_t>(value.size()));
  text += ':';
  text += value;
}

void AppendCount(TrxString& text, size_t count) {
  text += TrxDecimal(static_cast<int64_t>(count));
  text += ':';
}

bool ReadCount(TrxStringView text, size_t& pos, size_t& count) {
  size_t value = 0;
  size_t digits = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + static_cast<size_t>(text[pos] - '0');
    if (++digits > 9) return false;
    ++pos;
  }
  if (digits == 0 || pos >= text.size() || text[pos] != ':') return false;
  ++pos;
  count = value;
  return true;
}

bool ReadString(TrxStringView text, size_t& pos, TrxString& value) {
  size_t length = 0;
  if (!ReadCount(text, pos, length) || length > text.size() - pos) return false;
  value = TrxString(text.substr(pos, length));
  pos += length;
  return true;
}

bool Expect(TrxStringView text, size_t& pos, OLECHAR c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

void PercentEncode(TrxString& text, TrxStringView value) {
  static const char kHex[] = "0123456789ABCDEF";
  for (OLECHAR c : value) {
    if (c == '%' || c == '&' || c == '=' || c == '+') {
      text += '%';
      text += static_cast<OLECHAR>(kHex[(c >> 4) & 0xF]);
      text += static_cast<OLECHAR>(kHex[c & 0xF]);
    } else {
      text += c;
    }
  }
}

}  // namespace

TrxComPtr<CNVSimPropertySet> CNVSimPropertySet::Create() {
  TrxComPtr<CNVSimPropertySet> set;
  set.Attach(new CNVSimPropertySet());
  return set;
}

TrxComPtr<CNVSimPropertySet> CNVSimPropertySet::Create(const std::vector<std::pair<TrxString, TrxString>>& properties) {
  TrxComPtr<CNVSimPropertySet> set = Create();
  for (const auto& [name, value] : properties) {
    TrxBstr n(name), v(value);
    VARIANT_BOOL ok;
    set->SetProperty(n.Get(), v.Get(), &ok);
  }
  return set;
}

void CNVSimPropertySet::SetConst(bool constant) {
  TrxLock lock(m_lock);
  m_const = constant;
}

HRESULT CNVSimPropertySet::QueryInterface(REFIID riid, void** ppv) {
  INVPropertySet* self = this;
  return TrxQueryInterface(ppv, riid, {{IID_IUnknown, self}, {IID_INVPropertySet, self}});
}

ULONG CNVSimPropertySet::AddRef() { return ++m_references; }

ULONG CNVSimPropertySet::Release() {
  const ULONG references = --m_references;
  if (references == 0) delete this;
  return references;
}

HRESULT CNVSimPropertySet::AddChild(INVPropertySet* pChild, VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (!pChild || m_const) return Answer(pOk, false);
  m_content.children.emplace_back(pChild);
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::Copy(INVPropertySet** ppCopy) {
  if (!ppCopy) return E_POINTER;
  *ppCopy = nullptr;
  TrxComPtr<CNVSimPropertySet> copy = Create();
  TrxLock lock(m_lock);
  copy->m_content.type = m_content.type;
  copy->m_content.value = m_content.value;
  copy->m_content.properties = m_content.properties;
  for (const auto& child : m_content.children) {
    TrxComPtr<INVPropertySet> childCopy;
    const HRESULT hr = child->Copy(childCopy.Put());
    if (FAILED(hr)) return hr;
    copy->m_content.children.push_back(std::move(childCopy));
  }
  *ppCopy = copy.Detach();
  return S_OK;
}

HRESULT CNVSimPropertySet::GetChild(LONG nIndex, INVPropertySet** ppChild) {
  if (!ppChild) return E_POINTER;
  TrxLock lock(m_lock);
  *ppChild = nullptr;
  if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_content.children.size()) return E_INVALIDARG;
  return m_content.children[static_cast<size_t>(nIndex)].CopyTo(ppChild);
}

HRESULT CNVSimPropertySet::GetChildByType(BSTR type, INVPropertySet** ppChild) {
  if (!ppChild) return E_POINTER;
  TrxLock lock(m_lock);
  *ppChild = nullptr;
  for (const auto& child : m_content.children) {
    TrxBstr childType;
    if (SUCCEEDED(child->GetType(childType.Put())) && childType.View() == TrxBstrView(type))
      return child.CopyTo(ppChild);
  }
  return S_FALSE;
}

HRESULT CNVSimPropertySet::GetChildCount(LONG* pCount) {
  if (!pCount) return E_POINTER;
  TrxLock lock(m_lock);
  *pCount = static_cast<LONG>(m_content.children.size());
  return S_OK;
}

HRESULT CNVSimPropertySet::GetFirstProperty(BSTR* pName) {
  if (!pName) return E_POINTER;
  TrxLock lock(m_lock);
  m_cursor = 0;
  return GetNextProperty(pName);
}

HRESULT CNVSimPropertySet::GetNextProperty(BSTR* pName) {
  if (!pName) return E_POINTER;
  TrxLock lock(m_lock);
  *pName = nullptr;
  if (m_cursor >= m_content.properties.size()) return S_FALSE;
  *pName = Alloc(m_content.properties[m_cursor++].first);
  return S_OK;
}

HRESULT CNVSimPropertySet::GetProperty(BSTR property, BSTR* pValue) {
  if (!pValue) return E_POINTER;
  TrxLock lock(m_lock);
  *pValue = nullptr;
  for (const auto& [name, value] : m_content.properties) {
    if (name == TrxBstrView(property)) {
      *pValue = Alloc(value);
      return S_OK;
    }
  }
  return S_FALSE;
}

HRESULT CNVSimPropertySet::GetPropertyCount(LONG* pCount) {
  if (!pCount) return E_POINTER;
  TrxLock lock(m_lock);
  *pCount = static_cast<LONG>(m_content.properties.size());
  return S_OK;
}

HRESULT CNVSimPropertySet::GetQueryString(BSTR* pText) {
  if (!pText) return E_POINTER;
  TrxLock lock(m_lock);
  TrxString text;
  for (size_t i = 0; i < m_content.properties.size(); ++i) {
    if (i) text += '&';
    PercentEncode(text, m_content.properties[i].first);
    text += '=';
    PercentEncode(text, m_content.properties[i].second);
  }
  *pText = Alloc(text);
  return S_OK;
}

HRESULT CNVSimPropertySet::GetType(BSTR* pType) {
  if (!pType) return E_POINTER;
  TrxLock lock(m_lock);
  *pType = Alloc(m_content.type);
  return S_OK;
}

HRESULT CNVSimPropertySet::GetValue(BSTR* pValue) {
  if (!pValue) return E_POINTER;
  TrxLock lock(m_lock);
  *pValue = Alloc(m_content.value);
  return S_OK;
}

void CNVSimPropertySet::EncodeContent(const Content& content, TrxString& text) {
  text += '[';
  AppendString(text, content.type);
  AppendString(text, content.value);
  text += 'P';
  AppendCount(text, content.properties.size());
  for (const auto& [name, value] : content.properties) {
    AppendString(text, name);
    AppendString(text, value);
  }
  text += 'C';
  AppendCount(text, content.children.size());
  for (const auto& child : content.children) Encode(child.Get(), text);
  text += ']';
}

void CNVSimPropertySet::Encode(INVPropertySet* set, TrxString& text) {
  // Another set is read through its interface (which moves its property
  // cursor, as any reader's iteration does).
  Content content;
  TrxBstr type, value;
  set->GetType(type.Put());
  set->GetValue(value.Put());
  content.type = type.ToString();
  content.value = value.ToString();
  LONG count = 0;
  set->GetPropertyCount(&count);
  for (LONG i = 0; i < count; ++i) {
    TrxBstr name;
    if ((i == 0 ? set->GetFirstProperty(name.Put()) : set->GetNextProperty(name.Put())) != S_OK) break;
    TrxBstr propertyValue;
    set->GetProperty(name.Get(), propertyValue.Put());
    content.properties.emplace_back(name.ToString(), propertyValue.ToString());
  }
  LONG children = 0;
  set->GetChildCount(&children);
  for (LONG i = 0; i < children; ++i) {
    TrxComPtr<INVPropertySet> child;
    set->GetChild(i, child.Put());
    if (!child) {
      TrxComPtr<CNVSimPropertySet> empty = Create();
      child = empty.Get();
    }
    content.children.push_back(std::move(child));
  }
  EncodeContent(content, text);
}

bool CNVSimPropertySet::Decode(TrxStringView text, size_t& pos, Content& content) {
  if (!Expect(text, pos, '[')) return false;
  if (!ReadString(text, pos, content.type) || !ReadString(text, pos, content.value)) return false;
  size_t count = 0;
  if (!Expect(text, pos, 'P') || !ReadCount(text, pos, count)) return false;
  for (size_t i = 0; i < count; ++i) {
    TrxString name, value;
    if (!ReadString(text, pos, name) || !ReadString(text, pos, value)) return false;
    bool replaced = false;
    for (auto& property : content.properties) {
      if (property.first == name) {
        property.second = value;
        replaced = true;
      }
    }
    if (!replaced) content.properties.emplace_back(std::move(name), std::move(value));
  }
  if (!Expect(text, pos, 'C') || !ReadCount(text, pos, count)) return false;
  for (size_t i = 0; i < count; ++i) {
    TrxComPtr<CNVSimPropertySet> child = Create();
    if (!Decode(text, pos, child->m_content)) return false;
    content.children.emplace_back(child.Get());
  }
  return Expect(text, pos, ']');
}

HRESULT CNVSimPropertySet::DecodeFromString(BSTR str, VARIANT_BOOL* pOk) {
  const TrxStringView text = TrxBstrView(str);
  Content content;
  size_t pos = 0;
  const bool ok = Decode(text, pos, content) && pos == text.size();
  TrxLock lock(m_lock);
  if (!ok || m_const) return Answer(pOk, false);
  m_content = std::move(content);
  m_cursor = 0;
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::EncodeAsString(BSTR* pText) {
  if (!pText) return E_POINTER;
  TrxLock lock(m_lock);
  TrxString text;
  EncodeContent(m_content, text);
  *pText = Alloc(text);
  return S_OK;
}

HRESULT CNVSimPropertySet::InsertChildAt(INVPropertySet* pIPropSet, LONG nIndex, VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (!pIPropSet || m_const || nIndex < 0 || static_cast<size_t>(nIndex) > m_content.children.size())
    return Answer(pOk, false);
  m_content.children.emplace(m_content.children.begin() + nIndex, pIPropSet);
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::PropertyExists(BSTR property, VARIANT_BOOL* pExists) {
  TrxLock lock(m_lock);
  for (const auto& entry : m_content.properties)
    if (entry.first == TrxBstrView(property)) return Answer(pExists, true);
  return Answer(pExists, false);
}

HRESULT CNVSimPropertySet::RemoveChild(LONG nIndex, VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (m_const || nIndex < 0 || static_cast<size_t>(nIndex) >= m_content.children.size()) return Answer(pOk, false);
  m_content.children.erase(m_content.children.begin() + nIndex);
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::RemoveProperty(BSTR property, VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (m_const) return Answer(pOk, false);
  auto& properties = m_content.properties;
  for (size_t i = 0; i < properties.size(); ++i) {
    if (properties[i].first == TrxBstrView(property)) {
      properties.erase(properties.begin() + static_cast<std::ptrdiff_t>(i));
      if (m_cursor > i) --m_cursor;
      return Answer(pOk, true);
    }
  }
  return Answer(pOk, false);
}

HRESULT CNVSimPropertySet::Reset(VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (m_const) return Answer(pOk, false);
  m_content = Content();
  m_cursor = 0;
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::SetProperty(BSTR property, BSTR value, VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (m_const) return Answer(pOk, false);
  const TrxStringView name = TrxBstrView(property);
  for (auto& entry : m_content.properties) {
    if (entry.first == name) {
      entry.second = TrxString(TrxBstrView(value));
      return Answer(pOk, true);
    }
  }
  m_content.properties.emplace_back(TrxString(name), TrxString(TrxBstrView(value)));
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::SetValue(BSTR value, VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (m_const) return Answer(pOk, false);
  m_content.value = TrxString(TrxBstrView(value));
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::SetType(BSTR value, VARIANT_BOOL* pOk) {
  TrxLock lock(m_lock);
  if (m_const) return Answer(pOk, false);
  m_content.type = TrxString(TrxBstrView(value));
  return Answer(pOk, true);
}

HRESULT CNVSimPropertySet::IsConst(VARIANT_BOOL* pConst) {
  TrxLock lock(m_lock);
  return Answer(pConst, m_const);
}
