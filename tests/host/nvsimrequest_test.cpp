// Requests: the journal, and the rules that change the client's state or
// make a request fail.
#include <gtest/gtest.h>

#include <thread>

#include "host/nvsimnames.h"
#include "host/nvsimstatus.h"
#include "nvsimtestsupport.h"

namespace {

SHORT LastCode(INVAutomation* object) {
  SHORT code = -1;
  EXPECT_EQ(object->GetLastErrorCode(&code), S_OK);
  return code;
}

std::string LastText(INVAutomation* object) {
  TrxBstr text;
  EXPECT_EQ(object->GetLastErrorText(text.Put()), S_OK);
  return NVSimText(text.View());
}

class NVSimRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    m_app = NVSimLoadSample();
    ASSERT_TRUE(m_app);
  }
  INVAutomation* Object(const char16_t* path) {
    CNVSimObject* object = m_app->FindObject(path);
    EXPECT_TRUE(object) << NVSimText(path);
    return object;
  }
  std::string Read(const char16_t* path, const char16_t* property) {
    TrxVariant value;
    EXPECT_EQ(m_app->ReadProperty(path, property, value), S_OK);
    if (value.vt & VT_ARRAY) {
      std::string joined;
      for (const std::string& item : NVSimItems(value)) joined += (joined.empty() ? "" : "|") + item;
      return joined;
    }
    return NVSimText(value);
  }

  TrxComPtr<CNVSimApplication> m_app;
};

TEST_F(NVSimRequests, GoingToAScreenSwitchesScreenAndViewAndIsJournalled) {
  INVAutomation* bar = Object(u"Screen");
  ASSERT_EQ(NVSimRequest(bar, REQID_NAVCONTROL_GOTOSCREEN, {"Contacts Screen"}), S_OK);
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Contacts Screen");
  EXPECT_EQ(NVSimText(m_app->GetCurrentView()), "Contact List View") << "the screen's default view";
  EXPECT_EQ(Read(u"Screen", u"SelectedTab"), "Contacts Screen");
  EXPECT_EQ(Read(u"ThreadBar", u"ThreadbarlinkNames"), "Accounts|Contacts");

  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].requestId, REQID_NAVCONTROL_GOTOSCREEN);
  EXPECT_EQ(NVSimText(journal[0].object), "Screen");
  EXPECT_EQ(journal[0].objectType, OBJTYPE_NAVCONTROL);
  EXPECT_EQ(journal[0].arguments, std::vector<TrxString>{u"Contacts Screen"});
  EXPECT_EQ(NVSimText(journal[0].argumentText), "(Contacts Screen)");
  EXPECT_EQ(journal[0].threadId, GetCurrentThreadId());
  EXPECT_TRUE(journal[0].finished);
  EXPECT_EQ(journal[0].status, S_OK);

  ASSERT_EQ(NVSimRequest(Object(u"Screen"), REQID_NAVCONTROL_GOTOVIEW, {"Account Detail - Contacts View"}), S_OK);
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Accounts Screen");
  EXPECT_EQ(NVSimText(m_app->GetCurrentView()), "Account Detail - Contacts View");
  EXPECT_EQ(Read(u"ThreadBar", u"ThreadbarlinkNames"), "Accounts|Contacts|Account Contacts");
}

