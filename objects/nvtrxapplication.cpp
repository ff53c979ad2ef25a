#include "objects/nvtrxapplication.h"

#include <atomic>
#include <map>

#include "descriptors/nvtrxodsutil.h"
#include "descriptors/nvtrxxml.h"
#include "log/nvtrxassert.h"
#include "model/nvtrxrequestexecutor.h"

namespace {

std::atomic<CNVTRXApplication*> g_application{nullptr};
std::atomic<bool> g_recordingSuspended{false};

std::map<TrxString, CNVTRXApplication::Factory>& ChildClasses() {
  static std::map<TrxString, CNVTRXApplication::Factory> classes;
  return classes;
}

TrxString Text(const VARIANT& value) {
  TrxVariant text;
  if (FAILED(text.ChangeType(VT_BSTR, &value))) return TrxString();
  return TrxString(TrxBstrView(text.bstrVal));
}

// Key names of the accelerator text and their virtual-key codes.
struct KeyName {
  const OLECHAR* name;
  LONG code;
};
const KeyName kKeys[] = {
    {OLESTR("F9"), 120},    {OLESTR("F8"), 119},       {OLESTR("F2"), 113},  {OLESTR("Enter"), 13},
    {OLESTR("Esc"), 27},    {OLESTR("PageUp"), 33},    {OLESTR("PageDown"), 34}, {OLESTR("End"), 35},
    {OLESTR("Home"), 36},   {OLESTR("Left"), 37},      {OLESTR("Up"), 38},   {OLESTR("Right"), 39},
    {OLESTR("Down"), 40},
};
constexpr LONG kKeyF2 = 113;
constexpr LONG kKeyTab = 9;
const OLECHAR kTabNotSupported[] = OLESTR("Norvik Automation doesn't support 'Tab' keyboard accelerator.");

// Splits at '+', dropping empty parts.
std::vector<TrxString> SplitKeys(TrxStringView keys) {
  std::vector<TrxString> parts;
  size_t start = 0;
  while (start <= keys.size()) {
    size_t end = keys.find('+', start);
    if (end == TrxStringView::npos) end = keys.size();
    if (end > start) parts.emplace_back(keys.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<TrxString> SplitDots(TrxStringView path) {
  std::vector<TrxString> parts;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('.', start);
    parts.emplace_back(path.substr(start, end == TrxStringView::npos ? TrxStringView::npos : end - start));
    if (end == TrxStringView::npos) break;
    start = end + 1;
  }
  return parts;
}

}  // namespace

// ---- construction ------------------------------------------------------------------

CNVTRXApplication::CNVTRXApplication(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvApplication");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXApplication RepositoryName=\"%s\""), name);
  CNVTRXLog::ReadLevelFromEnvironment();
  AddPropertyMapping(OLESTR("RepositoryName"), VT_BSTR, OLESTR("Name"), VT_BSTR, TRXPROP_HOST,
                     OLESTR("property RepositoryName"));
  GetPropertyMap().AddPropertyMapping(OLESTR("ClassName"), VT_BSTR, TrxVariant::FromString(m_strClassName), VT_BSTR,
                                      TRXPROP_CONST, OLESTR("property ClassName"));
  AddPropertyMapping(OLESTR("UIName"), VT_BSTR, OLESTR("DisplayName"), VT_BSTR, TRXPROP_HOST,
                     OLESTR("property DisplayName"));
  m_definitions.Load();
  g_application.store(this);
}

CNVTRXApplication::~CNVTRXApplication() {
  CNVTRXApplication* self = this;
  g_application.compare_exchange_strong(self, nullptr);
  ReleaseChildren();
  m_pLogFile.reset();
  m_pendingArgs.Clear();
}

CNVTRXApplication* CNVTRXApplication::Current() noexcept { return g_application.load(); }

void CNVTRXApplication::RegisterChildClass(TrxStringView className, Factory factory) {
  if (!factory) {
    ChildClasses().erase(TrxString(className));
    return;
  }
  ChildClasses()[TrxString(className)] = std::move(factory);
}

bool CNVTRXApplication::IsRecordingSuspended() noexcept { return g_recordingSuspended.load(); }

// ---- host access -----------------------------------------------------------------

HRESULT CNVTRXApplication::HostChild(INVAutomation* host, AUTO_OBJECTTYPE type, TrxStringView name,
                                     TrxComPtr<INVAutomation>& child) {
  child.Reset();
  if (!host) return E_POINTER;
  TrxBstr childName(name);
  const HRESULT hr = host->GetChild(type, childName.Get(), child.Put());
  return SUCCEEDED(hr) && !child ? E_FAIL : hr;
}

