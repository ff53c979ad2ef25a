// COM subset for the Linux build: apartment initialisation, GUID text,
// IStream / IClassFactory declarations, creation of objects from in-process
// servers named in the registry and from class objects the process
// registered itself, and the inter-thread interface marshalling pair.
//
// There are no apartments in the Windows sense and no proxies. Marshalling
// between threads passes the object itself: calls through an unmarshalled
// pointer run on the calling thread, not on the thread that marshalled it
// (as for objects that aggregate the free-threaded marshaler on Windows).
// Any object handed to another thread on Linux must therefore be thread-safe.
#pragma once

#include "pal_types.h"
#include "pal_kernel.h"

// ---- constants ---------------------------------------------------------------------
typedef enum tagCOINIT {
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_MULTITHREADED = 0x0,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

typedef enum tagCLSCTX {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
  CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
} CLSCTX;

typedef enum tagSTREAM_SEEK {
  STREAM_SEEK_SET = 0,
  STREAM_SEEK_CUR = 1,
  STREAM_SEEK_END = 2,
} STREAM_SEEK;

typedef enum tagSTGTY {
  STGTY_STORAGE = 1,
  STGTY_STREAM = 2,
  STGTY_LOCKBYTES = 3,
  STGTY_PROPERTY = 4,
} STGTY;

typedef enum tagSTATFLAG {
  STATFLAG_DEFAULT = 0,
  STATFLAG_NONAME = 1,
  STATFLAG_NOOPEN = 2,
} STATFLAG;

typedef enum tagSTGC {
  STGC_DEFAULT = 0,
  STGC_OVERWRITE = 1,
  STGC_ONLYIFCURRENT = 2,
  STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4,
  STGC_CONSOLIDATE = 8,
} STGC;

typedef enum tagREGCLS {
  REGCLS_SINGLEUSE = 0,
  REGCLS_MULTIPLEUSE = 1,
  REGCLS_MULTI_SEPARATE = 2,
  REGCLS_SUSPENDED = 4,
  REGCLS_SURROGATE = 8,
} REGCLS;

#ifndef CO_E_OBJNOTREG
#define CO_E_OBJNOTREG TRX_HR(0x800401FB)
#endif
#ifndef CO_E_CLASSSTRING
#define CO_E_CLASSSTRING TRX_HR(0x800401F3)
#endif
#ifndef CO_E_OBJNOTCONNECTED
#define CO_E_OBJNOTCONNECTED TRX_HR(0x800401FD)
#endif
#ifndef STG_E_INVALIDFUNCTION
#define STG_E_INVALIDFUNCTION TRX_HR(0x80030001)
#endif
#define CHARS_IN_GUID 39

// ---- types ---------------------------------------------------------------------------
typedef struct tagSTATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

typedef GUID* LPGUID;
typedef CLSID* LPCLSID;

extern "C" const IID IID_ISequentialStream;

struct ISequentialStream : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : public ISequentialStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                           ULARGE_INTEGER* pcbWritten) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) = 0;

 protected:
  ~IStream() = default;
};
typedef IStream* LPSTREAM;

struct IClassFactory : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};
typedef IClassFactory* LPCLASSFACTORY;

// ---- apartments -------------------------------------------------------------------
// Initialises COM for the calling thread. The count is per thread: S_OK the
// first time, S_FALSE for each further call in the same mode (each success
// needs a CoUninitialize), RPC_E_CHANGED_MODE (count unchanged) in the other
// mode. pvReserved must be NULL (else E_INVALIDARG). COINIT_DISABLE_OLE1DDE
// and COINIT_SPEED_OVER_MEMORY are accepted. There is no implicit
// multithreaded apartment: a thread that never initialised COM gets
// CO_E_NOTINITIALIZED from the calls that need it, even if other threads use
// COINIT_MULTITHREADED.
STDAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// Undoes one successful CoInitializeEx; extra calls do nothing.
extern "C" void WINAPI CoUninitialize();

// ---- GUID text -------------------------------------------------------------------------
// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case) and returns 39
// (the size including the terminator), or 0 if cchMax is below 39.
extern "C" int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Parses the "{...}" form (hex digits of either case). NULL text gives
// GUID_NULL with S_OK. Anything else gives CO_E_CLASSSTRING and a zeroed
// *pclsid: ProgIDs are not looked up in the registry.
// E_INVALIDARG for a null pclsid.
STDAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);

// ---- objects ---------------------------------------------------------------------------
#ifndef CO_E_DLLNOTFOUND
#define CO_E_DLLNOTFOUND TRX_HR(0x800401F8)
#endif
#ifndef CO_E_ERRORINDLL
#define CO_E_ERRORINDLL TRX_HR(0x800401F9)
#endif

