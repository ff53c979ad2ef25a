#include "objects/nvtrxtaskuipane.h"

#include "objects/nvtrxclasses.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("Close"),     VT_EMPTY, REQID_TASKCLOSE,     VT_EMPTY, TRXMETHOD_REQUEST, OLESTR("Closes the Task Assistant")},
    {OLESTR("GotoInbox"), VT_EMPTY, REQID_TASKGOTOINBOX, VT_EMPTY, TRXMETHOD_REQUEST, OLESTR("Clicks on Goto Inbox link")},
    {OLESTR("Start"),     VT_BSTR,  REQID_TASKSTART,     VT_I4,    TRXMETHOD_REQUEST, OLESTR("Activates the specified Task")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,         VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("NorvTaskUIPane"), VT_BSTR, TRXPROP_CONST, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("TaskUIPane"),     VT_BSTR, TRXPROP_CONST, OLESTR("property UIName")},
    {OLESTR("TaskCount"),      VT_BSTR, OLESTR("TaskCount"),      VT_I4,   TRXPROP_HOST,  OLESTR("Returns tasks in the list")},
    {OLESTR("ActiveTask"),     VT_BSTR, OLESTR("ActiveTask"),     VT_BSTR, TRXPROP_HOST,  OLESTR("Returns the running task")},
    {OLESTR("StepCount"),      VT_BSTR, OLESTR("StepCount"),      VT_I4,   TRXPROP_HOST,  OLESTR("Returns steps of the running task")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),         VT_BSTR, TRXPROP_HOST,  OLESTR("Returns HTMLid for the TaskUIPane control")},
};

const TrxChildClass kChildClasses[] = {
    {OLESTR("NorvTaskLink"), OLESTR("NorvTaskLink")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXTaskUIPane> CNVTRXTaskUIPane::kOwnMethods[] = {
    {OLESTR("GetTaskByIndex"),           TRXMATCH_EXACT,  &CNVTRXTaskUIPane::GetTaskByIndex},
    {OLESTR("GetStepByIndex"),           TRXMATCH_EXACT,  &CNVTRXTaskUIPane::GetStepByIndex},
    {OLESTR("GetClassCount"),            TRXMATCH_EXACT,  &CNVTRXTaskUIPane::GetClassCount},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXTaskUIPane::GetRepositoryNameByIndex},
    {OLESTR("Start"),                    TRXMATCH_NOCASE, &CNVTRXTaskUIPane::Start},
};
// clang-format on

CNVTRXTaskUIPane::CNVTRXTaskUIPane(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvTaskUIPane");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXTaskUIPane constructor");
  // Without its panel the pane still answers; its requests fail for lack of a host object.
  if (parent) GetHostChild(parent->GetNWEAuto(), OBJTYPE_EXTOBJECT, OLESTR("TaskUIPane"), m_spNWEAuto, m_strClassName);
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXTaskUIPane::CreateChild(TrxStringView className, TrxStringView repositoryName,
                                        CNVTRXAutomation** ppChild) {
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Class Name: \"%s\", RepositoryName: \"%s\""), className, repositoryName);
  return TrxCreateChild(this, kChildClasses, className, repositoryName, ppChild);
}

TRXRESULT CNVTRXTaskUIPane::GetData(VARIANT* value) {
  TrxVariant activeTask, list;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ActiveTask"), activeTask)) return code;
  // No task running: the tasks; otherwise the running task's steps.
  const OLECHAR* property = TrxText(activeTask).empty() ? OLESTR("TaskList") : OLESTR("StepList");
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), property, list)) return code;
  if (list.vt != VT_EMPTY && !(list.vt & VT_ARRAY)) return Warn(TRX_HOST_GETPROPERTY, property);
  if (value) {
    VariantClear(value);
    TrxGrid({TrxStringList(list)}).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXTaskUIPane::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                    VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXTaskUIPane::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodName=\"%s\""), methodName);
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXTaskUIPane>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXTaskUIPane::ListItem(const OLECHAR* property, TrxStringView method, LONG index, VARIANT* result) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), property, value))) return Warn(TRX_HOST_GETPROPERTY, property);
  TrxString item;
  if (!TrxListItem(TrxStringList(value), index, item))
    return Warn(TRX_E_ARG_VALUE, method, OLESTR("Index"), TrxDecimal(index));
  if (result) TrxVariant::FromString(item).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXTaskUIPane::GetTaskByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  return ListItem(OLESTR("TaskList"), OLESTR("GetTaskByIndex"), TrxLong(args.GetAt(0)), result);
}

TRXRESULT CNVTRXTaskUIPane::GetStepByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  return ListItem(OLESTR("StepList"), OLESTR("GetStepByIndex"), TrxLong(args.GetAt(0)), result);
}

TRXRESULT CNVTRXTaskUIPane::GetClassCount(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  if (!TrxEqualsNoCase(TrxText(args.GetAt(0)), OLESTR("NorvTaskLink"))) return TRX_OK;
  TrxVariant count;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("TaskCount"), count)) return code;
  if (result) count.Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXTaskUIPane::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  if (TRXRESULT code = CheckArgumentCount(args, OLESTR("GetRepositoryNameByIndex"), 2)) return code;
  if (!TrxEqualsNoCase(TrxText(args.GetAt(0)), OLESTR("NorvTaskLink"))) return TRX_OK;
  return ListItem(OLESTR("TaskList"), OLESTR("GetRepositoryNameByIndex"), TrxLong(args.GetAt(1)), result);
}

TRXRESULT CNVTRXTaskUIPane::Start(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const CNVTRXRequestArgs request{TrxVariant::FromString(TrxText(args.GetAt(0))),
                                  TrxVariant::FromString(TrxText(args.GetAt(1)))};
  const TRXRESULT code = NWEInvoke(m_spNWEAuto.Get(), REQID_TASKSTART, request, TRXHOSTREF_DROP, TRXTIMING_SET);
  if (code != TRX_OK)
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("TRX_NOTIFIER_ERROR: Call to NWEInvoke for REQID_TASKSTART  Failed"));
  return code;
}
