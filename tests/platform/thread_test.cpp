// Threads of the Linux kernel layer: creation, ids, exit codes, thread
// handles and the per-thread last error.
#include <algorithm>
#include <atomic>
#include <vector>

#include "paltest.h"

using paltest::Handle;
using paltest::kLongWait;

namespace {

DWORD WINAPI ReturnParameter(LPVOID parameter) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter)); }

DWORD WINAPI WaitForEvent(LPVOID parameter) {
  return WaitForSingleObject(static_cast<HANDLE>(parameter), kLongWait) == WAIT_OBJECT_0 ? GetCurrentThreadId() : 0;
}

LPVOID AsParameter(DWORD value) { return reinterpret_cast<LPVOID>(static_cast<uintptr_t>(value)); }

}  // namespace

TEST(CreateThread, ExitCodesIdsAndHandles) {
  std::vector<Handle> threads;
  std::vector<HANDLE> handles;
  const DWORD codes[] = {0, 1, 42, 0xDEADBEEF, 0xFFFFFFFF};
  for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, ReturnParameter, AsParameter(codes[i % 5]), 0, nullptr);
    handles.push_back(threads.emplace_back(thread));
  }
  ASSERT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), TRUE, kLongWait), WAIT_OBJECT_0);
  for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
    DWORD code = 12345;
    ASSERT_TRUE(GetExitCodeThread(handles[i], &code));
    EXPECT_EQ(code, codes[i % 5]) << "the start routine's result";
    EXPECT_EQ(WaitForSingleObject(handles[i], 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
  }

  Handle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD reportedId = 0, code = 0;
  Handle thread(CreateThread(nullptr, 64 * 1024, WaitForEvent, go.Get(), 0, &reportedId));
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  EXPECT_EQ(GetThreadId(thread), reportedId);
  EXPECT_NE(reportedId, GetCurrentThreadId());
  SetEvent(go);
  ASSERT_EQ(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, reportedId) << "the id the thread saw as its own";

  // Closing the handle of a running thread leaves the thread running.
  Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE goAndDone[] = {go, done};
  ResetEvent(go);
  auto body = [](LPVOID p) -> DWORD {
    WaitForSingleObject(static_cast<HANDLE*>(p)[0], kLongWait);
    return SetEvent(static_cast<HANDLE*>(p)[1]);
  };
  EXPECT_TRUE(CloseHandle(CreateThread(nullptr, 0, body, goAndDone, 0, nullptr)));
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(done, kLongWait), WAIT_OBJECT_0);
}

TEST(CreateThread, RefusalsAndWrongHandles) {
  DWORD id = 77, code = 0;
  EXPECT_LAST_ERROR(CreateThread(nullptr, 0, ReturnParameter, nullptr, CREATE_SUSPENDED, &id), nullptr,
                    ERROR_NOT_SUPPORTED);
  EXPECT_LAST_ERROR(CreateThread(nullptr, 0, ReturnParameter, nullptr, 0x8, &id), nullptr, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(CreateThread(nullptr, 0, nullptr, nullptr, 0, &id), nullptr, ERROR_INVALID_PARAMETER);
  Handle hinted(CreateThread(nullptr, 0, ReturnParameter, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  EXPECT_NE(hinted.Get(), nullptr) << "a stack size hint is accepted";

  Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_LAST_ERROR(GetExitCodeThread(event, &code), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_LAST_ERROR(GetExitCodeThread(nullptr, &code), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetThreadId(event), 0u);
  HANDLE syncOnly = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hinted, GetCurrentProcess(), &syncOnly, SYNCHRONIZE, FALSE, 0));
  Handle owner(syncOnly);
  EXPECT_EQ(WaitForSingleObject(syncOnly, kLongWait), WAIT_OBJECT_0);
  EXPECT_LAST_ERROR(GetExitCodeThread(syncOnly, &code), FALSE, ERROR_ACCESS_DENIED) << "needs the query right";
}

TEST(GetCurrentThread, PseudoHandleDuplicatesToARealOneForAnyThread) {
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_TRUE(CloseHandle(GetCurrentThread())) << "closing a pseudo handle does nothing";

  HANDLE real = nullptr;
  DWORD foreignId = 0;
  std::thread foreign([&] {  // not started by CreateThread
    foreignId = GetCurrentThreadId();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &real, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
  });
  foreign.join();
  Handle owner(real);
  EXPECT_EQ(GetThreadId(real), foreignId);
  EXPECT_EQ(WaitForSingleObject(real, kLongWait), WAIT_OBJECT_0) << "signalled when that thread ended";
  ASSERT_TRUE(GetExitCodeThread(real, &code));
  EXPECT_EQ(code, 0u);
}

TEST(GetLastError, IsPerThreadAndIdsAreDistinct) {
  std::atomic<DWORD> seenAtStart{99};
  constexpr size_t kThreads = 8;
  std::atomic<DWORD> ids[kThreads] = {};
  Handle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      seenAtStart = GetLastError();
      SetLastError(5678);
      ids[i] = GetCurrentThreadId();
      WaitForSingleObject(go, kLongWait);  // all alive at once
    });
  EXPECT_TRUE(paltest::Eventually([&] { return std::none_of(ids, ids + kThreads, [](auto& id) { return id == 0u; }); }));
  SetEvent(go);
  SetLastError(1234);
  for (auto& t : threads) t.join();
  EXPECT_EQ(seenAtStart.load(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), 1234u);
  std::vector<DWORD> all{GetCurrentThreadId()};
  for (auto& id : ids) all.push_back(id.load());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_NE(all.front(), 0u);
}
