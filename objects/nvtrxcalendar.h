// A date field with its calendar popup (catalogue class NorvCalendar): date,
// date and time, date and time with a time zone. Also the exchange date
// inside a currency's popup, which the client gives as a sub-control.
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXCalendar : public CNVTRXControl {
 public:
  CNVTRXCalendar(TrxStringView name, CNVTRXAutomation* parent);
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 private:
  TRXRESULT ProcessKey(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetCalendarType(VARIANT* value);

  static const TrxOwnMethod<CNVTRXCalendar> kOwnMethods[];
  static const TrxOwnProperty<CNVTRXCalendar> kOwnProperties[];
};
