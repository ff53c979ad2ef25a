#include "support/trxfakehost.h"

#include "model/nvtrxarray.h"

FakeHostObject::FakeHostObject(AUTO_OBJECTTYPE type, TrxString name)
    : m_hangRelease(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_idle(CreateEventW(nullptr, TRUE, FALSE, OLESTR("NWEAutoSynchroEvt"))) {
  m_properties[OLESTR("ObjType")] = TrxVariant::FromI4(type);
  m_properties[OLESTR("Name")] = TrxVariant::FromString(name);
  m_properties[OLESTR("LastOperationTime")] = TrxVariant::FromI4(25);
#ifdef _WIN32
  CoCreateFreeThreadedMarshaler(static_cast<INVAutomation*>(this), m_freeThreadedMarshaler.Put());
#endif
}

FakeHostObject::~FakeHostObject() {
  for (FakeHostObject* child : m_children) child->Release();
}

FakeHostObject* FakeHostObject::AddChild(AUTO_OBJECTTYPE type, TrxString name) {
  FakeHostObject* child = new FakeHostObject(type, std::move(name));
  child->m_parent = this;
  std::lock_guard<std::mutex> lock(m_lock);
  m_children.push_back(child);
  return child;
}

void FakeHostObject::SetProperty(const TrxString& name, const VARIANT& value) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_properties[name] = value;
}
void FakeHostObject::SetProperty(const TrxString& name, const OLECHAR* text) {
  SetProperty(name, TrxVariant::FromString(text));
}
void FakeHostObject::SetProperty(const TrxString& name, LONG value) {
  SetProperty(name, TrxVariant::FromI4(value));
}
void FakeHostObject::FailProperty(const TrxString& name, HRESULT status) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_failingProperties[name] = status;
}
void FakeHostObject::FailRequests(HRESULT status) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_requestStatus = status;
}
void FakeHostObject::SetLastError(SHORT code, const TrxString& text) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_errorCode = code;
  m_errorText = text;
}
void FakeHostObject::SetSignalsIdle(bool signals) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_signalsIdle = signals;
  if (signals) {
    SetEvent(m_idle.Get());
  } else {
    ResetEvent(m_idle.Get());
  }
}
void FakeHostObject::HangRequests(bool hang) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_hang = hang;
  ResetEvent(m_hangRelease.Get());
}
void FakeHostObject::SetRequestDuration(DWORD milliseconds) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_duration = milliseconds;
}
void FakeHostObject::ReleaseHang() { SetEvent(m_hangRelease.Get()); }

std::vector<FakeHostObject::Request> FakeHostObject::Journal() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_journal;
}

HRESULT FakeHostObject::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_INVAutomation)) {
    *ppv = static_cast<INVAutomation*>(this);
    AddRef();
    return S_OK;
  }
#ifdef _WIN32
  if (IsEqualIID(riid, IID_IMarshal) && m_freeThreadedMarshaler)
    return m_freeThreadedMarshaler->QueryInterface(riid, ppv);
#endif
  *ppv = nullptr;
  return E_NOINTERFACE;
}
ULONG FakeHostObject::AddRef() { return ++m_refs; }
ULONG FakeHostObject::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

HRESULT FakeHostObject::GetParent(INVAutomation** ppParent) {
  *ppParent = m_parent;
  if (m_parent) m_parent->AddRef();
  return m_parent ? S_OK : E_FAIL;
}

HRESULT FakeHostObject::GetChild(AUTO_OBJECTTYPE eType, BSTR name, INVAutomation** ppChild) {
  std::lock_guard<std::mutex> lock(m_lock);
  *ppChild = nullptr;
  const TrxStringView wanted = TrxBstrView(name);
  for (FakeHostObject* child : m_children) {
    if (child->m_properties[OLESTR("ObjType")].lVal != eType) continue;
    if (TrxBstrView(child->m_properties[OLESTR("Name")].bstrVal) != wanted) continue;
    child->AddRef();
    *ppChild = child;
    return S_OK;
  }
  return E_FAIL;
}

