// OLE Automation for the Linux build: BSTR, VARIANT, SAFEARRAY, IDispatch and
// the conversion and comparison functions the service uses.
//
// Types have the Windows x64 layout (VARIANT is 24 bytes, SAFEARRAY 32 bytes
// plus 8 per extra dimension) and the member names of the SDK, so `v.vt`,
// `v.lVal` and the V_* macros all work. The functions have the Windows names
// and signatures; what our subset does not do is written at each declaration
// and fails with an explicit status rather than doing something else.
#pragma once

#include "pal_types.h"

// ---- BSTR ------------------------------------------------------------------------
// A BSTR points at UTF-16 text. The 4 bytes before it hold the byte length
// (the terminator not counted), a null OLECHAR follows the text, and embedded
// nulls are kept. Only the Sys* functions below may allocate or free one.
typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;

// ---- VARTYPE -----------------------------------------------------------------------
typedef unsigned short VARTYPE;

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_INT_PTR = 37,
  VT_UINT_PTR = 38,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_STORAGE = 67,
  VT_STREAMED_OBJECT = 68,
  VT_STORED_OBJECT = 69,
  VT_BLOB_OBJECT = 70,
  VT_CF = 71,
  VT_CLSID = 72,
  VT_VERSIONED_STREAM = 73,
  VT_BSTR_BLOB = 0x0fff,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xffff,
  VT_ILLEGALMASKED = 0x0fff,
  VT_TYPEMASK = 0x0fff
};

#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

// ---- CY and DECIMAL (layout only: no arithmetic on them here) -----------------------
union CY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
};
typedef CY* LPCY;

struct DECIMAL {
  USHORT wReserved;
  union {
    struct {
      BYTE scale;
      BYTE sign;
    };
    USHORT signscale;
  };
  ULONG Hi32;
  union {
    struct {
      ULONG Lo32;
      ULONG Mid32;
    };
    ULONGLONG Lo64;
  };
};
typedef DECIMAL* LPDECIMAL;
#define DECIMAL_NEG (static_cast<BYTE>(0x80))

// ---- interfaces used by VARIANT ------------------------------------------------------
struct IDispatch;
struct ITypeInfo;    // see "type libraries" below
struct IRecordInfo;  // declared only; VT_RECORD values are not supported
struct SAFEARRAY;

// ---- VARIANT ---------------------------------------------------------------------------
struct VARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
          PVOID pvRecord;
          IRecordInfo* pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;
typedef VARIANT* LPVARIANTARG;

#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_ISVECTOR(X) (V_VT(X) & VT_VECTOR)
#define V_NONE(X) V_I2(X)
#define V_UI1(X) ((X)->bVal)
#define V_UI1REF(X) ((X)->pbVal)
#define V_I1(X) ((X)->cVal)
#define V_I1REF(X) ((X)->pcVal)
#define V_I2(X) ((X)->iVal)
#define V_I2REF(X) ((X)->piVal)
#define V_UI2(X) ((X)->uiVal)
#define V_UI2REF(X) ((X)->puiVal)
#define V_I4(X) ((X)->lVal)
#define V_I4REF(X) ((X)->plVal)
#define V_UI4(X) ((X)->ulVal)
#define V_UI4REF(X) ((X)->pulVal)
#define V_I8(X) ((X)->llVal)
#define V_I8REF(X) ((X)->pllVal)
#define V_UI8(X) ((X)->ullVal)
#define V_UI8REF(X) ((X)->pullVal)
#define V_INT(X) ((X)->intVal)
#define V_INTREF(X) ((X)->pintVal)
#define V_UINT(X) ((X)->uintVal)
#define V_UINTREF(X) ((X)->puintVal)
#define V_R4(X) ((X)->fltVal)
#define V_R4REF(X) ((X)->pfltVal)
#define V_R8(X) ((X)->dblVal)
#define V_R8REF(X) ((X)->pdblVal)
#define V_CY(X) ((X)->cyVal)
#define V_CYREF(X) ((X)->pcyVal)
#define V_DATE(X) ((X)->date)
#define V_DATEREF(X) ((X)->pdate)
#define V_BSTR(X) ((X)->bstrVal)
#define V_BSTRREF(X) ((X)->pbstrVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_DISPATCHREF(X) ((X)->ppdispVal)
#define V_ERROR(X) ((X)->scode)
#define V_ERRORREF(X) ((X)->pscode)
#define V_BOOL(X) ((X)->boolVal)
#define V_BOOLREF(X) ((X)->pboolVal)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_UNKNOWNREF(X) ((X)->ppunkVal)
#define V_VARIANTREF(X) ((X)->pvarVal)
#define V_ARRAY(X) ((X)->parray)
#define V_ARRAYREF(X) ((X)->pparray)
#define V_BYREF(X) ((X)->byref)
#define V_DECIMAL(X) ((X)->decVal)
#define V_DECIMALREF(X) ((X)->pdecVal)

