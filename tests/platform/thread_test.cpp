// Threads of the Linux kernel layer: creation, ids, exit codes, thread
// handles and the per-thread last error.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "kernel_test_support.h"
#include "linux/pal_kernel.h"

using trxtest::kLongWait;
using trxtest::OwnedHandle;

namespace {

DWORD WINAPI returnParameter(LPVOID parameter) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter)); }

struct IdProbe {
  std::atomic<DWORD> threadId{0};
  std::atomic<DWORD> processId{0};
};

DWORD WINAPI recordIds(LPVOID parameter) {
  auto* probe = static_cast<IdProbe*>(parameter);
  probe->threadId = GetCurrentThreadId();
  probe->processId = GetCurrentProcessId();
  return 0;
}

DWORD WINAPI waitForEvent(LPVOID parameter) {
  return WaitForSingleObject(static_cast<HANDLE>(parameter), kLongWait) == WAIT_OBJECT_0 ? 5 : 6;
}

}  // namespace

TEST(CreateThread, ExitCodeIsTheStartRoutineResult) {
  const DWORD codes[] = {0, 1, 42, 0xDEADBEEF, 0xFFFFFFFF};
  for (DWORD code : codes) {
    SCOPED_TRACE(code);
    OwnedHandle thread(
        CreateThread(nullptr, 0, returnParameter, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(code)), 0, nullptr));
    ASSERT_NE(thread.get(), nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
    DWORD exitCode = 12345;
    ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(exitCode, code);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
  }
}

TEST(CreateThread, StillActiveUntilItEnds) {
  OwnedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle thread(CreateThread(nullptr, 0, waitForEvent, go.get(), 0, nullptr));
  ASSERT_NE(thread.get(), nullptr);
  DWORD exitCode = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
  EXPECT_EQ(exitCode, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  SetEvent(go);
  ASSERT_EQ(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
  EXPECT_EQ(exitCode, 5u);
}

TEST(CreateThread, ThreadIdMatchesTheNewThread) {
  IdProbe probe;
  DWORD reportedId = 0;
  OwnedHandle thread(CreateThread(nullptr, 64 * 1024, recordIds, &probe, 0, &reportedId));
  ASSERT_NE(thread.get(), nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
  EXPECT_NE(reportedId, 0u);
  EXPECT_EQ(reportedId, probe.threadId.load());
  EXPECT_EQ(GetThreadId(thread), reportedId);
  EXPECT_NE(reportedId, GetCurrentThreadId());
  EXPECT_EQ(probe.processId.load(), GetCurrentProcessId());
}

TEST(CreateThread, ClosingTheHandleDetachesARunningThread) {
  OwnedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  struct Work {
    HANDLE go;
    HANDLE done;
  } work{go, done};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        auto* w = static_cast<Work*>(p);
        WaitForSingleObject(w->go, kLongWait);
        SetEvent(w->done);
        return 0;
      },
      &work, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(done, kLongWait), WAIT_OBJECT_0) << "the thread kept running";
}

TEST(CreateThread, UnsupportedRequestsFail) {
  struct Case {
    const char* what;
    LPTHREAD_START_ROUTINE start;
    DWORD flags;
    DWORD error;
  };
  const Case cases[] = {
      {"CREATE_SUSPENDED", returnParameter, CREATE_SUSPENDED, ERROR_NOT_SUPPORTED},
      {"unknown flag", returnParameter, 0x8, ERROR_INVALID_PARAMETER},
      {"no start routine", nullptr, 0, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DWORD id = 77;
    EXPECT_EQ(CreateThread(nullptr, 0, c.start, nullptr, c.flags, &id), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  OwnedHandle thread(CreateThread(nullptr, 0, returnParameter, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  EXPECT_NE(thread.get(), nullptr) << "a stack size hint is accepted";
  WaitForSingleObject(thread, kLongWait);
}

TEST(CreateThread, ManyThreadsAllEnd) {
  std::vector<OwnedHandle> threads;
  std::vector<HANDLE> handles;
  for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
    threads.emplace_back(
        CreateThread(nullptr, 0, returnParameter, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(i)), 0, nullptr));
    ASSERT_NE(threads.back().get(), nullptr);
    handles.push_back(threads.back());
  }
  ASSERT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), TRUE, kLongWait), WAIT_OBJECT_0);
  for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(handles[i], &code));
    EXPECT_EQ(code, static_cast<DWORD>(i));
  }
}

TEST(GetExitCodeThread, OtherHandleKindsFail) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(event, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetThreadId(event), 0u);
}

TEST(GetExitCodeThread, NeedsQueryRight) {
  OwnedHandle thread(CreateThread(nullptr, 0, returnParameter, nullptr, 0, nullptr));
  HANDLE syncOnly = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &syncOnly, SYNCHRONIZE, FALSE, 0));
  OwnedHandle owner(syncOnly);
  EXPECT_EQ(WaitForSingleObject(syncOnly, kLongWait), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(syncOnly, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(GetCurrentThread, PseudoHandleDuplicatesToARealOne) {
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_TRUE(CloseHandle(GetCurrentThread())) << "closing a pseudo handle does nothing";

  // A thread not started by CreateThread gets a thread object too.
  HANDLE real = nullptr;
  DWORD foreignId = 0;
  std::thread foreign([&] {
    foreignId = GetCurrentThreadId();
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &real, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
  });
  foreign.join();
  OwnedHandle owner(real);
  ASSERT_NE(real, nullptr);
  EXPECT_EQ(GetThreadId(real), foreignId);
  EXPECT_EQ(WaitForSingleObject(real, kLongWait), WAIT_OBJECT_0) << "signalled when that thread ended";
  ASSERT_TRUE(GetExitCodeThread(real, &code));
  EXPECT_EQ(code, 0u);
}

TEST(GetLastError, IsPerThread) {
  SetLastError(1234);
  std::atomic<DWORD> seenAtStart{99};
  std::thread other([&] {
    seenAtStart = GetLastError();
    SetLastError(5678);
  });
  other.join();
  EXPECT_EQ(seenAtStart.load(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(GetCurrentThreadId, DistinctPerLiveThread) {
  constexpr size_t kThreads = 8;
  std::atomic<DWORD> ids[kThreads] = {};
  OwnedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ids[i] = GetCurrentThreadId();
      WaitForSingleObject(go, kLongWait);  // keep all alive at once
    });
  }
  EXPECT_TRUE(trxtest::eventually([&] {
    for (auto& id : ids)
      if (id.load() == 0) return false;
    return true;
  }));
  SetEvent(go);
  for (auto& t : threads) t.join();
  std::vector<DWORD> all;
  for (auto& id : ids) all.push_back(id.load());
  all.push_back(GetCurrentThreadId());
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_NE(all[i], 0u);
    for (size_t j = i + 1; j < all.size(); ++j) EXPECT_NE(all[i], all[j]);
  }
}

TEST(Sleep, ZeroReturnsAndSwitchToThreadSucceeds) {
  Sleep(0);
  EXPECT_TRUE(SwitchToThread());
}
