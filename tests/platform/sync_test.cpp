// Events, mutexes, waits, handles, critical sections and interlocked
// operations of the Linux kernel layer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kernel_test_support.h"
#include "linux/pal_kernel.h"

using trxtest::eventually;
using trxtest::kLongWait;
using trxtest::OwnedHandle;

namespace {

// A name no other test uses.
std::u16string uniqueName(const char16_t* stem) {
  static std::atomic<int> counter{0};
  std::u16string name = u"trx-sync-test-";
  name += stem;
  name += u'-';
  for (char c : std::to_string(++counter)) name += static_cast<char16_t>(c);
  return name;
}

bool isSignaled(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }

}  // namespace

// ---- CreateEventW ------------------------------------------------------------------------

TEST(CreateEventW, InitialStateAndResetMode) {
  struct Case {
    const char* what;
    BOOL manual;
    BOOL initial;
    DWORD firstWait;
    DWORD secondWait;
  };
  const Case cases[] = {
      {"manual, signalled: stays signalled", TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
      {"auto, signalled: one wait consumes it", FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
      {"manual, not signalled", TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {"auto, not signalled", FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OwnedHandle event(CreateEventW(nullptr, c.manual, c.initial, nullptr));
    ASSERT_NE(event.get(), nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.firstWait);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.secondWait);
  }
}

TEST(CreateEventW, NamedEventIsOpenedWhenItExists) {
  std::u16string name = uniqueName(u"reopen");
  SetLastError(ERROR_INVALID_PARAMETER);
  OwnedHandle first(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_NE(first.get(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "a new object clears the last error";

  // Reset mode and initial state of the second call are ignored.
  OwnedHandle second(CreateEventW(nullptr, FALSE, TRUE, name.c_str()));
  ASSERT_NE(second.get(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(first.get(), second.get());
  EXPECT_FALSE(isSignaled(second)) << "initial state of the reopening call must be ignored";

  ASSERT_TRUE(SetEvent(second));
  EXPECT_TRUE(isSignaled(first));
  EXPECT_TRUE(isSignaled(first)) << "still manual reset";
}

TEST(CreateEventW, NamedObjectLivesWhileAnyHandleIsOpen) {
  std::u16string name = uniqueName(u"lifetime");
  OwnedHandle first(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  OwnedHandle second(OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str()));
  ASSERT_NE(second.get(), nullptr);
  first.reset();
  ASSERT_TRUE(SetEvent(second));
  OwnedHandle third(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(isSignaled(third)) << "same object as the one still open";

  second.reset();
  third.reset();
  OwnedHandle fresh(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "all handles closed: a new object";
  EXPECT_FALSE(isSignaled(fresh));
}

TEST(CreateEventW, PrefixesArePartOfTheName) {
  std::u16string name = uniqueName(u"prefix");
  OwnedHandle plain(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  OwnedHandle global(CreateEventW(nullptr, TRUE, FALSE, (u"Global\\" + name).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  OwnedHandle local(CreateEventW(nullptr, TRUE, FALSE, (u"Local\\" + name).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(SetEvent(global));
  EXPECT_FALSE(isSignaled(plain));
  EXPECT_FALSE(isSignaled(local));
}

TEST(CreateEventW, NameOfAnotherKindFails) {
  std::u16string mutexName = uniqueName(u"kind-mutex");
  OwnedHandle mutex(CreateMutexW(nullptr, FALSE, mutexName.c_str()));
  ASSERT_NE(mutex.get(), nullptr);
  EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, mutexName.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, mutexName.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  std::u16string eventName = uniqueName(u"kind-event");
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, eventName.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, eventName.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- OpenEventW ----------------------------------------------------------------------------

TEST(OpenEventW, MissingOrInvalidName) {
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, uniqueName(u"missing").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(OpenEventW, AccessRightsLimitTheHandle) {
  struct Case {
    const char* what;
    DWORD access;
    bool canSet;
    bool canWait;
  };
  const Case cases[] = {
      {"EVENT_ALL_ACCESS", EVENT_ALL_ACCESS, true, true},
      {"SYNCHRONIZE", SYNCHRONIZE, false, true},
      {"EVENT_MODIFY_STATE", EVENT_MODIFY_STATE, true, false},
      {"both", SYNCHRONIZE | EVENT_MODIFY_STATE, true, true},
      {"GENERIC_ALL", GENERIC_ALL, true, true},
  };
  std::u16string name = uniqueName(u"access");
  OwnedHandle owner(CreateEventW(nullptr, TRUE, TRUE, name.c_str()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OwnedHandle h(OpenEventW(c.access, FALSE, name.c_str()));
    ASSERT_NE(h.get(), nullptr);
    EXPECT_EQ(SetEvent(h) != FALSE, c.canSet);
    if (!c.canSet) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(ResetEvent(h) != FALSE, c.canSet);
    ASSERT_TRUE(SetEvent(owner));
    DWORD wait = WaitForSingleObject(h, 0);
    if (c.canWait) {
      EXPECT_EQ(wait, WAIT_OBJECT_0);
    } else {
      EXPECT_EQ(wait, WAIT_FAILED);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
  }
}

// ---- SetEvent / ResetEvent -------------------------------------------------------------------

TEST(SetEvent, AutoResetReleasesOneWaiterPerSignal) {
  OwnedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, kLongWait) == WAIT_OBJECT_0) ++released;
    });
  }
  // Give both a chance to block before signalling (correctness does not
  // depend on it: an unconsumed signal stays set).
  Sleep(20);
  ASSERT_TRUE(SetEvent(event));
  ASSERT_TRUE(eventually([&] { return released.load() >= 1; }));
  Sleep(50);
  EXPECT_EQ(released.load(), 1) << "one signal of an auto-reset event releases exactly one waiter";
  EXPECT_FALSE(isSignaled(event)) << "the released waiter consumed the signal";
  ASSERT_TRUE(SetEvent(event));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 2);
}

TEST(SetEvent, ManualResetReleasesAllWaiters) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, kLongWait) == WAIT_OBJECT_0) ++released;
    });
  }
  ASSERT_TRUE(SetEvent(event));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 4);
  EXPECT_TRUE(isSignaled(event));
}

TEST(SetEvent, WrongHandleKindsFail) {
  OwnedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(closed);
  struct Case {
    const char* what;
    HANDLE h;
  };
  const Case cases[] = {
      {"mutex", mutex.get()},
      {"closed event", closed},
      {"NULL", nullptr},
      {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
      {"current thread", GetCurrentThread()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(c.h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ResetEvent(c.h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

TEST(ResetEvent, ClearsManualEvent) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  ASSERT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
}

// ---- mutexes -------------------------------------------------------------------------------

// Runs f on a new thread and waits for it.
template <class F>
void onOtherThread(F f) {
  std::thread t(f);
  t.join();
}

TEST(ReleaseMutex, OwnershipIsRecursive) {
  for (int depth : {1, 2, 5}) {
    SCOPED_TRACE(depth);
    OwnedHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
    for (int i = 1; i < depth; ++i) ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    for (int i = 0; i < depth; ++i) {
      onOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT) << "still owned"; });
      ASSERT_TRUE(ReleaseMutex(mutex));
    }
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    onOtherThread([&] {
      EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "free after the last release";
      EXPECT_TRUE(ReleaseMutex(mutex));
    });
  }
}

TEST(ReleaseMutex, NonOwnerFails) {
  OwnedHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
  onOtherThread([&] {
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  });
  OwnedHandle unowned(CreateMutexW(nullptr, FALSE, nullptr));
  EXPECT_FALSE(ReleaseMutex(unowned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_TRUE(ReleaseMutex(mutex));
}

TEST(ReleaseMutex, WrongHandleKindFails) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(ReleaseMutex(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(CreateMutexW, WaiterGetsMutexWhenOwnerReleases) {
  OwnedHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
  std::atomic<bool> acquired{false};
  std::thread waiter([&] {
    EXPECT_EQ(WaitForSingleObject(mutex, kLongWait), WAIT_OBJECT_0);
    acquired = true;
    EXPECT_TRUE(ReleaseMutex(mutex));
  });
  Sleep(20);
  EXPECT_FALSE(acquired.load());
  ASSERT_TRUE(ReleaseMutex(mutex));
  waiter.join();
  EXPECT_TRUE(acquired.load());
}

TEST(CreateMutexW, NamedReopenIgnoresInitialOwner) {
  std::u16string name = uniqueName(u"mutex");
  OwnedHandle first(CreateMutexW(nullptr, TRUE, name.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  onOtherThread([&] {
    OwnedHandle second(CreateMutexW(nullptr, TRUE, name.c_str()));
    ASSERT_NE(second.get(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(ReleaseMutex(second)) << "the reopening thread must not own it";
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT) << "the first creator owns it";
  });
  OwnedHandle opened(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  ASSERT_NE(opened.get(), nullptr);
  EXPECT_TRUE(ReleaseMutex(opened)) << "ownership belongs to the thread, whichever handle";
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, uniqueName(u"none").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(CreateMutexW, OwnerEndingAbandonsIt) {
  OwnedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  onOtherThread([&] {
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // recursion is dropped too
  });
  EXPECT_EQ(WaitForSingleObject(mutex, kLongWait), WAIT_ABANDONED);
  onOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT) << "the new owner holds it"; });
  ASSERT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex)) << "one level of ownership only";
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "abandonment is reported once";
  ASSERT_TRUE(ReleaseMutex(mutex));
}

TEST(CreateMutexW, AbandonedWhileAnotherThreadWaits) {
  OwnedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  OwnedHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle finish(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread owner([&] {
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    SetEvent(taken);
    WaitForSingleObject(finish, kLongWait);
  });
  ASSERT_EQ(WaitForSingleObject(taken, kLongWait), WAIT_OBJECT_0);
  OwnedHandle other(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE handles[] = {other, mutex};
  std::thread waiter([&] { EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, kLongWait), WAIT_ABANDONED_0 + 1); });
  SetEvent(finish);
  owner.join();
  waiter.join();
}

// ---- WaitForSingleObject / WaitForMultipleObjects ----------------------------------------------

TEST(WaitForSingleObject, TimesOutAndWakesUp) {
  OwnedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
  std::thread setter([&] {
    Sleep(20);
    SetEvent(event);
  });
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  setter.join();
}

TEST(WaitForSingleObject, BadHandlesFail) {
  HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  CloseHandle(closed);
  const HANDLE cases[] = {nullptr, INVALID_HANDLE_VALUE, closed, reinterpret_cast<HANDLE>(0x12345)};
  for (HANDLE h : cases) {
    SCOPED_TRACE(reinterpret_cast<uintptr_t>(h));
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

TEST(WaitForMultipleObjects, AnyReturnsLowestSignalledIndexAndTakesOnlyIt) {
  struct Case {
    const char* what;
    std::vector<int> signalled;
    DWORD expected;
  };
  const Case cases[] = {
      {"only the last", {3}, WAIT_OBJECT_0 + 3},
      {"two: the lower wins", {2, 1}, WAIT_OBJECT_0 + 1},
      {"all", {0, 1, 2, 3}, WAIT_OBJECT_0},
      {"none", {}, WAIT_TIMEOUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<OwnedHandle> events;
    std::vector<HANDLE> handles;
    for (int i = 0; i < 4; ++i) {
      events.emplace_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
      handles.push_back(events.back());
    }
    for (int i : c.signalled) SetEvent(handles[i]);
    EXPECT_EQ(WaitForMultipleObjects(4, handles.data(), FALSE, 0), c.expected);
    for (int i : c.signalled) {
      bool taken = c.expected == WAIT_OBJECT_0 + static_cast<DWORD>(i);
      EXPECT_EQ(isSignaled(handles[i]), !taken) << "event " << i;
    }
  }
}

TEST(WaitForMultipleObjects, AllTakesNothingUntilEverythingIsSignalled) {
  OwnedHandle a(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  OwnedHandle b(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  OwnedHandle c(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HANDLE handles[] = {a, b, c};
  EXPECT_EQ(WaitForMultipleObjects(3, handles, TRUE, 50), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_OBJECT_0) << "a untouched by the failed wait-all";
  SetEvent(a);
  std::thread setter([&] {
    Sleep(20);
    SetEvent(c);
  });
  EXPECT_EQ(WaitForMultipleObjects(3, handles, TRUE, kLongWait), WAIT_OBJECT_0);
  setter.join();
  for (HANDLE h : handles) EXPECT_FALSE(isSignaled(h)) << "all auto-reset events consumed together";
}

TEST(WaitForMultipleObjects, AllWithMutexOwnedElsewhere) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  OwnedHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
  HANDLE handles[] = {event, mutex};
  std::atomic<DWORD> result{0};
  std::thread waiter([&] {
    result = WaitForMultipleObjects(2, handles, TRUE, kLongWait);
    if (result == WAIT_OBJECT_0) ReleaseMutex(mutex);
  });
  Sleep(20);
  ASSERT_TRUE(ReleaseMutex(mutex));
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
}

TEST(WaitForMultipleObjects, SixtyFourHandles) {
  std::vector<OwnedHandle> events;
  std::vector<HANDLE> handles;
  for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
    events.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    handles.push_back(events.back());
  }
  SetEvent(handles.back());
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, 0),
            WAIT_OBJECT_0 + MAXIMUM_WAIT_OBJECTS - 1);
  for (HANDLE h : handles) SetEvent(h);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), TRUE, 0), WAIT_OBJECT_0);
}

TEST(WaitForMultipleObjects, InvalidArguments) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  OwnedHandle copy;
  {
    HANDLE duplicate = nullptr;
    ASSERT_TRUE(
        DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS));
    copy = OwnedHandle(duplicate);
  }
  std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, event.get());
  HANDLE twice[] = {event, event};
  HANDLE sameObject[] = {event, copy};
  HANDLE withBad[] = {event, reinterpret_cast<HANDLE>(0x4321)};
  struct Case {
    const char* what;
    DWORD count;
    const HANDLE* handles;
    BOOL all;
    DWORD error;
  };
  const Case cases[] = {
      {"no handles", 0, twice, FALSE, ERROR_INVALID_PARAMETER},
      {"too many", MAXIMUM_WAIT_OBJECTS + 1, many.data(), FALSE, ERROR_INVALID_PARAMETER},
      {"null array", 1, nullptr, FALSE, ERROR_INVALID_PARAMETER},
      {"same handle twice, wait all", 2, twice, TRUE, ERROR_INVALID_PARAMETER},
      {"same object twice, wait all", 2, sameObject, TRUE, ERROR_INVALID_PARAMETER},
      {"bad handle", 2, withBad, FALSE, ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, c.all, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error));
  }
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0) << "duplicates are fine for wait-any";
}

// ---- CloseHandle / DuplicateHandle ------------------------------------------------------------

TEST(CloseHandle, EachHandleClosesOnce) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_TRUE(CloseHandle(event));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE again = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(again, event) << "handle values are not reused";
  CloseHandle(again);
}

TEST(DuplicateHandle, SharesTheObjectWithItsOwnRights) {
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE waitOnly = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &waitOnly, SYNCHRONIZE, FALSE, 0));
  OwnedHandle owned(waitOnly);
  EXPECT_FALSE(SetEvent(waitOnly));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetEvent(event);
  EXPECT_TRUE(isSignaled(waitOnly));

  HANDLE moved = nullptr;
  HANDLE source = event.release();
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &moved, 0, FALSE,
                              DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
  OwnedHandle movedOwner(moved);
  EXPECT_FALSE(CloseHandle(source)) << "DUPLICATE_CLOSE_SOURCE closed it";
  EXPECT_TRUE(ResetEvent(moved)) << "same access as the source";
  EXPECT_FALSE(isSignaled(waitOnly));

  HANDLE ignored = nullptr;
  EXPECT_FALSE(DuplicateHandle(nullptr, moved, GetCurrentProcess(), &ignored, 0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- critical sections --------------------------------------------------------------------

TEST(EnterCriticalSection, RecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs)) << "the owner may enter again";
  onOtherThread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)); });
  LeaveCriticalSection(&cs);
  onOtherThread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "still held once"; });
  LeaveCriticalSection(&cs);
  onOtherThread([&] {
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
  });

  // Unprotected increments would lose updates (and the thread sanitizer
  // would report them).
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&cs);
        counter = counter + 1;
        LeaveCriticalSection(&cs);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
  DeleteCriticalSection(&cs);
}

