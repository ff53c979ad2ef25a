#include "objects/nvtrxview.h"

#include "log/nvtrxassert.h"
#include "objects/nvtrxclasses.h"

namespace {

// clang-format off
const TrxPropertyRow kTaskProperties[] = {
    {OLESTR("TaskViewTitle"), VT_BSTR, OLESTR("NorvTaskViewTitle"), VT_BSTR, TRXPROP_HOST, OLESTR("Title of the View")},
    {OLESTR("TaskStepTitle"), VT_BSTR, OLESTR("NorvTaskStepTitle"), VT_BSTR, TRXPROP_HOST, OLESTR("Title of the Step")},
    {OLESTR("UIName"),        VT_BSTR, OLESTR("NorvTaskStepTitle"), VT_BSTR, TRXPROP_HOST, OLESTR("")},
};
const TrxPropertyRow kViewProperties[] = {
    {OLESTR("UIName"),        VT_BSTR, OLESTR("DisplayName"),       VT_BSTR, TRXPROP_HOST, OLESTR("")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,        VT_BSTR, TRXPROP_CONST,    OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("Name"),          VT_BSTR, TRXPROP_HOST,     OLESTR("")},
    {OLESTR("AppletCount"),    VT_I4,   OLESTR("AppletCount"),   VT_I4,   TRXPROP_OVERLOAD, OLESTR("property Applet Count")},
    {OLESTR("ActiveApplet"),   VT_BSTR, OLESTR("ActiveApplet"),  VT_BSTR, TRXPROP_OVERLOAD, OLESTR("property Active Applet")},
};

const TrxChildClass kChildClasses[] = {
    {OLESTR("NorvViewApplets"), OLESTR("NorvViewApplets")},
    {OLESTR("NorvApplet"),      OLESTR("NorvApplet")},
};
// clang-format on

// The view applets' repository name as the view's methods report it.
const OLECHAR kViewAppletsName[] = OLESTR("NorveViewApplets");

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXView> CNVTRXView::kOwnProperties[] = {
    {OLESTR("AppletCount"),  TRXMATCH_NOCASE, &CNVTRXView::GetAppletCount},
    {OLESTR("ActiveApplet"), TRXMATCH_EXACT,  &CNVTRXView::GetActiveApplet},
};

const TrxOwnMethod<CNVTRXView> CNVTRXView::kOwnMethods[] = {
    {OLESTR("GetClassCount"),            TRXMATCH_NOCASE, &CNVTRXView::GetClassCount},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXView::GetRepositoryNameByIndex},
    {OLESTR("GetRepositoryName"),        TRXMATCH_NOCASE, &CNVTRXView::GetRepositoryName},
};
// clang-format on

CNVTRXView::CNVTRXView(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvView");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXView constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXView type=\"%s\""), name);
  TrxVariant viewName, viewType;
  if (FAILED(CurrentView(m_spNWEAuto))) {
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  ReadHostProperty(m_spNWEAuto.Get(), OLESTR("Name"), viewName);
  if (TrxText(viewName) != name) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("Incorrect view context to playback on the application. Requested view doesn't match "
                            "with current context of application"));
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ViewType"), viewType);
  if (TrxEqualsNoCase(TrxText(viewType), OLESTR("Task"))) {
    m_strClassName = OLESTR("NorvTaskStep");
    AddPropertyRows(kTaskProperties);
  } else {
    AddPropertyRows(kViewProperties);
  }
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXView::CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXView::CreateChild");
  return TrxCreateChild(this, kChildClasses, className, repositoryName, ppChild);
}

TRXRESULT CNVTRXView::OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType,
                                       INVPropertySet* pEventArgs, CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXView::OnBuildHierarchy");
  if (eventId == 0 || eventId == REQID_SETFOCUS) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXView event type=%d building NORVVIEWAPPLETS!"), eventId);
    if (CNVTRXAutomation* applets = FindChild(OLESTR("NorvViewApplets"), OLESTR("NorvViewApplets"))) {
      *ppChild = applets;
    } else {
      const TRXRESULT code = CreateChild(OLESTR("NorvViewApplets"), OLESTR("NorvViewApplets"), ppChild);
      if (eventId == REQID_SETFOCUS || code != TRX_OK) return code;
    }
    if (eventId == REQID_SETFOCUS) return TRX_OK;
  }
  if (eventId == REQID_BUTTONCLICK) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXView event type=%d building NORVAPPLET!"), eventId);
    CNVTRXArray args(pEventArgs);
    TrxVariant name;
    if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Name"), name)) return code;
    CNVTRXAutomation* applet = nullptr;
    // A click that navigated away leaves no applet: its error is the answer.
    if (TRXRESULT code = CreateChild(OLESTR("NorvApplet"), TrxText(name), &applet)) return code;
    if (!applet) return Fail(TRX_E_CREATE_OBJECT, TrxText(name), OLESTR("NorvApplet"));
    return applet->CreateChild(OLESTR("NorvButton"), TrxText(args.GetAt(0, 1)), ppChild);
  }
  return BuildApplet(pNWEAuto, objectType, ppChild);
}

TRXRESULT CNVTRXView::BuildApplet(INVAutomation* pNWEAuto, LONG objectType, CNVTRXAutomation** ppChild) {
  TrxVariant name;
  if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Name"), name)) return code;
  if (objectType == OBJTYPE_APPLET) return CreateChild(OLESTR("NorvApplet"), TrxText(name), ppChild);
  TrxAssertFailed(__FILE__, __LINE__, OLESTR("Unsupported object type returned by NWE in OnBuildHierarchy"));
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("I don't know how to build this object type %d under this class %s"), objectType,
                   m_strClassName);
  return Fail(TRX_E_ARG_VALUE, OLESTR("OnBuildHierarchy"), OLESTR("Object Type"), objectType);
}

