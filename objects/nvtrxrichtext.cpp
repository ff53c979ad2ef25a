#include "objects/nvtrxrichtext.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("Text"), VT_BSTR, OLESTR("Value"), VT_BSTR, TRXPROP_HOST, OLESTR("Returns the Data Value of the Control")},
};
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"), VT_BSTR, REQID_SETVALUE, VT_BSTR, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the specified text value in the control")},
};
// clang-format on

}  // namespace

CNVTRXRichText::CNVTRXRichText(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXRichText Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvRichText");
  if (!AttachToHostControl(name)) return;
  AddStandardRows();
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}