void CNVTRXApplication::SetNWEAuto(INVAutomation* pNWEAuto) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::SetNWEAuto");
  TRX_ASSERT(pNWEAuto != nullptr, "SetNWEAuto called without a host object");
  m_spNWEAuto = pNWEAuto;
  TrxVariant name;
  if (SUCCEEDED(ReadHostProperty(pNWEAuto, OLESTR("Name"), name)) && name.vt == VT_BSTR) {
    m_strRepositoryName = TrxString(TrxBstrView(name.bstrVal));
  } else {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("Name"));
  }
}

// ---- children ------------------------------------------------------------------------

TRXRESULT CNVTRXApplication::CreateChild(TrxStringView className, TrxStringView repositoryName,
                                         CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::CreateChild");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Class Name: \"%s\", RepositoryName: \"%s\""), className, repositoryName);
  if (ppChild) *ppChild = nullptr;
  // NorvTask is a screen of its own kind.
  const TrxString wanted(className == OLESTR("NorvTask") ? TrxStringView(OLESTR("NorvScreen")) : className);
  static const OLECHAR* const kOwnChildren[] = {OLESTR("NorvScreen"),        OLESTR("NorvMenu"),
                                                OLESTR("NorvToolbar"),       OLESTR("NorvPageTabs"),
                                                OLESTR("NorvView"),          OLESTR("NorvTaskAssistant"),
                                                OLESTR("NorvCommunicationsToolbar"), OLESTR("NorvTaskUIPane")};
  bool own = false;
  for (const OLECHAR* name : kOwnChildren) own = own || wanted == name;
  auto factory = ChildClasses().find(wanted);
  if (!own || factory == ChildClasses().end()) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_E_CREATE_OBJECT, repositoryName, className);
    return TRX_E_CREATE_OBJECT;
  }
  CNVTRXAutomation* child = factory->second(repositoryName, this);
  if (ppChild) *ppChild = child;
  return GetLastErrorCode();
}

TRXRESULT CNVTRXApplication::CurrentScreen(CNVTRXAutomation** ppScreen, LONG navigationFailureCode) {
  TrxComPtr<INVAutomation> navigation;
  if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), navigation))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(navigationFailureCode, OLESTR("OBJTYPE_NAVCONTROL, Screen"));
    return navigationFailureCode;
  }
  TrxVariant selected;
  if (FAILED(ReadHostProperty(navigation.Get(), OLESTR("SelectedTab"), selected))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("SelectedTab"));
    return TRX_HOST_GETPROPERTY;
  }
  const TrxString screenName = Text(selected);
  CNVTRXAutomation* screen = FindChild(OLESTR("NorvScreen"), screenName);
  if (!screen) {
    const TRXRESULT code = CreateChild(OLESTR("NorvScreen"), screenName, &screen);
    if (code != TRX_OK) return code;
  }
  *ppScreen = screen;
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType,
                                              INVPropertySet* pEventArgs, CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::OnBuildHierarchy");
  TrxVariant nameValue;
  if (FAILED(ReadHostProperty(pNWEAuto, OLESTR("Name"), nameValue))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("Name"));
    return TRX_HOST_GETPROPERTY;
  }
  const TrxString name = Text(nameValue);
  CNVTRXAutomation* screen = nullptr;
  switch (objectType) {
    case OBJTYPE_APPLICATION:
      return TRX_OK;
    case OBJTYPE_MENU:
      return CreateChild(OLESTR("NorvMenu"), name, ppChild);
    case OBJTYPE_TOOLBAR:
      return CreateChild(OLESTR("NorvToolbar"), name, ppChild);
    case OBJTYPE_CONTROL:
    case OBJTYPE_THREADBAR: {
      const TRXRESULT code = CurrentScreen(&screen, TRX_HOST_GETCHILD);
      if (code != TRX_OK) return code;
      *ppChild = screen;
      return screen->CreateChild(objectType == OBJTYPE_CONTROL ? OLESTR("NorvPDQ") : OLESTR("NorvThreadbar"), name,
                                 ppChild);
    }
    case OBJTYPE_NAVCONTROL: {
      TrxVariant again;
      if (FAILED(ReadHostProperty(pNWEAuto, OLESTR("Name"), again))) {
        TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("Name"));
        return TRX_HOST_GETPROPERTY;
      }
      const TrxString navigation = Text(again);
      if (navigation == OLESTR("AggregateViews") || navigation == OLESTR("DetailCategory") ||
          navigation == OLESTR("View")) {
        const TRXRESULT code = CurrentScreen(&screen, TRX_HOST_GETPROPERTY);
        if (code != TRX_OK) return code;
        *ppChild = screen;
        if (CNVTRXAutomation* views = FindChild(OLESTR("NorvScreenViews"), OLESTR("NorvScreenViews"))) {
          *ppChild = views;
          return TRX_OK;
        }
        return screen->CreateChild(OLESTR("NorvScreenViews"), OLESTR("NorvScreenViews"), ppChild);
      }
      if (navigation == OLESTR("Screen")) {
        if (CNVTRXAutomation* tabs = FindChild(OLESTR("NorvPageTabs"), OLESTR("NorvPageTabs"))) {
          *ppChild = tabs;
          return TRX_OK;
        }
        return CreateChild(OLESTR("NorvPageTabs"), OLESTR("NorvPageTabs"), ppChild);
      }
      return TRX_OK;
    }
    case OBJTYPE_VIEW: {
      TRXRESULT code = CurrentScreen(&screen, TRX_HOST_GETCHILD);
      if (code != TRX_OK) return code;
      *ppChild = screen;
      TrxComPtr<INVAutomation> view;
      if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_VIEW, OLESTR(""), view))) {
        TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_VIEW"));
        return TRX_HOST_GETCHILD;
      }
      TrxVariant viewName;
      if (FAILED(ReadHostProperty(view.Get(), OLESTR("Name"), viewName))) {
        TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("Name"));
        return TRX_HOST_GETPROPERTY;
      }
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Going to create NORVVIEW"));
      return screen->CreateChild(OLESTR("NorvView"), Text(viewName), ppChild);
    }
    case OBJTYPE_EXTOBJECT: {
      TrxVariant type;
      if (FAILED(ReadHostProperty(pNWEAuto, OLESTR("Type"), type))) {
        TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("Type"));
        return TRX_HOST_GETPROPERTY;
      }
      if (eventId != REQID_TASKSTART) return CreateChild(Text(type), name, ppChild);
      CNVTRXAutomation* pane = nullptr;
      const TRXRESULT code = CreateChild(Text(type), name, &pane);
      if (code != TRX_OK || !pane) return code;
      *ppChild = pane;
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Creating new TRX virtual object NorvTaskLink"));
      CNVTRXArray args(pEventArgs);
      TrxString link = Text(args.GetAt(0, 1));
      if (args.GetCount() != 1) {
        link += OLESTR("|");
        link += Text(args.GetAt(1, 1));
      }
      return pane->CreateChild(OLESTR("NorvTaskLink"), link, ppChild);
    }
    default:
      TRX_LOG(TRXLOG_TRXTRACE)
          .ReportTrace(OLESTR("I don't know how to build this object type %d under this class %s"), objectType,
                       m_strClassName);
      TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_E_INVALID_EVENT, eventId, objectType);
      TrxAssertFailed(__FILE__, __LINE__, OLESTR("Invalid object type from NWE during recording"));
      return TRX_E_INVALID_EVENT;
  }
}

