// Test support: a small in-process host whose objects answer INVAutomation,
// and automation classes that build children from it.
//
// Host objects are thread-safe (requests arrive on the executor's worker
// thread) and free-threaded: marshalled to another thread they are the
// object itself, there as on Linux. Every request is journalled; a request can be made to fail, to
// hang until released, or to leave the host busy (idle event not signalled).
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "model/nvtrxautomation.h"
#include "platform/trxplatform.h"

class FakeHostObject : public INVAutomation {
 public:
  FakeHostObject(AUTO_OBJECTTYPE type, TrxString name);
  virtual ~FakeHostObject();

  // ---- set-up ----
  FakeHostObject* AddChild(AUTO_OBJECTTYPE type, TrxString name);
  void SetProperty(const TrxString& name, const VARIANT& value);
  void SetProperty(const TrxString& name, const OLECHAR* text);
  void SetProperty(const TrxString& name, LONG value);
  // GetProperty of that name fails with `status`.
  void FailProperty(const TrxString& name, HRESULT status);
  // The next HandleAutoRequest calls fail with `status` (0 = succeed).
  void FailRequests(HRESULT status);
  // The host's last error code and text (what GetLastErrorCode/Text return).
  void SetLastError(SHORT code, const TrxString& text);
  // Whether a finished request signals the idle event (default: yes).
  void SetSignalsIdle(bool signals);
  // Requests hang until Release is called.
  void HangRequests(bool hang);
  void ReleaseHang();
  // Each request takes this long before it returns.
  void SetRequestDuration(DWORD milliseconds);

  // ---- observation ----
  struct Request {
    LONG id;
    std::string args;  // the arguments as CNVTRXArray text
    DWORD thread;
  };
  std::vector<Request> Journal() const;
  ULONG RefCount() const { return m_refs; }

  // ---- INVAutomation ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetParent(INVAutomation** ppParent) override;
  HRESULT STDMETHODCALLTYPE GetChild(AUTO_OBJECTTYPE eType, BSTR name, INVAutomation** ppChild) override;
  HRESULT STDMETHODCALLTYPE GetChildNames(AUTO_OBJECTTYPE type, VARIANT* pNames) override;
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* pAuxParams, SHORT auxArrSize, VARIANT* pValue) override;
  HRESULT STDMETHODCALLTYPE GetAllProperties(VARIANT* pProperties) override;
  HRESULT STDMETHODCALLTYPE HandleAutoRequest(AUTO_REQID eReqId, VARIANT vParam, VARIANT* pResult) override;
  HRESULT STDMETHODCALLTYPE GetLastErrorCode(SHORT* pCode) override;
  HRESULT STDMETHODCALLTYPE GetLastErrorText(BSTR* pText) override;

  // Names are handed out as an array of VARIANTs unless set otherwise.
  enum class NameShape { VariantArray, StringArray, SingleString };
  void SetNameShape(NameShape shape) { m_nameShape = shape; }

 private:
  mutable std::mutex m_lock;
  std::atomic<ULONG> m_refs{1};
  FakeHostObject* m_parent = nullptr;
  std::vector<FakeHostObject*> m_children;  // owned (one reference each)
  std::map<TrxString, TrxVariant> m_properties;
  std::map<TrxString, HRESULT> m_failingProperties;
  HRESULT m_requestStatus = S_OK;
  SHORT m_errorCode = 0;
  TrxString m_errorText;
  bool m_signalsIdle = true;
  bool m_hang = false;
  DWORD m_duration = 0;
  TrxHandle m_hangRelease;
  TrxHandle m_idle;  // "NWEAutoSynchroEvt"
  std::vector<Request> m_journal;
  NameShape m_nameShape = NameShape::VariantArray;
#ifdef _WIN32
  // The free-threaded marshaler, aggregated: without it COM would give the
  // worker a proxy that calls back into the test thread's apartment.
  TrxComPtr<IUnknown> m_freeThreadedMarshaler;
#endif
};

// An automation class for tests: its class name comes from the host type
// (or is given), it maps "Name", "HtmlId" and a few more properties, and it
// builds children of the same kind from host objects.
class TestAutomation : public CNVTRXAutomation {
 public:
  TestAutomation(TrxStringView name, CNVTRXAutomation* parent, TrxStringView className, INVAutomation* host);
  TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet* pEventArgs,
                             CNVTRXAutomation** ppChild) override;
  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;

  // The catalogue class name the tests use for a host type.
  static TrxString ClassFor(LONG objectType);
};

#include <gtest/gtest.h>

#include <memory>

#include "log/nvtrxlog.h"
#include "model/nvtrxservicestate.h"

// A service state, a host application object and a root automation object
// standing for it.
class TrxHostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  LONG LastCode() const { return m_state->LastError().GetCode(); }
  std::string LastText() const { return TrxNarrow(m_state->LastError().GetText()); }
  // Builds the automation object of a host child below `parent`.
  CNVTRXAutomation* Build(CNVTRXAutomation* parent, FakeHostObject* host);

  std::unique_ptr<CNVTRXServiceState> m_state;
  FakeHostObject* m_app = nullptr;
  std::unique_ptr<TestAutomation> m_root;
};
