// The simulated Norvik client: its application object and everything a
// test or the trx program does with it.
//
// The application is the root host object (OBJTYPE_APPLICATION). Besides
// INVAutomation it offers IDispatch (the service receives it as the page's
// application object) and the private control interface INVAppControl.
// It holds the client's state: the objects of its description with their
// current properties and visibility, the active screen and current view,
// the request journal, the recorder switch and operation id, the idle
// signal and the injected faults. One lock guards all of it.
//
// Busy and idle: the named manual-reset event "NWEAutoSynchroEvt" is
// signalled while the client is idle and reset while a request is being
// processed (or while the client is held busy).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "host/nvsimcall.h"
#include "host/nvsimdescription.h"
#include "host/nvsimobject.h"
#include "service/nvtrxinterfaces.h"

// One request the client received.
struct CNVSimRequestRecord {
  LONG requestId = 0;
  TrxString object;  // the object's path ("" for the application)
  LONG objectType = 0;
  std::vector<TrxString> arguments;  // the parameter's elements as text
  TrxString argumentText;            // the parameter as the service writes it: "(a,b)"
  TrxString operationId;             // the operation id set when it arrived
  DWORD threadId = 0;                // the thread that called HandleAutoRequest
  bool finished = false;
  HRESULT status = S_OK;
  SHORT errorCode = 0;
  TrxString errorText;
};

// A user action on the client, reported to the service while its recorder
// is on.
struct CNVSimUserAction {
  TrxString object;                                        // path or "#id"
  LONG eventId = 0;                                        // an AUTO_REQID value
  std::vector<std::pair<TrxString, TrxString>> arguments;  // name, value
  LONG objectType = -1;                                    // the type reported; -1: the object's own
  bool applyRules = true;                                  // the client's state changes as the rules say
};

class CNVSimApplication final : public CNVSimObject, public IDispatch, public INVAppControl {
 public:
  // A client in the start state of its description (one reference).
  static TrxComPtr<CNVSimApplication> Create(std::shared_ptr<const CNVSimDescription> description);
  // Loads a description file and starts a client from it; null (with
  // `error` filled) when the file is not a valid description.
  static TrxComPtr<CNVSimApplication> Load(TrxStringView path, CNVSimLoadError& error);
  ~CNVSimApplication() override;

  // ---- IUnknown (IUnknown, INVAutomation, IDispatch, INVAppControl) ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IDispatch: no type information and no members ----
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // ---- INVAppControl ----
  // Keeps the INVTRX interface of `pTRX` for recorder events.
  HRESULT STDMETHODCALLTYPE RegisterTRX(IUnknown* pTRX) override;
  HRESULT STDMETHODCALLTYPE EnableRecorder(VARIANT vEnable) override;
  // Requests that follow are journalled with this id.
  HRESULT STDMETHODCALLTYPE SetOperationId(BSTR operationId) override;

  // ---- the service connection, on the calling thread ----
  // Asks `service` for INVTRX, then AttachAppObject(this application as
  // IDispatch) and, when that succeeded, OnAppReady; the client keeps the
  // service until Unload (the two hold each other until then). The idle
  // signal is set first. Returns the first failure, else OnAppReady's status.
  HRESULT Attach(IUnknown* service);
  // OnAppReady again (a new page of the same client).
  HRESULT Ready();
  // OnUnload; then the client forgets the service (attached and
  // registered) and switches its recorder off.
  HRESULT Unload();
  // A user action: applies the rules for the event (when asked to), then,
  // if the recorder is on, builds an INVPropertySet of the arguments and
  // calls FireRecorderEvent on the registered INVTRX (or, without one, on
  // the attached service). S_FALSE when the recorder is off; E_INVALIDARG
  // for an unknown object; E_UNEXPECTED without a service to report to.
  HRESULT Play(const CNVSimUserAction& action);

  // ---- the loopback echo ----
  // A real client records its own UI actions, also those a test tool plays
  // back through the service. While an event window is set (a
  // CNVSimCallWindow on the service's apartment thread) and the recorder
  // is on both when a request arrives and when it ends (the service keeps
  // it on for its own requests only when it wants them echoed), every
  // request HandleAutoRequest handled successfully (a status that is no
  // failure and no error code left) is also reported as a user action:
  // Play of the request's object, with the
  // request id as event id, the request's argument texts named "0", "1",
  // ..., the object's own type and no rules applied again. The Play is
  // posted to the window, and the client stays busy (idle signal reset)
  // until it has run there, at most kEchoWait milliseconds; a Play that was
  // aborted or did not run in that time is let go. So the event reaches
  // the service while it pumps messages waiting for the request to end,
  // inside the tool's call. The request itself returns at once: the
  // service's worker hands it back over a wait that does not pump
  // messages. Null stops the echo.
  static constexpr DWORD kEchoWait = 5000;
  void SetEventWindow(HWND window);
  HWND GetEventWindow() const;

