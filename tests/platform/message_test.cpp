// Message queues, message-pumping waits and message-only windows of the
// Linux user layer.
#include <atomic>
#include <vector>

#include "paltest.h"

using paltest::Eventually;
using paltest::Handle;
using paltest::kLongWait;
using paltest::OnNewThread;

namespace {

// What a test window saw; the handler (optional) answers, the rest goes to
// DefWindowProcW. Read on the window's thread or after it ended.
struct Recorder {
  std::vector<UINT> seen;
  std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;
};

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE)  // lpCreateParams is CreateWindowExW's lpParam
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  auto* r = reinterpret_cast<Recorder*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (r) r->seen.push_back(msg);
  return r && r->handler ? r->handler(hwnd, msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

const char16_t* TestClass() {
  static const ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = u"TrxMessageTestWindow";
    return RegisterClassW(&wc);
  }();
  EXPECT_NE(atom, 0);
  return u"TrxMessageTestWindow";
}

HWND MakeWindow(Recorder* r) {
  return CreateWindowExW(0, TestClass(), u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, r);
}

// A handler answering `message` with f(wParam).
std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> Answer(UINT message, std::function<LRESULT(WPARAM)> f) {
  return [=](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return msg == message ? f(wParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
  };
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A thread that makes its message queue (and, given a recorder, a window),
// then runs `body`; constructed once its id and window are known.
class QueueThread {
 public:
  QueueThread(Recorder* r, std::function<void()> body)
      : m_thread([this, r, body] {
          MSG probe;
          PeekMessageW(&probe, nullptr, 0, 0, PM_NOREMOVE);
          m_window = r ? MakeWindow(r) : nullptr;
          m_id = GetCurrentThreadId();
          SetEvent(m_ready);
          body();
        }) {
    WaitForSingleObject(m_ready, kLongWait);
  }
  ~QueueThread() { m_thread.join(); }
  HWND window() const { return m_window; }
  DWORD id() const { return m_id; }

 private:
  Handle m_ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<HWND> m_window{nullptr};
  std::atomic<DWORD> m_id{0};
  std::thread m_thread;
};

}  // namespace

// The service's pattern: work posted to a window runs on the window's thread,
// which waits for an event while it dispatches messages.
TEST(MsgWaitForMultipleObjects, PostedWorkRunsOnTheWindowThread) {
  Recorder r;
  Handle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  std::atomic<DWORD> exitReason{WAIT_FAILED}, ranOn{0};
  r.handler = Answer(WM_APP + 1, [&](WPARAM) {
    ranOn = GetCurrentThreadId();
    return SetEvent(done);
  });
  QueueThread owner(&r, [&] {
    HANDLE handles[] = {done.Get()};
    DWORD rc;
    while ((rc = MsgWaitForMultipleObjects(1, handles, FALSE, kLongWait, QS_ALLINPUT)) == WAIT_OBJECT_0 + 1) Pump();
    exitReason = rc;
  });
  std::thread([&] { EXPECT_TRUE(PostMessageW(owner.window(), WM_APP + 1, 0, 0)); }).join();
  EXPECT_TRUE(Eventually([&] { return exitReason.load() == WAIT_OBJECT_0; })) << "ended by the event the work set";
  EXPECT_EQ(ranOn.load(), owner.id()) << "the window procedure ran on the window's thread";
}

TEST(PostThreadMessageW, NeedsAQueueAndDeliversInPostingOrder) {
  Handle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> id{0};
  std::thread plain([&] {
    id = GetCurrentThreadId();
    WaitForSingleObject(go, kLongWait);  // never touches a queue
  });
  EXPECT_TRUE(Eventually([&] { return id != 0; }));
  EXPECT_LAST_ERROR(PostThreadMessageW(id, WM_USER, 0, 0), FALSE, ERROR_INVALID_THREAD_ID);
  SetEvent(go);
  plain.join();
  EXPECT_LAST_ERROR(PostThreadMessageW(id, WM_USER, 0, 0), FALSE, ERROR_INVALID_THREAD_ID) << "an ended thread";

  MSG received{};
  {
    QueueThread receiver(nullptr, [&] { GetMessageW(&received, nullptr, WM_APP, WM_APP); });
    EXPECT_TRUE(PostThreadMessageW(receiver.id(), WM_USER, 0, 0)) << "outside the range: GetMessageW waits on";
    EXPECT_TRUE(PostThreadMessageW(receiver.id(), WM_APP, 11, 22));
  }
  EXPECT_EQ(std::tie(received.message, received.hwnd, received.wParam, received.lParam),
            std::make_tuple(UINT{WM_APP}, HWND{}, WPARAM{11}, LPARAM{22}));

  OnNewThread([] {
    EXPECT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 1, 2)) << "to itself: the queue is made";
    EXPECT_TRUE(PostMessageW(nullptr, WM_USER + 1, 3, 4)) << "no window: to this thread";
    MSG first{}, second{};
    PeekMessageW(&first, nullptr, 0, 0, PM_REMOVE);
    PeekMessageW(&second, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(std::tie(first.message, second.message), std::make_tuple(UINT{WM_USER}, UINT{WM_USER + 1}));
  });
}

