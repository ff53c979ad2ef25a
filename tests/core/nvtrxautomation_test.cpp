// The automation object base: mapped properties, methods, conversion of
// recorded requests, names and lifetime.
#include <gtest/gtest.h>

#include "log/nvtrxassert.h"
#include "model/nvtrxrequestexecutor.h"
#include "support/trxfakehost.h"
#include "support/trxtestvalues.h"

namespace {

using Automation = TrxHostTest;

TrxVariant Name(const OLECHAR* name) { return TrxVariant::FromString(name); }

TEST_F(Automation, PropertyKindsConvertTheHostValue) {
  struct Case {
    const char* what;
    LONG kind;
    TrxVariant hostValue;
    VARTYPE expectedType;
    LONG expectedNumber;  // boolean as -1/0, or the integer
    const char* expectedText;
  };
  const Case cases[] = {
      {"16-bit -1 is true", TRXPROP_HOST, TrxVariant::FromI2(-1), VT_BOOL, -1, nullptr},
      {"16-bit 1 is false", TRXPROP_HOST, TrxVariant::FromI2(1), VT_BOOL, 0, nullptr},
      {"boolean true stays true", TRXPROP_HOST, TrxVariant::FromBool(true), VT_BOOL, -1, nullptr},
      {"unsigned becomes text", TRXPROP_HOST, TrxVariant::FromUI4(4000000000u), VT_BSTR, 0, "4000000000"},
      {"32-bit stays", TRXPROP_HOST, TrxVariant::FromI4(-1), VT_I4, -1, nullptr},
      {"count of an array", TRXPROP_COUNT, TrxTestArray(VT_VARIANT, {I4(1), I4(2), I4(3)}, 1), VT_I4, 3, nullptr},
      {"count of a single string", TRXPROP_COUNT, TrxVariant::FromString(OLESTR("x")), VT_I4, 1, nullptr},
      {"count of a number", TRXPROP_COUNT, TrxVariant::FromI4(7), VT_I4, 0, nullptr},
      {"negated -1 is false", TRXPROP_NEGATED, TrxVariant::FromI2(-1), VT_BOOL, 0, nullptr},
      {"negated 0 is true", TRXPROP_NEGATED, TrxVariant::FromI4(0), VT_BOOL, -1, nullptr},
  };
  for (const Case& c : cases) {
    m_app->SetProperty(OLESTR("HostValue"), c.hostValue);
    m_root->AddPropertyMapping(OLESTR("Probe"), VT_BSTR, OLESTR("HostValue"), VT_BSTR, c.kind, OLESTR("probe"));
    TrxVariant value;
    ASSERT_EQ(m_root->GetProperty(Name(OLESTR("Probe")), &value), TRX_OK) << c.what;
    ASSERT_EQ(value.vt, c.expectedType) << c.what;
    if (c.expectedText) {
      EXPECT_EQ(TrxNarrow(TrxBstrView(value.bstrVal)), c.expectedText) << c.what;
    } else if (value.vt == VT_BOOL) {
      EXPECT_EQ(value.boolVal, c.expectedNumber) << c.what;
    } else {
      EXPECT_EQ(value.lVal, c.expectedNumber) << c.what;
    }
  }
}

// A host whose property read answers with a success code other than S_OK.
class OtherSuccessHost : public FakeHostObject {
 public:
  using FakeHostObject::FakeHostObject;
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* aux, SHORT count, VARIANT* value) override {
    FakeHostObject::GetProperty(name, aux, count, value);
    return S_FALSE;
  }
};

TEST_F(Automation, NegatedKindReturnsTheHostValueOnAnotherSuccessCode) {
  OtherSuccessHost* host = new OtherSuccessHost(OBJTYPE_CONTROL, OLESTR("Flag"));
  host->SetProperty(OLESTR("Enabled"), TrxVariant::FromI2(-1));
  TestAutomation object(OLESTR("Flag"), nullptr, OLESTR("NorvCheckbox"), host);
  object.AddPropertyMapping(OLESTR("IsEnabled"), VT_BOOL, OLESTR("Enabled"), VT_BOOL, TRXPROP_NEGATED,
                            OLESTR("enabled"));
  TrxVariant value;
  ASSERT_EQ(object.GetProperty(Name(OLESTR("IsEnabled")), &value), TRX_OK);
  EXPECT_EQ(value.vt, VT_I2);
  EXPECT_EQ(value.iVal, -1);
  host->Release();
}

