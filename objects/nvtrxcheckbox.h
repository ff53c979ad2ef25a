// A check box (catalogue class NorvCheckbox): on ("Y"), off ("N") or
// indeterminate (empty).
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXCheckbox : public CNVTRXControl {
 public:
  CNVTRXCheckbox(TrxStringView name, CNVTRXAutomation* parent);
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 private:
  TRXRESULT SetOn(const VARIANT& arguments, VARIANT* result);
  TRXRESULT SetOff(const VARIANT& arguments, VARIANT* result);
  TRXRESULT SetIndeterminate(const VARIANT& arguments, VARIANT* result);
  TRXRESULT SetState(const OLECHAR* value);
  TRXRESULT GetIsChecked(VARIANT* value);
  TRXRESULT GetCheckState(VARIANT* value);
  // The state row of the host "Value", or nullptr when it is none of them.
  TRXRESULT ReadState(const struct CheckState*& state);

  static const TrxOwnProperty<CNVTRXCheckbox> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXCheckbox> kOwnMethods[];
};
