// The threadbar of a screen (catalogue class NorvThreadbar): the trail of
// recently visited views, "ThreadbarlinkNames", the last link the active one.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXThreadbar : public CNVTRXAutomation {
 public:
  CNVTRXThreadbar(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

 private:
  TRXRESULT GetActiveThreadItem(VARIANT* value);
  TRXRESULT GetThreadItems(VARIANT* value);
  TRXRESULT GetCount(VARIANT* value);
  TRXRESULT GetThreadItemByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsExists(const VARIANT& arguments, VARIANT* result);
  // The links, or the caller's mistake (+103) when they cannot be read.
  TRXRESULT Links(std::vector<TrxString>& links);

  static const TrxOwnProperty<CNVTRXThreadbar> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXThreadbar> kOwnMethods[];
};
