#include "objects/nvtrxpagetabs.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,                 VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName,            VT_BSTR, TRXPROP_CONST, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("PageTabs"),               VT_BSTR, TRXPROP_CONST, OLESTR("property UIName")},
    {OLESTR("Count"),          VT_I4,   OLESTR("ScreenNames"),            VT_I4,   TRXPROP_COUNT, OLESTR("")},
    {OLESTR("ScreenCount"),    VT_I4,   OLESTR("ScreenNames"),            VT_I4,   TRXPROP_COUNT, OLESTR("")},
    {OLESTR("ViewCount"),      VT_I4,   OLESTR("AggregateCategoryNames"), VT_I4,   TRXPROP_COUNT, OLESTR("")},
    {OLESTR("ActiveScreen"),   VT_BSTR, OLESTR("SelectedTab"),            VT_BSTR, TRXPROP_HOST,  OLESTR("")},
    {OLESTR("ActiveView"),     VT_BSTR, OLESTR("SelectedLink"),           VT_BSTR, TRXPROP_HOST,  OLESTR("")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),                 VT_BSTR, TRXPROP_HOST,  OLESTR("")},
};

// The host lists of each origin: names, display names.
struct Origin {
  const OLECHAR* origin;
  const OLECHAR* names;
  const OLECHAR* displayNames;
};
const Origin kOrigins[] = {
    {OLESTR(""),       OLESTR("ScreenNames"),            OLESTR("ScreenDisplayNames")},
    {OLESTR("Screen"), OLESTR("ScreenNames"),            OLESTR("ScreenDisplayNames")},
    {OLESTR("View"),   OLESTR("AggregateCategoryNames"), OLESTR("AggregateCategoryDisplayNames")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXPageTabs> CNVTRXPageTabs::kOwnMethods[] = {
    {OLESTR("Goto"),                     TRXMATCH_NOCASE, &CNVTRXPageTabs::GotoScreen},
    {OLESTR("GotoScreen"),               TRXMATCH_NOCASE, &CNVTRXPageTabs::GotoScreen},
    {OLESTR("GotoView"),                 TRXMATCH_NOCASE, &CNVTRXPageTabs::GotoView},
    {OLESTR("GetRepositoryName"),        TRXMATCH_NOCASE, &CNVTRXPageTabs::GetRepositoryName},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXPageTabs::GetRepositoryNameByIndex},
    {OLESTR("GetUIName"),                TRXMATCH_NOCASE, &CNVTRXPageTabs::GetUIName},
    {OLESTR("IsExists"),                 TRXMATCH_NOCASE, &CNVTRXPageTabs::IsExists},
};
// clang-format on

CNVTRXPageTabs::CNVTRXPageTabs(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvPageTabs");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXPageTabs constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXPageTabs Name=\"%s\""), name);
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_NAVCONTROL, OLESTR("Screen"), m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXPageTabs::GetNWEChildren(TrxHostObjects& children) {
  children.clear();
  return TRX_OK;
}

TRXRESULT CNVTRXPageTabs::GetData(VARIANT* value) {
  TrxVariant screens, views;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ScreenNames"), screens)) return code;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("AggregateCategoryNames"), views)) return code;
  if (value) {
    VariantClear(value);
    TrxGrid({TrxStringList(screens), TrxStringList(views)}).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXPageTabs::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                  VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXPageTabs::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodName=\"%s\""), methodName);
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXPageTabs>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return Fail(TRX_E_INVALID_METHOD, methodName, m_strClassName);
}

TRXRESULT CNVTRXPageTabs::GotoScreen(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const CNVTRXRequestArgs request{TrxVariant::FromString(TrxText(args.GetAt(0)))};
  return NWEInvoke(m_spNWEAuto.Get(), REQID_NAVCONTROL_GOTOSCREEN, request, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXPageTabs::GotoView(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const CNVTRXRequestArgs request{TrxVariant::FromString(TrxText(args.GetAt(0)))};
  return NWEInvoke(m_spNWEAuto.Get(), REQID_NAVCONTROL_GOTOVIEW, request, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXPageTabs::ReadTabs(TrxStringView method, CNVTRXArray& args, std::vector<TrxString>& names,
                                   std::vector<TrxString>& displayNames) {
  const TrxString origin = args.GetCount() == 2 ? TrxText(args.GetAt(1)) : TrxString();
  const Origin* chosen = nullptr;
  for (const Origin& entry : kOrigins)
    if (origin == entry.origin) chosen = &entry;
  if (!chosen) return Warn(TRX_E_ARG_VALUE, method, OLESTR("NavType"), origin);
  TrxVariant namesValue, displayValue;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), chosen->names, namesValue)))
    return Warn(TRX_HOST_GETPROPERTY, chosen->names);
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), chosen->displayNames, displayValue)))
    return Warn(TRX_HOST_GETPROPERTY, chosen->displayNames);
  names = TrxStringList(namesValue);
  displayNames = TrxStringList(displayValue);
  return TRX_OK;
}

TRXRESULT CNVTRXPageTabs::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetRepositoryName");
  std::vector<TrxString> names, displayNames;
  if (TRXRESULT code = ReadTabs(kMethod, args, names, displayNames)) return code;
  const TrxString uiName = TrxText(args.GetAt(0));
  TrxString name;
  if (!TrxListItem(names, TrxFindItem(displayNames, uiName, true), name))
    return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("UIName"), uiName);
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXPageTabs::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetRepositoryNameByIndex");
  std::vector<TrxString> names, displayNames;
  if (TRXRESULT code = ReadTabs(kMethod, args, names, displayNames)) return code;
  const LONG index = TrxLong(args.GetAt(0));
  TrxString name;
  if (!TrxListItem(names, index, name)) return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("Index"), TrxDecimal(index));
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXPageTabs::GetUIName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const OLECHAR kMethod[] = OLESTR("GetUIName");
  std::vector<TrxString> names, displayNames;
  if (TRXRESULT code = ReadTabs(kMethod, args, names, displayNames)) return code;
  const TrxString repositoryName = TrxText(args.GetAt(0));
  TrxString uiName;
  if (!TrxListItem(displayNames, TrxFindItem(names, repositoryName), uiName))
    return Warn(TRX_E_ARG_VALUE, kMethod, OLESTR("RepName"), repositoryName);
  if (result) TrxVariant::FromString(uiName).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXPageTabs::IsExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  std::vector<TrxString> names, displayNames;
  if (TRXRESULT code = ReadTabs(OLESTR("IsExists"), args, names, displayNames)) return code;
  if (result) TrxVariant::FromBool(TrxFindItem(names, TrxText(args.GetAt(0))) >= 0).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXPageTabs::ConvertNWEMethod(const VARIANT&, LONG requestId, CNVTRXArray& hostArguments,
                                           TrxString& methodName, CNVTRXArray& arguments) {
  methodName = requestId == REQID_NAVCONTROL_GOTOSCREEN ? OLESTR("GotoScreen")
               : requestId == REQID_NAVCONTROL_GOTOVIEW ? OLESTR("GotoView")
                                                        : OLESTR("Goto");
  arguments.SetAt(hostArguments.GetAt(0, 1), 0);
  return TRX_OK;
}
