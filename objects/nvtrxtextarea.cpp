#include "objects/nvtrxtextarea.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("IsRequired"), VT_BOOL, OLESTR("IsRequired"),  VT_BOOL, TRXPROP_HOST,    OLESTR("Returns TRUE if the control is a required field or FALSE if it is not")},
    {OLESTR("Text"),       VT_BSTR, OLESTR("Value"),       VT_BSTR, TRXPROP_HOST,    OLESTR("Returns the Data Value of the Control")},
    {OLESTR("ClassName"),  VT_BSTR, kTrxOwnClassName,      VT_BSTR, TRXPROP_CONST,   OLESTR("property ClassName")},
    {OLESTR("UIName"),     VT_BSTR, OLESTR("DisplayName"), VT_BSTR, TRXPROP_HOST,    OLESTR("property UIName")},
    {OLESTR("IsEnabled"),  VT_BOOL, OLESTR("IsReadOnly"),  VT_BOOL, TRXPROP_NEGATED, OLESTR("Returns TRUE if the control is enabled or FALSE if it is grayed")},
};
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"), VT_BSTR, REQID_SETVALUE, VT_BSTR, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the specified text value in the control")},
};
// clang-format on

}  // namespace

CNVTRXTextArea::CNVTRXTextArea(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXTextArea Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvTextArea");
  if (!AttachToHostControl(name)) return;
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}
