// What the client's objects answer through INVAutomation: children, child
// names, properties (declared, keyed, kept by the client), parents, and the
// current view and screen bar.
#include <gtest/gtest.h>

#include <map>

#include "host/nvsimstatus.h"
#include "nvsimtestsupport.h"

namespace {

class NVSimObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    m_app = NVSimLoadSample();
    ASSERT_TRUE(m_app);
    m_root = static_cast<INVAutomation*>(m_app.Get());
  }
  INVAutomation* Object(const char16_t* path) {
    CNVSimObject* object = m_app->FindObject(path);
    EXPECT_TRUE(object) << NVSimText(path);
    return object;
  }

  TrxComPtr<CNVSimApplication> m_app;
  INVAutomation* m_root = nullptr;
};

TEST_F(NVSimObjects, TheApplicationAnswersItsOwnProperties) {
  struct Case {
    const char* property;
    VARTYPE type;
    const char* text;
  } cases[] = {
      {"ObjType", VT_I4, "1"},
      {"Name", VT_BSTR, "Norvik Sales"},
      {"DisplayName", VT_BSTR, "Norvik Sales Enterprise"},
      {"SessionID", VT_BSTR, "NVS-0001-7F3A"},
      {"HtmlID", VT_BSTR, "s_0"},
      {"ActiveViewName", VT_BSTR, "Account List View"},
      {"LastOperationTime", VT_I4, "0"},
  };
  for (const Case& c : cases) {
    TrxVariant value = NVSimProperty(m_root, c.property);
    EXPECT_EQ(value.vt, c.type) << c.property;
    EXPECT_EQ(NVSimText(value), c.text) << c.property;
  }
}