TEST(PeekMessageW, RangeFiltersAndOrder) {
  OnNewThread([] {
    Recorder r;
    HWND w1 = MakeWindow(&r), w2 = MakeWindow(&r);
    PostThreadMessageW(GetCurrentThreadId(), WM_USER + 1, 0, 0);
    PostMessageW(w1, WM_USER + 2, 0, 0);
    PostMessageW(w2, WM_APP, 0, 0);
    PostMessageW(w1, WM_APP + 5, 0, 0);
    // clang-format off
    const struct { HWND filter; UINT first, last, expected; HWND expectedWindow; } cases[] = {  // expected 0: nothing
        {nullptr, 0, 0, WM_USER + 1, nullptr},
        {nullptr, WM_APP, WM_APP + 10, WM_APP, w2},
        {nullptr, WM_USER + 3, WM_USER + 10, 0, nullptr},
        {w1, WM_APP, 0xFFFF, WM_APP + 5, w1},
    };
    // clang-format on
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "filter " << c.filter << " range " << c.first << ".." << c.last);
      MSG msg{};
      EXPECT_EQ(PeekMessageW(&msg, c.filter, c.first, c.last, PM_NOREMOVE) != FALSE, c.expected != 0);
      EXPECT_EQ(msg.message, c.expected);
      EXPECT_EQ(msg.hwnd, c.expectedWindow);
    }
    for (UINT expected : {WM_USER + 1, WM_USER + 2, WM_APP, WM_APP + 5}) {
      MSG msg{};
      ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) << "PM_NOREMOVE took nothing";
      EXPECT_EQ(msg.message, expected);
    }
    DestroyWindow(w1);
    EXPECT_LAST_ERROR(PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE), FALSE, ERROR_INVALID_PARAMETER);
    EXPECT_LAST_ERROR(GetMessageW(nullptr, nullptr, 0, 0), -1, ERROR_INVALID_PARAMETER);
    DestroyWindow(w2);
  });
}

// The service's main loop ends on a WM_QUIT posted to its thread.
TEST(GetMessageW, APostedQuitEndsItWhateverTheRange) {
  OnNewThread([] {
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 9, 0);
    MSG msg{};
    EXPECT_EQ(GetMessageW(&msg, nullptr, WM_USER, WM_USER), 0);
    EXPECT_EQ(msg.wParam, 9u);
  });
}

TEST(DispatchMessageW, CallsTheProcedureOfTheThreadsOwnWindows) {
  OnNewThread([] {
    Recorder r;
    r.handler = Answer(WM_USER, [](WPARAM w) { return static_cast<LRESULT>(w + 100); });
    HWND w = MakeWindow(&r);
    MSG msg{w, WM_USER, 5, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageW(&msg), 105);
    MSG threadMessage{nullptr, WM_USER, 5, 0, 0, {0, 0}};
    const size_t before = r.seen.size();
    EXPECT_EQ(DispatchMessageW(&threadMessage), 0);
    EXPECT_EQ(r.seen.size(), before) << "thread messages are not dispatched";
    OnNewThread([&] { EXPECT_LAST_ERROR(DispatchMessageW(&msg), 0, ERROR_MESSAGE_SYNC_ONLY); });
    DestroyWindow(w);
    EXPECT_LAST_ERROR(DispatchMessageW(&msg), 0, ERROR_INVALID_WINDOW_HANDLE);
  });
}

