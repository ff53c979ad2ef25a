#include "host/nvsimcall.h"

CNVSimCall::CNVSimCall(std::function<HRESULT()> work)
    : m_work(std::move(work)), m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CNVSimCall::CNVSimCall(std::function<HRESULT()> work, std::function<void(HRESULT)> completed)
    : m_work(std::move(work)), m_completed(std::move(completed)), m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void CNVSimCall::Run() {
  if (m_taken.exchange(true)) return;
  m_threadId.store(GetCurrentThreadId());
  HRESULT status = E_UNEXPECTED;
  if (m_work) status = m_work();
  m_work = nullptr;
  Complete(status);
}

void CNVSimCall::Abort(HRESULT status) {
  if (m_taken.exchange(true)) return;
  m_work = nullptr;
  Complete(status);
}

void CNVSimCall::Complete(HRESULT status) {
  m_result.store(status);
  // Only the thread that took the call gets here, once.
  std::function<void(HRESULT)> completed = std::move(m_completed);
  m_completed = nullptr;
  if (completed) completed(status);
  SetEvent(m_done.Get());
}

bool CNVSimCall::Wait(DWORD milliseconds) const {
  return WaitForSingleObject(m_done.Get(), milliseconds) == WAIT_OBJECT_0;
}

bool CNVSimCall::IsDone() const { return Wait(0); }
