#include "objects/nvtrxpicklist.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("IsOpen"), VT_BOOL, OLESTR("IsPopupOpen"), VT_BOOL, TRXPROP_HOST, OLESTR("Returns TRUE if the control is dropped down or FALSE if it is not")},
};
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"), VT_BSTR, REQID_SETVALUE, VT_BSTR, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the specified text value in the control")},
};
// clang-format on

}  // namespace

CNVTRXPicklist::CNVTRXPicklist(TrxStringView name, CNVTRXAutomation* parent)
    : CNVTRXChoices(name, parent, OLESTR("NorvPicklist"), OLESTR("LOVItems")) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXPicklist Name=\"%s\""), name);
  if (!m_spNWEAuto) return;
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}
