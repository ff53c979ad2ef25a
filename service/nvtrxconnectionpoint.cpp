#include "service/nvtrxconnectionpoint.h"

#include <algorithm>

CNVTRXConnectionPoint::CNVTRXConnectionPoint(IConnectionPointContainer* container, REFIID eventInterface)
    : m_container(container), m_eventInterface(eventInterface) {}

CNVTRXConnectionPoint::~CNVTRXConnectionPoint() = default;

HRESULT CNVTRXConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  IConnectionPoint* self = this;
  return TrxQueryInterface(ppv, riid, {{IID_IUnknown, self}, {IID_IConnectionPoint, self}});
}

ULONG CNVTRXConnectionPoint::AddRef() { return m_container->AddRef(); }

ULONG CNVTRXConnectionPoint::Release() { return m_container->Release(); }

HRESULT CNVTRXConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (!pIID) return E_POINTER;
  *pIID = m_eventInterface;
  return S_OK;
}

HRESULT CNVTRXConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = m_container;
  m_container->AddRef();
  return S_OK;
}

HRESULT CNVTRXConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pUnkSink) return E_POINTER;
  TrxComPtr<IDispatch> sink;
  if (FAILED(pUnkSink->QueryInterface(m_eventInterface, sink.PutVoid())) || !sink) {
    if (FAILED(pUnkSink->QueryInterface(IID_IDispatch, sink.PutVoid())) || !sink) return CONNECT_E_CANNOTCONNECT;
  }
  TrxLock hold(m_lock);
  if (m_nextCookie == 0) return CONNECT_E_ADVISELIMIT;  // every cookie has been handed out
  *pdwCookie = m_nextCookie++;
  m_connections.push_back(Connection{*pdwCookie, std::move(sink)});
  return S_OK;
}

HRESULT CNVTRXConnectionPoint::Unadvise(DWORD dwCookie) {
  TrxComPtr<IDispatch> released;  // released after the lock is left
  {
    TrxLock hold(m_lock);
    auto found = std::find_if(m_connections.begin(), m_connections.end(),
                              [dwCookie](const Connection& connection) { return connection.cookie == dwCookie; });
    if (found == m_connections.end()) return CONNECT_E_NOCONNECTION;
    released = std::move(found->sink);
    m_connections.erase(found);
  }
  return S_OK;
}

HRESULT CNVTRXConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

std::vector<TrxComPtr<IDispatch>> CNVTRXConnectionPoint::GetSinks() const {
  TrxLock hold(m_lock);
  std::vector<TrxComPtr<IDispatch>> sinks;
  sinks.reserve(m_connections.size());
  for (const Connection& connection : m_connections) sinks.push_back(connection.sink);
  return sinks;
}

size_t CNVTRXConnectionPoint::GetSinkCount() const {
  TrxLock hold(m_lock);
  return m_connections.size();
}

void CNVTRXConnectionPoint::DisconnectAll() {
  std::vector<Connection> released;
  {
    TrxLock hold(m_lock);
    released.swap(m_connections);
  }
}
