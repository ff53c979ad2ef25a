// A single-line text field (catalogue class NorvText): text, password,
// single- and multi-value pick fields.
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXText : public CNVTRXControl {
 public:
  CNVTRXText(TrxStringView name, CNVTRXAutomation* parent);
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;

 private:
  TRXRESULT GetPopupType(VARIANT* value);
  static const TrxOwnProperty<CNVTRXText> kOwnProperties[];
};