// ---- the application's methods ------------------------------------------------------

TRXRESULT CNVTRXApplication::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                     VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodName=\"%s\""), methodName);
  CNVTRXArray args(&arguments);
  if (TrxEqualsNoCase(methodName, OLESTR("ProcessKeyboardAccelerator"))) return ProcessKeyboardAccelerator(arguments);
  if (TrxEqualsNoCase(methodName, OLESTR("Sync"))) return TRX_OK;
  if (TrxEqualsNoCase(methodName, OLESTR("GetClassCount"))) return GetClassCount(args, result);
  if (TrxEqualsNoCase(methodName, OLESTR("GetRepositoryNameByIndex"))) return GetRepositoryNameByIndex(args, result);
  if (TrxEqualsNoCase(methodName, OLESTR("GetRepositoryName"))) return GetRepositoryName(args, result);
  if (TrxEqualsNoCase(methodName, OLESTR("GetLastErrorCode"))) {
    if (result) TrxVariant::FromI4(GetLastErrorCode()).Detach(result);
    return TRX_OK;
  }
  if (TrxEqualsNoCase(methodName, OLESTR("GetLastErrorMessage"))) {
    if (result) TrxVariant::FromString(GetLastErrorMessage()).Detach(result);
    return TRX_OK;
  }
  if (TrxEqualsNoCase(methodName, OLESTR("SetTimeOut"))) return SetTimeOut(args, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXApplication::ProcessKeyboardAccelerator(const VARIANT& arguments) {
  const bool isArray = (arguments.vt & VT_ARRAY) != 0 ||
                       (arguments.vt == (VT_BYREF | VT_VARIANT) && arguments.pvarVal &&
                        (arguments.pvarVal->vt & VT_ARRAY));
  TRX_ASSERT(isArray, "ProcessKeyboardAccelerator expects its arguments as an array");
  CNVTRXArray args(&arguments);
  LONG keyCode = 0;
  bool shift = false, ctrl = false, alt = false;
  const TrxString keys = Text(args.GetAt(0));
  for (const TrxString& part : SplitKeys(keys)) {
    if (TrxEqualsNoCase(part, OLESTR("Shift"))) {
      shift = true;
    } else if (TrxEqualsNoCase(part, OLESTR("Ctrl"))) {
      ctrl = true;
    } else if (TrxEqualsNoCase(part, OLESTR("Alt"))) {
      alt = true;
    } else if (TrxEqualsNoCase(part, OLESTR("Tab"))) {
      TRX_LOG(TRXLOG_USERTRACE)
          .ReportUserError(TRX_E_ARG_VALUE, OLESTR("ProcessKeyboardAccelerator"), OLESTR("AccelKeys"),
                           kTabNotSupported);
      return -TRX_E_ARG_VALUE;
    } else {
      bool named = false;
      for (const KeyName& key : kKeys) {
        if (TrxEqualsNoCase(part, key.name)) {
          keyCode = key.code;
          named = true;
          break;
        }
      }
      if (!named) keyCode = VkKeyScanW(static_cast<WCHAR>(part[0])) & 0xFF;
      if (keyCode == kKeyF2 && named) {
        const TRXRESULT code = FocusForF2(args);
        if (code != TRX_OK) return code;
      }
    }
  }
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 4);
  TrxVariant values[4] = {TrxVariant::FromI4(keyCode), TrxVariant::FromBool(shift), TrxVariant::FromBool(ctrl),
                          TrxVariant::FromBool(alt)};
  for (LONG i = 0; i < 4; ++i) SafeArrayPutElement(array, &i, &values[i]);
  TrxVariant request = TrxVariant::FromArray(array, VT_VARIANT);
  return NWEInvoke(m_spNWEAuto.Get(), REQID_PROCESSACCELERATOR, &request, false, TRXTIMING_SET);
}

