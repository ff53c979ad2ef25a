#include "objects/nvtrxthreadbar.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("Goto"), VT_BSTR, REQID_EXECUTETHREADBARLINK, VT_BSTR, TRXMETHOD_REQUEST, OLESTR("")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),        VT_BSTR, kTrxOwnClassName,             VT_BSTR,  TRXPROP_CONST,    OLESTR("property ClassName")},
    {OLESTR("RepositoryName"),   VT_BSTR, kTrxOwnRepositoryName,        VT_BSTR,  TRXPROP_CONST,    OLESTR("property RepositoryName")},
    {OLESTR("UIName"),           VT_BSTR, OLESTR("Threadbar"),          VT_BSTR,  TRXPROP_CONST,    OLESTR("property UIName")},
    {OLESTR("Count"),            VT_I4,   OLESTR("ThreadbarlinkNames"), VT_ARRAY, TRXPROP_COUNT,    OLESTR("")},
    {OLESTR("ActiveThreadItem"), VT_BSTR, OLESTR(""),                   VT_BSTR,  TRXPROP_OVERLOAD, OLESTR("")},
    {OLESTR("ThreadItems"),      VT_BSTR, OLESTR(""),                   VT_BSTR,  TRXPROP_OVERLOAD, OLESTR("")},
    {OLESTR("HtmlId"),           VT_BSTR, OLESTR("HtmlID"),             VT_BSTR,  TRXPROP_HOST,     OLESTR("")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXThreadbar> CNVTRXThreadbar::kOwnProperties[] = {
    {OLESTR("ActiveThreadItem"), TRXMATCH_NOCASE, &CNVTRXThreadbar::GetActiveThreadItem},
    {OLESTR("ThreadItems"),      TRXMATCH_NOCASE, &CNVTRXThreadbar::GetThreadItems},
    {OLESTR("Count"),            TRXMATCH_NOCASE, &CNVTRXThreadbar::GetCount},
};
const TrxOwnMethod<CNVTRXThreadbar> CNVTRXThreadbar::kOwnMethods[] = {
    {OLESTR("GetThreadItemByIndex"), TRXMATCH_NOCASE, &CNVTRXThreadbar::GetThreadItemByIndex},
    {OLESTR("IsExists"),             TRXMATCH_NOCASE, &CNVTRXThreadbar::IsExists},
};
// clang-format on

CNVTRXThreadbar::CNVTRXThreadbar(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXThreadbar Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvThreadbar");
  // The threadbar belongs to the application; the screen only shows it.
  CNVTRXAutomation* application = parent ? parent->GetParent() : nullptr;
  if (!application ||
      FAILED(HostChild(application->GetNWEAuto(), OBJTYPE_THREADBAR, OLESTR("ThreadBar"), m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXThreadbar::Links(std::vector<TrxString>& links) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ThreadbarlinkNames"), value)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ThreadbarlinkNames"));
  links = TrxStringList(value);
  return TRX_OK;
}

TRXRESULT CNVTRXThreadbar::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR && m_spNWEAuto)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXThreadbar>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXAutomation::GetProperty(name, value);
}

TRXRESULT CNVTRXThreadbar::GetActiveThreadItem(VARIANT* value) {
  std::vector<TrxString> links;
  if (TRXRESULT code = Links(links)) return code;
  if (value) TrxVariant::FromString(links.empty() ? TrxString() : links.back()).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXThreadbar::GetThreadItems(VARIANT* value) {
  std::vector<TrxString> links;
  if (TRXRESULT code = Links(links)) return code;
  TrxString joined;
  for (size_t i = 0; i < links.size(); ++i) joined += (i ? OLESTR("|") : OLESTR("")) + links[i];
  if (value) TrxVariant::FromString(joined).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXThreadbar::GetCount(VARIANT* value) {
  std::vector<TrxString> links;
  if (TRXRESULT code = Links(links)) return code;
  if (value) TrxVariant::FromI4(static_cast<LONG>(links.size())).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXThreadbar::GetData(VARIANT* value) {
  TrxVariant links;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ThreadbarlinkNames"), links)) return code;
  if (value) {
    VariantClear(value);
    TrxGrid({TrxStringList(links)}).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXThreadbar::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                   VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXThreadbar>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXThreadbar::GetThreadItemByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG index = TrxLong(args.GetAt(0), -1);
  std::vector<TrxString> links;
  if (TRXRESULT code = Links(links)) return code;
  TrxString link;
  if (!TrxListItem(links, index, link)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Threadbar index %d is out of range"), index);
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetThreadItemByIndex"), OLESTR("Index"), TrxDecimal(index));
  }
  if (result) TrxVariant::FromString(link).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXThreadbar::IsExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  std::vector<TrxString> links;
  if (TRXRESULT code = Links(links)) return code;
  if (result) TrxVariant::FromBool(TrxFindItem(links, TrxText(args.GetAt(0))) >= 0).Detach(result);
  return TRX_OK;
}
