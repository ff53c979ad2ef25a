#include "nvsimtestsupport.h"

#include <string_view>

#include "host/nvsimcallwindow.h"

TrxString NVSimSamplePath() {
  std::string file = __FILE__;
  const size_t tests = file.rfind("tests/host/");
  return TrxWiden(file.substr(0, tests) + "samples/crm.xml");
}

TrxComPtr<CNVSimApplication> NVSimLoadSample() {
  CNVSimLoadError error;
  TrxComPtr<CNVSimApplication> application = CNVSimApplication::Load(NVSimSamplePath(), error);
  EXPECT_TRUE(application) << TrxNarrow(error.ToText());
  return application;
}

TrxComPtr<CNVSimApplication> NVSimFromText(const std::string& utf8) {
  CNVSimLoadError error;
  auto description = CNVSimDescription::LoadText(TrxWiden(utf8), u"test.xml", error);
  EXPECT_TRUE(description) << TrxNarrow(error.ToText());
  return CNVSimApplication::Create(description);
}

CNVSimLoadError NVSimLoadErrorOf(const std::string& utf8) {
  CNVSimLoadError error;
  CNVSimDescription::LoadText(TrxWiden(utf8), u"test.xml", error);
  return error;
}

std::string NVSimText(TrxStringView text) { return TrxNarrow(text); }

std::string NVSimText(const VARIANT& value) { return TrxNarrow(CNVSimValue::VariantText(value)); }

std::vector<std::string> NVSimItems(const VARIANT& value) {
  std::vector<std::string> items;
  CNVSimValue converted;
  if (!CNVSimValue::FromVariant(value, converted)) return items;
  for (const TrxVariant& item : converted.GetItems()) items.push_back(NVSimText(item));
  return items;
}

TrxComPtr<INVAutomation> NVSimChild(INVAutomation* parent, AUTO_OBJECTTYPE type, const std::string& name) {
  TrxComPtr<INVAutomation> child;
  TrxBstr childName(TrxWiden(name));
  parent->GetChild(type, childName.Get(), child.Put());
  return child;
}

TrxVariant NVSimProperty(INVAutomation* object, const std::string& name) {
  TrxVariant value;
  TrxBstr property(TrxWiden(name));
  EXPECT_EQ(object->GetProperty(property.Get(), nullptr, 0, &value), S_OK) << name;
  return value;
}

TrxVariant NVSimArray(std::vector<TrxVariant> values) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
  for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) SafeArrayPutElement(array, &i, &values[i]);
  return TrxVariant::FromArray(array, VT_VARIANT);
}

HRESULT NVSimRequest(INVAutomation* object, LONG request, const std::vector<std::string>& arguments) {
  std::vector<TrxVariant> items;
  for (const std::string& argument : arguments) items.push_back(TrxVariant::FromString(TrxWiden(argument)));
  TrxVariant result;
  return object->HandleAutoRequest(static_cast<AUTO_REQID>(request), NVSimArray(std::move(items)), &result);
}

std::string NVSimRead(CNVSimApplication* app, TrxStringView path, TrxStringView property) {
  TrxVariant value;
  EXPECT_EQ(app->ReadProperty(path, property, value), S_OK) << NVSimText(path) << " " << NVSimText(property);
  if (!(value.vt & VT_ARRAY)) return NVSimText(value);
  std::string joined;
  for (const std::string& item : NVSimItems(value)) joined += (joined.empty() ? "" : "|") + item;
  return joined;
}

std::string NVSimLastError(INVAutomation* object) {
  SHORT code = -1;
  TrxBstr text;
  EXPECT_EQ(object->GetLastErrorCode(&code), S_OK);
  EXPECT_EQ(object->GetLastErrorText(text.Put()), S_OK);
  return std::to_string(code) + " " + NVSimText(text.View());
}

// ---- the service's apartment thread -------------------------------------------------

NVSimServiceThread::NVSimServiceThread() {
  m_thread = std::thread([this] {
    CNVSimCallWindow window;
    m_id = GetCurrentThreadId();
    m_window = window.GetHandle();
    SetEvent(m_ready.Get());
    WaitForSingleObject(m_pump.Get(), INFINITE);
    HANDLE stop = m_stop.Get();
    if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return;  // ends without ever pumping
    for (;;) {
      const DWORD woken = MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
      if (woken == WAIT_OBJECT_0) break;
      CNVSimCallWindow::PumpMessages();
    }
  });
  WaitForSingleObject(m_ready.Get(), 10000);
}

