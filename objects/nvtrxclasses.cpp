#include "objects/nvtrxclasses.h"

#include <map>

#include "model/nvtrxservicestate.h"
#include "objects/nvtrxalphatab.h"
#include "objects/nvtrxapplet.h"
#include "objects/nvtrxbutton.h"
#include "objects/nvtrxcalculator.h"
#include "objects/nvtrxcalendar.h"
#include "objects/nvtrxcheckbox.h"
#include "objects/nvtrxcommunicationstoolbar.h"
#include "objects/nvtrxcurrency.h"
#include "objects/nvtrxlist.h"
#include "objects/nvtrxmenu.h"
#include "objects/nvtrxpagetabs.h"
#include "objects/nvtrxpdq.h"
#include "objects/nvtrxpicklist.h"
#include "objects/nvtrxradiogroup.h"
#include "objects/nvtrxrichtext.h"
#include "objects/nvtrxscreen.h"
#include "objects/nvtrxscreenviews.h"
#include "objects/nvtrxtaskassistant.h"
#include "objects/nvtrxtaskuipane.h"
#include "objects/nvtrxtaskuipanelink.h"
#include "objects/nvtrxtext.h"
#include "objects/nvtrxtextarea.h"
#include "objects/nvtrxthreadbar.h"
#include "objects/nvtrxtoolbar.h"
#include "objects/nvtrxtree.h"
#include "objects/nvtrxview.h"
#include "objects/nvtrxviewapplets.h"

namespace {

template <class Class>
CNVTRXAutomation* Make(TrxStringView repositoryName, CNVTRXAutomation* parent) {
  return new Class(repositoryName, parent);
}

struct ClassEntry {
  const OLECHAR* className;
  CNVTRXAutomation* (*factory)(TrxStringView repositoryName, CNVTRXAutomation* parent);
};

// Every automation class below the application, by catalogue class name.
// clang-format off
const ClassEntry kClasses[] = {
    {OLESTR("NorvScreen"),      &Make<CNVTRXScreen>},
    {OLESTR("NorvPageTabs"),    &Make<CNVTRXPageTabs>},
    {OLESTR("NorvScreenViews"), &Make<CNVTRXScreenViews>},
    {OLESTR("NorvView"),        &Make<CNVTRXView>},
    {OLESTR("NorvViewApplets"), &Make<CNVTRXViewApplets>},
    {OLESTR("NorvApplet"),      &Make<CNVTRXApplet>},
    {OLESTR("NorvList"),        &Make<CNVTRXList>},
    {OLESTR("NorvText"),        &Make<CNVTRXText>},
    {OLESTR("NorvTextArea"),    &Make<CNVTRXTextArea>},
    {OLESTR("NorvRichText"),    &Make<CNVTRXRichText>},
    {OLESTR("NorvCheckbox"),    &Make<CNVTRXCheckbox>},
    {OLESTR("NorvRadioGroup"),  &Make<CNVTRXRadioGroup>},
    {OLESTR("NorvPicklist"),    &Make<CNVTRXPicklist>},
    {OLESTR("NorvButton"),      &Make<CNVTRXButton>},
    {OLESTR("NorvCalendar"),    &Make<CNVTRXCalendar>},
    {OLESTR("NorvCalculator"),  &Make<CNVTRXCalculator>},
    {OLESTR("NorvCurrency"),    &Make<CNVTRXCurrency>},
    {OLESTR("NorvMenu"),        &Make<CNVTRXMenu>},
    {OLESTR("NorvToolbar"),     &Make<CNVTRXToolbar>},
    {OLESTR("NorvTaskAssistant"),         &Make<CNVTRXTaskAssistant>},
    {OLESTR("NorvTaskUIPane"),            &Make<CNVTRXTaskUIPane>},
    {OLESTR("NorvTaskLink"),              &Make<CNVTRXTaskUIPaneLink>},
    {OLESTR("NorvCommunicationsToolbar"), &Make<CNVTRXCommunicationsToolbar>},
    {OLESTR("NorvThreadbar"),   &Make<CNVTRXThreadbar>},
    {OLESTR("NorvPDQ"),         &Make<CNVTRXPDQ>},
    {OLESTR("NorvTree"),        &Make<CNVTRXTree>},
    {OLESTR("NorvAlphaTabs"),   &Make<CNVTRXAlphaTab>},
};
// clang-format on

std::map<TrxString, TrxClassFactory>& Substitutes() {
  static std::map<TrxString, TrxClassFactory> substitutes;
  return substitutes;
}

}  // namespace

TrxClassFactory TrxFindClass(TrxStringView className) {
  const auto substitute = Substitutes().find(TrxString(className));
  if (substitute != Substitutes().end()) return substitute->second;
  for (const ClassEntry& entry : kClasses)
    if (entry.factory && className == entry.className) return entry.factory;
  return nullptr;
}

TRXRESULT TrxCreateChild(CNVTRXAutomation* parent, std::span<const TrxChildClass> allowed, TrxStringView className,
                         TrxStringView repositoryName, CNVTRXAutomation** ppChild, std::source_location where) {
  if (ppChild) *ppChild = nullptr;
  TrxClassFactory factory;
  for (const TrxChildClass& entry : allowed)
    if (className == entry.className) factory = TrxFindClass(entry.listedAs);
  if (!factory) {
    CNVTRXLogRecord(where.file_name(), static_cast<int>(where.line()), TRXLOG_USERERR, parent)
        .ReportUserError(TRX_E_CREATE_OBJECT, repositoryName, className);
    return TRX_E_CREATE_OBJECT;
  }
  CNVTRXAutomation* child = factory(repositoryName, parent);
  if (ppChild) *ppChild = child;
  const CNVTRXServiceState* state = CNVTRXServiceState::Current();
  return state ? state->LastError().GetCode() : TRX_OK;
}

void TrxSubstituteClass(TrxStringView className, TrxClassFactory factory) {
  Substitutes()[TrxString(className)] = std::move(factory);
}

void TrxRestoreClasses() { Substitutes().clear(); }