TRXRESULT CNVTRXApplication::FocusForF2(const CNVTRXArray& constArgs) {
  CNVTRXArray& args = const_cast<CNVTRXArray&>(constArgs);
  const TrxVariant pathValue = args.GetCount() > 1 ? args.GetAt(1) : TrxVariant();
  const TrxString path = Text(pathValue);
  const std::vector<TrxString> parts = SplitDots(path);
  if (pathValue.vt == VT_EMPTY || parts.size() < 2 || parts[0].empty() || parts[1].empty()) {
    TRX_LOG(TRXLOG_USERTRACE)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("ProcessKeyboardAccelerator"), OLESTR("AccelKeys"), path);
    return -TRX_E_ARG_VALUE;
  }
  const bool inList = parts.size() > 2 && !parts[2].empty();
  TrxComPtr<INVAutomation> view, applet;
  if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_VIEW, OLESTR(""), view))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_VIEW"));
    return TRX_HOST_GETCHILD;
  }
  if (FAILED(HostChild(view.Get(), OBJTYPE_APPLET, parts[0], applet))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, parts[0]);
    return TRX_HOST_GETCHILD;
  }
  if (!inList) {
    TrxComPtr<INVAutomation> control;
    if (FAILED(HostChild(applet.Get(), OBJTYPE_CONTROL, parts[1], control))) {
      TrxString what = OLESTR("OBJTYPE_CONTROL , ");
      TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, what + parts[1]);
      return TRX_HOST_GETCHILD;
    }
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    LONG index = 0;
    TrxVariant name = TrxVariant::FromString(parts[1]);
    SafeArrayPutElement(array, &index, &name);
    TrxVariant request = TrxVariant::FromArray(array, VT_VARIANT);
    return NWEInvoke(control.Get(), REQID_SETFOCUS, &request, false, TRXTIMING_SET);
  }
  TrxComPtr<INVAutomation> list;
  if (FAILED(HostChild(applet.Get(), OBJTYPE_LISTCONTROL, parts[1], list))) {
    TrxString what = OLESTR("OBJTYPE_LISTCONTROL , ");
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, what + parts[1]);
    return TRX_HOST_GETCHILD;
  }
  TrxVariant activeRow;
  if (FAILED(ReadHostProperty(list.Get(), OLESTR("ActiveRow"), activeRow))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("ActiveRow"));
    return TRX_HOST_GETPROPERTY;
  }
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  TrxVariant cell[2] = {TrxVariant::FromString(parts[2]), activeRow};
  for (LONG i = 0; i < 2; ++i) SafeArrayPutElement(array, &i, &cell[i]);
  TrxVariant request = TrxVariant::FromArray(array, VT_VARIANT);
  TRXRESULT code = NWEInvoke(list.Get(), REQID_SETCELLFOCUS, &request, false, TRXTIMING_SET);
  if (code != TRX_OK) return code;
  TrxComPtr<INVAutomation> column;
  if (FAILED(HostChild(list.Get(), OBJTYPE_CONTROL, parts[2], column))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, parts[2]);
    return TRX_HOST_GETCHILD;
  }
  TrxVariant empty;
  return NWEInvoke(column.Get(), REQID_SETFOCUS, &empty, false, TRXTIMING_SET);
}

