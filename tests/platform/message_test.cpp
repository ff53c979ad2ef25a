// Message queues, message-pumping waits and message-only windows of the
// Linux user layer.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "kernel_test_support.h"
#include "linux/pal_kernel.h"
#include "linux/pal_user.h"

using trxtest::eventually;
using trxtest::kLongWait;
using trxtest::OwnedHandle;

namespace {

const HWND kThreadOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

// What a test window saw. The handler (optional) answers messages; the rest
// go to DefWindowProcW.
struct Recorder {
  std::mutex lock;
  std::vector<UINT> messages;
  std::vector<DWORD> threads;
  std::vector<LPVOID> createParams;
  std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;

  std::vector<UINT> seen() {
    std::lock_guard<std::mutex> guard(lock);
    return messages;
  }
  DWORD lastThread() {
    std::lock_guard<std::mutex> guard(lock);
    return threads.empty() ? 0 : threads.back();
  }
};

LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* r = reinterpret_cast<Recorder*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (r) {
    {
      std::lock_guard<std::mutex> guard(r->lock);
      r->messages.push_back(msg);
      r->threads.push_back(GetCurrentThreadId());
      if (msg == WM_NCCREATE || msg == WM_CREATE)
        r->createParams.push_back(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    }
    if (r->handler) return r->handler(hwnd, msg, wParam, lParam);
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

const char16_t* testClass() {
  static const ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = u"TrxMessageTestWindow";
    return RegisterClassW(&wc);
  }();
  EXPECT_NE(atom, 0);
  return u"TrxMessageTestWindow";
}

HWND makeWindow(Recorder* r) {
  return CreateWindowExW(0, testClass(), u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, r);
}

// Runs f on a new thread (a fresh, empty message queue) and waits for it.
void onFreshThread(const std::function<void()>& f) {
  std::thread t(f);
  t.join();
}

// Dispatches everything in the calling thread's queue.
void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A thread owning a window and pumping its queue until WM_QUIT.
class WindowThread {
 public:
  explicit WindowThread(Recorder* r) : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this, r] {
      id_ = GetCurrentThreadId();
      window_ = makeWindow(r);
      SetEvent(ready_);
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      DestroyWindow(window_);
    });
    WaitForSingleObject(ready_, kLongWait);
  }
  ~WindowThread() {
    PostThreadMessageW(id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  HWND window() const { return window_; }
  DWORD id() const { return id_; }

 private:
  OwnedHandle ready_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<DWORD> id_{0};
  std::thread thread_;
};

}  // namespace

// ---- the service's pattern: work posted to a window runs on its thread ------------------------

TEST(MsgWaitForMultipleObjects, PostedWorkRunsOnTheWindowThread) {
  Recorder r;
  OwnedHandle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> workThread{0};
  r.handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg != WM_APP + 1) return DefWindowProcW(hwnd, msg, wParam, lParam);
    workThread = GetCurrentThreadId();
    SetEvent(done);
    return 0;
  };
  std::atomic<HWND> window{nullptr};
  std::atomic<DWORD> ownerId{0};
  std::atomic<DWORD> exitReason{0};
  std::thread a([&] {
    ownerId = GetCurrentThreadId();
    HWND w = makeWindow(&r);
    window = w;
    SetEvent(ready);
    HANDLE handles[] = {done.get()};
    for (;;) {
      DWORD rc = MsgWaitForMultipleObjects(1, handles, FALSE, kLongWait, QS_ALLINPUT);
      if (rc == WAIT_OBJECT_0 + 1) {
        pump();
        continue;
      }
      exitReason = rc;
      break;
    }
    DestroyWindow(w);
  });
  std::thread b([&] {
    WaitForSingleObject(ready, kLongWait);
    EXPECT_TRUE(PostMessageW(window, WM_APP + 1, 0, 0));
  });
  b.join();
  a.join();
  EXPECT_EQ(exitReason.load(), WAIT_OBJECT_0) << "the loop ends because the work set the event";
  EXPECT_EQ(workThread.load(), ownerId.load()) << "the window procedure runs on the window's thread";
}

// ---- PostThreadMessageW -------------------------------------------------------------------------

