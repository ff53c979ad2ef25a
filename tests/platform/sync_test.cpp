// Events, mutexes, waits, handles and critical sections of the Linux kernel
// layer.
#include <atomic>
#include <string>
#include <vector>

#include "paltest.h"

using paltest::Eventually;
using paltest::Handle;
using paltest::kLongWait;
using paltest::OnNewThread;

namespace {

// A name no other test uses.
std::u16string UniqueName(const char16_t* stem) {
  static std::atomic<int> counter{0};
  return u"trx-sync-test-" + std::u16string(stem) + TrxWiden("-" + std::to_string(++counter));
}

bool Signalled(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }

HANDLE NewEvent(BOOL manual, BOOL initial, const std::u16string& name = {}) {
  return CreateEventW(nullptr, manual, initial, name.empty() ? nullptr : name.c_str());
}

}  // namespace

TEST(CreateEventW, ResetModesAndInitialState) {
  // clang-format off
  const struct { BOOL manual, initial; DWORD first, second; } cases[] = {
      {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
      {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
      {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
  };
  // clang-format on
  for (const auto& c : cases) {
    Handle event(NewEvent(c.manual, c.initial));
    EXPECT_EQ(WaitForSingleObject(event, 0), c.first) << c.manual << c.initial;
    EXPECT_EQ(WaitForSingleObject(event, 0), c.second) << c.manual << c.initial;
    EXPECT_TRUE(ResetEvent(event) && !Signalled(event));
  }
}

TEST(CreateEventW, NamedEventsAreOpenedWhileAnyHandleIsOpen) {
  const std::u16string name = UniqueName(u"named");
  SetLastError(ERROR_INVALID_PARAMETER);
  Handle first(NewEvent(TRUE, FALSE, name));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "a new object clears the last error";
  Handle second(NewEvent(FALSE, TRUE, name));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(Signalled(second)) << "the reopening call's initial state is ignored";
  ASSERT_TRUE(SetEvent(second));
  EXPECT_TRUE(Signalled(first));
  EXPECT_TRUE(Signalled(first)) << "still manual reset";

  Handle opened(OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str()));
  ASSERT_NE(opened.Get(), nullptr);
  first.Close();
  second.Close();
  Handle third(NewEvent(TRUE, FALSE, name));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "one handle kept it";
  opened.Close();
  third.Close();
  Handle fresh(NewEvent(TRUE, FALSE, name));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(Signalled(fresh)) << "all handles closed: a new object";

  const std::u16string mutexName = UniqueName(u"kind");
  Handle mutex(CreateMutexW(nullptr, FALSE, mutexName.c_str()));
  EXPECT_LAST_ERROR(NewEvent(TRUE, FALSE, mutexName), nullptr, ERROR_INVALID_HANDLE);
  EXPECT_LAST_ERROR(OpenEventW(EVENT_ALL_ACCESS, FALSE, mutexName.c_str()), nullptr, ERROR_INVALID_HANDLE);
  EXPECT_LAST_ERROR(OpenEventW(EVENT_ALL_ACCESS, FALSE, UniqueName(u"none").c_str()), nullptr, ERROR_FILE_NOT_FOUND);
  EXPECT_LAST_ERROR(OpenEventW(EVENT_ALL_ACCESS, FALSE, nullptr), nullptr, ERROR_INVALID_PARAMETER);
}

TEST(OpenEventW, AccessRightsLimitTheHandle) {
  const std::u16string name = UniqueName(u"access");
  Handle owner(NewEvent(TRUE, TRUE, name));
  // clang-format off
  const struct { DWORD access; bool canSet, canWait; } cases[] = {
      {EVENT_ALL_ACCESS, true, true},
      {SYNCHRONIZE, false, true},
      {EVENT_MODIFY_STATE, true, false},
      {GENERIC_ALL, true, true},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.access);
    Handle h(OpenEventW(c.access, FALSE, name.c_str()));
    EXPECT_LAST_ERROR(SetEvent(h), c.canSet, c.canSet ? 0xDEADu : ERROR_ACCESS_DENIED);
    SetEvent(owner);
    EXPECT_LAST_ERROR(WaitForSingleObject(h, 0), c.canWait ? WAIT_OBJECT_0 : WAIT_FAILED,
                      c.canWait ? 0xDEADu : ERROR_ACCESS_DENIED);
  }
}

TEST(SetEvent, ReleasesOneWaiterOfAnAutoEventAndAllOfAManualOne) {
  for (BOOL manual : {FALSE, TRUE}) {
    Handle event(NewEvent(manual, FALSE));
    std::atomic<int> released{0};
    const int count = manual ? 4 : 2;
    std::vector<std::thread> waiters;
    for (int i = 0; i < count; ++i)
      waiters.emplace_back([&] { released += WaitForSingleObject(event, kLongWait) == WAIT_OBJECT_0; });
    Sleep(20);  // let them block; an unconsumed signal would stay set anyway
    ASSERT_TRUE(SetEvent(event));
    if (!manual) {
      EXPECT_TRUE(Eventually([&] { return released.load() == 1; }));
      Sleep(50);
      EXPECT_EQ(released.load(), 1) << "one signal, one waiter";
      EXPECT_FALSE(Signalled(event)) << "consumed by the waiter";
      SetEvent(event);
    }
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released.load(), count);
    EXPECT_EQ(Signalled(event), manual != FALSE);
  }
}

