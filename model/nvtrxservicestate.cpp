#include "model/nvtrxservicestate.h"

#include "model/nvtrxrequestexecutor.h"
#include "model/nvtrxvalues.h"

namespace {
std::atomic<CNVTRXServiceState*> g_state{nullptr};
std::atomic<bool> g_recordingSuspended{false};
}  // namespace

CNVTRXServiceState::CNVTRXServiceState(const CNVTRXLogSubject* owner) : m_owner(owner) {
  OLECHAR buffer[32];
  const DWORD n = GetEnvironmentVariableW(OLESTR("TRXIDLEPAUSE"), buffer, 32);
  if (n > 0 && n < 32) {
    const TrxStringView text(buffer, n);
    const long pause = TrxParseLong(text);
    const bool number = text.find_first_not_of(OLESTR("0123456789")) == TrxStringView::npos;
    if (!number || pause < 0 || !SetIdlePause(static_cast<DWORD>(pause)))
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("TRXIDLEPAUSE=%s is not 0 to 60000 ms: the pause stays %ld ms"),
                                           text, static_cast<LONG>(kDefaultIdlePause));
  }
  m_lastError.MakeCurrent();
  g_state.store(this);
}

CNVTRXServiceState::~CNVTRXServiceState() {
  CNVTRXServiceState* self = this;
  g_state.compare_exchange_strong(self, nullptr);
  m_pLogFile.reset();
}

CNVTRXServiceState* CNVTRXServiceState::Current() noexcept { return g_state.load(); }

bool CNVTRXServiceState::IsRecordingSuspended() noexcept { return g_recordingSuspended.load(); }

// ---- recording ---------------------------------------------------------------------

TRXRESULT CNVTRXServiceState::EnableRecording(bool on) {
  TrxComPtr<INVAppControl> control;
  if (!m_spHost || FAILED(m_spHost.As(control)) || !control) return TrxFail(TRX_E_NO_APPLICATION);
  if (FAILED(control->EnableRecorder(TrxVariant::FromBool(on))))
    return TrxFail(TRX_E_SYSTEM, OLESTR("Enable Recording failed"));
  m_bRecording = on;
  return TRX_OK;
}

CNVTRXServiceState::SuspendRecording::SuspendRecording(CNVTRXServiceState* state) : m_state(state) {
  if (m_state && (m_state->m_bRecording || g_recordingSuspended.load())) {
    g_recordingSuspended = true;
    if (!m_state->m_bLoopbackTests) {
      // The guard changes the host's recorder, not the service's intent.
      const bool recording = m_state->m_bRecording;
      m_state->EnableRecording(false);
      m_state->m_bRecording = recording;
      m_bSwitchedOff = true;
    }
  } else {
    g_recordingSuspended = false;
  }
}

CNVTRXServiceState::SuspendRecording::~SuspendRecording() {
  // Switched back on exactly when this guard switched it off, even if the
  // call turned loopback tests on meanwhile (the host would stay silent).
  if (m_state && m_bSwitchedOff && g_recordingSuspended.load()) {
    const bool recording = m_state->m_bRecording;
    m_state->EnableRecording(true);
    m_state->m_bRecording = recording;
  }
  g_recordingSuspended = false;
}

void CNVTRXServiceState::SetPendingRecordEvent(TrxStringView descriptor, TrxStringView method,
                                               const VARIANT& arguments) {
  m_strPendingODS = TrxString(descriptor);
  m_strPendingMethod = TrxString(method);
  m_pendingArgs = arguments;
}

void CNVTRXServiceState::ClearPendingRecordEvent() {
  m_strPendingODS.clear();
  m_strPendingMethod.clear();
  m_pendingArgs.Clear();
}

// ---- log file ------------------------------------------------------------------------

