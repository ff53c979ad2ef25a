// A task link of the task pane (catalogue class NorvTaskLink). Its
// repository name is the task, "TaskName" or "TaskName|TaskGroup"; clicking
// it starts that task through the pane's host object.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXTaskUIPaneLink : public CNVTRXAutomation {
 public:
  CNVTRXTaskUIPaneLink(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  // The link is its task: a recorded click carries no arguments.
  bool RecordsArguments(TrxStringView method) const override { return method != OLESTR("Click"); }

 private:
  TRXRESULT Click(const VARIANT& arguments, VARIANT* result);

  static const TrxOwnMethod<CNVTRXTaskUIPaneLink> kOwnMethods[];
};
