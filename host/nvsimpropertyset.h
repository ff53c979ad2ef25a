// The client's INVPropertySet: a tree of property sets, each with a type,
// a value, properties (name to string, in the order they were first set)
// and child sets. The client hands one to the service with every recorder
// event. Thread-safe.
//
// Failures: operations that change a set answer FALSE through their
// boolean (a constant set refuses every change; an index out of range, a
// null child or an unknown property is refused too). GetChild with an index
// out of range returns E_INVALIDARG and null; GetChildByType without such a
// child, GetProperty of an unknown property and GetFirstProperty or
// GetNextProperty past the last return S_FALSE and null.
//
// EncodeAsString writes the whole tree as text that DecodeFromString reads
// back: "[" type value "P" count (name value)* "C" count (set)* "]", where
// every string is its length in UTF-16 units, ":", and its characters, and
// every count is decimal followed by ":". The query string is
// "name=value&name=value" with '%', '&', '=' and '+' percent-encoded.
#pragma once

#include <atomic>
#include <utility>
#include <vector>

#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

class CNVSimPropertySet final : public INVPropertySet {
 public:
  // A new empty set (one reference).
  static TrxComPtr<CNVSimPropertySet> Create();
  // A set holding the properties in order.
  static TrxComPtr<CNVSimPropertySet> Create(const std::vector<std::pair<TrxString, TrxString>>& properties);

  // A constant set refuses changes (IsConst answers TRUE).
  void SetConst(bool constant);

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- INVPropertySet ----
  HRESULT STDMETHODCALLTYPE AddChild(INVPropertySet* pChild, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE Copy(INVPropertySet** ppCopy) override;
  HRESULT STDMETHODCALLTYPE GetChild(LONG nIndex, INVPropertySet** ppChild) override;
  HRESULT STDMETHODCALLTYPE GetChildByType(BSTR type, INVPropertySet** ppChild) override;
  HRESULT STDMETHODCALLTYPE GetChildCount(LONG* pCount) override;
  HRESULT STDMETHODCALLTYPE GetFirstProperty(BSTR* pName) override;
  HRESULT STDMETHODCALLTYPE GetNextProperty(BSTR* pName) override;
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR property, BSTR* pValue) override;
  HRESULT STDMETHODCALLTYPE GetPropertyCount(LONG* pCount) override;
  HRESULT STDMETHODCALLTYPE GetQueryString(BSTR* pText) override;
  HRESULT STDMETHODCALLTYPE GetType(BSTR* pType) override;
  HRESULT STDMETHODCALLTYPE GetValue(BSTR* pValue) override;
  HRESULT STDMETHODCALLTYPE DecodeFromString(BSTR str, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE EncodeAsString(BSTR* pText) override;
  HRESULT STDMETHODCALLTYPE InsertChildAt(INVPropertySet* pIPropSet, LONG nIndex, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE PropertyExists(BSTR property, VARIANT_BOOL* pExists) override;
  HRESULT STDMETHODCALLTYPE RemoveChild(LONG nIndex, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE RemoveProperty(BSTR property, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE Reset(VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE SetProperty(BSTR property, BSTR value, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE SetValue(BSTR value, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE SetType(BSTR value, VARIANT_BOOL* pOk) override;
  HRESULT STDMETHODCALLTYPE IsConst(VARIANT_BOOL* pConst) override;

 private:
  CNVSimPropertySet() = default;
  ~CNVSimPropertySet() = default;

  struct Content {
    TrxString type;
    TrxString value;
    std::vector<std::pair<TrxString, TrxString>> properties;
    std::vector<TrxComPtr<INVPropertySet>> children;
  };
  static void EncodeContent(const Content& content, TrxString& text);
  static void Encode(INVPropertySet* set, TrxString& text);
  static bool Decode(TrxStringView text, size_t& pos, Content& content);

  std::atomic<ULONG> m_references{1};
  mutable TrxCriticalSection m_lock;
  Content m_content;
  size_t m_cursor = 0;
  bool m_const = false;
};
