// Busy and idle, and the faults a test can inject: slow, busy, hanging and
// failing requests, failing property reads, a refused registration and a
// missing control interface.
#include <gtest/gtest.h>

#include <thread>

#include "host/nvsimstatus.h"
#include "nvsimtestsupport.h"

namespace {

constexpr DWORD kGenerous = 10000;  // bound of every wait for something that will happen

bool Signalled(HANDLE event, DWORD wait = 0) { return WaitForSingleObject(event, wait) == WAIT_OBJECT_0; }

class NVSimFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    m_app = NVSimLoadSample();
    ASSERT_TRUE(m_app);
    m_field = m_app->FindObject(u"Accounts Screen/Account List View/Account Form Applet/Main Phone");
    ASSERT_TRUE(m_field);
    // The service's side of the idle signal: the same named event.
    m_idle.Attach(OpenEventW(SYNCHRONIZE, FALSE, u"NWEAutoSynchroEvt"));
    ASSERT_TRUE(m_idle);
  }
  void TearDown() override {
    m_app->SetHangRequests(false);
    m_app->ReleaseHangingRequests();
    for (std::thread& thread : m_threads) thread.join();
  }
  // A request on another thread, as the service's worker makes it.
  void RequestInBackground(LONG request, std::vector<std::string> arguments) {
    m_threads.emplace_back([this, request, arguments] { NVSimRequest(m_field, request, arguments); });
  }

  TrxComPtr<CNVSimApplication> m_app;
  INVAutomation* m_field = nullptr;
  TrxHandle m_idle;
  std::vector<std::thread> m_threads;
};

TEST_F(NVSimFaults, TheIdleEventIsResetWhileARequestRunsAndSignalledAfter) {
  EXPECT_TRUE(Signalled(m_idle.Get())) << "idle from the start";
  m_app->SetHangRequests(true);
  RequestInBackground(REQID_SETVALUE, {"555-0001"});
  ASSERT_TRUE(m_app->WaitForHangingRequests(1, kGenerous));
  EXPECT_FALSE(Signalled(m_idle.Get())) << "busy while the request is in the client";
  EXPECT_FALSE(m_app->IsIdle());
  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_FALSE(journal[0].finished);
  EXPECT_EQ(NVSimText(NVSimProperty(m_field, "Value")), "555-0100") << "the change comes when the request ends";

  m_app->ReleaseHangingRequests();
  EXPECT_TRUE(Signalled(m_idle.Get(), kGenerous));
  m_threads.back().join();
  m_threads.pop_back();
  EXPECT_TRUE(m_app->GetJournal()[0].finished);
  EXPECT_EQ(NVSimText(NVSimProperty(m_field, "Value")), "555-0001");
}

TEST_F(NVSimFaults, ASlowRequestKeepsTheClientBusyUntilItReturns) {
  m_app->SetRequestDelay(2000);
  RequestInBackground(REQID_SETVALUE, {"555-0002"});
  ASSERT_TRUE(m_app->WaitForJournal(1, kGenerous));
  EXPECT_FALSE(Signalled(m_idle.Get())) << "the request takes two seconds";
  EXPECT_TRUE(Signalled(m_idle.Get(), kGenerous));
  m_threads.back().join();
  m_threads.pop_back();
  TrxVariant time = NVSimProperty(m_app.Get(), "LastOperationTime");
  EXPECT_GE(time.lVal, 1000) << "the time the request took";
}

TEST_F(NVSimFaults, BusyAfterARequestSignalsIdleLate) {
  m_app->SetBusyAfterRequest(2000);
  ASSERT_EQ(NVSimRequest(m_field, REQID_SETVALUE, {"555-0003"}), S_OK) << "the request itself returns at once";
  EXPECT_FALSE(Signalled(m_idle.Get())) << "still busy for two seconds";
  EXPECT_TRUE(Signalled(m_idle.Get(), kGenerous));

  auto app =
      NVSimFromText("<application name=\"A\"><on request=\"BUTTONCLICK\"><busy ms=\"2000\"/></on></application>");
  ASSERT_TRUE(app);
  ASSERT_EQ(NVSimRequest(app.Get(), REQID_BUTTONCLICK, {}), S_OK);
  EXPECT_FALSE(app->IsIdle()) << "a rule can keep the client busy too";
  EXPECT_TRUE(Signalled(app->GetIdleEvent(), kGenerous));
}

