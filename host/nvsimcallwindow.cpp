#include "host/nvsimcallwindow.h"

#include <deque>
#include <map>
#include <mutex>

namespace {

constexpr UINT kRunCalls = WM_APP + 0x4E56;  // "NV"
const OLECHAR kClassName[] = OLESTR("NVSimCallWindow");

// Calls waiting for each window, shared with the posting threads.
struct CallQueue {
  std::mutex lock;
  std::deque<std::shared_ptr<CNVSimCall>> calls;
};

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::map<HWND, std::shared_ptr<CallQueue>>& Registry() {
  static std::map<HWND, std::shared_ptr<CallQueue>> windows;
  return windows;
}

std::shared_ptr<CallQueue> QueueOf(HWND window) {
  std::lock_guard<std::mutex> lock(RegistryLock());
  auto it = Registry().find(window);
  return it == Registry().end() ? nullptr : it->second;
}

void AbortAll(const std::shared_ptr<CallQueue>& queue) {
  if (!queue) return;
  std::deque<std::shared_ptr<CNVSimCall>> calls;
  {
    std::lock_guard<std::mutex> lock(queue->lock);
    calls.swap(queue->calls);
  }
  for (auto& call : calls) call->Abort(E_ABORT);
}

std::shared_ptr<CallQueue> Unregister(HWND window) {
  std::lock_guard<std::mutex> lock(RegistryLock());
  auto it = Registry().find(window);
  if (it == Registry().end()) return nullptr;
  std::shared_ptr<CallQueue> queue = it->second;
  Registry().erase(it);
  return queue;
}

LRESULT CALLBACK RunCallsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCalls) {
    // One message per posted call; each takes the oldest waiting call, so
    // calls run in the order they were posted, also when one of them
    // pumps messages itself.
    std::shared_ptr<CallQueue> queue = QueueOf(window);
    if (!queue) return 0;
    std::shared_ptr<CNVSimCall> call;
    {
      std::lock_guard<std::mutex> lock(queue->lock);
      if (queue->calls.empty()) return 0;
      call = queue->calls.front();
      queue->calls.pop_front();
    }
    call->Run();
    return 0;
  }
  if (message == WM_DESTROY) AbortAll(Unregister(window));
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass() {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &RunCallsWindowProc;
    windowClass.lpszClassName = kClassName;
    registered = RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  });
  return registered;
}

}  // namespace

CNVSimCallWindow::CNVSimCallWindow() {
  if (!RegisterWindowClass()) return;
  m_window = CreateWindowExW(0, kClassName, OLESTR(""), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!m_window) return;
  std::lock_guard<std::mutex> lock(RegistryLock());
  Registry()[m_window] = std::make_shared<CallQueue>();
}

CNVSimCallWindow::~CNVSimCallWindow() {
  if (!m_window) return;
  AbortAll(Unregister(m_window));
  DestroyWindow(m_window);
}

std::shared_ptr<CNVSimCall> CNVSimCallWindow::Post(HWND window, std::function<HRESULT()> work) {
  return Post(window, std::move(work), nullptr);
}

std::shared_ptr<CNVSimCall> CNVSimCallWindow::Post(HWND window, std::function<HRESULT()> work,
                                                   std::function<void(HRESULT)> completed) {
  auto call = std::make_shared<CNVSimCall>(std::move(work), std::move(completed));
  std::shared_ptr<CallQueue> queue = QueueOf(window);
  if (!queue) {
    call->Abort(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE));
    return call;
  }
  {
    std::lock_guard<std::mutex> lock(queue->lock);
    queue->calls.push_back(call);
  }
  if (!PostMessageW(window, kRunCalls, 0, 0)) {
    const DWORD error = GetLastError();
    {
      std::lock_guard<std::mutex> lock(queue->lock);
      for (auto it = queue->calls.begin(); it != queue->calls.end(); ++it) {
        if (*it == call) {
          queue->calls.erase(it);
          break;
        }
      }
    }
    // Aborted outside the queue's lock: the completion may take locks of
    // its own.
    call->Abort(HRESULT_FROM_WIN32(error ? error : ERROR_INVALID_WINDOW_HANDLE));
  }
  return call;
}

void CNVSimCallWindow::PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}
