// A menu (catalogue class NorvMenu): the application's menu bar or an
// applet's menu. Items are paths such as "File\Save Record"; "Reports" paths
// open on the reports bar.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXMenu : public CNVTRXAutomation {
 public:
  CNVTRXMenu(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;
  bool OmitsItemStateFromContents() const override { return true; }

 private:
  TRXRESULT GetCount(VARIANT* value);
  TRXRESULT Select(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsEnabled(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetUIName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsExists(const VARIANT& arguments, VARIANT* result);
  // A host list of the menu, or the caller's mistake (+103).
  TRXRESULT Items(const OLECHAR* property, std::vector<TrxString>& items);
  TRXRESULT TranslateName(const VARIANT& arguments, VARIANT* result, bool toRepository);

  static const TrxOwnProperty<CNVTRXMenu> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXMenu> kOwnMethods[];
};
