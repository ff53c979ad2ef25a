// The view tabs of the active screen (catalogue class NorvScreenViews), on
// up to three levels: L2 (the navigation control "AggregateViews"), L3
// ("DetailCategory") and L4 ("View", or L3 where the client has no L4).
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXScreenViews : public CNVTRXAutomation {
 public:
  CNVTRXScreenViews(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetNWEChildren(TrxHostObjects& children) override;
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT GetChildren(const VARIANT& argument, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 private:
  // The level count or HTML id that a "...count" or "htmlid" property asks for.
  TRXRESULT GetLevelProperty(const TrxString& lowerName, VARIANT* value);

  TrxComPtr<INVAutomation> m_spLevels[3];  // L2, L3, L4
};
