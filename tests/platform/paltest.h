// Helpers of the platform layer's tests: a handle owner usable as a HANDLE,
// a bound for waits on other threads, and the check of a Win32 call's result
// with the last error it leaves, one case per line.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/trxplatform.h"

namespace paltest {

struct Handle : TrxHandle {
  using TrxHandle::TrxHandle;
  operator HANDLE() const { return Get(); }
};

// Bound of every wait for something that will happen soon on another thread.
inline constexpr DWORD kLongWait = 10000;

// Runs f on a new thread (a fresh message queue, no COM) and waits for it.
inline void OnNewThread(const std::function<void()>& f) { std::thread(f).join(); }

// Polls until condition() holds or kLongWait has passed.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongWait);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// A call's result with the last error it left, read right after the call.
template <class T>
struct Outcome {
  explicit Outcome(T v) : value(v), error(GetLastError()) {}
  T value;
  DWORD error;
};

template <class T, class R>
testing::AssertionResult Gives(const char* call, const Outcome<T>& outcome, R result, DWORD error) {
  if (outcome.value == result && outcome.error == error) return testing::AssertionSuccess();
  return testing::AssertionFailure() << call << " gave " << testing::PrintToString(outcome.value) << ", error "
                                     << outcome.error << "; expected " << testing::PrintToString(result) << ", error "
                                     << error;
}

}  // namespace paltest

// `call` returns `result` and leaves `error` as the thread's last error.
#define EXPECT_LAST_ERROR(call, result, error) \
  EXPECT_TRUE(                                 \
      paltest::Gives(#call, (SetLastError(0xDEADu), paltest::Outcome((call))), (result), static_cast<DWORD>(error)))
