#include "objects/nvtrxapplication.h"

#include <atomic>

#include "descriptors/nvtrxodsutil.h"
#include "descriptors/nvtrxxml.h"
#include "log/nvtrxassert.h"
#include "objects/nvtrxclasses.h"

namespace {

std::atomic<CNVTRXApplication*> g_application{nullptr};

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("Name"),            VT_BSTR, TRXPROP_HOST,  OLESTR("property RepositoryName")},
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,          VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("DisplayName"),     VT_BSTR, TRXPROP_HOST,  OLESTR("property DisplayName")},
};

// The classes the application creates (NorvTask is a screen of its own kind).
const TrxChildClass kChildClasses[] = {
    {OLESTR("NorvScreen"),                OLESTR("NorvScreen")},
    {OLESTR("NorvTask"),                  OLESTR("NorvScreen")},
    {OLESTR("NorvMenu"),                  OLESTR("NorvMenu")},
    {OLESTR("NorvToolbar"),               OLESTR("NorvToolbar")},
    {OLESTR("NorvPageTabs"),              OLESTR("NorvPageTabs")},
    {OLESTR("NorvView"),                  OLESTR("NorvView")},
    {OLESTR("NorvTaskAssistant"),         OLESTR("NorvTaskAssistant")},
    {OLESTR("NorvCommunicationsToolbar"), OLESTR("NorvCommunicationsToolbar")},
    {OLESTR("NorvTaskUIPane"),            OLESTR("NorvTaskUIPane")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXApplication> CNVTRXApplication::kOwnMethods[] = {
    {OLESTR("ProcessKeyboardAccelerator"), TRXMATCH_NOCASE, &CNVTRXApplication::ProcessKeyboardAccelerator},
    {OLESTR("Sync"),                       TRXMATCH_NOCASE, &CNVTRXApplication::Sync},
    {OLESTR("GetClassCount"),              TRXMATCH_NOCASE, &CNVTRXApplication::GetClassCount},
    {OLESTR("GetRepositoryNameByIndex"),   TRXMATCH_NOCASE, &CNVTRXApplication::GetRepositoryNameByIndex},
    {OLESTR("GetRepositoryName"),          TRXMATCH_NOCASE, &CNVTRXApplication::GetRepositoryName},
    {OLESTR("GetLastErrorCode"),           TRXMATCH_NOCASE, &CNVTRXApplication::GetLastErrorCode},
    {OLESTR("GetLastErrorMessage"),        TRXMATCH_NOCASE, &CNVTRXApplication::GetLastErrorMessage},
    {OLESTR("SetTimeOut"),                 TRXMATCH_NOCASE, &CNVTRXApplication::SetTimeOut},
};
// clang-format on

// ---- construction ------------------------------------------------------------------

CNVTRXApplication::CNVTRXApplication(TrxStringView name, CNVTRXAutomation* parent)
    : CNVTRXAutomation(name, parent), m_state(this) {
  m_strClassName = OLESTR("NorvApplication");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXApplication RepositoryName=\"%s\""), name);
  CNVTRXLog::ReadLevelFromEnvironment();
  AddPropertyRows(kProperties);
  m_definitions.Load();
  g_application.store(this);
}

CNVTRXApplication::~CNVTRXApplication() {
  CNVTRXApplication* self = this;
  g_application.compare_exchange_strong(self, nullptr);
  ReleaseChildren();
}

CNVTRXApplication* CNVTRXApplication::Current() noexcept { return g_application.load(); }

void CNVTRXApplication::SetNWEAuto(INVAutomation* pNWEAuto) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::SetNWEAuto");
  TRX_ASSERT(pNWEAuto != nullptr, "SetNWEAuto called without a host object");
  m_spNWEAuto = pNWEAuto;
  m_state.SetHost(pNWEAuto);
  TrxVariant name;
  if (SUCCEEDED(ReadHostProperty(pNWEAuto, OLESTR("Name"), name)) && name.vt == VT_BSTR)
    m_strRepositoryName = TrxString(TrxBstrView(name.bstrVal));
  else
    Fail(TRX_HOST_GETPROPERTY, OLESTR("Name"));
}

