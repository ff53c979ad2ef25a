#include "objects/nvtrxscreenviews.h"

#include "log/nvtrxassert.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,      VT_BSTR, TRXPROP_OVERLOAD, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName, VT_BSTR, TRXPROP_OVERLOAD, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("ScreenViews"), VT_BSTR, TRXPROP_OVERLOAD, OLESTR("property UIName")},
    {OLESTR("ActiveView"),     VT_BSTR, OLESTR("ActiveViewName"),             VT_BSTR, TRXPROP_OVERLOAD, OLESTR("")},
    {OLESTR("L2Count"),        VT_I4,   OLESTR("ViewDisplayNames"),           VT_I4,   TRXPROP_OVERLOAD, OLESTR("")},
    {OLESTR("L3Count"),        VT_I4,   OLESTR("DetailCategoryDisplayNames"), VT_I4,   TRXPROP_OVERLOAD, OLESTR("")},
    {OLESTR("L4Count"),        VT_I4,   OLESTR("ViewDisplayNames"),           VT_I4,   TRXPROP_OVERLOAD, OLESTR("")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),                     VT_BSTR, TRXPROP_OVERLOAD, OLESTR("")},
};

// The levels: the level argument, the host's navigation control, the
// prefix of its name lists, its display names as GetData reads them, and
// the request that goes to a view on it.
struct Level {
  const OLECHAR* level;
  const OLECHAR* control;
  const OLECHAR* prefix;
  const OLECHAR* displayNames;
  LONG gotoRequest;
};
const Level kLevels[] = {
    {OLESTR("L2"), OLESTR("AggregateViews"), OLESTR("View"),           OLESTR("ViewDisplayNames"),           REQID_NAVCONTROL_GOTOVIEW},
    {OLESTR("L3"), OLESTR("DetailCategory"), OLESTR("DetailCategory"), OLESTR("DetailCategoryDisplayNames"), REQID_NAVCONTROL_GOTODETAILVIEW},
    {OLESTR("L4"), OLESTR("View"),           OLESTR("View"),           OLESTR("ViewDisplayNames"),           REQID_NAVCONTROL_GOTOVIEW},
};
// clang-format on

TrxString Lower(TrxStringView text) {
  TrxString lower(text);
  for (OLECHAR& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<OLECHAR>(c - 'A' + 'a');
  return lower;
}

}  // namespace

