// A message-only window through which calls are run on the thread that
// created it.
//
// The real client calls the service (INVTRX) on the service's apartment
// thread, and those calls arrive while that thread pumps messages, for
// instance while it waits for the client to become idle. To do the same,
// the service side creates a CNVSimCallWindow on its apartment thread;
// Post hands a call to the window from any thread, and the call runs on
// the window's thread the next time that thread dispatches messages.
#pragma once

#include <functional>
#include <memory>

#include "host/nvsimcall.h"
#include "platform/trxplatform.h"

class CNVSimCallWindow {
 public:
  // Creates the window on the calling thread; GetHandle() is null when
  // that failed.
  CNVSimCallWindow();
  // Destroys the window (on the thread that created it); calls that have
  // not run by then are aborted with E_ABORT.
  ~CNVSimCallWindow();
  CNVSimCallWindow(const CNVSimCallWindow&) = delete;
  CNVSimCallWindow& operator=(const CNVSimCallWindow&) = delete;

  HWND GetHandle() const noexcept { return m_window; }

  // Queues `work` for the window's thread. The call fails at once (its
  // result is the failure) when the window is not one of these or is gone.
  static std::shared_ptr<CNVSimCall> Post(HWND window, std::function<HRESULT()> work);
  // The same, with `completed` run once the call is done, whether it ran
  // or was aborted (see CNVSimCall); for a call that fails at once, before
  // Post returns.
  static std::shared_ptr<CNVSimCall> Post(HWND window, std::function<HRESULT()> work,
                                          std::function<void(HRESULT)> completed);
  // Dispatches the calling thread's waiting messages (for a thread that
  // does not pump otherwise, such as a test standing in for the service).
  static void PumpMessages();

 private:
  HWND m_window = nullptr;
};
