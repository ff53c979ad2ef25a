// The simulated Norvik client: its application object and everything a
// test or the trx program does with it.
//
// The application is the root host object (OBJTYPE_APPLICATION). Besides
// INVAutomation it offers IDispatch (the service receives it as the page's
// application object) and the private control interface INVAppControl.
// It holds the client's state: the objects of its description with their
// current properties and visibility, the active screen and current view,
// the recorder switch, operation id and last error; one lock guards it.
// Beside it, each with a lock of its own: the journal (CNVSimJournal), the
// injected faults (CNVSimFaults) and the idle signal (CNVSimIdle). A
// request goes through the client as a CNVSimRequest.
#pragma once

#include <atomic>
#include <optional>
#include <memory>
#include <utility>
#include <vector>

#include "host/nvsimcall.h"
#include "host/nvsimdescription.h"
#include "host/nvsimfaults.h"
#include "host/nvsimidle.h"
#include "host/nvsimjournal.h"
#include "host/nvsimobject.h"
#include "service/nvtrxinterfaces.h"

// A user action on the client, reported to the service while its recorder
// is on.
struct CNVSimUserAction {
  TrxString object;                                        // path or "#id"
  LONG eventId = 0;                                        // an AUTO_REQID value
  std::vector<std::pair<TrxString, TrxString>> arguments;  // name, value
  LONG objectType = -1;                                    // the type reported; -1: the object's own
  bool applyRules = true;                                  // the client's state changes as the rules say
  // Whether the client reports the action before its rules run; unset:
  // navigation (NAVCONTROL_GOTO...) is reported before it navigates, as a
  // real client reports the click that leaves the view, the rest after.
  std::optional<bool> reportFirst;
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
  std::vector<TrxString> GetControlLog() const { return m_journal.GetControlLog(); }

  // ---- the request journal ----
  std::vector<CNVSimRequestRecord> GetJournal() const { return m_journal.GetRequests(); }
  void ClearJournal() { m_journal.Clear(); }
  // Waits until the journal holds at least `count` requests.
  bool WaitForJournal(size_t count, DWORD milliseconds) const { return m_journal.WaitFor(count, milliseconds); }

  // ---- busy and idle ----
  HANDLE GetIdleEvent() const noexcept { return m_idle.GetEvent(); }
  bool IsIdle() const { return m_idle.IsIdle(); }
  // Holds the client busy (idle signal reset) until released.
  void SetBusy(bool busy) { m_idle.SetHeld(busy); }

  // ---- injected faults ----
  // Every request takes this long before it returns.
  void SetRequestDelay(DWORD milliseconds) { m_faults.SetRequestDelay(milliseconds); }
  // After every request the client stays busy this long.
  void SetBusyAfterRequest(DWORD milliseconds) { m_faults.SetBusyAfterRequest(milliseconds); }
  // Requests hang (do not return) until released.
  void SetHangRequests(bool hang) { m_faults.SetHangRequests(hang); }
  void ReleaseHangingRequests() { m_faults.ReleaseHangingRequests(); }
  // Number of requests hanging now; and a wait for at least `count`.
  LONG GetHangingRequests() const { return m_faults.GetHangingRequests(); }
  bool WaitForHangingRequests(LONG count, DWORD milliseconds) const {
    return m_faults.WaitForHangingRequests(count, milliseconds);
  }
  // The next `count` requests (every request for -1) fail with `status`
  // and leave `code` and `text` as the last error; they change nothing.
  void FailRequests(HRESULT status, SHORT code, TrxStringView text, LONG count = -1) {
    m_faults.FailRequests(CNVSimFailure{status, code, TrxString(text)}, count);
  }
  void ClearRequestFailures() { m_faults.ClearRequestFailures(); }
  // Reads of that property of that object fail with `status`: the next
  // `count` reads, or all of them when `count` is negative.
  bool FailProperty(TrxStringView path, TrxStringView property, HRESULT status, LONG count = -1);
  void ClearPropertyFailures() { m_faults.ClearPropertyFailures(); }
  // RegisterTRX returns this failure (S_OK to accept again).
  void SetRegistrationStatus(HRESULT status) { m_faults.SetRegistrationStatus(status); }
  // Whether QueryInterface offers INVAppControl.
  void SetControlInterface(bool offered) { m_faults.SetControlInterface(offered); }
  // EnableRecorder and SetOperationId return these failures.
  void SetRecorderSwitchStatus(HRESULT status) { m_faults.SetRecorderSwitchStatus(status); }
  void SetOperationIdStatus(HRESULT status) { m_faults.SetOperationIdStatus(status); }

 private:
  friend class CNVSimObject;
  friend class CNVSimRequest;
  explicit CNVSimApplication(std::shared_ptr<const CNVSimDescription> description);

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
  // ---- rules, in nvsimapplication_rules.cpp ----
  const CNVSimRule* FindRuleLocked(const CNVSimObject& object, LONG request,
                                   const std::vector<TrxString>& arguments) const;
  // Runs the state-changing actions of a rule; a <fail> (or an action that
  // cannot be applied) ends the rule and is returned as the failure. For a
  // user action failures are skipped and the other actions still run.
  CNVSimFailure ApplyRuleLocked(CNVSimObject& object, const CNVSimRule& rule, LONG request,
                                const std::vector<TrxString>& arguments, bool userAction);
  // One action of a rule; false, with `failure`, when it ends the rule.
  bool ApplyActionLocked(CNVSimObject& object, const CNVSimAction& action, LONG request,
                         const std::vector<TrxString>& arguments, CNVSimFailure& failure);
  CNVSimTemplateContext TemplateContextLocked(const CNVSimObject& object, LONG request,
                                              const std::vector<TrxString>& arguments) const;
  LONG ResolveTargetLocked(const CNVSimObject& object, const CNVSimTarget& target, TrxString& error) const;
  TrxString DisplayNameLocked(LONG index) const;
  void SwitchToViewLocked(LONG view);
  // A view by name, one of the active screen first; -1 when there is none.
  LONG FindViewLocked(TrxStringView view) const;
  // The list of a list control, or of a list's cell control; null for other objects.
  CNVSimList* ListOfLocked(const CNVSimObject& object) const;
  // What the list does with a request to it or to a cell control (a
  // drill-down also goes to the column's view); its failure, if any.
  CNVSimFailure ApplyListRequestLocked(CNVSimObject& object, LONG request, const std::vector<TrxString>& arguments,
                                       bool userAction);
  void LogControl(TrxString entry) { m_journal.AddControl(std::move(entry)); }
  TrxComPtr<INVTRX> ServiceForEvents() const;
  // Play on the object of that index.
  HRESULT PlayObject(LONG index, const CNVSimUserAction& action);

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

  // The service.
  TrxComPtr<INVTRX> m_attached;    // from Attach
  TrxComPtr<INVTRX> m_registered;  // from RegisterTRX
  bool m_recorderOn = false;
  TrxString m_operationId;
  HWND m_eventWindow = nullptr;  // for the loopback echo

  CNVSimJournal m_journal;
  CNVSimFaults m_faults;
  CNVSimIdle m_idle;
};