TEST_F(Automation, ConstantsOverloadsAndBadKinds) {
  m_root->GetPropertyMap().AddPropertyMapping(OLESTR("UIName"), VT_BSTR, TrxVariant::FromString(OLESTR("Norvik Sales")),
                                              VT_BSTR, TRXPROP_CONST, OLESTR("constant"));
  TrxVariant value;
  ASSERT_EQ(m_root->GetProperty(Name(OLESTR("uiname")), &value), TRX_OK) << "keys match without regard to case";
  EXPECT_EQ(TrxNarrow(TrxBstrView(value.bstrVal)), "Norvik Sales");

  m_root->AddPropertyMapping(OLESTR("Special"), VT_BSTR, OLESTR("x"), VT_BSTR, TRXPROP_OVERLOAD, OLESTR("overloaded"));
  const long assertions = TrxAssertCount();
  EXPECT_EQ(m_root->GetProperty(Name(OLESTR("Special")), &value), TRX_NOT_OVERLOADED);
  EXPECT_EQ(TrxAssertCount(), assertions + 1);

  m_root->AddPropertyMapping(OLESTR("Odd"), VT_BSTR, OLESTR("x"), VT_BSTR, 9, OLESTR("bad kind"));
  EXPECT_EQ(m_root->GetProperty(Name(OLESTR("Odd")), &value), TRX_E_ARG_VALUE);
  EXPECT_EQ(LastText(),
            "Invalid argument value for method name \"GetProperty\" for argument \"Property Type\". Input value: "
            "\"9\".");
}

TEST_F(Automation, UnmappedFailingAndHostlessProperties) {
  TrxVariant value;
  EXPECT_EQ(m_root->GetProperty(Name(OLESTR("Colour")), &value), TRX_E_ARG_VALUE);
  EXPECT_EQ(LastCode(), TRX_E_ARG_VALUE);
  EXPECT_EQ(LastText(),
            "Invalid argument value for method name \"GetProperty\" for argument \"Property Name\". Input value: "
            "\"Colour\".");

  m_app->FailProperty(OLESTR("Name"), E_FAIL);
  EXPECT_EQ(m_root->GetProperty(Name(OLESTR("Name")), &value), TRX_HOST_GETPROPERTY);
  EXPECT_EQ(LastCode(), TRX_HOST_GETPROPERTY);
  EXPECT_EQ(LastText(),
            "System Error. Debug info: Object \"Norvik\" of class \"NorvApplication\" failed on request "
            "\"GetProperty\" with parameter \"Name\".");

  TestAutomation* synthesised = new TestAutomation(OLESTR("Tabs"), m_root.get(), OLESTR("NorvPageTabs"), nullptr);
  value = TrxVariant::FromI4(42);
  EXPECT_EQ(synthesised->GetProperty(Name(OLESTR("Name")), &value), TRX_HOST_GETPROPERTY);
  EXPECT_EQ(LastText(),
            "System Error. Debug info: Object \"Norvik.Tabs\" of class \"NorvPageTabs\" failed on request "
            "\"GetProperty\" with parameter \"Name\".");
  EXPECT_EQ(synthesised->GetData(&value), TRX_OK);
  EXPECT_EQ(synthesised->GetTextData(TrxVariant(), &value), TRX_OK);
  EXPECT_EQ(value.lVal, 42) << "GetData and GetTextData leave the value untouched";
  m_root->ReleaseChildren();
}

