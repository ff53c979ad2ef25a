// Building the tree from the host: child lists, descriptors, HTML ids.
#include <gtest/gtest.h>

#include "log/nvtrxassert.h"
#include "support/trxfakehost.h"
#include "support/trxtestvalues.h"

namespace {

using Hierarchy = TrxHostTest;

std::vector<std::string> ChildNames(const CNVTRXAutomation& object) {
  std::vector<std::string> names;
  for (const CNVTRXAutomation* child : object.GetChildObjects()) names.push_back(TrxNarrow(child->GetRepositoryName()));
  return names;
}

TEST_F(Hierarchy, ApplicationChildrenComeInTheTableOrder) {
  // Added in an order of their own; listed menu, toolbar, control,
  // navigation control, view, threadbar, external object.
  m_app->AddChild(OBJTYPE_EXTOBJECT, OLESTR("ext"));
  m_app->AddChild(OBJTYPE_VIEW, OLESTR("view"));
  m_app->AddChild(OBJTYPE_THREADBAR, OLESTR("threadbar"));
  m_app->AddChild(OBJTYPE_NAVCONTROL, OLESTR("nav"));
  m_app->AddChild(OBJTYPE_CONTROL, OLESTR("control"));
  m_app->AddChild(OBJTYPE_TOOLBAR, OLESTR("toolbar"));
  m_app->AddChild(OBJTYPE_MENU, OLESTR("menu"));
  m_app->AddChild(OBJTYPE_APPLET, OLESTR("not an application child"));
  TrxHostObjects children;
  ASSERT_EQ(m_root->GetNWEChildren(children), TRX_OK);
  std::vector<std::string> names;
  for (auto& child : children) {
    TrxVariant aux, name;
    TrxBstr property(OLESTR("Name"));
    child->GetProperty(property.Get(), &aux, 0, &name);
    names.push_back(TrxNarrow(TrxBstrView(name.bstrVal)));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"menu", "toolbar", "control", "nav", "view", "threadbar", "ext"}));
}

TEST_F(Hierarchy, NameListsOfEveryShapeAreFollowed) {
  for (auto shape : {FakeHostObject::NameShape::VariantArray, FakeHostObject::NameShape::StringArray,
                     FakeHostObject::NameShape::SingleString}) {
    FakeHostObject* view = new FakeHostObject(OBJTYPE_VIEW, OLESTR("V"));
    view->AddChild(OBJTYPE_APPLET, OLESTR("A1"));
    view->AddChild(OBJTYPE_APPLET, OLESTR("A2"));
    view->SetNameShape(shape);
    TestAutomation object(OLESTR("V"), nullptr, OLESTR("NorvView"), view);
    TrxHostObjects children;
    ASSERT_EQ(object.GetNWEChildren(children), TRX_OK);
    EXPECT_EQ(children.size(), shape == FakeHostObject::NameShape::SingleString ? 1u : 2u);
    view->Release();
  }
}

TEST_F(Hierarchy, UnsupportedAndUntypedHostObjects) {
  FakeHostObject* menu = new FakeHostObject(OBJTYPE_MENU, OLESTR("File"));
  TestAutomation object(OLESTR("File"), nullptr, OLESTR("NorvMenu"), menu);
  TrxHostObjects children;
  EXPECT_EQ(object.GetNWEChildren(children), TRX_E_SYSTEM) << "a menu has no child types";
  menu->SetProperty(OLESTR("ObjType"), OLESTR("application"));
  EXPECT_EQ(object.GetNWEChildren(children), TRX_OK) << "an ObjType that is not an integer lists nothing";
  EXPECT_TRUE(children.empty());
  menu->Release();

  TestAutomation synthesised(OLESTR("Tabs"), nullptr, OLESTR("NorvPageTabs"), nullptr);
  EXPECT_EQ(synthesised.GetNWEChildren(children), TRX_E_SYSTEM);
  EXPECT_EQ(LastText(), "System error. Debug info: Possible specialized TRX object \"NorvPageTabs\" with NULL NWE "
                        "Automation Interface Pointer - Returning");
  TrxVariant untouched = TrxVariant::FromI4(7);
  EXPECT_EQ(synthesised.GetChildren(TrxVariant(), &untouched), TRX_OK);
  EXPECT_EQ(untouched.lVal, 7);
}

TEST_F(Hierarchy, GetChildrenListsTheDescriptorsOfAllChildren) {
  m_app->AddChild(OBJTYPE_VIEW, OLESTR("Account \"Main\" <View>"));
  m_app->AddChild(OBJTYPE_MENU, OLESTR("File"));
  TrxVariant value;
  ASSERT_EQ(m_root->GetChildren(TrxVariant(), &value), TRX_OK);
  EXPECT_EQ(TrxNarrow(CNVTRXArray(&value).ToText()),
            "(<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NorvMenu\" "
            "RepositoryName=\"File\"/></Obj>,<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj "
            "ClassName=\"NorvView\" RepositoryName=\"Account &quot;Main&quot; &lt;View&gt;\"/></Obj>)");
}

