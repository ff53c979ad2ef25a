// Busy and idle of the simulated client: the named manual-reset event
// "NWEAutoSynchroEvt", signalled while nothing keeps the client busy and
// reset otherwise.
//
// The client is busy while a request is being processed, while it is held
// busy, during a busy period after a request, and while a posted echo has
// neither run nor been let go (at most until its deadline). A timer thread,
// started when the first period with an end is set, signals the event when
// the last such period ends. It has its own lock.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/trxplatform.h"

class CNVSimIdle {
 public:
  // Opens or creates the event; the client starts idle.
  CNVSimIdle();
  // Stops the timer thread.
  ~CNVSimIdle();
  CNVSimIdle(const CNVSimIdle&) = delete;
  CNVSimIdle& operator=(const CNVSimIdle&) = delete;

  HANDLE GetEvent() const noexcept { return m_event.Get(); }
  bool IsIdle() const;
  // Sets the event again if the client is idle (the service shares the
  // event and may have reset it).
  void Update();
  // Holds the client busy until released.
  void SetHeld(bool busy);

  void BeginRequest();
  // The request ended; the client stays busy `busyAfter` ms longer.
  void EndRequest(DWORD busyAfter);
  // An echo was posted: busy until EndEcho, at most `maxWait` ms.
  void BeginEcho(DWORD maxWait);
  // The echo has run or was let go.
  void EndEcho();

 private:
  void UpdateLocked();
  // Wakes the timer for a new end of a busy period.
  void ScheduleLocked();
  void TimerLoop();

  TrxHandle m_event;
  mutable std::mutex m_lock;
  LONG m_activeRequests = 0;
  bool m_held = false;
  ULONGLONG m_busyUntil = 0;
  LONG m_pendingEchoes = 0;      // posted and not yet run or let go
  ULONGLONG m_echoDeadline = 0;  // until when they keep the client busy

  std::condition_variable m_timerChanged;
  bool m_timerStop = false;
  std::thread m_timer;
};
