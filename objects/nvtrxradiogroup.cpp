#include "objects/nvtrxradiogroup.h"

CNVTRXRadioGroup::CNVTRXRadioGroup(TrxStringView name, CNVTRXAutomation* parent)
    : CNVTRXChoices(name, parent, OLESTR("NorvRadioGroup"), OLESTR("RBOptions")) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXRadioGroup Name=\"%s\""), name);
}