TEST(PostThreadMessageW, NeedsATargetQueue) {
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> id{0};
  std::thread plain([&] {
    id = GetCurrentThreadId();
    SetEvent(ready);
    WaitForSingleObject(go, kLongWait);  // never touches a queue
  });
  WaitForSingleObject(ready, kLongWait);
  SetLastError(0);
  EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
  SetEvent(go);
  plain.join();
  EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0)) << "an ended thread has no queue";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST(PostThreadMessageW, DeliversToAThreadWithAQueue) {
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> id{0};
  MSG received{};
  BOOL got = 0;
  std::thread receiver([&] {
    MSG probe;
    PeekMessageW(&probe, nullptr, 0, 0, PM_NOREMOVE);  // creates the queue
    id = GetCurrentThreadId();
    SetEvent(ready);
    got = GetMessageW(&received, nullptr, 0, 0);
  });
  WaitForSingleObject(ready, kLongWait);
  EXPECT_TRUE(PostThreadMessageW(id, WM_USER + 7, 11, 22));
  receiver.join();
  EXPECT_GT(got, 0);
  EXPECT_EQ(received.hwnd, nullptr);
  EXPECT_EQ(received.message, WM_USER + 7);
  EXPECT_EQ(received.wParam, 11u);
  EXPECT_EQ(received.lParam, 22);
}

TEST(PostThreadMessageW, ToItselfCreatesTheQueue) {
  onFreshThread([] {
    EXPECT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 1, 2));
    EXPECT_TRUE(PostMessageW(nullptr, WM_USER + 1, 3, 4)) << "PostMessage with no window posts to this thread";
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  });
}

// ---- PeekMessageW ---------------------------------------------------------------------------

TEST(PeekMessageW, WindowAndRangeFilters) {
  onFreshThread([] {
    Recorder r;
    HWND w1 = makeWindow(&r);
    HWND w2 = makeWindow(&r);
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageW(w1, WM_USER + 2, 0, 0));
    ASSERT_TRUE(PostMessageW(w2, WM_APP, 0, 0));
    ASSERT_TRUE(PostMessageW(w1, WM_APP + 5, 0, 0));
    struct Case {
      const char* what;
      HWND filter;
      UINT first;
      UINT last;
      UINT expected;  // 0: nothing
      HWND expectedWindow;
    };
    const Case cases[] = {
        {"everything", nullptr, 0, 0, WM_USER + 1, nullptr},
        {"thread messages only", kThreadOnly, 0, 0, WM_USER + 1, nullptr},
        {"first window", w1, 0, 0, WM_USER + 2, w1},
        {"second window", w2, 0, 0, WM_APP, w2},
        {"range", nullptr, WM_APP, WM_APP + 10, WM_APP, w2},
        {"window and range", w1, WM_APP, 0xFFFF, WM_APP + 5, w1},
        {"range matching nothing", nullptr, WM_USER + 3, WM_USER + 10, 0, nullptr},
        {"window and range matching nothing", w2, WM_USER, WM_USER + 10, 0, nullptr},
        {"thread messages in a range matching nothing", kThreadOnly, WM_APP, WM_APP + 10, 0, nullptr},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      MSG msg{};
      BOOL found = PeekMessageW(&msg, c.filter, c.first, c.last, PM_NOREMOVE);
      EXPECT_EQ(found != FALSE, c.expected != 0);
      if (found) {
        EXPECT_EQ(msg.message, c.expected);
        EXPECT_EQ(msg.hwnd, c.expectedWindow);
      }
    }
    // PM_NOREMOVE left everything in place, in posting order.
    const UINT order[] = {WM_USER + 1, WM_USER + 2, WM_APP, WM_APP + 5};
    for (UINT expected : order) {
      MSG msg{};
      ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD));
      EXPECT_EQ(msg.message, expected);
    }
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w1);
    DestroyWindow(w2);
  });
}