TEST_F(Automation, GetPropertiesLeavesTheRowOfAMissingPropertyEmpty) {
  m_app->SetProperty(OLESTR("HtmlId"), OLESTR("s_1"));
  TrxVariant request = TrxTestArray(VT_VARIANT, {Str(OLESTR("Name")), Str(OLESTR("Missing")), Str(OLESTR("HtmlId"))});
  TrxVariant value;
  ASSERT_EQ(m_root->GetProperties(request, &value), TRX_OK);
  EXPECT_EQ(TrxNarrow(CNVTRXArray(&value).ToText()),
            "(Name,Norvik CRM)(<ValueNotSet>,<ValueNotSet>)(HtmlId,s_1)");

  EXPECT_EQ(m_root->GetProperties(TrxVariant::FromR8(1.0), &value), TRX_E_ARG_TYPE);
  EXPECT_EQ(LastText(),
            "Invalid argument type for method name:GetProperties for argument: Properties. Expected type: Array of "
            "String or Integer.");
}

TEST_F(Automation, MethodKindsSendTheirRequestSequences) {
  FakeHostObject* field = m_app->AddChild(OBJTYPE_CONTROL, OLESTR("Last Name"));
  CNVTRXAutomation* object = Build(m_root.get(), field);
  ASSERT_NE(object, nullptr);

  TrxVariant result;
  ASSERT_EQ(object->HandleAutomationRequest(OLESTR("settext"), TrxVariant::FromString(OLESTR("Smith")), &result),
            TRX_OK)
      << LastText();
  auto journal = field->Journal();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[2].id, REQID_CLEARFOCUS);
  EXPECT_NE(journal[1].thread, GetCurrentThreadId()) << "requests run on the executor's thread";
  EXPECT_EQ(object->GetNWEAuto(), nullptr) << "the clear-focus request drops the host reference";
  EXPECT_EQ(m_state->GetLastOperationTime(), 50) << "set by the request, added to by the clear-focus";
  EXPECT_EQ(result.vt, VT_EMPTY) << "a host request returns no value";

  // Kind 3 on a fresh object: focus, then the request.
  m_root->ReleaseChildren();
  object = Build(m_root.get(), field);
  ASSERT_EQ(object->HandleAutomationRequest(OLESTR("Select"), TrxVariant::FromString(OLESTR("Open")), &result), TRX_OK);
  journal = field->Journal();
  ASSERT_EQ(journal.size(), 5u);
  EXPECT_EQ(journal[3].id, REQID_SETFOCUS);
  EXPECT_EQ(journal[4].id, REQID_SELECTITEM);
  EXPECT_EQ(object->GetNWEAuto(), nullptr);
  EXPECT_EQ(m_state->GetLastOperationTime(), 25);

  // Kind 0 on the root: the root never drops its host object.
  ASSERT_EQ(m_root->HandleAutomationRequest(OLESTR("Click"), TrxVariant(), &result), TRX_OK);
  EXPECT_EQ(m_app->Journal().back().id, REQID_BUTTONCLICK);
  EXPECT_NE(m_root->GetNWEAuto(), nullptr);

  EXPECT_EQ(m_root->HandleAutomationRequest(OLESTR("Fly"), TrxVariant(), &result), TRX_E_INVALID_METHOD);
  EXPECT_EQ(LastText(), "MethodName: Fly is invalid. This method is not supported by this class NorvApplication.");
}

// A property method that reads the host (the tree's IsSelected of the trx serve tests) fails
// with the host's read, or without a host.
TEST_F(Automation, PropertyMethodsFailWithTheHostsReadOrWithoutAHost) {
  m_root->GetMethodMap().AddPropertyMapping(OLESTR("GetClassCount"), VT_BSTR, OLESTR("ClassCount"), VT_I4,
                                            TRXMETHOD_PROPERTY, OLESTR("count"));
  m_app->SetProperty(OLESTR("ClassCount"), 4);
  TrxVariant result;
  m_app->SetLastError(3, OLESTR("no such class"));
  EXPECT_EQ(m_root->HandleAutomationRequest(OLESTR("GetClassCount"), TrxVariant::FromString(OLESTR("X")), &result),
            TRX_HOST_GETPROPERTY);
  EXPECT_EQ(LastCode(), TRX_HOST_GETPROPERTY);

  TestAutomation hostless(OLESTR("Tabs"), nullptr, OLESTR("NorvPageTabs"), nullptr);
  hostless.GetMethodMap().AddPropertyMapping(OLESTR("GetClassCount"), VT_BSTR, OLESTR("ClassCount"), VT_I4,
                                             TRXMETHOD_PROPERTY, OLESTR("count"));
  EXPECT_EQ(hostless.HandleAutomationRequest(OLESTR("GetClassCount"), TrxVariant(), &result), TRX_HOST_GETPROPERTY);
  EXPECT_EQ(hostless.HandleAutomationRequest(OLESTR("Click"), TrxVariant(), &result), TRX_E_EXECUTE_METHOD);
  EXPECT_EQ(LastText(), "System error. Debug info: Failed to execute method id 8 with args (()). Reason: "
                        "HandleAutoRequest.");
}

