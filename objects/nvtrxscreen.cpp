#include "objects/nvtrxscreen.h"

#include "log/nvtrxassert.h"
#include "objects/nvtrxclasses.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,      VT_BSTR, TRXPROP_CONST,    OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName, VT_BSTR, TRXPROP_CONST,    OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("DisplayName"), VT_BSTR, TRXPROP_OVERLOAD, OLESTR("property DisplayName")},
};

const TrxChildClass kChildClasses[] = {
    {OLESTR("NorvScreenViews"), OLESTR("NorvScreenViews")},
    {OLESTR("NorvView"),        OLESTR("NorvView")},
    {OLESTR("NorvTaskStep"),    OLESTR("NorvView")},
    {OLESTR("NorvThreadbar"),   OLESTR("NorvThreadbar")},
    {OLESTR("NorvPDQ"),         OLESTR("NorvPDQ")},
};

// The classes the screen's methods answer for, and the UI name each has.
struct AskedClass {
  const OLECHAR* className;
  const OLECHAR* uiName;  // nullptr: the current view's display name
};
const AskedClass kAskedClasses[] = {
    {OLESTR("NorvScreenViews"), OLESTR("ScreenViews")},
    {OLESTR("NorvView"),        nullptr},
    {OLESTR("NorvTaskStep"),    nullptr},
    {OLESTR("NorvThreadbar"),   OLESTR("Threadbar")},
    {OLESTR("NorvPDQ"),         OLESTR("PDQ")},
};
// clang-format on

const AskedClass* FindAskedClass(TrxStringView className) {
  for (const AskedClass& asked : kAskedClasses)
    if (TrxEqualsNoCase(className, asked.className)) return &asked;
  return nullptr;
}

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXScreen> CNVTRXScreen::kOwnProperties[] = {
    {OLESTR("UIName"), TRXMATCH_NOCASE, &CNVTRXScreen::GetUIName},
};

const TrxOwnMethod<CNVTRXScreen> CNVTRXScreen::kOwnMethods[] = {
    {OLESTR("GetClassCount"),            TRXMATCH_NOCASE, &CNVTRXScreen::GetClassCount},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXScreen::GetRepositoryNameByIndex},
    {OLESTR("GetRepositoryName"),        TRXMATCH_NOCASE, &CNVTRXScreen::GetRepositoryName},
};
// clang-format on

CNVTRXScreen::CNVTRXScreen(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvScreen");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXScreen constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXScreen Name=\"%s\""), name);
  TRX_ASSERT(parent && parent->GetNWEAuto(), "NWEAutomation object pointer for parent is NULL");
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  TrxVariant selected, viewType, task;
  ReadHostProperty(m_spNWEAuto.Get(), OLESTR("SelectedTab"), selected);
  TrxComPtr<INVAutomation> view;
  if (SUCCEEDED(CurrentView(view)) && SUCCEEDED(ReadHostProperty(view.Get(), OLESTR("ViewType"), viewType)) &&
      TrxEqualsNoCase(TrxText(viewType), OLESTR("Task"))) {
    // A task stands where the screen would: any name is accepted.
    m_strClassName = OLESTR("NorvTask");
    ReadHostProperty(view.Get(), OLESTR("ActiveTask"), task);
    m_strRepositoryName = TrxText(task);
  } else if (TrxText(selected) != name) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Incorrect screen context to playback on the application."));
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXScreen::CreateChild(TrxStringView className, TrxStringView repositoryName,
                                    CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXScreen::CreateChild");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Class Name: \"%s\", RepositoryName: \"%s\""), className, repositoryName);
  return TrxCreateChild(this, kChildClasses, className, repositoryName, ppChild);
}

TRXRESULT CNVTRXScreen::BuildTRXObjectHierarchy() {
  TRX_FUNCTION();
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("class = %s repository name: %s"), m_strClassName, m_strRepositoryName);
  // The screen's children come from the application's rules, which reuse
  // this screen.
  if (m_pParent) m_pParent->BuildTRXObjectHierarchy();
  return TRX_OK;
}

TRXRESULT CNVTRXScreen::GetChildren(const VARIANT&, VARIANT* value) {
  TRX_FUNCTION();
  if (!m_pParent) return TRX_OK;
  TrxHostObjects hostChildren;
  m_pParent->GetNWEChildren(hostChildren);
  for (const auto& host : hostChildren) {
    CNVTRXAutomation* child = nullptr;
    if (TRXRESULT code = m_pParent->CreateChildFromNWE(host.Get(), &child)) return code;
  }
  std::vector<CNVTRXAutomation*> children;
  for (CNVTRXAutomation* screen : m_pParent->GetChildObjects())
    if (screen && screen->GetTRXClassName() == m_strClassName && screen->GetRepositoryName() == m_strRepositoryName)
      children.insert(children.end(), screen->GetChildObjects().begin(), screen->GetChildObjects().end());
  return AnswerDescriptors(children, value);
}