TEST(PeekMessageW, InvalidArguments) {
  onFreshThread([] {
    Recorder r;
    HWND gone = makeWindow(&r);
    DestroyWindow(gone);
    MSG msg;
    SetLastError(0);
    EXPECT_FALSE(PeekMessageW(&msg, gone, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetMessageW(&msg, gone, 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
    const UINT pmQsPostMessage = (QS_POSTMESSAGE | QS_HOTKEY | QS_TIMER) << 16;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | pmQsPostMessage));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  });
}

// ---- GetMessageW / PostQuitMessage --------------------------------------------------------------

TEST(GetMessageW, QuitComesAfterPostedMessages) {
  onFreshThread([] {
    PostQuitMessage(7);
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
    MSG msg{};
    EXPECT_GT(GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT is retrieved once";
  });
}

TEST(GetMessageW, QuitIgnoresRangesButNotWindowFilters) {
  onFreshThread([] {
    Recorder r;
    HWND w = makeWindow(&r);
    PostQuitMessage(3);
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, w, 0, 0, PM_REMOVE)) << "a window filter never sees WM_QUIT";
    ASSERT_TRUE(PeekMessageW(&msg, kThreadOnly, WM_USER, WM_USER, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(GetMessageW(&msg, nullptr, WM_APP, WM_APP + 1), 0) << "any range retrieves WM_QUIT";
    EXPECT_EQ(msg.wParam, 3u);

    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 9, 0));
    EXPECT_EQ(GetMessageW(&msg, nullptr, WM_USER, WM_USER), 0) << "a posted WM_QUIT ends GetMessage too";
    EXPECT_EQ(msg.wParam, 9u);
    DestroyWindow(w);
  });
}

TEST(GetMessageW, WaitsForAMessageFromAnotherThread) {
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> id{0};
  std::atomic<UINT> received{0};
  std::thread receiver([&] {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    id = GetCurrentThreadId();
    SetEvent(ready);
    if (GetMessageW(&msg, nullptr, WM_APP, WM_APP) > 0) received = msg.message;
  });
  WaitForSingleObject(ready, kLongWait);
  Sleep(20);
  PostThreadMessageW(id, WM_USER, 0, 0);  // outside the range: GetMessage keeps waiting
  PostThreadMessageW(id, WM_APP, 0, 0);
  receiver.join();
  EXPECT_EQ(received.load(), WM_APP);
}

// ---- DispatchMessageW / TranslateMessage ------------------------------------------------------

TEST(DispatchMessageW, CallsTheWindowProcedureOfItsOwnWindows) {
  onFreshThread([] {
    Recorder r;
    r.handler = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      return msg == WM_USER ? static_cast<LRESULT>(wParam + 100) : DefWindowProcW(hwnd, msg, wParam, lParam);
    };
    HWND w = makeWindow(&r);
    MSG msg{w, WM_USER, 5, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageW(&msg), 105);
    MSG threadMessage{nullptr, WM_USER, 5, 0, 0, {0, 0}};
    size_t before = r.seen().size();
    EXPECT_EQ(DispatchMessageW(&threadMessage), 0);
    EXPECT_EQ(r.seen().size(), before) << "thread messages are not dispatched";

    std::thread other([&] {
      SetLastError(0);
      EXPECT_EQ(DispatchMessageW(&msg), 0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
    });
    other.join();
    DestroyWindow(w);
    EXPECT_EQ(DispatchMessageW(&msg), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  });
}

TEST(TranslateMessage, OnlyKeyMessagesAreTranslated) {
  struct Case {
    UINT message;
    BOOL expected;
  };
  const Case cases[] = {
      {WM_KEYDOWN, TRUE}, {WM_KEYUP, TRUE}, {WM_SYSKEYDOWN, TRUE}, {WM_SYSKEYUP, TRUE},
      {WM_CHAR, FALSE},   {WM_USER, FALSE}, {WM_TIMER, FALSE},     {WM_NULL, FALSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    MSG msg{nullptr, c.message, 'A', 0, 0, {0, 0}};
    EXPECT_EQ(TranslateMessage(&msg), c.expected);
  }
  EXPECT_FALSE(TranslateMessage(nullptr));
  onFreshThread([] {
    MSG msg{nullptr, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
    TranslateMessage(&msg);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "no WM_CHAR is generated";
  });
}

// ---- MsgWaitForMultipleObjects: the new-input rule -----------------------------------------------

TEST(MsgWaitForMultipleObjectsEx, OnlyNewInputEndsTheWait) {
  onFreshThread([] {
    const DWORD self = GetCurrentThreadId();
    ASSERT_TRUE(PostThreadMessageW(self, WM_USER, 0, 0));
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0), WAIT_OBJECT_0)
        << "posted before the thread ever looked: new";
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0), WAIT_OBJECT_0)
        << "waiting is not looking: still new";

    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, 0), WAIT_TIMEOUT)
        << "seen by PeekMessage: no longer new, though still queued";
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE), WAIT_OBJECT_0)
        << "MWMO_INPUTAVAILABLE counts queued input";

    ASSERT_TRUE(PostThreadMessageW(self, WM_USER, 0, 0));
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0) << "a new post";
    pump();
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE), WAIT_TIMEOUT)
        << "queue drained";
  });
}