TEST(SetEvent, HandlesOfOtherKindsFail) {
  Handle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  HANDLE closed = NewEvent(TRUE, FALSE);
  CloseHandle(closed);
  for (HANDLE h : {mutex.Get(), closed, HANDLE{nullptr}, INVALID_HANDLE_VALUE, GetCurrentThread()})
    EXPECT_LAST_ERROR(SetEvent(h), FALSE, ERROR_INVALID_HANDLE);
  for (HANDLE h : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, closed, reinterpret_cast<HANDLE>(0x12345)})
    EXPECT_LAST_ERROR(WaitForSingleObject(h, 0), WAIT_FAILED, ERROR_INVALID_HANDLE);
  EXPECT_LAST_ERROR(CloseHandle(closed), FALSE, ERROR_INVALID_HANDLE) << "closed twice";
  Handle again(NewEvent(TRUE, FALSE));
  EXPECT_NE(again.Get(), closed) << "handle values are not reused";
}

TEST(ReleaseMutex, OwnershipIsRecursiveAndBelongsToTheThread) {
  for (int depth : {1, 2, 5}) {
    Handle mutex(CreateMutexW(nullptr, TRUE, nullptr));
    for (int i = 1; i < depth; ++i) ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    for (int i = 0; i < depth; ++i) {
      OnNewThread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT) << "still owned";
        EXPECT_LAST_ERROR(ReleaseMutex(mutex), FALSE, ERROR_NOT_OWNER);
      });
      ASSERT_TRUE(ReleaseMutex(mutex));
    }
    EXPECT_LAST_ERROR(ReleaseMutex(mutex), FALSE, ERROR_NOT_OWNER) << depth;
    OnNewThread([&] {
      EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "free after the last release";
      EXPECT_TRUE(ReleaseMutex(mutex));
    });
  }
  Handle event(NewEvent(TRUE, FALSE));
  EXPECT_LAST_ERROR(ReleaseMutex(event), FALSE, ERROR_INVALID_HANDLE);

  const std::u16string name = UniqueName(u"mutex");
  Handle first(CreateMutexW(nullptr, TRUE, name.c_str()));
  OnNewThread([&] {
    Handle second(CreateMutexW(nullptr, TRUE, name.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(ReleaseMutex(second)) << "the reopening thread does not own it";
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
  });
  Handle again(CreateMutexW(nullptr, FALSE, name.c_str()));
  EXPECT_TRUE(ReleaseMutex(again)) << "whichever handle names it";
}

// A mutex whose owner ends is abandoned: the next waiter, blocked or not,
// gets it with WAIT_ABANDONED, once, and owns it with one level.
TEST(CreateMutexW, AbandonedWhenItsOwnerEnds) {
  Handle mutex(CreateMutexW(nullptr, FALSE, nullptr)), other(NewEvent(TRUE, FALSE));
  Handle taken(NewEvent(TRUE, FALSE)), finish(NewEvent(TRUE, FALSE));
  std::thread owner([&] {
    WaitForSingleObject(mutex, 0);
    WaitForSingleObject(mutex, 0);  // recursion is dropped too
    SetEvent(taken);
    WaitForSingleObject(finish, kLongWait);
  });
  WaitForSingleObject(taken, kLongWait);
  std::thread waiter([&] {
    HANDLE handles[] = {other, mutex};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, kLongWait), WAIT_ABANDONED_0 + 1);
    OnNewThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT) << "the new owner holds it"; });
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex)) << "one level of ownership";
  });
  Sleep(20);  // let the waiter block
  SetEvent(finish);
  owner.join();
  waiter.join();
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "abandonment is reported once";
  ReleaseMutex(mutex);
  OnNewThread([&] { WaitForSingleObject(mutex, 0); });
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED) << "waiting on the mutex alone";
  ReleaseMutex(mutex);
}

