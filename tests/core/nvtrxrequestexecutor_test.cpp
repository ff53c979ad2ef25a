// Host requests through the request executor: hand-over, idle wait,
// blocking guard, retries, host errors, cushion delay.
#include <gtest/gtest.h>

#include <thread>

#include "model/nvtrxrequestexecutor.h"
#include "support/trxfakehost.h"

namespace {

using RequestExecutor = TrxHostTest;

// Signals the host's idle event after `delay` ms, from another thread.
std::thread SignalIdleLater(DWORD delay) {
  return std::thread([delay] {
    Sleep(delay);
    TrxHandle idle(OpenEventW(EVENT_MODIFY_STATE, FALSE, OLESTR("NWEAutoSynchroEvt")));
    SetEvent(idle.Get());
  });
}

// Set and add are checked with the method kinds of the automation tests.
TEST_F(RequestExecutor, NoTimingKeepsTheOperationTimeAndADoubleClickReadsTheHosts) {
  TrxVariant args = TrxVariant::FromString(OLESTR("F2"));
  ASSERT_EQ(m_root->NWEInvoke(m_app, REQID_PROCESSACCELERATOR, &args, TRXHOSTREF_KEEP, TRXTIMING_SET), TRX_OK);
  ASSERT_EQ(m_root->NWEInvoke(m_app, REQID_PROCESSACCELERATOR, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_OK);
  EXPECT_EQ(m_state->GetLastOperationTime(), 25);
  m_app->SetProperty(OLESTR("LastOperationTime"), 7);
  ASSERT_EQ(m_root->NWEInvoke(m_app, REQID_PROCESSACCELERATOR, &args, TRXHOSTREF_KEEP, TRXTIMING_DOUBLE_CLICK), TRX_OK);
  EXPECT_EQ(m_state->GetLastOperationTime(), 7);
  EXPECT_EQ(LastCode(), 0);
}

TEST_F(RequestExecutor, AHungRequestBlocksTheNextOneUntilItReturns) {
  m_app->HangRequests(true);
  m_app->SetSignalsIdle(false);
  TrxVariant args;
  std::thread idle = SignalIdleLater(1500);
  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_OK)
      << "the first request comes back after the idle wait";
  idle.join();
  EXPECT_EQ(LastCode(), 0) << "the blocking notice leaves the last error alone";

  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_E_EXECUTE_METHOD);
  EXPECT_EQ(LastText(), "System error. Debug info: Failed to execute method id 8 with args (()). Reason: Blocked.");
  EXPECT_EQ(m_app->Journal().size(), 1u) << "nothing was handed to the worker";

  m_app->HangRequests(false);
  m_app->ReleaseHang();
  m_app->SetSignalsIdle(true);
  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_OK);
  EXPECT_EQ(m_app->Journal().size(), 2u);
  EXPECT_EQ(LastCode(), 0);
}

TEST_F(RequestExecutor, TheTimeOutCountsFromTheStartOfTheIdleWait) {
  // The request takes 800 ms and the host is idle 1000 ms after the
  // hand-over: within a 600 ms time-out only when it starts after the
  // request came back.
  m_app->SetSignalsIdle(false);
  m_app->SetRequestDuration(800);
  m_state->SetSubmitTimeout(600);
  TrxVariant args;
  std::thread idle = SignalIdleLater(1000);
  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_OK);
  idle.join();
}

TEST_F(RequestExecutor, CallsPostedToTheWaitingThreadRunWhileItWaits) {
  // A window of the apartment thread; another thread posts to it while the
  // apartment thread waits for the host.
  static DWORD ranOn = 0;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_APP) {
      ranOn = GetCurrentThreadId();
      TrxHandle idle(OpenEventW(EVENT_MODIFY_STATE, FALSE, OLESTR("NWEAutoSynchroEvt")));
      SetEvent(idle.Get());
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  };
  windowClass.lpszClassName = OLESTR("TrxApartmentTest");
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, OLESTR("TrxApartmentTest"), OLESTR(""), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(window, nullptr);

  m_app->SetSignalsIdle(false);
  std::thread poster([window] {
    Sleep(200);
    PostMessageW(window, WM_APP, 0, 0);
  });
  TrxVariant args;
  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_OK);
  poster.join();
  EXPECT_EQ(ranOn, GetCurrentThreadId());
  DestroyWindow(window);
  UnregisterClassW(OLESTR("TrxApartmentTest"), nullptr);
}