TRXRESULT CNVTRXApplication::ResolveDescriptor(TrxStringView descriptor, CNVTRXAutomation** ppObject) {
  if (ppObject) *ppObject = nullptr;
  if (descriptor.empty()) return TrxFail(TRX_E_SYSTEM, OLESTR("TRXODS cannot be empty."));
  CNVTRXXmlNode top;
  bool valid = false;
  if (ParseODS(descriptor, &top) != 0 || top.IsNull() || ValidateODS(top, valid) != 0 || !valid) {
    // Every failure carries a message: the descriptor's own error if one was reported.
    if (GetLastErrorCode() == 0) return TrxFail(TRX_E_SYSTEM, TrxFormatText(OLESTR("Invalid TRXODS : %s."), descriptor));
    return TRX_E_SYSTEM;
  }
  CNVTRXXmlNode below = top.GetLastChild();
  return CreateObjectFromODSNode(below.IsNull() ? nullptr : &below, ppObject);
}

// ---- children ------------------------------------------------------------------------

TRXRESULT CNVTRXApplication::CreateChild(TrxStringView className, TrxStringView repositoryName,
                                         CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::CreateChild");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Class Name: \"%s\", RepositoryName: \"%s\""), className, repositoryName);
  return TrxCreateChild(this, kChildClasses, className, repositoryName, ppChild);
}

