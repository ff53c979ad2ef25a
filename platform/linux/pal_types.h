// Basic Win32/COM types, status codes and IUnknown for the Linux build.
//
// Sizes follow the Windows LLP64 model: LONG, ULONG and DWORD are 32 bits,
// pointers and the *_PTR types are 64 bits. Text is UTF-16: WCHAR and
// OLECHAR are char16_t and OLESTR("...") makes a UTF-16 literal.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- scalar types -----------------------------------------------------------
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int INT;
typedef unsigned int UINT;
typedef char CHAR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef LONG* LPLONG;

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef char* LPSTR;
typedef const char* LPCSTR;

typedef LONG HRESULT;
typedef LONG SCODE;
typedef DWORD LCID;
typedef LONG DISPID;
typedef SHORT VARIANT_BOOL;
typedef double DATE;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define OLESTR(str) u"" str
#define WINAPI
#define CALLBACK
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define interface struct

#define INFINITE 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

#define LOCALE_USER_DEFAULT 0x0400u
#define LOCALE_SYSTEM_DEFAULT 0x0800u
#define LOCALE_INVARIANT 0x007Fu

// ---- status codes -------------------------------------------------------------
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define FACILITY_WIN32 7
#define FACILITY_ITF 4
#define MAKE_HRESULT(sev, fac, code) \
  static_cast<HRESULT>((static_cast<ULONG>(sev) << 31) | (static_cast<ULONG>(fac) << 16) | static_cast<ULONG>(code))
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1FFF)

constexpr HRESULT HRESULT_FROM_WIN32(unsigned long x) {
  return static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x)
                                      : static_cast<HRESULT>((x & 0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000);
}

#define TRX_HR(x) static_cast<HRESULT>(x##u)
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL TRX_HR(0x80004001)
#define E_NOINTERFACE TRX_HR(0x80004002)
#define E_POINTER TRX_HR(0x80004003)
#define E_ABORT TRX_HR(0x80004004)
#define E_FAIL TRX_HR(0x80004005)
#define E_UNEXPECTED TRX_HR(0x8000FFFF)
#define E_PENDING TRX_HR(0x8000000A)
#define E_ACCESSDENIED TRX_HR(0x80070005)
#define E_HANDLE TRX_HR(0x80070006)
#define E_OUTOFMEMORY TRX_HR(0x8007000E)
#define E_INVALIDARG TRX_HR(0x80070057)
#define DISP_E_UNKNOWNINTERFACE TRX_HR(0x80020001)
#define DISP_E_MEMBERNOTFOUND TRX_HR(0x80020003)
#define DISP_E_PARAMNOTFOUND TRX_HR(0x80020004)
#define DISP_E_TYPEMISMATCH TRX_HR(0x80020005)
#define DISP_E_UNKNOWNNAME TRX_HR(0x80020006)
#define DISP_E_NONAMEDARGS TRX_HR(0x80020007)
#define DISP_E_BADVARTYPE TRX_HR(0x80020008)
#define DISP_E_EXCEPTION TRX_HR(0x80020009)
#define DISP_E_OVERFLOW TRX_HR(0x8002000A)
#define DISP_E_BADINDEX TRX_HR(0x8002000B)
#define DISP_E_ARRAYISLOCKED TRX_HR(0x8002000D)
#define DISP_E_BADPARAMCOUNT TRX_HR(0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL TRX_HR(0x8002000F)
#define TYPE_E_ELEMENTNOTFOUND TRX_HR(0x8002802B)
#define TYPE_E_LIBNOTREGISTERED TRX_HR(0x8002801D)
#define CLASS_E_NOAGGREGATION TRX_HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE TRX_HR(0x80040111)
#define REGDB_E_CLASSNOTREG TRX_HR(0x80040154)
#define CONNECT_E_NOCONNECTION TRX_HR(0x80040200)
#define CONNECT_E_ADVISELIMIT TRX_HR(0x80040201)
#define CONNECT_E_CANNOTCONNECT TRX_HR(0x80040202)
#define CO_E_NOTINITIALIZED TRX_HR(0x800401F0)
#define RPC_E_CHANGED_MODE TRX_HR(0x80010106)
#define RPC_E_WRONG_THREAD TRX_HR(0x8001010E)

// ---- Win32 error numbers (GetLastError) --------------------------------------------
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#ifndef ERROR_INVALID_DATA
#define ERROR_INVALID_DATA 13L
#endif
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_TIMEOUT 1460L

// ---- GUIDs ------------------------------------------------------------------------
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// Defines a GUID constant of our own (one definition shared by every
// translation unit that includes the header).
#define TRX_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

extern "C" const IID GUID_NULL;
extern "C" const IID IID_NULL;
extern "C" const IID IID_IUnknown;
extern "C" const IID IID_IDispatch;
extern "C" const IID IID_IStream;
extern "C" const IID IID_IClassFactory;

// ---- IUnknown -----------------------------------------------------------------
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;
