#include "objects/nvtrxapplet.h"

#include "log/nvtrxassert.h"
#include "objects/nvtrxclasses.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("GetActiveControlName"), VT_EMPTY, 0, VT_BSTR, TRXMETHOD_PROPERTY, OLESTR("Returns the Active Control Name in the applet"), OLESTR("ActiveControlName")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,        VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("DisplayName"),   VT_BSTR, TRXPROP_HOST,  OLESTR("")},
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("Name"),          VT_BSTR, TRXPROP_HOST,  OLESTR("")},
    {OLESTR("IsPopupApplet"),  VT_BOOL, OLESTR("IsPopupApplet"), VT_BOOL, TRXPROP_HOST,  OLESTR("Returns TRUE if the applet is a popup applet or FALSE if it is not")},
    {OLESTR("RecordCounter"),  VT_BSTR, OLESTR("RowCounter"),    VT_BSTR, TRXPROP_HOST,  OLESTR("Returns the record counter in the applet")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),        VT_BSTR, TRXPROP_HOST,  OLESTR("")},
};

// A host control's "Type": the class it is built as (nullptr: not built)
// and the class it is counted and named as.
struct ControlType {
  const OLECHAR* type;
  const OLECHAR* built;
  const OLECHAR* named;
};
const ControlType kControlTypes[] = {
    {OLESTR("text"),         OLESTR("NorvText"),       OLESTR("NorvText")},
    {OLESTR("password"),     OLESTR("NorvText"),       OLESTR("NorvText")},
    {OLESTR("picklist"),     OLESTR("NorvText"),       OLESTR("NorvText")},
    {OLESTR("mvg"),          OLESTR("NorvText"),       OLESTR("NorvText")},
    {OLESTR("date"),         OLESTR("NorvCalendar"),   OLESTR("NorvCalendar")},
    {OLESTR("datetime"),     OLESTR("NorvCalendar"),   OLESTR("NorvCalendar")},
    {OLESTR("utcdatetime"),  OLESTR("NorvCalendar"),   OLESTR("NorvCalendar")},
    {OLESTR("time"),         nullptr,                  OLESTR("NorvCalendar")},
    {OLESTR("rtcembedded"),  OLESTR("NorvRichText"),   OLESTR("NorvRichText")},
    {OLESTR("currency"),     OLESTR("NorvCurrency"),   OLESTR("NorvCurrency")},
    {OLESTR("number"),       OLESTR("NorvCalculator"), OLESTR("NorvCalculator")},
    {OLESTR("radio"),        OLESTR("NorvRadioGroup"), OLESTR("NorvRadioGroup")},
    {OLESTR("checkbox"),     OLESTR("NorvCheckbox"),   OLESTR("NorvCheckbox")},
    {OLESTR("select"),       OLESTR("NorvPicklist"),   OLESTR("NorvPicklist")},
    {OLESTR("combo"),        OLESTR("NorvPicklist"),   OLESTR("NorvPicklist")},
    {OLESTR("textarea"),     OLESTR("NorvTextArea"),   OLESTR("NorvTextArea")},
    {OLESTR("InkData"),      OLESTR("NorvTextArea"),   OLESTR("NorvInkData")},
    {OLESTR("button"),       OLESTR("NorvButton"),     OLESTR("NorvButton")},
    {OLESTR("list"),         OLESTR("NorvList"),       OLESTR("")},
};

// A sub-control of a popup's control: its "Type" and the class it is built as.
const ControlType kSubControlTypes[] = {
    {OLESTR("text"),        OLESTR("NorvText"),       nullptr},
    {OLESTR("number"),      OLESTR("NorvCalculator"), nullptr},
    {OLESTR("date"),        OLESTR("NorvCalendar"),   nullptr},
    {OLESTR("datetime"),    OLESTR("NorvCalendar"),   nullptr},
    {OLESTR("utcdatetime"), OLESTR("NorvCalendar"),   nullptr},
};

