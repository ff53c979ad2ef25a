// One tab of an applet's alphabet tabs (catalogue class NorvAlphaTabs): its
// repository name is the tab's label, and a click filters the applet.
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXAlphaTab : public CNVTRXControl {
 public:
  CNVTRXAlphaTab(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 private:
  TRXRESULT Click(const VARIANT& arguments, VARIANT* result);

  static const TrxOwnMethod<CNVTRXAlphaTab> kOwnMethods[];
};
