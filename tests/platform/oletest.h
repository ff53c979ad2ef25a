// Helpers of the OLE Automation tests: a VARIANT that owns its value, built
// in one expression; a VARIANT as text, for comparing and for messages; a
// COM object that only counts references.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/trxplatform.h"

namespace oletest {

// Owns its value; copies and frees its BSTR itself, not through VariantCopy
// and VariantClear (which are under test).
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  explicit Var(VARTYPE vt) : Var() { v.vt = vt; }
  Var(const Var& other) : v(other.v) {
    if (OwnsText()) v.bstrVal = v.bstrVal ? SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal)) : nullptr;
  }
  Var& operator=(const Var&) = delete;
  ~Var() {
    if (OwnsText()) SysFreeString(v.bstrVal);
  }
  bool OwnsText() const;
};

// A BSTR that points nowhere valid: neither copied nor freed nor read here.
inline const BSTR kNowhere = reinterpret_cast<BSTR>(uintptr_t{16});
inline bool Var::OwnsText() const { return (v.vt & ~VT_RESERVED) == VT_BSTR && v.bstrVal != kNowhere; }

// clang-format off
inline Var I1(int n) { Var x(VT_I1); x.v.cVal = static_cast<CHAR>(n); return x; }
inline Var I2(int n) { Var x(VT_I2); x.v.iVal = static_cast<SHORT>(n); return x; }
inline Var I4(LONG n) { Var x(VT_I4); x.v.lVal = n; return x; }
inline Var Int(INT n) { Var x(VT_INT); x.v.intVal = n; return x; }
inline Var I8(LONGLONG n) { Var x(VT_I8); x.v.llVal = n; return x; }
inline Var UI1(unsigned n) { Var x(VT_UI1); x.v.bVal = static_cast<BYTE>(n); return x; }
inline Var UI2(unsigned n) { Var x(VT_UI2); x.v.uiVal = static_cast<USHORT>(n); return x; }
inline Var UI4(ULONG n) { Var x(VT_UI4); x.v.ulVal = n; return x; }
inline Var UInt(UINT n) { Var x(VT_UINT); x.v.uintVal = n; return x; }
inline Var UI8(ULONGLONG n) { Var x(VT_UI8); x.v.ullVal = n; return x; }
inline Var R4(float n) { Var x(VT_R4); x.v.fltVal = n; return x; }
inline Var R8(double n) { Var x(VT_R8); x.v.dblVal = n; return x; }
inline Var Date(double n) { Var x(VT_DATE); x.v.date = n; return x; }
inline Var Bool(bool b) { Var x(VT_BOOL); x.v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; return x; }
inline Var Err(SCODE s) { Var x(VT_ERROR); x.v.scode = s; return x; }
inline Var Cy(LONGLONG raw) { Var x(VT_CY); x.v.cyVal.int64 = raw; return x; }
inline Var Empty() { return Var(VT_EMPTY); }
inline Var Null() { return Var(VT_NULL); }
// clang-format on
// Text with embedded nulls when `length` is given; a null BSTR for nullptr.
inline Var Str(const char16_t* s, int length = -1) {
  Var x(VT_BSTR);
  x.v.bstrVal = !s ? nullptr : length < 0 ? SysAllocString(s) : SysAllocStringLen(s, static_cast<UINT>(length));
  return x;
}
inline Var Nowhere() {
  Var x(VT_BSTR);
  x.v.bstrVal = kNowhere;
  return x;
}
// The same value with VT_RESERVED set.
inline Var Reserved(Var x) {
  x.v.vt |= VT_RESERVED;
  return x;
}

inline std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
  return buffer;
}

// Text with every character outside printable ASCII as \uXXXX.
inline std::string Escaped(const OLECHAR* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, text[i] >= 0x20 && text[i] < 0x7F ? "%c" : "\\u%04X", text[i]);
    out += buffer;
  }
  return out;
}

// "vt value": integers in decimal, reals with every digit that tells them
// apart, text quoted. Two VARIANTs of a simple type hold the same value when
// their texts are equal.
inline std::string Show(const VARIANT& v) {
  char value[64] = "";
  // clang-format off
  switch (v.vt & ~VT_RESERVED) {
    case VT_I1: std::snprintf(value, sizeof value, "%d", static_cast<signed char>(v.cVal)); break;
    case VT_I2: std::snprintf(value, sizeof value, "%d", v.iVal); break;
    case VT_BOOL: std::snprintf(value, sizeof value, "%d", v.boolVal); break;
    case VT_I4: case VT_INT: std::snprintf(value, sizeof value, "%d", static_cast<int>(v.lVal)); break;
    case VT_ERROR: std::snprintf(value, sizeof value, "0x%08X", static_cast<unsigned>(v.scode)); break;
    case VT_I8: case VT_CY: std::snprintf(value, sizeof value, "%lld", static_cast<long long>(v.llVal)); break;
    case VT_UI1: std::snprintf(value, sizeof value, "%u", v.bVal); break;
    case VT_UI2: std::snprintf(value, sizeof value, "%u", v.uiVal); break;
    case VT_UI4: case VT_UINT: std::snprintf(value, sizeof value, "%u", static_cast<unsigned>(v.ulVal)); break;
    case VT_UI8: std::snprintf(value, sizeof value, "%llu", static_cast<unsigned long long>(v.ullVal)); break;
    case VT_R4: std::snprintf(value, sizeof value, "%.9g", v.fltVal); break;
    case VT_R8: case VT_DATE: std::snprintf(value, sizeof value, "%.17g", v.dblVal); break;
    case VT_BSTR:
      if (!v.bstrVal || v.bstrVal == kNowhere) return v.bstrVal ? "vt 8 nowhere" : "vt 8 null";
      return "vt 8 \"" + Escaped(v.bstrVal, SysStringLen(v.bstrVal)) + "\"";
    default: break;
  }
  // clang-format on
  return "vt " + std::to_string(v.vt) + (*value ? " " : "") + value;
}

// A COM object that only counts its references.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

}  // namespace oletest