TEST_F(NVSimRequests, FieldsTakeTheValuesSetAndTheFocusMovesTheActiveControl) {
  EXPECT_EQ(m_app->FindObject(u"#account-form/Main Phone"), nullptr) << "a path starts at the application, or is an id";
  INVAutomation* phone = Object(u"Accounts Screen/Account List View/Account Form Applet/Main Phone");
  ASSERT_EQ(NVSimRequest(phone, REQID_SETFOCUS, {}), S_OK);
  EXPECT_EQ(Read(u"#account-form", u"ActiveControlName"), "Main Phone");
  ASSERT_EQ(NVSimRequest(phone, REQID_SETVALUE, {"555-0199"}), S_OK);
  EXPECT_EQ(NVSimText(NVSimProperty(phone, "Value")), "555-0199");

  INVAutomation* type = Object(u"Accounts Screen/Account List View/Account Form Applet/Account Type");
  ASSERT_EQ(NVSimRequest(type, REQID_SELECTLOVITEM, {"Partner"}), S_OK);
  EXPECT_EQ(NVSimText(NVSimProperty(type, "Value")), "Partner");
  ASSERT_EQ(NVSimRequest(type, REQID_SHOWPOPUP, {}), S_OK);
  EXPECT_EQ(NVSimProperty(type, "IsPopupOpen").boolVal, VARIANT_TRUE);

  // A parameter that is a single string, not an array.
  TrxVariant text = TrxVariant::FromString(u"Acme Holdings");
  TrxVariant result;
  INVAutomation* name = Object(u"Accounts Screen/Account List View/Account Form Applet/Name");
  ASSERT_EQ(name->HandleAutoRequest(REQID_SETVALUE, text, &result), S_OK);
  EXPECT_EQ(NVSimText(NVSimProperty(name, "Value")), "Acme Holdings");
}

TEST_F(NVSimRequests, AFailingRuleLeavesItsErrorForEveryObjectUntilTheNextRequest) {
  INVAutomation* form = Object(u"#account-form");
  EXPECT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"DeleteRecord"}), S_OK) << "processed, with an error to read";
  EXPECT_EQ(LastCode(form), 1201);
  EXPECT_EQ(LastText(form), "You cannot delete an account that has open opportunities.");
  EXPECT_EQ(LastCode(m_app.Get()), 1201) << "the application tells the same error";
  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].status, S_OK);
  EXPECT_EQ(journal[0].errorCode, 1201);

  ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"NewRecord"}), S_OK);
  EXPECT_EQ(LastCode(form), 0);
  EXPECT_EQ(LastText(form), "");
  EXPECT_EQ(Read(u"Accounts Screen/Account List View/Account Form Applet/Name", u"Value"), "");
  EXPECT_EQ(Read(u"Accounts Screen/Account List View/Account Form Applet/Status", u"Value"), "Pending");
}

TEST_F(NVSimRequests, ARequestNoRuleMatchesSucceedsAndChangesNothing) {
  INVAutomation* menu = Object(u"NorvMenu");
  ASSERT_EQ(NVSimRequest(menu, REQID_SELECTMENUITEM, {"File\\Save Record"}), S_OK);
  ASSERT_EQ(NVSimRequest(m_app.Get(), REQID_PROCESSACCELERATOR, {"120", "TRUE", "TRUE", "FALSE"}), S_OK);
  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(NVSimText(journal[0].object), "NorvMenu");
  EXPECT_EQ(NVSimText(journal[1].object), "");
  EXPECT_EQ(NVSimText(journal[1].argumentText), "(120,TRUE,TRUE,FALSE)");
  EXPECT_EQ(NVSimText(m_app->GetCurrentView()), "Account List View");
}

