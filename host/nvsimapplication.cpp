#include "host/nvsimapplication.h"

#include <algorithm>

#include "host/nvsimcallwindow.h"
#include "host/nvsimpropertyset.h"
#include "host/nvsimrequest.h"
#include "host/nvsimstatus.h"

namespace {

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
    : CNVSimObject(this, 0),
      m_description(std::move(description)),
      m_faults(m_description->GetRegistrationStatus(), m_description->OffersControlInterface()) {
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
    if (defs[i].list) m_objects[i]->m_list = std::make_unique<CNVSimList>(*defs[i].list);
  }
  m_activeScreen = m_description->GetStartScreen();
  if (m_activeScreen >= 0) m_currentView = m_description->GetScreens()[static_cast<size_t>(m_activeScreen)].defaultView;
}

CNVSimApplication::~CNVSimApplication() = default;

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
  INVAutomation* self = this;
  INVAppControl* control = m_faults.OffersControlInterface() ? static_cast<INVAppControl*>(this) : nullptr;
  return TrxQueryInterface(ppv, riid,
                           {{IID_IUnknown, self},
                            {IID_INVAutomation, self},
                            {IID_IDispatch, static_cast<IDispatch*>(this)},
                            {IID_INVAppControl, control}});
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
  HRESULT status = m_faults.GetRegistrationStatus();
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
  HRESULT status = m_faults.GetRecorderSwitchStatus();
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
  const HRESULT status = m_faults.GetOperationIdStatus();
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
  m_idle.Update();
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
  }
  m_idle.Update();
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
  // A threadbar link and a list's drill-down are navigation too: the client
  // reports the click while the old view shows.
  const bool navigation = action.eventId == REQID_NAVCONTROL_GOTOSCREEN || action.eventId == REQID_NAVCONTROL_GOTOVIEW ||
                          action.eventId == REQID_NAVCONTROL_GOTODETAILVIEW ||
                          action.eventId == REQID_EXECUTETHREADBARLINK || action.eventId == REQID_DRILLDOWNCOL;
  const bool reportFirst = action.reportFirst.value_or(navigation);
  CNVSimObject* object = nullptr;
  LONG type = 0;
  bool recorder = false;
  TrxComPtr<INVTRX> service;
  TrxString path;
  auto applyRules = [&] {
    if (!action.applyRules) return;
    TrxLock lock(m_lock);
    std::vector<TrxString> arguments;
    for (const auto& argument : action.arguments) arguments.push_back(argument.second);
    ApplyListRequestLocked(*object, action.eventId, arguments, true);
    if (const CNVSimRule* rule = FindRuleLocked(*object, action.eventId, arguments))
      ApplyRuleLocked(*object, *rule, action.eventId, arguments, true);
  };
  {
    TrxLock lock(m_lock);
    object = &Object(index);
    recorder = m_recorderOn;
    service = ServiceForEvents();
    type = action.objectType >= 0 ? action.objectType : static_cast<LONG>(Def(index).type);
    path = Def(index).path;
  }
  if (!reportFirst) applyRules();
  HRESULT status = S_FALSE;
  if (recorder && service) {
    TrxComPtr<CNVSimPropertySet> arguments = CNVSimPropertySet::Create(action.arguments);
    status = service->FireRecorderEvent(action.eventId, object, type, arguments.Get());
    LogControl(OLESTR("FireRecorderEvent(") + TrxDecimal(action.eventId) + OLESTR(",") + path + OLESTR(")") +
               StatusSuffix(status));
  } else if (recorder) {
    status = E_UNEXPECTED;
  }
  if (reportFirst) applyRules();
  // A real client ends the Enter key with an event of its own, once the
  // key's work is done (a rule's <end-enter/>); the service records the key
  // as one composite call.
  bool endsEnter = false;
  if (action.eventId == REQID_ENTER_KEY) {
    TrxLock lock(m_lock);
    std::vector<TrxString> arguments;
    for (const auto& argument : action.arguments) arguments.push_back(argument.second);
    if (const CNVSimRule* rule = FindRuleLocked(*object, action.eventId, arguments))
      for (const CNVSimAction& step : rule->actions) endsEnter = endsEnter || step.kind == CNVSimAction::Kind::EndEnter;
  }
  if (endsEnter && recorder && service) {
    TrxComPtr<CNVSimPropertySet> none = CNVSimPropertySet::Create({});
    const HRESULT ended = service->FireRecorderEvent(REQID_ENTER_KEY_END, object, type, none.Get());
    LogControl(OLESTR("FireRecorderEvent(") + TrxDecimal(REQID_ENTER_KEY_END) + OLESTR(",") + path + OLESTR(")") +
               StatusSuffix(ended));
  }
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
  const LONG found = FindViewLocked(view);
  if (found < 0) return false;
  SwitchToViewLocked(found);
  return true;
}

LONG CNVSimApplication::FindViewLocked(TrxStringView view) const {
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
  return found;
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

bool CNVSimApplication::FailProperty(TrxStringView path, TrxStringView property, HRESULT status, LONG count) {
  const LONG index = m_description->FindObject(path);
  if (index < 0) return false;
  m_faults.FailProperty(index, property, status, count);
  return true;
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
  // A list names the cell that has the focus.
  if (object.m_list && type == OBJTYPE_CONTROL) {
    TrxVariant::FromString(object.m_list->CurrentCell()).Detach(names);
    return S_OK;
  }
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
  HRESULT failure = S_OK;
  if (m_faults.TakePropertyFailure(object.GetIndex(), name, failure)) return failure;
  if (CNVSimList* list = ListOfLocked(object)) {
    std::vector<TrxString> parts;
    for (size_t start = 0; !key.empty() && start <= key.size();) {
      const size_t end = std::min(key.find('|', start), key.size());
      parts.emplace_back(key.substr(start, end - start));
      start = end + 1;
    }
    HRESULT status = S_OK;
    if (object.m_list ? list->ListProperty(name, parts, value, status)
                      : list->ControlProperty(Def(object.GetIndex()).name, name, value))
      return status;
  }
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

CNVSimList* CNVSimApplication::ListOfLocked(const CNVSimObject& object) const {
  if (object.m_list) return object.m_list.get();
  const CNVSimObjectDef& def = Def(object.GetIndex());
  if (def.type != OBJTYPE_CONTROL || def.parent < 0) return nullptr;
  return Object(def.parent).m_list.get();
}

CNVSimFailure CNVSimApplication::ApplyListRequestLocked(CNVSimObject& object, LONG request,
                                                        const std::vector<TrxString>& arguments, bool userAction) {
  CNVSimList* list = ListOfLocked(object);
  if (!list) return CNVSimFailure();
  const CNVSimList::Outcome outcome = object.m_list ? list->ListRequest(request, arguments, userAction)
                                                    : list->ControlRequest(Def(object.GetIndex()).name, request, arguments);
  if (!outcome.view.empty()) {
    const LONG view = FindViewLocked(outcome.view);
    if (view >= 0) SwitchToViewLocked(view);
  }
  return outcome.failure;
}

HRESULT CNVSimApplication::ObjectProperty(const CNVSimObject& object, TrxStringView name, VARIANT* aux, SHORT auxCount,
                                          VARIANT* value) {
  VariantInit(value);
  std::vector<TrxString> key;
  if (aux && auxCount > 0) {
    key = CNVSimRequest::ArgumentTexts(aux);
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

HRESULT CNVSimApplication::ObjectRequest(CNVSimObject& object, LONG request, const VARIANT& parameter,
                                         VARIANT* result) {
  if (result) VariantInit(result);
  return CNVSimRequest(*this, object, request, parameter).Run();
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