TRXRESULT CNVTRXApplication::GetClassCount(CNVTRXArray& args, VARIANT* result) {
  const TrxString className = Text(args.GetAt(0));
  LONG count = 0;
  if (className == OLESTR("NorvToolbar")) {
    TrxVariant names;
    if (m_spNWEAuto && SUCCEEDED(m_spNWEAuto->GetChildNames(OBJTYPE_TOOLBAR, &names)) && (names.vt & VT_ARRAY))
      count = TrxSafeArrayExtent(names.parray);
  } else if (className == OLESTR("NorvMenu") || className == OLESTR("NorvPageTabs") ||
             className == OLESTR("NorvScreen")) {
    count = 1;
  } else if (className == OLESTR("NorvTask")) {
    TrxComPtr<INVAutomation> view;
    TrxVariant viewType;
    if (SUCCEEDED(HostChild(m_spNWEAuto.Get(), OBJTYPE_VIEW, OLESTR(""), view)) &&
        SUCCEEDED(ReadHostProperty(view.Get(), OLESTR("ViewType"), viewType)) &&
        TrxEqualsNoCase(Text(viewType), OLESTR("Task")))
      count = 1;
  } else {
    TRX_LOG(TRXLOG_USERTRACE)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("GetClassCount"), OLESTR("ClassName"), className);
    return -TRX_E_ARG_VALUE;
  }
  if (result) TrxVariant::FromI4(count).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::GetRepositoryNameByIndex(CNVTRXArray& args, VARIANT* result) {
  const TrxString className = Text(args.GetAt(0));
  TrxVariant indexValue;
  indexValue.ChangeType(VT_I4, &static_cast<const VARIANT&>(args.GetAt(1)));
  const LONG index = indexValue.vt == VT_I4 ? indexValue.lVal : 0;
  auto badIndex = [&] {
    TRX_LOG(TRXLOG_USERTRACE)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("GetRepositoryNameByIndex"), OLESTR("Index"), TrxDecimal(index));
    return -TRX_E_ARG_VALUE;
  };
  TrxString name;
  if (className == OLESTR("NorvToolbar")) {
    TrxVariant names;
    if (!m_spNWEAuto || FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_TOOLBAR, &names))) {
      TRX_LOG_OBJ(TRXLOG_USERTRACE, this).ReportUserError(TRX_HOST_GETCHILDNAMES, OLESTR("OBJTYPE_TOOLBAR"));
      return -TRX_HOST_GETCHILDNAMES;
    }
    CNVTRXArray list(&names);
    if (index < 0 || index >= list.GetCount()) return badIndex();
    name = Text(list.GetAt(index));
  } else if (className == OLESTR("NorvMenu") || className == OLESTR("NorvPageTabs")) {
    if (index != 0) return badIndex();
    name = className;
  } else if (className == OLESTR("NorvTask")) {
    if (index != 0) return badIndex();
    TrxComPtr<INVAutomation> view;
    TrxVariant task;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_VIEW, OLESTR(""), view))) {
      TRX_LOG(TRXLOG_USERTRACE)
          .ReportUserError(TRX_E_ARG_VALUE, OLESTR("GetRepositoryNameByIndex"), OLESTR("ClassName,"), className);
      return -TRX_E_ARG_VALUE;
    }
    ReadHostProperty(view.Get(), OLESTR("ActiveTask"), task);
    name = Text(task);
  } else if (className == OLESTR("NorvScreen")) {
    if (index != 0) return badIndex();
    TrxComPtr<INVAutomation> navigation;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), navigation))) {
      TRX_LOG_OBJ(TRXLOG_USERTRACE, this).ReportUserError(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_NAVCONTROL , Screen"));
      return -TRX_HOST_GETCHILD;
    }
    TrxVariant selected;
    if (FAILED(ReadHostProperty(navigation.Get(), OLESTR("SelectedTab"), selected))) {
      TRX_LOG_OBJ(TRXLOG_USERTRACE, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("SelectedTab"));
      return -TRX_HOST_GETPROPERTY;
    }
    name = Text(selected);
  } else {
    TRX_LOG(TRXLOG_USERTRACE)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("GetRepositoryNameByIndex"), OLESTR("ClassName,"), className);
    return -TRX_E_ARG_VALUE;
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::GetRepositoryName(CNVTRXArray& args, VARIANT* result) {
  const TrxString className = Text(args.GetAt(0));
  const TrxString uiName = Text(args.GetAt(1));
  auto badValue = [&](const OLECHAR* argument, const TrxString& value) {
    TRX_LOG(TRXLOG_USERTRACE).ReportUserError(TRX_E_ARG_VALUE, OLESTR("GetRepositoryName"), argument, value);
    return -TRX_E_ARG_VALUE;
  };
  TrxString name;
  if (className == OLESTR("NorvToolbar")) {
    return badValue(OLESTR("ClassName"), OLESTR("UIName is not applicable to ") + className);
  } else if (className == OLESTR("NorvMenu") || className == OLESTR("NorvPageTabs")) {
    name = className;
  } else if (className == OLESTR("NorvTask")) {
    TrxComPtr<INVAutomation> view;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_VIEW, OLESTR(""), view)))
      return badValue(OLESTR("ClassName,"), className);
    TrxVariant title, task;
    ReadHostProperty(view.Get(), OLESTR("NorvTaskViewTitle"), title);
    if (!TrxEqualsNoCase(Text(title), uiName)) return badValue(OLESTR("UIName"), uiName);
    ReadHostProperty(view.Get(), OLESTR("ActiveTask"), task);
    name = Text(task);
  } else if (className == OLESTR("NorvScreen")) {
    TrxComPtr<INVAutomation> navigation;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), navigation))) {
      TRX_LOG_OBJ(TRXLOG_USERTRACE, this).ReportUserError(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_NAVCONTROL, Screen"));
      return -TRX_HOST_GETCHILD;
    }
    TrxVariant selected, displayNames, names;
    for (auto [property, value] : {std::pair<const OLECHAR*, TrxVariant*>{OLESTR("SelectedTab"), &selected},
                                   {OLESTR("ScreenDisplayNames"), &displayNames},
                                   {OLESTR("ScreenNames"), &names}}) {
      if (FAILED(ReadHostProperty(navigation.Get(), property, *value))) {
        TRX_LOG_OBJ(TRXLOG_USERTRACE, this).ReportUserError(TRX_HOST_GETPROPERTY, property);
        return -TRX_HOST_GETPROPERTY;
      }
    }
    name = Text(selected);
    CNVTRXArray screenNames(&names);
    CNVTRXArray screenDisplayNames(&displayNames);
    for (LONG i = 0; i < screenNames.GetCount(); ++i) {
      if (Text(screenNames.GetAt(i)) != name) continue;
      if (!TrxEqualsNoCase(Text(screenDisplayNames.GetAt(i)), uiName)) return badValue(OLESTR("UIName"), uiName);
      break;
    }
  } else {
    return badValue(OLESTR("ClassName"), className);
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::SetTimeOut(CNVTRXArray& args, VARIANT* result) {
  TrxVariant value;
  value.ChangeType(VT_I4, &static_cast<const VARIANT&>(args.GetAt(0)));
  const LONG seconds = value.vt == VT_I4 ? value.lVal : 0;
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Timeout in Seconds : %d"), seconds);
  if (seconds < 10) {
    TRX_LOG(TRXLOG_USERTRACE)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("SetTimeOut"), OLESTR("NewTimeOutInSecs"),
                         TrxDecimal(seconds) + OLESTR("(Expected value >= 10)"));
    return -TRX_E_ARG_VALUE;
  }
  if (result) TrxVariant::FromI4(GetSubmitTimeout() / 1000).Detach(result);
  SetSubmitTimeout(seconds * 1000);
  return TRX_OK;
}

