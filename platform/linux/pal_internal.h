// Private plumbing shared by the kernel, user and COM parts of the Linux
// layer: text conversion, the handle table, per-thread state and the one
// wait engine that events, mutexes, threads and message queues all use.
//
// Locking: syncLock() guards every waitable object's state, wait records,
// message queues, windows and window classes. The handle table and the name
// table have locks of their own; syncLock() may be taken while holding the
// name table's lock, never the other way round. Object destructors take no
// lock at all, so dropping a reference is safe anywhere.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "pal_kernel.h"
#include "pal_user.h"

namespace pal {

// ---- text ------------------------------------------------------------------------------
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD. A null pointer gives "".
std::string narrow(const char16_t* text, size_t length);
std::string narrow(const char16_t* text);
// UTF-8 to UTF-16; each byte of an invalid sequence becomes U+FFFD.
std::u16string widen(std::string_view text);
size_t length16(const char16_t* text);
// Copies text plus terminator into buffer if it fits (size in units).
// Returns the length without terminator, or the size needed including it.
DWORD copyOut(const std::u16string& text, LPWSTR buffer, DWORD size);

// Serialises the process environment (getenv/setenv/unsetenv, and tzset,
// which reads TZ).
std::mutex& envLock();

// ---- objects ----------------------------------------------------------------------------
enum class Kind { Event, Mutex, Thread, File };

struct ThreadState;
struct WaitRecord;

struct KernelObject : std::enable_shared_from_this<KernelObject> {
  explicit KernelObject(Kind k) : kind(k) {}
  virtual ~KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  const Kind kind;
};

// Something a thread can wait for. All state is guarded by syncLock().
struct Waitable : KernelObject {
  using KernelObject::KernelObject;
  std::vector<WaitRecord*> waiters;
  // Whether a wait by thread t would be satisfied now.
  virtual bool signaledFor(const ThreadState* t) const = 0;
  // Consumes the signal for t (only after signaledFor(t)); returns true if
  // the acquisition reports an abandoned mutex.
  virtual bool acquire(ThreadState* t) = 0;
};

struct EventObject final : Waitable {
  EventObject(bool manual, bool initial) : Waitable(Kind::Event), manualReset(manual), signaled(initial) {}
  bool signaledFor(const ThreadState*) const override { return signaled; }
  bool acquire(ThreadState*) override {
    if (!manualReset) signaled = false;
    return false;
  }
  const bool manualReset;
  bool signaled;
};

struct MutexObject final : Waitable {
  MutexObject() : Waitable(Kind::Mutex) {}
  bool signaledFor(const ThreadState* t) const override { return owner == nullptr || owner == t; }
  bool acquire(ThreadState* t) override;
  ThreadState* owner = nullptr;
  unsigned long recursion = 0;
  bool abandoned = false;
};

struct ThreadObject final : Waitable {
  ThreadObject() : Waitable(Kind::Thread) {}
  bool signaledFor(const ThreadState*) const override { return ended; }
  bool acquire(ThreadState*) override { return false; }
  DWORD tid = 0;
  bool ended = false;
  DWORD exitCode = 0;
};

std::mutex& syncLock();

// ---- handle table ---------------------------------------------------------------------
// Adds a handle to obj with the given rights.
HANDLE addHandle(std::shared_ptr<KernelObject> obj, DWORD access);
// The object behind h (the current-thread pseudo handle included) and the
// handle's rights; null if h is not a handle.
std::shared_ptr<KernelObject> findHandle(HANDLE h, DWORD* access = nullptr);
// Maps generic rights (GENERIC_READ ...) to the kind's specific rights.
DWORD mapGenericAccess(Kind kind, DWORD access);
// findHandle restricted to one kind. Sets ERROR_INVALID_HANDLE (not a handle
// or another kind) or ERROR_ACCESS_DENIED (none of the rights in anyOf) and
// returns null on failure. anyOf 0 checks no rights.
template <class T>
std::shared_ptr<T> findHandleAs(HANDLE h, Kind kind, DWORD anyOf) {
  DWORD access = 0;
  std::shared_ptr<KernelObject> obj = findHandle(h, &access);
  if (!obj || obj->kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (anyOf != 0 && (access & anyOf) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return std::static_pointer_cast<T>(obj);
}

// ---- threads -------------------------------------------------------------------------
struct MessageQueue;

// Per-thread state, created on first use and torn down at thread exit
// (queue and windows destroyed, owned mutexes abandoned, thread object
// signalled, in that order).
struct ThreadState {
  DWORD tid = 0;
  std::vector<std::shared_ptr<MutexObject>> ownedMutexes;  // syncLock
  std::shared_ptr<ThreadObject> self;                      // syncLock
  std::unique_ptr<MessageQueue> queue;                     // created by the user part
};
ThreadState& currentThread();
// The calling thread's thread object (created for threads not started by
// CreateThread).
std::shared_ptr<ThreadObject> currentThreadObject();

// ---- waits ---------------------------------------------------------------------------
struct SentMessage;

// One wait in progress. Lives on the waiting thread's stack; other threads
// complete it (under syncLock) by performing the acquisition on its behalf.
struct WaitRecord {
  ThreadState* thread = nullptr;
  std::vector<std::shared_ptr<Waitable>> objects;
  bool waitAll = false;
  // Pumping waits: the caller's queue; sent messages are processed while
  // waiting and before returning.
  MessageQueue* queue = nullptr;
  DWORD wakeMask = 0;            // queue input that completes the wait
  bool inputAvailable = false;   // already-queued input counts too
  SentMessage* reply = nullptr;  // completes when this sent message is answered
  bool satisfied = false;
  bool sentWake = false;
  DWORD result = 0;
  std::condition_variable cv;
};

// Under syncLock: completes w now if it can (acquiring objects for it).
bool trySatisfy(WaitRecord& w);
// Under syncLock: after obj's state changed, completes whatever waits can be.
void recheckWaiters(Waitable& obj);
// Under syncLock: after queue q changed.
void recheckQueue(MessageQueue& q);
// Runs a wait (without syncLock held). Returns WAIT_OBJECT_0+i,
// WAIT_ABANDONED_0+i, WAIT_OBJECT_0+objects.size() for queue input or a reply,
// or WAIT_TIMEOUT.
DWORD runWait(WaitRecord& w, DWORD milliseconds);
// Resolves wait handles into w.objects (each needs SYNCHRONIZE); false with
// the last error set (ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED) on failure.
bool collectWaitables(WaitRecord& w, DWORD nCount, const HANDLE* handles);

// ---- user ----------------------------------------------------------------------------
struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  bool done = false;
  LRESULT result = 0;
  WaitRecord* senderWait = nullptr;
};

struct MessageQueue {
  DWORD tid = 0;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  DWORD wakeBits = 0;     // kinds of input present
  DWORD changedBits = 0;  // kinds that arrived since the thread last looked
  WaitRecord* waiter = nullptr;
};

// The calling thread's queue, created if needed.
MessageQueue& ensureQueue();
// Without syncLock: runs the window procedures of q's pending sent messages
// (q must be the calling thread's queue).
void processSentMessages(MessageQueue& q);
// Under syncLock: answers a sent message and wakes its sender.
void completeSent(SentMessage& m, LRESULT result);
// Under syncLock: drops hwnd's posted messages and answers its sent ones with 0.
void purgeWindowMessages(MessageQueue& q, HWND hwnd);
// Thread exit: destroys the calling thread's windows (pal_window.cpp) and
// queue (pal_message.cpp).
void destroyThreadWindows(DWORD tid);
void destroyThreadQueue(ThreadState& t);

// Under syncLock: the queue of thread tid, null if it has none.
MessageQueue* queueOfThread(DWORD tid);

// Windows (pal_window.cpp). Under syncLock: the owner thread id and window
// procedure of hwnd; false if hwnd is not a window.
bool windowInfo(HWND hwnd, DWORD* ownerTid, WNDPROC* proc);

}  // namespace pal
