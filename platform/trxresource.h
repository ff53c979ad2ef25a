// Owners for kernel handles and critical sections, the same on both platforms.
#pragma once

#include <utility>

// Owns a kernel handle: closes it on destruction. Both NULL and
// INVALID_HANDLE_VALUE count as "no handle".
class TrxHandle {
 public:
  TrxHandle() noexcept = default;
  explicit TrxHandle(HANDLE handle) noexcept : m_handle(handle) {}
  TrxHandle(const TrxHandle&) = delete;
  TrxHandle& operator=(const TrxHandle&) = delete;
  TrxHandle(TrxHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  TrxHandle& operator=(TrxHandle&& other) noexcept {
    if (this != &other) Attach(std::exchange(other.m_handle, nullptr));
    return *this;
  }
  ~TrxHandle() { Close(); }

  HANDLE Get() const noexcept { return m_handle; }
  bool IsValid() const noexcept { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
  explicit operator bool() const noexcept { return IsValid(); }
  void Attach(HANDLE handle) noexcept {
    Close();
    m_handle = handle;
  }
  HANDLE Detach() noexcept { return std::exchange(m_handle, nullptr); }
  void Close() noexcept {
    if (IsValid()) CloseHandle(m_handle);
    m_handle = nullptr;
  }

 private:
  HANDLE m_handle = nullptr;
};

// A critical section that lives as long as its owner.
class TrxCriticalSection {
 public:
  TrxCriticalSection() noexcept { InitializeCriticalSection(&m_section); }
  TrxCriticalSection(const TrxCriticalSection&) = delete;
  TrxCriticalSection& operator=(const TrxCriticalSection&) = delete;
  ~TrxCriticalSection() { DeleteCriticalSection(&m_section); }
  void Enter() noexcept { EnterCriticalSection(&m_section); }
  void Leave() noexcept { LeaveCriticalSection(&m_section); }

 private:
  CRITICAL_SECTION m_section;
};

// Holds a critical section for a scope.
class TrxLock {
 public:
  explicit TrxLock(TrxCriticalSection& section) noexcept : m_section(section) { m_section.Enter(); }
  TrxLock(const TrxLock&) = delete;
  TrxLock& operator=(const TrxLock&) = delete;
  ~TrxLock() { m_section.Leave(); }

 private:
  TrxCriticalSection& m_section;
};