TEST(TranslateMessage, KeyMessagesOnlyAndNoCharacterIsQueued) {
  // clang-format off
  const std::pair<UINT, bool> cases[] = {
      {WM_KEYDOWN, true}, {WM_KEYUP, true}, {WM_SYSKEYDOWN, true}, {WM_SYSKEYUP, true},
      {WM_CHAR, false}, {WM_USER, false}, {WM_TIMER, false}, {WM_NULL, false},
  };
  // clang-format on
  for (auto [message, translated] : cases) {
    MSG msg{nullptr, message, 'A', 0, 0, {0, 0}};
    EXPECT_EQ(TranslateMessage(&msg) != FALSE, translated) << message;
  }
  EXPECT_FALSE(TranslateMessage(nullptr));
  OnNewThread([] {
    MSG msg{nullptr, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
    TranslateMessage(&msg);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  });
}

// Input is new until the thread looks at its queue; only new input ends a wait.
TEST(MsgWaitForMultipleObjects, OnlyNewInputEndsTheWait) {
  OnNewThread([] {
    const DWORD self = GetCurrentThreadId();
    const auto wait = [](DWORD ms) { return MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT); };
    PostThreadMessageW(self, WM_USER, 0, 0);
    EXPECT_EQ(wait(0), WAIT_OBJECT_0) << "posted: new";
    EXPECT_EQ(wait(0), WAIT_OBJECT_0) << "waiting is not looking";
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(wait(50), WAIT_TIMEOUT) << "seen by PeekMessage";
    PostThreadMessageW(self, WM_USER, 0, 0);
    EXPECT_EQ(wait(0), WAIT_OBJECT_0) << "a new post";
  });
}

TEST(MsgWaitForMultipleObjects, WakeMaskHandlesAndArguments) {
  OnNewThread([] {
    // A posted message is post-message input, nothing else.
    // clang-format off
    const std::pair<DWORD, DWORD> masks[] = {
        {QS_ALLINPUT, WAIT_OBJECT_0}, {QS_POSTMESSAGE, WAIT_OBJECT_0}, {QS_INPUT, WAIT_TIMEOUT}, {0, WAIT_TIMEOUT},
    };
    // clang-format on
    for (auto [mask, expected] : masks) {
      Pump();
      PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
      EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, mask), expected) << "mask " << mask;
    }
    // Signalled handles come before input, input before a timeout.
    Handle event(CreateEventW(nullptr, TRUE, TRUE, nullptr)), unsignalled(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
    HANDLE both[] = {unsignalled, event};
    EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, both, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0 + 1) << "then the input";

    std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS, event.Get());
    const auto wait = [](DWORD count, HANDLE* handles, BOOL all, DWORD mask) {
      return MsgWaitForMultipleObjects(count, handles, all, 0, mask);
    };
    EXPECT_LAST_ERROR(wait(1, both, TRUE, QS_ALLINPUT), WAIT_FAILED, ERROR_NOT_SUPPORTED);
    EXPECT_LAST_ERROR(wait(MAXIMUM_WAIT_OBJECTS, many.data(), FALSE, QS_ALLINPUT), WAIT_FAILED,
                      ERROR_INVALID_PARAMETER);
    EXPECT_LAST_ERROR(wait(1, nullptr, FALSE, QS_ALLINPUT), WAIT_FAILED, ERROR_INVALID_PARAMETER);
    EXPECT_LAST_ERROR(wait(1, both, FALSE, 0x8000), WAIT_FAILED, ERROR_INVALID_FLAGS);
  });
}

// ---- window classes and windows ---------------------------------------------------------

TEST(RegisterClassW, ValidationDuplicatesAndUnregistering) {
  OnNewThread([] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"TrxRegisterCaseA";
    const ATOM atom = RegisterClassW(&wc);
    EXPECT_GE(atom, 0xC000);
    // clang-format off
    const struct { WNDPROC proc; LPCWSTR name; DWORD error; } cases[] = {
        {DefWindowProcW, u"TrxRegisterCaseA", ERROR_CLASS_ALREADY_EXISTS},
        {DefWindowProcW, u"trxREGISTERcasea", ERROR_CLASS_ALREADY_EXISTS},
        {DefWindowProcW, nullptr, ERROR_INVALID_PARAMETER},
        {nullptr, u"TrxRegisterOther", ERROR_INVALID_PARAMETER},
    };
    // clang-format on
    for (const auto& c : cases) {
      WNDCLASSW bad{};
      bad.lpfnWndProc = c.proc;
      bad.lpszClassName = c.name;
      EXPECT_LAST_ERROR(RegisterClassW(&bad), 0, c.error);
    }
    HWND w = CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr) << "a class named by its atom";
    EXPECT_LAST_ERROR(UnregisterClassW(u"TrxRegisterCaseA", nullptr), FALSE, ERROR_CLASS_HAS_WINDOWS);
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassW(MAKEINTATOM(atom), nullptr));
    EXPECT_LAST_ERROR(UnregisterClassW(u"TrxRegisterCaseA", nullptr), FALSE, ERROR_CLASS_DOES_NOT_EXIST);
  });
}

