// Events, mutexes, the wait engine and critical sections.
#include <algorithm>
#include <chrono>
#include <new>
#include <optional>
#include <unordered_map>

#include "pal_internal.h"

namespace pal {

std::mutex& syncLock() {
  static std::mutex* instance = new std::mutex;  // never destroyed (see handle table)
  return *instance;
}

bool MutexObject::acquire(ThreadState* t) {
  if (owner == t) {
    ++recursion;
    return false;
  }
  owner = t;
  recursion = 1;
  t->ownedMutexes.push_back(std::static_pointer_cast<MutexObject>(shared_from_this()));
  bool wasAbandoned = abandoned;
  abandoned = false;
  return wasAbandoned;
}

bool trySatisfy(WaitRecord& w) {
  if (w.satisfied) return true;
  const DWORD count = static_cast<DWORD>(w.objects.size());
  if (w.waitAll) {
    bool all = count > 0;
    for (const auto& obj : w.objects) {
      if (!obj->signaledFor(w.thread)) {
        all = false;
        break;
      }
    }
    if (all) {
      DWORD firstAbandoned = count;
      for (DWORD i = 0; i < count; ++i) {
        if (w.objects[i]->acquire(w.thread) && firstAbandoned == count) firstAbandoned = i;
      }
      w.result = firstAbandoned == count ? WAIT_OBJECT_0 : WAIT_ABANDONED_0 + firstAbandoned;
      w.satisfied = true;
      return true;
    }
  } else {
    for (DWORD i = 0; i < count; ++i) {
      if (w.objects[i]->signaledFor(w.thread)) {
        bool abandoned = w.objects[i]->acquire(w.thread);
        w.result = (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
        w.satisfied = true;
        return true;
      }
    }
  }
  if (w.queue && w.wakeMask) {
    DWORD bits = w.queue->changedBits | (w.inputAvailable ? w.queue->wakeBits : 0);
    if (bits & w.wakeMask) {
      w.result = WAIT_OBJECT_0 + count;
      w.satisfied = true;
      return true;
    }
  }
  if (w.reply && w.reply->done) {
    w.result = WAIT_OBJECT_0 + count;
    w.satisfied = true;
    return true;
  }
  return false;
}

void recheckWaiters(Waitable& obj) {
  // Oldest waiter first, so an auto-reset event or a mutex goes to the
  // thread that has waited longest among those it can satisfy.
  for (WaitRecord* w : obj.waiters) {
    if (!w->satisfied && trySatisfy(*w)) w->cv.notify_one();
  }
}

void recheckQueue(MessageQueue& q) {
  WaitRecord* w = q.waiter;
  if (!w || w->satisfied) return;
  if (trySatisfy(*w)) {
    w->cv.notify_one();
  } else if (!q.sent.empty()) {
    w->sentWake = true;
    w->cv.notify_one();
  }
}

namespace {

void registerWait(WaitRecord& w) {
  for (auto& obj : w.objects) obj->waiters.push_back(&w);
  if (w.queue) w.queue->waiter = &w;
  if (w.reply) w.reply->senderWait = &w;
}

void unregisterWait(WaitRecord& w) {
  for (auto& obj : w.objects) {
    auto& list = obj->waiters;
    list.erase(std::find(list.begin(), list.end(), &w));
  }
  if (w.queue) w.queue->waiter = nullptr;
  if (w.reply) w.reply->senderWait = nullptr;
}

}  // namespace

DWORD runWait(WaitRecord& w, DWORD milliseconds) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  if (milliseconds != INFINITE) deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    if (w.queue) processSentMessages(*w.queue);
    std::unique_lock<std::mutex> lock(syncLock());
    if (trySatisfy(w)) {
      result = w.result;
      break;
    }
    if (w.queue && !w.queue->sent.empty()) continue;  // arrived meanwhile: process first
    if (deadline && Clock::now() >= *deadline) break;
    w.sentWake = false;
    registerWait(w);
    bool timedOut = false;
    while (!w.satisfied && !w.sentWake && !timedOut) {
      if (deadline) {
        timedOut = w.cv.wait_until(lock, *deadline) == std::cv_status::timeout;
      } else {
        w.cv.wait(lock);
      }
    }
    unregisterWait(w);
    if (w.satisfied) {
      result = w.result;
      break;
    }
    if (!w.sentWake) break;  // timed out
  }
  if (w.queue) processSentMessages(*w.queue);
  return result;
}

