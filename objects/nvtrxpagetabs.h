// The screen tab bar (catalogue class NorvPageTabs): the screens and the
// active screen's views as tabs, through the application's navigation
// control "Screen".
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXPageTabs : public CNVTRXAutomation {
 public:
  CNVTRXPageTabs(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetNWEChildren(TrxHostObjects& children) override;
  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 private:
  TRXRESULT GotoScreen(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GotoView(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetUIName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsExists(const VARIANT& arguments, VARIANT* result);
  // The names and display names of the tabs the origin ("Screen", empty,
  // or "View") names.
  TRXRESULT ReadTabs(TrxStringView method, CNVTRXArray& arguments, std::vector<TrxString>& names,
                     std::vector<TrxString>& displayNames);

  static const TrxOwnMethod<CNVTRXPageTabs> kOwnMethods[];
};
