// The object contents document: streaming writer and per-object output.
#include <gtest/gtest.h>

#include "model/nvtrxxmlwriter.h"
#include "support/trxfakehost.h"
#include "support/trxtestvalues.h"

namespace {

class Contents : public TrxHostTest {
 protected:
  void SetUp() override {
    TrxHostTest::SetUp();
    m_app->SetProperty(OLESTR("HtmlId"), OLESTR("s_0"));
    m_view = m_app->AddChild(OBJTYPE_VIEW, OLESTR("Accounts & <Co>"));
    m_view->SetProperty(OLESTR("HtmlId"), TrxTestArray(VT_BSTR, {Str(OLESTR("s_1")), Str(OLESTR("s_2"))}));
    FakeHostObject* applet = m_view->AddChild(OBJTYPE_APPLET, OLESTR("Form"));
    applet->FailProperty(OLESTR("HtmlId"), E_FAIL);
  }

  // What the objects write inside the document the facade writes around
  // them: mode 0 outputs the view's subtree, modes 1 and 5 the whole tree
  // from the root.
  std::string Objects(LONG mode, const OLECHAR* activeElement) {
    TrxString text;
    CNVTRXXmlWriter writer(text);
    writer.WriteHeader();
    writer.StartElement(OLESTR("NorvikObjTree"));
    writer.WriteAttribute(OLESTR("Version"), OLESTR("1.0"));
    CNVTRXAutomation* start = m_root.get();
    if (mode == 0) start = Build(m_root.get(), m_view);
    EXPECT_EQ(start->BuildTRXObjectHierarchy(), TRX_OK);
    start->OutputActiveScreenXMLContents(mode, activeElement, writer, true);
    writer.EndElement();
    const std::string document = TrxNarrow(text);
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<NorvikObjTree Version=\"1.0\">\n";
    const std::string tail = "</NorvikObjTree>\n";
    EXPECT_EQ(document.substr(0, head.size()) + document.substr(document.size() - tail.size()), head + tail);
    return document.substr(head.size(), document.size() - head.size() - tail.size());
  }

  FakeHostObject* m_view = nullptr;
};

// The view's properties and its applet, as modes 0 and 1 write them.
const char kViewContents[] =
    "<Properties>\n"
    "<Property Type=\"8\" Name=\"Name\" Value=\"Accounts &amp; &lt;Co&gt;\"/>\n"
    "<Property Type=\"8\" Name=\"HtmlId\" Value=\"s_1,s_2\"/>\n"
    "</Properties>\n"
    "<Obj ClassName=\"NorvApplet\" RepositoryName=\"Form\">\n"
    "<Properties>\n"
    "<Property Type=\"8\" Name=\"Name\" Value=\"Form\"/>\n"
    "<Property Type=\"8\" Name=\"HtmlId\" Value=\"\"/>\n"
    "</Properties>\n"
    "</Obj>\n";

TEST_F(Contents, WholeTreeWithPropertiesAndTheActiveElement) {
  const std::string expected =
      "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\">\n"
      "<Properties>\n"
      "<Property Type=\"8\" Name=\"Name\" Value=\"Norvik CRM\"/>\n"
      "<Property Type=\"8\" Name=\"HtmlId\" Value=\"s_0\"/>\n"
      "</Properties>\n"
      "<Obj ClassName=\"NorvView\" RepositoryName=\"Accounts &amp; &lt;Co&gt;\" ActiveElement=\"true\">\n";
  EXPECT_EQ(Objects(1, OLESTR("Norvik|Accounts & <Co>")), expected + kViewContents + "</Obj>\n</Obj>\n");
}

TEST_F(Contents, ModeZeroStartsAtTheNamedObject) {
  EXPECT_EQ(Objects(0, OLESTR("norvik|accounts & <co>")),
            std::string("<Obj ClassName=\"NorvView\" RepositoryName=\"Accounts &amp; &lt;Co&gt;\">\n") + kViewContents +
                "</Obj>\n")
      << "a key that differs in letter case marks nothing";
}

// An item list whose count and active item the contents leave unread.
class ItemList : public TestAutomation {
 public:
  using TestAutomation::TestAutomation;
  bool OmitsItemStateFromContents() const override { return m_strClassName == OLESTR("NorvPicklist"); }
};

TEST_F(Contents, ListLikeClassesDoNotReadCountOrActiveItem) {
  FakeHostObject* host = new FakeHostObject(OBJTYPE_CONTROL, OLESTR("Status"));
  host->SetProperty(OLESTR("NumItems"), 12);
  host->SetProperty(OLESTR("Current"), OLESTR("Open"));
  for (const OLECHAR* className : {OLESTR("NorvPicklist"), OLESTR("NorvText")}) {
    ItemList object(OLESTR("Status"), nullptr, className, host);
    object.AddPropertyMapping(OLESTR("Count"), VT_I4, OLESTR("NumItems"), VT_I4, TRXPROP_HOST, OLESTR("count"));
    object.AddPropertyMapping(OLESTR("ActiveItem"), VT_BSTR, OLESTR("Current"), VT_BSTR, TRXPROP_HOST,
                              OLESTR("active"));
    TrxString text;
    CNVTRXXmlWriter writer(text);
    object.OutputActiveScreenXMLContents(1, OLESTR(""), writer, true);
    const std::string xml = TrxNarrow(text);
    if (TrxString(className) == OLESTR("NorvPicklist")) {
      EXPECT_NE(xml.find("<Property Type=\"3\" Name=\"Count\" Value=\"0\"/>"), std::string::npos) << xml;
      EXPECT_NE(xml.find("<Property Type=\"8\" Name=\"ActiveItem\" Value=\"\"/>"), std::string::npos) << xml;
    } else {
      EXPECT_NE(xml.find("Name=\"Count\" Value=\"12\""), std::string::npos) << xml;
      EXPECT_NE(xml.find("Name=\"ActiveItem\" Value=\"Open\""), std::string::npos) << xml;
    }
  }
  host->Release();
}

// The service writes the document into memory; a file is written the same way.
TEST(CNVTRXXmlWriter, EverySpecialCharacterOfAnAttributeIsEscapedAndUnclosedElementsAreEnded) {
  TrxString memory;
  {
    CNVTRXXmlWriter writer(memory);
    writer.WriteHeader();
    writer.StartElement(OLESTR("a"));
    writer.WriteAttribute(OLESTR("v"), OLESTR("<&>\"'"));
    writer.StartElement(OLESTR("c"));
    writer.EndElement();
  }
  EXPECT_EQ(TrxNarrow(memory),
            "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<a v=\"&lt;&amp;&gt;&quot;&apos;\">\n<c/>\n</a>\n");
}

}  // namespace
