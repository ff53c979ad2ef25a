#include "model/nvtrxrequestexecutor.h"

#include "log/nvtrxassert.h"
#include "log/nvtrxlog.h"
#include "log/nvtrxresult.h"

namespace {
std::atomic<CNVTRXRequestExecutor*> g_executor{nullptr};
std::atomic<DWORD> g_cushionDelay{0};
std::atomic<LONG> g_runningWorkers{0};

// Host statuses that end the attempts at once.
bool EndsAttempts(HRESULT hr) {
  const ULONG status = static_cast<ULONG>(hr);
  return SUCCEEDED(hr) || (status >= 0x8004000Cu && status <= 0x8004000Fu);
}
}  // namespace

CNVTRXRequestExecutor* CNVTRXRequestExecutor::Instance() noexcept { return g_executor.load(); }
DWORD CNVTRXRequestExecutor::GetCushionDelay() noexcept { return g_cushionDelay.load(); }
LONG CNVTRXRequestExecutor::GetRunningWorkers() noexcept { return g_runningWorkers.load(); }

void CNVTRXRequestExecutor::SetUp() {
  OLECHAR buffer[512];
  const DWORD n = GetEnvironmentVariableW(OLESTR("TRXCUSHIONDELAY"), buffer, 512);
  const long delay = (n > 0 && n < 512) ? TrxParseLong(TrxStringView(buffer, n)) : 0;
  g_cushionDelay.store(delay > 0 ? static_cast<DWORD>(delay) : 0);

  CNVTRXRequestExecutor* executor = new CNVTRXRequestExecutor();
  executor->m_requestEvent.Attach(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  executor->m_doneEvent.Attach(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  executor->m_syncEvent.Attach(CreateEventW(nullptr, TRUE, FALSE, OLESTR("NWEAutoSynchroEvt")));
  if (!executor->m_requestEvent || !executor->m_doneEvent || !executor->m_syncEvent) {
    TRX_LOG(TRXLOG_TRXERR).ReportUserError(TRX_E_SYSTEM, TrxFormatText(OLESTR("CreateEvent Win32 error %d"),
                                                                         static_cast<LONG>(GetLastError())));
    TRX_ASSERT(false, "CreateEvent failed for the request executor");
  }
  executor->m_threadStatus = kNotRun;
  executor->m_quit = 0;
  g_executor.store(executor);
  if (!executor->m_requestEvent || !executor->m_doneEvent) return;  // no hand-over possible: no worker
  DWORD threadId = 0;
  executor->m_thread.Attach(CreateThread(nullptr, 0, &CNVTRXRequestExecutor::WorkerThread, executor, 0, &threadId));
  executor->m_threadId = threadId;
  Sleep(10);
}

void CNVTRXRequestExecutor::ShutDown() {
  CNVTRXRequestExecutor* executor = g_executor.exchange(nullptr);
  if (!executor) return;
  executor->m_quit = 1;
  bool ended = true;
  if (executor->m_thread) {
    ResetEvent(executor->m_doneEvent.Get());
    SetEvent(executor->m_requestEvent.Get());
    ended = WaitForSingleObject(executor->m_doneEvent.Get(), kHandOverWait) == WAIT_OBJECT_0;
    if (ended) WaitForSingleObject(executor->m_thread.Get(), kHandOverWait);
  }
  if (ended) {
    delete executor;
  }
  // Otherwise the worker is still inside a host call that never returned.
  // It owns the block until it comes back, so the block and its events are
  // left to it (a small, deliberate leak); with the quit flag set it ends
  // by itself when the call returns.
}

void CNVTRXRequestExecutor::MarkUnloaded() {
  CNVTRXRequestExecutor* executor = g_executor.load();
  if (!executor) return;
  SetEvent(executor->m_syncEvent.Get());
  // Only when no request is in the worker: the block is the worker's while
  // it runs one.
  if (WaitForSingleObject(executor->m_doneEvent.Get(), 0) == WAIT_OBJECT_0) {
    executor->m_hostStatus = S_OK;
    executor->m_threadStatus = kDone;
  }
}

bool CNVTRXRequestExecutor::WaitUntilFree(DWORD wait) const {
  return WaitForSingleObject(m_doneEvent.Get(), wait) == WAIT_OBJECT_0;
}

bool CNVTRXRequestExecutor::Submit(LONG requestId, const VARIANT& args, IStream* stream, DWORD wait) {
  m_args = args;
  m_requestId = requestId;
  m_pStream = stream;
  ResetEvent(m_doneEvent.Get());
  SetEvent(m_requestEvent.Get());
  return WaitForSingleObject(m_doneEvent.Get(), wait) == WAIT_OBJECT_0;
}

DWORD WINAPI CNVTRXRequestExecutor::WorkerThread(LPVOID param) {
  CNVTRXRequestExecutor* executor = static_cast<CNVTRXRequestExecutor*>(param);
  if (++g_runningWorkers != 1)
    TRX_ASSERT(false, "Multiple instances of TRX NWEInvoke threads detected simultaneously running");
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  executor->WorkerLoop();
  if (SUCCEEDED(init)) CoUninitialize();
  --g_runningWorkers;
  SetEvent(executor->m_doneEvent.Get());
  return 0;
}

void CNVTRXRequestExecutor::WorkerLoop() {
  for (;;) {
    if (m_quit) {
      m_threadStatus = kDone;
      return;
    }
    WaitForSingleObject(m_requestEvent.Get(), INFINITE);
    ResetEvent(m_requestEvent.Get());
    if (m_quit) return;
    try {
      RunRequest();
    } catch (...) {
      m_threadStatus = kException;
    }
    if (m_quit) return;
    SetEvent(m_doneEvent.Get());
  }
}

void CNVTRXRequestExecutor::RunRequest() {
  TrxComPtr<INVAutomation> host;
  IStream* stream = m_pStream;
  m_pStream = nullptr;
  m_hostStatus = stream ? CoGetInterfaceAndReleaseStream(stream, IID_INVAutomation, host.PutVoid()) : E_POINTER;
  if (!host || FAILED(m_hostStatus)) {
    m_threadStatus = kUnmarshalFailed;
    return;
  }
  TrxVariant args(m_args);
  TrxVariant result;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    m_hostStatus = host->HandleAutoRequest(static_cast<AUTO_REQID>(m_requestId), args, result.Put());
    if (EndsAttempts(m_hostStatus)) break;
    result.Clear();
    if (attempt + 1 < kAttempts) Sleep(kRetryPause);
  }
  m_threadStatus = SUCCEEDED(m_hostStatus) ? kDone : kHostFailed;
}