// ---- IDispatch -------------------------------------------------------------------------
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)
#define DISPID_CONSTRUCTOR (-6)
#define DISPID_DESTRUCTOR (-7)
#define DISPID_COLLECT (-8)

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

struct DISPPARAMS {
  VARIANTARG* rgvarg;           // arguments in reverse order
  DISPID* rgdispidNamedArgs;    // DISPID_PROPERTYPUT for a property put
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
typedef EXCEPINFO* LPEXCEPINFO;

struct IDispatch : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                  DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                           UINT* puArgErr) = 0;

 protected:
  ~IDispatch() = default;
};
typedef IDispatch* LPDISPATCH;

// ---- type libraries ----------------------------------------------------------------------
// There are no registered type libraries on Linux: LoadRegTypeLib always
// reports the library as not registered. The two interfaces are declared only
// as far as a caller of LoadRegTypeLib needs them, in the Windows slot order;
// nothing on Linux implements them.

// Kind of a type description in a type library.
enum TYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
};

// The description of one type. Limit: only the IUnknown members are declared
// (no type information exists here to describe).
struct ITypeInfo : public IUnknown {
 protected:
  ~ITypeInfo() = default;
};
typedef ITypeInfo* LPTYPEINFO;

// A type library. Limit: the members after GetTypeInfoOfGuid (GetLibAttr,
// GetTypeComp, GetDocumentation, IsName, FindName, ReleaseTLibAttr) are not
// declared.
struct ITypeLib : public IUnknown {
  virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;

 protected:
  ~ITypeLib() = default;
};
typedef ITypeLib* LPTYPELIB;

// ---- SAFEARRAY ----------------------------------------------------------------------------
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
typedef SAFEARRAYBOUND* LPSAFEARRAYBOUND;

// The bounds are stored in reverse order: rgsabound[cDims - 1] describes the
// dimension that SafeArrayCreate received as rgsabound[0].
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
};
typedef SAFEARRAY* LPSAFEARRAY;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_RESERVED 0xF008

// ---- flags and results -----------------------------------------------------------------------
// VariantChangeType(Ex) wFlags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_CALENDAR_HIJRI 0x08
#define VARIANT_LOCALBOOL 0x10
#define VARIANT_CALENDAR_THAI 0x20
#define VARIANT_CALENDAR_GREGORIAN 0x40
#define VARIANT_USE_NLS 0x80

// VarCmp results (returned as the HRESULT).
#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3

extern "C" {

// ---- BSTR functions ----------------------------------------------------------------------------

// Copies the null-terminated psz into a new BSTR. Returns null for a null psz
// or when memory runs out; an empty psz gives an empty (non-null) BSTR.
BSTR WINAPI SysAllocString(const OLECHAR* psz);

// A new BSTR of ui characters copied from strIn (embedded nulls kept). With a
// null strIn the ui characters are zero. Returns null when memory runs out or
// ui is too large for a 32-bit byte length.
BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);

// A new BSTR of len bytes copied from psz (any bytes, not text), followed by a
// null OLECHAR; SysStringByteLen returns len, SysStringLen len / 2. With a null
// psz the bytes are zero. Returns null when memory runs out or len is too large.
BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len);

// Replaces *pbstr with len characters from psz. psz may point into *pbstr:
// then only what the old string holds from there is copied. With a null psz
// the old text is kept up to len characters; any extension is zero. A string
// that does not grow keeps its block (*pbstr does not change). Returns TRUE,
// or FALSE (leaving *pbstr unchanged) for a null pbstr, a too large len, or
// when memory runs out.
INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, unsigned int len);

// Frees a BSTR; null is accepted and ignored.
void WINAPI SysFreeString(BSTR bstrString);

// The length in characters (byte length / 2), embedded nulls included; 0 for null.
UINT WINAPI SysStringLen(BSTR pbstr);

// The length in bytes, terminator not counted; 0 for null.
UINT WINAPI SysStringByteLen(BSTR bstr);

// ---- VARIANT functions ---------------------------------------------------------------------------

// Zeroes the whole VARIANT (vt = VT_EMPTY) without freeing anything, as
// Windows 8.1 and later do.
void WINAPI VariantInit(VARIANTARG* pvarg);

