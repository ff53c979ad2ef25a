// Threads, per-thread state, last error and sleeping.
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <system_error>
#include <thread>

#include "pal_internal.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;
thread_local DWORD t_threadId = 0;
thread_local pal::ThreadState* t_state = nullptr;

// Tears the thread's state down when the thread ends.
struct ThreadReaper {
  ~ThreadReaper();
  void arm() {}
};
thread_local ThreadReaper t_reaper;

void threadExit(pal::ThreadState& t) {
  using namespace pal;
  destroyThreadQueue(t);
  std::vector<std::shared_ptr<MutexObject>> owned;  // dropped after the lock
  std::shared_ptr<ThreadObject> self;
  std::lock_guard<std::mutex> guard(syncLock());
  owned.swap(t.ownedMutexes);
  for (auto& mutex : owned) {
    mutex->owner = nullptr;
    mutex->recursion = 0;
    mutex->abandoned = true;
    recheckWaiters(*mutex);
  }
  self.swap(t.self);
  if (self) {
    self->ended = true;
    recheckWaiters(*self);
  }
}

ThreadReaper::~ThreadReaper() {
  if (t_state) {
    threadExit(*t_state);
    delete t_state;
    t_state = nullptr;
  }
}

}  // namespace

namespace pal {

ThreadState& currentThread() {
  if (!t_state) {
    t_reaper.arm();
    t_state = new ThreadState;
    t_state->tid = GetCurrentThreadId();
  }
  return *t_state;
}

std::shared_ptr<ThreadObject> currentThreadObject() {
  ThreadState& t = currentThread();
  std::lock_guard<std::mutex> guard(syncLock());
  if (!t.self) {
    t.self = std::make_shared<ThreadObject>();
    t.self->tid = t.tid;
  }
  return t.self;
}

}  // namespace pal

using namespace pal;

DWORD WINAPI GetLastError() { return t_lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

DWORD WINAPI GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = static_cast<DWORD>(gettid());
  return t_threadId;
}

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE WINAPI GetCurrentThread() { return TRX_PSEUDO_THREAD_HANDLE; }

HANDLE WINAPI GetCurrentProcess() { return TRX_PSEUDO_PROCESS_HANDLE; }

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (dwCreationFlags & CREATE_SUSPENDED) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if ((dwCreationFlags & ~STACK_SIZE_PARAM_IS_A_RESERVATION) != 0 || lpStartAddress == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_shared<ThreadObject>();
  std::promise<DWORD> started;
  std::future<DWORD> startedId = started.get_future();
  try {
    std::thread([object, lpStartAddress, lpParameter, started = std::move(started)]() mutable {
      ThreadState& self = currentThread();
      {
        std::lock_guard<std::mutex> guard(syncLock());
        object->tid = self.tid;
        self.self = object;
      }
      started.set_value(self.tid);
      DWORD code = lpStartAddress(lpParameter);
      std::lock_guard<std::mutex> guard(syncLock());
      object->exitCode = code;  // reported once the thread has ended
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  DWORD tid = startedId.get();
  if (lpThreadId) *lpThreadId = tid;
  return addHandle(std::move(object), THREAD_ALL_ACCESS);
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread =
      findHandleAs<ThreadObject>(hThread, Kind::Thread, THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION);
  if (!thread) return FALSE;
  if (lpExitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(syncLock());
  *lpExitCode = thread->ended ? thread->exitCode : STILL_ACTIVE;
  return TRUE;
}

DWORD WINAPI GetThreadId(HANDLE Thread) {
  auto thread = findHandleAs<ThreadObject>(Thread, Kind::Thread, 0);
  if (!thread) return 0;
  std::lock_guard<std::mutex> guard(syncLock());
  return thread->tid;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

BOOL WINAPI SwitchToThread() {
  sched_yield();
  return TRUE;
}