TEST(WaitForMultipleObjects, AnyTakesTheLowestSignalledOnly) {
  // clang-format off
  const struct { std::vector<int> signalled; DWORD expected; } cases[] = {
      {{3}, WAIT_OBJECT_0 + 3},
      {{2, 1}, WAIT_OBJECT_0 + 1},
      {{}, WAIT_TIMEOUT},
  };
  // clang-format on
  for (const auto& c : cases) {
    std::vector<Handle> events;
    std::vector<HANDLE> handles;
    for (int i = 0; i < 4; ++i) handles.push_back(events.emplace_back(NewEvent(FALSE, FALSE)));
    for (int i : c.signalled) SetEvent(handles[i]);
    EXPECT_EQ(WaitForMultipleObjects(4, handles.data(), FALSE, 0), c.expected);
    for (int i : c.signalled) EXPECT_EQ(Signalled(handles[i]), c.expected != WAIT_OBJECT_0 + i) << i;
  }
  std::vector<Handle> events;
  std::vector<HANDLE> handles;
  for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) handles.push_back(events.emplace_back(NewEvent(TRUE, FALSE)));
  SetEvent(handles.back());
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, 0),
            WAIT_OBJECT_0 + MAXIMUM_WAIT_OBJECTS - 1);
  for (HANDLE h : handles) SetEvent(h);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), TRUE, 0), WAIT_OBJECT_0);
}

TEST(WaitForMultipleObjects, AllTakesNothingUntilEverythingIsSignalled) {
  Handle a(NewEvent(FALSE, TRUE)), b(NewEvent(FALSE, TRUE)), c(NewEvent(FALSE, FALSE));
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
  for (HANDLE h : handles) EXPECT_FALSE(Signalled(h)) << "all auto-reset events consumed together";

  Handle event(NewEvent(TRUE, TRUE)), mutex(CreateMutexW(nullptr, TRUE, nullptr));
  HANDLE withMutex[] = {event, mutex};
  std::atomic<DWORD> result{0};
  std::thread waiter([&] {
    result = WaitForMultipleObjects(2, withMutex, TRUE, kLongWait);
    ReleaseMutex(mutex);
  });
  Sleep(20);
  ASSERT_TRUE(ReleaseMutex(mutex));
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0) << "the mutex another thread owned";
}

TEST(WaitForMultipleObjects, InvalidArguments) {
  Handle event(NewEvent(TRUE, TRUE));
  HANDLE duplicate = nullptr;
  DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
  Handle copy(duplicate);
  std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, event.Get());
  HANDLE twice[] = {event, event}, sameObject[] = {event, copy}, withBad[] = {event, reinterpret_cast<HANDLE>(0x4321)};
  Handle other(NewEvent(TRUE, TRUE));
  HANDLE laterTwice[] = {other, event, copy};  // a pair past the first handle
  EXPECT_LAST_ERROR(WaitForMultipleObjects(0, twice, FALSE, 0), WAIT_FAILED, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many.data(), FALSE, 0), WAIT_FAILED,
                    ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(WaitForMultipleObjects(2, sameObject, TRUE, 0), WAIT_FAILED, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(WaitForMultipleObjects(3, laterTwice, TRUE, 0), WAIT_FAILED, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(WaitForMultipleObjects(2, withBad, FALSE, 0), WAIT_FAILED, ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0) << "duplicates are fine for wait-any";
}

TEST(EnterCriticalSection, RecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs)) << "the owner may enter again";
  OnNewThread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)); });
  LeaveCriticalSection(&cs);
  OnNewThread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "still held once"; });
  LeaveCriticalSection(&cs);
  OnNewThread([&] {
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
  });
  long counter = 0;  // unprotected increments would lose updates
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&cs);
        counter = counter + 1;
        LeaveCriticalSection(&cs);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
  DeleteCriticalSection(&cs);
}
