// The application's interfaces besides INVAutomation: the interfaces it
// offers, its minimal IDispatch and the control interface INVAppControl.
#include <gtest/gtest.h>

#include "host/nvsimpropertyset.h"
#include "nvsimtestsupport.h"

namespace {

TEST(NVSimInterfaces, TheApplicationOffersItsInterfacesAndOneIdentity) {
  auto app = NVSimLoadSample();
  ASSERT_TRUE(app);
  struct Case {
    const char* name;
    const IID* iid;
    HRESULT application;
    HRESULT child;
  } cases[] = {
      {"IUnknown", &IID_IUnknown, S_OK, S_OK},
      {"INVAutomation", &IID_INVAutomation, S_OK, S_OK},
      {"IDispatch", &IID_IDispatch, S_OK, E_NOINTERFACE},
      {"INVAppControl", &IID_INVAppControl, S_OK, E_NOINTERFACE},
      {"INVPropertySet", &IID_INVPropertySet, E_NOINTERFACE, E_NOINTERFACE},
      {"INVTRX", &IID_INVTRX, E_NOINTERFACE, E_NOINTERFACE},
  };
  INVAutomation* child = app->FindObject(u"HIMain");
  ASSERT_TRUE(child);
  for (const Case& c : cases) {
    TrxComPtr<IUnknown> fromApp, fromChild;
    EXPECT_EQ(app->QueryInterface(*c.iid, fromApp.PutVoid()), c.application) << c.name;
    EXPECT_EQ(child->QueryInterface(*c.iid, fromChild.PutVoid()), c.child) << c.name;
    EXPECT_EQ(static_cast<bool>(fromApp), SUCCEEDED(c.application)) << c.name;
  }
  TrxComPtr<IDispatch> dispatch;
  ASSERT_EQ(app->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
  TrxComPtr<IUnknown> viaDispatch, viaApp;
  dispatch->QueryInterface(IID_IUnknown, viaDispatch.PutVoid());
  app->QueryInterface(IID_IUnknown, viaApp.PutVoid());
  EXPECT_EQ(viaDispatch.Get(), viaApp.Get()) << "one IUnknown whatever interface is asked";
  TrxComPtr<INVAutomation> automation;
  ASSERT_EQ(dispatch->QueryInterface(IID_INVAutomation, automation.PutVoid()), S_OK);
  EXPECT_EQ(NVSimText(NVSimProperty(automation.Get(), "ObjType")), "1");
}

TEST(NVSimInterfaces, IDispatchHasNoTypeInformationAndNoMembers) {
  auto app = NVSimLoadSample();
  ASSERT_TRUE(app);
  TrxComPtr<IDispatch> dispatch;
  ASSERT_EQ(app->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
  UINT count = 9;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  OLECHAR name[] = u"Name";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  DISPPARAMS none{};
  EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST(NVSimInterfaces, TheControlInterfaceKeepsWhatTheServiceSet) {
  auto app = NVSimLoadSample();
  ASSERT_TRUE(app);
  TrxComPtr<INVAppControl> control;
  ASSERT_EQ(app->QueryInterface(IID_INVAppControl, control.PutVoid()), S_OK);
  EXPECT_FALSE(app->IsRecorderEnabled());

  struct Switch {
    TrxVariant value;
    HRESULT status;
    bool on;
  } switches[] = {
      {TrxVariant::FromBool(true), S_OK, true},
      {TrxVariant::FromBool(false), S_OK, false},
      {TrxVariant::FromI4(1), S_OK, true},
      {TrxVariant::FromString(u"maybe"), E_INVALIDARG, true},  // refused, unchanged
      {TrxVariant::FromString(u"False"), S_OK, false},
  };
  for (Switch& s : switches) {
    EXPECT_EQ(control->EnableRecorder(s.value), s.status) << s.value.vt;
    EXPECT_EQ(app->IsRecorderEnabled(), s.on) << s.value.vt;
  }
  TrxBstr id(u"12");
  ASSERT_EQ(control->SetOperationId(id.Get()), S_OK);
  EXPECT_EQ(NVSimText(app->GetOperationId()), "12");
  ASSERT_EQ(control->SetOperationId(nullptr), S_OK);
  EXPECT_EQ(NVSimText(app->GetOperationId()), "");

  auto service = NVSimFakeService::Create();
  EXPECT_EQ(control->RegisterTRX(nullptr), E_POINTER);
  TrxComPtr<CNVSimPropertySet> other = CNVSimPropertySet::Create();
  EXPECT_EQ(control->RegisterTRX(static_cast<INVPropertySet*>(other.Get())), E_NOINTERFACE);
  ASSERT_EQ(control->RegisterTRX(static_cast<INVTRX*>(service.Get())), S_OK);
  EXPECT_EQ(app->GetRegisteredService().Get(), static_cast<INVTRX*>(service.Get()));
  const auto log = app->GetControlLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(NVSimText(log[0]), "EnableRecorder(TRUE)");
  EXPECT_EQ(NVSimText(log[3]), "EnableRecorder(FALSE) failed 0x80070057");
  EXPECT_EQ(NVSimText(log.back()), "RegisterTRX");
}

}  // namespace
