// Busy and idle, and the faults a test can inject: slow, busy, hanging and
// failing requests, failing property reads, a refused registration and a
// missing control interface.
#include <gtest/gtest.h>

#include <thread>

#include "host/nvsimstatus.h"
#include "nvsimtestsupport.h"

namespace {

constexpr DWORD kGenerous = 10000;  // bound of every wait for something that will happen
const char16_t kPhone[] = u"Accounts Screen/Account List View/Account Form Applet/Main Phone";

bool Signalled(HANDLE event, DWORD wait = 0) { return WaitForSingleObject(event, wait) == WAIT_OBJECT_0; }

class NVSimFaults : public NVSimSampleTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(NVSimSampleTest::SetUp());
    m_field = m_app->FindObject(kPhone);
    // The service's side of the idle signal: the same named event.
    m_idle.Attach(OpenEventW(SYNCHRONIZE, FALSE, u"NWEAutoSynchroEvt"));
    ASSERT_TRUE(m_idle);
  }
  void TearDown() override {
    m_app->SetHangRequests(false);
    m_app->ReleaseHangingRequests();
    if (m_thread.joinable()) m_thread.join();
  }
  // A request on another thread, as the service's worker makes it.
  void RequestInBackground(INVAutomation* object, std::vector<std::string> arguments, LONG request = REQID_SETVALUE) {
    m_thread = std::thread([=] { NVSimRequest(object, request, arguments); });
  }
  std::string Value() { return Read(kPhone, u"Value"); }

  INVAutomation* m_field = nullptr;
  TrxHandle m_idle;
  std::thread m_thread;
};

TEST_F(NVSimFaults, TheIdleEventIsResetWhileARequestRunsAndSignalledAfter) {
  EXPECT_TRUE(Signalled(m_idle.Get())) << "idle from the start";
  m_app->SetHangRequests(true);
  RequestInBackground(m_field, {"555-0001"});
  ASSERT_TRUE(m_app->WaitForHangingRequests(1, kGenerous));
  EXPECT_FALSE(Signalled(m_idle.Get())) << "busy while the request is in the client";
  EXPECT_FALSE(m_app->IsIdle());
  EXPECT_FALSE(m_app->GetJournal().at(0).finished);
  EXPECT_EQ(Value(), "555-0100") << "the change comes when the request ends";
  m_app->ReleaseHangingRequests();
  EXPECT_TRUE(Signalled(m_idle.Get(), kGenerous));
  m_thread.join();
  EXPECT_TRUE(m_app->GetJournal()[0].finished);
  EXPECT_EQ(Value(), "555-0001");

  // A rule can hang a request; other requests still run.
  auto app =
      NVSimFromText("<application name=\"A\"><on request=\"BUTTONCLICK\" arg=\"Stuck\"><hang/></on></application>");
  RequestInBackground(app.Get(), {"Stuck"}, REQID_BUTTONCLICK);
  EXPECT_TRUE(app->WaitForHangingRequests(1, kGenerous));
  EXPECT_EQ(app->GetHangingRequests(), 1);
  ASSERT_EQ(NVSimRequest(app.Get(), REQID_BUTTONCLICK, {"Free"}), S_OK);
  app->ReleaseHangingRequests();
  m_thread.join();
  EXPECT_EQ(app->GetHangingRequests(), 0);
  EXPECT_TRUE(app->IsIdle());
}

TEST_F(NVSimFaults, SlowRequestsAndBusyPeriodsKeepTheClientBusy) {
  m_app->SetRequestDelay(2000);
  RequestInBackground(m_field, {"555-0002"});
  ASSERT_TRUE(m_app->WaitForJournal(1, kGenerous));
  EXPECT_FALSE(Signalled(m_idle.Get())) << "the request takes two seconds";
  EXPECT_TRUE(Signalled(m_idle.Get(), kGenerous));
  m_thread.join();
  EXPECT_GT(NVSimProperty(m_app.Get(), "LastOperationTime").lVal, 0) << "the time the request took";

  m_app->SetRequestDelay(0);
  m_app->SetBusyAfterRequest(2000);
  ASSERT_EQ(NVSimRequest(m_field, REQID_SETVALUE, {"555-0003"}), S_OK) << "the request itself returns at once";
  EXPECT_FALSE(Signalled(m_idle.Get())) << "still busy for two seconds";
  EXPECT_TRUE(Signalled(m_idle.Get(), kGenerous));
  auto app =
      NVSimFromText("<application name=\"A\"><on request=\"BUTTONCLICK\"><busy ms=\"2000\"/></on></application>");
  ASSERT_EQ(NVSimRequest(app.Get(), REQID_BUTTONCLICK, {}), S_OK);
  EXPECT_FALSE(app->IsIdle()) << "a rule can keep the client busy too";
  EXPECT_TRUE(Signalled(app->GetIdleEvent(), kGenerous));

  m_app->SetBusyAfterRequest(0);
  m_app->SetBusy(true);
  EXPECT_FALSE(Signalled(m_idle.Get()));
  ASSERT_EQ(NVSimRequest(m_field, REQID_SETVALUE, {"555-0004"}), S_OK);
  EXPECT_FALSE(Signalled(m_idle.Get())) << "a request does not end a held busy state";
  m_app->SetBusy(false);
  EXPECT_TRUE(Signalled(m_idle.Get()));
}

