// The facade's connection point for its outgoing _INVTRXEvents.
//
// Tools connect a dispatch sink with Advise and receive every Record the
// service fires, in the order they connected. The connection point lives
// inside the facade: its references are the facade's (so a tool holding
// the connection point keeps the facade alive) and GetConnectionPointContainer
// hands back the facade. Sinks may connect and disconnect from any thread;
// firing calls a snapshot of the sinks outside the lock, so a sink may
// disconnect itself (or another) from inside its own Record.
#pragma once

#include <vector>

#include "platform/trxplatform.h"

class CNVTRXConnectionPoint final : public IConnectionPoint {
 public:
  // `container` owns this object and answers its reference counting.
  CNVTRXConnectionPoint(IConnectionPointContainer* container, REFIID eventInterface);
  CNVTRXConnectionPoint(const CNVTRXConnectionPoint&) = delete;
  CNVTRXConnectionPoint& operator=(const CNVTRXConnectionPoint&) = delete;
  ~CNVTRXConnectionPoint();

  // ---- IUnknown (IUnknown, IConnectionPoint; counted on the container) ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IConnectionPoint ----
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  // The sink must offer the event interface or IDispatch
  // (CONNECT_E_CANNOTCONNECT otherwise); cookies start at 1 and are never
  // reused.
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  // CONNECT_E_NOCONNECTION for a cookie that is not connected.
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
  // Not supported: E_NOTIMPL.
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

  // The connected sinks, in connection order, each with a reference.
  std::vector<TrxComPtr<IDispatch>> GetSinks() const;
  size_t GetSinkCount() const;
  // Drops every connection (the facade going away).
  void DisconnectAll();

 private:
  struct Connection {
    DWORD cookie;
    TrxComPtr<IDispatch> sink;
  };

  IConnectionPointContainer* m_container;
  IID m_eventInterface;
  mutable TrxCriticalSection m_lock;
  std::vector<Connection> m_connections;
  DWORD m_nextCookie = 1;
};
