// Helpers for the kernel, user and COM layer tests: a closing handle owner
// and a bounded wait for a condition.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "linux/pal_kernel.h"

namespace trxtest {

// Closes the handle it owns.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : h_(h) {}
  ~OwnedHandle() { reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& other) noexcept : h_(other.release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = other.release();
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  operator HANDLE() const { return h_; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// Generous bound for anything that must happen "soon" on another thread.
inline constexpr DWORD kLongWait = 10000;

// Polls until condition() holds or kLongWait has passed; returns the last
// value of condition().
inline bool eventually(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongWait);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace trxtest
