#include "objects/nvtrxtoolbar.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("Click"), VT_BSTR, REQID_GOTOITEM, VT_BSTR, TRXMETHOD_REQUEST, OLESTR("")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,                  VT_BSTR,  TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName,             VT_BSTR,  TRXPROP_CONST, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, kTrxOwnRepositoryName,             VT_BSTR,  TRXPROP_CONST, OLESTR("property UIName")},
    {OLESTR("Count"),          VT_I4,   OLESTR("ToolbarItemDisplayNames"), VT_ARRAY, TRXPROP_COUNT, OLESTR("")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),                  VT_BSTR,  TRXPROP_HOST,  OLESTR("")},
};
// clang-format on

}  // namespace

CNVTRXToolbar::CNVTRXToolbar(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXToolbar Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvToolbar");
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_TOOLBAR, name, m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXToolbar::GetData(VARIANT* value) {
  TrxVariant items;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ToolbarItemDisplayNames"), items)) return code;
  if (value) {
    VariantClear(value);
    TrxGrid({TrxStringList(items)}).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXToolbar::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                 VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG count = args.GetCount();
  if (count != 1) return Fail(TRX_E_ARG_COUNT, count, methodName, 1);
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ToolbarItemDisplayNames"), value)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ToolbarItemDisplayNames"));
  const std::vector<TrxString> items = TrxStringList(value);
  const TrxString argument = TrxText(args.GetAt(0));
  TrxVariant answer;
  TrxString item;
  if (TrxEqualsNoCase(methodName, OLESTR("IsControlExists"))) {
    answer = TrxVariant::FromBool(TrxFindItem(items, argument) >= 0);
  } else if (TrxEqualsNoCase(methodName, OLESTR("GetRepositoryNameByIndex"))) {
    const LONG index = TrxLong(args.GetAt(0));
    if (!TrxListItem(items, index, item)) return Warn(TRX_E_ARG_VALUE, methodName, OLESTR("Index"), TrxDecimal(index));
    answer = TrxVariant::FromString(item);
  } else if (TrxEqualsNoCase(methodName, OLESTR("GetRepositoryName"))) {
    if (!TrxListItem(items, TrxFindItem(items, argument, true), item))
      return Warn(TRX_E_ARG_VALUE, methodName, OLESTR("UIName"), argument);
    answer = TrxVariant::FromString(item);
  } else if (TrxEqualsNoCase(methodName, OLESTR("GetUIName"))) {
    if (!TrxListItem(items, TrxFindItem(items, argument), item))
      return Warn(TRX_E_ARG_VALUE, methodName, OLESTR("RepName"), argument);
    answer = TrxVariant::FromString(item);
  } else if (TrxEqualsNoCase(methodName, OLESTR("IsControlEnabled"))) {
    TrxVariant statesValue;
    if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ToolbarItemStates"), statesValue)))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("ToolbarItemStates"));
    CNVTRXArray states(&statesValue);
    const LONG at = TrxFindItem(items, argument);
    // Past the end of the states is "not found", as an unknown item.
    if (at < 0 || at >= states.GetCount()) return Warn(TRX_E_ARG_VALUE, methodName, OLESTR("RepName"), argument);
    answer = TrxVariant::FromBool(TrxBool(states.GetAt(at)));
  } else {
    return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
  }
  if (result) answer.Detach(result);
  return TRX_OK;
}
