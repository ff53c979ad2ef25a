#include "objects/nvtrxalphatab.h"

// clang-format off
const TrxOwnMethod<CNVTRXAlphaTab> CNVTRXAlphaTab::kOwnMethods[] = {
    {OLESTR("Click"), TRXMATCH_NOCASE, &CNVTRXAlphaTab::Click},
};
// clang-format on

CNVTRXAlphaTab::CNVTRXAlphaTab(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXAlphaTab Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvAlphaTabs");
  // Every tab is the one host control; the label tells the tabs apart.
  if (!parent ||
      FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_ALPHATABCONTROL, OLESTR("NorvAlphaTab"), m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddStandardRows();
}

TRXRESULT CNVTRXAlphaTab::GetProperty(const VARIANT& name, VARIANT* value) {
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Text GetProperty for : \"%s\""),
                   name.vt == VT_BSTR ? TrxString(TrxBstrView(name.bstrVal)) : TrxString());
  return CNVTRXControl::GetProperty(name, value);
}

TRXRESULT CNVTRXAlphaTab::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXAlphaTab>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  // A tab has no keys to press: past the control's own steps.
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXAlphaTab::Click(const VARIANT&, VARIANT*) {
  const CNVTRXRequestArgs label{TrxVariant::FromString(m_strRepositoryName)};
  return NWEInvoke(m_spNWEAuto.Get(), REQID_ALPHATAB_CLICK, label, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXAlphaTab::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                           TrxString& methodName, CNVTRXArray& arguments) {
  if (requestId == REQID_ALPHATAB_CLICK) {
    // The object is the tab clicked: the click itself needs no argument.
    methodName = OLESTR("Click");
    return TRX_OK;
  }
  const TRXRESULT code = CNVTRXAutomation::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  if (code != TRX_OK) TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("ConvertNWEMethod error. %d"), code);
  return code;
}
