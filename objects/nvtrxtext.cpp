#include "objects/nvtrxtext.h"

#include "log/nvtrxassert.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("Text"),        VT_BSTR, OLESTR("Value"),       VT_BSTR, TRXPROP_HOST, OLESTR("Returns the Data Value of the Control")},
    {OLESTR("IsEncrypted"), VT_BOOL, OLESTR("IsEncrypted"), VT_BOOL, TRXPROP_HOST, OLESTR("Returns TRUE if the text in the control is encrypted or FALSE if it is not")},
    {OLESTR("PopupType"),   VT_BSTR, OLESTR("PopupType"),   VT_BSTR, TRXPROP_HOST, OLESTR("")},
};
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"),   VT_BSTR,  REQID_SETVALUE,        VT_BSTR,  TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the specified text value in the control")},
    {OLESTR("OpenPopup"), VT_EMPTY, REQID_SHOWPOPUPAPPLET, VT_EMPTY, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Opens the popup applet for the text control")},
};

// The popup a field's host type opens.
const struct {
  const OLECHAR* type;
  const OLECHAR* popup;
} kPopupTypes[] = {
    {OLESTR("text"),     OLESTR("Text")},
    {OLESTR("password"), OLESTR("Text")},
    {OLESTR("picklist"), OLESTR("SVPick")},
    {OLESTR("mvg"),      OLESTR("MVPick")},
};
// clang-format on

}  // namespace

const TrxOwnProperty<CNVTRXText> CNVTRXText::kOwnProperties[] = {
    {OLESTR("PopupType"), TRXMATCH_NOCASE, &CNVTRXText::GetPopupType},
};

CNVTRXText::CNVTRXText(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXText Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvText");
  TRX_ASSERT(parent && parent->GetNWEAuto(), "NWEParent m_spNWEAuto is NULL");
  // The currency code inside a currency's popup is a sub-control.
  if (!AttachToHostControl(name, OBJTYPE_SUBCONTROL, OLESTR("Currency Code"))) return;
  AddStandardRows();
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}

TRXRESULT CNVTRXText::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXText>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXControl::GetProperty(name, value);
}

TRXRESULT CNVTRXText::GetPopupType(VARIANT* value) {
  TrxVariant type;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("Type"), type))) return Warn(TRX_HOST_GETPROPERTY, OLESTR("Type"));
  TrxString popup;
  for (const auto& entry : kPopupTypes)
    if (TrxEqualsNoCase(TrxText(type), entry.type)) popup = entry.popup;
  if (value) TrxVariant::FromString(popup).Detach(value);
  return TRX_OK;
}
