#include "objects/nvtrxcommunicationstoolbar.h"

#include "objects/nvtrxapplication.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("HtmlId"),           VT_BSTR, OLESTR("HtmlId"),          VT_BSTR, TRXPROP_HOST,  OLESTR("property RepositoryName")},
    {OLESTR("RepositoryName"),   VT_BSTR, OLESTR("Name"),            VT_BSTR, TRXPROP_HOST,  OLESTR("property RepositoryName")},
    {OLESTR("ClassName"),        VT_BSTR, kTrxOwnClassName,          VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("UIName"),           VT_BSTR, OLESTR("DisplayName"),     VT_BSTR, TRXPROP_HOST,  OLESTR("property DisplayName")},
    {OLESTR("IsEnabled"),        VT_BOOL, OLESTR("IsEnabled"),       VT_BOOL, TRXPROP_HOST,  OLESTR("property IsEnabled")},
    {OLESTR("IsVisible"),        VT_BOOL, OLESTR("IsVisible"),       VT_BOOL, TRXPROP_HOST,  OLESTR("property IsVisible")},
    {OLESTR("Text"),             VT_BSTR, OLESTR("WorkEdit"),        VT_BSTR, TRXPROP_HOST,  OLESTR("property Text")},
    {OLESTR("CurrentWorkItem"),  VT_BSTR, OLESTR("CurrentWorkItem"), VT_BSTR, TRXPROP_HOST,  OLESTR("property CurrentWorkItem")},
    {OLESTR("WorkItemDuration"), VT_BSTR, OLESTR("WorkingTime"),     VT_BSTR, TRXPROP_HOST,  OLESTR("property WorkItemDuration")},
    {OLESTR("MediaType"),        VT_BSTR, OLESTR("MediaType"),       VT_BSTR, TRXPROP_HOST,  OLESTR("property MediaType")},
    {OLESTR("Message"),          VT_BSTR, OLESTR("Message"),         VT_BSTR, TRXPROP_HOST,  OLESTR("property Message")},
};
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"),           VT_BSTR, REQID_CTB_SETWORKEDIT,           VT_BSTR, TRXMETHOD_REQUEST, OLESTR("Sets the specified text value in the control")},
    {OLESTR("SelectWorkItem"),    VT_I4,   REQID_CTB_SELECTWORKITEM,        VT_I4,   TRXMETHOD_REQUEST, OLESTR("SelectWorkItem")},
    {OLESTR("Click"),             VT_BSTR, REQID_BUTTONCLICK,               VT_BSTR, TRXMETHOD_REQUEST, OLESTR("Click")},
    {OLESTR("ShowButtonTooltip"), VT_BSTR, REQID_CTB_RETRIEVEBUTTONTOOLTIP, VT_BSTR, TRXMETHOD_REQUEST, OLESTR("ShowButtonTooltip")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXCommunicationsToolbar> CNVTRXCommunicationsToolbar::kOwnMethods[] = {
    {OLESTR("GetButtonTooltip"), TRXMATCH_NOCASE, &CNVTRXCommunicationsToolbar::GetButtonTooltip},
    {OLESTR("GetButtonState"),   TRXMATCH_NOCASE, &CNVTRXCommunicationsToolbar::GetButtonState},
};
// clang-format on

CNVTRXCommunicationsToolbar::CNVTRXCommunicationsToolbar(TrxStringView name, CNVTRXAutomation* parent)
    : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvCommunicationsToolbar");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXCommunicationsToolbar constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXCommunicationsToolbar RepositoryName=%s"), name);
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_EXTOBJECT, m_strClassName, m_spNWEAuto))) {
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}

TrxString CNVTRXCommunicationsToolbar::ButtonText(const OLECHAR* property, const TrxString& button) {
  TrxVariant key = TrxVariant::FromString(button), value;
  if (FAILED(GetNWEProperty(property, &key, 1, &value))) return TrxString();
  return TrxText(value);
}

TRXRESULT CNVTRXCommunicationsToolbar::GetData(VARIANT* value) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXCommunicationsToolbar::GetData");
  TrxVariant names;
  if (!m_spNWEAuto || FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_EXTOBJECT, &names)))
    return Fail(TRX_HOST_GETCHILDNAMES, OLESTR("OBJTYPE_EXTOBJECT"));
  std::vector<TrxString> buttons{OLESTR("Name")}, states{OLESTR("State")}, tooltips{OLESTR("Tooltip")};
  for (const TrxString& button : TrxStringList(names)) {
    buttons.push_back(button);
    states.push_back(ButtonText(OLESTR("ButtonState"), button));
    tooltips.push_back(ButtonText(OLESTR("ButtonTooltip"), button));
  }
  if (value) {
    VariantClear(value);
    TrxGrid({buttons, states, tooltips}).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXCommunicationsToolbar::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                               VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXCommunicationsToolbar::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodName : %s"), methodName);
  const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXCommunicationsToolbar>>(kOwnMethods, methodName);
  const TRXRESULT code = own ? (this->*own->handler)(arguments, result)
                             : CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
  // The bar redraws after every call: give it time, then wait until the client is idle.
  Sleep(500);
  if (CNVTRXApplication* application = CNVTRXApplication::Current()) application->State().WaitForHostIdle();
  return code;
}

TRXRESULT CNVTRXCommunicationsToolbar::GetButtonTooltip(const VARIANT& arguments, VARIANT* result) {
  return ReadButton(OLESTR("GetButtonTooltip"), OLESTR("ButtonTooltip"), arguments, result);
}

TRXRESULT CNVTRXCommunicationsToolbar::GetButtonState(const VARIANT& arguments, VARIANT* result) {
  return ReadButton(OLESTR("GetButtonState"), OLESTR("ButtonState"), arguments, result);
}

TRXRESULT CNVTRXCommunicationsToolbar::ReadButton(TrxStringView method, const OLECHAR* property,
                                                  const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const CNVTRXRequestArgs key{args.GetAt(0)};
  TrxVariant value;
  const HRESULT hr = m_spNWEAuto ? GetNWEProperty(property, const_cast<VARIANT*>(key.Get()), 1, &value) : E_POINTER;
  if (FAILED(hr)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CTIHandleReq failed and returned 0x%x"), static_cast<ULONG>(hr));
    return Fail(TRX_HOST_HANDLEREQUEST, method);
  }
  if (result) value.Detach(result);
  return TRX_OK;
}