const TrxChildClass kChildClasses[] = {
    {OLESTR("NorvList"),       OLESTR("NorvList")},
    {OLESTR("NorvText"),       OLESTR("NorvText")},
    {OLESTR("NorvRichText"),   OLESTR("NorvRichText")},
    {OLESTR("NorvTextArea"),   OLESTR("NorvTextArea")},
    {OLESTR("NorvInkData"),    OLESTR("NorvTextArea")},
    {OLESTR("NorvCalculator"), OLESTR("NorvCalculator")},
    {OLESTR("NorvCalendar"),   OLESTR("NorvCalendar")},
    {OLESTR("NorvPicklist"),   OLESTR("NorvPicklist")},
    {OLESTR("NorvCheckbox"),   OLESTR("NorvCheckbox")},
    {OLESTR("NorvTree"),       OLESTR("NorvTree")},
    {OLESTR("NorvButton"),     OLESTR("NorvButton")},
    {OLESTR("NorvCurrency"),   OLESTR("NorvCurrency")},
    {OLESTR("NorvMenu"),       OLESTR("NorvMenu")},
    {OLESTR("NorvRadioGroup"), OLESTR("NorvRadioGroup")},
    {OLESTR("NorvAlphaTabs"),  OLESTR("NorvAlphaTabs")},
};
// clang-format on

const ControlType* FindType(std::span<const ControlType> types, TrxStringView type) {
  for (const ControlType& entry : types)
    if (type == entry.type) return &entry;
  return nullptr;
}

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXApplet> CNVTRXApplet::kOwnMethods[] = {
    {OLESTR("GetRepositoryName"),        TRXMATCH_NOCASE, &CNVTRXApplet::GetRepositoryName},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXApplet::GetRepositoryNameByIndex},
    {OLESTR("IsControlExists"),          TRXMATCH_NOCASE, &CNVTRXApplet::IsControlExists},
    {OLESTR("SetActiveControl"),         TRXMATCH_NOCASE, &CNVTRXApplet::SetActiveControl},
    {OLESTR("GetClassCount"),            TRXMATCH_NOCASE, &CNVTRXApplet::GetClassCount},
};
// clang-format on

const OLECHAR* CNVTRXApplet::BuiltClass(TrxStringView type) {
  const ControlType* entry = FindType(kControlTypes, type);
  return entry ? entry->built : nullptr;
}

const OLECHAR* CNVTRXApplet::NamedClass(TrxStringView type) {
  const ControlType* entry = FindType(kControlTypes, type);
  return entry ? entry->named : OLESTR("");
}

CNVTRXApplet::CNVTRXApplet(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvApplet");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplet constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXApplet Name=\"%s\""), name);
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_APPLET, name, m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXApplet::CreateChild(TrxStringView className, TrxStringView repositoryName,
                                    CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplet::CreateChild");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Class Name: \"%s\", RepositoryName: \"%s\""), className, repositoryName);
  return TrxCreateChild(this, kChildClasses, className, repositoryName, ppChild);
}

TRXRESULT CNVTRXApplet::OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType,
                                         INVPropertySet* pEventArgs, CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplet::OnBuildHierarchy");
  TrxVariant nameValue, type;
  const bool named =
      objectType != OBJTYPE_LISTCONTROL && objectType != OBJTYPE_TREECONTROL && objectType != OBJTYPE_ALPHATABCONTROL;
  if (named)
    if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Name"), nameValue)) return code;
  const TrxString name = TrxText(nameValue);
  switch (objectType) {
    case OBJTYPE_MENU:
      return CreateChild(OLESTR("NorvMenu"), OLESTR("NorvMenu"), ppChild);
    case OBJTYPE_CONTROL:
    case OBJTYPE_SUBCONTROL: {
      if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Type"), type)) return code;
      const ControlType* entry = FindType(objectType == OBJTYPE_CONTROL ? std::span<const ControlType>(kControlTypes)
                                                                       : std::span<const ControlType>(kSubControlTypes),
                                          TrxText(type));
      // A control of a type no class stands for is left out, and the walk goes on.
      if (!entry || !entry->built) return TRX_OK;
      return CreateChild(entry->built, name, ppChild);
    }
    case OBJTYPE_LISTCONTROL:
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Going to create NORVLIST"));
      return CreateChild(OLESTR("NorvList"), OLESTR("NorvList"), ppChild);
    case OBJTYPE_TREECONTROL:
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Going to create NORVTREE"));
      return CreateChild(OLESTR("NorvTree"), OLESTR("NorvTree"), ppChild);
    case OBJTYPE_ALPHATABCONTROL: {
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Going to create NORVALPHATAB"));
      CNVTRXArray args(pEventArgs);
      return CreateChild(OLESTR("NorvAlphaTabs"), TrxText(args.GetAt(0, 1)), ppChild);
    }
    default:
      TRX_LOG(TRXLOG_TRXTRACE)
          .ReportTrace(OLESTR("I don't know how to build this object type %d under this class %s"), objectType,
                       m_strClassName);
      TrxAssertFailed(__FILE__, __LINE__, OLESTR("NWE automation has returned an unsupported NWE object type"));
      return Fail(TRX_E_INVALID_EVENT, eventId, objectType);
  }
}

