// Per-thread message queues: posting, sending, peeking and message-pumping
// waits.
#include <unordered_map>

#include "pal_internal.h"

namespace pal {
namespace {

constexpr size_t kPostedLimit = 10000;
constexpr DWORD kPostedBits = QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
constexpr DWORD kValidWakeMask = QS_ALLINPUT | QS_ALLPOSTMESSAGE;
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

// Thread id -> queue, under syncLock. Never destroyed.
std::unordered_map<DWORD, MessageQueue*>& queues() {
  static auto* instance = new std::unordered_map<DWORD, MessageQueue*>;
  return *instance;
}

void updateWakeBits(MessageQueue& q) {
  q.wakeBits = (q.posted.empty() ? 0 : kPostedBits) | (q.sent.empty() ? 0 : QS_SENDMESSAGE);
}

void announce(MessageQueue& q, DWORD bits) {
  q.wakeBits |= bits;
  q.changedBits |= bits;
  recheckQueue(q);
}

// Under syncLock.
BOOL postLocked(MessageQueue& q, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (q.posted.size() >= kPostedLimit) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  q.posted.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount(), POINT{0, 0}});
  announce(q, kPostedBits);
  return TRUE;
}

// Under syncLock: a window filter other than NULL and (HWND)-1 must exist.
bool validFilter(HWND filter) {
  if (filter == nullptr || filter == kThreadMessagesOnly) return true;
  if (windowInfo(filter, nullptr, nullptr)) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

// Under syncLock: finds (and with remove, takes) the first posted message
// matching the filters. Looking resets changedBits.
bool takeMessage(MessageQueue& q, LPMSG out, HWND filter, UINT first, UINT last, bool remove) {
  q.changedBits = 0;
  const bool anyMessage = first == 0 && last == 0;
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    bool windowMatches =
        filter == nullptr || (filter == kThreadMessagesOnly ? it->hwnd == nullptr : it->hwnd == filter);
    bool rangeMatches = anyMessage || (it->message >= first && it->message <= last) || it->message == WM_QUIT;
    if (windowMatches && rangeMatches) {
      *out = *it;
      if (remove) {
        q.posted.erase(it);
        updateWakeBits(q);
      }
      return true;
    }
  }
  return false;
}

}  // namespace

MessageQueue* queueOfThread(DWORD tid) {
  auto it = queues().find(tid);
  return it == queues().end() ? nullptr : it->second;
}

MessageQueue& ensureQueue() {
  ThreadState& t = currentThread();
  if (!t.queue) {
    auto q = std::make_unique<MessageQueue>();
    q->tid = t.tid;
    std::lock_guard<std::mutex> guard(syncLock());
    queues()[t.tid] = q.get();
    t.queue = std::move(q);
  }
  return *t.queue;
}

void completeSent(SentMessage& m, LRESULT result) {
  m.done = true;
  m.result = result;
  if (m.senderWait && !m.senderWait->satisfied && trySatisfy(*m.senderWait)) m.senderWait->cv.notify_one();
}

void processSentMessages(MessageQueue& q) {
  for (;;) {
    std::shared_ptr<SentMessage> m;
    WNDPROC proc = nullptr;
    {
      std::lock_guard<std::mutex> guard(syncLock());
      if (q.sent.empty()) return;
      m = std::move(q.sent.front());
      q.sent.pop_front();
      updateWakeBits(q);
      DWORD owner = 0;
      if (!windowInfo(m->hwnd, &owner, &proc) || owner != q.tid) proc = nullptr;
    }
    LRESULT result = 0;
    try {
      if (proc) result = proc(m->hwnd, m->message, m->wParam, m->lParam);
    } catch (...) {
      std::lock_guard<std::mutex> guard(syncLock());
      completeSent(*m, 0);
      throw;
    }
    std::lock_guard<std::mutex> guard(syncLock());
    completeSent(*m, result);
  }
}

void purgeWindowMessages(MessageQueue& q, HWND hwnd) {
  std::erase_if(q.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
  for (auto it = q.sent.begin(); it != q.sent.end();) {
    if ((*it)->hwnd == hwnd) {
      completeSent(**it, 0);
      it = q.sent.erase(it);
    } else {
      ++it;
    }
  }
  updateWakeBits(q);
}

void destroyThreadQueue(ThreadState& t) {
  if (!t.queue) return;
  std::unique_ptr<MessageQueue> q;  // freed after the lock
  std::lock_guard<std::mutex> guard(syncLock());
  destroyThreadWindows(t.tid);
  queues().erase(t.tid);
  for (auto& m : t.queue->sent) completeSent(*m, 0);
  t.queue->sent.clear();
  q = std::move(t.queue);
}

}  // namespace pal

