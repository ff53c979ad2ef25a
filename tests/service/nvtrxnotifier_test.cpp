// The launch notifier: a tool registered under the notifier key is told of
// every ready page (Init) and of the unload (Destroy), on a thread of its
// own. The tool here is the notification library of tests/notifier,
// registered as an in-process server in a temporary registry.
#include <gtest/gtest.h>

#include "service/nvtrx.h"
#include "support/trxtestregistry.h"
#include "tests/service/nvtrxservicetest.h"

namespace {

const std::string kNotifierKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier";
const std::string kToolA = "{11111111-2222-3333-4444-555555555555}";
const std::string kToolB = "{AAAAAAAA-2222-3333-4444-555555555555}";
const std::string kService = "{3A90E90B-4F6B-48CC-88C9-254009044AAE}";
const std::string kInitA = "Init " + kToolA + " 0 " + kService;  // no site: the window handle is 0
constexpr DWORD kWait = 20000;
using Lines = std::vector<std::string>;

// The browser side of a client's container: client site, service
// providers and the browser, all in one object.
class FakeBrowserSite final : public IOleClientSite, public IServiceProvider, public IWebBrowser2 {
 public:
  explicit FakeBrowserSite(SHANDLE_PTR window) : m_window(window) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
      *ppv = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IServiceProvider))
      *ppv = static_cast<IServiceProvider*>(this);
    else if (IsEqualIID(riid, IID_IWebBrowser2) || IsEqualIID(riid, IID_IDispatch))
      *ppv = static_cast<IWebBrowser2*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the test's stack
  ULONG References() const { return m_refs; }

  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (IsEqualGUID(service, SID_STopLevelBrowser) || IsEqualGUID(service, SID_SWebBrowserApp))
      return QueryInterface(riid, ppv);
    return E_NOINTERFACE;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* window) override {
    *window = m_window;
    return S_OK;
  }

 private:
  SHANDLE_PTR m_window;
  std::atomic<ULONG> m_refs{1};
};

class Notifier : public TrxServiceTest {
 protected:
  void SetUp() override {
    TrxServiceTest::SetUp();
    ASSERT_EQ(CNVTRXLaunchNotifier::GetRunningCount(), 0);
  }
  void TearDown() override {
    TrxServiceTest::TearDown();
    EXPECT_EQ(CNVTRXLaunchNotifier::GetRunningCount(), 0) << "no notifier thread outlives the facade";
  }

  void RegisterTool(const std::string& classId) {
    m_registry.AddKey(kNotifierKey + "\\" + classId);
    m_registry.RegisterInprocServer(classId, TRX_TEST_NOTIFIER_PATH);
  }
  const CNVTRXLaunchNotifier& Launcher() { return CNVCoTRX::Instance()->GetNotifier(); }
  static void AskForInit() {
    TrxHandle event(CreateEventW(nullptr, TRUE, FALSE, kTrxNotifyEventName));
    SetEvent(event.Get());
  }

  TrxTestRegistry m_registry;
  TrxNotifierJournal m_journal;
};

TEST_F(Notifier, AReadyPageIsAnnouncedToTheFirstSubkeyAndTheUnloadEndsTheThreadWithDestroy) {
  RegisterTool(kToolB);
  RegisterTool(kToolA);
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  EXPECT_TRUE(Launcher().HasThread());
  EXPECT_EQ(m_journal.WaitForLines(1, kWait), Lines{kInitA});

  ASSERT_EQ(m_client->Unload(), S_OK);
  EXPECT_FALSE(Launcher().HasThread());
  EXPECT_EQ(m_journal.WaitForLines(2, kWait), (Lines{kInitA, "Destroy " + kToolA}));
}

