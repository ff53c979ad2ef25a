#include "objects/nvtrxtaskassistant.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("Close"),    VT_EMPTY, REQID_TASKCLOSE,    VT_EMPTY, TRXMETHOD_REQUEST, OLESTR("Closes the Task Assistant")},
    {OLESTR("Done"),     VT_EMPTY, REQID_TASKDONE,     VT_EMPTY, TRXMETHOD_REQUEST, OLESTR("Clicks on Return to ...link")},
    {OLESTR("Next"),     VT_EMPTY, REQID_TASKNEXT,     VT_EMPTY, TRXMETHOD_REQUEST, OLESTR("Clicks on See additional steps link")},
    {OLESTR("Start"),    VT_I4,    REQID_TASKSTART,    VT_I4,    TRXMETHOD_REQUEST, OLESTR("Activates the specified Task")},
    {OLESTR("Step"),     VT_I4,    REQID_TASKSTEP,     VT_I4,    TRXMETHOD_REQUEST, OLESTR("Activates the specified Step")},
    {OLESTR("StepView"), VT_I4,    REQID_TASKSTEPVIEW, VT_I4,    TRXMETHOD_REQUEST, OLESTR("Activates the specified StepView")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,           VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("NorvTaskAssistant"), VT_BSTR, TRXPROP_CONST, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("TaskAssistant"),     VT_BSTR, TRXPROP_CONST, OLESTR("property UIName")},
    {OLESTR("TaskCount"),      VT_BSTR, OLESTR("NumTasks"),          VT_BSTR, TRXPROP_HOST,  OLESTR("Returns tasks in the list")},
    {OLESTR("StepCount"),      VT_BSTR, OLESTR("NumSteps"),          VT_BSTR, TRXPROP_HOST,  OLESTR("Returns number of visible steps")},
    {OLESTR("ActiveStepNum"),  VT_BSTR, OLESTR("StepNum"),           VT_BSTR, TRXPROP_HOST,  OLESTR("Returns the active step's number")},
    {OLESTR("ActiveTask"),     VT_BSTR, OLESTR("TaskName"),          VT_BSTR, TRXPROP_HOST,  OLESTR("Returns the active task")},
    {OLESTR("ActiveTaskId"),   VT_BSTR, OLESTR("TaskId"),            VT_BSTR, TRXPROP_HOST,  OLESTR("Returns the active task's id")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),            VT_BSTR, TRXPROP_HOST,  OLESTR("Returns HTMLid for the TaskAssistant control")},
};
// clang-format on

}  // namespace

CNVTRXTaskAssistant::CNVTRXTaskAssistant(TrxStringView name, CNVTRXAutomation* parent)
    : CNVTRXAutomation(name, parent) {
  m_strClassName = OLESTR("NorvTaskAssistant");
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXTaskAssistant constructor");
  // Without its panel the assistant still answers; its requests fail for lack of a host object.
  if (parent)
    GetHostChild(parent->GetNWEAuto(), OBJTYPE_EXTOBJECT, OLESTR("TaskAssistant"), m_spNWEAuto, m_strClassName);
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}
