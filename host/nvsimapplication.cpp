#include "host/nvsimapplication.h"

#include <algorithm>
#include <chrono>

#include "host/nvsimcallwindow.h"
#include "host/nvsimnames.h"
#include "host/nvsimpropertyset.h"
#include "host/nvsimstatus.h"
#include "model/nvtrxarray.h"

namespace {

const OLECHAR kIdleEventName[] = OLESTR("NWEAutoSynchroEvt");

// The elements of a request parameter or of auxiliary parameters, as text:
// the rows of an array (first column of a two-dimensional one), or the
// single value.
std::vector<TrxString> ArgumentTexts(const VARIANT* parameter) {
  std::vector<TrxString> texts;
  if (!parameter) return texts;
  const VARIANT* v = parameter;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  if (v->vt == VT_EMPTY || v->vt == VT_NULL) return texts;
  if (v->vt & VT_ARRAY) {
    CNVTRXArray table(v);
    const LONG count = table.GetCount();
    for (LONG i = 0; i < count; ++i) texts.push_back(CNVSimValue::VariantText(table.GetAt(i, 0)));
    return texts;
  }
  texts.push_back(CNVSimValue::VariantText(*v));
  return texts;
}

// The parameter as the service's traces write it.
TrxString ArgumentText(const VARIANT& parameter, const std::vector<TrxString>& texts) {
  CNVTRXArray table(&parameter);
  if (table.GetCount() > 0 || texts.empty()) return table.ToText();
  return OLESTR("(") + texts.front() + OLESTR(")");
}

TrxString JoinKey(const std::vector<TrxString>& parts) {
  TrxString key;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) key += '|';
    key += parts[i];
  }
  return key;
}

TrxString StatusSuffix(HRESULT status) {
  return SUCCEEDED(status) ? TrxString() : OLESTR(" failed 0x") + TrxHex(static_cast<uint32_t>(status));
}

}  // namespace

// ---- creation and lifetime ------------------------------------------------------------

CNVSimApplication::CNVSimApplication(std::shared_ptr<const CNVSimDescription> description)
    : CNVSimObject(this, 0), m_description(std::move(description)) {
  const auto& defs = m_description->GetObjects();
  m_objects.resize(defs.size(), nullptr);
  m_objects[0] = this;
  for (size_t i = 1; i < defs.size(); ++i) {
    m_ownedObjects.push_back(std::make_unique<CNVSimObject>(this, static_cast<LONG>(i)));
    m_objects[i] = m_ownedObjects.back().get();
  }
  for (size_t i = 0; i < defs.size(); ++i) {
    m_objects[i]->m_properties = defs[i].properties;
    m_objects[i]->m_visible = defs[i].visible;
  }
  m_activeScreen = m_description->GetStartScreen();
  if (m_activeScreen >= 0) m_currentView = m_description->GetScreens()[static_cast<size_t>(m_activeScreen)].defaultView;
  m_registrationStatus = m_description->GetRegistrationStatus();
  m_controlInterface = m_description->OffersControlInterface();
  // The service may have made the event already; either way it starts
  // signalled: the client is idle.
  m_idleEvent.Attach(CreateEventW(nullptr, TRUE, TRUE, kIdleEventName));
  TrxLock lock(m_lock);
  UpdateIdleLocked();
}

CNVSimApplication::~CNVSimApplication() {
  {
    std::lock_guard<std::mutex> lock(m_timerLock);
    m_timerStop = true;
  }
  m_timerChanged.notify_all();
  if (m_timer.joinable()) m_timer.join();
}

TrxComPtr<CNVSimApplication> CNVSimApplication::Create(std::shared_ptr<const CNVSimDescription> description) {
  TrxComPtr<CNVSimApplication> application;
  if (description) application.Attach(new CNVSimApplication(std::move(description)));
  return application;
}

TrxComPtr<CNVSimApplication> CNVSimApplication::Load(TrxStringView path, CNVSimLoadError& error) {
  return Create(CNVSimDescription::LoadFile(path, error));
}

// ---- IUnknown, IDispatch -----------------------------------------------------------