TRXRESULT CNVTRXApplet::ButtonNames(std::vector<TrxString>& names, const OLECHAR* what) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonNames"), value)))
    return Warn(TRX_HOST_GETPROPERTY, what);
  names = TrxStringList(value);
  return TRX_OK;
}

TRXRESULT CNVTRXApplet::GetObjectFromId(TrxString htmlId, bool& found, CNVTRXAutomation*& object) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplet::GetObjectFromId");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("HTMLId: %s"), htmlId);
  found = false;
  if (!m_spNWEAuto) return TRX_E_SYSTEM;
  TrxVariant own;
  if (GetProperty(TrxVariant::FromString(OLESTR("HtmlId")), &own) == TRX_OK && own.vt == VT_BSTR &&
      TrxBstrView(own.bstrVal) == htmlId) {
    found = true;
    object = this;
    return TRX_OK;
  }
  TrxVariant names, ids;
  ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonNames"), names);
  ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonHTMLIds"), ids);
  const std::vector<TrxString> buttonNames = TrxStringList(names), buttonIds = TrxStringList(ids);
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Applet : %s, has the following buttons : %s, HtmlIds: %s"), m_strRepositoryName,
                   CNVTRXArray(&names).ToText(), CNVTRXArray(&ids).ToText());
  TrxString button;
  if (TrxListItem(buttonNames, TrxFindItem(buttonIds, htmlId), button)) {
    CNVTRXAutomation* child = nullptr;
    if (CreateChild(OLESTR("NorvButton"), button, &child) == TRX_OK && child) {
      found = true;
      object = child;
      return TRX_OK;
    }
  }
  return CNVTRXAutomation::GetObjectFromId(htmlId, found, object);
}

TRXRESULT CNVTRXApplet::BuildButtons(bool walk) {
  TrxVariant value;
  ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonNames"), value);
  for (const TrxString& name : TrxStringList(value)) {
    CNVTRXAutomation* button = nullptr;
    if (TRXRESULT code = CreateChild(OLESTR("NorvButton"), name, &button)) return code;
    if (walk && button) button->BuildTRXObjectHierarchy();
  }
  return TRX_OK;
}

TRXRESULT CNVTRXApplet::BuildTRXObjectHierarchy() {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplet::BuildTRXObjectHierarchy");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("class = %s repository name: %s"), m_strClassName, m_strRepositoryName);
  if (TRXRESULT code = CNVTRXAutomation::BuildTRXObjectHierarchy()) return code;
  return m_spNWEAuto ? BuildButtons(true) : TRX_OK;
}

TRXRESULT CNVTRXApplet::GetChildren(const VARIANT&, VARIANT* value) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplet::GetChildren");
  if (m_spNWEAuto) {
    TrxHostObjects hostChildren;
    GetNWEChildren(hostChildren);
    for (const auto& host : hostChildren) {
      CNVTRXAutomation* child = nullptr;
      if (TRXRESULT code = CreateChildFromNWE(host.Get(), &child)) return code;
    }
    if (TRXRESULT code = BuildButtons(false)) return code;
  }
  return AnswerDescriptors(m_arrChildren, value);
}

