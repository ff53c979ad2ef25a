// Requests: the journal, and the rules that change the client's state or
// make a request fail.
#include <gtest/gtest.h>

#include <thread>

#include "host/nvsimnames.h"
#include "host/nvsimstatus.h"
#include "nvsimtestsupport.h"

namespace {

class NVSimRequests : public NVSimSampleTest {
 protected:
  // A journal record as text: request, object, type, arguments, operation id, status, error code.
  static std::string Record(const CNVSimRequestRecord& r) {
    return NVSimText(CNVSimNames::RequestName(r.requestId)) + " on \"" + NVSimText(r.object) + "\" (" +
           std::to_string(r.objectType) + ") " + NVSimText(r.argumentText) + " op \"" + NVSimText(r.operationId) +
           "\" " + (r.finished ? "finished " : "running ") + std::to_string(r.status) + " " +
           std::to_string(r.errorCode);
  }
};

const char16_t kPhone[] = u"Accounts Screen/Account List View/Account Form Applet/Main Phone";

TEST_F(NVSimRequests, ScreensViewsAndFieldsChangeAsAUserChangesThem) {
  EXPECT_EQ(m_app->FindObject(u"#account-form/Main Phone"), nullptr) << "a path starts at the application, or is an id";
  INVAutomation* phone = Object(kPhone);
  ASSERT_EQ(NVSimRequest(phone, REQID_SETFOCUS, {}), S_OK);
  EXPECT_EQ(Read(u"#account-form", u"ActiveControlName"), "Main Phone");
  TrxVariant result;  // a parameter that is a single string, not an array
  ASSERT_EQ(Object(kPhone)->HandleAutoRequest(REQID_SETVALUE, TrxVariant::FromString(u"Acme"), &result), S_OK);
  EXPECT_EQ(Read(kPhone, u"Value"), "Acme");
  ASSERT_EQ(NVSimRequest(Object(u"Screen"), REQID_NAVCONTROL_GOTOSCREEN, {"Contacts Screen"}), S_OK);
  EXPECT_EQ(NVSimText(m_app->GetCurrentView()), "Contact List View") << "the screen's default view";
  ASSERT_EQ(NVSimRequest(Object(u"Screen"), REQID_NAVCONTROL_GOTOVIEW, {"Account Detail - Contacts View"}), S_OK);
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Accounts Screen");
  EXPECT_EQ(Read(u"ThreadBar", u"ThreadbarlinkNames"), "Accounts|Contacts|Account Contacts");
  const auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 4u);
  EXPECT_EQ(Record(journal[2]), "REQID_NAVCONTROL_GOTOSCREEN on \"Screen\" (" + std::to_string(OBJTYPE_NAVCONTROL) +
                                    ") (Contacts Screen) op \"\" finished 0 0");
  EXPECT_EQ(journal[2].arguments, std::vector<TrxString>{u"Contacts Screen"});
  EXPECT_EQ(journal[2].threadId, GetCurrentThreadId());
}

TEST_F(NVSimRequests, AFailingRuleLeavesItsErrorForEveryObjectUntilTheNextRequest) {
  INVAutomation* form = Object(u"#account-form");
  EXPECT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"DeleteRecord"}), S_OK) << "processed, with an error to read";
  EXPECT_EQ(NVSimLastError(form), "1201 You cannot delete an account that has open opportunities.");
  EXPECT_EQ(NVSimLastError(m_app.Get()), NVSimLastError(form)) << "the application tells the same error";
  ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"NewRecord"}), S_OK);
  EXPECT_EQ(NVSimLastError(form), "0 ");

  // A request no rule matches succeeds and changes nothing.
  ASSERT_EQ(NVSimRequest(Object(u"NorvMenu"), REQID_SELECTMENUITEM, {"File\\Save Record"}), S_OK);
  const auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(NVSimText(journal[2].object), "NorvMenu");
  EXPECT_EQ(NVSimText(m_app->GetCurrentView()), "Account List View");
}

