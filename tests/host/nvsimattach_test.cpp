// Attaching the client to the service, reporting user actions, and running
// those calls on the service's thread through a call window.
#include <gtest/gtest.h>

#include <thread>

#include "host/nvsimcallwindow.h"
#include "host/nvsimpropertyset.h"
#include "nvsimtestsupport.h"

namespace {

constexpr DWORD kGenerous = 10000;

class NVSimAttach : public ::testing::Test {
 protected:
  void SetUp() override {
    m_app = NVSimLoadSample();
    ASSERT_TRUE(m_app);
    m_service = NVSimFakeService::Create();
  }
  IUnknown* Service() { return static_cast<INVTRX*>(m_service.Get()); }
  void SwitchRecorder(bool on) {
    TrxComPtr<INVAppControl> control;
    ASSERT_EQ(m_app->QueryInterface(IID_INVAppControl, control.PutVoid()), S_OK);
    ASSERT_EQ(control->EnableRecorder(TrxVariant::FromBool(on)), S_OK);
  }

  TrxComPtr<CNVSimApplication> m_app;
  TrxComPtr<NVSimFakeService> m_service;
};

TEST_F(NVSimAttach, AttachingCallsAttachAppObjectThenOnAppReadyWithTheApplication) {
  m_app->SetBusy(true);
  m_app->SetBusy(false);
  ASSERT_EQ(m_app->Attach(Service()), S_OK);
  auto calls = m_service->Calls();
  ASSERT_EQ(m_service->Methods(), (std::vector<std::string>{"AttachAppObject", "OnAppReady"}));
  TrxComPtr<IDispatch> expected;
  ASSERT_EQ(m_app->QueryInterface(IID_IDispatch, expected.PutVoid()), S_OK);
  for (const auto& call : calls) {
    EXPECT_EQ(call.application, expected.Get()) << call.method << " gets the application as IDispatch";
    EXPECT_EQ(call.thread, GetCurrentThreadId()) << call.method;
  }
  EXPECT_TRUE(m_app->GetRegisteredService()) << "the service registered itself while attaching";
  EXPECT_TRUE(m_app->IsIdle());
  EXPECT_EQ(m_app->GetControlLog(), (std::vector<TrxString>{u"RegisterTRX", u"AttachAppObject", u"OnAppReady"}));

  ASSERT_EQ(m_app->Ready(), S_OK);
  ASSERT_EQ(m_app->Unload(), S_OK);
  EXPECT_EQ(m_service->Methods(),
            (std::vector<std::string>{"AttachAppObject", "OnAppReady", "OnAppReady", "OnUnload"}));
  EXPECT_FALSE(m_app->GetRegisteredService()) << "the client forgets the service when it unloads";
  EXPECT_EQ(m_app->Unload(), E_UNEXPECTED) << "nothing attached any more";
}

TEST_F(NVSimAttach, AFailedAttachmentIsNotFollowedByOnAppReady) {
  m_service->SetAttachStatus(E_ACCESSDENIED);
  EXPECT_EQ(m_app->Attach(Service()), E_ACCESSDENIED);
  EXPECT_EQ(m_service->Methods(), std::vector<std::string>{"AttachAppObject"});

  auto refusing = NVSimFakeService::Create();
  m_app->SetRegistrationStatus(E_FAIL);
  EXPECT_EQ(m_app->Attach(static_cast<INVTRX*>(refusing.Get())), E_FAIL) << "the refused registration comes back";

  TrxComPtr<CNVSimPropertySet> notAService = CNVSimPropertySet::Create();
  EXPECT_EQ(m_app->Attach(static_cast<INVPropertySet*>(notAService.Get())), E_NOINTERFACE);
  EXPECT_EQ(m_app->Attach(nullptr), E_POINTER);
}

TEST_F(NVSimAttach, UserActionsAreReportedOnlyWhileTheRecorderIsOn) {
  ASSERT_EQ(m_app->Attach(Service()), S_OK);
  CNVSimUserAction action;
  action.object = u"Accounts Screen/Account List View/Account Form Applet/Name";
  action.eventId = REQID_SETVALUE;
  action.arguments = {{u"0", u"Acme Holdings"}};
  EXPECT_EQ(m_app->Play(action), S_FALSE) << "the recorder is off";
  EXPECT_EQ(m_service->Methods().size(), 2u);
  TrxVariant value;
  m_app->ReadProperty(action.object, u"Value", value);
  EXPECT_EQ(NVSimText(value), "Acme Holdings") << "the user's change happens all the same";

  SwitchRecorder(true);
  action.arguments = {{u"0", u"Acme Group"}, {u"Source", u"keyboard"}};
  ASSERT_EQ(m_app->Play(action), S_OK);
  auto calls = m_service->Calls();
  ASSERT_EQ(calls.size(), 3u);
  const auto& event = calls.back();
  EXPECT_EQ(event.method, "FireRecorderEvent");
  EXPECT_EQ(event.eventId, REQID_SETVALUE);
  EXPECT_EQ(event.objectType, OBJTYPE_CONTROL);
  EXPECT_EQ(event.object, static_cast<INVAutomation*>(m_app->FindObject(action.object)));
  EXPECT_EQ(event.arguments,
            (std::vector<std::pair<std::string, std::string>>{{"0", "Acme Group"}, {"Source", "keyboard"}}));

  action.objectType = OBJTYPE_APPLET;
  action.applyRules = false;
  action.arguments = {{u"0", u"Ignored"}};
  ASSERT_EQ(m_app->Play(action), S_OK);
  EXPECT_EQ(m_service->Calls().back().objectType, OBJTYPE_APPLET) << "the reported type can be chosen";
  m_app->ReadProperty(action.object, u"Value", value);
  EXPECT_EQ(NVSimText(value), "Acme Group") << "no state change when the rules are not applied";

  action.object = u"No/Such/Object";
  EXPECT_EQ(m_app->Play(action), E_INVALIDARG);

  SwitchRecorder(false);
  action.object = u"HIMain";
  EXPECT_EQ(m_app->Play(action), S_FALSE);
  EXPECT_EQ(m_service->Calls().size(), 4u);
}

TEST_F(NVSimAttach, RecorderEventsGoToTheRegisteredServiceFirst) {
  m_service->SetRegistersOnAttach(false);
  ASSERT_EQ(m_app->Attach(Service()), S_OK);
  SwitchRecorder(true);
  CNVSimUserAction action;
  action.object = u"HIMain";
  action.eventId = REQID_GOTOITEM;
  ASSERT_EQ(m_app->Play(action), S_OK);
  EXPECT_EQ(m_service->Methods().back(), "FireRecorderEvent") << "without a registration, the attached service";

  auto registered = NVSimFakeService::Create();
  ASSERT_EQ(m_app->RegisterTRX(static_cast<INVTRX*>(registered.Get())), S_OK);
  ASSERT_EQ(m_app->Play(action), S_OK);
  EXPECT_EQ(registered->Methods(), std::vector<std::string>{"FireRecorderEvent"});
  EXPECT_EQ(m_service->Methods().size(), 3u);

  ASSERT_EQ(m_app->Unload(), S_OK);
  EXPECT_FALSE(m_app->IsRecorderEnabled()) << "a new page starts with the recorder off";
}

TEST_F(NVSimAttach, PostedCallsRunOnTheServiceThreadWhenItPumpsMessages) {
  NVSimServiceThread service;
  ASSERT_TRUE(service.Window());
  auto attach = m_app->PostAttach(service.Window(), Service());
  EXPECT_FALSE(attach->IsDone()) << "the service thread has not pumped yet";
  EXPECT_EQ(attach->GetResult(), E_PENDING);
  service.StartPumping();
  ASSERT_TRUE(attach->Wait(kGenerous));
  EXPECT_EQ(attach->GetResult(), S_OK);
  EXPECT_EQ(attach->GetThreadId(), service.Id());
  for (const auto& call : m_service->Calls()) EXPECT_EQ(call.thread, service.Id()) << call.method;

  SwitchRecorder(true);
  CNVSimUserAction action;
  action.object = u"ThreadBar";
  action.eventId = REQID_EXECUTETHREADBARLINK;
  action.arguments = {{u"0", u"Contacts"}};
  auto play = m_app->PostPlay(service.Window(), action);
  auto unload = m_app->PostUnload(service.Window());
  ASSERT_TRUE(unload->Wait(kGenerous));
  ASSERT_TRUE(play->IsDone()) << "calls run in the order they were posted";
  EXPECT_EQ(play->GetResult(), S_OK);
  EXPECT_EQ(unload->GetResult(), S_OK);
  EXPECT_EQ(m_service->Methods(),
            (std::vector<std::string>{"AttachAppObject", "OnAppReady", "FireRecorderEvent", "OnUnload"}));
  for (const auto& call : m_service->Calls()) EXPECT_EQ(call.thread, service.Id()) << call.method;
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Contacts Screen");
}

TEST_F(NVSimAttach, CallsToAWindowThatIsGoneFailInsteadOfWaiting) {
  HWND gone = nullptr;
  std::shared_ptr<CNVSimCall> pending;
  {
    NVSimServiceThread service;
    gone = service.Window();
    pending = m_app->PostReady(service.Window());
    service.EndWithoutPumping();
  }
  ASSERT_TRUE(pending->Wait(kGenerous));
  EXPECT_EQ(pending->GetResult(), E_ABORT);
  auto late = m_app->PostReady(gone);
  ASSERT_TRUE(late->IsDone());
  EXPECT_TRUE(FAILED(late->GetResult()));
  EXPECT_TRUE(m_service->Calls().empty());
}

TEST_F(NVSimAttach, ACallWindowRunsCallsPostedFromItsOwnThread) {
  CNVSimCallWindow window;
  ASSERT_TRUE(window.GetHandle());
  int runs = 0;
  auto call = CNVSimCallWindow::Post(window.GetHandle(), [&] {
    ++runs;
    return S_FALSE;
  });
  EXPECT_FALSE(call->IsDone());
  CNVSimCallWindow::PumpMessages();
  ASSERT_TRUE(call->IsDone());
  EXPECT_EQ(call->GetResult(), S_FALSE);
  EXPECT_EQ(call->GetThreadId(), GetCurrentThreadId());
  call->Run();
  EXPECT_EQ(runs, 1) << "a call runs once";
}

}  // namespace