TRXRESULT CNVTRXApplication::CurrentScreen(CNVTRXAutomation** ppScreen, LONG navigationFailureCode) {
  TrxComPtr<INVAutomation> navigation, view;
  TrxVariant selected, viewType, task;
  if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), navigation)))
    return Fail(navigationFailureCode, OLESTR("OBJTYPE_NAVCONTROL, Screen"));
  if (TRXRESULT code = ReadHost(navigation.Get(), OLESTR("SelectedTab"), selected)) return code;
  const TrxString screenName = TrxText(selected);
  // Look for what the screen's constructor builds: a task named by the
  // active task while a task view is current.
  CNVTRXAutomation* screen = nullptr;
  if (SUCCEEDED(CurrentView(view)) && SUCCEEDED(ReadHostProperty(view.Get(), OLESTR("ViewType"), viewType)) &&
      TrxEqualsNoCase(TrxText(viewType), OLESTR("Task"))) {
    ReadHostProperty(view.Get(), OLESTR("ActiveTask"), task);
    screen = FindChild(OLESTR("NorvTask"), TrxText(task));
  } else {
    screen = FindChild(OLESTR("NorvScreen"), screenName);
  }
  if (!screen)
    if (TRXRESULT code = CreateChild(OLESTR("NorvScreen"), screenName, &screen)) return code;
  *ppScreen = screen;
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType,
                                              INVPropertySet* pEventArgs, CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::OnBuildHierarchy");
  TrxVariant nameValue;
  if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Name"), nameValue)) return code;
  const TrxString name = TrxText(nameValue);
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
      if (TRXRESULT code = CurrentScreen(&screen, TRX_HOST_GETCHILD)) return code;
      *ppChild = screen;
      return screen->CreateChild(objectType == OBJTYPE_CONTROL ? OLESTR("NorvPDQ") : OLESTR("NorvThreadbar"), name,
                                 ppChild);
    }
    case OBJTYPE_NAVCONTROL: {
      TrxVariant again;
      if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Name"), again)) return code;
      const TrxString navigation = TrxText(again);
      if (navigation == OLESTR("AggregateViews") || navigation == OLESTR("DetailCategory") ||
          navigation == OLESTR("View")) {
        if (TRXRESULT code = CurrentScreen(&screen, TRX_HOST_GETPROPERTY)) return code;
        *ppChild = screen;
        if (CNVTRXAutomation* views = screen->FindChild(OLESTR("NorvScreenViews"), OLESTR("NorvScreenViews"))) {
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
      if (TRXRESULT code = CurrentScreen(&screen, TRX_HOST_GETCHILD)) return code;
      *ppChild = screen;
      TrxComPtr<INVAutomation> view;
      TrxVariant viewName;
      if (FAILED(CurrentView(view))) return Fail(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_VIEW"));
      if (TRXRESULT code = ReadHost(view.Get(), OLESTR("Name"), viewName)) return code;
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Going to create NORVVIEW"));
      return screen->CreateChild(OLESTR("NorvView"), TrxText(viewName), ppChild);
    }
    case OBJTYPE_EXTOBJECT: {
      TrxVariant type;
      if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Type"), type)) return code;
      // A task started from the task pane is recorded on its link; any other
      // external object (the task assistant's Start) is the result itself.
      if (eventId != REQID_TASKSTART || TrxText(type) != OLESTR("NorvTaskUIPane"))
        return CreateChild(TrxText(type), name, ppChild);
      CNVTRXAutomation* pane = nullptr;
      const TRXRESULT code = CreateChild(TrxText(type), name, &pane);
      if (code != TRX_OK || !pane) return code;
      *ppChild = pane;
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Creating new TRX virtual object NorvTaskLink"));
      CNVTRXArray args(pEventArgs);
      TrxString link = TrxText(args.GetAt(0, 1));
      if (args.GetCount() != 1) link += OLESTR("|") + TrxText(args.GetAt(1, 1));
      return pane->CreateChild(OLESTR("NorvTaskLink"), link, ppChild);
    }
    default:
      TRX_LOG(TRXLOG_TRXTRACE)
          .ReportTrace(OLESTR("I don't know how to build this object type %d under this class %s"), objectType,
                       m_strClassName);
      Fail(TRX_E_INVALID_EVENT, eventId, objectType);
      TrxAssertFailed(__FILE__, __LINE__, OLESTR("Invalid object type from NWE during recording"));
      return TRX_E_INVALID_EVENT;
  }
}

// ---- the application's methods ------------------------------------------------------

TRXRESULT CNVTRXApplication::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                     VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodName=\"%s\""), methodName);
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXApplication>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXApplication::ConvertNWEMethod(const VARIANT&, LONG, CNVTRXArray& hostArguments, TrxString& methodName,
                                              CNVTRXArray& arguments) {
  return m_accelerators.Convert(hostArguments, methodName, arguments);
}

TRXRESULT CNVTRXApplication::ProcessKeyboardAccelerator(const VARIANT& arguments, VARIANT*) {
  return m_accelerators.Play(arguments);
}

TRXRESULT CNVTRXApplication::Sync(const VARIANT&, VARIANT*) { return TRX_OK; }