// ---- recording of accelerators ---------------------------------------------------------

TRXRESULT CNVTRXApplication::F2FocusPath(TrxString& path) {
  TrxComPtr<INVAutomation> view, applet, list;
  if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_VIEW, OLESTR(""), view))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_VIEW"));
    return TRX_HOST_GETCHILD;
  }
  TrxVariant appletName;
  if (FAILED(ReadHostProperty(view.Get(), OLESTR("ActiveAppletName"), appletName))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("ActiveAppletName"));
    return TRX_HOST_GETPROPERTY;
  }
  if (FAILED(HostChild(view.Get(), OBJTYPE_APPLET, Text(appletName), applet))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_APPLET"));
    return TRX_HOST_GETCHILD;
  }
  path = Text(appletName) + OLESTR(".");
  TrxVariant columns;
  if (SUCCEEDED(HostChild(applet.Get(), OBJTYPE_LISTCONTROL, OLESTR("NorvList"), list)) &&
      SUCCEEDED(ReadHostProperty(list.Get(), OLESTR("ListColumnCount"), columns)) && columns.vt != VT_EMPTY &&
      TrxParseLong(Text(columns)) != 0) {
    TrxVariant listName;
    if (FAILED(ReadHostProperty(list.Get(), OLESTR("Name"), listName))) {
      TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("Name"));
      return TRX_HOST_GETPROPERTY;
    }
    path += Text(listName) + OLESTR(".");
    TrxVariant controlNames;
    if (FAILED(list->GetChildNames(OBJTYPE_CONTROL, &controlNames))) {
      TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETCHILDNAMES, OLESTR("OBJTYPE_CONTROL"));
      return TRX_HOST_GETCHILDNAMES;
    }
    path += (controlNames.vt & VT_ARRAY) ? Text(CNVTRXArray(&controlNames).GetAt(0)) : Text(controlNames);
    return TRX_OK;
  }
  TrxVariant control;
  if (FAILED(ReadHostProperty(applet.Get(), OLESTR("ActiveControlName"), control))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("ActiveControlName"));
    return TRX_HOST_GETPROPERTY;
  }
  path += Text(control);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::ConvertNWEMethod(const VARIANT&, LONG, CNVTRXArray& hostArguments, TrxString& methodName,
                                              CNVTRXArray& arguments) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::ConvertNWEMethod");
  methodName = OLESTR("ProcessKeyboardAccelerator");
  auto flag = [&](LONG i) {
    TrxVariant b;
    return SUCCEEDED(b.ChangeType(VT_BOOL, &static_cast<const VARIANT&>(hostArguments.GetAt(i, 1)))) && b.boolVal;
  };
  TrxVariant codeValue;
  codeValue.ChangeType(VT_I4, &static_cast<const VARIANT&>(hostArguments.GetAt(0, 1)));
  const LONG keyCode = codeValue.vt == VT_I4 ? codeValue.lVal : 0;
  TrxString keys;
  if (flag(1)) keys += OLESTR("Shift+");
  if (flag(2)) keys += OLESTR("Ctrl+");
  if (flag(3)) keys += OLESTR("Alt+");
  if (keyCode == kKeyTab) {
    methodName.clear();
    TRX_LOG(TRXLOG_USERERR)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("ProcessKeyboardAccelerator"), OLESTR("AccelKeys"),
                         kTabNotSupported);
    return TRX_E_ARG_VALUE;
  }
  const OLECHAR* keyName = nullptr;
  for (const KeyName& key : kKeys)
    if (key.code == keyCode) keyName = key.name;
  if (keyName) {
    keys += keyName;
  } else {
    const UINT character = MapVirtualKeyW(static_cast<UINT>(keyCode), MAPVK_VK_TO_CHAR);
    if (character == 0) {
      // A key with neither a name here nor a character (F5, Insert ...)
      // cannot be written as accelerator text; a NUL in the text would
      // record something that cannot be played back.
      methodName.clear();
      TRX_LOG(TRXLOG_USERERR)
          .ReportUserError(TRX_E_ARG_VALUE, OLESTR("ProcessKeyboardAccelerator"), OLESTR("AccelKeys"),
                           TrxDecimal(keyCode));
      return TRX_E_ARG_VALUE;
    }
    keys.push_back(static_cast<OLECHAR>(character));
  }
  TrxString focusPath;
  if (keyCode == kKeyF2) {
    const TRXRESULT code = F2FocusPath(focusPath);
    if (code != TRX_OK) return code;
  }
  arguments.SetAt(keys, 0);
  if (!focusPath.empty()) arguments.SetAt(focusPath, 1);
  return TRX_OK;
}

