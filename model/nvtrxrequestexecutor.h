// The request executor: one worker thread per process that makes every
// INVAutomation::HandleAutoRequest call, in its own single-threaded
// apartment, on a host object marshalled to it.
//
// The caller (the service's apartment thread, in NWEInvoke) and the worker
// share one request block. Hand-over: the caller writes the block only after
// it has seen the done event signalled, then resets the done event and sets
// the request event; the worker reads the block after the request event and
// writes its results before it sets the done event; the caller reads them
// after it has seen the done event. The host's idle signal is the named
// manual-reset event "NWEAutoSynchroEvt".
#pragma once

#include <atomic>

#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

class CNVTRXRequestExecutor {
 public:
  // Outcome of the last request as the worker saw it.
  static constexpr LONG kDone = 0;
  static constexpr LONG kUnmarshalFailed = -5;
  static constexpr LONG kHostFailed = -6;
  static constexpr LONG kException = -1;
  static constexpr LONG kNotRun = -1023;

  static constexpr DWORD kBlockingGuardWait = 5000;  // a previous request still running
  static constexpr DWORD kHandOverWait = 1000;       // a request to come back
  static constexpr int kAttempts = 5;
  static constexpr DWORD kRetryPause = 166;

  // Set up by the first automation object, shut down by the last.
  static void SetUp();
  static void ShutDown();
  // The executor while one is set up, else nullptr.
  static CNVTRXRequestExecutor* Instance() noexcept;
  // Milliseconds slept after each request (TRXCUSHIONDELAY, read at set-up).
  static DWORD GetCushionDelay() noexcept;
  // Number of worker threads running in the process (diagnostics).
  static LONG GetRunningWorkers() noexcept;
  // The host is going away: release any waiter on the idle signal and
  // forget the outcome of the last request.
  static void MarkUnloaded();

  HANDLE GetSyncEvent() const noexcept { return m_syncEvent.Get(); }
  bool HasWorker() const noexcept { return m_thread.IsValid(); }

  // ---- used by NWEInvoke on the calling thread ----
  // Waits for the worker to be free; false when it is still busy after `wait`.
  bool WaitUntilFree(DWORD wait) const;
  // Hands a request to the worker: `stream` carries the marshalled host
  // object and is consumed by the worker. Returns whether the worker came
  // back within `wait`.
  bool Submit(LONG requestId, const VARIANT& args, IStream* stream, DWORD wait);
  HRESULT GetHostStatus() const noexcept { return m_hostStatus; }
  LONG GetThreadStatus() const noexcept { return m_threadStatus; }

 private:
  CNVTRXRequestExecutor() = default;
  static DWORD WINAPI WorkerThread(LPVOID param);
  void WorkerLoop();
  void RunRequest();

  IStream* m_pStream = nullptr;
  DWORD m_threadId = 0;
  TrxHandle m_thread;
  TrxHandle m_requestEvent;
  TrxHandle m_doneEvent;
  TrxHandle m_syncEvent;
  LONG m_requestId = 0;
  TrxVariant m_args;
  HRESULT m_hostStatus = S_OK;
  LONG m_threadStatus = kNotRun;
  std::atomic<LONG> m_quit{0};
};
