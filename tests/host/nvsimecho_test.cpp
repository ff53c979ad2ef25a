// The loopback echo: with an event window set and the recorder on, the
// client reports the requests it handled as user actions, on the window's
// thread, and stays busy until it has.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/nvsimcallwindow.h"
#include "host/nvsimstatus.h"
#include "nvsimtestsupport.h"

namespace {

constexpr DWORD kGenerous = 10000;

const char16_t kName[] = u"Accounts Screen/Account List View/Account Form Applet/Name";
const char16_t kList[] = u"Accounts Screen/Account List View/Account List Applet/NorvList";

using Arguments = std::vector<std::pair<std::string, std::string>>;

class NVSimEcho : public NVSimSampleTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(NVSimSampleTest::SetUp());
    m_service = NVSimFakeService::Create();
    ASSERT_EQ(m_app->Attach(static_cast<INVTRX*>(m_service.Get())), S_OK);
  }
  void TearDown() override {
    if (m_app) m_app->SetEventWindow(nullptr);
  }
  void SwitchRecorder(bool on) { ASSERT_EQ(m_app->EnableRecorder(TrxVariant::FromBool(on)), S_OK); }
  HRESULT Request(const char16_t* path, LONG request, const std::vector<std::string>& arguments) {
    CNVSimObject* object = Object(path);
    return object ? NVSimRequest(object, request, arguments) : E_INVALIDARG;
  }
  bool WaitUntilIdle() { return WaitForSingleObject(m_app->GetIdleEvent(), kGenerous) == WAIT_OBJECT_0; }
  // The recorder events the service received; every call posted to the
  // window before has run or been let go by then.
  std::vector<NVSimFakeService::Call> Events(NVSimServiceThread& thread) {
    EXPECT_TRUE(thread.RunAfterPostedCalls([] {}, kGenerous));
    std::vector<NVSimFakeService::Call> events;
    for (const auto& call : m_service->Calls())
      if (call.method == "FireRecorderEvent") events.push_back(call);
    return events;
  }

  TrxComPtr<NVSimFakeService> m_service;
};

TEST_F(NVSimEcho, NeedsBothTheRecorderAndAnEventWindowAndCarriesTheRequest) {
  NVSimServiceThread thread;
  thread.StartPumping();
  EXPECT_EQ(m_app->GetEventWindow(), nullptr) << "no window until one is set";
  // The recorder, the window: the requests echoed afterwards (none: the client is idle at once).
  for (auto [recorder, window, echoes] :
       {std::tuple{true, false, 0u}, {false, true, 0u}, {true, true, 2u}, {true, false, 2u}}) {
    SwitchRecorder(recorder);
    m_app->SetEventWindow(window ? thread.Window() : nullptr);
    EXPECT_EQ(m_app->GetEventWindow(), window ? thread.Window() : nullptr);
    ASSERT_EQ(Request(kName, REQID_SETVALUE, {"Acme Group"}), S_OK);
    ASSERT_EQ(Request(u"", REQID_PROCESSACCELERATOR, {"78", "FALSE", "TRUE", "FALSE"}), S_OK);
    EXPECT_TRUE(m_app->IsIdle() || (recorder && window)) << "nothing to wait for without an echo";
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(Events(thread).size(), echoes) << recorder << window;
  }
  const auto events = Events(thread);
  EXPECT_EQ(events[0].objectType, OBJTYPE_CONTROL) << "the object's own type";
  EXPECT_EQ(events[1].arguments, (Arguments{{"0", "78"}, {"1", "FALSE"}, {"2", "TRUE"}, {"3", "FALSE"}}));
  for (const auto& event : events) EXPECT_EQ(event.thread, thread.Id()) << "on the window's thread";
  const auto log = m_app->GetControlLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), u"FireRecorderEvent(1,)"), 1)
      << "the echo is a user action like any other";
}

TEST_F(NVSimEcho, DoesNotApplyTheRulesASecondTimeAndFailedRequestsAreNotEchoed) {
  NVSimServiceThread thread;
  thread.StartPumping();
  m_app->SetEventWindow(thread.Window());
  SwitchRecorder(true);
  ASSERT_EQ(Request(kList, REQID_NEXTROW, {}), S_OK);
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Read(kList, u"ActiveRow"), "1") << "the request moved one row, the echo none";

  m_app->FailRequests(NVSIM_E_REQUEST_FAILED, 7, u"down", 1);
  EXPECT_EQ(Request(kName, REQID_SETVALUE, {"Acme"}), NVSIM_E_REQUEST_FAILED);
  EXPECT_TRUE(m_app->IsIdle()) << "no echo to wait for";
  // Deleting an account with open opportunities is processed (S_OK) and reports an error.
  EXPECT_EQ(Request(u"#account-form", REQID_BUTTONCLICK, {"DeleteRecord"}), S_OK);
  EXPECT_EQ(m_app->GetJournal().back().errorCode, 1201);
  EXPECT_TRUE(m_app->IsIdle());
  m_app->FailRequests(E_FAIL, 0, u"", 1);
  EXPECT_EQ(Request(kName, REQID_SETVALUE, {"Acme"}), E_FAIL) << "a failure status without an error code";
  EXPECT_TRUE(m_app->IsIdle());
  ASSERT_EQ(Request(kName, REQID_SETFOCUS, {}), S_OK);
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = Events(thread);
  ASSERT_EQ(events.size(), 2u) << "the next request that succeeds is echoed";
  EXPECT_EQ(events[0].eventId, REQID_NEXTROW);
  EXPECT_TRUE(events[0].arguments.empty());
  EXPECT_EQ(events[1].eventId, REQID_SETFOCUS);
}

TEST_F(NVSimEcho, TheClientStaysBusyUntilTheEchoHasRun) {
  NVSimServiceThread thread;  // not pumping yet
  m_app->SetEventWindow(thread.Window());
  SwitchRecorder(true);
  ASSERT_EQ(Request(kName, REQID_SETVALUE, {"Acme"}), S_OK) << "the request itself returns at once";
  EXPECT_FALSE(m_app->IsIdle()) << "busy while the echo waits for the window";
  EXPECT_EQ(m_service->Methods(), (std::vector<std::string>{"AttachAppObject", "OnAppReady"}));
  const auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_TRUE(journal[0].finished);

  thread.StartPumping();
  ASSERT_TRUE(WaitUntilIdle());
  // Idle is signalled after the echo ran, so the event is there already.
  EXPECT_EQ(m_service->Methods().back(), "FireRecorderEvent");
  EXPECT_EQ(m_service->Calls().back().thread, thread.Id());
}

TEST_F(NVSimEcho, AnEchoThatCannotRunIsLetGo) {
  SwitchRecorder(true);
  HWND gone = nullptr;
  {
    NVSimServiceThread thread;
    gone = thread.Window();
    m_app->SetEventWindow(gone);
    ASSERT_EQ(Request(kName, REQID_SETVALUE, {"Acme"}), S_OK);
    EXPECT_FALSE(m_app->IsIdle());
    thread.EndWithoutPumping();  // the waiting echo is aborted with the window
  }
  ASSERT_TRUE(WaitUntilIdle());
  ASSERT_EQ(Request(kName, REQID_SETVALUE, {"Acme"}), S_OK);
  EXPECT_TRUE(m_app->IsIdle()) << "a window that is gone fails the post at once";
  EXPECT_EQ(m_service->Methods(), (std::vector<std::string>{"AttachAppObject", "OnAppReady"}));
  const auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 2u);
  for (const auto& record : journal) EXPECT_EQ(record.status, S_OK) << "the requests themselves succeeded";
}

}  // namespace
