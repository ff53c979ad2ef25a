#include "objects/nvtrxpdq.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("Select"), VT_BSTR, REQID_SELECTLOVITEM, VT_BSTR, TRXMETHOD_REQUEST, OLESTR("")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,      VT_BSTR,  TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName, VT_BSTR,  TRXPROP_CONST, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("PDQ"),         VT_BSTR,  TRXPROP_CONST, OLESTR("property UIName")},
    {OLESTR("Count"),          VT_I4,   OLESTR("LOVItems"),    VT_ARRAY, TRXPROP_COUNT, OLESTR("")},
    {OLESTR("ActivePDQ"),      VT_I4,   OLESTR("Value"),       VT_ARRAY, TRXPROP_HOST,  OLESTR("")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),      VT_BSTR,  TRXPROP_HOST,  OLESTR("")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXPDQ> CNVTRXPDQ::kOwnMethods[] = {
    {OLESTR("Select"),        TRXMATCH_EXACT, &CNVTRXPDQ::Select},
    {OLESTR("IsExists"),      TRXMATCH_EXACT, &CNVTRXPDQ::IsExists},
    {OLESTR("GetPDQByIndex"), TRXMATCH_EXACT, &CNVTRXPDQ::GetPDQByIndex},
};
// clang-format on

CNVTRXPDQ::CNVTRXPDQ(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXPDQ Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvPDQ");
  // The query box is the application's, shown with the active screen.
  CNVTRXAutomation* application = parent ? parent->GetParent() : nullptr;
  if (!application || FAILED(HostChild(application->GetNWEAuto(), OBJTYPE_CONTROL, OLESTR("NorvPDQ"), m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXPDQ::Queries(std::vector<TrxString>& queries) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("LOVItems"), value)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("LOVItems"));
  queries = TrxStringList(value);
  return TRX_OK;
}

TRXRESULT CNVTRXPDQ::GetData(VARIANT* value) {
  TrxVariant queries;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("LOVItems"), queries)) return code;
  if (value) {
    VariantClear(value);
    TrxGrid({TrxStringList(queries)}).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXPDQ::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXPDQ>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXPDQ::Select(const VARIANT& arguments, VARIANT*) {
  // The list opens first; a list the client refuses to show is the answer.
  if (TRXRESULT code = NWEInvoke(m_spNWEAuto.Get(), REQID_SHOWLOVS, &arguments, TRXHOSTREF_KEEP, TRXTIMING_SET))
    return code;
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SELECTLOVITEM, &arguments, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXPDQ::IsExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  std::vector<TrxString> queries;
  if (TRXRESULT code = Queries(queries)) return code;
  if (result) TrxVariant::FromBool(TrxFindItem(queries, TrxText(args.GetAt(0))) >= 0).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXPDQ::GetPDQByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG index = TrxLong(args.GetAt(0), -1);
  std::vector<TrxString> queries;
  if (TRXRESULT code = Queries(queries)) return code;
  TrxString query;
  if (!TrxListItem(queries, index, query))
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetPDQByIndex"), OLESTR("Index"), TrxDecimal(index));
  if (result) TrxVariant::FromString(query).Detach(result);
  return TRX_OK;
}