TEST(MsgWaitForMultipleObjectsEx, WakeMaskSelectsTheInput) {
  struct Case {
    const char* what;
    DWORD mask;
    DWORD expected;
  };
  const Case cases[] = {
      {"QS_ALLINPUT", QS_ALLINPUT, WAIT_OBJECT_0},
      {"QS_POSTMESSAGE", QS_POSTMESSAGE, WAIT_OBJECT_0},
      {"QS_ALLPOSTMESSAGE", QS_ALLPOSTMESSAGE, WAIT_OBJECT_0},
      {"QS_ALLEVENTS", QS_ALLEVENTS, WAIT_OBJECT_0},
      {"QS_KEY", QS_KEY, WAIT_TIMEOUT},
      {"QS_INPUT", QS_INPUT, WAIT_TIMEOUT},
      {"QS_SENDMESSAGE", QS_SENDMESSAGE, WAIT_TIMEOUT},
      {"QS_TIMER", QS_TIMER, WAIT_TIMEOUT},
      {"no input at all", 0, WAIT_TIMEOUT},
  };
  onFreshThread([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      pump();
      ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
      EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, c.mask, 0), c.expected);
    }
  });
}

TEST(MsgWaitForMultipleObjectsEx, HandlesComeBeforeInput) {
  onFreshThread([] {
    OwnedHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    OwnedHandle unsignalled(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
    HANDLE both[] = {unsignalled, event};
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(2, both, 0, QS_ALLINPUT, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, both, 0, QS_ALLINPUT, 0), WAIT_OBJECT_0 + 1) << "then the input";
    OwnedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    std::thread([&] { WaitForSingleObject(mutex, 0); }).join();  // abandoned
    HANDLE withMutex[] = {unsignalled, mutex};
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(2, withMutex, 0, QS_ALLINPUT, 0), WAIT_ABANDONED_0 + 1);
    ReleaseMutex(mutex);
  });
}

TEST(MsgWaitForMultipleObjects, WakesWhenAnotherThreadPosts) {
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> id{0};
  std::atomic<DWORD> result{0};
  std::thread waiter([&] {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    id = GetCurrentThreadId();
    SetEvent(ready);
    HANDLE handles[] = {never.get()};
    result = MsgWaitForMultipleObjects(1, handles, FALSE, kLongWait, QS_POSTMESSAGE);
  });
  WaitForSingleObject(ready, kLongWait);
  Sleep(20);
  PostThreadMessageW(id, WM_USER, 0, 0);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0 + 1);
}

TEST(MsgWaitForMultipleObjectsEx, InvalidArguments) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS, event.get());
  HANDLE bad[] = {reinterpret_cast<HANDLE>(0x9999)};
  struct Case {
    const char* what;
    DWORD count;
    const HANDLE* handles;
    DWORD mask;
    DWORD flags;
    DWORD error;
  };
  const Case cases[] = {
      {"MWMO_WAITALL", 1, many.data(), QS_ALLINPUT, MWMO_WAITALL, ERROR_NOT_SUPPORTED},
      {"unknown flag", 1, many.data(), QS_ALLINPUT, 0x100, ERROR_INVALID_PARAMETER},
      {"64 handles", MAXIMUM_WAIT_OBJECTS, many.data(), QS_ALLINPUT, 0, ERROR_INVALID_PARAMETER},
      {"null array", 1, nullptr, QS_ALLINPUT, 0, ERROR_INVALID_PARAMETER},
      {"unknown wake bit", 1, many.data(), 0x8000, 0, ERROR_INVALID_FLAGS},
      {"bad handle", 1, bad, QS_ALLINPUT, 0, ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(c.count, c.handles, 0, c.mask, c.flags), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(MsgWaitForMultipleObjects(1, many.data(), TRUE, 0, QS_ALLINPUT), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, many.data(), 0, QS_ALLINPUT, MWMO_ALERTABLE), WAIT_TIMEOUT)
      << "alertable is accepted";
}

// ---- GetQueueStatus / WaitMessage ------------------------------------------------------------------