TRXRESULT CNVTRXApplication::GetLastErrorCode(const VARIANT&, VARIANT* result) {
  if (result) TrxVariant::FromI4(GetLastErrorCode()).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::GetLastErrorMessage(const VARIANT&, VARIANT* result) {
  if (result) TrxVariant::FromString(GetLastErrorMessage()).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::GetClassCount(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString className = TrxText(args.GetAt(0));
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
    if (SUCCEEDED(CurrentView(view)) && SUCCEEDED(ReadHostProperty(view.Get(), OLESTR("ViewType"), viewType)) &&
        TrxEqualsNoCase(TrxText(viewType), OLESTR("Task")))
      count = 1;
  } else {
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetClassCount"), OLESTR("ClassName"), className);
  }
  if (result) TrxVariant::FromI4(count).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString className = TrxText(args.GetAt(0));
  const LONG index = TrxLong(args.GetAt(1));
  const OLECHAR kMethod[] = OLESTR("GetRepositoryNameByIndex");
  const bool single = className == OLESTR("NorvMenu") || className == OLESTR("NorvPageTabs") ||
                      className == OLESTR("NorvTask") || className == OLESTR("NorvScreen");
  if (single && index != 0) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
  TrxString name;
  if (className == OLESTR("NorvToolbar")) {
    TrxVariant names;
    if (!m_spNWEAuto || FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_TOOLBAR, &names)))
      return Warn(TRX_HOST_GETCHILDNAMES, OLESTR("OBJTYPE_TOOLBAR"));
    CNVTRXArray list(&names);
    if (index < 0 || index >= list.GetCount())
      return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
    name = TrxText(list.GetAt(index));
  } else if (className == OLESTR("NorvMenu") || className == OLESTR("NorvPageTabs")) {
    name = className;
  } else if (className == OLESTR("NorvTask")) {
    TrxComPtr<INVAutomation> view;
    TrxVariant task;
    if (FAILED(CurrentView(view))) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("ClassName,"), className);
    ReadHostProperty(view.Get(), OLESTR("ActiveTask"), task);
    name = TrxText(task);
  } else if (className == OLESTR("NorvScreen")) {
    TrxComPtr<INVAutomation> navigation;
    TrxVariant selected;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), navigation)))
      return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_NAVCONTROL , Screen"));
    if (FAILED(ReadHostProperty(navigation.Get(), OLESTR("SelectedTab"), selected)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("SelectedTab"));
    name = TrxText(selected);
  } else {
    return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("ClassName,"), className);
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString className = TrxText(args.GetAt(0));
  const TrxString uiName = TrxText(args.GetAt(1));
  const OLECHAR kMethod[] = OLESTR("GetRepositoryName");
  TrxString name;
  if (className == OLESTR("NorvToolbar")) {
    return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("ClassName"), OLESTR("UIName is not applicable to ") + className);
  } else if (className == OLESTR("NorvMenu") || className == OLESTR("NorvPageTabs")) {
    name = className;
  } else if (className == OLESTR("NorvTask")) {
    TrxComPtr<INVAutomation> view;
    TrxVariant title, task;
    if (FAILED(CurrentView(view))) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("ClassName,"), className);
    ReadHostProperty(view.Get(), OLESTR("NorvTaskViewTitle"), title);
    if (!TrxEqualsNoCase(TrxText(title), uiName)) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("UIName"), uiName);
    ReadHostProperty(view.Get(), OLESTR("ActiveTask"), task);
    name = TrxText(task);
  } else if (className == OLESTR("NorvScreen")) {
    TrxComPtr<INVAutomation> navigation;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), navigation)))
      return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_NAVCONTROL, Screen"));
    TrxVariant selected, displayNames, names;
    for (auto [property, value] : {std::pair<const OLECHAR*, TrxVariant*>{OLESTR("SelectedTab"), &selected},
                                   {OLESTR("ScreenDisplayNames"), &displayNames},
                                   {OLESTR("ScreenNames"), &names}})
      if (FAILED(ReadHostProperty(navigation.Get(), property, *value))) return Warn(TRX_HOST_GETPROPERTY, property);
    name = TrxText(selected);
    CNVTRXArray screenNames(&names);
    CNVTRXArray screenDisplayNames(&displayNames);
    for (LONG i = 0; i < screenNames.GetCount(); ++i) {
      if (TrxText(screenNames.GetAt(i)) != name) continue;
      if (!TrxEqualsNoCase(TrxText(screenDisplayNames.GetAt(i)), uiName))
        return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("UIName"), uiName);
      break;
    }
  } else {
    return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("ClassName"), className);
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplication::SetTimeOut(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG seconds = TrxLong(args.GetAt(0));
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Timeout in Seconds : %d"), seconds);
  if (seconds < 10)
    return Warn(TRX_E_ARG_VALUE, OLESTR("SetTimeOut"), OLESTR("NewTimeOutInSecs"),
                TrxDecimal(seconds) + OLESTR("(Expected value >= 10)"));
  if (result) TrxVariant::FromI4(GetSubmitTimeout() / 1000).Detach(result);
  SetSubmitTimeout(seconds * 1000);
  return TRX_OK;
}