  // ---- the same, run on the thread of a CNVSimCallWindow ----
  std::shared_ptr<CNVSimCall> PostAttach(HWND window, IUnknown* service);
  std::shared_ptr<CNVSimCall> PostReady(HWND window);
  std::shared_ptr<CNVSimCall> PostUnload(HWND window);
  std::shared_ptr<CNVSimCall> PostPlay(HWND window, CNVSimUserAction action);

  // ---- state ----
  const CNVSimDescription& GetDescription() const noexcept { return *m_description; }
  // The object at a path ("" for the application) or "#id"; null when
  // there is none. No reference is added.
  CNVSimObject* FindObject(TrxStringView path) const;
  TrxString GetObjectPath(const CNVSimObject* object) const;
  // Reads a property as the service would (no auxiliary parameters).
  HRESULT ReadProperty(TrxStringView path, TrxStringView property, TrxVariant& value);
  // Sets a property to a value (its kind follows the VARIANT); false for an
  // unknown object or a value of no supported shape.
  bool SetProperty(TrxStringView path, TrxStringView property, const VARIANT& value);
  bool SetVisible(TrxStringView path, bool visible);
  TrxString GetActiveScreen() const;
  TrxString GetCurrentView() const;
  bool GotoScreen(TrxStringView screen);
  bool GotoView(TrxStringView view);

  // ---- what the service did through INVAppControl ----
  bool IsRecorderEnabled() const;
  TrxString GetOperationId() const;
  TrxComPtr<INVTRX> GetRegisteredService() const;
  // "RegisterTRX", "EnableRecorder(TRUE)", "SetOperationId(3)",
  // "AttachAppObject", "OnAppReady", "OnUnload", "FireRecorderEvent(11,path)"
  // in the order they happened (failed ones end in " failed").
  std::vector<TrxString> GetControlLog() const;

  // ---- the request journal ----
  std::vector<CNVSimRequestRecord> GetJournal() const;
  void ClearJournal();
  // Waits until the journal holds at least `count` requests.
  bool WaitForJournal(size_t count, DWORD milliseconds) const;

  // ---- busy and idle ----
  HANDLE GetIdleEvent() const noexcept { return m_idleEvent.Get(); }
  bool IsIdle() const;
  // Holds the client busy (idle signal reset) until released.
  void SetBusy(bool busy);

  // ---- injected faults ----
  // Every request takes this long before it returns.
  void SetRequestDelay(DWORD milliseconds);
  // After every request the client stays busy this long.
  void SetBusyAfterRequest(DWORD milliseconds);
  // Requests hang (do not return) until released.
  void SetHangRequests(bool hang);
  void ReleaseHangingRequests();
  // Number of requests hanging now; and a wait for at least `count`.
  LONG GetHangingRequests() const;
  bool WaitForHangingRequests(LONG count, DWORD milliseconds) const;
  // The next `count` requests (every request for -1) fail with `status`
  // and leave `code` and `text` as the last error; they change nothing.
  void FailRequests(HRESULT status, SHORT code, TrxStringView text, LONG count = -1);
  void ClearRequestFailures();
  // Reads of that property of that object fail with `status`.
  bool FailProperty(TrxStringView path, TrxStringView property, HRESULT status);
  void ClearPropertyFailures();
  // RegisterTRX returns this failure (S_OK to accept again).
  void SetRegistrationStatus(HRESULT status);
  // Whether QueryInterface offers INVAppControl.
  void SetControlInterface(bool offered);
  // EnableRecorder and SetOperationId return these failures.
  void SetRecorderSwitchStatus(HRESULT status);
  void SetOperationIdStatus(HRESULT status);

 private:
  friend class CNVSimObject;
  explicit CNVSimApplication(std::shared_ptr<const CNVSimDescription> description);

  struct Failure {
    HRESULT status = S_OK;
    SHORT code = 0;
    TrxString text;
  };

