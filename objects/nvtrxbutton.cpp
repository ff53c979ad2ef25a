#include "objects/nvtrxbutton.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,      VT_BSTR, TRXPROP_CONST,    OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName, VT_BSTR, TRXPROP_CONST,    OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("Button"),      VT_BSTR, TRXPROP_CONST,    OLESTR("property DisplayName")},
    {OLESTR("IsEnabled"),      VT_BOOL, OLESTR("Enabled"),     VT_BOOL, TRXPROP_OVERLOAD, OLESTR("property Enabled")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlId"),      VT_BSTR, TRXPROP_CONST,    OLESTR("property HtmlId")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXButton> CNVTRXButton::kOwnProperties[] = {
    {OLESTR("ClassName"),      TRXMATCH_NOCASE, &CNVTRXButton::GetClassName},
    {OLESTR("RepositoryName"), TRXMATCH_NOCASE, &CNVTRXButton::GetRepositoryName},
    {OLESTR("UIName"),         TRXMATCH_NOCASE, &CNVTRXButton::GetUIName},
    {OLESTR("IsEnabled"),      TRXMATCH_NOCASE, &CNVTRXButton::GetIsEnabled},
    {OLESTR("HtmlId"),         TRXMATCH_NOCASE, &CNVTRXButton::GetHtmlId},
};
// clang-format on

CNVTRXButton::CNVTRXButton(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXButton Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvButton");
  if (parent) m_spNWEAuto = parent->GetNWEAuto();
  TrxVariant names, displayNames;
  // A parent without a host object (an applet that could not be built) has
  // no buttons to read.
  if (!m_spNWEAuto || FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonNames"), names))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("GetProperty ButtonNames failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  const std::vector<TrxString> list = TrxStringList(names);
  m_nButtonCount = static_cast<LONG>(list.size());
  m_nButtonIndex = TrxFindItem(list, name);
  if (m_nButtonIndex < 0) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Wrong button name. Does not exist on Applet"));
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonDisplayNames"), displayNames))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("GetProperty ButtonDisplayNames failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  TrxListItem(TrxStringList(displayNames), m_nButtonIndex, m_strDisplayName);
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXButton::GetNWEChildren(TrxHostObjects& children) {
  children.clear();
  return TRX_OK;
}

TRXRESULT CNVTRXButton::GetChildren(const VARIANT&, VARIANT* value) { return AnswerDescriptors({}, value); }

TRXRESULT CNVTRXButton::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXButton>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXControl::GetProperty(name, value);
}

TRXRESULT CNVTRXButton::GetClassName(VARIANT* value) {
  if (value) TrxVariant::FromString(m_strClassName).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXButton::GetRepositoryName(VARIANT* value) {
  if (value) TrxVariant::FromString(m_strRepositoryName).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXButton::GetUIName(VARIANT* value) {
  if (value) TrxVariant::FromString(m_strDisplayName).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXButton::GetIsEnabled(VARIANT* value) {
  TrxVariant states;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonStates"), states)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ButtonStates"));
  // Past the end of the list is not "Enable".
  TrxString state;
  TrxListItem(TrxStringList(states), m_nButtonIndex, state);
  if (value) TrxVariant::FromBool(state == OLESTR("Enable")).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXButton::GetHtmlId(VARIANT* value) {
  TrxVariant ids;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ButtonHTMLIds"), ids)))
    return Fail(TRX_HOST_GETPROPERTY, OLESTR("ButtonHTMLIds"));
  TrxString id;
  TrxListItem(TrxStringList(ids), m_nButtonIndex, id);
  if (value) TrxVariant::FromString(id).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXButton::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                VARIANT* result) {
  if (!TrxEqualsNoCase(methodName, OLESTR("Click")))
    return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
  const TrxVariant button = TrxVariant::FromString(m_strRepositoryName);
  return NWEInvoke(m_spNWEAuto.Get(), REQID_BUTTONCLICK, &button, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXButton::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                         TrxString& methodName, CNVTRXArray& arguments) {
  if (requestId == REQID_BUTTONCLICK) {
    methodName = OLESTR("Click");
    return TRX_OK;
  }
  const TRXRESULT code = CNVTRXAutomation::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  if (code != TRX_OK) TRX_LOG(TRXLOG_TRXERR).ReportError(code, OLESTR("ConvertNWEMethod error. "));
  return code;
}
