// Owners for BSTR, VARIANT and SAFEARRAY, the same on both platforms.
#pragma once

#include <utility>

// The text of a BSTR, embedded nulls included; empty for a null BSTR.
inline TrxStringView TrxBstrView(BSTR text) noexcept {
  return text ? TrxStringView(text, SysStringLen(text)) : TrxStringView();
}

// Number of elements along one dimension of an array (1 is the leftmost);
// 0 when there is no array or no such dimension.
inline LONG TrxSafeArrayExtent(SAFEARRAY* array, UINT dimension = 1) noexcept {
  LONG lower = 0, upper = -1;
  if (!array || FAILED(SafeArrayGetLBound(array, dimension, &lower)) ||
      FAILED(SafeArrayGetUBound(array, dimension, &upper)))
    return 0;
  return upper - lower + 1;
}

// Owns a BSTR: frees it on destruction. A null BSTR and an empty one are
// different values and both are kept as they are.
class TrxBstr {
 public:
  TrxBstr() noexcept = default;
  explicit TrxBstr(const OLECHAR* text) : m_str(text ? SysAllocString(text) : nullptr) {}
  explicit TrxBstr(TrxStringView text)
      : m_str(SysAllocStringLen(text.data() ? text.data() : OLESTR(""), static_cast<UINT>(text.size()))) {}
  TrxBstr(const TrxBstr& other) : m_str(other.Copy()) {}
  TrxBstr(TrxBstr&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
  ~TrxBstr() { SysFreeString(m_str); }
  TrxBstr& operator=(const TrxBstr& other) {
    if (this != &other) Attach(other.Copy());
    return *this;
  }
  TrxBstr& operator=(TrxBstr&& other) noexcept {
    if (this != &other) Attach(std::exchange(other.m_str, nullptr));
    return *this;
  }

  BSTR Get() const noexcept { return m_str; }
  bool IsNull() const noexcept { return m_str == nullptr; }
  UINT Length() const noexcept { return SysStringLen(m_str); }
  // The text, embedded nulls included; empty for a null BSTR.
  TrxStringView View() const noexcept { return m_str ? TrxStringView(m_str, SysStringLen(m_str)) : TrxStringView(); }
  TrxString ToString() const { return TrxString(View()); }
  // A new BSTR with the same content, for an out-parameter.
  BSTR Copy() const { return m_str ? SysAllocStringLen(m_str, SysStringLen(m_str)) : nullptr; }
  // Frees the current string and returns the slot for a callee to fill.
  BSTR* Put() noexcept {
    Attach(nullptr);
    return &m_str;
  }
  void Attach(BSTR str) noexcept {
    if (m_str != str) SysFreeString(m_str);
    m_str = str;
  }
  BSTR Detach() noexcept { return std::exchange(m_str, nullptr); }

 private:
  BSTR m_str = nullptr;
};

// A VARIANT that clears itself. It is a VARIANT, so &v passes as VARIANT*.
class TrxVariant : public VARIANT {
 public:
  TrxVariant() noexcept { VariantInit(this); }
  TrxVariant(const VARIANT& other) {
    VariantInit(this);
    VariantCopy(this, const_cast<VARIANT*>(&other));
  }
  TrxVariant(const TrxVariant& other) : TrxVariant(static_cast<const VARIANT&>(other)) {}
  TrxVariant(TrxVariant&& other) noexcept {
    *static_cast<VARIANT*>(this) = other;
    VariantInit(&other);
  }
  ~TrxVariant() { VariantClear(this); }
  TrxVariant& operator=(const VARIANT& other) {
    if (this != &other) VariantCopy(this, const_cast<VARIANT*>(&other));
    return *this;
  }
  TrxVariant& operator=(const TrxVariant& other) { return *this = static_cast<const VARIANT&>(other); }
  TrxVariant& operator=(TrxVariant&& other) noexcept {
    if (this != &other) {
      VariantClear(this);
      *static_cast<VARIANT*>(this) = other;
      VariantInit(&other);
    }
    return *this;
  }

