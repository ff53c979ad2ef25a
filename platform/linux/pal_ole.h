// OLE interfaces of the Linux build beyond IUnknown and IDispatch:
// connection points (outgoing event interfaces), the object site chain
// through which an embedded object reaches its browser, and the service
// provider. The declarations keep the Windows names, slot orders and ids.
//
// Limits: IOleClientSite names IMoniker and IOleContainer without
// declaring them (there are no monikers or containers here); IWebBrowser2
// declares only get_HWND, the one member the service reads (there is no
// browser on Linux, so nothing implements the rest).
#pragma once

#include "pal_types.h"
#include "pal_oleauto.h"

#ifndef CONNECT_E_NOCONNECTION
#define CONNECT_E_NOCONNECTION TRX_HR(0x80040200)
#endif
#ifndef CONNECT_E_ADVISELIMIT
#define CONNECT_E_ADVISELIMIT TRX_HR(0x80040201)
#endif
#ifndef CONNECT_E_CANNOTCONNECT
#define CONNECT_E_CANNOTCONNECT TRX_HR(0x80040202)
#endif
#ifndef CONNECT_E_OVERRIDDEN
#define CONNECT_E_OVERRIDDEN TRX_HR(0x80040203)
#endif

typedef intptr_t SHANDLE_PTR;

extern "C" const IID IID_IConnectionPointContainer;
extern "C" const IID IID_IConnectionPoint;
extern "C" const IID IID_IEnumConnections;
extern "C" const IID IID_IEnumConnectionPoints;
extern "C" const IID IID_IObjectWithSite;
extern "C" const IID IID_IOleClientSite;
extern "C" const IID IID_IServiceProvider;
extern "C" const IID IID_IWebBrowserApp;
extern "C" const IID IID_IWebBrowser2;
// Services of a browser's service provider.
extern "C" const GUID SID_STopLevelBrowser;
#define SID_SWebBrowserApp IID_IWebBrowserApp

// ---- connection points ----------------------------------------------------------
struct CONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
};
typedef CONNECTDATA* LPCONNECTDATA;

struct IConnectionPointContainer;

struct IEnumConnections : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, LPCONNECTDATA rgcd, ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) = 0;

 protected:
  ~IEnumConnections() = default;
};

struct IConnectionPoint : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IEnumConnectionPoints : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) = 0;

 protected:
  ~IEnumConnectionPoints() = default;
};

struct IConnectionPointContainer : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

// ---- sites ---------------------------------------------------------------------------
struct IObjectWithSite : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetSite(IUnknown* pUnkSite) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppvSite) = 0;

 protected:
  ~IObjectWithSite() = default;
};

struct IMoniker;
struct IOleContainer;

struct IOleClientSite : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SaveObject() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowObject() = 0;
  virtual HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL fShow) = 0;
  virtual HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() = 0;

 protected:
  ~IOleClientSite() = default;
};

struct IServiceProvider : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryService(REFGUID guidService, REFIID riid, void** ppvObject) = 0;

 protected:
  ~IServiceProvider() = default;
};

// Only the window handle of the browser (see the limits above).
struct IWebBrowser2 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* pHWND) = 0;

 protected:
  ~IWebBrowser2() = default;
};
