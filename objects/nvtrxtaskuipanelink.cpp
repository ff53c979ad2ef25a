#include "objects/nvtrxtaskuipanelink.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("Click"), VT_BSTR, REQID_TASKSTART, VT_I4, TRXMETHOD_REQUEST, OLESTR("Activates the specified Task")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,      VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName, VT_BSTR, TRXPROP_CONST, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("TaskLink"),    VT_BSTR, TRXPROP_CONST, OLESTR("property UIName")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXTaskUIPaneLink> CNVTRXTaskUIPaneLink::kOwnMethods[] = {
    {OLESTR("Click"), TRXMATCH_EXACT, &CNVTRXTaskUIPaneLink::Click},
};
// clang-format on

CNVTRXTaskUIPaneLink::CNVTRXTaskUIPaneLink(TrxStringView name, CNVTRXAutomation* parent)
    : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvTaskLink");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXTaskUIPaneLink constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXTaskUIPaneLink Name=\"%s\""), name);
  if (parent) m_spNWEAuto = parent->GetNWEAuto();
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXTaskUIPaneLink::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                        VARIANT* result) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodName=\"%s\""), methodName);
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXTaskUIPaneLink>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXTaskUIPaneLink::Click(const VARIANT&, VARIANT*) {
  // The non-empty parts of "TaskName|TaskGroup"; a part that is not there is empty.
  TrxString parts[2];
  size_t found = 0;
  for (size_t start = 0; start <= m_strRepositoryName.size() && found < 2;) {
    size_t end = m_strRepositoryName.find('|', start);
    if (end == TrxString::npos) end = m_strRepositoryName.size();
    if (end > start) parts[found++] = m_strRepositoryName.substr(start, end - start);
    start = end + 1;
  }
  const CNVTRXRequestArgs request{TrxVariant::FromString(parts[0]), TrxVariant::FromString(parts[1])};
  const TRXRESULT code = NWEInvoke(m_spNWEAuto.Get(), REQID_TASKSTART, request, TRXHOSTREF_DROP, TRXTIMING_SET);
  if (code != TRX_OK)
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("TRX_NOTIFIER_ERROR: Call to NWEInvoke for REQID_TASKSTART  Failed"));
  return code;
}