HRESULT FakeHostObject::GetChildNames(AUTO_OBJECTTYPE type, VARIANT* pNames) {
  std::lock_guard<std::mutex> lock(m_lock);
  std::vector<TrxString> names;
  for (FakeHostObject* child : m_children)
    if (child->m_properties[OLESTR("ObjType")].lVal == type)
      names.emplace_back(TrxBstrView(child->m_properties[OLESTR("Name")].bstrVal));
  VariantInit(pNames);
  if (names.empty()) return S_OK;
  if (m_nameShape == NameShape::SingleString) {
    pNames->vt = VT_BSTR;
    pNames->bstrVal = SysAllocStringLen(names[0].data(), static_cast<UINT>(names[0].size()));
    return S_OK;
  }
  const VARTYPE element = m_nameShape == NameShape::StringArray ? VT_BSTR : VT_VARIANT;
  SAFEARRAY* array = SafeArrayCreateVector(element, 0, static_cast<ULONG>(names.size()));
  for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i) {
    TrxVariant v = TrxVariant::FromString(names[static_cast<size_t>(i)]);
    SafeArrayPutElement(array, &i, element == VT_BSTR ? static_cast<void*>(v.bstrVal) : static_cast<void*>(&v));
  }
  pNames->vt = static_cast<VARTYPE>(VT_ARRAY | element);
  pNames->parray = array;
  return S_OK;
}

HRESULT FakeHostObject::GetProperty(BSTR name, VARIANT* pAuxParams, SHORT, VARIANT* pValue) {
  (void)pAuxParams;
  std::lock_guard<std::mutex> lock(m_lock);
  const TrxString key(TrxBstrView(name));
  auto failing = m_failingProperties.find(key);
  if (failing != m_failingProperties.end()) return failing->second;
  auto it = m_properties.find(key);
  VariantInit(pValue);
  if (it == m_properties.end()) return S_OK;
  return VariantCopy(pValue, &it->second);
}

HRESULT FakeHostObject::GetAllProperties(VARIANT* pProperties) {
  VariantInit(pProperties);
  return E_NOTIMPL;
}

HRESULT FakeHostObject::HandleAutoRequest(AUTO_REQID eReqId, VARIANT vParam, VARIANT* pResult) {
  HRESULT status;
  bool hang;
  DWORD duration;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_journal.push_back({eReqId, TrxNarrow(CNVTRXArray(&vParam).ToText()), GetCurrentThreadId()});
    status = m_requestStatus;
    hang = m_hang;
    duration = m_duration;
    ResetEvent(m_idle.Get());
  }
  if (hang) WaitForSingleObject(m_hangRelease.Get(), INFINITE);
  if (duration) Sleep(duration);
  VariantInit(pResult);
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_signalsIdle) SetEvent(m_idle.Get());
  return status;
}

HRESULT FakeHostObject::GetLastErrorCode(SHORT* pCode) {
  std::lock_guard<std::mutex> lock(m_lock);
  *pCode = m_errorCode;
  return S_OK;
}

HRESULT FakeHostObject::GetLastErrorText(BSTR* pText) {
  std::lock_guard<std::mutex> lock(m_lock);
  *pText = SysAllocStringLen(m_errorText.data(), static_cast<UINT>(m_errorText.size()));
  return S_OK;
}

// ---- the test automation class ------------------------------------------------------

TestAutomation::TestAutomation(TrxStringView name, CNVTRXAutomation* parent, TrxStringView className,
                               INVAutomation* host)
    : CNVTRXAutomation(name, parent) {
  m_strClassName = TrxString(className);
  m_spNWEAuto = host;
  AddPropertyMapping(OLESTR("Name"), VT_BSTR, OLESTR("Name"), VT_BSTR, TRXPROP_HOST, OLESTR("name"));
  AddPropertyMapping(OLESTR("HtmlId"), VT_BSTR, OLESTR("HtmlId"), VT_BSTR, TRXPROP_HOST, OLESTR("element id"));
  AddMethodMapping(OLESTR("Click"), VT_EMPTY, REQID_BUTTONCLICK, VT_EMPTY, TRXMETHOD_REQUEST, OLESTR("click"));
  AddMethodMapping(OLESTR("SetText"), VT_BSTR, REQID_SETVALUE, VT_EMPTY, TRXMETHOD_FOCUS_WRAPPED, OLESTR("set text"));
  AddMethodMapping(OLESTR("Select"), VT_BSTR, REQID_SELECTITEM, VT_EMPTY, TRXMETHOD_FOCUS_FIRST, OLESTR("select"));
}