  static TrxVariant FromI4(LONG value) noexcept {
    TrxVariant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
  }
  static TrxVariant FromI2(SHORT value) noexcept {
    TrxVariant v;
    v.vt = VT_I2;
    v.iVal = value;
    return v;
  }
  static TrxVariant FromUI4(ULONG value) noexcept {
    TrxVariant v;
    v.vt = VT_UI4;
    v.ulVal = value;
    return v;
  }
  static TrxVariant FromR8(double value) noexcept {
    TrxVariant v;
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
  }
  static TrxVariant FromBool(bool value) noexcept {
    TrxVariant v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static TrxVariant FromString(TrxStringView text) {
    TrxVariant v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data() ? text.data() : OLESTR(""), static_cast<UINT>(text.size()));
    return v;
  }
  // A VT_BSTR holding a null BSTR.
  static TrxVariant NullString() noexcept {
    TrxVariant v;
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    return v;
  }
  static TrxVariant Null() noexcept {
    TrxVariant v;
    v.vt = VT_NULL;
    return v;
  }
  // Takes over an array (VT_ARRAY | elementType).
  static TrxVariant FromArray(SAFEARRAY* array, VARTYPE elementType) noexcept {
    TrxVariant v;
    v.vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
    v.parray = array;
    return v;
  }

  HRESULT Clear() noexcept { return VariantClear(this); }
  HRESULT CopyFrom(const VARIANT* source) noexcept { return VariantCopy(this, const_cast<VARIANT*>(source)); }
  // Copies into a caller's VARIANT (which is cleared first).
  HRESULT CopyTo(VARIANT* target) const noexcept {
    return target ? VariantCopy(target, const_cast<TrxVariant*>(this)) : E_POINTER;
  }
  // Moves the value into a caller's VARIANT (which is cleared first).
  void Detach(VARIANT* target) noexcept {
    VariantClear(target);
    *target = *this;
    VariantInit(this);
  }
  // Takes over the value of a VARIANT, leaving it empty.
  void Attach(VARIANT* source) noexcept {
    VariantClear(this);
    *static_cast<VARIANT*>(this) = *source;
    VariantInit(source);
  }
  // Clears the value and returns this for a callee to fill.
  VARIANT* Put() noexcept {
    VariantClear(this);
    return this;
  }
  HRESULT ChangeType(VARTYPE type, const VARIANT* source = nullptr) noexcept {
    VARIANT* from = const_cast<VARIANT*>(source ? source : static_cast<const VARIANT*>(this));
    return VariantChangeType(this, from, 0, type);
  }
  bool IsEmpty() const noexcept { return vt == VT_EMPTY; }
};

// Owns a SAFEARRAY: destroys it on destruction.
class TrxSafeArray {
 public:
  TrxSafeArray() noexcept = default;
  explicit TrxSafeArray(SAFEARRAY* array) noexcept : m_array(array) {}
  TrxSafeArray(const TrxSafeArray&) = delete;
  TrxSafeArray& operator=(const TrxSafeArray&) = delete;
  TrxSafeArray(TrxSafeArray&& other) noexcept : m_array(std::exchange(other.m_array, nullptr)) {}
  TrxSafeArray& operator=(TrxSafeArray&& other) noexcept {
    if (this != &other) Attach(std::exchange(other.m_array, nullptr));
    return *this;
  }
  ~TrxSafeArray() {
    if (m_array) SafeArrayDestroy(m_array);
  }
  SAFEARRAY* Get() const noexcept { return m_array; }
  explicit operator bool() const noexcept { return m_array != nullptr; }
  void Attach(SAFEARRAY* array) noexcept {
    if (m_array && m_array != array) SafeArrayDestroy(m_array);
    m_array = array;
  }
  SAFEARRAY* Detach() noexcept { return std::exchange(m_array, nullptr); }

 private:
  SAFEARRAY* m_array = nullptr;
};

// Holds a SAFEARRAY's data accessed (SafeArrayAccessData) for a scope.
template <class T>
class TrxSafeArrayData {
 public:
  explicit TrxSafeArrayData(SAFEARRAY* array) noexcept : m_array(array) {
    void* data = nullptr;
    m_hr = array ? SafeArrayAccessData(array, &data) : E_INVALIDARG;
    if (SUCCEEDED(m_hr)) m_data = static_cast<T*>(data);
  }
  TrxSafeArrayData(const TrxSafeArrayData&) = delete;
  TrxSafeArrayData& operator=(const TrxSafeArrayData&) = delete;
  ~TrxSafeArrayData() {
    if (m_data) SafeArrayUnaccessData(m_array);
  }
  HRESULT Status() const noexcept { return m_hr; }
  T* Get() const noexcept { return m_data; }
  T& operator[](size_t index) const noexcept { return m_data[index]; }

 private:
  SAFEARRAY* m_array;
  T* m_data = nullptr;
  HRESULT m_hr;
};
