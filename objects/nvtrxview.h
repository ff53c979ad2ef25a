// The view the client shows (catalogue class NorvView), or the step of a
// task while the view is a task view (NorvTaskStep). It wraps the current
// view; a view other than the current one cannot be built.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXView : public CNVTRXAutomation {
 public:
  CNVTRXView(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet* pEventArgs,
                             CNVTRXAutomation** ppChild) override;
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

  // The applets of a view: the names of GetChildNames(OBJTYPE_APPLET), and
  // the number of them, each reported as a failed host call on `reporter`
  // (usererr, or the caller's mistake when `warn`).
  static TRXRESULT AppletNames(const CNVTRXAutomation* reporter, INVAutomation* view, std::vector<TrxString>& names,
                               LONG failureCode, bool warn);
  static TRXRESULT AppletCount(const CNVTRXAutomation* reporter, INVAutomation* view, VARIANT* value);
  static TRXRESULT ActiveApplet(const CNVTRXAutomation* reporter, INVAutomation* view, VARIANT* value);

 private:
  TRXRESULT GetAppletCount(VARIANT* value);
  TRXRESULT GetActiveApplet(VARIANT* value);
  TRXRESULT GetClassCount(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);
  // The applet rule: the applet the host object names.
  TRXRESULT BuildApplet(INVAutomation* pNWEAuto, LONG objectType, CNVTRXAutomation** ppChild);

  static const TrxOwnProperty<CNVTRXView> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXView> kOwnMethods[];
};