TrxString TestAutomation::ClassFor(LONG objectType) {
  static const std::pair<LONG, const OLECHAR*> kClasses[] = {
      {OBJTYPE_APPLICATION, OLESTR("NorvApplication")}, {OBJTYPE_MENU, OLESTR("NorvMenu")},
      {OBJTYPE_TOOLBAR, OLESTR("NorvToolbar")},         {OBJTYPE_VIEW, OLESTR("NorvView")},
      {OBJTYPE_APPLET, OLESTR("NorvApplet")},           {OBJTYPE_CONTROL, OLESTR("NorvText")},
      {OBJTYPE_LISTCONTROL, OLESTR("NorvList")}};
  for (const auto& [type, className] : kClasses) {
    if (type == objectType) return className;
  }
  return OLESTR("NorvUnknown");
}

TRXRESULT TestAutomation::OnBuildHierarchy(INVAutomation* pNWEAuto, LONG, LONG objectType, INVPropertySet*,
                                           CNVTRXAutomation** ppChild) {
  TrxVariant aux, name;
  TrxBstr property(OLESTR("Name"));
  pNWEAuto->GetProperty(property.Get(), &aux, 0, &name);
  if (name.vt != VT_BSTR) return TRX_E_CREATE_OBJECT;
  *ppChild = new TestAutomation(TrxBstrView(name.bstrVal), this, ClassFor(objectType), pNWEAuto);
  return TRX_OK;
}

TRXRESULT TestAutomation::CreateChild(TrxStringView className, TrxStringView repositoryName,
                                      CNVTRXAutomation** ppChild) {
  if (CNVTRXAutomation* existing = FindChild(className, repositoryName)) {
    *ppChild = existing;
    return TRX_OK;
  }
  for (LONG type = OBJTYPE_APPLICATION; type < OBJTYPE_NUMTYPES; ++type) {
    if (ClassFor(type) != className) continue;
    TrxComPtr<INVAutomation> host;
    TrxBstr name(repositoryName);
    if (m_spNWEAuto && SUCCEEDED(m_spNWEAuto->GetChild(static_cast<AUTO_OBJECTTYPE>(type), name.Get(), host.Put())) &&
        host) {
      *ppChild = new TestAutomation(repositoryName, this, className, host.Get());
      return TRX_OK;
    }
  }
  return CNVTRXAutomation::CreateChild(className, repositoryName, ppChild);
}

void TrxHostTest::SetUp() {
  // The test thread plays the service's apartment thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CNVTRXLog::SetVerbose(false);
  CNVTRXLog::DiscardQueue();
  m_state = std::make_unique<CNVTRXServiceState>();
  m_app = new FakeHostObject(OBJTYPE_APPLICATION, OLESTR("Norvik CRM"));
  m_app->SetSignalsIdle(true);
  m_root = std::make_unique<TestAutomation>(OLESTR("Norvik"), nullptr, OLESTR("NorvApplication"), m_app);
}

void TrxHostTest::TearDown() {
  m_root.reset();
  m_app->Release();
  m_state.reset();
  CNVTRXLog::DiscardQueue();
  CoUninitialize();
}

CNVTRXAutomation* TrxHostTest::Build(CNVTRXAutomation* parent, FakeHostObject* host) {
  CNVTRXAutomation* child = nullptr;
  EXPECT_EQ(parent->CreateChildFromNWE(host, &child), TRX_OK);
  return child;
}