TEST(GetQueueStatus, ReportsQueuedAndNewInput) {
  onFreshThread([] {
    EXPECT_EQ(GetQueueStatus(QS_ALLINPUT), 0u);
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
    DWORD status = GetQueueStatus(QS_ALLINPUT);
    EXPECT_EQ(HIWORD(status), QS_POSTMESSAGE) << "in the queue";
    EXPECT_EQ(LOWORD(status), QS_POSTMESSAGE) << "new";
    status = GetQueueStatus(QS_ALLINPUT);
    EXPECT_EQ(HIWORD(status), QS_POSTMESSAGE);
    EXPECT_EQ(LOWORD(status), 0u) << "reported once";
    pump();
    EXPECT_EQ(GetQueueStatus(QS_ALLINPUT), 0u);
  });
}

TEST(WaitMessage, ReturnsWhenInputArrives) {
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> id{0};
  std::atomic<BOOL> result{FALSE};
  std::thread waiter([&] {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    id = GetCurrentThreadId();
    SetEvent(ready);
    result = WaitMessage();
  });
  WaitForSingleObject(ready, kLongWait);
  PostThreadMessageW(id, WM_USER, 0, 0);
  waiter.join();
  EXPECT_TRUE(result.load());
}

// ---- SendMessageW ----------------------------------------------------------------------------

TEST(SendMessageW, SameThreadCallsDirectly) {
  onFreshThread([] {
    Recorder r;
    r.handler = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      return msg == WM_USER ? static_cast<LRESULT>(wParam) * 3 : DefWindowProcW(hwnd, msg, wParam, lParam);
    };
    HWND w = makeWindow(&r);
    EXPECT_EQ(SendMessageW(w, WM_USER, 7, 0), 21);
    EXPECT_EQ(r.lastThread(), GetCurrentThreadId());
    DestroyWindow(w);
    SetLastError(0);
    EXPECT_EQ(SendMessageW(w, WM_USER, 7, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  });
}

TEST(SendMessageW, OtherThreadRunsItOnTheOwnerAndReturnsTheResult) {
  Recorder r;
  r.handler = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    return msg == WM_USER + 3 ? static_cast<LRESULT>(wParam) * 2 : DefWindowProcW(hwnd, msg, wParam, lParam);
  };
  WindowThread owner(&r);
  EXPECT_EQ(SendMessageW(owner.window(), WM_USER + 3, 21, 0), 42);
  EXPECT_EQ(r.lastThread(), owner.id());
  std::vector<std::thread> senders;
  std::atomic<int> correct{0};
  for (int i = 0; i < 4; ++i) {
    senders.emplace_back([&, i] {
      for (int k = 0; k < 50; ++k)
        if (SendMessageW(owner.window(), WM_USER + 3, static_cast<WPARAM>(i * 100 + k), 0) == (i * 100 + k) * 2)
          ++correct;
    });
  }
  for (auto& t : senders) t.join();
  EXPECT_EQ(correct.load(), 200);
}

TEST(SendMessageW, SentMessagesRunBeforePostedOnes) {
  Recorder r;
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<HWND> window{nullptr};
  std::thread owner([&] {
    HWND w = makeWindow(&r);
    window = w;
    SetEvent(ready);
    WaitForSingleObject(go, kLongWait);  // not pumping: both messages wait
    EXPECT_TRUE(eventually([] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }));
    pump();
    DestroyWindow(w);
  });
  WaitForSingleObject(ready, kLongWait);
  ASSERT_TRUE(PostMessageW(window, WM_USER + 1, 0, 0));
  std::thread sender([&] { SendMessageW(window, WM_USER + 2, 0, 0); });
  SetEvent(go);
  sender.join();
  owner.join();
  std::vector<UINT> order;
  for (UINT m : r.seen())
    if (m == WM_USER + 1 || m == WM_USER + 2) order.push_back(m);
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 2, WM_USER + 1}));
}

TEST(SendMessageW, SenderProcessesMessagesSentToItWhileWaiting) {
  Recorder mainRecorder;
  mainRecorder.handler = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    return msg == WM_USER + 5 ? 10 : DefWindowProcW(hwnd, msg, wParam, lParam);
  };
  std::atomic<HWND> mainWindow{nullptr};
  Recorder otherRecorder;
  otherRecorder.handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg != WM_USER + 4) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return SendMessageW(mainWindow, WM_USER + 5, 0, 0) + 1;  // back to the blocked sender
  };
  onFreshThread([&] {
    HWND w = makeWindow(&mainRecorder);
    mainWindow = w;
    {
      WindowThread other(&otherRecorder);
      EXPECT_EQ(SendMessageW(other.window(), WM_USER + 4, 0, 0), 11);
    }
    EXPECT_EQ(mainRecorder.lastThread(), GetCurrentThreadId()) << "the nested message ran on the waiting sender";
    DestroyWindow(w);
  });
}

