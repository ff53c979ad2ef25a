// The automation class of the host application and the root of the tree
// (catalogue class NorvApplication). Besides answering the application's
// own methods it holds the service-wide state: last error, trace log,
// recording, time-out, loopback tests, unloaded state, the loaded catalogue,
// session and operation ids, and the pending composite recorder event.
#pragma once

#include <functional>
#include <memory>

#include "descriptors/nvtrxdefinitions.h"
#include "log/nvtrxlog.h"
#include "model/nvtrxautomation.h"
#include "model/nvtrxservicestate.h"

class CNVTRXApplication : public CNVTRXAutomation {
 public:
  CNVTRXApplication(TrxStringView name, CNVTRXAutomation* parent);
  ~CNVTRXApplication() override;

  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet* pEventArgs,
                             CNVTRXAutomation** ppChild) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

  // The root of the running service, or nullptr.
  static CNVTRXApplication* Current() noexcept;

  // The automation classes the application creates by catalogue class name.
  // A class not registered here cannot be created (-1016); registering an
  // empty factory removes the class.
  using Factory = std::function<CNVTRXAutomation*(TrxStringView repositoryName, CNVTRXAutomation* parent)>;
  static void RegisterChildClass(TrxStringView className, Factory factory);

  void SetNWEAuto(INVAutomation* pNWEAuto);
  void SetRepositoryName(TrxStringView name) { m_strRepositoryName = TrxString(name); }
  TRXRESULT EnableRecording(bool on);
  TRXRESULT EnableLogging(bool on, const OLECHAR* fileName, bool append);
  TRXRESULT ResolveDescriptor(TrxStringView descriptor, CNVTRXAutomation** ppObject);
  bool RefreshSessionId();
  TRXRESULT SetNarmId();
  TRXRESULT SetOpId();
  TRXRESULT ClearOpId();
  TRXRESULT CheckReady();
  TRXRESULT WaitForHostIdle();
  TRXRESULT MarkUnloaded();
  void SetPendingRecordEvent(TrxStringView descriptor, TrxStringView method, const VARIANT& arguments);

  // ---- state ----
  CNVTRXServiceState& State() noexcept { return m_state; }
  LONG GetSubmitTimeout() const noexcept { return static_cast<LONG>(m_state.GetSubmitTimeout()); }
  void SetSubmitTimeout(LONG milliseconds) noexcept { m_state.SetSubmitTimeout(static_cast<DWORD>(milliseconds)); }
  bool IsHostUnloaded() const noexcept { return m_state.IsHostUnloaded(); }
  void ClearHostUnloaded() noexcept { m_state.SetHostUnloaded(false); }
  LONG GetLastErrorCode() const { return m_state.LastError().GetCode(); }
  TrxString GetLastErrorMessage() const { return m_state.LastError().GetText(); }
  void ClearLastError() { m_state.LastError().Clear(); }
  bool IsRecording() const noexcept { return m_bRecording; }
  bool IsLoopbackTests() const noexcept { return m_bLoopbackTests; }
  void SetLoopbackTests(bool on) noexcept { m_bLoopbackTests = on; }
  const TrxString& GetSessionId() const noexcept { return m_strSessionId; }
  const TrxString& GetOperationId() const noexcept { return m_strOperationId; }
  LONG GetLastOperationTime() const noexcept { return m_state.GetLastOperationTime(); }
  const CNVTRXObjectDefinitions& Definitions() const noexcept { return m_definitions; }
  CNVTRXLogFile* GetLogFile() const noexcept { return m_pLogFile.get(); }
  const TrxString& GetPendingDescriptor() const noexcept { return m_strPendingODS; }
  const TrxString& GetPendingMethod() const noexcept { return m_strPendingMethod; }
  const TrxVariant& GetPendingArguments() const noexcept { return m_pendingArgs; }
  void ClearPendingRecordEvent();

  // Process-wide flag of the recording guard.
  static bool IsRecordingSuspended() noexcept;

  // Keeps the host from recording the service's own actions for a scope.
  class SuspendRecording {
   public:
    explicit SuspendRecording(CNVTRXApplication* application);
    ~SuspendRecording();
    SuspendRecording(const SuspendRecording&) = delete;
    SuspendRecording& operator=(const SuspendRecording&) = delete;

   private:
    CNVTRXApplication* m_application;
    bool m_bSwitchedOff = false;  // this guard switched the host's recorder off
  };

 private:
  TRXRESULT CurrentScreen(CNVTRXAutomation** ppScreen, LONG navigationFailureCode);
  TRXRESULT ProcessKeyboardAccelerator(const VARIANT& arguments);
  TRXRESULT FocusForF2(const CNVTRXArray& arguments);
  TRXRESULT GetClassCount(CNVTRXArray& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(CNVTRXArray& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(CNVTRXArray& arguments, VARIANT* result);
  TRXRESULT SetTimeOut(CNVTRXArray& arguments, VARIANT* result);
  TRXRESULT SendOperationId(const TrxString& id, const OLECHAR* what);
  HRESULT HostChild(INVAutomation* host, AUTO_OBJECTTYPE type, TrxStringView name, TrxComPtr<INVAutomation>& child);
  TRXRESULT F2FocusPath(TrxString& path);

  CNVTRXServiceState m_state;  // last error, time-out, unloaded state, last operation time
  std::unique_ptr<CNVTRXLogFile> m_pLogFile;
  bool m_bRecording = false;
  bool m_bLoopbackTests = false;
  CNVTRXObjectDefinitions m_definitions;
  TrxString m_strSessionId;
  TrxString m_strOperationId;
  LONG m_nOperationCounter = 0;
  TrxString m_strPendingODS;
  TrxString m_strPendingMethod;
  TrxVariant m_pendingArgs;
};