bool collectWaitables(WaitRecord& w, DWORD nCount, const HANDLE* handles) {
  w.objects.reserve(nCount);
  for (DWORD i = 0; i < nCount; ++i) {
    DWORD access = 0;
    std::shared_ptr<KernelObject> obj = findHandle(handles[i], &access);
    if (!obj || obj->kind == Kind::File) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if ((access & SYNCHRONIZE) == 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    w.objects.push_back(std::static_pointer_cast<Waitable>(obj));
  }
  return true;
}

namespace {

// ---- named objects ----------------------------------------------------------------------
struct NameTable {
  std::mutex lock;
  std::unordered_map<std::u16string, std::weak_ptr<Waitable>> objects;
  size_t sweepAt = 64;
};

NameTable& names() {
  static NameTable* instance = new NameTable;
  return *instance;
}

// Forgets names whose objects are gone, once the table has doubled.
void sweepNames(NameTable& t) {
  if (t.objects.size() < t.sweepAt) return;
  std::erase_if(t.objects, [](const auto& entry) { return entry.second.expired(); });
  t.sweepAt = std::max<size_t>(64, t.objects.size() * 2);
}

// Creates (or, when named and present, opens) an event or mutex.
template <class T, class Make>
HANDLE createNamed(Kind kind, LPCWSTR lpName, DWORD allAccess, Make make) {
  if (lpName == nullptr || lpName[0] == 0) {
    std::shared_ptr<T> obj = make();
    SetLastError(ERROR_SUCCESS);
    return addHandle(std::move(obj), allAccess);
  }
  std::u16string name(lpName);
  std::shared_ptr<Waitable> existing;  // released after the lock
  std::shared_ptr<T> created;
  {
    NameTable& t = names();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(name);
    if (it != t.objects.end()) existing = it->second.lock();
    if (!existing) {
      created = make();
      sweepNames(t);
      t.objects[name] = created;
    }
  }
  if (existing) {
    if (existing->kind != kind) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    HANDLE h = addHandle(std::move(existing), allAccess);
    SetLastError(ERROR_ALREADY_EXISTS);
    return h;
  }
  SetLastError(ERROR_SUCCESS);
  return addHandle(std::move(created), allAccess);
}

HANDLE openNamed(Kind kind, DWORD access, LPCWSTR lpName) {
  if (lpName == nullptr || lpName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::shared_ptr<Waitable> existing;
  {
    NameTable& t = names();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(std::u16string(lpName));
    if (it != t.objects.end()) existing = it->second.lock();
  }
  if (!existing) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (existing->kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return addHandle(std::move(existing), mapGenericAccess(kind, access));
}

struct CriticalSectionLock {
  std::recursive_mutex mutex;
};
static_assert(sizeof(CriticalSectionLock) <= sizeof(CRITICAL_SECTION::Opaque));
static_assert(alignof(CriticalSectionLock) <= 16);

std::recursive_mutex& sectionMutex(LPCRITICAL_SECTION cs) {
  return std::launder(reinterpret_cast<CriticalSectionLock*>(cs->Opaque))->mutex;
}

}  // namespace
}  // namespace pal

using namespace pal;

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  return createNamed<EventObject>(Kind::Event, lpName, EVENT_ALL_ACCESS, [&] {
    return std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE);
  });
}

HANDLE WINAPI OpenEventW(DWORD dwDesiredAccess, BOOL, LPCWSTR lpName) {
  return openNamed(Kind::Event, dwDesiredAccess, lpName);
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  auto event = findHandleAs<EventObject>(hEvent, Kind::Event, EVENT_MODIFY_STATE);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> guard(syncLock());
  event->signaled = true;
  recheckWaiters(*event);
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  auto event = findHandleAs<EventObject>(hEvent, Kind::Event, EVENT_MODIFY_STATE);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> guard(syncLock());
  event->signaled = false;
  return TRUE;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
  return createNamed<MutexObject>(Kind::Mutex, lpName, MUTEX_ALL_ACCESS, [&] {
    auto mutex = std::make_shared<MutexObject>();
    if (bInitialOwner) {
      ThreadState& self = currentThread();
      std::lock_guard<std::mutex> guard(syncLock());
      mutex->acquire(&self);
    }
    return mutex;
  });
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  auto mutex = findHandleAs<MutexObject>(hMutex, Kind::Mutex, 0);
  if (!mutex) return FALSE;
  ThreadState& self = currentThread();
  std::shared_ptr<MutexObject> released;  // dropped after the lock
  std::lock_guard<std::mutex> guard(syncLock());
  if (mutex->owner != &self) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--mutex->recursion == 0) {
    mutex->owner = nullptr;
    auto& owned = self.ownedMutexes;
    auto it = std::find(owned.begin(), owned.end(), mutex);
    released = std::move(*it);
    owned.erase(it);
    recheckWaiters(*mutex);
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  WaitRecord w;
  w.thread = &currentThread();
  w.waitAll = bWaitAll != FALSE;
  if (!collectWaitables(w, nCount, lpHandles)) return WAIT_FAILED;
  if (w.waitAll) {
    for (DWORD i = 0; i < nCount; ++i) {
      for (DWORD j = i + 1; j < nCount; ++j) {
        if (w.objects[i] == w.objects[j]) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
      }
    }
  }
  return runWait(w, dwMilliseconds);
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  lpCriticalSection->SpinCount = 0;
  new (lpCriticalSection->Opaque) CriticalSectionLock;
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount) {
  InitializeCriticalSection(lpCriticalSection);
  lpCriticalSection->SpinCount = dwSpinCount;
  return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) { sectionMutex(lpCriticalSection).lock(); }

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  return sectionMutex(lpCriticalSection).try_lock() ? TRUE : FALSE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) { sectionMutex(lpCriticalSection).unlock(); }

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  std::launder(reinterpret_cast<CriticalSectionLock*>(lpCriticalSection->Opaque))->~CriticalSectionLock();
}