TEST_F(Notifier, WithoutAKeyTheThreadWaitsAndTheNamedEventMakesItLookAgain) {
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  EXPECT_TRUE(Launcher().HasThread());
  EXPECT_TRUE(m_journal.Lines().empty());

  RegisterTool(kToolA);
  AskForInit();
  EXPECT_EQ(m_journal.WaitForLines(1, kWait), Lines{kInitA});
  AskForInit();
  EXPECT_EQ(m_journal.WaitForLines(2, kWait).size(), 2u) << "every signal repeats Init";
}

TEST_F(Notifier, ASecondReadyPageEndsTheFirstThreadBeforeTheNextInit) {
  RegisterTool(kToolA);
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  m_journal.WaitForLines(1, kWait);
  const DWORD first = Launcher().GetThreadId();
  ASSERT_EQ(m_client->Ready(), S_OK);
  EXPECT_NE(Launcher().GetThreadId(), first);
  EXPECT_LE(CNVTRXLaunchNotifier::GetRunningCount(), 1) << "the first thread ended before the second began";
  EXPECT_EQ(m_journal.WaitForLines(3, kWait), (Lines{kInitA, "Destroy " + kToolA, kInitA}));
}

TEST_F(Notifier, AnUnloadWithoutAThreadWaitsForNothing) {
  EXPECT_EQ(Host()->OnUnload(), S_OK);
  EXPECT_FALSE(Launcher().HasThread());
  EXPECT_EQ(Launcher().GetThreadId(), 0u);
  EXPECT_TRUE(m_journal.Lines().empty());
}

TEST_F(Notifier, TheBrowserWindowComesThroughTheSite) {
  RegisterTool(kToolA);
  FakeBrowserSite site(0x1234);
  TrxComPtr<IObjectWithSite> withSite;
  ASSERT_EQ(m_tool->QueryInterface(IID_IObjectWithSite, withSite.PutVoid()), S_OK);
  ASSERT_EQ(withSite->SetSite(static_cast<IOleClientSite*>(&site)), S_OK);

  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  EXPECT_EQ(Launcher().GetWindow(), 0x1234u);
  EXPECT_EQ(m_journal.WaitForLines(1, kWait), Lines{"Init " + kToolA + " 4660 " + kService});
  EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
  EXPECT_EQ(site.References(), 1u) << "the site is released";
}

TEST_F(Notifier, AFailingInitIsLoggedWithItsStatus) {
  RegisterTool(kToolA);
  TrxScopedEnvironment fail("TRX_TEST_NOTIFIER_FAIL", "Init");
  TrxTempFile log("notifier-log");
  TrxBstr file(log.Wide()), message;
  LONG code = -1;
  ASSERT_EQ(m_tool->StartLogging(file.Get(), VARIANT_FALSE, message.Put(), &code), S_OK);
  ASSERT_EQ(code, 0);
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  ASSERT_EQ(m_journal.WaitForLines(1, kWait).size(), 1u);
  // The thread logs right after the call returns; give the writer time.
  bool logged = false;
  for (int i = 0; i < 200 && !logged; ++i) {
    CNVCoTRX::Instance()->GetApplication()->State().GetLogFile()->WaitUntilWritten(kWait);
    for (const std::string& line : log.Lines())
      logged = logged || line.find("TRXNotifier: Invoke Init(HWND, BSTR) failed with code 0x80004005") !=
                             std::string::npos;
    if (!logged) Sleep(50);
  }
  EXPECT_TRUE(logged);
  Answer(&INVTRXAutomation::StopLogging);
}

TEST_F(Notifier, AnUnregisteredToolIsLoggedAndTheThreadStillWaits) {
  m_registry.AddKey(kNotifierKey + "\\" + kToolA);  // no in-process server behind it
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  EXPECT_TRUE(Launcher().HasThread());
  m_registry.RegisterInprocServer(kToolA, TRX_TEST_NOTIFIER_PATH);
  AskForInit();
  EXPECT_EQ(m_journal.WaitForLines(1, kWait), Lines{kInitA});
}

}  // namespace