// ---- service-wide operations ---------------------------------------------------------

TRXRESULT CNVTRXApplication::EnableRecording(bool on) {
  TrxComPtr<INVAppControl> control;
  if (!m_spNWEAuto || FAILED(m_spNWEAuto.As(control)) || !control) {
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_NO_APPLICATION);
    return TRX_E_NO_APPLICATION;
  }
  if (FAILED(control->EnableRecorder(TrxVariant::FromBool(on)))) {
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_SYSTEM, OLESTR("Enable Recording failed"));
    return TRX_E_SYSTEM;
  }
  m_bRecording = on;
  return TRX_OK;
}

CNVTRXApplication::SuspendRecording::SuspendRecording(CNVTRXApplication* application) : m_application(application) {
  if (m_application && (m_application->m_bRecording || g_recordingSuspended.load())) {
    g_recordingSuspended = true;
    if (!m_application->m_bLoopbackTests) {
      // The guard changes the host's recorder, not the service's intent.
      const bool recording = m_application->m_bRecording;
      m_application->EnableRecording(false);
      m_application->m_bRecording = recording;
      m_bSwitchedOff = true;
    }
  } else {
    g_recordingSuspended = false;
  }
}

CNVTRXApplication::SuspendRecording::~SuspendRecording() {
  // Switched back on exactly when this guard switched it off, even if the
  // call turned loopback tests on meanwhile (the host would stay silent).
  if (m_application && m_bSwitchedOff && g_recordingSuspended.load()) {
    const bool recording = m_application->m_bRecording;
    m_application->EnableRecording(true);
    m_application->m_bRecording = recording;
  }
  g_recordingSuspended = false;
}

