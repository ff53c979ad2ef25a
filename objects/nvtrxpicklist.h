// A drop-down list of values (catalogue class NorvPicklist): its items are "LOVItems"; a value not among them can be typed.
#pragma once

#include "objects/nvtrxchoices.h"

class CNVTRXPicklist : public CNVTRXChoices {
 public:
  CNVTRXPicklist(TrxStringView name, CNVTRXAutomation* parent);
};
