// A call handed to another thread (see CNVSimCallWindow): it runs there
// once, and the poster can wait for it and read its result.
#pragma once

#include <atomic>
#include <functional>

#include "platform/trxplatform.h"

class CNVSimCall {
 public:
  explicit CNVSimCall(std::function<HRESULT()> work);
  // `completed` runs once the call is done, run or aborted, with its
  // result, on the thread that completed it (the window's thread, or the
  // one that aborted the call).
  CNVSimCall(std::function<HRESULT()> work, std::function<void(HRESULT)> completed);
  CNVSimCall(const CNVSimCall&) = delete;
  CNVSimCall& operator=(const CNVSimCall&) = delete;

  // Runs the work on the calling thread (once; later calls do nothing).
  void Run();
  // Completes the call without running it.
  void Abort(HRESULT status);

  // Waits until the call has run or been aborted; false on time-out.
  bool Wait(DWORD milliseconds) const;
  bool IsDone() const;
  // The work's result; E_PENDING until it is done.
  HRESULT GetResult() const noexcept { return m_result.load(); }
  // The thread the work ran on; 0 until it ran.
  DWORD GetThreadId() const noexcept { return m_threadId.load(); }

 private:
  void Complete(HRESULT status);

  std::function<HRESULT()> m_work;
  std::function<void(HRESULT)> m_completed;
  std::atomic<bool> m_taken{false};
  std::atomic<HRESULT> m_result{E_PENDING};
  std::atomic<DWORD> m_threadId{0};
  TrxHandle m_done;
};
