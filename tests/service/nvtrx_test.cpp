// The facade against the simulated client, as the host and a tool use it.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "host/nvsimapplication.h"
#include "host/nvsimcallwindow.h"
#include "service/nvtrx.h"
#include "support/trxtestvalues.h"
#include "tests/service/nvtrxservicetest.h"

namespace {

const OLECHAR kRoot[] = OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>");

using Facade = TrxServiceTest;

TEST_F(Facade, EveryClientGetsTheSameFacadeWhichCannotBeAggregated) {
  TrxComPtr<INVTRX> host;
  ASSERT_EQ(CNVCoTRX::CreateInstance(nullptr, IID_INVTRX, host.PutVoid()), S_OK);
  TrxComPtr<INVTRXAutomation> viaHost;
  ASSERT_EQ(host.As(viaHost), S_OK);
  EXPECT_EQ(viaHost.Get(), m_tool.Get());
  TrxComPtr<IUnknown> aggregated;
  EXPECT_EQ(CNVCoTRX::CreateInstance(reinterpret_cast<IUnknown*>(host.Get()), IID_IUnknown, aggregated.PutVoid()),
            CLASS_E_NOAGGREGATION);
}

TEST_F(Facade, AClientWithoutTheControlInterfaceCannotAttach) {
  m_client->SetControlInterface(false);
  TrxComPtr<INVTRX> host = Host();
  TrxComPtr<IDispatch> app = ClientApplication();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(host->AttachAppObject(app.Get()), E_FAIL);
  EXPECT_EQ(host->OnAppReady(app.Get()), E_FAIL);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Test Automation Warning: Failed to connect to Norvik Client\n"
            "Test Automation Warning: Failed to connect to Norvik Client\n")
      << "the warning box goes to standard error and never waits for anyone";
  EXPECT_EQ(LastError(), "-1018 Could not find Norvik application object.");

  m_client->SetControlInterface(true);
  m_client->SetRegistrationStatus(E_ACCESSDENIED);
  EXPECT_EQ(host->AttachAppObject(app.Get()), E_ACCESSDENIED) << "the host's own refusal comes back";
}

TEST_F(Facade, ANeverAttachedClientIsReportedAndNoRootIsInvented) {
  const std::string noApplication = "-1018 Could not find Norvik application object.";
  EXPECT_EQ(Said(Submit(kRoot, OLESTR("UIName"))), noApplication);
  EXPECT_EQ(Said(Submit(kRoot, OLESTR("GetSessionId"))), noApplication);
  TrxBstr ods, message;
  LONG code = 0;
  ASSERT_EQ(m_tool->GetRootObject(ods.Put(), message.Put(), &code), S_OK);
  EXPECT_EQ(code, TRX_E_NO_APPLICATION) << "no application name is invented";
  EXPECT_EQ(ods.Get(), nullptr);
}

TEST_F(Facade, HostCallsPostedToTheServiceThreadRunWhileASubmitWaits) {
  // The service thread owns the window; the client thread posts the
  // attachment to it while the service thread waits inside a Submit.
  CNVSimCallWindow window;
  ASSERT_NE(window.GetHandle(), nullptr);
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  m_client->SetBusyAfterRequest(1500);
  std::shared_ptr<CNVSimCall> ready;
  std::thread client([&] {
    Sleep(300);
    ready = m_client->PostReady(window.GetHandle());
  });
  const std::string said = Said(Submit(kRoot, OLESTR("ProcessKeyboardAccelerator"), Str(u"Ctrl+S")));
  client.join();
  EXPECT_EQ(said, "0 ");
  ASSERT_TRUE(ready);
  EXPECT_TRUE(ready->IsDone()) << "the posted call ran during the Submit's idle wait";
  EXPECT_EQ(ready->GetThreadId(), GetCurrentThreadId());
}