TRXRESULT CNVTRXApplet::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplet::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("MethodName : \"%s\", Arguments : \"%s\""), methodName, CNVTRXArray(&arguments).ToText());
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXApplet>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXApplet::ListHasColumns(bool& hasColumns) {
  TrxComPtr<INVAutomation> list;
  if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_LISTCONTROL, OLESTR("NorvList"), list)))
    return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_LISTCONTROL"));
  TrxVariant columns;
  ReadHostProperty(list.Get(), OLESTR("ListColumnCount"), columns);
  hasColumns = TrxLong(columns) != 0;
  return TRX_OK;
}

TRXRESULT CNVTRXApplet::ControlsOfClass(TrxStringView className, std::vector<TrxString>& names,
                                        const OLECHAR* typeFailure) {
  TrxVariant value;
  if (!m_spNWEAuto || FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_CONTROL, &value))) return TRX_OK;
  for (const TrxString& name : TrxStringList(value)) {
    TrxComPtr<INVAutomation> control;
    TrxVariant type;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, name, control)) ||
        FAILED(ReadHostProperty(control.Get(), OLESTR("Type"), type)))
      return Warn(TRX_HOST_GETPROPERTY, typeFailure);
    if (TrxEqualsNoCase(NamedClass(TrxText(type)), className)) names.push_back(name);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXApplet::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  if (TRXRESULT code = CheckArgumentCount(args, OLESTR("GetRepositoryName"), 2)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  const TrxString uiName = TrxText(args.GetAt(1));
  TrxString name;
  TrxComPtr<INVAutomation> child;
  if (TrxEqualsNoCase(className, OLESTR("NorvTree"))) {
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_TREECONTROL, OLESTR("NorvTree"), child)))
      return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_TREECONTROL"));
    name = OLESTR("NorvTree");
  } else if (TrxEqualsNoCase(className, OLESTR("NorvList"))) {
    bool hasColumns = false;
    if (TRXRESULT code = ListHasColumns(hasColumns)) return code;
    if (hasColumns) name = OLESTR("NorvList");
  } else if (TrxEqualsNoCase(className, OLESTR("NorvMenu"))) {
    if (TrxEqualsNoCase(uiName, OLESTR("Menu"))) name = OLESTR("NorvMenu");
  } else if (TrxEqualsNoCase(className, OLESTR("NorvButton"))) {
    TrxVariant displayNames;
    if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonDisplayNames"), displayNames)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("ButtonDisplayNames"));
    std::vector<TrxString> names;
    if (ButtonNames(names) != TRX_OK || !TrxListItem(names, TrxFindItem(TrxStringList(displayNames), uiName), name))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("ButtonNames"));
  } else {
    TrxVariant controls;
    if (m_spNWEAuto && SUCCEEDED(m_spNWEAuto->GetChildNames(OBJTYPE_CONTROL, &controls))) {
      for (const TrxString& candidate : TrxStringList(controls)) {
        TrxVariant display, type;
        if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, candidate, child)) ||
            FAILED(ReadHostProperty(child.Get(), OLESTR("DisplayName"), display)))
          return Warn(TRX_HOST_GETPROPERTY, OLESTR("DisplayName"));
        if (TrxText(display) != uiName) continue;
        if (FAILED(ReadHostProperty(child.Get(), OLESTR("Type"), type))) return Warn(TRX_HOST_GETPROPERTY, OLESTR("Type"));
        if (!TrxEqualsNoCase(NamedClass(TrxText(type)), className)) continue;
        name = candidate;
        break;
      }
    }
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplet::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetRepositoryNameByIndex");
  if (TRXRESULT code = CheckArgumentCount(args, kMethod, 2)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  const LONG index = TrxLong(args.GetAt(1));
  const bool single = TrxEqualsNoCase(className, OLESTR("NorvTree")) || TrxEqualsNoCase(className, OLESTR("NorvList")) ||
                      TrxEqualsNoCase(className, OLESTR("NorvMenu"));
  if (single && index != 0) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
  TrxString name;
  if (TrxEqualsNoCase(className, OLESTR("NorvTree"))) {
    TrxComPtr<INVAutomation> tree;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_TREECONTROL, OLESTR("NorvTree"), tree)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("OBJTYPE_TREECONTROL"));
    name = OLESTR("NorvTree");
  } else if (TrxEqualsNoCase(className, OLESTR("NorvList"))) {
    bool hasColumns = false;
    if (TRXRESULT code = ListHasColumns(hasColumns)) return code;
    if (hasColumns) name = OLESTR("NorvList");
  } else if (TrxEqualsNoCase(className, OLESTR("NorvMenu"))) {
    name = OLESTR("NorvMenu");
  } else {
    std::vector<TrxString> names;
    const bool buttons = TrxEqualsNoCase(className, OLESTR("NorvButton"));
    if (TRXRESULT code = buttons ? ButtonNames(names) : ControlsOfClass(className, names, OLESTR("Type"))) return code;
    if (!TrxListItem(names, index, name)) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
  }
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplet::IsControlExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString name = TrxText(args.GetAt(0));
  bool exists = false;
  TrxComPtr<INVAutomation> child;
  if (TrxEqualsNoCase(name, OLESTR("NorvTree"))) {
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_TREECONTROL, OLESTR("NorvTree"), child)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("AppletType"));
    exists = true;
  } else if (name == OLESTR("NorvList")) {
    if (TRXRESULT code = ListHasColumns(exists)) return code;
  } else if (TrxEqualsNoCase(name, OLESTR("NorvMenu"))) {
    TrxVariant menus;
    if (!m_spNWEAuto || FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_MENU, &menus)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("GetProperty on NWE failed. Control: Applet, NWE Property: AppletType"));
    exists = !TrxStringList(menus).empty();
  } else {
    TrxVariant controls;
    if (m_spNWEAuto && SUCCEEDED(m_spNWEAuto->GetChildNames(OBJTYPE_CONTROL, &controls)) && (controls.vt & VT_ARRAY))
      exists = TrxFindItem(TrxStringList(controls), name) >= 0;
    if (!exists) {
      std::vector<TrxString> buttons;
      if (TRXRESULT code =
              ButtonNames(buttons, OLESTR("GetProperty on NWE failed. Control: Applet, NWE Property: ButtonNames")))
        return code;
      exists = TrxFindItem(buttons, name) >= 0;
    }
  }
  if (result) TrxVariant::FromBool(exists).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXApplet::SetActiveControl(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  TrxComPtr<INVAutomation> control;
  if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, TrxText(args.GetAt(0)), control)))
    return Fail(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_CONTROL"));
  TrxVariant none;
  return NWEInvoke(control.Get(), REQID_SETFOCUS, &none, TRXHOSTREF_DROP, TRXTIMING_NONE);
}

