// CNVCoTRX: the service's one COM object, shared by the host client and
// every test tool. Test tools call INVTRXAutomation; the host attaches
// through INVTRX. The object holds almost no state of its own: the root
// application object it creates holds the service-wide state.
#pragma once

#include <atomic>

#include "objects/nvtrxapplication.h"
#include "platform/trxplatform.h"
#include "service/nvtrxconnectionpoint.h"
#include "service/nvtrxinterfaces.h"
#include "service/nvtrxlaunchnotifier.h"

class CNVCoTRX final : public INVTRXAutomation,
                       public INVTRX,
                       public IConnectionPointContainer,
                       public IObjectWithSite {
 public:
  // The class object: hands every caller an interface on the one facade of
  // the process, creating it on first use. Aggregation is refused.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  // The facade of the process, or nullptr while none exists.
  static CNVCoTRX* Instance() noexcept;
  // The server counts the facade as one lock on its module: the hook runs
  // with true when CreateInstance creates the facade and with false after
  // its final release. nullptr (the default) for none.
  using LifetimeHook = void (*)(bool alive);
  static void SetLifetimeHook(LifetimeHook hook) noexcept;

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IDispatch (of INVTRXAutomation, see service/nvtrxdispatch.h) ----
  // GetTypeInfoCount answers 1 when the type library is registered, else 0;
  // GetTypeInfo hands out INVTRXAutomation's type information from it.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // ---- INVTRXAutomation ----
  HRESULT STDMETHODCALLTYPE SetSubmitTimeout(LONG timeOut, BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE StartLogging(BSTR filename, VARIANT_BOOL bAppend, BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE StopLogging(BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE GetLastError(BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE StartRecording(BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE StopRecording(BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE GetObjectFromId(BSTR htmlId, BSTR* trxODS, BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE GetRootObject(BSTR* trxODS, BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE GetObjectContents(LONG nMode, BSTR trxODS, BSTR* trxContentXML, BSTR* errMsg,
                                              LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE GetObjectDefinitions(BSTR ver, BSTR* trxDefnXML, BSTR* errMsg, LONG* errCode) override;
  HRESULT STDMETHODCALLTYPE Submit(BSTR trxODS, BSTR methodName, VARIANT Args, VARIANT* retVal, BSTR* errMsg,
                                   LONG* errCode) override;

  // ---- INVTRX ----
  HRESULT STDMETHODCALLTYPE AttachAppObject(IDispatch* pDisp) override;
  HRESULT STDMETHODCALLTYPE OnUnload() override;
  HRESULT STDMETHODCALLTYPE FireRecorderEvent(LONG eventId, INVAutomation* pEventObj, LONG eventObjType,
                                              INVPropertySet* pArgs) override;
  HRESULT STDMETHODCALLTYPE OnAppReady(IDispatch* pDisp) override;

  // ---- IConnectionPointContainer: one point, for _INVTRXEvents ----
  // Not supported: E_NOTIMPL.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // ---- IObjectWithSite: the client's container sets the site ----
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* pUnkSite) override;
  // E_FAIL (and a null pointer) while no site is set.
  HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppvSite) override;

  // The supported-components document of "GetSupportedComponents".
  static const OLECHAR* SupportedComponents() noexcept;
  // The object-definitions version of the compiled-in catalogue.
  static constexpr const OLECHAR* kObjectDefinitionsVersion = OLESTR("8.2");

  CNVTRXApplication* GetApplication() const noexcept { return m_pApplication; }
  const CNVTRXLaunchNotifier& GetNotifier() const noexcept { return m_notifier; }

 private:
  CNVCoTRX();
  ~CNVCoTRX();
  HRESULT FinalConstruct();
  void FinalRelease();
  // errMsg and errCode from the last error.
  HRESULT CopyLastError(BSTR* errMsg, LONG* errCode);
  // Reports the user error and answers it: errMsg its text, errCode the code, S_OK.
  HRESULT Answer(TrxHere code, BSTR* errMsg, LONG* errCode);
  // Destroys the tree below the root and traces a possible leak.
  void ReleaseTree();
  void WarnNoClient();

  // ---- recording ----
  // Builds the automation objects from the root down to the one that
  // stands for `host`; the object in `ppObject`.
  TRXRESULT CreateRecorderHierarchy(INVAutomation* host, LONG eventId, LONG eventObjType, INVPropertySet* pArgs,
                                    CNVTRXAutomation** ppObject);
  // Fires Record to every connected sink, in connection order.
  void Fire_Record(TrxStringView trxODS, TrxStringView eventName, const VARIANT& args);
  // Fires and clears the pending composite event, if there is one.
  void Fire_CompositeEventRecord();
  // Destroys what a recorder event built. `before` holds the root's
  // children from before the event.
  void PruneAfterEvent(const std::vector<CNVTRXAutomation*>& before);
  // The top-level browser's window through the site chain; 0 without one.
  DWORD BrowserWindow();

  // ---- Submit's own methods ----
  // Service-level methods (any letter case): answered at once, no tree.
  struct ServiceMethod {
    const OLECHAR* name;
    LONG match;
    void (CNVCoTRX::*handler)(VARIANT* retVal, BSTR* errMsg, LONG* errCode);
  };
  // Object-level methods (exact names): operations of the addressed object.
  struct ObjectMethod {
    const OLECHAR* name;
    LONG match;
    TRXRESULT (CNVCoTRX::*handler)(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);
  };
  static const ServiceMethod kServiceMethods[];
  static const ObjectMethod kObjectMethods[];
  void GetLastOpId(VARIANT* retVal, BSTR* errMsg, LONG* errCode);
  void GetSessionId(VARIANT* retVal, BSTR* errMsg, LONG* errCode);
  void GetLastOpTime(VARIANT* retVal, BSTR* errMsg, LONG* errCode);
  void GetBusyTime(VARIANT* retVal, BSTR* errMsg, LONG* errCode);
  void GetSupportedComponents(VARIANT* retVal, BSTR* errMsg, LONG* errCode);
  void SetOpId(VARIANT* retVal, BSTR* errMsg, LONG* errCode);
  TRXRESULT GetProperties(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);
  TRXRESULT GetProperty(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);
  TRXRESULT GetData(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);
  TRXRESULT GetTextData(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);
  TRXRESULT GetChildren(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);
  TRXRESULT EnableLoopbackTests(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);
  TRXRESULT DisableLoopbackTests(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal);

  // Marks a tool call that builds objects below the root, so that a
  // recorder event the client fires while the call waits for it leaves the
  // call's objects alone.
  class ToolCall {
   public:
    explicit ToolCall(CNVCoTRX* facade) : m_facade(facade) { ++m_facade->m_toolCalls; }
    ~ToolCall() { --m_facade->m_toolCalls; }
    ToolCall(const ToolCall&) = delete;
    ToolCall& operator=(const ToolCall&) = delete;

   private:
    CNVCoTRX* m_facade;
  };

  std::atomic<ULONG> m_refs{0};
  CNVTRXApplication* m_pApplication = nullptr;
  CNVTRXConnectionPoint m_events{this, DIID__INVTRXEvents};
  TrxCriticalSection m_siteLock;
  TrxComPtr<IUnknown> m_site;
  CNVTRXLaunchNotifier m_notifier;
  std::atomic<LONG> m_toolCalls{0};
};
