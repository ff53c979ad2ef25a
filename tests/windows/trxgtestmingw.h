// Force-included into GoogleTest and the Windows test programs. mingw-w64's
// win32 thread model has no std::mutex or std::condition_variable, which
// GoogleTest's Notification is built on; this is the same class on a Win32
// event, and GTEST_HAS_NOTIFICATION_ tells GoogleTest to use it.
#pragma once

#ifdef __cplusplus
#include <windows.h>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(m_event); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(m_event); }
  void WaitForNotification() { WaitForSingleObject(m_event, INFINITE); }

 private:
  HANDLE m_event;
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
#endif
