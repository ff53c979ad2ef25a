// The predefined-query box of a screen (catalogue class NorvPDQ): the
// queries are "LOVItems", the active one "Value".
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXPDQ : public CNVTRXAutomation {
 public:
  CNVTRXPDQ(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  bool OmitsItemStateFromContents() const override { return true; }

 private:
  TRXRESULT Select(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsExists(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetPDQByIndex(const VARIANT& arguments, VARIANT* result);
  // The queries, or the caller's mistake (+103) when they cannot be read.
  TRXRESULT Queries(std::vector<TrxString>& queries);

  static const TrxOwnMethod<CNVTRXPDQ> kOwnMethods[];
};
