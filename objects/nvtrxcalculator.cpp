#include "objects/nvtrxcalculator.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"),     VT_BSTR,  REQID_SETVALUE,      VT_BSTR,  TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the specified text value in the control")},
    {OLESTR("OpenPopup"),   VT_EMPTY, REQID_SHOWPOPUP,     VT_EMPTY, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Opens the popup applet for the text control")},
    {OLESTR("ClickKey"),    VT_BSTR,  REQID_SELECTCALCKEY, VT_BSTR,  TRXMETHOD_REQUEST,       OLESTR("Sets the specified text value in the control")},
    {OLESTR("CancelPopup"), VT_EMPTY, REQID_CANCELPOPUP,   VT_EMPTY, TRXMETHOD_REQUEST,       OLESTR("Closes the popup applet without saving the changes")},
};
// The two flags carry each other's description on this class.
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),  VT_BSTR, kTrxOwnClassName,      VT_BSTR, TRXPROP_CONST,   OLESTR("property ClassName")},
    {OLESTR("UIName"),     VT_BSTR, OLESTR("DisplayName"), VT_BSTR, TRXPROP_HOST,    OLESTR("property UIName")},
    {OLESTR("IsRequired"), VT_BOOL, OLESTR("IsRequired"),  VT_BOOL, TRXPROP_HOST,    OLESTR("Returns TRUE if the control is enabled or FALSE if it is grayed")},
    {OLESTR("IsEnabled"),  VT_BOOL, OLESTR("IsReadOnly"),  VT_BOOL, TRXPROP_NEGATED, OLESTR("Returns TRUE if the control is a required field or FALSE if it is not")},
    {OLESTR("IsOpen"),     VT_BOOL, OLESTR("IsPopupOpen"), VT_BOOL, TRXPROP_HOST,    OLESTR("Returns TRUE if the control is open or FALSE if it is not")},
    {OLESTR("Text"),       VT_BSTR, OLESTR("Value"),       VT_BSTR, TRXPROP_HOST,    OLESTR("Returns the Data Value of the Control")},
};
// clang-format on

}  // namespace

const TrxOwnMethod<CNVTRXCalculator> CNVTRXCalculator::kOwnMethods[] = {
    {OLESTR("ClickKeys"), TRXMATCH_NOCASE, &CNVTRXCalculator::ClickKeys},
};

CNVTRXCalculator::CNVTRXCalculator(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXCalculator Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvCalculator");
  // The amount inside a currency's popup is a sub-control.
  if (!AttachToHostControl(name, OBJTYPE_SUBCONTROL, OLESTR("Amount"))) return;
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}

TRXRESULT CNVTRXCalculator::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                    VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXCalculator>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXControl::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXCalculator::ClickKeys(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const TrxString keys = TrxText(args.GetAt(0));
  // One click per character, in order; the keys before a refused one stay clicked.
  for (const OLECHAR key : keys) {
    const CNVTRXRequestArgs click{TrxVariant::FromString(TrxString(1, key))};
    if (TRXRESULT code = NWEInvoke(m_spNWEAuto.Get(), REQID_SELECTCALCKEY, click, TRXHOSTREF_KEEP, TRXTIMING_SET))
      return code;
  }
  return TRX_OK;
}
