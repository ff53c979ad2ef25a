// The application's interfaces, attaching the client to the service,
// reporting user actions, and running those calls on the service's thread
// through a call window.
#include <gtest/gtest.h>

#include "host/nvsimcallwindow.h"
#include "host/nvsimpropertyset.h"
#include "nvsimtestsupport.h"

namespace {

constexpr DWORD kGenerous = 10000;
using Methods = std::vector<std::string>;

class NVSimAttach : public NVSimSampleTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(NVSimSampleTest::SetUp());
    m_service = NVSimFakeService::Create();
    ASSERT_EQ(m_app->QueryInterface(IID_INVAppControl, m_control.PutVoid()), S_OK);
  }
  IUnknown* Service() { return static_cast<INVTRX*>(m_service.Get()); }
  void SwitchRecorder(bool on) { ASSERT_EQ(m_control->EnableRecorder(TrxVariant::FromBool(on)), S_OK); }

  TrxComPtr<NVSimFakeService> m_service;
  TrxComPtr<INVAppControl> m_control;
};

TEST_F(NVSimAttach, TheApplicationOffersItsInterfacesAndOneIdentity) {
  INVAutomation* child = m_app->FindObject(u"HIMain");
  // clang-format off
  const struct { const IID* iid; HRESULT application, child; } cases[] = {
      {&IID_IUnknown, S_OK, S_OK}, {&IID_INVAutomation, S_OK, S_OK}, {&IID_IDispatch, S_OK, E_NOINTERFACE},
      {&IID_INVAppControl, S_OK, E_NOINTERFACE}, {&IID_INVPropertySet, E_NOINTERFACE, E_NOINTERFACE},
      {&IID_INVTRX, E_NOINTERFACE, E_NOINTERFACE},
  };
  // clang-format on
  for (const auto& c : cases) {
    TrxComPtr<IUnknown> fromApp, fromChild;
    EXPECT_EQ(m_app->QueryInterface(*c.iid, fromApp.PutVoid()), c.application);
    EXPECT_EQ(child->QueryInterface(*c.iid, fromChild.PutVoid()), c.child);
    EXPECT_EQ(static_cast<bool>(fromApp), SUCCEEDED(c.application));
  }
  TrxComPtr<IDispatch> dispatch;
  TrxComPtr<IUnknown> viaDispatch, viaApp;
  TrxComPtr<INVAutomation> automation;
  ASSERT_EQ(m_app->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
  dispatch->QueryInterface(IID_IUnknown, viaDispatch.PutVoid());
  m_app->QueryInterface(IID_IUnknown, viaApp.PutVoid());
  EXPECT_EQ(viaDispatch.Get(), viaApp.Get()) << "one IUnknown whatever interface is asked";
  ASSERT_EQ(dispatch->QueryInterface(IID_INVAutomation, automation.PutVoid()), S_OK);
  EXPECT_EQ(NVSimText(NVSimProperty(automation.Get(), "ObjType")), "1");
}

TEST_F(NVSimAttach, TheControlInterfaceKeepsWhatTheServiceSet) {
  EXPECT_FALSE(m_app->IsRecorderEnabled());
  // clang-format off
  const struct { TrxVariant value; HRESULT status; bool on; } switches[] = {
      {TrxVariant::FromBool(true), S_OK, true},
      {TrxVariant::FromBool(false), S_OK, false},
      {TrxVariant::FromI4(1), S_OK, true},
      {TrxVariant::FromString(u"maybe"), E_INVALIDARG, true},  // refused, unchanged
      {TrxVariant::FromString(u"False"), S_OK, false},
  };
  // clang-format on
  for (const auto& s : switches) {
    EXPECT_EQ(m_control->EnableRecorder(s.value), s.status) << s.value.vt;
    EXPECT_EQ(m_app->IsRecorderEnabled(), s.on) << s.value.vt;
  }
  TrxComPtr<CNVSimPropertySet> other = CNVSimPropertySet::Create();
  EXPECT_EQ(m_control->RegisterTRX(nullptr), E_POINTER);
  EXPECT_EQ(m_control->RegisterTRX(static_cast<INVPropertySet*>(other.Get())), E_NOINTERFACE);
  ASSERT_EQ(m_control->RegisterTRX(static_cast<INVTRX*>(m_service.Get())), S_OK);
  EXPECT_EQ(m_app->GetRegisteredService().Get(), static_cast<INVTRX*>(m_service.Get()));
  const auto log = m_app->GetControlLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(NVSimText(log[0]), "EnableRecorder(TRUE)");
  EXPECT_EQ(NVSimText(log[3]), "EnableRecorder(FALSE) failed 0x80070057");
  EXPECT_EQ(NVSimText(log.back()), "RegisterTRX");
}

TEST_F(NVSimAttach, AttachingCallsAttachAppObjectThenOnAppReadyWithTheApplication) {
  m_app->SetBusy(true);
  m_app->SetBusy(false);
  ASSERT_EQ(m_app->Attach(Service()), S_OK);
  ASSERT_EQ(m_service->Methods(), (Methods{"AttachAppObject", "OnAppReady"}));
  TrxComPtr<IDispatch> expected;
  ASSERT_EQ(m_app->QueryInterface(IID_IDispatch, expected.PutVoid()), S_OK);
  for (const auto& call : m_service->Calls()) {
    EXPECT_EQ(call.application, expected.Get()) << call.method << " gets the application as IDispatch";
    EXPECT_EQ(call.thread, GetCurrentThreadId()) << call.method;
  }
  EXPECT_TRUE(m_app->GetRegisteredService()) << "the service registered itself while attaching";
  EXPECT_TRUE(m_app->IsIdle());
  EXPECT_EQ(m_app->GetControlLog(), (std::vector<TrxString>{u"RegisterTRX", u"AttachAppObject", u"OnAppReady"}));
  ASSERT_EQ(m_app->Ready(), S_OK);
  ASSERT_EQ(m_app->Unload(), S_OK);
  EXPECT_EQ(m_service->Methods(), (Methods{"AttachAppObject", "OnAppReady", "OnAppReady", "OnUnload"}));
  EXPECT_FALSE(m_app->GetRegisteredService()) << "the client forgets the service when it unloads";
  EXPECT_EQ(m_app->Unload(), E_UNEXPECTED) << "nothing attached any more";
}

TEST_F(NVSimAttach, AFailedAttachmentIsNotFollowedByOnAppReadyNorKept) {
  m_service->SetAttachStatus(E_ACCESSDENIED);
  EXPECT_EQ(m_app->Attach(Service()), E_ACCESSDENIED);
  EXPECT_EQ(m_service->Methods(), Methods{"AttachAppObject"});
  EXPECT_EQ(m_app->Ready(), E_UNEXPECTED) << "the service is not kept";
  auto refusing = NVSimFakeService::Create();
  m_app->SetRegistrationStatus(E_FAIL);
  EXPECT_EQ(m_app->Attach(static_cast<INVTRX*>(refusing.Get())), E_FAIL) << "the refused registration comes back";
  TrxComPtr<CNVSimPropertySet> notAService = CNVSimPropertySet::Create();
  EXPECT_EQ(m_app->Attach(static_cast<INVPropertySet*>(notAService.Get())), E_NOINTERFACE);
  EXPECT_EQ(m_app->Attach(nullptr), E_POINTER);
}

TEST_F(NVSimAttach, UserActionsAreReportedOnlyWhileTheRecorderIsOnToTheRegisteredService) {
  m_service->SetRegistersOnAttach(false);
  ASSERT_EQ(m_app->Attach(Service()), S_OK);
  CNVSimUserAction action;
  action.object = u"Accounts Screen/Account List View/Account Form Applet/Name";
  action.eventId = REQID_SETVALUE;
  action.arguments = {{u"0", u"Acme Holdings"}};
  EXPECT_EQ(m_app->Play(action), S_FALSE) << "the recorder is off";
  EXPECT_EQ(Read(action.object, u"Value"), "Acme Holdings") << "the change happens all the same";
  SwitchRecorder(true);
  action.arguments = {{u"0", u"Acme Group"}, {u"Source", u"keyboard"}};
  ASSERT_EQ(m_app->Play(action), S_OK);
  const auto event = m_service->Calls().back();
  EXPECT_EQ(event.method, "FireRecorderEvent") << "without a registration, to the attached service";
  EXPECT_EQ(event.eventId, REQID_SETVALUE);
  EXPECT_EQ(event.objectType, OBJTYPE_CONTROL);
  EXPECT_EQ(event.object, static_cast<INVAutomation*>(m_app->FindObject(action.object)));
  EXPECT_EQ(event.arguments,
            (std::vector<std::pair<std::string, std::string>>{{"0", "Acme Group"}, {"Source", "keyboard"}}));
  action.objectType = OBJTYPE_APPLET;
  action.applyRules = false;
  action.arguments = {{u"0", u"Ignored"}};
  auto registered = NVSimFakeService::Create();
  ASSERT_EQ(m_app->RegisterTRX(static_cast<INVTRX*>(registered.Get())), S_OK);
  ASSERT_EQ(m_app->Play(action), S_OK);
  EXPECT_EQ(registered->Methods(), Methods{"FireRecorderEvent"}) << "the registered service first";
  EXPECT_EQ(registered->Calls().back().objectType, OBJTYPE_APPLET) << "the reported type can be chosen";
  EXPECT_EQ(Read(action.object, u"Value"), "Acme Group") << "no change without the rules";
  action.object = u"No/Such/Object";
  EXPECT_EQ(m_app->Play(action), E_INVALIDARG);
  SwitchRecorder(false);
  action.object = u"HIMain";
  EXPECT_EQ(m_app->Play(action), S_FALSE);
  EXPECT_EQ(m_service->Calls().size() + registered->Calls().size(), 4u);
}

TEST_F(NVSimAttach, PostedCallsRunOnTheServiceThreadInOrderWhenItPumpsMessages) {
  NVSimServiceThread service;
  auto attach = m_app->PostAttach(service.Window(), Service());
  EXPECT_FALSE(attach->IsDone()) << "the service thread has not pumped yet";
  EXPECT_EQ(attach->GetResult(), E_PENDING);
  service.StartPumping();
  ASSERT_TRUE(attach->Wait(kGenerous));
  EXPECT_EQ(attach->GetResult(), S_OK);
  EXPECT_EQ(attach->GetThreadId(), service.Id());
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
  EXPECT_EQ(m_service->Methods(), (Methods{"AttachAppObject", "OnAppReady", "FireRecorderEvent", "OnUnload"}));
  for (const auto& call : m_service->Calls()) EXPECT_EQ(call.thread, service.Id()) << call.method;
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Contacts Screen");
  EXPECT_FALSE(m_app->IsRecorderEnabled()) << "a new page starts with the recorder off";

  // A window of the calling thread runs its calls when that thread pumps, once each.
  CNVSimCallWindow window;
  int runs = 0;
  auto call = CNVSimCallWindow::Post(window.GetHandle(), [&] { return ++runs, S_FALSE; });
  EXPECT_FALSE(call->IsDone());
  CNVSimCallWindow::PumpMessages();
  ASSERT_TRUE(call->IsDone());
  EXPECT_EQ(call->GetResult(), S_FALSE);
  EXPECT_EQ(call->GetThreadId(), GetCurrentThreadId());
  call->Run();
  EXPECT_EQ(runs, 1) << "a call runs once";
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

}  // namespace
