// One host object of the simulated Norvik client, as the service sees it:
// an INVAutomation whose answers come from the client's description and
// current state.
//
// Objects belong to their application (CNVSimApplication): they share its
// reference count, so a reference to any object keeps the whole client
// alive, and every call goes through the application, which guards the
// client's state with one lock (requests arrive on the service's worker
// thread while properties are read on its apartment thread).
#pragma once

#include <memory>
#include <vector>

#include "host/nvsimlist.h"
#include "host/nvsimproperty.h"
#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

class CNVSimApplication;

class CNVSimObject : public INVAutomation {
 public:
  CNVSimObject(CNVSimApplication* application, LONG index);
  CNVSimObject(const CNVSimObject&) = delete;
  CNVSimObject& operator=(const CNVSimObject&) = delete;
  virtual ~CNVSimObject() = default;

  // The object's number in the description (0 for the application).
  LONG GetIndex() const noexcept { return m_index; }
  CNVSimApplication* GetApplication() const noexcept { return m_application; }

  // ---- IUnknown: IUnknown and INVAutomation ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- INVAutomation ----
  // The parent object; the application has none (E_FAIL and null).
  HRESULT STDMETHODCALLTYPE GetParent(INVAutomation** ppParent) override;
  // The visible child of that type and name; an empty or null name gives
  // the first visible child of the type. NVSIM_E_NO_OBJECT and null when
  // there is none.
  HRESULT STDMETHODCALLTYPE GetChild(AUTO_OBJECTTYPE eType, BSTR name, INVAutomation** ppChild) override;
  // The names of the visible children of the type as an array of VARIANT
  // strings; VT_EMPTY when there are none.
  HRESULT STDMETHODCALLTYPE GetChildNames(AUTO_OBJECTTYPE type, VARIANT* pNames) override;
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* pAuxParams, SHORT auxArrSize, VARIANT* pValue) override;
  // A two-column table (name, value) of every property the object answers.
  HRESULT STDMETHODCALLTYPE GetAllProperties(VARIANT* pProperties) override;
  HRESULT STDMETHODCALLTYPE HandleAutoRequest(AUTO_REQID eReqId, VARIANT vParam, VARIANT* pResult) override;
  // The error of the last request the client processed (0 and an empty
  // text when it succeeded); the same for every object of the client.
  HRESULT STDMETHODCALLTYPE GetLastErrorCode(SHORT* pCode) override;
  HRESULT STDMETHODCALLTYPE GetLastErrorText(BSTR* pText) override;

 private:
  friend class CNVSimApplication;

  CNVSimApplication* m_application;
  const LONG m_index;
  // State, guarded by the application's lock.
  std::vector<CNVSimProperty> m_properties;
  bool m_visible = true;
  std::unique_ptr<CNVSimList> m_list;  // the rows of a list control
};
