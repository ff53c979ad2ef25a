// What the client's objects answer through INVAutomation: children, child
// names, properties (declared, keyed, kept by the client), parents, and the
// current view and screen bar.
#include <gtest/gtest.h>

#include <map>

#include "host/nvsimstatus.h"
#include "nvsimtestsupport.h"

namespace {

class NVSimObjects : public NVSimSampleTest {
 protected:
  // The property's type and text ("vt:text"), the items of a list joined by '|'.
  std::string Typed(INVAutomation* object, const std::string& name) {
    const TrxVariant value = NVSimProperty(object, name);
    std::string text = NVSimText(value);
    if (value.vt & VT_ARRAY) {
      text.clear();
      for (const std::string& item : NVSimItems(value)) text += (text.empty() ? "" : "|") + item;
    }
    return std::to_string(value.vt) + ":" + text;
  }
  std::string Names(INVAutomation* object, AUTO_OBJECTTYPE type) {
    TrxVariant names;
    EXPECT_EQ(object->GetChildNames(type, &names), S_OK);
    std::string text = std::to_string(names.vt) + ":";
    if (names.vt == VT_BSTR) return text + NVSimText(names);
    for (const std::string& name : NVSimItems(names)) text += name + "|";
    return text;
  }
};

const std::string kText = std::to_string(VT_BSTR) + ":", kInt = std::to_string(VT_I4) + ":",
                  kList = std::to_string(VT_ARRAY | VT_VARIANT) + ":", kBool = std::to_string(VT_BOOL) + ":";

TEST_F(NVSimObjects, DeclaredPropertiesKeepTheirTypes) {
  INVAutomation* list = Object(u"#account-list");
  INVAutomation* bar = Object(u"Screen");
  // clang-format off
  const struct { INVAutomation* object; const char* property; std::string expected; } cases[] = {
      {m_app.Get(), "ObjType", kInt + "1"},
      {m_app.Get(), "ActiveViewName", kText + "Account List View"},
      {m_app.Get(), "LastOperationTime", kInt + "0"},
      {list, "NumRecords", kInt + "3"},
      {list, "IsTotalsRow", kBool + "FALSE"},
      {list, "ListColNames", kList + "Name|Main Phone|Account Type|Status"},
      {list, "SelectedRows", kList + "0"},  // the whole list: one row, no more
      {list, "NoSuchProperty", "0:"},
      {bar, "SelectedTab", kText + "Accounts Screen"},
      {bar, "ScreenNames", kList + "Accounts Screen|Contacts Screen|Opportunities Screen|Activities Screen"},
      {bar, "AggregateCategoryNames", kList + "Account List View|Account Detail - Contacts View"},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Typed(c.object, c.property), c.expected) << c.property;

  // An element of an array property, typed as Typed gives it.
  const auto element = [](const TrxVariant& array, std::vector<LONG> at) {
    TrxVariant item;
    EXPECT_EQ(SafeArrayGetElement(array.parray, at.data(), &item), S_OK);
    return std::to_string(item.vt) + ":" + NVSimText(item);
  };
  EXPECT_EQ(element(NVSimProperty(list, "SelectedRows"), {0}), kInt + "0") << "an ints list holds integers";
  EXPECT_EQ(element(NVSimProperty(Object(u"HIMain"), "ToolbarItemStates"), {2}), kBool + "FALSE");
}

TEST_F(NVSimObjects, TheCurrentViewScreenBarAndScreenObjectsFollowTheActiveScreen) {
  TrxComPtr<INVAutomation> view = NVSimChild(m_app.Get(), OBJTYPE_VIEW, "");
  ASSERT_TRUE(view) << "the current view is the view child without a name";
  EXPECT_EQ(Typed(view.Get(), "Name"), kText + "Account List View");
  EXPECT_EQ(Typed(view.Get(), "ObjType"), kInt + "5");
  EXPECT_TRUE(NVSimChild(m_app.Get(), OBJTYPE_VIEW, "Account List View"));
  EXPECT_FALSE(NVSimChild(m_app.Get(), OBJTYPE_VIEW, "Account Detail - Contacts View")) << "not the current view";
  EXPECT_FALSE(NVSimChild(m_app.Get(), OBJTYPE_VIEW, "Contact List View")) << "a view of another screen";
  EXPECT_EQ(Names(m_app.Get(), OBJTYPE_VIEW), kList + "Account List View|");
  EXPECT_EQ(Typed(NVSimChild(m_app.Get(), OBJTYPE_CONTROL, "NorvPDQ").Get(), "Value"), kText + "My Accounts");

  ASSERT_TRUE(m_app->GotoView(u"Contact List View"));
  EXPECT_EQ(Typed(NVSimChild(m_app.Get(), OBJTYPE_VIEW, "").Get(), "Name"), kText + "Contact List View");
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Contacts Screen") << "the view's screen becomes active";
  EXPECT_EQ(Typed(NVSimChild(m_app.Get(), OBJTYPE_CONTROL, "NorvPDQ").Get(), "Value"), kText + "My Contacts");

  INVAutomation* bar = Object(u"Screen");
  ASSERT_TRUE(m_app->GotoScreen(u"Opportunities Screen"));
  EXPECT_EQ(Typed(bar, "SelectedTab"), kText + "Opportunities Screen");
  EXPECT_EQ(Typed(bar, "SelectedLink"), kText + "Opportunity List View");
  EXPECT_FALSE(m_app->GotoScreen(u"Sales Screen"));
  EXPECT_EQ(NVSimText(m_app->GetActiveScreen()), "Opportunities Screen");
}

TEST_F(NVSimObjects, ChildrenByTypeAndName) {
  INVAutomation* view = Object(u"Accounts Screen/Account List View");
  INVAutomation* form = Object(u"#account-form");
  INVAutomation* list = Object(u"#account-list");
  // clang-format off
  const struct { INVAutomation* object; AUTO_OBJECTTYPE type; std::string names; } cases[] = {
      {view, OBJTYPE_APPLET, kList + "Account List Applet|Account Form Applet|"},
      {form, OBJTYPE_CONTROL, kList + "Name|Main Phone|Parent Account|Account Type|Status|Key Account|Description|"},
      {form, OBJTYPE_LISTCONTROL, "0:"},  // none: VT_EMPTY
      {m_app.Get(), OBJTYPE_NAVCONTROL, kList + "Screen|AggregateViews|"},
      {list, OBJTYPE_CONTROL, kText + "Name"},  // the cell that has the focus, as a string
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Names(c.object, c.type), c.names) << c.type;
  EXPECT_EQ(NVSimProperty(NVSimChild(list, OBJTYPE_CONTROL, "ListCellControl").Get(), "HasFocus").vt, VT_BOOL);

  // clang-format off
  const struct { AUTO_OBJECTTYPE type; const char* name; const char* found; } children[] = {
      {OBJTYPE_CONTROL, "Status", "Status"}, {OBJTYPE_CONTROL, "", "Name"},  // an empty name: the first
      {OBJTYPE_MENU, "NorvMenu", "NorvMenu"}, {OBJTYPE_MENU, "Status", nullptr},
      {OBJTYPE_CONTROL, "status", nullptr}, {OBJTYPE_LISTCONTROL, "", nullptr},
  };
  // clang-format on
  for (const auto& c : children) {
    TrxComPtr<INVAutomation> child;
    TrxBstr name(TrxWiden(c.name));
    EXPECT_EQ(form->GetChild(c.type, name.Get(), child.Put()), c.found ? S_OK : NVSIM_E_NO_OBJECT) << c.name;
    EXPECT_EQ(child ? Typed(child.Get(), "Name") : "none", c.found ? kText + c.found : "none");
  }
}

TEST_F(NVSimObjects, ParentsLeadBackToTheApplicationWhichAnyReferenceKeepsAlive) {
  TrxComPtr<INVAutomation> current(
      Object(u"Opportunities Screen/Opportunity List View/Opportunity Form Applet/Revenue/Amount"));
  m_app.Reset();
  EXPECT_EQ(Typed(current.Get(), "Value"), kText + "250000");
  std::vector<std::string> chain;
  while (current) {
    chain.push_back(NVSimText(NVSimProperty(current.Get(), "Name")));
    TrxComPtr<INVAutomation> parent;
    const HRESULT hr = current->GetParent(parent.Put());
    EXPECT_EQ(FAILED(hr), !parent) << "the application has no parent";
    current = parent;
  }
  EXPECT_EQ(chain, (std::vector<std::string>{"Amount", "Revenue", "Opportunity Form Applet", "Opportunity List View",
                                             "Norvik Sales"}));
}

TEST_F(NVSimObjects, KeyedPropertiesAreLookedUpByTheirAuxiliaryParameters) {
  INVAutomation* list = Object(u"#account-list");
  auto read = [&](INVAutomation* object, const char* property, std::vector<TrxVariant> aux, SHORT count) {
    TrxVariant parameters = aux.size() == 1 ? aux[0] : NVSimArray(aux), value;
    TrxBstr name(TrxWiden(property));
    if (object->GetProperty(name.Get(), &parameters, count, &value) != S_OK) return std::string("refused");
    return std::to_string(value.vt) + ":" + NVSimText(value);
  };
  using V = TrxVariant;
  // clang-format off
  EXPECT_EQ(read(list, "CellValue", {V::FromString(u"Name"), V::FromI4(1)}, 2), kText + "Bluewater Logistics");
  EXPECT_EQ(read(list, "CellValue", {V::FromString(u"Status"), V::FromString(u"2")}, 2), kText + "Pending");
  EXPECT_EQ(read(list, "CellValue", {V::FromString(u"Status"), V::FromI4(7)}, 2), "refused") << "no such cell";
  EXPECT_EQ(read(list, "CellValue", {}, 0), "refused");
  EXPECT_EQ(read(list, "IsLink", {V::FromString(u"Name"), V::FromString(u"x")}, 1), kBool + "TRUE") << "auxArrSize values make the key";
  EXPECT_EQ(read(list, "IsLink", {V::FromString(u"Status"), V::FromString(u"x")}, 1), kBool + "FALSE") << "the property's own value";
  EXPECT_EQ(read(Object(u"NorvCommunicationsToolbar"), "ButtonState", {V::FromString(u"Answer")}, 1), kText + "Enabled")
      << "a single auxiliary value, not in an array";
  // clang-format on
}

TEST_F(NVSimObjects, UnknownPropertiesReadEmptyOrFailAndAllPropertiesComeAsATable) {
  for (auto [mode, status] : {std::pair{"", S_OK},
                              {" unknownProperties=\"empty\"", S_OK},
                              {" unknownProperties=\"fail\"", NVSIM_E_NO_PROPERTY}}) {
    auto app = NVSimFromText(std::string("<application name=\"A\"") + mode + "/>");
    TrxVariant value = TrxVariant::FromI4(5);
    TrxBstr name(u"Colour");
    EXPECT_EQ(app->GetProperty(name.Get(), nullptr, 0, &value), status) << mode;
    EXPECT_EQ(value.vt, VT_EMPTY) << mode;
    EXPECT_EQ(Typed(app.Get(), "ObjType"), kInt + "1") << mode;
  }
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
  EXPECT_EQ(properties["ObjType"] + "|" + properties["Name"] + "|" + properties["DisplayName"] + "|" + properties["RowCounter"],
            "6|Account Form Applet|Account|1 of 3");
  EXPECT_EQ(table.GetRows()[0][0].vt, VT_BSTR);
  EXPECT_EQ(NVSimText(table.GetRows()[0][0]), "ObjType") << "the two every object has come first";
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  TrxVariant grid;
  grid.vt = VT_ARRAY | VT_I4;
  grid.parray = SafeArrayCreate(VT_I4, 2, bounds);
  EXPECT_FALSE(m_app->SetProperty(u"#account-list", u"Grid", grid)) << "a table holds VARIANTs only";
}

}  // namespace
