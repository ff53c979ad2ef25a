// A number field with its calculator popup (catalogue class NorvCalculator).
// Also the amount inside a currency's popup, which the client gives as a
// sub-control.
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXCalculator : public CNVTRXControl {
 public:
  CNVTRXCalculator(TrxStringView name, CNVTRXAutomation* parent);
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

 private:
  TRXRESULT ClickKeys(const VARIANT& arguments, VARIANT* result);

  static const TrxOwnMethod<CNVTRXCalculator> kOwnMethods[];
};
