// Service-wide state: one per service process, owned by the root
// application object and current for its lifetime. It holds the submit
// time-out, the host-unloaded flag, the last operation time and the last
// error, which the automation objects read and write; and the state of the
// service's calls: the recorder switch and its guard, the loopback-test
// mode, the log file, the host session and operation ids, the pending
// composite recorder event and the wait for the host to be idle.
#pragma once

#include <atomic>
#include <memory>

#include "log/nvtrxlasterror.h"
#include "log/nvtrxlog.h"
#include "log/nvtrxresult.h"
#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

class CNVTRXServiceState {
 public:
  static constexpr DWORD kDefaultSubmitTimeout = 60000;
  // The pause between the two waits for the idle signal, unless the
  // environment variable TRXIDLEPAUSE gives another (0 to kMaxIdlePause ms).
  static constexpr DWORD kDefaultIdlePause = 100;
  static constexpr DWORD kMaxIdlePause = 60000;

  // `owner` is the object that reports in the state's name (the root).
  explicit CNVTRXServiceState(const CNVTRXLogSubject* owner = nullptr);
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

  // The host application object the service talks to (empty until the
  // client is ready).
  void SetHost(INVAutomation* host) { m_spHost = host; }
  bool HasHost() const noexcept { return static_cast<bool>(m_spHost); }

  // ---- recording ----
  // Switches the host's recorder; -1018 without a client, -1023 when it refuses.
  TRXRESULT EnableRecording(bool on);
  bool IsRecording() const noexcept { return m_bRecording; }
  bool IsLoopbackTests() const noexcept { return m_bLoopbackTests; }
  void SetLoopbackTests(bool on) noexcept { m_bLoopbackTests = on; }
  // Process-wide flag of the recording guard.
  static bool IsRecordingSuspended() noexcept;

  // Keeps the host from recording the service's own actions for a scope.
  class SuspendRecording {
   public:
    explicit SuspendRecording(CNVTRXServiceState* state);
    ~SuspendRecording();
    SuspendRecording(const SuspendRecording&) = delete;
    SuspendRecording& operator=(const SuspendRecording&) = delete;

   private:
    CNVTRXServiceState* m_state;
    bool m_bSwitchedOff = false;  // this guard switched the host's recorder off
  };

  // The composite recorder event waiting for the end of its Enter key.
  void SetPendingRecordEvent(TrxStringView descriptor, TrxStringView method, const VARIANT& arguments);
  void ClearPendingRecordEvent();
  const TrxString& GetPendingDescriptor() const noexcept { return m_strPendingODS; }
  const TrxString& GetPendingMethod() const noexcept { return m_strPendingMethod; }
  const TrxVariant& GetPendingArguments() const noexcept { return m_pendingArgs; }

  // ---- log file ----
  TRXRESULT EnableLogging(bool on, const OLECHAR* fileName, bool append);
  CNVTRXLogFile* GetLogFile() const noexcept { return m_pLogFile.get(); }

  // ---- session and operation ids ----
  // Reads the host's "SessionID"; true when it changed (the operation
  // counter then starts again at 0).
  bool RefreshSessionId();
  TRXRESULT SetNarmId();
  TRXRESULT SetOpId();
  TRXRESULT ClearOpId();
  const TrxString& GetSessionId() const noexcept { return m_strSessionId; }
  const TrxString& GetOperationId() const noexcept { return m_strOperationId; }

  // ---- the host's idle state ----
  // Waits for the idle signal, pauses and waits again (not while
  // recording): TRX_OK or -1019.
  TRXRESULT WaitForHostIdle();
  DWORD GetIdlePause() const noexcept { return m_idlePause.load(); }
  // False (and the pause unchanged) above kMaxIdlePause.
  bool SetIdlePause(DWORD milliseconds) noexcept;
  // -1018 when the client unloaded or never attached, -1019 when it stays busy; otherwise
  // clears the last error.
  TRXRESULT CheckReady();
  TRXRESULT MarkUnloaded();

 private:
  TRXRESULT SendOperationId(const TrxString& id, const OLECHAR* what);

  const CNVTRXLogSubject* m_owner;
  std::atomic<DWORD> m_submitTimeout{kDefaultSubmitTimeout};
  std::atomic<DWORD> m_idlePause{kDefaultIdlePause};
  std::atomic<bool> m_hostUnloaded{false};
  std::atomic<LONG> m_lastOperationTime{0};
  CNVTRXLastError m_lastError;
  TrxComPtr<INVAutomation> m_spHost;
  std::unique_ptr<CNVTRXLogFile> m_pLogFile;
  bool m_bRecording = false;
  bool m_bLoopbackTests = false;
  TrxString m_strSessionId;
  TrxString m_strOperationId;
  LONG m_nOperationCounter = 0;
  TrxString m_strPendingODS;
  TrxString m_strPendingMethod;
  TrxVariant m_pendingArgs;
};
