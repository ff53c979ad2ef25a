// The applets of a view as one object (catalogue class NorvViewApplets):
// which applet has the focus, and the applets by name and display name. It
// holds a second reference to its view's host object.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXViewApplets : public CNVTRXAutomation {
 public:
  CNVTRXViewApplets(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetNWEChildren(TrxHostObjects& children) override;
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT GetChildren(const VARIANT& argument, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 private:
  TRXRESULT GetCount(VARIANT* value);
  TRXRESULT GetActiveApplet(VARIANT* value);
  TRXRESULT Select(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetUIName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsExists(const VARIANT& arguments, VARIANT* result);

  static const TrxOwnProperty<CNVTRXViewApplets> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXViewApplets> kOwnMethods[];
};