TEST_F(RequestExecutor, RetriesEndAtOnceOnTheHostsOwnStatuses) {
  TrxVariant args;
  m_app->FailRequests(static_cast<HRESULT>(0x8004000Cu));
  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_E_EXECUTE_METHOD);
  EXPECT_EQ(m_app->Journal().size(), 1u);
  EXPECT_EQ(LastText(),
            "System error. Debug info: Failed to execute method id 8 with args (()). Reason: HandleAutoRequest.");

  m_app->FailRequests(E_FAIL);
  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_E_EXECUTE_METHOD);
  EXPECT_EQ(m_app->Journal().size(), 1u + 5u);
}

TEST_F(RequestExecutor, ARequestTheHostRefusedAnswersItsErrorText) {
  FakeHostObject* field = m_app->AddChild(OBJTYPE_CONTROL, OLESTR("Account"));
  CNVTRXAutomation* object = Build(m_root.get(), field);
  m_app->SetLastError(42, OLESTR("Field is read-only"));
  field->SetLastError(42, OLESTR("Field is read-only"));
  TrxVariant args = TrxVariant::FromString(OLESTR("x"));
  EXPECT_EQ(object->NWEInvoke(field, REQID_SETVALUE, &args, TRXHOSTREF_DROP, TRXTIMING_NONE), TRX_E_SYSTEM);
  EXPECT_EQ(object->GetNWEAuto(), nullptr) << "a child drops its host reference when asked";
  EXPECT_EQ(LastCode(), TRX_E_SYSTEM);
  EXPECT_EQ(LastText(), "System error. Debug info: Norvik Web Engine(NWE) returned the following error text: "
                        "\"Field is read-only\" and error ID: 42.");

  m_state->SetHostUnloaded(true);
  m_state->LastError().Clear();
  EXPECT_EQ(m_root->NWEInvoke(m_app, REQID_SETVALUE, &args, TRXHOSTREF_DROP, TRXTIMING_NONE), TRX_OK);
  EXPECT_EQ(LastCode(), 0) << "an unloaded host is not asked for errors";
  EXPECT_NE(m_root->GetNWEAuto(), nullptr) << "the root never drops its host reference";
}

// A host object that refuses to be marshalled (it does not answer
// INVAutomation through QueryInterface).
class UnmarshallableHost : public FakeHostObject {
 public:
  using FakeHostObject::FakeHostObject;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_INVAutomation)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return FakeHostObject::QueryInterface(riid, ppv);
  }
};

TEST_F(RequestExecutor, AHostObjectThatCannotBeMarshalledIsNotRun) {
  UnmarshallableHost* host = new UnmarshallableHost(OBJTYPE_CONTROL, OLESTR("Odd"));
  TrxVariant args;
  EXPECT_EQ(m_root->NWEInvoke(host, REQID_BUTTONCLICK, &args, TRXHOSTREF_KEEP, TRXTIMING_NONE), TRX_E_EXECUTE_METHOD);
  EXPECT_EQ(LastText(), "System error. Debug info: Failed to execute method id 8 with args (()). Reason: Marshaling.");
  EXPECT_TRUE(host->Journal().empty());
  host->Release();
}

TEST(RequestExecutorSetUp, TheCushionDelayComesFromTheEnvironment) {
  struct Case {
    const OLECHAR* value;
    DWORD delay;
  };
  const Case cases[] = {
      {nullptr, 0}, {OLESTR("250"), 250}, {OLESTR("  40ms"), 40}, {OLESTR("abc"), 0}, {OLESTR("-5"), 0}};
  for (const Case& c : cases) {
    SetEnvironmentVariableW(OLESTR("TRXCUSHIONDELAY"), c.value);
    {
      CNVTRXServiceState state;
      TestAutomation root(OLESTR("Norvik"), nullptr, OLESTR("NorvApplication"), nullptr);
      EXPECT_EQ(CNVTRXRequestExecutor::GetCushionDelay(), c.delay) << (c.value ? TrxNarrow(c.value) : "unset");
    }
  }
  SetEnvironmentVariableW(OLESTR("TRXCUSHIONDELAY"), nullptr);
}

}  // namespace
