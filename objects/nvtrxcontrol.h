// The base of every field control of an applet (text, text area, rich
// text, checkbox, radio group, picklist, button; the popup controls and the
// alphabet tabs too): the rows every field has, "ProcessKey"("EnterKey")
// and its recording, and the steps the controls share.
#pragma once

#include <span>

#include "model/nvtrxautomation.h"

class CNVTRXControl : public CNVTRXAutomation {
 public:
  CNVTRXControl(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 protected:
  // The standard rows of a field: ClassName, UIName, IsEnabled, IsRequired
  // (with `flagType` as the column-0 type of the two flags).
  void AddStandardRows(LONG flagType = VT_BOOL);
  // The host control `name` of the parent (OBJTYPE_CONTROL); false, with
  // -1016 reported, when the parent has none.
  bool AttachToHostControl(TrxStringView name, AUTO_OBJECTTYPE fallbackType = OBJTYPE_NULL,
                           TrxStringView fallbackName = TrxStringView());
  // The focus steps around a value request: SetFocus (keep, timing 1)
  // before it; after it ClearFocus (drop, timing 1), which is always sent,
  // and the first failure of the three is the answer.
  TRXRESULT SetFocusFirst();
  TRXRESULT ClearFocusAfter(TRXRESULT focusCode, TRXRESULT requestCode);
  // The texts of a host list property of this control, or the caller's
  // mistake (+103) when it cannot be read.
  TRXRESULT ReadList(const OLECHAR* property, std::vector<TrxString>& items, bool warn);
};
