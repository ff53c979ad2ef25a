#include "host/nvsimidle.h"

#include <algorithm>
#include <chrono>

namespace {

const OLECHAR kIdleEventName[] = OLESTR("NWEAutoSynchroEvt");

}  // namespace

CNVSimIdle::CNVSimIdle() {
  // The service may have made the event already; either way it starts
  // signalled.
  m_event.Attach(CreateEventW(nullptr, TRUE, TRUE, kIdleEventName));
  Update();
}

CNVSimIdle::~CNVSimIdle() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_timerStop = true;
  }
  m_timerChanged.notify_all();
  if (m_timer.joinable()) m_timer.join();
}

bool CNVSimIdle::IsIdle() const { return WaitForSingleObject(m_event.Get(), 0) == WAIT_OBJECT_0; }

void CNVSimIdle::Update() {
  std::lock_guard<std::mutex> lock(m_lock);
  UpdateLocked();
}

void CNVSimIdle::SetHeld(bool busy) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_held = busy;
  UpdateLocked();
}

void CNVSimIdle::BeginRequest() {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_activeRequests;
  UpdateLocked();
}

void CNVSimIdle::EndRequest(DWORD busyAfter) {
  std::lock_guard<std::mutex> lock(m_lock);
  --m_activeRequests;
  if (busyAfter) {
    m_busyUntil = std::max(m_busyUntil, GetTickCount64() + busyAfter);
    ScheduleLocked();
  }
  UpdateLocked();
}

void CNVSimIdle::BeginEcho(DWORD maxWait) {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_pendingEchoes;
  m_echoDeadline = GetTickCount64() + maxWait;
  ScheduleLocked();
  UpdateLocked();
}

void CNVSimIdle::EndEcho() {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_pendingEchoes > 0) --m_pendingEchoes;
  UpdateLocked();
}

void CNVSimIdle::UpdateLocked() {
  const ULONGLONG now = GetTickCount64();
  const bool echoing = m_pendingEchoes > 0 && now < m_echoDeadline;
  const bool idle = m_activeRequests == 0 && !m_held && now >= m_busyUntil && !echoing;
  if (idle) {
    SetEvent(m_event.Get());
  } else {
    ResetEvent(m_event.Get());
  }
}

void CNVSimIdle::ScheduleLocked() {
  if (!m_timer.joinable()) m_timer = std::thread([this] { TimerLoop(); });
  m_timerChanged.notify_all();
}

void CNVSimIdle::TimerLoop() {
  std::unique_lock<std::mutex> lock(m_lock);
  while (!m_timerStop) {
    UpdateLocked();
    // The next end of a busy period or of an echo's wait.
    const ULONGLONG now = GetTickCount64();
    ULONGLONG next = m_busyUntil > now ? m_busyUntil : 0;
    if (m_pendingEchoes > 0 && m_echoDeadline > now && (next == 0 || m_echoDeadline < next)) next = m_echoDeadline;
    if (next == 0) {
      m_timerChanged.wait(lock);
    } else {
      m_timerChanged.wait_for(lock, std::chrono::milliseconds(next - now));
    }
  }
}