TEST_F(NVSimObjects, TheCurrentViewIsTheViewChildWithoutAName) {
  TrxComPtr<INVAutomation> view = NVSimChild(m_root, OBJTYPE_VIEW, "");
  ASSERT_TRUE(view);
  EXPECT_EQ(NVSimText(NVSimProperty(view.Get(), "Name")), "Account List View");
  EXPECT_EQ(NVSimText(NVSimProperty(view.Get(), "ObjType")), "5");
  EXPECT_TRUE(NVSimChild(m_root, OBJTYPE_VIEW, "Account List View"));
  EXPECT_FALSE(NVSimChild(m_root, OBJTYPE_VIEW, "Account Detail - Contacts View")) << "not the current view";
  EXPECT_FALSE(NVSimChild(m_root, OBJTYPE_VIEW, "Contact List View")) << "a view of another screen";

  TrxVariant names;
  ASSERT_EQ(m_root->GetChildNames(OBJTYPE_VIEW, &names), S_OK);
  EXPECT_EQ(names.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(NVSimItems(names), std::vector<std::string>{"Account List View"});

  ASSERT_TRUE(m_app->GotoView(u"Contact List View"));
  view = NVSimChild(m_root, OBJTYPE_VIEW, "");
  ASSERT_TRUE(view);
  EXPECT_EQ(NVSimText(NVSimProperty(view.Get(), "Name")), "Contact List View");
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Contacts Screen") << "the view's screen becomes active";
}

TEST_F(NVSimObjects, TheScreenBarFollowsTheActiveScreen) {
  TrxComPtr<INVAutomation> bar = NVSimChild(m_root, OBJTYPE_NAVCONTROL, "Screen");
  ASSERT_TRUE(bar);
  EXPECT_EQ(NVSimText(NVSimProperty(bar.Get(), "SelectedTab")), "Accounts Screen");
  EXPECT_EQ(
      NVSimItems(NVSimProperty(bar.Get(), "ScreenNames")),
      (std::vector<std::string>{"Accounts Screen", "Contacts Screen", "Opportunities Screen", "Activities Screen"}));
  EXPECT_EQ(NVSimItems(NVSimProperty(bar.Get(), "ScreenDisplayNames")),
            (std::vector<std::string>{"Accounts", "Contacts", "Opportunities", "Activities"}));
  EXPECT_EQ(NVSimItems(NVSimProperty(bar.Get(), "AggregateCategoryNames")),
            (std::vector<std::string>{"Account List View", "Account Detail - Contacts View"}));
  EXPECT_EQ(NVSimItems(NVSimProperty(bar.Get(), "AggregateCategoryDisplayNames")),
            (std::vector<std::string>{"My Accounts", "Account Contacts"}));
  EXPECT_EQ(NVSimText(NVSimProperty(bar.Get(), "HtmlID")), "s_sctrl");

  ASSERT_TRUE(m_app->GotoScreen(u"Opportunities Screen"));
  EXPECT_EQ(NVSimText(NVSimProperty(bar.Get(), "SelectedTab")), "Opportunities Screen");
  EXPECT_EQ(NVSimText(NVSimProperty(bar.Get(), "SelectedLink")), "Opportunity List View");
  EXPECT_FALSE(m_app->GotoScreen(u"Sales Screen"));
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Opportunities Screen");
}

TEST_F(NVSimObjects, ObjectsOfAScreenAreChildrenOfTheApplicationWhileItIsActive) {
  TrxComPtr<INVAutomation> pdq = NVSimChild(m_root, OBJTYPE_CONTROL, "NorvPDQ");
  ASSERT_TRUE(pdq);
  EXPECT_EQ(NVSimText(NVSimProperty(pdq.Get(), "Value")), "My Accounts");
  ASSERT_TRUE(m_app->GotoScreen(u"Contacts Screen"));
  pdq = NVSimChild(m_root, OBJTYPE_CONTROL, "NorvPDQ");
  ASSERT_TRUE(pdq);
  EXPECT_EQ(NVSimText(NVSimProperty(pdq.Get(), "Value")), "My Contacts");
  ASSERT_TRUE(m_app->GotoScreen(u"Activities Screen"));
  pdq = NVSimChild(m_root, OBJTYPE_CONTROL, "NorvPDQ");
  ASSERT_TRUE(pdq) << "every screen has its own query box";
  EXPECT_EQ(NVSimText(NVSimProperty(pdq.Get(), "Value")), "All Activities");
}

TEST_F(NVSimObjects, ChildNamesByTypeAreVariantStringsOrEmpty) {
  INVAutomation* view = Object(u"Accounts Screen/Account List View");
  INVAutomation* form = Object(u"#account-form");
  struct Case {
    INVAutomation* object;
    AUTO_OBJECTTYPE type;
    std::vector<std::string> names;
  } cases[] = {
      {view, OBJTYPE_APPLET, {"Account List Applet", "Account Form Applet"}},
      {form,
       OBJTYPE_CONTROL,
       {"Name", "Main Phone", "Parent Account", "Account Type", "Status", "Key Account", "Description"}},
      {form, OBJTYPE_MENU, {"NorvMenu"}},
      {form, OBJTYPE_LISTCONTROL, {}},
      {m_root, OBJTYPE_TOOLBAR, {"HIMain"}},
      {m_root, OBJTYPE_EXTOBJECT, {"NorvCommunicationsToolbar", "TaskAssistant", "TaskUIPane"}},
      {m_root, OBJTYPE_NAVCONTROL, {"Screen", "AggregateViews"}},
  };
  for (const Case& c : cases) {
    TrxVariant names;
    ASSERT_EQ(c.object->GetChildNames(c.type, &names), S_OK);
    if (c.names.empty()) {
      EXPECT_EQ(names.vt, VT_EMPTY);
    } else {
      EXPECT_EQ(names.vt, VT_ARRAY | VT_VARIANT);
      EXPECT_EQ(NVSimItems(names), c.names);
    }
  }
}

TEST_F(NVSimObjects, AListNamesTheCellThatHasTheFocusAsItsControlChild) {
  INVAutomation* list = Object(u"#account-list");
  TrxVariant names;
  ASSERT_EQ(list->GetChildNames(OBJTYPE_CONTROL, &names), S_OK);
  EXPECT_EQ(names.vt, VT_BSTR);
  EXPECT_EQ(NVSimText(names), "Name");
  TrxComPtr<INVAutomation> cell = NVSimChild(list, OBJTYPE_CONTROL, "ListCellControl");
  ASSERT_TRUE(cell);
  EXPECT_EQ(NVSimProperty(cell.Get(), "HasFocus").vt, VT_BOOL);
}

TEST_F(NVSimObjects, GetChildFindsByTypeAndNameAndAnEmptyNameGivesTheFirst) {
  INVAutomation* form = Object(u"#account-form");
  struct Case {
    AUTO_OBJECTTYPE type;
    const char* name;
    const char* found;  // nullptr: none
  } cases[] = {
      {OBJTYPE_CONTROL, "Status", "Status"},  {OBJTYPE_CONTROL, "", "Name"},
      {OBJTYPE_MENU, "NorvMenu", "NorvMenu"}, {OBJTYPE_MENU, "Status", nullptr},
      {OBJTYPE_CONTROL, "status", nullptr},   {OBJTYPE_LISTCONTROL, "", nullptr},
  };
  for (const Case& c : cases) {
    TrxComPtr<INVAutomation> child;
    TrxBstr name(TrxWiden(c.name));
    const HRESULT hr = form->GetChild(c.type, name.Get(), child.Put());
    if (c.found) {
      EXPECT_EQ(hr, S_OK) << c.name;
      ASSERT_TRUE(child) << c.name;
      EXPECT_EQ(NVSimText(NVSimProperty(child.Get(), "Name")), c.found);
    } else {
      EXPECT_EQ(hr, NVSIM_E_NO_OBJECT) << c.name;
      EXPECT_FALSE(child) << c.name;
    }
  }
}

TEST_F(NVSimObjects, ParentsLeadBackToTheApplication) {
  INVAutomation* object = Object(u"Opportunities Screen/Opportunity List View/Opportunity Form Applet/Revenue/Amount");
  std::vector<std::string> chain;
  TrxComPtr<INVAutomation> current(object);
  for (;;) {
    chain.push_back(NVSimText(NVSimProperty(current.Get(), "Name")));
    TrxComPtr<INVAutomation> parent;
    const HRESULT hr = current->GetParent(parent.Put());
    if (!parent) {
      EXPECT_TRUE(FAILED(hr)) << "the application has no parent";
      break;
    }
    current = parent;
  }
  EXPECT_EQ(chain, (std::vector<std::string>{"Amount", "Revenue", "Opportunity Form Applet", "Opportunity List View",
                                             "Norvik Sales"}));
}

TEST_F(NVSimObjects, DeclaredPropertiesKeepTheirTypes) {
  INVAutomation* list = Object(u"#account-list");
  struct Case {
    const char* property;
    VARTYPE type;
    const char* text;  // of a scalar
    std::vector<std::string> items;
  } cases[] = {
      {"NumRecords", VT_I4, "3", {}},
      {"IsTotalsRow", VT_BOOL, "FALSE", {}},
      {"ListColumnSortState", VT_BSTR, "0", {}},
      {"HtmlID", VT_BSTR, "s_1_l", {}},
      {"ListColNames", VT_ARRAY | VT_VARIANT, "", {"Name", "Main Phone", "Account Type", "Status"}},
      {"SelectedRows", VT_ARRAY | VT_VARIANT, "", {"0"}},
      {"NoSuchProperty", VT_EMPTY, "", {}},
  };
  for (const Case& c : cases) {
    TrxVariant value = NVSimProperty(list, c.property);
    EXPECT_EQ(value.vt, c.type) << c.property;
    if (c.items.empty()) {
      EXPECT_EQ(NVSimText(value), c.text) << c.property;
    } else {
      EXPECT_EQ(NVSimItems(value), c.items) << c.property;
    }
  }
  TrxVariant rows = NVSimProperty(list, "SelectedRows");
  LONG index = 0;
  TrxVariant first;
  ASSERT_EQ(SafeArrayGetElement(rows.parray, &index, &first), S_OK);
  EXPECT_EQ(first.vt, VT_I4) << "an ints list holds integers";

  TrxVariant table = NVSimProperty(list, "AllCellValues");
  ASSERT_EQ(table.vt, VT_ARRAY | VT_VARIANT);
  ASSERT_EQ(SafeArrayGetDim(table.parray), 2u);
  LONG upper1 = 0, upper2 = 0;
  SafeArrayGetUBound(table.parray, 1, &upper1);
  SafeArrayGetUBound(table.parray, 2, &upper2);
  EXPECT_EQ(upper1, 2) << "three rows";
  EXPECT_EQ(upper2, 3) << "four columns";
  LONG cell[2] = {1, 0};
  TrxVariant name;
  ASSERT_EQ(SafeArrayGetElement(table.parray, cell, &name), S_OK);
  EXPECT_EQ(NVSimText(name), "Bluewater Logistics");

  TrxVariant states = NVSimProperty(Object(u"HIMain"), "ToolbarItemStates");
  index = 2;
  TrxVariant third;
  ASSERT_EQ(SafeArrayGetElement(states.parray, &index, &third), S_OK);
  EXPECT_EQ(third.vt, VT_BOOL);
  EXPECT_EQ(third.boolVal, VARIANT_FALSE);
}

TEST_F(NVSimObjects, KeyedPropertiesAreLookedUpByTheirAuxiliaryParameters) {
  INVAutomation* list = Object(u"#account-list");
  auto read = [&](const char* property, std::vector<TrxVariant> aux, SHORT count) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(aux.size()));
    for (LONG i = 0; i < static_cast<LONG>(aux.size()); ++i)
      SafeArrayPutElement(array, &i, &aux[static_cast<size_t>(i)]);
    TrxVariant parameters = TrxVariant::FromArray(array, VT_VARIANT);
    TrxVariant value;
    TrxBstr name(TrxWiden(property));
    EXPECT_EQ(list->GetProperty(name.Get(), &parameters, count, &value), S_OK);
    return value;
  };
  EXPECT_EQ(NVSimText(read("CellValue", {TrxVariant::FromString(u"Name"), TrxVariant::FromI4(1)}, 2)),
            "Bluewater Logistics");
  EXPECT_EQ(NVSimText(read("CellValue", {TrxVariant::FromString(u"Status"), TrxVariant::FromString(u"2")}, 2)),
            "Pending");
  EXPECT_EQ(read("CellValue", {TrxVariant::FromString(u"Status"), TrxVariant::FromI4(7)}, 2).vt, VT_EMPTY)
      << "no such cell";
  EXPECT_EQ(read("CellValue", {}, 0).vt, VT_EMPTY);
  EXPECT_EQ(NVSimText(read("IsLink", {TrxVariant::FromString(u"Name")}, 1)), "TRUE");
  EXPECT_EQ(NVSimText(read("IsLink", {TrxVariant::FromString(u"Status")}, 1)), "FALSE") << "the property's own value";
  EXPECT_EQ(NVSimText(read("IsLink", {TrxVariant::FromString(u"Name"), TrxVariant::FromString(u"x")}, 1)), "TRUE")
      << "only auxArrSize parameters make the key";

  TrxVariant single = TrxVariant::FromString(u"Answer");
  TrxVariant state;
  TrxBstr name(u"ButtonState");
  ASSERT_EQ(Object(u"NorvCommunicationsToolbar")->GetProperty(name.Get(), &single, 1, &state), S_OK);
  EXPECT_EQ(NVSimText(state), "Enabled") << "a single auxiliary value is a one-part key";
}