using namespace pal;

BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (idThread == GetCurrentThreadId()) ensureQueue();
  std::lock_guard<std::mutex> guard(syncLock());
  MessageQueue* q = queueOfThread(idThread);
  if (!q) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return postLocked(*q, nullptr, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd == nullptr) return PostThreadMessageW(GetCurrentThreadId(), Msg, wParam, lParam);
  if (hWnd == HWND_BROADCAST) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(syncLock());
  DWORD owner = 0;
  MessageQueue* q = windowInfo(hWnd, &owner, nullptr) ? queueOfThread(owner) : nullptr;
  if (!q) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return postLocked(*q, hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (wRemoveMsg & ~(PM_REMOVE | PM_NOYIELD)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return FALSE;
  }
  MessageQueue& q = ensureQueue();
  {
    std::lock_guard<std::mutex> guard(syncLock());
    if (!validFilter(hWnd)) return FALSE;
  }
  processSentMessages(q);
  std::lock_guard<std::mutex> guard(syncLock());
  return takeMessage(q, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  MessageQueue& q = ensureQueue();
  for (;;) {
    processSentMessages(q);
    {
      std::lock_guard<std::mutex> guard(syncLock());
      if (!validFilter(hWnd)) return -1;
      if (takeMessage(q, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message == WM_QUIT ? 0 : 1;
    }
    WaitRecord w;
    w.thread = &currentThread();
    w.queue = &q;
    w.wakeMask = kValidWakeMask;
    runWait(w, INFINITE);
  }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  if (lpMsg == nullptr) return FALSE;
  switch (lpMsg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      return TRUE;
    default:
      return FALSE;
  }
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (lpMsg->hwnd == nullptr) return 0;
  DWORD owner = 0;
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(syncLock());
    if (!windowInfo(lpMsg->hwnd, &owner, &proc)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
  }
  if (owner != GetCurrentThreadId()) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return 0;
  }
  return proc ? proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam) : 0;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd == HWND_BROADCAST) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  MessageQueue& own = ensureQueue();
  std::shared_ptr<SentMessage> m;
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(syncLock());
    DWORD owner = 0;
    MessageQueue* target = windowInfo(hWnd, &owner, &proc) ? queueOfThread(owner) : nullptr;
    if (!target) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (target != &own) {
      m = std::make_shared<SentMessage>();
      m->hwnd = hWnd;
      m->message = Msg;
      m->wParam = wParam;
      m->lParam = lParam;
      target->sent.push_back(m);
      announce(*target, QS_SENDMESSAGE);
    }
  }
  if (!m) return proc ? proc(hWnd, Msg, wParam, lParam) : 0;  // same thread: a direct call
  WaitRecord w;
  w.thread = &currentThread();
  w.queue = &own;
  w.reply = m.get();
  runWait(w, INFINITE);
  std::lock_guard<std::mutex> guard(syncLock());
  return m->result;
}

DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds, DWORD dwWakeMask,
                                         DWORD dwFlags) {
  if (dwFlags & MWMO_WAITALL) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return WAIT_FAILED;
  }
  if (dwFlags & ~(MWMO_ALERTABLE | MWMO_INPUTAVAILABLE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  if (dwWakeMask & ~kValidWakeMask) {
    SetLastError(ERROR_INVALID_FLAGS);
    return WAIT_FAILED;
  }
  if (nCount > MAXIMUM_WAIT_OBJECTS - 1 || (nCount > 0 && pHandles == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  MessageQueue& q = ensureQueue();
  WaitRecord w;
  w.thread = &currentThread();
  if (!collectWaitables(w, nCount, pHandles)) return WAIT_FAILED;
  w.queue = &q;
  w.wakeMask = dwWakeMask;
  w.inputAvailable = (dwFlags & MWMO_INPUTAVAILABLE) != 0;
  return runWait(w, dwMilliseconds);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                       DWORD dwWakeMask) {
  if (fWaitAll) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return WAIT_FAILED;
  }
  return MsgWaitForMultipleObjectsEx(nCount, pHandles, dwMilliseconds, dwWakeMask, 0);
}

BOOL WINAPI WaitMessage() {
  MessageQueue& q = ensureQueue();
  WaitRecord w;
  w.thread = &currentThread();
  w.queue = &q;
  w.wakeMask = QS_ALLINPUT;
  runWait(w, INFINITE);
  return TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  return PeekMessageW(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg);
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  return GetMessageW(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax);
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) { return DispatchMessageW(lpMsg); }