HRESULT CNVSimApplication::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_INVAutomation)) {
    *ppv = static_cast<INVAutomation*>(this);
  } else if (IsEqualIID(riid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
  } else if (IsEqualIID(riid, IID_INVAppControl)) {
    TrxLock lock(m_lock);
    if (!m_controlInterface) return E_NOINTERFACE;
    *ppv = static_cast<INVAppControl*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CNVSimApplication::AddRef() { return ++m_references; }

ULONG CNVSimApplication::Release() {
  const ULONG references = --m_references;
  if (references == 0) delete this;
  return references;
}

HRESULT CNVSimApplication::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT CNVSimApplication::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CNVSimApplication::GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) {
  for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT CNVSimApplication::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}

// ---- INVAppControl --------------------------------------------------------------------

HRESULT CNVSimApplication::RegisterTRX(IUnknown* pTRX) {
  TrxLock lock(m_lock);
  HRESULT status = m_registrationStatus;
  if (SUCCEEDED(status)) {
    TrxComPtr<INVTRX> service;
    status = pTRX ? pTRX->QueryInterface(IID_INVTRX, service.PutVoid()) : E_POINTER;
    if (SUCCEEDED(status)) m_registered = service;
  }
  LogControl(OLESTR("RegisterTRX") + StatusSuffix(status));
  return status;
}

HRESULT CNVSimApplication::EnableRecorder(VARIANT vEnable) {
  TrxLock lock(m_lock);
  HRESULT status = m_recorderSwitchStatus;
  TrxVariant flag;
  if (SUCCEEDED(status) && FAILED(flag.ChangeType(VT_BOOL, &vEnable))) status = E_INVALIDARG;
  if (SUCCEEDED(status)) m_recorderOn = flag.boolVal != VARIANT_FALSE;
  const bool on = SUCCEEDED(status) ? m_recorderOn : false;
  LogControl(OLESTR("EnableRecorder(") + TrxString(on ? OLESTR("TRUE") : OLESTR("FALSE")) + OLESTR(")") +
             StatusSuffix(status));
  return status;
}

HRESULT CNVSimApplication::SetOperationId(BSTR operationId) {
  TrxLock lock(m_lock);
  const HRESULT status = m_operationIdStatus;
  if (SUCCEEDED(status)) m_operationId = TrxString(TrxBstrView(operationId));
  LogControl(OLESTR("SetOperationId(") + TrxString(TrxBstrView(operationId)) + OLESTR(")") + StatusSuffix(status));
  return status;
}

// ---- the service connection -------------------------------------------------------------

HRESULT CNVSimApplication::Attach(IUnknown* service) {
  if (!service) return E_POINTER;
  TrxComPtr<INVTRX> trx;
  HRESULT status = service->QueryInterface(IID_INVTRX, trx.PutVoid());
  if (FAILED(status)) return status;
  {
    TrxLock lock(m_lock);
    UpdateIdleLocked();
  }
  IDispatch* self = static_cast<IDispatch*>(this);
  status = trx->AttachAppObject(self);
  LogControl(OLESTR("AttachAppObject") + StatusSuffix(status));
  if (FAILED(status)) return status;
  {
    TrxLock lock(m_lock);
    m_attached = trx;
  }
  status = trx->OnAppReady(self);
  LogControl(OLESTR("OnAppReady") + StatusSuffix(status));
  return status;
}

HRESULT CNVSimApplication::Ready() {
  TrxComPtr<INVTRX> trx;
  {
    TrxLock lock(m_lock);
    trx = m_attached;
    UpdateIdleLocked();
  }
  if (!trx) return E_UNEXPECTED;
  const HRESULT status = trx->OnAppReady(static_cast<IDispatch*>(this));
  LogControl(OLESTR("OnAppReady") + StatusSuffix(status));
  return status;
}

HRESULT CNVSimApplication::Unload() {
  TrxComPtr<INVTRX> trx;
  {
    TrxLock lock(m_lock);
    trx = m_attached ? m_attached : m_registered;
  }
  if (!trx) return E_UNEXPECTED;
  const HRESULT status = trx->OnUnload();
  LogControl(OLESTR("OnUnload") + StatusSuffix(status));
  TrxComPtr<INVTRX> attached, registered;  // released outside the lock
  {
    TrxLock lock(m_lock);
    attached = std::move(m_attached);
    registered = std::move(m_registered);
    m_recorderOn = false;
    m_operationId.clear();
  }
  return status;
}

TrxComPtr<INVTRX> CNVSimApplication::ServiceForEvents() const { return m_registered ? m_registered : m_attached; }

HRESULT CNVSimApplication::Play(const CNVSimUserAction& action) {
  const LONG index = m_description->FindObject(action.object);
  if (index < 0) return E_INVALIDARG;
  return PlayObject(index, action);
}

HRESULT CNVSimApplication::PlayObject(LONG index, const CNVSimUserAction& action) {
  CNVSimObject* object = nullptr;
  LONG type = 0;
  bool recorder = false;
  TrxComPtr<INVTRX> service;
  TrxString path;
  {
    TrxLock lock(m_lock);
    object = &Object(index);
    if (action.applyRules) {
      std::vector<TrxString> arguments;
      for (const auto& argument : action.arguments) arguments.push_back(argument.second);
      if (const CNVSimRule* rule = FindRuleLocked(*object, action.eventId, arguments))
        ApplyRuleLocked(*object, *rule, action.eventId, arguments, true);
    }
    recorder = m_recorderOn;
    service = ServiceForEvents();
    type = action.objectType >= 0 ? action.objectType : static_cast<LONG>(Def(index).type);
    path = Def(index).path;
  }
  if (!recorder) return S_FALSE;
  if (!service) return E_UNEXPECTED;
  TrxComPtr<CNVSimPropertySet> arguments = CNVSimPropertySet::Create(action.arguments);
  const HRESULT status = service->FireRecorderEvent(action.eventId, object, type, arguments.Get());
  LogControl(OLESTR("FireRecorderEvent(") + TrxDecimal(action.eventId) + OLESTR(",") + path + OLESTR(")") +
             StatusSuffix(status));
  return status;
}

void CNVSimApplication::SetEventWindow(HWND window) {
  TrxLock lock(m_lock);
  m_eventWindow = window;
}

HWND CNVSimApplication::GetEventWindow() const {
  TrxLock lock(m_lock);
  return m_eventWindow;
}

void CNVSimApplication::EndEcho() {
  TrxLock lock(m_lock);
  if (m_pendingEchoes > 0) --m_pendingEchoes;
  UpdateIdleLocked();
}

std::shared_ptr<CNVSimCall> CNVSimApplication::PostAttach(HWND window, IUnknown* service) {
  TrxComPtr<CNVSimApplication> self(this);
  TrxComPtr<IUnknown> target(service);
  return CNVSimCallWindow::Post(window, [self, target] { return self->Attach(target.Get()); });
}

std::shared_ptr<CNVSimCall> CNVSimApplication::PostReady(HWND window) {
  TrxComPtr<CNVSimApplication> self(this);
  return CNVSimCallWindow::Post(window, [self] { return self->Ready(); });
}

std::shared_ptr<CNVSimCall> CNVSimApplication::PostUnload(HWND window) {
  TrxComPtr<CNVSimApplication> self(this);
  return CNVSimCallWindow::Post(window, [self] { return self->Unload(); });
}

std::shared_ptr<CNVSimCall> CNVSimApplication::PostPlay(HWND window, CNVSimUserAction action) {
  TrxComPtr<CNVSimApplication> self(this);
  return CNVSimCallWindow::Post(window, [self, action = std::move(action)] { return self->Play(action); });
}

// ---- state -----------------------------------------------------------------------------

CNVSimObject* CNVSimApplication::FindObject(TrxStringView path) const {
  const LONG index = m_description->FindObject(path);
  return index < 0 ? nullptr : &Object(index);
}

TrxString CNVSimApplication::GetObjectPath(const CNVSimObject* object) const {
  return object ? Def(object->GetIndex()).path : TrxString();
}

HRESULT CNVSimApplication::ReadProperty(TrxStringView path, TrxStringView property, TrxVariant& value) {
  value.Clear();
  TrxLock lock(m_lock);
  const LONG index = m_description->FindObject(path);
  if (index < 0) return E_INVALIDARG;
  return ReadPropertyLocked(Object(index), property, TrxStringView(), &value);
}

bool CNVSimApplication::SetProperty(TrxStringView path, TrxStringView property, const VARIANT& value) {
  CNVSimValue converted;
  if (!CNVSimValue::FromVariant(value, converted)) return false;
  TrxLock lock(m_lock);
  const LONG index = m_description->FindObject(path);
  if (index < 0) return false;
  CNVSimObject& object = Object(index);
  if (CNVSimProperty* existing = FindPropertyLocked(object, property)) {
    existing->value = std::move(converted);
  } else {
    CNVSimProperty added;
    added.name = TrxString(property);
    added.value = std::move(converted);
    object.m_properties.push_back(std::move(added));
  }
  return true;
}

bool CNVSimApplication::SetVisible(TrxStringView path, bool visible) {
  TrxLock lock(m_lock);
  const LONG index = m_description->FindObject(path);
  if (index < 0) return false;
  Object(index).m_visible = visible;
  return true;
}

TrxString CNVSimApplication::GetActiveScreen() const {
  TrxLock lock(m_lock);
  return m_activeScreen < 0 ? TrxString() : m_description->GetScreens()[static_cast<size_t>(m_activeScreen)].name;
}

TrxString CNVSimApplication::GetCurrentView() const {
  TrxLock lock(m_lock);
  return m_currentView < 0 ? TrxString() : Def(m_currentView).name;
}

bool CNVSimApplication::GotoScreen(TrxStringView screen) {
  TrxLock lock(m_lock);
  const LONG index = m_description->FindScreen(screen);
  if (index < 0) return false;
  SwitchToViewLocked(m_description->GetScreens()[static_cast<size_t>(index)].defaultView);
  return true;
}

bool CNVSimApplication::GotoView(TrxStringView view) {
  TrxLock lock(m_lock);
  LONG found = -1;
  const auto& screens = m_description->GetScreens();
  // A view of the active screen first, then any screen's.
  for (size_t pass = 0; pass < 2 && found < 0; ++pass) {
    for (size_t s = 0; s < screens.size() && found < 0; ++s) {
      if ((pass == 0) != (static_cast<LONG>(s) == m_activeScreen)) continue;
      for (LONG index : screens[s].views)
        if (found < 0 && Def(index).name == view) found = index;
    }
  }
  if (found < 0) return false;
  SwitchToViewLocked(found);
  return true;
}

void CNVSimApplication::SwitchToViewLocked(LONG view) {
  m_currentView = view;
  m_activeScreen = Def(view).screen;
}

bool CNVSimApplication::IsRecorderEnabled() const {
  TrxLock lock(m_lock);
  return m_recorderOn;
}

TrxString CNVSimApplication::GetOperationId() const {
  TrxLock lock(m_lock);
  return m_operationId;
}

TrxComPtr<INVTRX> CNVSimApplication::GetRegisteredService() const {
  TrxLock lock(m_lock);
  return m_registered;
}

std::vector<TrxString> CNVSimApplication::GetControlLog() const {
  TrxLock lock(m_lock);
  return m_controlLog;
}

void CNVSimApplication::LogControl(TrxString entry) {
  TrxLock lock(m_lock);
  m_controlLog.push_back(std::move(entry));
}

// ---- journal ------------------------------------------------------------------------------

std::vector<CNVSimRequestRecord> CNVSimApplication::GetJournal() const {
  TrxLock lock(m_lock);
  return m_journal;
}

void CNVSimApplication::ClearJournal() {
  TrxLock lock(m_lock);
  m_journal.clear();
}

bool CNVSimApplication::WaitForJournal(size_t count, DWORD milliseconds) const {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (;;) {
    {
      TrxLock lock(m_lock);
      if (m_journal.size() >= count) return true;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(2);
  }
}

// ---- busy and idle ---------------------------------------------------------------------------

bool CNVSimApplication::IsIdle() const { return WaitForSingleObject(m_idleEvent.Get(), 0) == WAIT_OBJECT_0; }

void CNVSimApplication::SetBusy(bool busy) {
  TrxLock lock(m_lock);
  m_heldBusy = busy;
  UpdateIdleLocked();
}

void CNVSimApplication::UpdateIdleLocked() {
  const ULONGLONG now = GetTickCount64();
  const bool echoing = m_pendingEchoes > 0 && now < m_echoDeadline;
  const bool idle = m_activeRequests == 0 && !m_heldBusy && now >= m_busyUntil && !echoing;
  if (idle) {
    SetEvent(m_idleEvent.Get());
  } else {
    ResetEvent(m_idleEvent.Get());
  }
}

void CNVSimApplication::ScheduleIdleCheck(ULONGLONG at) {
  {
    std::lock_guard<std::mutex> lock(m_timerLock);
    // The earliest check waits; the check itself schedules the next one.
    if (m_timerDeadline == 0 || at < m_timerDeadline) m_timerDeadline = at;
    if (!m_timer.joinable()) m_timer = std::thread([this] { TimerLoop(); });
  }
  m_timerChanged.notify_all();
}

void CNVSimApplication::TimerLoop() {
  std::unique_lock<std::mutex> lock(m_timerLock);
  while (!m_timerStop) {
    if (m_timerDeadline == 0) {
      m_timerChanged.wait(lock);
      continue;
    }
    const ULONGLONG now = GetTickCount64();
    if (now < m_timerDeadline) {
      m_timerChanged.wait_for(lock, std::chrono::milliseconds(m_timerDeadline - now));
      continue;
    }
    m_timerDeadline = 0;
    lock.unlock();
    {
      TrxLock modelLock(m_lock);
      UpdateIdleLocked();
      // A busy period or an echo that ends later still needs its check.
      const ULONGLONG later = GetTickCount64();
      ULONGLONG next = m_busyUntil > later ? m_busyUntil : 0;
      if (m_pendingEchoes > 0 && m_echoDeadline > later && (next == 0 || m_echoDeadline < next)) next = m_echoDeadline;
      if (next) ScheduleIdleCheck(next);
    }
    lock.lock();
  }
}

// ---- faults -----------------------------------------------------------------------------------

void CNVSimApplication::SetRequestDelay(DWORD milliseconds) {
  TrxLock lock(m_lock);
  m_requestDelay = milliseconds;
}

void CNVSimApplication::SetBusyAfterRequest(DWORD milliseconds) {
  TrxLock lock(m_lock);
  m_busyAfterRequest = milliseconds;
}

void CNVSimApplication::SetHangRequests(bool hang) {
  TrxLock lock(m_lock);
  m_hangRequests = hang;
}

void CNVSimApplication::ReleaseHangingRequests() {
  {
    std::lock_guard<std::mutex> lock(m_hangLock);
    ++m_hangGeneration;
  }
  m_hangChanged.notify_all();
}

LONG CNVSimApplication::GetHangingRequests() const {
  std::lock_guard<std::mutex> lock(m_hangLock);
  return m_hanging;
}

bool CNVSimApplication::WaitForHangingRequests(LONG count, DWORD milliseconds) const {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (;;) {
    if (GetHangingRequests() >= count) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(2);
  }
}

void CNVSimApplication::FailRequests(HRESULT status, SHORT code, TrxStringView text, LONG count) {
  TrxLock lock(m_lock);
  m_requestFailure = Failure{status, code, TrxString(text)};
  m_failCount = count;
}

void CNVSimApplication::ClearRequestFailures() {
  TrxLock lock(m_lock);
  m_failCount = 0;
}

bool CNVSimApplication::FailProperty(TrxStringView path, TrxStringView property, HRESULT status) {
  TrxLock lock(m_lock);
  const LONG index = m_description->FindObject(path);
  if (index < 0) return false;
  Object(index).m_failingProperties[TrxString(property)] = status;
  return true;
}

void CNVSimApplication::ClearPropertyFailures() {
  TrxLock lock(m_lock);
  for (CNVSimObject* object : m_objects) object->m_failingProperties.clear();
}

void CNVSimApplication::SetRegistrationStatus(HRESULT status) {
  TrxLock lock(m_lock);
  m_registrationStatus = status;
}

void CNVSimApplication::SetControlInterface(bool offered) {
  TrxLock lock(m_lock);
  m_controlInterface = offered;
}

void CNVSimApplication::SetRecorderSwitchStatus(HRESULT status) {
  TrxLock lock(m_lock);
  m_recorderSwitchStatus = status;
}

void CNVSimApplication::SetOperationIdStatus(HRESULT status) {
  TrxLock lock(m_lock);
  m_operationIdStatus = status;
}

// ---- INVAutomation for every object ------------------------------------------------------------

bool CNVSimApplication::IsVisibleLocked(LONG index) const {
  const CNVSimObjectDef& def = Def(index);
  if (!Object(index).m_visible) return false;
  if (def.type == OBJTYPE_VIEW) return index == m_currentView;
  return def.screen < 0 || def.screen == m_activeScreen;
}

HRESULT CNVSimApplication::ObjectParent(const CNVSimObject& object, INVAutomation** parent) {
  *parent = nullptr;
  const LONG index = Def(object.GetIndex()).parent;
  if (index < 0) return E_FAIL;
  *parent = &Object(index);
  (*parent)->AddRef();
  return S_OK;
}

HRESULT CNVSimApplication::ObjectChild(const CNVSimObject& object, AUTO_OBJECTTYPE type, TrxStringView name,
                                       INVAutomation** child) {
  *child = nullptr;
  TrxLock lock(m_lock);
  for (LONG index : Def(object.GetIndex()).children) {
    const CNVSimObjectDef& def = Def(index);
    if (def.type != type || !IsVisibleLocked(index)) continue;
    if (!name.empty() && def.name != name) continue;
    *child = &Object(index);
    (*child)->AddRef();
    return S_OK;
  }
  return NVSIM_E_NO_OBJECT;
}

HRESULT CNVSimApplication::ObjectChildNames(const CNVSimObject& object, AUTO_OBJECTTYPE type, VARIANT* names) {
  VariantInit(names);
  TrxLock lock(m_lock);
  const CNVSimObjectDef& owner = Def(object.GetIndex());
  for (const auto& [sourceType, property] : owner.childNameSources)
    if (sourceType == type)
      return ReadPropertyLocked(const_cast<CNVSimObject&>(object), property, TrxStringView(), names);
  CNVSimValue list = CNVSimValue::EmptyOf(CNVSimValue::Kind::Strings);
  for (LONG index : owner.children) {
    if (Def(index).type == type && IsVisibleLocked(index)) list.AppendItem(TrxVariant::FromString(Def(index).name));
  }
  if (!list.GetItems().empty()) list.ToVariant(names);
  return S_OK;
}

CNVSimProperty* CNVSimApplication::FindPropertyLocked(CNVSimObject& object, TrxStringView name) const {
  for (CNVSimProperty& property : object.m_properties)
    if (property.name == name) return &property;
  return nullptr;
}

TrxString CNVSimApplication::DisplayNameLocked(LONG index) const {
  for (const CNVSimProperty& property : Object(index).m_properties)
    if (property.name == OLESTR("DisplayName")) return property.value.ToText();
  return Def(index).name;
}

bool CNVSimApplication::LivePropertyLocked(const CNVSimObject& object, TrxStringView name, CNVSimValue& value) const {
  const LONG index = object.GetIndex();
  if (name == OLESTR("ObjType")) {
    value = CNVSimValue::FromInt(Def(index).type);
    return true;
  }
  if (name == OLESTR("Name")) {
    value = CNVSimValue::FromString(Def(index).name);
    return true;
  }
  const TrxString currentView = m_currentView < 0 ? TrxString() : Def(m_currentView).name;
  if (index == 0) {
    if (name == OLESTR("ActiveViewName")) {
      value = CNVSimValue::FromString(currentView);
      return true;
    }
    if (name == OLESTR("LastOperationTime")) {
      value = CNVSimValue::FromInt(m_lastOperationTime);
      return true;
    }
  }
  if (index == m_description->GetScreenBar()) {
    const auto& screens = m_description->GetScreens();
    if (name == OLESTR("SelectedTab")) {
      value =
          CNVSimValue::FromString(m_activeScreen < 0 ? TrxString() : screens[static_cast<size_t>(m_activeScreen)].name);
      return true;
    }
    if (name == OLESTR("SelectedLink")) {
      value = CNVSimValue::FromString(currentView);
      return true;
    }
    const bool names = name == OLESTR("ScreenNames");
    if (names || name == OLESTR("ScreenDisplayNames")) {
      value = CNVSimValue::EmptyOf(CNVSimValue::Kind::Strings);
      for (const CNVSimScreenDef& screen : screens)
        value.AppendItem(TrxVariant::FromString(names ? screen.name : screen.displayName));
      return true;
    }
    // The views of the active screen.
    const bool viewNames = name == OLESTR("AggregateCategoryNames");
    if (viewNames || name == OLESTR("AggregateCategoryDisplayNames")) {
      value = CNVSimValue::EmptyOf(CNVSimValue::Kind::Strings);
      if (m_activeScreen >= 0) {
        for (LONG view : screens[static_cast<size_t>(m_activeScreen)].views)
          value.AppendItem(TrxVariant::FromString(viewNames ? Def(view).name : DisplayNameLocked(view)));
      }
      return true;
    }
  }
  return false;
}

HRESULT CNVSimApplication::ReadPropertyLocked(CNVSimObject& object, TrxStringView name, TrxStringView key,
                                              VARIANT* value) {
  VariantClear(value);
  auto failing = object.m_failingProperties.find(TrxString(name));
  if (failing != object.m_failingProperties.end()) return failing->second;
  if (const CNVSimProperty* property = FindPropertyLocked(object, name)) {
    if (FAILED(property->failStatus)) return property->failStatus;
    property->Lookup(key).ToVariant(value);
    return S_OK;
  }
  CNVSimValue live;
  if (LivePropertyLocked(object, name, live)) {
    live.ToVariant(value);
    return S_OK;
  }
  return m_description->FailsUnknownProperties() ? NVSIM_E_NO_PROPERTY : S_OK;
}

HRESULT CNVSimApplication::ObjectProperty(const CNVSimObject& object, TrxStringView name, VARIANT* aux, SHORT auxCount,
                                          VARIANT* value) {
  VariantInit(value);
  std::vector<TrxString> key;
  if (aux && auxCount > 0) {
    key = ArgumentTexts(aux);
    if (key.size() > static_cast<size_t>(auxCount)) key.resize(static_cast<size_t>(auxCount));
  }
  TrxLock lock(m_lock);
  return ReadPropertyLocked(const_cast<CNVSimObject&>(object), name, JoinKey(key), value);
}

HRESULT CNVSimApplication::ObjectAllProperties(const CNVSimObject& object, VARIANT* properties) {
  VariantInit(properties);
  TrxLock lock(m_lock);
  CNVSimObject& target = const_cast<CNVSimObject&>(object);
  CNVSimValue table = CNVSimValue::EmptyOf(CNVSimValue::Kind::Table);
  std::vector<TrxString> names = {OLESTR("ObjType"), OLESTR("Name")};
  for (const CNVSimProperty& property : target.m_properties)
    if (std::find(names.begin(), names.end(), property.name) == names.end()) names.push_back(property.name);
  for (const OLECHAR* live : {OLESTR("ActiveViewName"), OLESTR("LastOperationTime"), OLESTR("SelectedTab"),
                              OLESTR("SelectedLink"), OLESTR("ScreenNames"), OLESTR("ScreenDisplayNames"),
                              OLESTR("AggregateCategoryNames"), OLESTR("AggregateCategoryDisplayNames")}) {
    CNVSimValue probe;
    if (LivePropertyLocked(target, live, probe) && std::find(names.begin(), names.end(), live) == names.end())
      names.emplace_back(live);
  }
  for (const TrxString& name : names) {
    TrxVariant value;
    if (FAILED(ReadPropertyLocked(target, name, TrxStringView(), &value))) continue;
    table.AppendRow({TrxVariant::FromString(name), value});
  }
  table.ToVariant(properties);
  return S_OK;
}

HRESULT CNVSimApplication::LastErrorCode(SHORT* code) {
  TrxLock lock(m_lock);
  *code = m_lastErrorCode;
  return S_OK;
}

HRESULT CNVSimApplication::LastErrorText(BSTR* text) {
  TrxLock lock(m_lock);
  *text = SysAllocStringLen(m_lastErrorText.data(), static_cast<UINT>(m_lastErrorText.size()));
  return S_OK;
}

// ---- requests ----------------------------------------------------------------------------------------

const CNVSimRule* CNVSimApplication::FindRuleLocked(const CNVSimObject& object, LONG request,
                                                    const std::vector<TrxString>& arguments) const {
  const LONG index = object.GetIndex();
  const LONG type = Def(index).type;
  for (const CNVSimRule& rule : Def(index).rules)
    if (rule.Matches(request, index, type, arguments)) return &rule;
  for (const CNVSimRule& rule : m_description->GetGeneralRules())
    if (rule.Matches(request, index, type, arguments)) return &rule;
  return nullptr;
}

HRESULT CNVSimApplication::ObjectRequest(CNVSimObject& object, LONG request, const VARIANT& parameter,
                                         VARIANT* result) {
  if (result) VariantInit(result);
  const std::vector<TrxString> arguments = ArgumentTexts(&parameter);
  const TrxString argumentText = ArgumentText(parameter, arguments);
  const ULONGLONG started = GetTickCount64();
  const CNVSimRule* rule = nullptr;
  size_t record = 0;
  DWORD delay = 0, busy = 0;
  bool hang = false;
  bool injected = false;
  // The service keeps the recorder on during its own requests only when it
  // wants them echoed; a recorder switched on later (the end of the call
  // that made a hanging request) does not ask for an echo.
  bool echoAsked = false;
  Failure failure;
  {
    TrxLock lock(m_lock);
    CNVSimRequestRecord entry;
    entry.requestId = request;
    entry.object = Def(object.GetIndex()).path;
    entry.objectType = Def(object.GetIndex()).type;
    entry.arguments = arguments;
    entry.argumentText = argumentText;
    entry.operationId = m_operationId;
    entry.threadId = GetCurrentThreadId();
    record = m_journal.size();
    m_journal.push_back(std::move(entry));
    ++m_activeRequests;
    UpdateIdleLocked();
    m_lastErrorCode = 0;
    m_lastErrorText.clear();
    delay = m_requestDelay;
    busy = m_busyAfterRequest;
    hang = m_hangRequests;
    echoAsked = m_recorderOn;
    if (m_failCount != 0) {
      injected = true;
      failure = m_requestFailure;
      if (m_failCount > 0) --m_failCount;
    } else {
      rule = FindRuleLocked(object, request, arguments);
      if (rule) {
        for (const CNVSimAction& action : rule->actions) {
          if (action.kind == CNVSimAction::Kind::Delay) delay += action.milliseconds;
          if (action.kind == CNVSimAction::Kind::Busy) busy = std::max(busy, action.milliseconds);
          if (action.kind == CNVSimAction::Kind::Hang) hang = true;
        }
      }
    }
  }

  if (hang) {
    // A hanging request waits as a client's modal loop does: its thread
    // goes on dispatching messages, so that calls to the client's other
    // objects (from another process, they arrive as messages of this
    // thread) are still answered while it hangs.
    std::unique_lock<std::mutex> lock(m_hangLock);
    const ULONGLONG generation = m_hangGeneration;
    ++m_hanging;
    while (
        !m_hangChanged.wait_for(lock, std::chrono::milliseconds(10), [&] { return m_hangGeneration != generation; })) {
      lock.unlock();
      CNVSimCallWindow::PumpMessages();
      lock.lock();
    }
    --m_hanging;
  }
  if (delay) Sleep(delay);

  HWND echoWindow = nullptr;
  {
    TrxLock lock(m_lock);
    if (!injected && rule) failure = ApplyRuleLocked(object, *rule, request, arguments, false);
    m_lastErrorCode = failure.code;
    m_lastErrorText = failure.text;
    CNVSimRequestRecord& entry = m_journal[record];
    entry.finished = true;
    entry.status = failure.status;
    entry.errorCode = failure.code;
    entry.errorText = failure.text;
    const ULONGLONG now = GetTickCount64();
    m_lastOperationTime = static_cast<LONG>(std::min<ULONGLONG>(now - started, 0x7FFFFFFF));
    --m_activeRequests;
    if (busy) {
      m_busyUntil = std::max(m_busyUntil, now + busy);
      ScheduleIdleCheck(m_busyUntil);
    }
    // A request that failed, or was processed and reports an error, is
    // not echoed.
    if (SUCCEEDED(failure.status) && failure.code == 0 && m_eventWindow && echoAsked && m_recorderOn) {
      // The echo keeps the client busy from here, before the request ends,
      // so that whoever waits for idle also waits for the echo.
      echoWindow = m_eventWindow;
      ++m_pendingEchoes;
      m_echoDeadline = now + kEchoWait;
      ScheduleIdleCheck(m_echoDeadline);
    }
    UpdateIdleLocked();
  }
  if (echoWindow) {
    CNVSimUserAction echo;
    echo.eventId = request;
    for (size_t i = 0; i < arguments.size(); ++i)
      echo.arguments.emplace_back(TrxDecimal(static_cast<LONG>(i)), arguments[i]);
    echo.applyRules = false;
    const LONG index = object.GetIndex();
    TrxComPtr<CNVSimApplication> self(this);
    // Posted without the lock: a post to a window that is gone completes
    // (and ends the echo) at once.
    CNVSimCallWindow::Post(
        echoWindow, [self, index, echo = std::move(echo)] { return self->PlayObject(index, echo); },
        [self](HRESULT) { self->EndEcho(); });
  }
  return failure.status;
}

LONG CNVSimApplication::ResolveTargetLocked(const CNVSimObject& object, const CNVSimTarget& target,
                                            TrxString& error) const {
  if (target.index >= 0) return target.index;
  LONG current = object.GetIndex();
  if (target.index == CNVSimTarget::kSelf) return current;
  std::vector<TrxString> segments;
  CNVSimDescription::SplitPath(target.relative, segments);
  for (const TrxString& segment : segments) {
    if (segment == OLESTR(".")) continue;
    if (segment == OLESTR("..")) {
      current = Def(current).parent;
      if (current < 0) break;
      continue;
    }
    LONG found = -1;
    for (LONG child : Def(current).children) {
      if (Def(child).name != segment) continue;
      if (found < 0 || (IsVisibleLocked(child) && !IsVisibleLocked(found))) found = child;
    }
    current = found;
    if (current < 0) break;
  }
  if (current < 0)
    error = OLESTR("the target ") + target.source + OLESTR(" names no object from ") + Def(object.GetIndex()).name;
  return current;
}

CNVSimApplication::Failure CNVSimApplication::ApplyRuleLocked(CNVSimObject& object, const CNVSimRule& rule,
                                                              LONG request, const std::vector<TrxString>& arguments,
                                                              bool userAction) {
  using Kind = CNVSimAction::Kind;
  auto context = [&] {
    CNVSimTemplateContext c;
    c.arguments = &arguments;
    c.objectName = Def(object.GetIndex()).name;
    c.request = request;
    c.operationId = m_operationId;
    if (m_activeScreen >= 0) {
      const CNVSimScreenDef& screen = m_description->GetScreens()[static_cast<size_t>(m_activeScreen)];
      c.screen = screen.name;
      c.screenDisplayName = screen.displayName;
    }
    if (m_currentView >= 0) {
      c.view = Def(m_currentView).name;
      c.viewDisplayName = DisplayNameLocked(m_currentView);
    }
    return c;
  };
  auto ruleError = [&](const CNVSimAction& action, TrxString text) {
    return Failure{NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE,
                   std::move(text) + OLESTR(" (rule of line ") + TrxDecimal(action.line) + OLESTR(")")};
  };

  for (const CNVSimAction& action : rule.actions) {
    switch (action.kind) {
      case Kind::Delay:
      case Kind::Busy:
      case Kind::Hang:
        break;
      case Kind::Fail:
        if (userAction) break;
        return Failure{action.status, action.code, action.value.Expand(context())};
      case Kind::GotoScreen: {
        const TrxString name = action.value.Expand(context());
        const LONG screen = m_description->FindScreen(name);
        if (screen < 0) {
          if (userAction) break;
          return ruleError(action, OLESTR("No screen named \"") + name + OLESTR("\""));
        }
        SwitchToViewLocked(m_description->GetScreens()[static_cast<size_t>(screen)].defaultView);
        break;
      }
      case Kind::GotoView: {
        const TrxString name = action.value.Expand(context());
        if (!GotoView(name)) {
          if (userAction) break;
          return ruleError(action, OLESTR("No view named \"") + name + OLESTR("\""));
        }
        break;
      }
      case Kind::Show:
      case Kind::Hide:
      case Kind::Set:
      case Kind::Append:
      case Kind::Remove:
      case Kind::Increment: {
        TrxString error;
        const LONG index = ResolveTargetLocked(object, action.target, error);
        if (index < 0) {
          if (userAction) break;
          return ruleError(action, error);
        }
        CNVSimObject& target = Object(index);
        if (action.kind == Kind::Show || action.kind == Kind::Hide) {
          target.m_visible = action.kind == Kind::Show;
          break;
        }
        CNVSimProperty* property = FindPropertyLocked(target, action.property);
        if (!property) {
          CNVSimProperty added;
          added.name = action.property;
          added.keyed = action.keyed;
          CNVSimValue::Kind kind = action.typed ? action.type : CNVSimValue::Kind::String;
          if (action.kind == Kind::Append || action.kind == Kind::Remove)
            kind =
                action.typed && CNVSimValue::EmptyOf(action.type).IsList() ? action.type : CNVSimValue::Kind::Strings;
          if (action.kind == Kind::Increment) kind = CNVSimValue::Kind::Int;
          added.value = CNVSimValue::EmptyOf(kind);
          target.m_properties.push_back(std::move(added));
          property = &target.m_properties.back();
        }
        const TrxString key = action.keyed ? action.key.Expand(context()) : TrxString();
        if (action.keyed && !property->keyed) {
          if (userAction) break;
          return ruleError(action, OLESTR("Property \"") + action.property + OLESTR("\" is not keyed"));
        }
        CNVSimValue& slot = property->Slot(key);
        const TrxString text = action.kind == Kind::Increment ? TrxString() : action.value.Expand(context());
        if (action.kind == Kind::Set) {
          CNVSimValue::Kind kind = action.typed ? action.type : slot.GetKind();
          if (kind == CNVSimValue::Kind::Empty || kind == CNVSimValue::Kind::Table) kind = CNVSimValue::Kind::String;
          CNVSimValue value;
          TrxString reason;
          if (!CNVSimValue::FromText(kind, text, value, &reason)) {
            if (userAction) break;
            return ruleError(action, OLESTR("Property \"") + action.property + OLESTR("\": ") + reason);
          }
          slot = std::move(value);
        } else if (action.kind == Kind::Increment) {
          TrxVariant number;
          if (slot.GetKind() == CNVSimValue::Kind::Int) number = slot.GetScalar();
          if (number.vt != VT_I4 && slot.GetKind() != CNVSimValue::Kind::Empty) {
            if (userAction) break;
            return ruleError(action, OLESTR("Property \"") + action.property + OLESTR("\" is not an int"));
          }
          int64_t next = static_cast<int64_t>(number.vt == VT_I4 ? number.lVal : 0) + action.by;
          if (action.hasMin) next = std::max<int64_t>(next, action.min);
          if (action.hasMax) next = std::min<int64_t>(next, action.max);
          next = std::clamp<int64_t>(next, -2147483647LL - 1, 2147483647LL);
          slot = CNVSimValue::FromInt(static_cast<LONG>(next));
        } else {
          if (!slot.IsList()) {
            if (userAction) break;
            return ruleError(action, OLESTR("Property \"") + action.property + OLESTR("\" is not a list"));
          }
          TrxVariant item;
          TrxString reason;
          if (slot.GetKind() == CNVSimValue::Kind::Variants) {
            item = TrxVariant::FromString(text);
          } else if (!CNVSimValue::ItemFromText(slot.GetKind(), text, item, &reason)) {
            if (userAction) break;
            return ruleError(action, OLESTR("Property \"") + action.property + OLESTR("\": ") + reason);
          }
          if (action.kind == Kind::Append) {
            if (!(action.unique && slot.ContainsItem(item))) slot.AppendItem(item);
            while (action.limit > 0 && slot.GetItems().size() > static_cast<size_t>(action.limit))
              slot.RemoveFirstItem();
          } else {
            CNVSimValue kept = CNVSimValue::EmptyOf(slot.GetKind());
            for (const TrxVariant& existing : slot.GetItems()) {
              CNVSimValue single = CNVSimValue::EmptyOf(slot.GetKind());
              single.AppendItem(existing);
              if (!single.ContainsItem(item)) kept.AppendItem(existing);
            }
            slot = std::move(kept);
          }
        }
        break;
      }
    }
  }
  return Failure();
}