TEST_F(NVSimFaults, TheClientCanBeHeldBusy) {
  m_app->SetBusy(true);
  EXPECT_FALSE(Signalled(m_idle.Get()));
  ASSERT_EQ(NVSimRequest(m_field, REQID_SETVALUE, {"555-0004"}), S_OK);
  EXPECT_FALSE(Signalled(m_idle.Get())) << "a request does not end a held busy state";
  m_app->SetBusy(false);
  EXPECT_TRUE(Signalled(m_idle.Get()));
}

TEST_F(NVSimFaults, ARuleCanHangARequestUntilReleased) {
  auto app =
      NVSimFromText("<application name=\"A\"><on request=\"BUTTONCLICK\" arg=\"Stuck\"><hang/></on></application>");
  ASSERT_TRUE(app);
  std::thread thread([&] { NVSimRequest(app.Get(), REQID_BUTTONCLICK, {"Stuck"}); });
  EXPECT_TRUE(app->WaitForHangingRequests(1, kGenerous));
  EXPECT_EQ(app->GetHangingRequests(), 1);
  ASSERT_EQ(NVSimRequest(app.Get(), REQID_BUTTONCLICK, {"Free"}), S_OK) << "other requests still run";
  app->ReleaseHangingRequests();
  thread.join();
  EXPECT_EQ(app->GetHangingRequests(), 0);
  EXPECT_TRUE(app->IsIdle());
}

TEST_F(NVSimFaults, InjectedRequestFailuresCarryStatusCodeAndText) {
  struct Case {
    HRESULT status;
    SHORT code;
    const char16_t* text;
  } cases[] = {
      {NVSIM_E_REQUEST_FAILED, 42, u"The record is locked by another user."},
      {E_FAIL, 3, u"Server unavailable"},
      {S_OK, 77, u"Saved with a warning"},  // a success status that still reports an error
  };
  for (const Case& c : cases) {
    m_app->ClearJournal();
    m_app->FailRequests(c.status, c.code, c.text, 1);
    EXPECT_EQ(NVSimRequest(m_field, REQID_SETVALUE, {"555-9999"}), c.status);
    SHORT code = 0;
    TrxBstr text;
    m_app->GetLastErrorCode(&code);
    m_field->GetLastErrorText(text.Put());
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(text.View(), TrxStringView(c.text));
    EXPECT_EQ(NVSimText(NVSimProperty(m_field, "Value")), "555-0100") << "a failed request changes nothing";
    EXPECT_EQ(m_app->GetJournal()[0].status, c.status);
    EXPECT_EQ(NVSimRequest(m_field, REQID_SETFOCUS, {}), S_OK) << "only the next request failed";
  }
  m_app->FailRequests(E_FAIL, 1, u"down", -1);
  EXPECT_EQ(NVSimRequest(m_field, REQID_SETFOCUS, {}), E_FAIL);
  EXPECT_EQ(NVSimRequest(m_field, REQID_SETFOCUS, {}), E_FAIL);
  m_app->ClearRequestFailures();
  EXPECT_EQ(NVSimRequest(m_field, REQID_SETFOCUS, {}), S_OK);
}

