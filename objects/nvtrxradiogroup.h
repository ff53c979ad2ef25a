// A group of radio buttons (catalogue class NorvRadioGroup): its options are "RBOptions".
#pragma once

#include "objects/nvtrxchoices.h"

class CNVTRXRadioGroup : public CNVTRXChoices {
 public:
  CNVTRXRadioGroup(TrxStringView name, CNVTRXAutomation* parent);
};
