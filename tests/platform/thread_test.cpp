// Threads of the Linux kernel layer: creation, ids, exit codes, thread
// handles and the per-thread last error.
#include "paltest.h"

using paltest::Handle;
using paltest::kLongWait;
using paltest::OnNewThread;

namespace {

// Sets the second event once the first is set; returns the thread's id.
DWORD WINAPI WaitThenSet(LPVOID parameter) {
  auto* events = static_cast<HANDLE*>(parameter);
  WaitForSingleObject(events[0], kLongWait);
  SetEvent(events[1]);
  return GetCurrentThreadId();
}

// The thread's exit code, or 12345 when GetExitCodeThread fails.
DWORD ExitCode(HANDLE thread) {
  DWORD code = 12345;
  return GetExitCodeThread(thread, &code) ? code : 12345;
}

}  // namespace

TEST(CreateThread, ExitCodesIdsHandlesAndRefusals) {
  Handle go(CreateEventW(nullptr, TRUE, FALSE, nullptr)), done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE events[] = {go, done};
  DWORD reportedId = 0;
  Handle thread(CreateThread(nullptr, 64 * 1024, WaitThenSet, events, 0, &reportedId));
  EXPECT_EQ(ExitCode(thread), STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  EXPECT_EQ(GetThreadId(thread), reportedId);
  EXPECT_NE(reportedId, GetCurrentThreadId());
  SetEvent(go);
  ASSERT_EQ(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
  EXPECT_EQ(ExitCode(thread), reportedId) << "the start routine's result: the id the thread saw as its own";

  // Closing the handle of a running thread leaves the thread running.
  ResetEvent(go);
  ResetEvent(done);
  EXPECT_TRUE(CloseHandle(CreateThread(nullptr, 0, WaitThenSet, events, 0, nullptr)));
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(done, kLongWait), WAIT_OBJECT_0);

  DWORD code = 0;
  EXPECT_LAST_ERROR(CreateThread(nullptr, 0, nullptr, nullptr, 0, &reportedId), nullptr, ERROR_INVALID_PARAMETER);
  Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_LAST_ERROR(GetExitCodeThread(event, &code), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_LAST_ERROR(GetExitCodeThread(nullptr, &code), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetThreadId(event), 0u);
}

TEST(GetLastError, IsPerThreadAndStartsAtZero) {
  DWORD seenAtStart = 99;
  SetLastError(1234);
  OnNewThread([&] {
    seenAtStart = GetLastError();
    SetLastError(5678);
  });
  EXPECT_EQ(seenAtStart, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), 1234u);
}