TRXRESULT CNVTRXApplication::EnableLogging(bool on, const OLECHAR* fileName, bool append) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::EnableLogging");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("EnableLogging=%d append=%d"), on ? 1 : 0, append ? 1 : 0);
  if (!on) {
    if (m_pLogFile && m_pLogFile->IsRunning()) m_pLogFile->Stop();
    return TRX_OK;
  }
  if (!m_pLogFile) m_pLogFile = std::make_unique<CNVTRXLogFile>();
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("fileName=\"%s\""), fileName);
  if (m_pLogFile->Start(fileName ? fileName : OLESTR(""), append) != 0) {
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_CREATE_FILE, fileName);
    return -TRX_E_CREATE_FILE;
  }
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::ResolveDescriptor(TrxStringView descriptor, CNVTRXAutomation** ppObject) {
  if (ppObject) *ppObject = nullptr;
  CNVTRXXmlNode top;
  bool valid = false;
  if (ParseODS(descriptor, &top) != 0 || top.IsNull() || ValidateODS(top, valid) != 0 || !valid) return TRX_E_SYSTEM;
  CNVTRXXmlNode below = top.GetLastChild();
  return CreateObjectFromODSNode(below.IsNull() ? nullptr : &below, ppObject);
}

bool CNVTRXApplication::RefreshSessionId() {
  TrxVariant session;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("SessionID"), session))) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_HOST_GETPROPERTY, OLESTR("SessionID"));
    return false;
  }
  const TrxString text = Text(session);
  if (text == m_strSessionId) return false;
  m_strSessionId = text;
  m_nOperationCounter = 0;
  return true;
}

TRXRESULT CNVTRXApplication::SendOperationId(const TrxString& id, const OLECHAR* what) {
  TrxComPtr<INVAppControl> control;
  if (!m_spNWEAuto || FAILED(m_spNWEAuto.As(control)) || !control) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(what);
    return TRX_E_SYSTEM;
  }
  TrxBstr text(id);
  if (FAILED(control->SetOperationId(text.Get()))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(what);
    return TRX_E_SYSTEM;
  }
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::SetNarmId() {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::SetNarmId");
  m_strOperationId = TrxDecimal(m_nOperationCounter++);
  return SendOperationId(m_strOperationId, OLESTR("SetNarmId"));
}

TRXRESULT CNVTRXApplication::SetOpId() {
  m_strOperationId = TrxDecimal(m_nOperationCounter++);
  return SendOperationId(m_strOperationId, OLESTR("SetOpId"));
}

TRXRESULT CNVTRXApplication::ClearOpId() {
  if (IsHostUnloaded() || !m_spNWEAuto) return TRX_OK;
  TrxComPtr<INVAppControl> control;
  if (FAILED(m_spNWEAuto.As(control)) || !control) return TRX_OK;
  return SendOperationId(TrxString(), OLESTR("ClearOpId"));
}

TRXRESULT CNVTRXApplication::WaitForHostIdle() {
  if (m_bRecording || g_recordingSuspended.load()) return TRX_OK;
  CNVTRXRequestExecutor* executor = CNVTRXRequestExecutor::Instance();
  if (!executor || !executor->GetSyncEvent()) return TRX_E_BUSY;
  const DWORD timeout = m_state.GetSubmitTimeout();
  WaitForSingleObject(executor->GetSyncEvent(), timeout);
  Sleep(100);
  return WaitForSingleObject(executor->GetSyncEvent(), timeout) == WAIT_OBJECT_0 ? TRX_OK : TRX_E_BUSY;
}

TRXRESULT CNVTRXApplication::CheckReady() {
  if (IsHostUnloaded()) {
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_NO_APPLICATION);
    return TRX_E_NO_APPLICATION;
  }
  if (WaitForHostIdle() != TRX_OK) {
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_BUSY);
    return TRX_E_BUSY;
  }
  ClearLastError();
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::MarkUnloaded() {
  CNVTRXRequestExecutor::MarkUnloaded();
  m_state.SetHostUnloaded(true);
  return TRX_OK;
}

void CNVTRXApplication::SetPendingRecordEvent(TrxStringView descriptor, TrxStringView method,
                                              const VARIANT& arguments) {
  m_strPendingODS = TrxString(descriptor);
  m_strPendingMethod = TrxString(method);
  m_pendingArgs = arguments;
}

void CNVTRXApplication::ClearPendingRecordEvent() {
  m_strPendingODS.clear();
  m_strPendingMethod.clear();
  m_pendingArgs.Clear();
}
