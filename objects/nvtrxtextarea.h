// A multi-line text field (catalogue class NorvTextArea; ink data fields are built as one).
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXTextArea : public CNVTRXControl {
 public:
  CNVTRXTextArea(TrxStringView name, CNVTRXAutomation* parent);
};
