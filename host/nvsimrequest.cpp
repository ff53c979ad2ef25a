#include "host/nvsimrequest.h"

#include <algorithm>

#include "host/nvsimapplication.h"
#include "host/nvsimcallwindow.h"
#include "model/nvtrxarray.h"

namespace {

// The parameter as the service's traces write it.
TrxString ArgumentText(const VARIANT& parameter, const std::vector<TrxString>& texts) {
  CNVTRXArray table(&parameter);
  if (table.GetCount() > 0 || texts.empty()) return table.ToText();
  return OLESTR("(") + texts.front() + OLESTR(")");
}

}  // namespace

std::vector<TrxString> CNVSimRequest::ArgumentTexts(const VARIANT* parameter) {
  std::vector<TrxString> texts;
  if (!parameter) return texts;
  const VARIANT* v = parameter;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  if (v->vt == VT_EMPTY || v->vt == VT_NULL) return texts;
  if (v->vt & VT_ARRAY) {
    CNVTRXArray table(v);
    const LONG count = table.GetCount();
    for (LONG i = 0; i < count; ++i) texts.push_back(CNVSimValue::VariantText(table.GetAt(i, 0)));
    return texts;
  }
  texts.push_back(CNVSimValue::VariantText(*v));
  return texts;
}

CNVSimRequest::CNVSimRequest(CNVSimApplication& application, CNVSimObject& object, LONG request,
                             const VARIANT& parameter)
    : m_application(application),
      m_object(object),
      m_request(request),
      m_arguments(ArgumentTexts(&parameter)),
      m_argumentText(ArgumentText(parameter, m_arguments)),
      m_started(GetTickCount64()) {}

HRESULT CNVSimRequest::Run() {
  Arrive();
  Wait();
  if (const HWND window = End()) Echo(window);
  return m_result.status;
}

void CNVSimRequest::Arrive() {
  CNVSimApplication& app = m_application;
  TrxLock lock(app.m_lock);
  app.m_idle.BeginRequest();
  app.m_lastErrorCode = 0;
  app.m_lastErrorText.clear();
  m_echoAsked = app.m_recorderOn;
  m_faults = app.m_faults.TakeRequestFaults();
  if (!m_faults.injected) m_rule = app.FindRuleLocked(m_object, m_request, m_arguments);
  // A rule's timing actions add to the injected ones.
  for (size_t i = 0; m_rule && i < m_rule->actions.size(); ++i) {
    const CNVSimAction& action = m_rule->actions[i];
    if (action.kind == CNVSimAction::Kind::Delay) m_faults.delay += action.milliseconds;
    if (action.kind == CNVSimAction::Kind::Busy) m_faults.busyAfter = std::max(m_faults.busyAfter, action.milliseconds);
    if (action.kind == CNVSimAction::Kind::Hang) m_faults.hang = true;
  }
  // Journalled last: whoever sees the request in the journal finds the
  // client busy with it.
  const CNVSimObjectDef& def = app.Def(m_object.GetIndex());
  CNVSimRequestRecord record;
  record.requestId = m_request;
  record.object = def.path;
  record.objectType = def.type;
  record.arguments = m_arguments;
  record.argumentText = m_argumentText;
  record.operationId = app.m_operationId;
  record.threadId = GetCurrentThreadId();
  m_record = app.m_journal.Add(std::move(record));
}

void CNVSimRequest::Wait() const {
  if (m_faults.hang) m_application.m_faults.Hang();
  if (m_faults.delay) Sleep(m_faults.delay);
}

HWND CNVSimRequest::End() {
  CNVSimApplication& app = m_application;
  TrxLock lock(app.m_lock);
  m_result = m_faults.failure;
  if (!m_faults.injected) m_result = app.ApplyListRequestLocked(m_object, m_request, m_arguments, false);
  if (m_rule && SUCCEEDED(m_result.status) && m_result.code == 0)
    m_result = app.ApplyRuleLocked(m_object, *m_rule, m_request, m_arguments, false);
  app.m_lastErrorCode = m_result.code;
  app.m_lastErrorText = m_result.text;
  app.m_journal.Finish(m_record, m_result.status, m_result.code, m_result.text);
  app.m_lastOperationTime = static_cast<LONG>(std::min<ULONGLONG>(GetTickCount64() - m_started, 0x7FFFFFFF));
  // A request that failed, or was processed and reports an error, is not
  // echoed.
  const bool echo =
      SUCCEEDED(m_result.status) && m_result.code == 0 && app.m_eventWindow && m_echoAsked && app.m_recorderOn;
  // The echo keeps the client busy from here, before the request ends, so
  // that whoever waits for idle also waits for the echo.
  if (echo) app.m_idle.BeginEcho(CNVSimApplication::kEchoWait);
  app.m_idle.EndRequest(m_faults.busyAfter);
  return echo ? app.m_eventWindow : nullptr;
}

void CNVSimRequest::Echo(HWND window) const {
  CNVSimUserAction echo;
  echo.eventId = m_request;
  for (size_t i = 0; i < m_arguments.size(); ++i)
    echo.arguments.emplace_back(TrxDecimal(static_cast<LONG>(i)), m_arguments[i]);
  echo.applyRules = false;
  const LONG index = m_object.GetIndex();
  TrxComPtr<CNVSimApplication> app(&m_application);
  // Posted without the lock: a post to a window that is gone completes
  // (and ends the echo) at once.
  CNVSimCallWindow::Post(
      window, [app, index, echo = std::move(echo)] { return app->PlayObject(index, echo); },
      [app](HRESULT) { app->m_idle.EndEcho(); });
}
