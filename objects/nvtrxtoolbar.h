// A toolbar of the application (catalogue class NorvToolbar): items named
// by one list, "ToolbarItemDisplayNames", with their states beside them.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXToolbar : public CNVTRXAutomation {
 public:
  CNVTRXToolbar(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
};
