#include "objects/nvtrxviewapplets.h"

#include "objects/nvtrxview.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,       VT_BSTR, TRXPROP_CONST,    OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName,  VT_BSTR, TRXPROP_CONST,    OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("ViewApplets"),  VT_BSTR, TRXPROP_CONST,    OLESTR("property DisplayName")},
    {OLESTR("Count"),          VT_I4,   OLESTR("AppletCount"),  VT_I4,   TRXPROP_OVERLOAD, OLESTR("property Applet Count")},
    {OLESTR("ActiveApplet"),   VT_BSTR, OLESTR("ActiveApplet"), VT_BSTR, TRXPROP_OVERLOAD, OLESTR("property Active Applet")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXViewApplets> CNVTRXViewApplets::kOwnProperties[] = {
    {OLESTR("Count"),        TRXMATCH_NOCASE, &CNVTRXViewApplets::GetCount},
    {OLESTR("ActiveApplet"), TRXMATCH_EXACT,  &CNVTRXViewApplets::GetActiveApplet},
};

const TrxOwnMethod<CNVTRXViewApplets> CNVTRXViewApplets::kOwnMethods[] = {
    {OLESTR("Select"),                   TRXMATCH_NOCASE, &CNVTRXViewApplets::Select},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXViewApplets::GetRepositoryNameByIndex},
    {OLESTR("GetRepositoryName"),        TRXMATCH_NOCASE, &CNVTRXViewApplets::GetRepositoryName},
    {OLESTR("GetUIName"),                TRXMATCH_NOCASE, &CNVTRXViewApplets::GetUIName},
    {OLESTR("IsExists"),                 TRXMATCH_NOCASE, &CNVTRXViewApplets::IsExists},
};
// clang-format on

CNVTRXViewApplets::CNVTRXViewApplets(TrxStringView name, CNVTRXAutomation* parent)
    : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvViewApplets");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXViewApplets constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXViewApplets Name=\"%s\""), name);
  if (parent) m_spNWEAuto = parent->GetNWEAuto();
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXViewApplets::GetNWEChildren(TrxHostObjects& children) {
  children.clear();
  return TRX_OK;
}

TRXRESULT CNVTRXViewApplets::GetChildren(const VARIANT&, VARIANT* value) { return AnswerDescriptors({}, value); }

TRXRESULT CNVTRXViewApplets::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("ViewApplets GetProperty for : \"%s\""), TrxBstrView(name.bstrVal));
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXViewApplets>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  }
  return CNVTRXAutomation::GetProperty(name, value);
}

TRXRESULT CNVTRXViewApplets::GetCount(VARIANT* value) { return CNVTRXView::AppletCount(this, m_spNWEAuto.Get(), value); }

TRXRESULT CNVTRXViewApplets::GetActiveApplet(VARIANT* value) {
  return CNVTRXView::ActiveApplet(this, m_spNWEAuto.Get(), value);
}

TRXRESULT CNVTRXViewApplets::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                     VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXViewApplets::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("MethodName : \"%s\", Arguments : \"%s\""), methodName, CNVTRXArray(&arguments).ToText());
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXViewApplets>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXViewApplets::Select(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const TrxString name = TrxText(args.GetAt(0));
  TrxComPtr<INVAutomation> applet;
  const HRESULT hr = HostChild(m_spNWEAuto.Get(), OBJTYPE_APPLET, name, applet);
  if (FAILED(hr)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE GetChild failed and returned 0x%x"), static_cast<ULONG>(hr));
    return Fail(TRX_E_ARG_VALUE, OLESTR("Select"), OLESTR("AppletName"), name);
  }
  return NWEInvoke(applet.Get(), REQID_SETFOCUS, &arguments, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXViewApplets::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG index = TrxLong(args.GetAt(0));
  std::vector<TrxString> names;
  if (TRXRESULT code = CNVTRXView::AppletNames(this, m_spNWEAuto.Get(), names, TRX_HOST_GETCHILDNAMES, true))
    return code;
  TrxString name;
  if (!TrxListItem(names, index, name))
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetRepositoryNameByIndex"), OLESTR("Index"), TrxDecimal(index));
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXViewApplets::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString uiName = TrxText(args.GetAt(0));
  std::vector<TrxString> names;
  if (TRXRESULT code = CNVTRXView::AppletNames(this, m_spNWEAuto.Get(), names, TRX_HOST_GETCHILDNAMES, true))
    return code;
  for (const TrxString& name : names) {
    TrxComPtr<INVAutomation> applet;
    TrxVariant display;
    const HRESULT hr = HostChild(m_spNWEAuto.Get(), OBJTYPE_APPLET, name, applet);
    if (FAILED(hr)) {
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE GetChild failed and returned 0x%x"), static_cast<ULONG>(hr));
      return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_VIEW"));
    }
    ReadHostProperty(applet.Get(), OLESTR("DisplayName"), display);
    if (TrxText(display) != uiName) continue;
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Repository Name found: uiName:%s, repName:%s"), uiName, name);
    if (result) TrxVariant::FromString(name).Detach(result);
    return TRX_OK;
  }
  return Warn(TRX_E_ARG_VALUE, OLESTR("GetRepositoryName"), OLESTR("UIName"), uiName);
}

TRXRESULT CNVTRXViewApplets::GetUIName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString name = TrxText(args.GetAt(0));
  TrxComPtr<INVAutomation> applet;
  TrxBstr childName(name);
  const HRESULT hr = m_spNWEAuto ? m_spNWEAuto->GetChild(OBJTYPE_APPLET, childName.Get(), applet.Put()) : E_POINTER;
  if (FAILED(hr)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE GetChild failed and returned 0x%x"), static_cast<ULONG>(hr));
    return Warn(TRX_HOST_GETCHILD, OLESTR("OBJTYPE_APPLET ") + name);
  }
  if (!applet) return Warn(TRX_E_ARG_VALUE, OLESTR("GetUIName"), OLESTR("RepositoryName"), name);
  TrxVariant display;
  ReadHostProperty(applet.Get(), OLESTR("DisplayName"), display);
  if (result) TrxVariant::FromString(TrxText(display)).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXViewApplets::IsExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString name = TrxText(args.GetAt(0));
  std::vector<TrxString> names;
  if (TRXRESULT code = CNVTRXView::AppletNames(this, m_spNWEAuto.Get(), names, TRX_HOST_GETCHILDNAMES, true))
    return code;
  const bool found = TrxFindItem(names, name) >= 0;
  if (found) TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Repository Name found: repName:%s"), name);
  if (result) TrxVariant::FromBool(found).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXViewApplets::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                              TrxString& methodName, CNVTRXArray& arguments) {
  if (requestId != REQID_SETFOCUS)
    return CNVTRXAutomation::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  methodName = OLESTR("Select");
  INVAutomation* eventObject = first.vt == VT_UNKNOWN ? static_cast<INVAutomation*>(first.punkVal) : nullptr;
  TrxVariant name;
  const HRESULT hr = ReadHostProperty(eventObject, OLESTR("Name"), name);
  if (FAILED(hr)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE GetChild failed and returned 0x%x"), static_cast<ULONG>(hr));
    return Fail(TRX_HOST_GETPROPERTY, OLESTR("Name"));
  }
  // The applet's name is the argument a replay needs (Select("AppletName")
  // would select nothing).
  arguments.SetAt(TrxText(name), 0);
  return TRX_OK;
}