TEST(CreateWindowExW, CreationAndDestructionMessages) {
  OnNewThread([] {
    Recorder r;
    std::atomic<bool> validDuringDestroy{false};
    r.handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (msg == WM_DESTROY) validDuringDestroy = IsWindow(hwnd) != FALSE;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    };
    HWND w = MakeWindow(&r);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindow(w));
    EXPECT_TRUE(IsWindowUnicode(w));
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_EQ(r.seen, (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_TRUE(validDuringDestroy.load());
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(IsWindowUnicode(w));
    EXPECT_LAST_ERROR(DestroyWindow(w), FALSE, ERROR_INVALID_WINDOW_HANDLE);

    // clang-format off
    const struct { LPCWSTR cls; HWND parent; LRESULT ncCreate, create; DWORD error; std::vector<UINT> messages; } cases[] = {
        {u"NoSuchTrxClass", HWND_MESSAGE, TRUE, 0, ERROR_CANNOT_FIND_WND_CLASS, {}},
        {TestClass(), HWND_MESSAGE, FALSE, 0, 0, {WM_NCCREATE}},
        {TestClass(), nullptr, TRUE, -1, 0, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
    };
    // clang-format on
    for (const auto& c : cases) {
      Recorder refusing;
      refusing.handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        return msg == WM_NCCREATE ? c.ncCreate
               : msg == WM_CREATE ? c.create
                                  : DefWindowProcW(hwnd, msg, wParam, lParam);
      };
      SetLastError(0);
      EXPECT_EQ(CreateWindowExW(0, c.cls, u"", 0, 0, 0, 0, 0, c.parent, nullptr, nullptr, &refusing), nullptr);
      EXPECT_EQ(c.error ? GetLastError() : 0u, c.error);
      EXPECT_EQ(refusing.seen, c.messages);
    }
  });
}

TEST(DestroyWindow, OnlyByTheOwnerAndDropsTheWindowsMessages) {
  Recorder r;
  HWND ended = nullptr;
  OnNewThread([&] { ended = MakeWindow(&r); });
  EXPECT_FALSE(IsWindow(ended)) << "windows end with their thread";
  EXPECT_LAST_ERROR(PostMessageW(ended, WM_USER, 0, 0), FALSE, ERROR_INVALID_WINDOW_HANDLE);
  OnNewThread([&] {
    HWND w = MakeWindow(&r), keep = MakeWindow(&r);
    OnNewThread([&] { EXPECT_LAST_ERROR(DestroyWindow(w), FALSE, ERROR_ACCESS_DENIED); });
    PostMessageW(w, WM_USER, 0, 0);
    PostMessageW(keep, WM_USER + 1, 0, 0);
    ASSERT_TRUE(DestroyWindow(w));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, keep) << "the destroyed window's message is gone";
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_LAST_ERROR(PostMessageW(w, WM_USER, 0, 0), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(DefWindowProcW(keep, WM_NCCREATE, 0, 0), TRUE);
    EXPECT_EQ(DefWindowProcW(keep, WM_USER, 1, 2), 0);
    EXPECT_EQ(DefWindowProcW(keep, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(keep)) << "DefWindowProcW destroys a window on WM_CLOSE";
  });
}

TEST(MessageBoxW, WritesToStandardErrorAndReturnsAtOnce) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxW(nullptr, u"Disk \u00e9t\u00e9 full", u"Trx", MB_YESNO | MB_ICONERROR), IDOK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Trx: Disk \xc3\xa9t\xc3\xa9 full\n");
  EXPECT_EQ(GetDoubleClickTime(), 500u) << "the Windows default";
}

// The US English layout, both ways: the accelerator keys the service sends rely on it.
TEST(VkKeyScanW, AndMapVirtualKeyWFollowTheUsLayout) {
  // A character, its virtual key (0x100: with Shift), and the unshifted character of that key.
  // clang-format off
  const struct { WCHAR ch; SHORT vk; UINT unshifted; } cases[] = {
      {u'a', 'A', 'A'}, {u'Q', 0x100 | 'Q', 'Q'}, {u'7', '7', '7'}, {u')', 0x100 | '0', '0'}, {u' ', 0x20, 0x20},
      {u'\r', 0x0D, 0x0D}, {u'\b', 0x08, 0x08}, {u';', 0xBA, u';'}, {u'?', 0x100 | 0xBF, u'/'}, {u'\u20AC', -1, 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(VkKeyScanW(c.ch), c.vk) << int{c.ch};
    EXPECT_EQ(MapVirtualKeyW(c.vk & 0xFF, MAPVK_VK_TO_CHAR), c.unshifted) << int{c.ch};
  }
  EXPECT_EQ(MapVirtualKeyW(0x70, MAPVK_VK_TO_CHAR), 0u) << "F1 has no character";
  EXPECT_EQ(MapVirtualKeyW('A', MAPVK_VK_TO_VSC), 0u) << "only virtual key to character";
}
