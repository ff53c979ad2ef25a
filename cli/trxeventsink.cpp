#include "cli/trxeventsink.h"

#include "cli/trxjsontext.h"

namespace {

// The text of a string argument; null when it is neither a string nor
// convertible to one.
TrxJson TextArgument(const VARIANT& argument) {
  TrxVariant text;
  if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&argument), 0, VT_BSTR))) return nullptr;
  return TrxBstrToJson(text.bstrVal);
}

}  // namespace

TrxComPtr<TrxEventSink> TrxEventSink::Create() {
  TrxComPtr<TrxEventSink> sink;
  sink.Attach(new TrxEventSink());
  return sink;
}

bool TrxEventSink::Connect(IUnknown* service) {
  Disconnect();
  if (!service) return false;
  TrxComPtr<IConnectionPointContainer> container;
  if (FAILED(service->QueryInterface(IID_IConnectionPointContainer, container.PutVoid())) || !container) return false;
  TrxComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(DIID__INVTRXEvents, point.Put())) || !point) return false;
  DWORD cookie = 0;
  if (FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie))) return false;
  m_point = point;
  m_cookie = cookie;
  return true;
}

void TrxEventSink::Disconnect() {
  if (!m_point) return;
  TrxComPtr<IConnectionPoint> point = std::move(m_point);
  const DWORD cookie = m_cookie;
  m_cookie = 0;
  point->Unadvise(cookie);
}

std::vector<std::string> TrxEventSink::TakeLines() {
  std::lock_guard<std::mutex> hold(m_lock);
  std::vector<std::string> lines;
  lines.swap(m_lines);
  return lines;
}

HRESULT TrxEventSink::QueryInterface(REFIID riid, void** ppv) {
  IDispatch* self = this;
  return TrxQueryInterface(ppv, riid, {{IID_IUnknown, self}, {IID_IDispatch, self}, {DIID__INVTRXEvents, self}});
}

ULONG TrxEventSink::AddRef() { return ++m_references; }

ULONG TrxEventSink::Release() {
  const ULONG references = --m_references;
  if (references == 0) delete this;
  return references;
}

HRESULT TrxEventSink::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT TrxEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT TrxEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT TrxEventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*, EXCEPINFO*,
                             UINT*) {
  if (dispIdMember != DISPID_INVTRXEVENTS_RECORD) return DISP_E_MEMBERNOTFOUND;
  if (!pDispParams || pDispParams->cArgs != 3 || !pDispParams->rgvarg) return DISP_E_BADPARAMCOUNT;
  const VARIANT& arguments = pDispParams->rgvarg[0];
  TrxJson line = TrxJson::object();
  line["event"] = "Record";
  line["trxODS"] = TextArgument(pDispParams->rgvarg[2]);
  line["eventName"] = TextArgument(pDispParams->rgvarg[1]);
  if (arguments.vt == (VT_BYREF | VT_VARIANT) && arguments.pvarVal)
    line["pArgs"] = TrxVariantToJson(*arguments.pvarVal);
  else
    line["pArgs"] = TrxVariantToJson(arguments);
  std::lock_guard<std::mutex> hold(m_lock);
  m_lines.push_back(TrxJsonLine(line));
  return S_OK;
}