TEST_F(Automation, ConvertNWEMethodFindsTheMethodOfARequest) {
  CNVTRXArray hostArgs;
  hostArgs.SetAt(OLESTR("Value"), 0, 0);
  hostArgs.SetAt(OLESTR("Smith"), 0, 1);
  hostArgs.SetAt(OLESTR("Extra"), 1, 0);
  hostArgs.SetAt(OLESTR("More"), 1, 1);
  TrxString method;
  CNVTRXArray args;
  ASSERT_EQ(m_root->ConvertNWEMethod(TrxVariant(), REQID_SETVALUE, hostArgs, method, args), TRX_OK);
  EXPECT_EQ(TrxNarrow(method), "SetText");
  EXPECT_EQ(TrxNarrow(args.ToText()), "(Smith,More)");

  EXPECT_EQ(m_root->ConvertNWEMethod(TrxVariant(), REQID_ENTER_KEY, hostArgs, method, args), TRX_E_ARG_VALUE);
  EXPECT_EQ(LastText(), "Invalid argument value for method name \"ConvertNWEMethod\" for argument \"Method ID\". "
                        "Input value: \"125\".");

  TestAutomation bare(OLESTR("Bare"), nullptr, OLESTR("NorvButton"), nullptr);
  bare.GetMethodMap() = CNVTRXArray();
  EXPECT_EQ(bare.ConvertNWEMethod(TrxVariant(), 8, hostArgs, method, args), TRX_E_INVALID_METHOD);
  EXPECT_EQ(LastText(), "MethodName: 8 is invalid. This method is not supported by this class NorvButton.");
}

TEST_F(Automation, FindChildIsExactAndNamesAreDotted) {
  FakeHostObject* view = m_app->AddChild(OBJTYPE_VIEW, OLESTR("Account List View"));
  CNVTRXAutomation* child = Build(m_root.get(), view);
  EXPECT_EQ(m_root->FindChild(OLESTR("NorvView"), OLESTR("Account List View")), child);
  EXPECT_EQ(m_root->FindChild(OLESTR("NorvView"), OLESTR("account list view")), nullptr);
  EXPECT_EQ(m_root->FindChild(OLESTR("norvview"), OLESTR("Account List View")), nullptr);
}

TEST_F(Automation, TheTreeOwnsItsObjectsAndTheLastOneStopsTheWorker) {
  const LONG before = CNVTRXAutomation::GetLiveObjectCount();
  FakeHostObject* view = m_app->AddChild(OBJTYPE_VIEW, OLESTR("V"));
  view->AddChild(OBJTYPE_APPLET, OLESTR("A"));
  ASSERT_EQ(m_root->BuildTRXObjectHierarchy(), TRX_OK);
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), before + 2);
  m_root->ReleaseChildren();
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), before);
  EXPECT_EQ(CNVTRXRequestExecutor::GetRunningWorkers(), 1);

  m_root.reset();
  const DWORD start = GetTickCount();
  while (CNVTRXRequestExecutor::GetRunningWorkers() != 0 && GetTickCount() - start < 5000) Sleep(10);
  EXPECT_EQ(CNVTRXRequestExecutor::GetRunningWorkers(), 0);
  EXPECT_EQ(CNVTRXRequestExecutor::Instance(), nullptr);
  EXPECT_EQ(m_app->RefCount(), 1u) << "every host reference was released";
}

}  // namespace
