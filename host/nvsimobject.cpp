#include "host/nvsimobject.h"

#include "host/nvsimapplication.h"

CNVSimObject::CNVSimObject(CNVSimApplication* application, LONG index) : m_application(application), m_index(index) {}

HRESULT CNVSimObject::QueryInterface(REFIID riid, void** ppv) {
  INVAutomation* self = this;
  return TrxQueryInterface(ppv, riid, {{IID_IUnknown, self}, {IID_INVAutomation, self}});
}

ULONG CNVSimObject::AddRef() { return m_application->AddRef(); }

ULONG CNVSimObject::Release() { return m_application->Release(); }

HRESULT CNVSimObject::GetParent(INVAutomation** ppParent) {
  if (!ppParent) return E_POINTER;
  return m_application->ObjectParent(*this, ppParent);
}

HRESULT CNVSimObject::GetChild(AUTO_OBJECTTYPE eType, BSTR name, INVAutomation** ppChild) {
  if (!ppChild) return E_POINTER;
  return m_application->ObjectChild(*this, eType, TrxBstrView(name), ppChild);
}

HRESULT CNVSimObject::GetChildNames(AUTO_OBJECTTYPE type, VARIANT* pNames) {
  if (!pNames) return E_POINTER;
  return m_application->ObjectChildNames(*this, type, pNames);
}

HRESULT CNVSimObject::GetProperty(BSTR name, VARIANT* pAuxParams, SHORT auxArrSize, VARIANT* pValue) {
  if (!pValue) return E_POINTER;
  return m_application->ObjectProperty(*this, TrxBstrView(name), pAuxParams, auxArrSize, pValue);
}

HRESULT CNVSimObject::GetAllProperties(VARIANT* pProperties) {
  if (!pProperties) return E_POINTER;
  return m_application->ObjectAllProperties(*this, pProperties);
}

HRESULT CNVSimObject::HandleAutoRequest(AUTO_REQID eReqId, VARIANT vParam, VARIANT* pResult) {
  return m_application->ObjectRequest(*this, eReqId, vParam, pResult);
}

HRESULT CNVSimObject::GetLastErrorCode(SHORT* pCode) {
  if (!pCode) return E_POINTER;
  return m_application->LastErrorCode(pCode);
}

HRESULT CNVSimObject::GetLastErrorText(BSTR* pText) {
  if (!pText) return E_POINTER;
  return m_application->LastErrorText(pText);
}