CNVTRXScreenViews::CNVTRXScreenViews(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvScreenViews");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXScreenViews constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXScreenViews name=\"%s\""), name);
  INVAutomation* application = parent ? GetRoot()->GetNWEAuto() : nullptr;
  TRX_ASSERT(application != nullptr, "TRXAutomation object pointer is NULL");
  bool any = false;
  for (size_t i = 0; i < 3; ++i)
    any = SUCCEEDED(HostChild(application, OBJTYPE_NAVCONTROL, kLevels[i].control, m_spLevels[i])) || any;
  if (!any) {
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXScreenViews::GetNWEChildren(TrxHostObjects& children) {
  children.clear();
  return TRX_OK;
}

TRXRESULT CNVTRXScreenViews::GetChildren(const VARIANT&, VARIANT* value) { return AnswerDescriptors({}, value); }

TRXRESULT CNVTRXScreenViews::GetProperty(const VARIANT& name, VARIANT* value) {
  const TrxString lower = name.vt == VT_BSTR ? Lower(TrxBstrView(name.bstrVal)) : TrxString();
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Property Name : \"%s\""), lower);
  TrxVariant answer;
  if (lower.find(OLESTR("count")) != TrxString::npos || lower == OLESTR("htmlid")) {
    return GetLevelProperty(lower, value);
  } else if (lower == OLESTR("activeview")) {
    if (TRXRESULT code = ReadHost(GetRoot()->GetNWEAuto(), OLESTR("ActiveViewName"), answer)) return code;
    answer = TrxVariant::FromString(TrxText(answer));
  } else if (lower == OLESTR("classname")) {
    answer = TrxVariant::FromString(m_strClassName);
  } else if (lower == OLESTR("uiname")) {
    answer = TrxVariant::FromString(OLESTR("ScreenViews"));
  } else if (lower == OLESTR("repositoryname")) {
    answer = TrxVariant::FromString(m_strRepositoryName);
  } else {
    return CNVTRXAutomation::GetProperty(name, value);
  }
  if (value) answer.Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXScreenViews::GetLevelProperty(const TrxString& lower, VARIANT* value) {
  const bool htmlId = lower == OLESTR("htmlid");
  TrxVariant names, id;
  bool readNames = false;
  auto read = [&](INVAutomation* control, const OLECHAR* property, bool withId) -> TRXRESULT {
    if (TRXRESULT code = ReadHost(control, property, names)) return code;
    readNames = true;
    if (withId)
      if (TRXRESULT code = ReadHost(control, OLESTR("HtmlID"), id)) return code;
    return TRX_OK;
  };
  if ((lower == OLESTR("l2count") || htmlId) && m_spLevels[0])
    if (TRXRESULT code = read(m_spLevels[0].Get(), OLESTR("ViewDisplayNames"), true)) return code;
  if ((lower == OLESTR("l3count") || htmlId) && m_spLevels[1])
    if (TRXRESULT code = read(m_spLevels[1].Get(), OLESTR("DetailCategoryDisplayNames"), true)) return code;
  if (lower == OLESTR("l4count") || htmlId) {
    if (m_spLevels[1])
      if (TRXRESULT code = read(m_spLevels[1].Get(), OLESTR("ViewDisplayNames"), false)) return code;
    if (m_spLevels[2])
      if (TRXRESULT code = read(m_spLevels[2].Get(), OLESTR("ViewDisplayNames"), true)) return code;
  }
  TrxVariant answer = htmlId ? TrxVariant::FromString(TrxText(id))
                             : TrxVariant::FromI4(readNames && (names.vt & VT_ARRAY)
                                                      ? static_cast<LONG>(TrxStringList(names).size())
                                                      : 0);
  if (value) answer.Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXScreenViews::GetData(VARIANT* value) {
  std::vector<std::vector<TrxString>> columns(3);
  for (size_t i = 0; i < 3; ++i) {
    if (!m_spLevels[i]) continue;
    TrxVariant names;
    if (TRXRESULT code = ReadHost(m_spLevels[i].Get(), kLevels[i].displayNames, names)) return code;
    columns[i] = TrxStringList(names);
  }
  if (value) {
    VariantClear(value);
    TrxGrid(columns).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXScreenViews::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                     VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXScreenViews::HandleAutomationRequest");
  CNVTRXArray args(&arguments);
  const LONG count = args.GetCount();
  if (count != 2) return Fail(TRX_E_ARG_COUNT, count, methodName, 2);
  const TrxString levelName = TrxText(args.GetAt(1));
  size_t level = 3;
  for (size_t i = 0; i < 3; ++i)
    if (levelName == kLevels[i].level) level = i;
  if (level == 3) return Fail(TRX_E_ARG_VALUE, methodName, OLESTR("Level"), levelName);
  if (level == 2 && !m_spLevels[2]) level = 1;  // no L4 on this client: L3 stands for it
  INVAutomation* control = m_spLevels[level].Get();
  if (!control) return Fail(TRX_E_SYSTEM, OLESTR("No ") + levelName + OLESTR(" ScreenViews object found."));
  const TrxString argument = TrxText(args.GetAt(0));
  if (TrxEqualsNoCase(methodName, OLESTR("Goto"))) {
    const CNVTRXRequestArgs request{args.GetAt(0)};
    return NWEInvoke(control, kLevels[level].gotoRequest, request, TRXHOSTREF_DROP, TRXTIMING_SET);
  }
  const bool known = TrxEqualsNoCase(methodName, OLESTR("GetRepositoryName")) ||
                     TrxEqualsNoCase(methodName, OLESTR("GetRepositoryNameByIndex")) ||
                     TrxEqualsNoCase(methodName, OLESTR("GetUIName")) || TrxEqualsNoCase(methodName, OLESTR("IsExists"));
  if (!known) return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
  const TrxString prefix = kLevels[level].prefix;
  TrxVariant displayValue, namesValue;
  if (FAILED(ReadHostProperty(control, prefix + OLESTR("DisplayNames"), displayValue)))
    return Warn(TRX_HOST_GETPROPERTY, prefix + OLESTR("DisplayNames"));
  if (FAILED(ReadHostProperty(control, prefix + OLESTR("Names"), namesValue)))
    return Warn(TRX_HOST_GETPROPERTY, prefix + OLESTR("Names"));
  const std::vector<TrxString> displayNames = TrxStringList(displayValue), names = TrxStringList(namesValue);
  TrxVariant answer;
  TrxString item;
  if (TrxEqualsNoCase(methodName, OLESTR("GetRepositoryName"))) {
    if (!TrxListItem(names, TrxFindItem(displayNames, argument), item))
      return Warn(TRX_E_ARG_VALUE, OLESTR("GetRepositoryName"), OLESTR("UIName"), argument);
    answer = TrxVariant::FromString(item);
  } else if (TrxEqualsNoCase(methodName, OLESTR("GetRepositoryNameByIndex"))) {
    const LONG index = TrxLong(args.GetAt(0));
    if (!TrxListItem(names, index, item))
      return Warn(TRX_E_ARG_VALUE, OLESTR("GetRepositoryNameByIndex"), OLESTR("Index"), TrxDecimal(index));
    answer = TrxVariant::FromString(item);
  } else if (TrxEqualsNoCase(methodName, OLESTR("GetUIName"))) {
    if (!TrxListItem(displayNames, TrxFindItem(names, argument), item))
      return Warn(TRX_E_ARG_VALUE, OLESTR("GetUIName"), OLESTR("RepName"), argument);
    answer = TrxVariant::FromString(item);
  } else {
    answer = TrxVariant::FromBool(TrxFindItem(names, argument) >= 0);
  }
  if (result) answer.Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXScreenViews::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                              TrxString& methodName, CNVTRXArray& arguments) {
  TrxVariant nameValue;
  INVAutomation* eventObject = first.vt == VT_UNKNOWN ? static_cast<INVAutomation*>(first.punkVal) : nullptr;
  if (TRXRESULT code = ReadHost(eventObject, OLESTR("Name"), nameValue)) return code;
  const TrxString name = TrxText(nameValue);
  const OLECHAR* level = name == OLESTR("AggregateViews") ? OLESTR("L2")
                         : name == OLESTR("DetailCategory")
                             ? (requestId == REQID_NAVCONTROL_GOTOVIEW ? OLESTR("L4") : OLESTR("L3"))
                         : name == OLESTR("View") ? OLESTR("L4")
                                                  : nullptr;
  if (!level) return CNVTRXAutomation::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  methodName = OLESTR("Goto");
  arguments.SetAt(hostArguments.GetAt(0, 1), 0);
  arguments.SetAt(level, 1);
  return TRX_OK;
}
