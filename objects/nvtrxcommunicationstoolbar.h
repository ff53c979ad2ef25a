// The communications toolbar (catalogue class NorvCommunicationsToolbar):
// the buttons, work-item field and status texts of the contact-centre bar,
// the application's external object of that name. Its buttons are the
// host object's external children; their states and tooltips are keyed
// host properties.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXCommunicationsToolbar : public CNVTRXAutomation {
 public:
  CNVTRXCommunicationsToolbar(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

 private:
  TRXRESULT GetButtonTooltip(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetButtonState(const VARIANT& arguments, VARIANT* result);
  // The keyed host property of one button, retried while the bar is busy
  // (-109 naming `method` when it never answers).
  TRXRESULT ReadButton(TrxStringView method, const OLECHAR* property, const VARIANT& arguments, VARIANT* result);
  // The keyed host property of one button; empty when it does not answer.
  TrxString ButtonText(const OLECHAR* property, const TrxString& button);

  static const TrxOwnMethod<CNVTRXCommunicationsToolbar> kOwnMethods[];
};
