// The simulated client behind the service's own request executor: requests
// cross to the worker thread, the idle signal ends the wait, and the
// client's own failure statuses end the retries.
#include <gtest/gtest.h>

#include <memory>

#include "host/nvsimstatus.h"
#include "log/nvtrxlog.h"
#include "model/nvtrxservicestate.h"
#include "nvsimtestsupport.h"
#include "support/trxfakehost.h"

namespace {

class NVSimExecutor : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CNVTRXLog::SetVerbose(false);
    CNVTRXLog::DiscardQueue();
    m_state = std::make_unique<CNVTRXServiceState>();
    m_app = NVSimLoadSample();
    ASSERT_TRUE(m_app);
    m_root = std::make_unique<TestAutomation>(u"Norvik", nullptr, u"NorvApplication", m_app.Get());
  }
  void TearDown() override {
    m_root.reset();
    m_app.Reset();
    m_state.reset();
    CNVTRXLog::DiscardQueue();
    CoUninitialize();
  }
  TRXRESULT Invoke(const char16_t* path, LONG request, TrxVariant arguments, TRXTIMING timing = TRXTIMING_SET) {
    CNVSimObject* object = m_app->FindObject(path);
    EXPECT_TRUE(object) << NVSimText(path);
    return m_root->NWEInvoke(object, request, &arguments, TRXHOSTREF_KEEP, timing);
  }

  std::unique_ptr<CNVTRXServiceState> m_state;
  TrxComPtr<CNVSimApplication> m_app;
  std::unique_ptr<TestAutomation> m_root;
};

const char16_t kPhone[] = u"Accounts Screen/Account List View/Account Form Applet/Main Phone";

TEST_F(NVSimExecutor, ARequestRunsOnTheWorkerAndChangesTheClient) {
  ASSERT_EQ(Invoke(kPhone, REQID_SETVALUE, TrxVariant::FromString(u"555-0150")), TRX_OK);
  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_NE(journal[0].threadId, GetCurrentThreadId()) << "the executor's worker made the call";
  EXPECT_TRUE(journal[0].finished);
  TrxVariant value;
  m_app->ReadProperty(kPhone, u"Value", value);
  EXPECT_EQ(NVSimText(value), "555-0150");
  EXPECT_EQ(m_state->LastError().GetCode(), 0);
  EXPECT_TRUE(m_app->IsIdle());
}

TEST_F(NVSimExecutor, FailureStatusesAreRetriedUnlessTheyAreTheClientsOwn) {
  struct Case {
    HRESULT status;
    size_t attempts;
  } cases[] = {{NVSIM_E_REQUEST_FAILED, 1}, {NVSIM_E_UNLOADING, 1}, {E_FAIL, 5}};
  for (const Case& c : cases) {
    m_app->ClearJournal();
    m_app->FailRequests(c.status, 9, u"down", -1);
    EXPECT_EQ(Invoke(kPhone, REQID_SETFOCUS, TrxVariant()), TRX_E_EXECUTE_METHOD);
    EXPECT_EQ(m_app->GetJournal().size(), c.attempts) << std::hex << c.status;
  }
  m_app->ClearRequestFailures();
}

}  // namespace