TEST_F(NVSimRequests, ListRequestsMoveRowsSortAndDrillDown) {
  INVAutomation* list = Object(u"#account-list");
  struct Step {
    LONG request;
    std::vector<std::string> arguments;
    const char16_t* property;
    const char* value;
  } steps[] = {
      {REQID_NEXTROW, {}, u"ActiveRow", "1"},
      {REQID_NEXTROW, {}, u"ActiveRow", "2"},
      {REQID_NEXTROW, {}, u"ActiveRow", "2"},  // the last row
      {REQID_PREVROW, {}, u"ActiveRow", "1"},
      {REQID_SELECTROW, {"0", "1"}, u"SelectedRows", "0"},
      {REQID_SETROWFOCUS, {"2"}, u"ActiveRow", "2"},
      {REQID_SORTCOLUMN, {"Name", "-1"}, u"ListColumnSortState", "1"},
      {REQID_SORTCOLUMN, {"Name", "0"}, u"ListColumnSortState", "2"},
      {REQID_SETCELLFOCUS, {"2", "Status"}, u"CurrentCell", "Status"},
  };
  for (const Step& step : steps) {
    ASSERT_EQ(NVSimRequest(list, step.request, step.arguments), S_OK)
        << NVSimText(CNVSimNames::RequestName(step.request));
    EXPECT_EQ(Read(u"#account-list", step.property), step.value) << NVSimText(CNVSimNames::RequestName(step.request));
  }
  TrxVariant names;
  ASSERT_EQ(list->GetChildNames(OBJTYPE_CONTROL, &names), S_OK);
  EXPECT_EQ(NVSimText(names), "Status");
  EXPECT_EQ(Read(u"Accounts Screen/Account List View/Account List Applet/NorvList/ListCellControl", u"HasFocus"),
            "TRUE");

  ASSERT_EQ(NVSimRequest(list, REQID_DRILLDOWNCOL, {"Status", "1"}), S_OK);
  EXPECT_EQ(NVSimText(m_app->GetCurrentView()), "Account List View") << "only the Name column drills down";
  ASSERT_EQ(NVSimRequest(list, REQID_DRILLDOWNCOL, {"Name", "1"}), S_OK);
  EXPECT_EQ(NVSimText(m_app->GetCurrentView()), "Account Detail - Contacts View");
}

TEST_F(NVSimRequests, TheOperationIdTagsTheRequestsThatFollow) {
  TrxComPtr<INVAppControl> control;
  ASSERT_EQ(m_app->QueryInterface(IID_INVAppControl, control.PutVoid()), S_OK);
  TrxBstr id(u"7");
  ASSERT_EQ(control->SetOperationId(id.Get()), S_OK);
  ASSERT_EQ(NVSimRequest(Object(u"HIMain"), REQID_GOTOITEM, {"Save"}), S_OK);
  TrxBstr none(u"");
  ASSERT_EQ(control->SetOperationId(none.Get()), S_OK);
  ASSERT_EQ(NVSimRequest(Object(u"HIMain"), REQID_GOTOITEM, {"New"}), S_OK);
  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(NVSimText(journal[0].operationId), "7");
  EXPECT_EQ(NVSimText(journal[1].operationId), "");
  m_app->ClearJournal();
  EXPECT_TRUE(m_app->GetJournal().empty());
}

