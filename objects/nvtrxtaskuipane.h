// The task pane (catalogue class NorvTaskUIPane): the tasks that can be
// started and the steps of the running one, the application's external
// object "TaskUIPane". Its task links (NorvTaskLink) are its children.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXTaskUIPane : public CNVTRXAutomation {
 public:
  CNVTRXTaskUIPane(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

 private:
  TRXRESULT GetTaskByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetStepByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetClassCount(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT Start(const VARIANT& arguments, VARIANT* result);
  // Element `index` of the host list `property` ("TaskList", "StepList"), or
  // the caller's mistake: +103 when the list cannot be read, +1014 past its end.
  TRXRESULT ListItem(const OLECHAR* property, TrxStringView method, LONG index, VARIANT* result);

  static const TrxOwnMethod<CNVTRXTaskUIPane> kOwnMethods[];
};