TEST_F(NVSimFaults, InjectedRequestFailuresCarryStatusCodeAndText) {
  // clang-format off
  const struct { HRESULT status; SHORT code; const char16_t* text; } cases[] = {
      {NVSIM_E_REQUEST_FAILED, 42, u"The record is locked by another user."},
      {S_OK, 77, u"Saved with a warning"},  // a success status that still reports an error
  };
  // clang-format on
  for (const auto& c : cases) {
    m_app->ClearJournal();
    m_app->FailRequests(c.status, c.code, c.text, 1);
    EXPECT_EQ(NVSimRequest(m_field, REQID_SETVALUE, {"555-9999"}), c.status);
    EXPECT_EQ(NVSimLastError(m_app.Get()), std::to_string(c.code) + " " + NVSimText(c.text));
    EXPECT_EQ(Value(), "555-0100") << "a failed request changes nothing";
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
  ASSERT_TRUE(m_app->FailProperty(kPhone, u"Value", E_ACCESSDENIED));
  EXPECT_FALSE(m_app->FailProperty(u"No/Such/Object", u"Value", E_FAIL));
  auto read = [](INVAutomation* object, const char16_t* property) {
    TrxVariant value = TrxVariant::FromI4(1);
    TrxBstr name(property);
    const HRESULT hr = object->GetProperty(name.Get(), nullptr, 0, value.Put());
    return hr == S_OK || value.vt == VT_EMPTY ? hr : E_UNEXPECTED;  // a failed read gives no value
  };
  EXPECT_EQ(read(m_field, u"Value"), E_ACCESSDENIED);
  EXPECT_EQ(read(m_field, u"Type"), S_OK) << "other properties still read";
  m_app->ClearPropertyFailures();
  EXPECT_EQ(read(m_field, u"Value"), S_OK);
  auto app = NVSimFromText("<application name=\"A\"><property name=\"Broken\" fail=\"0x80004005\"/></application>");
  EXPECT_EQ(read(app.Get(), u"Broken"), E_FAIL) << "a description can make a read fail";
}

TEST_F(NVSimFaults, RegistrationRecorderAndOperationIdCanFailAndTheControlInterfaceBeWithheld) {
  auto service = NVSimFakeService::Create();
  INVTRX* trx = static_cast<INVTRX*>(service.Get());
  m_app->SetRecorderSwitchStatus(E_FAIL);
  m_app->SetOperationIdStatus(E_UNEXPECTED);
  EXPECT_EQ(m_app->EnableRecorder(TrxVariant::FromBool(true)), E_FAIL);
  EXPECT_FALSE(m_app->IsRecorderEnabled());
  TrxBstr id(u"3");
  EXPECT_EQ(m_app->SetOperationId(id.Get()), E_UNEXPECTED);
  EXPECT_EQ(NVSimText(m_app->GetOperationId()), "");
  // clang-format off
  const struct { const char* attributes; HRESULT query, registration; } cases[] = {
      {"", S_OK, S_OK},
      {" controlInterface=\"false\"", E_NOINTERFACE, S_OK},
      {" registerStatus=\"E_FAIL\"", S_OK, E_FAIL},
  };
  // clang-format on
  for (const auto& c : cases) {
    auto app = NVSimFromText(std::string("<application name=\"A\"") + c.attributes + "/>");
    TrxComPtr<INVAppControl> control;
    EXPECT_EQ(app->QueryInterface(IID_INVAppControl, control.PutVoid()), c.query) << c.attributes;
    EXPECT_EQ(app->RegisterTRX(trx), c.registration) << c.attributes;
  }
}

}  // namespace
