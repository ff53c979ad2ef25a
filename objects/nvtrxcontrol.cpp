#include "objects/nvtrxcontrol.h"

namespace {

// clang-format off
const TrxPropertyRow kControlProperties[] = {
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("Name"),   VT_BSTR, TRXPROP_HOST, OLESTR("property RepositoryName")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"), VT_BSTR, TRXPROP_HOST, OLESTR("")},
};
const TrxMethodRow kControlMethods[] = {
    {OLESTR("EnterKey"), VT_EMPTY, REQID_ENTER_KEY, VT_EMPTY, TRXMETHOD_FOCUS_FIRST, OLESTR("Press Enter key in the text control")},
};
// clang-format on

}  // namespace

CNVTRXControl::CNVTRXControl(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXControl Name=\"%s\""), name);
  AddPropertyRows(kControlProperties);
  AddMethodRows(kControlMethods);
}

void CNVTRXControl::AddStandardRows(LONG flagType) {
  // clang-format off
  const TrxPropertyRow rows[] = {
      {OLESTR("ClassName"),  VT_BSTR,  kTrxOwnClassName,      VT_BSTR, TRXPROP_CONST,   OLESTR("property ClassName")},
      {OLESTR("UIName"),     VT_BSTR,  OLESTR("DisplayName"), VT_BSTR, TRXPROP_HOST,    OLESTR("property UIName")},
      {OLESTR("IsEnabled"),  flagType, OLESTR("IsReadOnly"),  VT_BOOL, TRXPROP_NEGATED, OLESTR("Returns TRUE if the control is enabled or FALSE if it is grayed")},
      {OLESTR("IsRequired"), flagType, OLESTR("IsRequired"),  VT_BOOL, TRXPROP_HOST,    OLESTR("Returns TRUE if the control is a required field or FALSE if it is not")},
  };
  // clang-format on
  AddPropertyRows(rows);
}

bool CNVTRXControl::AttachToHostControl(TrxStringView name, AUTO_OBJECTTYPE fallbackType, TrxStringView fallbackName) {
  INVAutomation* parent = m_pParent ? m_pParent->GetNWEAuto() : nullptr;
  if (SUCCEEDED(HostChild(parent, OBJTYPE_CONTROL, name, m_spNWEAuto))) return true;
  if (fallbackType != OBJTYPE_NULL && name == fallbackName &&
      SUCCEEDED(HostChild(parent, fallbackType, name, m_spNWEAuto)))
    return true;
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
  Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
  return false;
}

TRXRESULT CNVTRXControl::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                 VARIANT* result) {
  if (TrxEqualsNoCase(methodName, OLESTR("ProcessKey"))) {
    CNVTRXArray args(&arguments);
    const TrxVariant key = args.GetAt(0);
    if (key.vt == VT_BSTR && TrxBstrView(key.bstrVal) == OLESTR("EnterKey")) {
      TrxVariant none;
      return CNVTRXAutomation::HandleAutomationRequest(OLESTR("EnterKey"), none, result);
    }
  }
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXControl::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                          TrxString& methodName, CNVTRXArray& arguments) {
  if (requestId != REQID_ENTER_KEY)
    return CNVTRXAutomation::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  methodName = OLESTR("ProcessKey");
  arguments.SetAt(OLESTR("EnterKey"), 0, 0);
  return TRX_OK;
}

TRXRESULT CNVTRXControl::SetFocusFirst() {
  TrxVariant none;
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SETFOCUS, &none, TRXHOSTREF_KEEP, TRXTIMING_SET);
}

TRXRESULT CNVTRXControl::ClearFocusAfter(TRXRESULT focusCode, TRXRESULT requestCode) {
  TrxVariant none;
  const TRXRESULT clearCode = NWEInvoke(m_spNWEAuto.Get(), REQID_CLEARFOCUS, &none, TRXHOSTREF_DROP, TRXTIMING_SET);
  // A value request the client refused is not hidden by a clear focus that worked.
  return focusCode != TRX_OK ? focusCode : requestCode != TRX_OK ? requestCode : clearCode;
}

TRXRESULT CNVTRXControl::ReadList(const OLECHAR* property, std::vector<TrxString>& items, bool warn) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), property, value)))
    return warn ? Warn(TRX_HOST_GETPROPERTY, property) : Fail(TRX_HOST_GETPROPERTY, property);
  items = TrxStringList(value);
  return TRX_OK;
}