TEST_F(NVSimRequests, RequestsFromAnotherThreadAreJournalledWithThatThread) {
  DWORD worker = 0;
  std::thread thread([&] {
    worker = GetCurrentThreadId();
    NVSimRequest(Object(u"ThreadBar"), REQID_EXECUTETHREADBARLINK, {"Opportunities"});
  });
  thread.join();
  auto journal = m_app->GetJournal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].threadId, worker);
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Opportunities Screen");
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
    <on request="BUTTONCLICK" arg="Up"><increment property="Count" by="5" max="12"/></on>
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
  ASSERT_TRUE(form);
  auto read = [&](const char16_t* path, const char16_t* property) {
    TrxVariant value;
    app->ReadProperty(path, property, value);
    if (value.vt & VT_ARRAY) {
      std::string joined;
      for (const std::string& item : NVSimItems(value)) joined += (joined.empty() ? "" : "|") + item;
      return joined;
    }
    return NVSimText(value);
  };
  struct Step {
    std::vector<std::string> arguments;
    const char16_t* property;
    const char* value;
  } steps[] = {
      {{"Save now"}, u"Log", "saved Save now"},
      {{"Save now", "extra"}, u"Note", "unmatched button Save now"},  // argCount
      {{"Add", "a"}, u"Log", "saved Save now|a"},
      {{"Add", "a"}, u"Log", "saved Save now|a"},  // unique
      {{"Add", "b"}, u"Log", "a|b"},               // at most two
      {{"Drop", "a"}, u"Log", "b"},
      {{"Up"}, u"Count", "5"},
      {{"Up"}, u"Count", "10"},
      {{"Up"}, u"Count", "12"},
      {{"Down"}, u"Count", "-3"},
      {{"Number", "42"}, u"Count", "42"},
      {{"Go", "Two"}, u"Note", "unmatched button Save now"},
      {{"Note"}, u"Note", "REQID_BUTTONCLICK on Form in Two/Two/Two B/Two B op : Note {braces}"},
      {{"View", "One View"}, u"Note", "REQID_BUTTONCLICK on Form in Two/Two/Two B/Two B op : Note {braces}"},
      {{"Note"}, u"Note", "REQID_BUTTONCLICK on Form in One/First/One View/Main op : Note {braces}"},
  };
  for (const Step& step : steps) {
    std::string arguments;
    for (const std::string& a : step.arguments) arguments += a + ",";
    ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, step.arguments), S_OK) << arguments;
    EXPECT_EQ(read(u"#form", step.property), step.value) << arguments;
  }
  EXPECT_EQ(NVSimText(app->GetActiveScreen()), "One");

  ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"Price", "Bolt", "M8", "0.25"}), S_OK);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  TrxVariant bolt = TrxVariant::FromString(u"Bolt"), size = TrxVariant::FromString(u"M8");
  LONG i = 0;
  SafeArrayPutElement(array, &i, &bolt);
  i = 1;
  SafeArrayPutElement(array, &i, &size);
  TrxVariant aux = TrxVariant::FromArray(array, VT_VARIANT);
  TrxVariant price;
  TrxBstr name(u"Price");
  ASSERT_EQ(form->GetProperty(name.Get(), &aux, 2, &price), S_OK);
  EXPECT_EQ(NVSimText(price), "0.25");

  EXPECT_FALSE(NVSimChild(form, OBJTYPE_APPLET, "Popup"));
  ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"Show"}), S_OK);
  EXPECT_TRUE(NVSimChild(form, OBJTYPE_APPLET, "Popup"));
  ASSERT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, {"Hide"}), S_OK);
  EXPECT_FALSE(NVSimChild(form, OBJTYPE_APPLET, "Popup"));

  ASSERT_EQ(NVSimRequest(form, REQID_SETVALUE, {"v"}), S_OK);
  EXPECT_EQ(read(u"#form", u"Note"), "general rule for the form") << "general rules name their object";
  INVAutomation* field = app->FindObject(u"Form/Field");
  ASSERT_EQ(NVSimRequest(field, REQID_SETVALUE, {"typed"}), S_OK);
  EXPECT_EQ(read(u"Form/Field", u"Value"), "typed") << "or their object type";
}

TEST(NVSimRules, AFailEndsTheRuleAndRulesThatCannotBeAppliedFail) {
  auto app = NVSimFromText(kRules);
  ASSERT_TRUE(app);
  INVAutomation* form = app->FindObject(u"#form");
  struct Case {
    std::vector<std::string> arguments;
    HRESULT status;
    SHORT code;
    const char* text;  // a part of it
  } cases[] = {
      {{"Half"}, E_FAIL, 7, "stopped at Half"},
      {{"Go", "Nowhere"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "No screen named \"Nowhere\""},
      {{"View", "Nowhere View"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "No view named \"Nowhere View\""},
      {{"Number", "many"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "\"many\" is not a 32-bit integer"},
      {{"Keyless"}, NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE, "Property \"Note\" is not keyed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[0]);
    EXPECT_EQ(NVSimRequest(form, REQID_BUTTONCLICK, c.arguments), c.status);
    EXPECT_EQ(LastCode(form), c.code);
    EXPECT_NE(LastText(form).find(c.text), std::string::npos) << LastText(form);
  }
  TrxVariant note;
  app->ReadProperty(u"#form", u"Note", note);
  EXPECT_EQ(NVSimText(note), "first") << "actions before the fail ran, those after it did not";
}

}  // namespace