TEST_F(NVSimObjects, UnknownPropertiesReadEmptyOrFailAsTheDescriptionSays) {
  struct Case {
    const char* mode;
    HRESULT status;
  } cases[] = {
      {"", S_OK}, {" unknownProperties=\"empty\"", S_OK}, {" unknownProperties=\"fail\"", NVSIM_E_NO_PROPERTY}};
  for (const Case& c : cases) {
    auto app = NVSimFromText(std::string("<application name=\"A\"") + c.mode + "/>");
    ASSERT_TRUE(app);
    TrxVariant value = TrxVariant::FromI4(5);
    TrxBstr name(u"Colour");
    EXPECT_EQ(app->GetProperty(name.Get(), nullptr, 0, &value), c.status) << c.mode;
    EXPECT_EQ(value.vt, VT_EMPTY) << c.mode;
    TrxVariant known;
    TrxBstr objType(u"ObjType");
    EXPECT_EQ(app->GetProperty(objType.Get(), nullptr, 0, &known), S_OK) << c.mode;
  }
}

TEST_F(NVSimObjects, AllPropertiesComeAsANameValueTable) {
  TrxVariant all;
  ASSERT_EQ(Object(u"#account-form")->GetAllProperties(&all), S_OK);
  CNVSimValue table;
  ASSERT_TRUE(CNVSimValue::FromVariant(all, table));
  ASSERT_EQ(table.GetKind(), CNVSimValue::Kind::Table);
  std::map<std::string, std::string> properties;
  for (const auto& row : table.GetRows()) {
    ASSERT_EQ(row.size(), 2u);
    properties[NVSimText(row[0])] = NVSimText(row[1]);
  }
  EXPECT_EQ(properties["ObjType"], "6");
  EXPECT_EQ(properties["Name"], "Account Form Applet");
  EXPECT_EQ(properties["DisplayName"], "Account");
  EXPECT_EQ(properties["RowCounter"], "1 of 3");
  EXPECT_EQ(table.GetRows()[0][0].vt, VT_BSTR);
  EXPECT_EQ(NVSimText(table.GetRows()[0][0]), "ObjType") << "the two every object has come first";
}