TEST_F(NVSimRequests, TheOperationIdTagsTheRequestsThatFollowAndTheThreadIsJournalled) {
  TrxComPtr<INVAppControl> control;
  ASSERT_EQ(m_app->QueryInterface(IID_INVAppControl, control.PutVoid()), S_OK);
  TrxBstr id(u"7"), none(u"");
  ASSERT_EQ(control->SetOperationId(id.Get()), S_OK);
  ASSERT_EQ(NVSimRequest(Object(u"HIMain"), REQID_GOTOITEM, {"Save"}), S_OK);
  ASSERT_EQ(control->SetOperationId(none.Get()), S_OK);
  DWORD worker = 0;
  std::thread([&] {
    worker = GetCurrentThreadId();
    NVSimRequest(Object(u"ThreadBar"), REQID_EXECUTETHREADBARLINK, {"Opportunities"});
  }).join();
  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(NVSimText(journal[0].operationId), "7");
  EXPECT_EQ(NVSimText(journal[1].operationId), "");
  EXPECT_EQ(journal[1].threadId, worker);
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Opportunities Screen");
  const LONG unknown = CNVSimNames::RequestCount();
  EXPECT_EQ(NVSimText(CNVSimNames::RequestName(unknown)), std::to_string(unknown)) << "an unknown id by its number";
}

// Rules written for these tests, one feature each.
const char kRules[] = R"(<application name="Rules">
  <screen name="One" displayName="First"><object type="VIEW" name="One View" displayName="Main"/></screen>
  <screen name="Two" defaultView="Two B">
    <object type="VIEW" name="Two A"/>
    <object type="VIEW" name="Two B"/>
  </screen>
  <object type="APPLET" name="Form" id="form">
    <property name="Log" type="strings" value=""/>
    <property name="Count" type="int">0</property>
    <property name="Price" keyed="true"/>
    <property name="Note"/>
    <object type="CONTROL" name="Field"><property name="Value">x</property></object>
    <object type="APPLET" name="Popup" visible="false"/>
    <on request="BUTTONCLICK" arg="Save*" argCount="1"><append property="Log" value="saved {arg0}"/></on>
    <on request="BUTTONCLICK" arg="Add"><append property="Log" value="{arg1}" unique="true" max="2"/></on>
    <on request="BUTTONCLICK" arg="Drop"><remove property="Log" value="{arg1}"/></on>
    <on request="BUTTONCLICK" arg0="Up"><increment property="Count" by="8" max="12"/></on>
    <on request="BUTTONCLICK" arg="Down"><increment property="Count" by="-20" min="-3"/></on>
    <on request="BUTTONCLICK" arg="Price"><set property="Price" key="{arg1}|{arg2}" value="{arg3}"/></on>
    <on request="BUTTONCLICK" arg="Show"><show target="./Popup"/></on>
    <on request="BUTTONCLICK" arg="Hide"><hide target="./Popup"/></on>
    <on request="BUTTONCLICK" arg="Note">
      <set property="Note" value="{request} on {object} in {screen}/{screenDisplayName}/{view}/{viewDisplayName} op {opid}: {args} {{braces}}"/>
    </on>
    <on request="BUTTONCLICK" arg="Go"><goto-screen screen="{arg1}"/></on>
    <on request="BUTTONCLICK" arg="View"><goto-view view="{arg1}"/></on>
    <on request="BUTTONCLICK" arg="Half">
      <set property="Note" value="first"/>
      <fail code="7" text="stopped at {arg0}" status="E_FAIL"/>
      <set property="Note" value="never"/>
    </on>
    <on request="BUTTONCLICK" arg="Number"><set property="Count" value="{arg1}"/></on>
    <on request="BUTTONCLICK" arg="Keyless"><set property="Note" key="a" value="1"/></on>
    <on request="BUTTONCLICK" arg="Lost"><set property="Note" value="{@./Nothing/Value}"/></on>
  </object>
  <rules>
    <on request="SETVALUE" objectType="CONTROL"><set property="Value" value="{arg0}"/></on>
    <on request="SETVALUE" object="#form"><set property="Note" value="general rule for the form"/></on>
    <on request="BUTTONCLICK" object="#form"><set property="Note" value="unmatched button {arg0}"/></on>
  </rules>
</application>
)";

