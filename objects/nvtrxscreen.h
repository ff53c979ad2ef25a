// The screen the client shows (catalogue class NorvScreen), or the task
// that runs while the current view is a task view (NorvTask). It wraps the
// application's navigation control "Screen"; a screen other than the active
// one cannot be built.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXScreen : public CNVTRXAutomation {
 public:
  CNVTRXScreen(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT BuildTRXObjectHierarchy() override;
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT GetChildren(const VARIANT& argument, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

 private:
  TRXRESULT GetUIName(VARIANT* value);
  TRXRESULT GetClassCount(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);
  // The current view's "Name", reported as the caller's mistake when there
  // is no view (106) or no name (103).
  TRXRESULT CurrentViewName(TrxComPtr<INVAutomation>& view, TrxString& name);

  static const TrxOwnProperty<CNVTRXScreen> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXScreen> kOwnMethods[];

  TrxString m_strUIName;
};