// The entry point an in-process server library exports (extern "C", default
// visibility): hands out its class object for rclsid.
typedef HRESULT(STDMETHODCALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

// ---- class objects of this process ----------------------------------------------------
// A process table stands in for the class objects a local server registers
// with COM. What it serves is found by CoGetClassObject and CoCreateInstance
// of this process (there are no other processes to serve): the registered
// object itself, on the calling thread, with no marshalling.

// Registers pUnk (AddRef'd until revoked) as the class object of rclsid for
// dwClsContext; the cookie for CoRevokeClassObject in *lpdwRegister.
// flags: REGCLS_SINGLEUSE (served to one CoGetClassObject/CoCreateInstance,
// then no more), REGCLS_MULTIPLEUSE (with CLSCTX_LOCAL_SERVER it is also
// served to CLSCTX_INPROC_SERVER requests, as on Windows),
// REGCLS_MULTI_SEPARATE (served only for the contexts given), plus
// REGCLS_SUSPENDED (not served until CoResumeClassObjects). Several
// registrations of one class: the latest served one wins. Errors:
// E_INVALIDARG (null pUnk or lpdwRegister, REGCLS_SURROGATE or an unknown
// flag), CO_E_NOTINITIALIZED.
STDAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags, LPDWORD lpdwRegister);
// Ends a registration and releases its object. CO_E_OBJNOTREG for a cookie
// that is not registered (or was revoked).
STDAPI CoRevokeClassObject(DWORD dwRegister);
// Stops serving every registered class object (registrations stay).
STDAPI CoSuspendClassObjects();
// Serves every registered class object again, including those registered
// with REGCLS_SUSPENDED.
STDAPI CoResumeClassObjects();

// The class object of rclsid. First from the class objects this process
// registered (see CoRegisterClassObject) for a context in dwClsContext: its
// QueryInterface for riid. Otherwise from an in-process server registered in
// the registry (pal_registry.h): the default value of
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 is the path of a shared
// library. It is loaded with LoadLibraryW the first time (each path once per
// process; it is never unloaded) and its DllGetClassObject is called for
// riid; that call's status is returned. Only in-process servers are found
// in the registry: without CLSCTX_INPROC_SERVER in dwClsContext (local and
// remote servers, in-process handlers) a class this process did not register
// gives REGDB_E_CLASSNOTREG.
// Errors: REGDB_E_CLASSNOTREG (no such key or no default value),
// CO_E_DLLNOTFOUND (the library does not load), CO_E_ERRORINDLL (it exports
// no DllGetClassObject), E_POINTER (null ppv), CO_E_NOTINITIALIZED (the
// calling thread has not initialised COM). pvReserved (server information
// for remote servers) is ignored. A REG_EXPAND_SZ path is used as written
// (environment variables in it are not expanded).
// *ppv is NULL on every failure.
STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv);
// Creates an object of class rclsid: CoGetClassObject for IClassFactory,
// then IClassFactory::CreateInstance(pUnkOuter, riid, ppv), whose status is
// returned (the class object is released afterwards). Errors as for
// CoGetClassObject. *ppv is NULL on every failure.
STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

// ---- inter-thread marshalling --------------------------------------------------------
// Marshals pUnk's riid interface into a new stream for another thread. The
// stream holds a reference obtained by pUnk->QueryInterface(riid); if that
// fails its status is returned (e.g. E_NOINTERFACE) and *ppStm is NULL.
// E_INVALIDARG for a null pUnk or ppStm; CO_E_NOTINITIALIZED if the calling
// thread has not initialised COM. The stream supports only IUnknown: its
// IStream methods return E_NOTIMPL.
STDAPI CoMarshalInterThreadInterfaceInStream(REFIID riid, LPUNKNOWN pUnk, LPSTREAM* ppStm);
// Unmarshals on the calling thread: QueryInterface of the held reference for
// iid into *ppv (its status is returned; *ppv NULL on failure). The stream is
// released in every case, which drops the held reference. E_INVALIDARG for a
// null pStm or ppv or a stream that did not come from
// CoMarshalInterThreadInterfaceInStream; CO_E_OBJNOTCONNECTED if it was
// already unmarshalled or released; CO_E_NOTINITIALIZED if the calling thread
// has not initialised COM. The returned pointer is the object itself (see the
// note at the top of this file).
STDAPI CoGetInterfaceAndReleaseStream(LPSTREAM pStm, REFIID iid, LPVOID* ppv);
