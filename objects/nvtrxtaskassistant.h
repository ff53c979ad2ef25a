// The task assistant (catalogue class NorvTaskAssistant): the guided steps
// of a task, the application's external object "TaskAssistant". Every
// method is one host request.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXTaskAssistant : public CNVTRXAutomation {
 public:
  CNVTRXTaskAssistant(TrxStringView name, CNVTRXAutomation* parent);
};