// Frees the value and sets vt to VT_EMPTY: BSTRs are freed, interfaces
// released, arrays destroyed; VT_BYREF values are not touched.
// Returns S_OK; DISP_E_BADVARTYPE (variant unchanged) for a type that is not a
// valid VARIANT type (VT_VECTOR, VT_RESERVED, 15, VT_VOID and above except
// VT_RECORD/VT_CLSID, VT_BYREF or VT_ARRAY with VT_EMPTY/VT_NULL);
// DISP_E_ARRAYISLOCKED when the array is locked (as Windows, vt still becomes
// VT_EMPTY and the array is left alone). Limit: a VT_RECORD with a record
// gives E_NOTIMPL and is left unchanged (records are not supported).
HRESULT WINAPI VariantClear(VARIANTARG* pvarg);

// Clears pvargDest and deep-copies pvargSrc into it: BSTRs duplicated (a null
// BSTR becomes an empty one, as on Windows), arrays copied with SafeArrayCopy,
// interfaces AddRef'ed; VT_BYREF values copy only the pointer. Copying a
// variant onto itself does nothing. Returns S_OK; DISP_E_BADVARTYPE for an
// invalid source type (pvargDest untouched); the error of VariantClear on
// pvargDest; E_OUTOFMEMORY. Limit: VT_RECORD with a record gives E_NOTIMPL.
HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// As VariantCopy, but a VT_BYREF source is copied as the value it points to
// (VT_VARIANT | VT_BYREF: the referenced VARIANT, one level only). Source and
// destination may be the same variant. Returns S_OK; E_INVALIDARG for a by-
// reference type that cannot be dereferenced or a second VT_VARIANT level;
// the errors of VariantCopy. Limit: VT_RECORD | VT_BYREF gives E_NOTIMPL.
HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);

// VariantChangeTypeEx with LOCALE_USER_DEFAULT.
HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);

// Converts pvarSrc to type vt into pvargDest (cleared first, only on success);
// source and destination may be the same variant, a VT_BYREF source is read
// through its pointer. Follows the OLE rules:
//  - numbers: range checked (DISP_E_OVERFLOW), reals rounded half to even;
//    as on Windows, I1<->UI1, I2<->UI2, I4/INT<->UI4/UINT and I8<->UI8 keep the
//    bit pattern without a range check.
//  - VT_BOOL is VARIANT_TRUE (-1) or VARIANT_FALSE; any non-zero number gives
//    VARIANT_TRUE, and VARIANT_TRUE converts to -1 (0xFF.. for unsigned types).
//  - BSTR from numbers: decimal text, reals with 15 (R8) or 7 (R4) significant
//    digits ("1.5", "1E+20", "0.00001"), an exact tie rounded away from zero;
//    BOOL gives "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL or
//    VARIANT_LOCALBOOL.
//  - BSTR to numbers: leading/trailing white space, leading or trailing sign,
//    parentheses for negative, ',' thousands separators, '.' decimal point,
//    exponent, a leading '$', "&H"/"&O" hexadecimal/octal; anything else is
//    DISP_E_TYPEMISMATCH. A real below the smallest one is 0. BSTR to BOOL: "True"/"False" in any case,
//    "#TRUE#"/"#FALSE#", or a number (non-zero is true).
//  - VT_EMPTY gives 0, "" or VARIANT_FALSE; VT_NULL converts only to VT_NULL
//    (else DISP_E_TYPEMISMATCH); anything but VT_NULL and VT_ERROR converts to
//    VT_EMPTY/VT_NULL. VT_ERROR converts only to itself.
//  - VT_DISPATCH: the value property (DISPID_VALUE) is fetched and converted;
//    DISP_E_TYPEMISMATCH with VARIANT_NOVALUEPROP or when Invoke fails,
//    DISP_E_BADVARTYPE for a null pointer. VT_UNKNOWN <-> VT_DISPATCH uses
//    QueryInterface.
//  - arrays: same array type copies; VT_ARRAY|VT_UI1 <-> VT_BSTR copies bytes.
// Returns S_OK or the conversion error (pvargDest unchanged); DISP_E_BADVARTYPE
// for invalid source or target types. lcid and the flags other than
// VARIANT_NOVALUEPROP/ALPHABOOL/LOCALBOOL are accepted and ignored: number text
// always uses the en-US characters ('.', ',', '-', '+', '$').
// Limits (E_NOTIMPL): VT_DATE only converts to and from numbers and VT_BOOL
// (not text); VT_CY and VT_DECIMAL only convert to themselves, VT_EMPTY and
// VT_NULL, or from VT_EMPTY; VT_RECORD values.
HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                   VARTYPE vt);