TEST_F(NVSimFaults, PropertyReadsCanFail) {
  ASSERT_TRUE(m_app->FailProperty(u"Accounts Screen/Account List View/Account Form Applet/Main Phone", u"Value",
                                  E_ACCESSDENIED));
  ASSERT_TRUE(m_app->FailProperty(u"", u"SessionID", E_FAIL));
  EXPECT_FALSE(m_app->FailProperty(u"No/Such/Object", u"Value", E_FAIL));
  TrxVariant value;
  TrxBstr name(u"Value");
  EXPECT_EQ(m_field->GetProperty(name.Get(), nullptr, 0, value.Put()), E_ACCESSDENIED);
  EXPECT_EQ(value.vt, VT_EMPTY);
  TrxBstr session(u"SessionID");
  EXPECT_EQ(m_app->GetProperty(session.Get(), nullptr, 0, value.Put()), E_FAIL);
  TrxBstr type(u"Type");
  EXPECT_EQ(m_field->GetProperty(type.Get(), nullptr, 0, value.Put()), S_OK) << "other properties still read";
  m_app->ClearPropertyFailures();
  EXPECT_EQ(m_field->GetProperty(name.Get(), nullptr, 0, value.Put()), S_OK);

  auto app = NVSimFromText("<application name=\"A\"><property name=\"Broken\" fail=\"0x80004005\"/></application>");
  ASSERT_TRUE(app);
  TrxBstr broken(u"Broken");
  EXPECT_EQ(app->GetProperty(broken.Get(), nullptr, 0, value.Put()), E_FAIL) << "a description can make a read fail";
}

TEST_F(NVSimFaults, RegistrationCanBeRefusedAndTheControlInterfaceWithheld) {
  auto service = NVSimFakeService::Create();
  TrxComPtr<INVAppControl> control;
  ASSERT_EQ(m_app->QueryInterface(IID_INVAppControl, control.PutVoid()), S_OK);
  m_app->SetRegistrationStatus(E_ACCESSDENIED);
  EXPECT_EQ(control->RegisterTRX(static_cast<INVTRX*>(service.Get())), E_ACCESSDENIED);
  EXPECT_FALSE(m_app->GetRegisteredService());
  m_app->SetRegistrationStatus(S_OK);
  EXPECT_EQ(control->RegisterTRX(static_cast<INVTRX*>(service.Get())), S_OK);
  EXPECT_TRUE(m_app->GetRegisteredService());
  EXPECT_EQ(m_app->GetControlLog(), (std::vector<TrxString>{u"RegisterTRX failed 0x80070005", u"RegisterTRX"}));

  m_app->SetControlInterface(false);
  TrxComPtr<INVAppControl> none;
  EXPECT_EQ(m_app->QueryInterface(IID_INVAppControl, none.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(none);
  TrxComPtr<IDispatch> dispatch;
  EXPECT_EQ(m_app->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK) << "the rest is still offered";

  struct Case {
    const char* attributes;
    HRESULT query;
    HRESULT registration;
  } cases[] = {
      {"", S_OK, S_OK},
      {" controlInterface=\"false\"", E_NOINTERFACE, S_OK},
      {" registerStatus=\"E_FAIL\"", S_OK, E_FAIL},
  };
  for (const Case& c : cases) {
    auto app = NVSimFromText(std::string("<application name=\"A\"") + c.attributes + "/>");
    ASSERT_TRUE(app);
    TrxComPtr<INVAppControl> appControl;
    EXPECT_EQ(app->QueryInterface(IID_INVAppControl, appControl.PutVoid()), c.query) << c.attributes;
    EXPECT_EQ(app->RegisterTRX(static_cast<INVTRX*>(service.Get())), c.registration) << c.attributes;
  }
}

TEST_F(NVSimFaults, TheRecorderSwitchAndTheOperationIdCanFail) {
  m_app->SetRecorderSwitchStatus(E_FAIL);
  m_app->SetOperationIdStatus(E_UNEXPECTED);
  TrxVariant on = TrxVariant::FromBool(true);
  EXPECT_EQ(m_app->EnableRecorder(on), E_FAIL);
  EXPECT_FALSE(m_app->IsRecorderEnabled());
  TrxBstr id(u"3");
  EXPECT_EQ(m_app->SetOperationId(id.Get()), E_UNEXPECTED);
  EXPECT_EQ(NVSimText(m_app->GetOperationId()), "");
}

}  // namespace
