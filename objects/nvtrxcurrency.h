// A currency field (catalogue class NorvCurrency) and its popup, which holds
// three sub-fields: the currency code (NorvText), the amount with its
// calculator (NorvCalculator) and the exchange date with its calendar
// (NorvCalendar). The currency names them itself, without asking the client.
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXCurrency : public CNVTRXControl {
 public:
  CNVTRXCurrency(TrxStringView name, CNVTRXAutomation* parent);
  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet* pEventArgs,
                             CNVTRXAutomation** ppChild) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

 private:
  TRXRESULT GetClassCount(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);

  static const TrxOwnMethod<CNVTRXCurrency> kOwnMethods[];
};