TEST_F(NVSimObjects, HiddenObjectsAreNotChildrenUntilShown) {
  auto app = NVSimFromText(
      "<application name=\"A\">\n"
      "  <object type=\"APPLET\" name=\"Popup\" visible=\"false\"/>\n"
      "</application>\n");
  ASSERT_TRUE(app);
  EXPECT_FALSE(NVSimChild(app.Get(), OBJTYPE_APPLET, "Popup"));
  ASSERT_TRUE(app->SetVisible(u"Popup", true));
  EXPECT_TRUE(NVSimChild(app.Get(), OBJTYPE_APPLET, "Popup"));
}

TEST_F(NVSimObjects, AReferenceToAnyObjectKeepsTheClientAlive) {
  TrxComPtr<INVAutomation> amount(
      Object(u"Opportunities Screen/Opportunity List View/Opportunity Form Applet/Revenue/Amount"));
  m_root = nullptr;
  m_app.Reset();
  EXPECT_EQ(NVSimText(NVSimProperty(amount.Get(), "Value")), "250000");
  TrxComPtr<INVAutomation> parent;
  ASSERT_EQ(amount->GetParent(parent.Put()), S_OK);
  EXPECT_EQ(NVSimText(NVSimProperty(parent.Get(), "Type")), "currency");
}

}  // namespace
