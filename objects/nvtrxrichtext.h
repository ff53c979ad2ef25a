// A rich text field (catalogue class NorvRichText).
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXRichText : public CNVTRXControl {
 public:
  CNVTRXRichText(TrxStringView name, CNVTRXAutomation* parent);
};