TEST(NVSimRules, EachActionChangesTheStateAsWritten) {
  auto app = NVSimFromText(kRules);
  ASSERT_TRUE(app);
  INVAutomation* form = app->FindObject(u"#form");
  // clang-format off
  const struct { std::vector<std::string> arguments; const char16_t* property; const char* value; } steps[] = {
      {{"Save now"}, u"Log", "saved Save now"},
      {{"Save now", "extra"}, u"Note", "unmatched button Save now"},  // argCount
      {{"Add", "a"}, u"Log", "saved Save now|a"},
      {{"Add", "a"}, u"Log", "saved Save now|a"},  // unique
      {{"Add", "b"}, u"Log", "a|b"},  // at most two
      {{"Drop", "a"}, u"Log", "b"},
      {{"Up"}, u"Count", "8"},
      {{"Up"}, u"Count", "12"},
      {{"Down"}, u"Count", "-3"},
      {{"Number", "42"}, u"Count", "42"},
      {{"Go", "Two"}, u"Note", "unmatched button Save now"},
      {{"Note"}, u"Note", "REQID_BUTTONCLICK on Form in Two/Two/Two B/Two B op : Note {braces}"},
      {{"View", "One View"}, u"Note", "REQID_BUTTONCLICK on Form in Two/Two/Two B/Two B op : Note {braces}"},
      {{"Note"}, u"Note", "REQID_BUTTONCLICK on Form in One/First/One View/Main op : Note {braces}"},
      {{"Price", "Bolt", "M8", "0.25"}, u"Log", "b"},
      {{"Show"}, u"Log", "b"},
  };
  // clang-format on
  for (const auto& step : steps) {
    ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, step.arguments), S_OK) << step.arguments[0];
    EXPECT_EQ(NVSimRead(app.Get(), u"#form", step.property), step.value) << step.arguments[0];
  }
  EXPECT_EQ(NVSimText(app->GetActiveScreen()), "One");
  TrxVariant aux = NVSimArray({TrxVariant::FromString(u"Bolt"), TrxVariant::FromString(u"M8")}), price;
  TrxBstr name(u"Price");
  ASSERT_EQ(form->GetProperty(name.Get(), &aux, 2, &price), S_OK);
  EXPECT_EQ(NVSimText(price), "0.25") << "set under the key Bolt|M8";
  EXPECT_TRUE(NVSimChild(form, OBJTYPE_APPLET, "Popup")) << "shown";
  ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"Hide"}), S_OK);
  EXPECT_FALSE(NVSimChild(form, OBJTYPE_APPLET, "Popup"));
  ASSERT_EQ(NVSimRequest(form, REQID_SETVALUE, {"v"}), S_OK);
  EXPECT_EQ(NVSimRead(app.Get(), u"#form", u"Note"), "general rule for the form") << "general rules name their object";
  ASSERT_EQ(NVSimRequest(app->FindObject(u"Form/Field"), REQID_SETVALUE, {"typed"}), S_OK);
  EXPECT_EQ(NVSimRead(app.Get(), u"Form/Field", u"Value"), "typed") << "or their object type";
}

TEST(NVSimRules, AFailEndsTheRuleAndRulesThatCannotBeAppliedFail) {
  auto app = NVSimFromText(kRules);
  ASSERT_TRUE(app);
  INVAutomation* form = app->FindObject(u"#form");
  // clang-format off
  const struct { std::vector<std::string> arguments; HRESULT status; SHORT code; const char* text; } cases[] = {
      {{"Half"}, E_FAIL, 7, "stopped at Half"},
      {{"Go", "Nowhere"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "No screen named \"Nowhere\""},
      {{"View", "Nowhere View"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "No view named \"Nowhere View\""},
      {{"Number", "many"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "\"many\" is not a 32-bit integer"},
      {{"Keyless"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "Property \"Note\" is not keyed"},
      {{"Lost"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "{@./Nothing/Value} names no object"},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, c.arguments), c.status) << c.arguments[0];
    const std::string error = NVSimLastError(form);
    EXPECT_EQ(error.substr(0, error.find(' ')), std::to_string(c.code)) << error;
    EXPECT_NE(error.find(c.text), std::string::npos) << error;
  }
  EXPECT_EQ(NVSimRead(app.Get(), u"#form", u"Note"), "first") << "actions before the fail ran, those after it did not";
}

}  // namespace
