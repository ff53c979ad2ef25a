// Helpers for the simulated client's tests: the sample description, short
// descriptions written inline, property reads, and a stand-in for the
// service's INVTRX that records the calls it receives.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/nvsimapplication.h"

// Path of samples/crm.xml in the source tree.
TrxString NVSimSamplePath();
// A client started from the sample; fails the test when it does not load.
TrxComPtr<CNVSimApplication> NVSimLoadSample();
// A client started from a description text; fails the test on a load error.
TrxComPtr<CNVSimApplication> NVSimFromText(const std::string& utf8);
// The load error of a description text (empty message when it loaded).
CNVSimLoadError NVSimLoadErrorOf(const std::string& utf8);

std::string NVSimText(TrxStringView text);
std::string NVSimText(const VARIANT& value);
// The elements of an array VARIANT (one-dimensional) as text.
std::vector<std::string> NVSimItems(const VARIANT& value);

// Host calls on an object, in UTF-8.
TrxComPtr<INVAutomation> NVSimChild(INVAutomation* parent, AUTO_OBJECTTYPE type, const std::string& name);
TrxVariant NVSimProperty(INVAutomation* object, const std::string& name);
HRESULT NVSimRequest(INVAutomation* object, LONG request, const std::vector<std::string>& arguments);
// An array VARIANT of the values given (a one-dimensional array of VARIANTs).
TrxVariant NVSimArray(std::vector<TrxVariant> values);
// A property of the object at `path` as text, the items of a list joined by '|'.
std::string NVSimRead(CNVSimApplication* app, TrxStringView path, TrxStringView property);
// The object's last error code and text.
std::string NVSimLastError(INVAutomation* object);

// A test on a client started from the sample.
class NVSimSampleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_app = NVSimLoadSample()); }
  // The object at `path`; a test failure when there is none.
  CNVSimObject* Object(const char16_t* path) {
    CNVSimObject* object = m_app->FindObject(path);
    EXPECT_TRUE(object) << NVSimText(path);
    return object;
  }
  std::string Read(TrxStringView path, TrxStringView property) { return NVSimRead(m_app.Get(), path, property); }

  TrxComPtr<CNVSimApplication> m_app;
};

// The service's apartment thread: it owns a call window and pumps messages
// once it is told to, until it is stopped.
class NVSimServiceThread {
 public:
  NVSimServiceThread();
  ~NVSimServiceThread();
  NVSimServiceThread(const NVSimServiceThread&) = delete;
  NVSimServiceThread& operator=(const NVSimServiceThread&) = delete;

  // Ends the thread, and its window, before it pumps a single message.
  void EndWithoutPumping();
  void StartPumping();
  HWND Window() const { return m_window; }
  DWORD Id() const { return m_id; }
  // Runs `work` on the thread after every call posted before it; false
  // when it did not run within `milliseconds`.
  bool RunAfterPostedCalls(std::function<void()> work, DWORD milliseconds);

 private:
  TrxHandle m_ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  TrxHandle m_pump{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  TrxHandle m_stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<DWORD> m_id{0};
  std::atomic<HWND> m_window{nullptr};
  std::thread m_thread;
};

// Records every INVTRX call with the thread it arrived on.
class NVSimFakeService final : public INVTRX {
 public:
  struct Call {
    std::string method;
    DWORD thread = 0;
    LONG eventId = 0;
    LONG objectType = 0;
    // Kept for comparison only, without a reference, so that the client and
    // this stand-in do not keep each other alive.
    INVAutomation* object = nullptr;
    std::vector<std::pair<std::string, std::string>> arguments;
    IDispatch* application = nullptr;
  };

  static TrxComPtr<NVSimFakeService> Create();

  // AttachAppObject registers this service through INVAppControl, as the
  // real one does (default: yes).
  void SetRegistersOnAttach(bool registers);
  // The status AttachAppObject returns.
  void SetAttachStatus(HRESULT status);
  std::vector<Call> Calls() const;
  std::vector<std::string> Methods() const;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
  HRESULT STDMETHODCALLTYPE AttachAppObject(IDispatch* pDisp) override;
  HRESULT STDMETHODCALLTYPE OnUnload() override;
  HRESULT STDMETHODCALLTYPE FireRecorderEvent(LONG eventId, INVAutomation* pEventObj, LONG eventObjType,
                                              INVPropertySet* pArgs) override;
  HRESULT STDMETHODCALLTYPE OnAppReady(IDispatch* pDisp) override;

 private:
  NVSimFakeService() = default;
  ~NVSimFakeService() = default;
  void Record(Call call);

  std::atomic<ULONG> m_references{1};
  mutable std::mutex m_lock;
  std::vector<Call> m_calls;
  bool m_registers = true;
  HRESULT m_attachStatus = S_OK;
};
