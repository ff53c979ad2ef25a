// Service-wide state that the automation objects read and write: the
// submit time-out, the host-unloaded flag, the last operation time and the
// last error. The root application object owns one and makes it current
// for its lifetime; there is one per service process.
#pragma once

#include <atomic>

#include "platform/trxplatform.h"
#include "service/nvtrxlasterror.h"

class CNVTRXServiceState {
 public:
  static constexpr DWORD kDefaultSubmitTimeout = 60000;

  CNVTRXServiceState();
  ~CNVTRXServiceState();
  CNVTRXServiceState(const CNVTRXServiceState&) = delete;
  CNVTRXServiceState& operator=(const CNVTRXServiceState&) = delete;

  // The state of the running service, or nullptr while there is none.
  static CNVTRXServiceState* Current() noexcept;

  DWORD GetSubmitTimeout() const noexcept { return m_submitTimeout.load(); }
  void SetSubmitTimeout(DWORD milliseconds) noexcept { m_submitTimeout.store(milliseconds); }
  bool IsHostUnloaded() const noexcept { return m_hostUnloaded.load(); }
  void SetHostUnloaded(bool unloaded) noexcept { m_hostUnloaded.store(unloaded); }
  LONG GetLastOperationTime() const noexcept { return m_lastOperationTime.load(); }
  void SetLastOperationTime(LONG milliseconds) noexcept { m_lastOperationTime.store(milliseconds); }
  CNVTRXLastError& LastError() noexcept { return m_lastError; }
  const CNVTRXLastError& LastError() const noexcept { return m_lastError; }

 private:
  std::atomic<DWORD> m_submitTimeout{kDefaultSubmitTimeout};
  std::atomic<bool> m_hostUnloaded{false};
  std::atomic<LONG> m_lastOperationTime{0};
  CNVTRXLastError m_lastError;
};