TRXRESULT CNVTRXServiceState::EnableLogging(bool on, const OLECHAR* fileName, bool append) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::EnableLogging");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("EnableLogging=%d append=%d"), on ? 1 : 0, append ? 1 : 0);
  if (!on) {
    if (m_pLogFile && m_pLogFile->IsRunning()) m_pLogFile->Stop();
    return TRX_OK;
  }
  if (!m_pLogFile) m_pLogFile = std::make_unique<CNVTRXLogFile>();
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("fileName=\"%s\""), fileName);
  if (m_pLogFile->Start(fileName ? fileName : OLESTR(""), append) != 0) {
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_CREATE_FILE, fileName);
    return -TRX_E_CREATE_FILE;
  }
  return TRX_OK;
}

// ---- session and operation ids ---------------------------------------------------------

bool CNVTRXServiceState::RefreshSessionId() {
  TrxVariant session;
  TrxBstr property(OLESTR("SessionID"));
  TrxVariant aux;
  if (!m_spHost || FAILED(m_spHost->GetProperty(property.Get(), &aux, 0, &session))) {
    TrxFailOn(m_owner, TRX_HOST_GETPROPERTY, OLESTR("SessionID"));
    return false;
  }
  const TrxString text = TrxText(session);
  if (text == m_strSessionId) return false;
  m_strSessionId = text;
  m_nOperationCounter = 0;
  return true;
}

TRXRESULT CNVTRXServiceState::SendOperationId(const TrxString& id, const OLECHAR* what) {
  TrxComPtr<INVAppControl> control;
  TrxBstr text(id);
  if (!m_spHost || FAILED(m_spHost.As(control)) || !control || FAILED(control->SetOperationId(text.Get()))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(what);
    return TRX_E_SYSTEM;
  }
  return TRX_OK;
}

TRXRESULT CNVTRXServiceState::SetNarmId() {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::SetNarmId");
  m_strOperationId = TrxDecimal(m_nOperationCounter++);
  return SendOperationId(m_strOperationId, OLESTR("SetNarmId"));
}

TRXRESULT CNVTRXServiceState::SetOpId() {
  m_strOperationId = TrxDecimal(m_nOperationCounter++);
  return SendOperationId(m_strOperationId, OLESTR("SetOpId"));
}

TRXRESULT CNVTRXServiceState::ClearOpId() {
  if (IsHostUnloaded() || !m_spHost) return TRX_OK;
  TrxComPtr<INVAppControl> control;
  if (FAILED(m_spHost.As(control)) || !control) return TRX_OK;
  return SendOperationId(TrxString(), OLESTR("ClearOpId"));
}

// ---- the host's idle state ---------------------------------------------------------------

TRXRESULT CNVTRXServiceState::WaitForHostIdle() {
  if (m_bRecording || g_recordingSuspended.load()) return TRX_OK;
  CNVTRXRequestExecutor* executor = CNVTRXRequestExecutor::Instance();
  if (!executor || !executor->GetSyncEvent()) return TRX_E_BUSY;
  const DWORD timeout = GetSubmitTimeout();
  WaitForSingleObject(executor->GetSyncEvent(), timeout);
  if (const DWORD pause = GetIdlePause()) Sleep(pause);
  return WaitForSingleObject(executor->GetSyncEvent(), timeout) == WAIT_OBJECT_0 ? TRX_OK : TRX_E_BUSY;
}

bool CNVTRXServiceState::SetIdlePause(DWORD milliseconds) noexcept {
  if (milliseconds > kMaxIdlePause) return false;
  m_idlePause.store(milliseconds);
  return true;
}

TRXRESULT CNVTRXServiceState::CheckReady() {
  // A client that unloaded, or was never attached, is not there.
  if (IsHostUnloaded() || !m_spHost) return TrxFail(TRX_E_NO_APPLICATION);
  if (WaitForHostIdle() != TRX_OK) return TrxFail(TRX_E_BUSY);
  m_lastError.Clear();
  return TRX_OK;
}

TRXRESULT CNVTRXServiceState::MarkUnloaded() {
  CNVTRXRequestExecutor::MarkUnloaded();
  SetHostUnloaded(true);
  return TRX_OK;
}