TEST_F(Facade, SubmitFailuresAreTheLastErrorAndEveryCallLeavesOnlyTheRoot) {
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  TrxBstr ods(kRoot), method(OLESTR("UIName")), message;
  TrxVariant result;
  LONG code = 0;
  EXPECT_EQ(m_tool->Submit(ods.Get(), method.Get(), TrxVariant(), &result, message.Put(), nullptr), E_POINTER);
  EXPECT_EQ(m_tool->Submit(ods.Get(), method.Get(), TrxVariant(), nullptr, message.Put(), &code), E_POINTER);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(LastError(),
            "-1014 Invalid argument value for method name \"UIName\" for argument \"retVal, errMsg, or errCode\". "
            "Input value: \"Unexpected NULL argument pointer\".");

  EXPECT_EQ(Said(Submit(OLESTR("<Obj"), OLESTR("UIName"))),
            "-1023 LoadXML for ODS failed. ODS is not in valid XML format! ErrorCode: -11");
  const std::string empty = Said(Submit(OLESTR(""), OLESTR("UIName")));
  EXPECT_EQ(empty, "-1023 System error. Debug info: TRXODS cannot be empty.");
  EXPECT_EQ(Said(Submit(kRoot, OLESTR("GetClassCount"), TrxVariant::FromI4(3))),
            "-1013 Invalid argument type for method name:GetClassCount for argument: ClassName. Expected type: String.");

  Submit(kRoot, OLESTR("RepositoryName"));
  Submit(kRoot, OLESTR("GetChildren"));
  TrxBstr xml;
  m_tool->GetObjectContents(5, ods.Get(), xml.Put(), message.Put(), &code);
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), 1);
}

// The recorder switches the client saw, in order.
std::vector<std::string> RecorderSwitches(const CNVSimApplication& client) {
  std::vector<std::string> switches;
  for (const TrxString& entry : client.GetControlLog())
    if (entry.rfind(u"EnableRecorder", 0) == 0) switches.push_back(TrxNarrow(entry));
  return switches;
}

TEST_F(Facade, RecordingIsSuspendedAroundToolCallsUnlessLoopbackTestsAreOn) {
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  ASSERT_EQ(Answer(&INVTRXAutomation::StartRecording), "0 ");
  EXPECT_EQ(RecorderSwitches(*m_client), std::vector<std::string>{"EnableRecorder(TRUE)"});

  Submit(kRoot, OLESTR("UIName"));
  EXPECT_EQ(RecorderSwitches(*m_client),
            (std::vector<std::string>{"EnableRecorder(TRUE)", "EnableRecorder(FALSE)", "EnableRecorder(TRUE)"}))
      << "the tool's own call is not recorded";

  EXPECT_EQ(Submit(kRoot, OLESTR("EnableLoopbackTests")).code, 0);
  EXPECT_TRUE(m_client->IsRecorderEnabled()) << "the call that turned loopback tests on restored the recorder";
  const size_t before = RecorderSwitches(*m_client).size();
  Submit(kRoot, OLESTR("UIName"));
  EXPECT_EQ(RecorderSwitches(*m_client).size(), before) << "with loopback tests on the recorder stays on";
  EXPECT_EQ(Submit(kRoot, OLESTR("DisableLoopbackTests")).code, 0);
  Submit(kRoot, OLESTR("UIName"));
  // The call that left loopback tests found the recorder on and left it so;
  // the next call suspends and restores it again.
  EXPECT_EQ(RecorderSwitches(*m_client).size(), before + 2);
  EXPECT_TRUE(m_client->IsRecorderEnabled());

  EXPECT_EQ(Submit(OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj "
                          "ClassName=\"NorvScreen\" RepositoryName=\"Nowhere\"/></Obj>"),
                   OLESTR("EnableLoopbackTests"))
                .code,
            TRX_E_CREATE_OBJECT)
      << "loopback tests need a descriptor that resolves";
  EXPECT_FALSE(CNVCoTRX::Instance()->GetApplication()->IsLoopbackTests());
  Answer(&INVTRXAutomation::StopRecording);
}

TEST_F(Facade, ARecordingClientIsNeverWaitedFor) {
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  ASSERT_EQ(Answer(&INVTRXAutomation::StartRecording), "0 ");
  Reply recording = Submit(kRoot, OLESTR("getbusytime"));
  EXPECT_EQ(recording.code, 0);
  EXPECT_LE(recording.value.lVal, -90) << "while recording the wait returns at once, without the pause";
  Answer(&INVTRXAutomation::StopRecording);
}

}  // namespace