TRXRESULT CNVTRXScreen::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXScreen>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXAutomation::GetProperty(name, value);
}

TRXRESULT CNVTRXScreen::GetUIName(VARIANT* value) {
  if (m_strClassName == OLESTR("NorvScreen")) {
    TrxVariant names, displayNames;
    if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ScreenNames"), names))) {
      Fail(TRX_HOST_GETPROPERTY, OLESTR("ScreenNames"));
      return TRX_E_SYSTEM_OBJECT;
    }
    if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ScreenDisplayNames"), displayNames))) {
      Fail(TRX_HOST_GETPROPERTY, OLESTR("ScreenDisplayNames"));
      return TRX_E_SYSTEM_OBJECT;
    }
    const std::vector<TrxString> repository = TrxStringList(names), display = TrxStringList(displayNames);
    if (repository.size() != display.size()) {
      TRX_LOG(TRXLOG_TRXTRACE)
          .ReportTrace(OLESTR("Screen repository names and display names must have the same count"));
      return Fail(TRX_HOST_GETPROPERTY, OLESTR("ScreenDisplayNames/ScreenNames/Count"));
    }
    const LONG at = TrxFindItem(repository, m_strRepositoryName);
    if (at < 0) {
      TRX_LOG(TRXLOG_TRXTRACE)
          .ReportTrace(OLESTR("NWE did not return the current active screen name in the list of names"));
      return Fail(TRX_HOST_GETPROPERTY, OLESTR("ScreenNames"));
    }
    m_strUIName = display[static_cast<size_t>(at)];
  } else {
    TrxComPtr<INVAutomation> view;
    TrxVariant title;
    if (SUCCEEDED(CurrentView(view)) && SUCCEEDED(ReadHostProperty(view.Get(), OLESTR("NorvTaskViewTitle"), title)))
      m_strUIName = TrxText(title);
  }
  if (value) TrxVariant::FromString(m_strUIName).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXScreen::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXScreen::HandleAutomationRequest");
  CNVTRXArray args(&arguments);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodName : %s, Arguments : %s"), methodName, args.ToText());
  const TrxString className = TrxText(args.GetAt(0));
  if (!FindAskedClass(className)) return Warn(TRX_E_ARG_VALUE, methodName, OLESTR("ClassName"), className);
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXScreen>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXScreen::CurrentViewName(TrxComPtr<INVAutomation>& view, TrxString& name) {
  if (FAILED(CurrentView(view))) return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_VIEW"));
  TrxVariant value;
  if (FAILED(ReadHostProperty(view.Get(), OLESTR("Name"), value))) return Warn(TRX_HOST_GETPROPERTY, OLESTR("Name"));
  name = TrxText(value);
  return TRX_OK;
}

TRXRESULT CNVTRXScreen::GetClassCount(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const AskedClass* asked = FindAskedClass(TrxText(args.GetAt(0)));
  LONG count = 1;
  if (!asked->uiName || asked->uiName == TrxStringView(OLESTR("ScreenViews"))) {
    TrxComPtr<INVAutomation> view;
    TrxBstr none(OLESTR(""));
    INVAutomation* root = GetRoot()->GetNWEAuto();
    if (!root || FAILED(root->GetChild(OBJTYPE_VIEW, none.Get(), view.Put())))
      return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_VIEW"));
    count = view ? 1 : 0;
  }
  if (result) TrxVariant::FromI4(count).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXScreen::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetRepositoryNameByIndex");
  if (TRXRESULT code = CheckArgumentCount(args, kMethod, 2)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  const LONG index = TrxLong(args.GetAt(1));
  if (index != 0) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
  TrxString name = className;
  if (!FindAskedClass(className)->uiName) {
    TrxComPtr<INVAutomation> view;
    if (TRXRESULT code = CurrentViewName(view, name)) return code;
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXScreen::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetRepositoryName");
  if (TRXRESULT code = CheckArgumentCount(args, kMethod, 2)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  const TrxString uiName = TrxText(args.GetAt(1));
  const AskedClass* asked = FindAskedClass(className);
  TrxString name = className;
  if (asked->uiName) {
    if (!TrxEqualsNoCase(uiName, asked->uiName)) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("UIName"), uiName);
  } else {
    TrxComPtr<INVAutomation> view;
    if (TRXRESULT code = CurrentViewName(view, name)) return code;
    TrxVariant display;
    ReadHostProperty(view.Get(), OLESTR("DisplayName"), display);
    if (!TrxEqualsNoCase(TrxText(display), uiName)) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("UIName"), uiName);
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}