TEST_F(Hierarchy, HtmlIdsAreFoundInDepthFirstPreorder) {
  FakeHostObject* view1 = m_app->AddChild(OBJTYPE_VIEW, OLESTR("View1"));
  FakeHostObject* applet = view1->AddChild(OBJTYPE_APPLET, OLESTR("Applet1"));
  applet->SetProperty(OLESTR("HtmlId"), OLESTR("s_1"));
  FakeHostObject* view2 = m_app->AddChild(OBJTYPE_VIEW, OLESTR("View2"));
  view2->SetProperty(OLESTR("HtmlId"), OLESTR("s_1"));  // a later sibling with the same id
  view2->AddChild(OBJTYPE_APPLET, OLESTR("Applet2"))
      ->SetProperty(OLESTR("HtmlId"), TrxTestArray(VT_VARIANT, {Str(OLESTR("s_7")), Str(OLESTR("s_8"))}));

  bool found = false;
  CNVTRXAutomation* object = nullptr;
  const long assertions = TrxAssertCount();
  ASSERT_EQ(m_root->GetObjectFromId(OLESTR("s_1"), found, object), TRX_OK);
  EXPECT_EQ(TrxAssertCount(), assertions) << "a child without an id (View1) is passed over without an assertion";
  ASSERT_TRUE(found);
  EXPECT_EQ(TrxNarrow(object->GetFullName()), "Norvik.View1.Applet1");
  EXPECT_EQ(ChildNames(*m_root), std::vector<std::string>{"View1"}) << "a later sibling is not built";

  m_root->ReleaseChildren();
  ASSERT_EQ(m_root->GetObjectFromId(OLESTR("s_8"), found, object), TRX_OK);
  ASSERT_TRUE(found);
  EXPECT_EQ(TrxNarrow(object->GetFullName()), "Norvik.View2.Applet2") << "an element of an array of ids";

  m_root->ReleaseChildren();
  ASSERT_EQ(m_root->GetObjectFromId(OLESTR("S_1"), found, object), TRX_OK);
  EXPECT_FALSE(found) << "ids are compared exactly";

  m_root->ReleaseChildren();
  m_app->SetProperty(OLESTR("HtmlId"), OLESTR("s_app"));
  ASSERT_EQ(m_root->GetObjectFromId(OLESTR("s_app"), found, object), TRX_OK);
  EXPECT_TRUE(found);
  EXPECT_EQ(object, m_root.get());
}

// An automation class that cannot build some of its host children.
class PickyAutomation : public TestAutomation {
 public:
  using TestAutomation::TestAutomation;
  TRXRESULT OnBuildHierarchy(INVAutomation* host, LONG eventId, LONG type, INVPropertySet* args,
                             CNVTRXAutomation** child) override {
    if (type == OBJTYPE_MENU) return TRX_DEFAULT_BUILD_HIERARCHY;
    return TestAutomation::OnBuildHierarchy(host, eventId, type, args, child);
  }
};

TEST_F(Hierarchy, ChildrenThatCannotBeBuiltAreSkippedBySearchAndStopTheBuild) {
  FakeHostObject* app = new FakeHostObject(OBJTYPE_APPLICATION, OLESTR("App"));
  app->AddChild(OBJTYPE_MENU, OLESTR("File"));
  app->AddChild(OBJTYPE_VIEW, OLESTR("Home"))->SetProperty(OLESTR("HtmlId"), OLESTR("s_home"));
  PickyAutomation root(OLESTR("Norvik"), nullptr, OLESTR("NorvApplication"), app);
  bool found = false;
  CNVTRXAutomation* object = nullptr;
  ASSERT_EQ(root.GetObjectFromId(OLESTR("s_home"), found, object), TRX_OK);
  ASSERT_TRUE(found);
  EXPECT_EQ(TrxNarrow(object->GetRepositoryName()), "Home");

  root.ReleaseChildren();
  EXPECT_EQ(root.BuildTRXObjectHierarchy(), TRX_DEFAULT_BUILD_HIERARCHY);
  EXPECT_EQ(LastText(), "Failed to create object \"Norvik\" of class \"NorvApplication\".");
  app->Release();
}

TEST_F(Hierarchy, TheWholeSubtreeIsBuiltDepthFirst) {
  FakeHostObject* view = m_app->AddChild(OBJTYPE_VIEW, OLESTR("V"));
  FakeHostObject* applet = view->AddChild(OBJTYPE_APPLET, OLESTR("A"));
  applet->AddChild(OBJTYPE_LISTCONTROL, OLESTR("L"));
  applet->AddChild(OBJTYPE_CONTROL, OLESTR("C"));
  m_app->AddChild(OBJTYPE_MENU, OLESTR("M"));
  ASSERT_EQ(m_root->BuildTRXObjectHierarchy(), TRX_OK);
  EXPECT_EQ(ChildNames(*m_root), (std::vector<std::string>{"M", "V"}));
  const CNVTRXAutomation* builtApplet = m_root->GetChildObjects()[1]->GetChildObjects()[0];
  EXPECT_EQ(ChildNames(*builtApplet), (std::vector<std::string>{"C", "L"}));
}

}  // namespace