TRXRESULT CNVTRXApplet::GetClassCount(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  if (TRXRESULT code = CheckArgumentCount(args, OLESTR("GetClassCount"), 1)) return code;
  const TrxString className = TrxText(args.GetAt(0));
  LONG count = 0;
  if (TrxEqualsNoCase(className, OLESTR("NorvTree"))) {
    TrxComPtr<INVAutomation> tree;
    if (FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_TREECONTROL, OLESTR("NorvTree"), tree)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("AppletType"));
    count = 1;
  } else if (TrxEqualsNoCase(className, OLESTR("NorvList"))) {
    bool hasColumns = false;
    if (TRXRESULT code = ListHasColumns(hasColumns)) return code;
    count = hasColumns ? 1 : 0;
  } else if (TrxEqualsNoCase(className, OLESTR("NorvMenu"))) {
    TrxVariant menus;
    if (!m_spNWEAuto || FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_MENU, &menus)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("Applet, OBJTYPE_MENU"));
    // An empty answer is no menu, as IsControlExists reads it.
    count = TrxStringList(menus).empty() ? 0 : 1;
  } else if (TrxEqualsNoCase(className, OLESTR("NorvButton"))) {
    TrxVariant displayNames;
    if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonDisplayNames"), displayNames)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("ButtonDisplayNames"));
    count = static_cast<LONG>(TrxStringList(displayNames).size());
  } else {
    std::vector<TrxString> names;
    if (TRXRESULT code = ControlsOfClass(className, names, OLESTR("Applet, Type"))) return code;
    count = static_cast<LONG>(names.size());
  }
  if (result) TrxVariant::FromI4(count).Detach(result);
  return TRX_OK;
}