TEST(SendMessageW, ReturnsZeroWhenTheOwnerEndsWithoutProcessing) {
  Recorder r;
  r.handler = [](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT { return msg == WM_USER ? 99 : TRUE; };
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<HWND> window{nullptr};
  std::thread owner([&] {
    window = makeWindow(&r);
    SetEvent(ready);
    EXPECT_TRUE(eventually([] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }));
    // Ends without pumping; its window is destroyed with it.
  });
  WaitForSingleObject(ready, kLongWait);
  EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 0);
  owner.join();
  EXPECT_FALSE(IsWindow(window));
}

TEST(SendMessageW, MsgWaitProcessesSentMessages) {
  Recorder r;
  OwnedHandle handled(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  r.handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg != WM_USER + 6) return DefWindowProcW(hwnd, msg, wParam, lParam);
    SetEvent(handled);
    return 7;
  };
  std::atomic<HWND> window{nullptr};
  std::atomic<DWORD> waitResult{0};
  std::thread owner([&] {
    HWND w = makeWindow(&r);
    window = w;
    SetEvent(ready);
    HANDLE handles[] = {handled.get()};
    // No QS_SENDMESSAGE in the mask: the sent message is processed inside
    // the wait, and its effect (the event) ends it.
    waitResult = MsgWaitForMultipleObjects(1, handles, FALSE, kLongWait, QS_POSTMESSAGE);
    DestroyWindow(w);
  });
  WaitForSingleObject(ready, kLongWait);
  EXPECT_EQ(SendMessageW(window, WM_USER + 6, 0, 0), 7);
  owner.join();
  EXPECT_EQ(waitResult.load(), WAIT_OBJECT_0);
}

TEST(SendMessageW, SentMessageCountsAsInputWithQsSendMessage) {
  Recorder r;
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<HWND> window{nullptr};
  std::atomic<DWORD> waitResult{0};
  std::atomic<bool> processedBeforeReturn{false};
  std::thread owner([&] {
    HWND w = makeWindow(&r);
    window = w;
    SetEvent(ready);
    waitResult = MsgWaitForMultipleObjectsEx(0, nullptr, kLongWait, QS_SENDMESSAGE, 0);
    for (UINT m : r.seen())
      if (m == WM_USER + 8) processedBeforeReturn = true;
    DestroyWindow(w);
  });
  WaitForSingleObject(ready, kLongWait);
  SendMessageW(window, WM_USER + 8, 0, 0);
  owner.join();
  EXPECT_EQ(waitResult.load(), WAIT_OBJECT_0);
  EXPECT_TRUE(processedBeforeReturn.load());
}

// ---- window classes ----------------------------------------------------------------------------

