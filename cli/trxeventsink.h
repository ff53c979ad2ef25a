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
// Hook-up: the service hands its events to every sink connected at its
// connection point for DIID__INVTRXEvents. The bridge passes this sink to
// TrxEventSink::Connect right after creating the service; until the service
// offers that connection point Connect reports that nothing was connected
// and the sink stays idle (tests call Invoke directly).
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

  // Connects the sink to the service's event source; false when the
  // service offers none.
  bool Connect(IUnknown* service);

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
  std::mutex m_lock;
  std::vector<std::string> m_lines;
};