TRXRESULT CNVTRXView::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("View GetProperty for : \"%s\""), TrxBstrView(name.bstrVal));
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXView>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  }
  return CNVTRXAutomation::GetProperty(name, value);
}

TRXRESULT CNVTRXView::AppletNames(const CNVTRXAutomation* reporter, INVAutomation* view, std::vector<TrxString>& names,
                                  LONG failureCode, bool warn) {
  TrxVariant value;
  const HRESULT hr = view ? view->GetChildNames(OBJTYPE_APPLET, &value) : E_POINTER;
  if (FAILED(hr)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE GetChild failed and returned 0x%x"), static_cast<ULONG>(hr));
    return warn ? TrxWarnOn(reporter, failureCode, OLESTR("OBJTYPE_APPLET"))
                : TrxFailOn(reporter, failureCode, OLESTR("OBJTYPE_APPLET"));
  }
  names = TrxStringList(value);
  return TRX_OK;
}

TRXRESULT CNVTRXView::AppletCount(const CNVTRXAutomation* reporter, INVAutomation* view, VARIANT* value) {
  std::vector<TrxString> names;
  if (TRXRESULT code = AppletNames(reporter, view, names, TRX_HOST_GETCHILDNAMES, false)) return code;
  if (value) TrxVariant::FromI4(static_cast<LONG>(names.size())).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXView::ActiveApplet(const CNVTRXAutomation* reporter, INVAutomation* view, VARIANT* value) {
  TrxVariant name;
  const HRESULT hr = ReadHostProperty(view, OLESTR("ActiveAppletName"), name);
  if (FAILED(hr)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE GetChild failed and returned 0x%x"), static_cast<ULONG>(hr));
    return TrxFailOn(reporter, TRX_HOST_GETPROPERTY, OLESTR("ActiveAppletName"));
  }
  if (value) TrxVariant::FromString(TrxText(name)).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXView::GetAppletCount(VARIANT* value) { return AppletCount(this, m_spNWEAuto.Get(), value); }

TRXRESULT CNVTRXView::GetActiveApplet(VARIANT* value) { return ActiveApplet(this, m_spNWEAuto.Get(), value); }

TRXRESULT CNVTRXView::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXView::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("MethodName : %s, Arguments : %s"), methodName, CNVTRXArray(&arguments).ToText());
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXView>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXView::GetClassCount(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  if (TRXRESULT code = CheckArgumentCount(args, OLESTR("GetClassCount"), 1)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  LONG count = 1;
  if (TrxEqualsNoCase(className, OLESTR("NorvApplet"))) {
    std::vector<TrxString> names;
    if (TRXRESULT code = AppletNames(this, m_spNWEAuto.Get(), names, TRX_HOST_GETCHILD, true)) return code;
    count = static_cast<LONG>(names.size());
  } else if (!TrxEqualsNoCase(className, OLESTR("NorvViewApplets"))) {
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetClassCount"), OLESTR("className"), className);
  }
  if (result) TrxVariant::FromI4(count).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXView::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetRepositoryNameByIndex");
  if (TRXRESULT code = CheckArgumentCount(args, kMethod, 2)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  const LONG index = TrxLong(args.GetAt(1));
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Method Name : %s Class Name : %s, Arguments : %d"), kMethod, className, index);
  TrxString name;
  if (TrxEqualsNoCase(className, OLESTR("NorvViewApplets"))) {
    if (index != 0) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
    name = kViewAppletsName;
  } else if (TrxEqualsNoCase(className, OLESTR("NorvApplet"))) {
    std::vector<TrxString> names;
    if (TRXRESULT code = AppletNames(this, m_spNWEAuto.Get(), names, TRX_HOST_GETCHILD, true)) return code;
    if (!TrxListItem(names, index, name)) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
  } else {
    return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("ClassName"), className);
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXView::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetRepositoryName");
  if (TRXRESULT code = CheckArgumentCount(args, kMethod, 2)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  const TrxString uiName = TrxText(args.GetAt(1));
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Method Name : %s, Class Name : %s, UI Name : %s"), kMethod, className, uiName);
  TrxString name;
  if (TrxEqualsNoCase(className, OLESTR("NorvViewApplets"))) {
    if (!TrxEqualsNoCase(uiName, OLESTR("NorvViewApplets"))) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("UIName"), uiName);
    name = kViewAppletsName;
  } else if (TrxEqualsNoCase(className, OLESTR("NorvApplet"))) {
    std::vector<TrxString> names;
    if (TRXRESULT code = AppletNames(this, m_spNWEAuto.Get(), names, TRX_HOST_GETCHILD, true)) return code;
    for (const TrxString& candidate : names) {
      TrxComPtr<INVAutomation> applet;
      TrxVariant display;
      if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_APPLET, candidate, applet)))
        return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_APPLET"));
      ReadHostProperty(applet.Get(), OLESTR("DisplayName"), display);
      if (TrxEqualsNoCase(TrxText(display), uiName)) {
        name = candidate;
        break;
      }
    }
    if (name.empty()) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("UIName"), uiName);
  } else {
    return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("ClassName"), className);
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}