TEST(RegisterClassW, ValidationAndDuplicates) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"TrxRegisterCase";
  ATOM atom = RegisterClassW(&wc);
  EXPECT_GE(atom, 0xC000);
  struct Case {
    const char* what;
    WNDPROC proc;
    LPCWSTR name;
    int extra;
    DWORD error;
  };
  const Case cases[] = {
      {"same name", DefWindowProcW, u"TrxRegisterCase", 0, ERROR_CLASS_ALREADY_EXISTS},
      {"same name in other case", DefWindowProcW, u"trxREGISTERcase", 0, ERROR_CLASS_ALREADY_EXISTS},
      {"no name", DefWindowProcW, nullptr, 0, ERROR_INVALID_PARAMETER},
      {"no procedure", nullptr, u"TrxRegisterOther", 0, ERROR_INVALID_PARAMETER},
      {"negative extra bytes", DefWindowProcW, u"TrxRegisterOther", -1, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WNDCLASSW bad{};
    bad.lpfnWndProc = c.proc;
    bad.lpszClassName = c.name;
    bad.cbWndExtra = c.extra;
    EXPECT_EQ(RegisterClassW(&bad), 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
  WNDCLASSEXW ex{};
  ex.cbSize = sizeof(WNDCLASSW);
  ex.lpfnWndProc = DefWindowProcW;
  ex.lpszClassName = u"TrxRegisterEx";
  EXPECT_EQ(RegisterClassExW(&ex), 0) << "cbSize must be sizeof(WNDCLASSEXW)";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ex.cbSize = sizeof(WNDCLASSEXW);
  ATOM exAtom = RegisterClassExW(&ex);
  EXPECT_NE(exAtom, 0);
  EXPECT_NE(exAtom, atom);
  EXPECT_TRUE(UnregisterClassW(u"TrxRegisterEx", nullptr));
  EXPECT_TRUE(UnregisterClassW(MAKEINTATOM(atom), nullptr)) << "by atom";
}

TEST(UnregisterClassW, NotWhileWindowsExist) {
  onFreshThread([] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"TrxUnregisterCase";
    ATOM atom = RegisterClassW(&wc);
    ASSERT_NE(atom, 0);
    HWND w = CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr) << "a class can be named by its atom";
    EXPECT_FALSE(UnregisterClassW(u"TrxUnregisterCase", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassW(u"TrxUnregisterCase", nullptr));
    EXPECT_FALSE(UnregisterClassW(u"TrxUnregisterCase", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  });
}

// ---- CreateWindowExW / DestroyWindow ------------------------------------------------------------

TEST(CreateWindowExW, SendsCreationAndDestructionMessages) {
  onFreshThread([] {
    Recorder r;
    std::atomic<bool> validDuringDestroy{false};
    r.handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (msg == WM_DESTROY) validDuringDestroy = IsWindow(hwnd) != FALSE;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    };
    HWND w = makeWindow(&r);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindow(w));
    EXPECT_TRUE(IsWindowUnicode(w));
    EXPECT_EQ(r.seen(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(r.createParams, (std::vector<LPVOID>{&r, &r})) << "lpCreateParams is lpParam";
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_EQ(r.seen(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_TRUE(validDuringDestroy.load());
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(IsWindowUnicode(w));
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  });
}

TEST(CreateWindowExW, FailureCases) {
  onFreshThread([] {
    Recorder parentRecorder;
    HWND parent = makeWindow(&parentRecorder);
    struct Case {
      const char* what;
      LPCWSTR cls;
      HWND parent;
      LRESULT ncCreate;  // answer to WM_NCCREATE
      LRESULT create;    // answer to WM_CREATE
      DWORD error;       // 0: not checked
      std::vector<UINT> messages;
    };
    const Case cases[] = {
        {"unknown class", u"NoSuchTrxClass", HWND_MESSAGE, TRUE, 0, ERROR_CANNOT_FIND_WND_CLASS, {}},
        {"real parent", testClass(), parent, TRUE, 0, ERROR_NOT_SUPPORTED, {}},
        {"WM_NCCREATE refuses", testClass(), HWND_MESSAGE, FALSE, 0, 0, {WM_NCCREATE}},
        {"WM_CREATE refuses", testClass(), nullptr, TRUE, -1, 0, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      Recorder r;
      r.handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (msg == WM_NCCREATE) return c.ncCreate;
        if (msg == WM_CREATE) return c.create;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
      };
      SetLastError(0);
      HWND w = CreateWindowExW(0, c.cls, u"", 0, 0, 0, 0, 0, c.parent, nullptr, nullptr, &r);
      EXPECT_EQ(w, nullptr);
      if (c.error) {
        EXPECT_EQ(GetLastError(), c.error);
      }
      EXPECT_EQ(r.seen(), c.messages);
    }
    DestroyWindow(parent);
  });
}

TEST(DestroyWindow, OnlyByTheOwnerAndDropsQueuedMessages) {
  onFreshThread([] {
    Recorder r;
    HWND w = makeWindow(&r);
    HWND keep = makeWindow(&r);
    std::thread([&] {
      SetLastError(0);
      EXPECT_FALSE(DestroyWindow(w));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }).join();
    EXPECT_TRUE(IsWindow(w));
    ASSERT_TRUE(PostMessageW(w, WM_USER, 0, 0));
    ASSERT_TRUE(PostMessageW(keep, WM_USER + 1, 0, 0));
    ASSERT_TRUE(DestroyWindow(w));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, keep) << "the destroyed window's message is gone";
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(keep);
  });
}

TEST(DestroyWindow, WindowsEndWithTheirThread) {
  Recorder r;
  HWND w = nullptr;
  onFreshThread([&] { w = makeWindow(&r); });
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(DefWindowProcW, CloseDestroysTheWindow) {
  onFreshThread([] {
    Recorder r;
    HWND w = makeWindow(&r);
    EXPECT_EQ(DefWindowProcW(w, WM_NCCREATE, 0, 0), TRUE);
    EXPECT_EQ(DefWindowProcW(w, WM_USER, 1, 2), 0);
    EXPECT_EQ(SendMessageW(w, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(w));
  });
}

// ---- window data ---------------------------------------------------------------------------

TEST(GetWindowThreadProcessId, NamesTheOwner) {
  Recorder r;
  WindowThread owner(&r);
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(owner.window(), &pid), owner.id());
  EXPECT_EQ(pid, GetCurrentProcessId());
  EXPECT_EQ(GetWindowThreadProcessId(nullptr, &pid), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

LRESULT CALLBACK subclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER + 9) return 1000 + static_cast<LRESULT>(wParam);
  auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, 0));
  return CallWindowProcW(previous, hwnd, msg, wParam, lParam);
}

TEST(SetWindowLongPtrW, FieldsExtraBytesAndSubclassing) {
  onFreshThread([] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = recordingProc;
    wc.cbWndExtra = 16;
    wc.lpszClassName = u"TrxLongPtrCase";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    Recorder r;
    r.handler = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      return msg == WM_USER + 10 ? 5 : DefWindowProcW(hwnd, msg, wParam, lParam);
    };
    HWND w = CreateWindowExW(0, u"TrxLongPtrCase", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                             reinterpret_cast<HMENU>(static_cast<LONG_PTR>(77)), nullptr, &r);
    ASSERT_NE(w, nullptr);

    struct Case {
      const char* what;
      int index;
      LONG_PTR value;
    };
    const Case cases[] = {
        {"extra bytes at 0", 0, 0x1122334455667788},
        {"extra bytes at 8", 8, -5},
        {"id", GWLP_ID, 1234},
        {"style", GWL_STYLE, WS_POPUP},
    };
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_ID), 77) << "the menu argument is the id";
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      LONG_PTR before = GetWindowLongPtrW(w, c.index);
      EXPECT_EQ(SetWindowLongPtrW(w, c.index, c.value), before);
      EXPECT_EQ(GetWindowLongPtrW(w, c.index), c.value);
    }
    EXPECT_EQ(GetWindowLongPtrW(w, 0), 0x1122334455667788) << "neighbouring extra bytes untouched";

    for (int index : {9, 16, -100}) {
      SCOPED_TRACE(index);
      SetLastError(0);
      EXPECT_EQ(GetWindowLongPtrW(w, index), 0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
      EXPECT_EQ(SetWindowLongPtrW(w, index, 1), 0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    }

    // Subclassing: the new procedure gets messages first and forwards the rest.
    LONG_PTR original = SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc));
    EXPECT_EQ(original, reinterpret_cast<LONG_PTR>(recordingProc));
    SetWindowLongPtrW(w, 0, original);
    EXPECT_EQ(SendMessageW(w, WM_USER + 9, 4, 0), 1004);
    EXPECT_EQ(SendMessageW(w, WM_USER + 10, 0, 0), 5) << "forwarded through CallWindowProcW";
    MSG msg{w, WM_USER + 9, 1, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageW(&msg), 1001);

    // Another thread of the process may read and write the data.
    std::thread([&] { EXPECT_EQ(SetWindowLongPtrW(w, GWLP_USERDATA, 42), reinterpret_cast<LONG_PTR>(&r)); }).join();
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 42);
    SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    DestroyWindow(w);
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(UnregisterClassW(u"TrxLongPtrCase", nullptr));
  });
}

// ---- odds and ends ----------------------------------------------------------------------------

TEST(MessageBoxW, WritesToStandardErrorAndReturnsAtOnce) {
  testing::internal::CaptureStderr();
  int answer = MessageBoxW(nullptr, u"Disk \u00e9t\u00e9 full", u"Trx", MB_YESNO | MB_ICONERROR);
  std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(written, "Trx: Disk \xc3\xa9t\xc3\xa9 full\n");
}

TEST(GetDoubleClickTime, IsTheWindowsDefault) { EXPECT_EQ(GetDoubleClickTime(), 500u); }