TEST(InitializeCriticalSectionAndSpinCount, WorksLikeInitialize) {
  CRITICAL_SECTION cs;
  EXPECT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 4000));
  EnterCriticalSection(&cs);
  onOtherThread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)); });
  LeaveCriticalSection(&cs);
  DeleteCriticalSection(&cs);
}

// ---- interlocked -----------------------------------------------------------------------------

TEST(Interlocked, ReturnValues) {
  struct Case {
    const char* what;
    LONG start;
    LONG (*op)(LONG volatile*);
    LONG returned;
    LONG after;
  };
  const Case cases[] = {
      {"increment returns the new value", 5, [](LONG volatile* p) { return InterlockedIncrement(p); }, 6, 6},
      {"decrement returns the new value", 5, [](LONG volatile* p) { return InterlockedDecrement(p); }, 4, 4},
      {"increment wraps", 0x7FFFFFFF, [](LONG volatile* p) { return InterlockedIncrement(p); },
       static_cast<LONG>(0x80000000u), static_cast<LONG>(0x80000000u)},
      {"exchange returns the old value", 5, [](LONG volatile* p) { return InterlockedExchange(p, 9); }, 5, 9},
      {"compare-exchange, match", 5, [](LONG volatile* p) { return InterlockedCompareExchange(p, 9, 5); }, 5, 9},
      {"compare-exchange, no match", 5, [](LONG volatile* p) { return InterlockedCompareExchange(p, 9, 4); }, 5, 5},
      {"exchange-add returns the old value", 5, [](LONG volatile* p) { return InterlockedExchangeAdd(p, 3); }, 5, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LONG volatile value = c.start;
    EXPECT_EQ(c.op(&value), c.returned);
    EXPECT_EQ(value, c.after);
  }
}

TEST(Interlocked, ConcurrentIncrementsAreNotLost) {
  LONG volatile counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50000; ++i) InterlockedIncrement(&counter);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 200000);
}
