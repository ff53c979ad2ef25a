// The launch notifier: tells an external tool, registered in the registry
// by the class id of its notification object, that a client page is ready
// (Init with the browser's window handle and the service's class id) and
// that the client unloads (Destroy).
//
// The notifications run on a thread of their own (TRXNotifierThread) so a
// slow or missing tool never blocks the client's calls. The facade starts
// the thread when a page is ready and stops it when the client unloads; a
// new start first stops the running thread (a Destroy goes out before the
// next Init). While the thread runs, a tool may signal the named event
// "NorvikTRXNotify" to have Init sent again.
//
// The thread and the facade share one block per run: the window handle,
// the class id text and the stop and done events. The block is counted, so
// neither side closes an event the other may still wait on, and a stop
// signalled right after the start is never lost.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/trxplatform.h"

// Where the tool registers: the first subkey's name is its class id.
inline constexpr OLECHAR kTrxNotifierKey[] = OLESTR("SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier");
// The event a tool signals to be sent Init again.
inline constexpr OLECHAR kTrxNotifyEventName[] = OLESTR("NorvikTRXNotify");

class CNVTRXLaunchNotifier {
 public:
  CNVTRXLaunchNotifier() = default;
  // Stops a running thread and gives it a few seconds to end.
  ~CNVTRXLaunchNotifier();
  CNVTRXLaunchNotifier(const CNVTRXLaunchNotifier&) = delete;
  CNVTRXLaunchNotifier& operator=(const CNVTRXLaunchNotifier&) = delete;

  // Stops a running thread (waiting up to 30 s for its Destroy), then starts
  // a new one that notifies `window` and `serviceClassId`.
  void Start(DWORD window, TrxStringView serviceClassId);
  // Signals a running thread to stop and waits up to 1 s for its Destroy.
  // The thread is forgotten either way.
  void Stop();

  // A thread is recorded (started and not yet stopped).
  bool HasThread() const noexcept { return m_thread.IsValid(); }
  DWORD GetThreadId() const noexcept { return m_threadId; }
  // What the running (or last) thread was given.
  DWORD GetWindow() const noexcept { return m_window; }
  const TrxString& GetServiceClassId() const noexcept { return m_serviceClassId; }

  // Notifier threads running in the process.
  static LONG GetRunningCount() noexcept;

  struct Block;

 private:
  // Signals the recorded thread to stop if it still runs, waits for its
  // done event up to `milliseconds`, then forgets it.
  void StopThread(DWORD milliseconds);

  std::shared_ptr<Block> m_block;
  TrxHandle m_thread;
  std::vector<TrxHandle> m_stoppedThreads;  // stopped, perhaps not yet ended
  DWORD m_threadId = 0;
  DWORD m_window = 0;
  TrxString m_serviceClassId;
};