// Compares two variants; returns VARCMP_LT, VARCMP_EQ, VARCMP_GT, or
// VARCMP_NULL when either is VT_NULL. As on Windows:
//  - numbers of mixed types are compared as I8, or R4/R8 when a real (or
//    VT_DATE) is involved; VT_BOOL counts as -1/0; VT_EMPTY as 0.
//  - two BSTRs compare as text (a null BSTR equals ""): with lcid 0 by their
//    bytes, otherwise with CompareStringW(lcid, dwFlags) - see its limits;
//    NORM_IGNORECASE is the useful flag.
//  - a BSTR is greater than any number; it equals VT_EMPTY when empty and is
//    greater otherwise. VT_RESERVED on either side changes this as Windows does.
//  - VT_I1, VT_UI2, VT_UI4, VT_UI8, VT_DISPATCH, VT_UNKNOWN and VT_VARIANT
//    give DISP_E_TYPEMISMATCH; VT_ERROR equals VT_ERROR and mismatches
//    anything else. DISP_E_BADVARTYPE for VT_BYREF, VT_ARRAY, and types above
//    VT_INT on the left or above VT_I8 on the right (so VT_INT and VT_UI8 on
//    the right, VT_UINT on either side).
// Limits: VT_CY and VT_DECIMAL operands give E_NOTIMPL; string comparison is
// ordinal (see CompareStringW), not linguistic.
HRESULT WINAPI VarCmp(LPVARIANT pvarLeft, LPVARIANT pvarRight, LCID lcid, ULONG dwFlags);

// ---- SAFEARRAY functions --------------------------------------------------------------------------
// Indexing: rgIndices[i] is the index in the dimension SafeArrayCreate got as
// rgsabound[i], which SafeArrayGetLBound/GetUBound call nDim = i + 1. Element
// memory is laid out with rgIndices[0] varying fastest. Element types:
// VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8,
// VT_R4, VT_R8, VT_BOOL, VT_ERROR, VT_CY, VT_DATE, VT_DECIMAL, VT_INT_PTR,
// VT_UINT_PTR, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH (not VT_RECORD).

// A new zero-filled array of cDims dimensions (rgsabound[0] first; dimensions
// of 0 elements are allowed). Returns null for an unsupported vt, cDims 0, a
// null rgsabound, an element count that does not fit in memory, or no memory.
SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);

// A new one-dimensional array whose data follows the descriptor in one block.
// Returns null for an unsupported vt or no memory.
SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);

// Frees the elements (BSTRs freed, interfaces released, VARIANTs cleared), the
// data and the descriptor. Null is accepted (S_OK). DISP_E_ARRAYISLOCKED while
// the array is locked (nothing freed).
HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa);

// Number of dimensions; 0 for null.
UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa);

// Lower/upper bound of dimension nDim (1-based, see Indexing). An empty
// dimension has an upper bound of lower bound - 1. E_INVALIDARG for null
// arguments, DISP_E_BADINDEX for nDim 0 or above the dimension count.
HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);

// The element type. E_INVALIDARG for null arguments or an array without one.
HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);

// Adds or removes a lock; a locked array cannot be destroyed.
// E_INVALIDARG for null; E_UNEXPECTED past 65535 locks or when unlocking an
// unlocked array. The count is atomic.
HRESULT WINAPI SafeArrayLock(SAFEARRAY* psa);
HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* psa);

// Locks the array and returns its data pointer (null on failure); errors as
// SafeArrayLock plus E_INVALIDARG for a null ppvData. UnaccessData unlocks.
HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa);

// The address of the element at rgIndices (one index per dimension), without
// locking. E_INVALIDARG for null arguments, DISP_E_BADINDEX out of bounds.
HRESULT WINAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);

// Copies the element at rgIndices out to pv: a new BSTR (BSTR*), VariantCopy
// into a VARIANT* (its old content is ignored, not cleared), an AddRef'ed
// interface (IUnknown**), or the bytes. E_INVALIDARG for null arguments,
// DISP_E_BADINDEX out of bounds, E_OUTOFMEMORY.
HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// Stores a copy of pv at rgIndices, freeing what was there: pv is the BSTR
// itself (duplicated; null stores an empty BSTR, as Windows), a VARIANT*
// (VariantCopy), the interface pointer itself (AddRef'ed, may be null), or
// points to the bytes. E_INVALIDARG for null arguments (pv may be null only for
// BSTR and interface arrays), DISP_E_BADINDEX out of bounds, E_OUTOFMEMORY.
HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// A deep copy (same type and bounds, elements copied as GetElement does) in
// *ppsaOut; a null psa gives a null copy and S_OK. E_INVALIDARG for a null
// ppsaOut or an array without an element size, E_OUTOFMEMORY.
HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// ---- type libraries ----------------------------------------------------------------------------

// Loads the type library registered under rguid with that version and locale.
// Limit: the registry holds no type libraries on Linux, so this always sets
// *pptlib to null and returns TYPE_E_LIBNOTREGISTERED (E_INVALIDARG for a null
// pptlib).
HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);

}  // extern "C"