NVSimServiceThread::~NVSimServiceThread() {
  SetEvent(m_pump.Get());
  SetEvent(m_stop.Get());
  if (m_thread.joinable()) m_thread.join();
}

void NVSimServiceThread::EndWithoutPumping() {
  SetEvent(m_stop.Get());
  SetEvent(m_pump.Get());
  m_thread.join();
}

void NVSimServiceThread::StartPumping() { SetEvent(m_pump.Get()); }

bool NVSimServiceThread::RunAfterPostedCalls(std::function<void()> work, DWORD milliseconds) {
  auto call = CNVSimCallWindow::Post(Window(), [work = std::move(work)] {
    work();
    return S_OK;
  });
  return call->Wait(milliseconds) && call->GetResult() == S_OK;
}

// ---- the service stand-in ------------------------------------------------------------

TrxComPtr<NVSimFakeService> NVSimFakeService::Create() {
  TrxComPtr<NVSimFakeService> service;
  service.Attach(new NVSimFakeService());
  return service;
}

void NVSimFakeService::SetRegistersOnAttach(bool registers) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_registers = registers;
}

void NVSimFakeService::SetAttachStatus(HRESULT status) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_attachStatus = status;
}

std::vector<NVSimFakeService::Call> NVSimFakeService::Calls() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_calls;
}

std::vector<std::string> NVSimFakeService::Methods() const {
  std::vector<std::string> methods;
  for (const Call& call : Calls()) methods.push_back(call.method);
  return methods;
}

void NVSimFakeService::Record(Call call) {
  call.thread = GetCurrentThreadId();
  std::lock_guard<std::mutex> lock(m_lock);
  m_calls.push_back(std::move(call));
}

HRESULT NVSimFakeService::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_INVTRX)) {
    *ppv = static_cast<INVTRX*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG NVSimFakeService::AddRef() { return ++m_references; }

ULONG NVSimFakeService::Release() {
  const ULONG references = --m_references;
  if (references == 0) delete this;
  return references;
}

HRESULT NVSimFakeService::GetTypeInfoCount(UINT* pctinfo) { return *pctinfo = 0, S_OK; }
HRESULT NVSimFakeService::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) { return *ppTInfo = nullptr, E_NOTIMPL; }
HRESULT NVSimFakeService::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT NVSimFakeService::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

HRESULT NVSimFakeService::AttachAppObject(IDispatch* pDisp) {
  Record({"AttachAppObject", 0, 0, 0, nullptr, {}, pDisp});
  bool registers;
  HRESULT status;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    registers = m_registers;
    status = m_attachStatus;
  }
  TrxComPtr<INVAppControl> control;
  if (registers && pDisp && SUCCEEDED(pDisp->QueryInterface(IID_INVAppControl, control.PutVoid()))) {
    const HRESULT registered = control->RegisterTRX(static_cast<INVTRX*>(this));
    if (FAILED(registered)) return registered;
  }
  return status;
}

HRESULT NVSimFakeService::OnUnload() {
  Record({"OnUnload", 0, 0, 0, nullptr, {}, nullptr});
  return S_OK;
}

HRESULT NVSimFakeService::FireRecorderEvent(LONG eventId, INVAutomation* pEventObj, LONG eventObjType,
                                            INVPropertySet* pArgs) {
  Call call{"FireRecorderEvent", 0, eventId, eventObjType, pEventObj, {}, nullptr};
  TrxBstr name, value;
  for (HRESULT hr = pArgs ? pArgs->GetFirstProperty(name.Put()) : S_FALSE; hr == S_OK;
       hr = pArgs->GetNextProperty(name.Put())) {
    pArgs->GetProperty(name.Get(), value.Put());
    call.arguments.emplace_back(TrxNarrow(name.View()), TrxNarrow(value.View()));
  }
  Record(call);
  return S_OK;
}

HRESULT NVSimFakeService::OnAppReady(IDispatch* pDisp) {
  Record({"OnAppReady", 0, 0, 0, nullptr, {}, pDisp});
  return S_OK;
}
