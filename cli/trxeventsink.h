// The bridge's receiver of the service's outgoing _INVTRXEvents.
//
// A dispatch object that takes Record(trxODS, eventName, pArgs) calls
// (dispatch id 1, arguments in the DISPPARAMS order of a late-bound call:
// rgvarg[2] the descriptor, rgvarg[1] the event name, rgvarg[0] the
// arguments, usually VT_BYREF|VT_VARIANT) and queues each as one JSON line
// {"event":"Record","trxODS":...,"eventName":...,"pArgs":{...}}. The bridge
// takes the queued lines after every call and writes them before the
// call's reply. Calls may come from any thread.
//
// Hook-up: the service hands its events to every sink advised at its
// connection point for DIID__INVTRXEvents. Connect finds that point
// (IConnectionPointContainer::FindConnectionPoint) and advises the sink
// there; Disconnect unadvises it. While connected the service holds a
// reference to the sink, so whoever connects it disconnects it when done
// (the bridge does when it ends). Connect reports false, and the sink
// stays idle, when the service offers no such connection point.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/trxplatform.h"
#include "service/nvtrxinterfaces.h"

class TrxEventSink final : public IDispatch {
 public:
  // A new sink (one reference).
  static TrxComPtr<TrxEventSink> Create();

  // Advises the sink at the service's connection point for
  // DIID__INVTRXEvents and keeps the point and the cookie (a sink already
  // connected is disconnected first). False, connected to nothing, when
  // the service is null, is no IConnectionPointContainer, has no such
  // point or refuses the advice.
  bool Connect(IUnknown* service);
  // Unadvises the sink; nothing when it is not connected.
  void Disconnect();
  bool IsConnected() const noexcept { return static_cast<bool>(m_point); }

  // The queued event lines, oldest first; the queue is emptied.
  std::vector<std::string> TakeLines();

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IDispatch ----
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  // Dispatch id 1 (Record) with three arguments queues an event; anything
  // else is DISP_E_MEMBERNOTFOUND or DISP_E_BADPARAMCOUNT.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

 private:
  TrxEventSink() = default;
  ~TrxEventSink() = default;

  std::atomic<ULONG> m_references{1};
  // The connection, used on the thread that connected.
  TrxComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
  std::mutex m_lock;
  std::vector<std::string> m_lines;
};
