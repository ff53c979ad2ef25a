// The family base of the fields that offer a list of choices, the radio
// group ("RBOptions") and the picklist ("LOVItems"): selecting an item,
// reading the items, the one-column grid of them.
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXChoices : public CNVTRXControl {
 public:
  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  bool OmitsItemStateFromContents() const override { return true; }

 protected:
  // `choices`: the host list property of the items.
  CNVTRXChoices(TrxStringView name, CNVTRXAutomation* parent, const OLECHAR* className, const OLECHAR* choices);

 private:
  TRXRESULT Select(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetItemByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsExists(const VARIANT& arguments, VARIANT* result);

  static const TrxOwnMethod<CNVTRXChoices> kOwnMethods[];
  const OLECHAR* m_choices;
};
