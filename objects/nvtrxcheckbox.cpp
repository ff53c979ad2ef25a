#include "objects/nvtrxcheckbox.h"

// The states of a check box: the host's value, the method that sets it,
// and how "IsChecked" and "CheckState" read it.
struct CheckState {
  const OLECHAR* value;
  const OLECHAR* method;
  bool checked;
  const OLECHAR* text;
};

namespace {

// clang-format off
const CheckState kStates[] = {
    {OLESTR("Y"), OLESTR("SetOn"),            true,  OLESTR("Checked")},
    {OLESTR("N"), OLESTR("SetOff"),           false, OLESTR("Unchecked")},
    {OLESTR(""),  OLESTR("SetIndeterminate"), true,  OLESTR("Indeterminate")},
};

const TrxPropertyRow kProperties[] = {
    {OLESTR("IsChecked"),  VT_BSTR, OLESTR("Value"), VT_BSTR, TRXPROP_HOST, OLESTR("Returns TRUE if the control is checked or FALSE if it is not")},
    {OLESTR("CheckState"), VT_BSTR, OLESTR("Value"), VT_BSTR, TRXPROP_HOST, OLESTR("Returns the state of the checkbox which can be Checked, Unchecked or Indeterminate")},
};
const TrxMethodRow kMethods[] = {
    {OLESTR("SetOff"),           VT_BSTR, REQID_SETVALUE, VT_BSTR, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the state of CheckBoxCtrl to Off")},
    {OLESTR("SetOn"),            VT_BSTR, REQID_SETVALUE, VT_BSTR, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the state of CheckBoxCtrl to On")},
    {OLESTR("SetIndeterminate"), VT_BSTR, REQID_SETVALUE, VT_BSTR, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the state of CheckBoxCtrl to On")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXCheckbox> CNVTRXCheckbox::kOwnProperties[] = {
    {OLESTR("IsChecked"),  TRXMATCH_NOCASE, &CNVTRXCheckbox::GetIsChecked},
    {OLESTR("CheckState"), TRXMATCH_NOCASE, &CNVTRXCheckbox::GetCheckState},
};
const TrxOwnMethod<CNVTRXCheckbox> CNVTRXCheckbox::kOwnMethods[] = {
    {OLESTR("SetOn"),            TRXMATCH_EXACT, &CNVTRXCheckbox::SetOn},
    {OLESTR("SetOff"),           TRXMATCH_EXACT, &CNVTRXCheckbox::SetOff},
    {OLESTR("SetIndeterminate"), TRXMATCH_EXACT, &CNVTRXCheckbox::SetIndeterminate},
};
// clang-format on

CNVTRXCheckbox::CNVTRXCheckbox(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXCheckbox Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvCheckbox");
  if (!AttachToHostControl(name)) return;
  AddStandardRows(VT_BSTR);
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}

TRXRESULT CNVTRXCheckbox::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXCheckbox>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXControl::GetProperty(name, value);
}

TRXRESULT CNVTRXCheckbox::ReadState(const CheckState*& state) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("Value"), value)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("Value"));
  state = nullptr;
  for (const CheckState& candidate : kStates)
    if (TrxEqualsNoCase(TrxText(value), candidate.value)) state = &candidate;
  return TRX_OK;
}

TRXRESULT CNVTRXCheckbox::GetIsChecked(VARIANT* value) {
  const CheckState* state = nullptr;
  if (TRXRESULT code = ReadState(state)) return code;
  if (value) TrxVariant::FromBool(state && state->checked).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXCheckbox::GetCheckState(VARIANT* value) {
  const CheckState* state = nullptr;
  if (TRXRESULT code = ReadState(state)) return code;
  if (value) TrxVariant::FromString(state ? state->text : OLESTR("")).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXCheckbox::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                  VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXCheckbox>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXControl::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXCheckbox::SetOn(const VARIANT&, VARIANT*) { return SetState(OLESTR("Y")); }
TRXRESULT CNVTRXCheckbox::SetOff(const VARIANT&, VARIANT*) { return SetState(OLESTR("N")); }
TRXRESULT CNVTRXCheckbox::SetIndeterminate(const VARIANT&, VARIANT*) { return SetState(OLESTR("")); }

TRXRESULT CNVTRXCheckbox::SetState(const OLECHAR* value) {
  const TRXRESULT focus = SetFocusFirst();
  const CNVTRXRequestArgs request{TrxVariant::FromString(value)};
  const TRXRESULT set = NWEInvoke(m_spNWEAuto.Get(), REQID_SETVALUE, request, TRXHOSTREF_KEEP, TRXTIMING_SET);
  return ClearFocusAfter(focus, set);
}

TRXRESULT CNVTRXCheckbox::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                           TrxString& methodName, CNVTRXArray& arguments) {
  if (requestId != REQID_SETVALUE)
    return CNVTRXControl::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  const TrxString value = TrxText(hostArguments.GetAt(0, 1));
  methodName.clear();
  for (const CheckState& state : kStates)
    if (value == state.value) methodName = state.method;
  return TRX_OK;
}