  // ---- INVAutomation, for every object (the lock is taken here) ----
  HRESULT ObjectParent(const CNVSimObject& object, INVAutomation** parent);
  HRESULT ObjectChild(const CNVSimObject& object, AUTO_OBJECTTYPE type, TrxStringView name, INVAutomation** child);
  HRESULT ObjectChildNames(const CNVSimObject& object, AUTO_OBJECTTYPE type, VARIANT* names);
  HRESULT ObjectProperty(const CNVSimObject& object, TrxStringView name, VARIANT* aux, SHORT auxCount, VARIANT* value);
  HRESULT ObjectAllProperties(const CNVSimObject& object, VARIANT* properties);
  HRESULT ObjectRequest(CNVSimObject& object, LONG request, const VARIANT& parameter, VARIANT* result);
  HRESULT LastErrorCode(SHORT* code);
  HRESULT LastErrorText(BSTR* text);

  // ---- with the lock held ----
  CNVSimObject& Object(LONG index) const { return *m_objects[static_cast<size_t>(index)]; }
  const CNVSimObjectDef& Def(LONG index) const { return m_description->GetObject(index); }
  bool IsVisibleLocked(LONG index) const;
  CNVSimProperty* FindPropertyLocked(CNVSimObject& object, TrxStringView name) const;
  bool LivePropertyLocked(const CNVSimObject& object, TrxStringView name, CNVSimValue& value) const;
  HRESULT ReadPropertyLocked(CNVSimObject& object, TrxStringView name, TrxStringView key, VARIANT* value);
  const CNVSimRule* FindRuleLocked(const CNVSimObject& object, LONG request,
                                   const std::vector<TrxString>& arguments) const;
  // Runs the state-changing actions of a rule; a <fail> (or an action that
  // cannot be applied) ends the rule and is returned as the failure. For a
  // user action failures are skipped and the other actions still run.
  Failure ApplyRuleLocked(CNVSimObject& object, const CNVSimRule& rule, LONG request,
                          const std::vector<TrxString>& arguments, bool userAction);
  LONG ResolveTargetLocked(const CNVSimObject& object, const CNVSimTarget& target, TrxString& error) const;
  TrxString DisplayNameLocked(LONG index) const;
  void SwitchToViewLocked(LONG view);
  void UpdateIdleLocked();
  void ScheduleIdleCheck(ULONGLONG at);
  void TimerLoop();
  void LogControl(TrxString entry);
  TrxComPtr<INVTRX> ServiceForEvents() const;
  // Play on the object of that index.
  HRESULT PlayObject(LONG index, const CNVSimUserAction& action);
  // A posted echo has run or was let go.
  void EndEcho();

  std::shared_ptr<const CNVSimDescription> m_description;
  std::atomic<ULONG> m_references{1};
  mutable TrxCriticalSection m_lock;

  // Client state.
  std::vector<CNVSimObject*> m_objects;  // [0] is this application
  std::vector<std::unique_ptr<CNVSimObject>> m_ownedObjects;
  LONG m_activeScreen = -1;
  LONG m_currentView = -1;
  SHORT m_lastErrorCode = 0;
  TrxString m_lastErrorText;
  LONG m_lastOperationTime = 0;
  std::vector<CNVSimRequestRecord> m_journal;
  std::vector<TrxString> m_controlLog;

  // The service.
  TrxComPtr<INVTRX> m_attached;    // from Attach
  TrxComPtr<INVTRX> m_registered;  // from RegisterTRX
  bool m_recorderOn = false;
  TrxString m_operationId;

  // The loopback echo.
  HWND m_eventWindow = nullptr;
  LONG m_pendingEchoes = 0;      // posted and not yet run or let go
  ULONGLONG m_echoDeadline = 0;  // until when they keep the client busy

  // Busy and idle.
  TrxHandle m_idleEvent;
  LONG m_activeRequests = 0;
  bool m_heldBusy = false;
  ULONGLONG m_busyUntil = 0;

  // Faults.
  DWORD m_requestDelay = 0;
  DWORD m_busyAfterRequest = 0;
  bool m_hangRequests = false;
  LONG m_failCount = 0;
  Failure m_requestFailure;
  HRESULT m_registrationStatus = S_OK;
  bool m_controlInterface = true;
  HRESULT m_recorderSwitchStatus = S_OK;
  HRESULT m_operationIdStatus = S_OK;

  // Hanging requests wait here until released.
  mutable std::mutex m_hangLock;
  std::condition_variable m_hangChanged;
  ULONGLONG m_hangGeneration = 0;
  LONG m_hanging = 0;

  // Signals idle when a busy period ends.
  std::mutex m_timerLock;
  std::condition_variable m_timerChanged;
  ULONGLONG m_timerDeadline = 0;
  bool m_timerStop = false;
  std::thread m_timer;
};
