// Loading descriptions: the sample, and files that are not valid, with the
// place and reason the error names.
#include <gtest/gtest.h>

#include <fstream>

#include "nvsimtestsupport.h"
#include "support/trxtestlog.h"

namespace {

// A description around a body written inside <application>.
std::string App(const std::string& body) {
  return "<application name=\"Test\">\n"
         "  <screen name=\"Home Screen\">\n"
         "    <object type=\"VIEW\" name=\"Home View\"/>\n"
         "  </screen>\n" +
         body + "</application>\n";
}

TEST(NVSimDescription, TheSampleLoadsWithItsScreensViewsAndObjects) {
  CNVSimLoadError error;
  auto description = CNVSimDescription::LoadFile(NVSimSamplePath(), error);
  ASSERT_TRUE(description) << NVSimText(error.ToText());
  EXPECT_EQ(description->GetStartScreen(), 0);
  // clang-format off
  const struct { const char16_t* path; AUTO_OBJECTTYPE type; } cases[] = {
      {u"", OBJTYPE_APPLICATION}, {u"Screen", OBJTYPE_NAVCONTROL}, {u"Accounts Screen/Account List View", OBJTYPE_VIEW},
      {u"/Accounts Screen/Account List View/Account Form Applet/Key Account", OBJTYPE_CONTROL},
      {u"Opportunities Screen/Opportunity List View/Opportunity Form Applet/Revenue/Amount", OBJTYPE_SUBCONTROL},
      {u"#account-list", OBJTYPE_LISTCONTROL}, {u"Contacts Screen/NorvPDQ", OBJTYPE_CONTROL},
  };
  // clang-format on
  for (const auto& c : cases) {
    const LONG index = description->FindObject(c.path);
    ASSERT_GE(index, 0) << NVSimText(c.path);
    EXPECT_EQ(description->GetObject(index).type, c.type) << NVSimText(c.path);
  }
  EXPECT_LT(description->FindObject(u"Accounts Screen/No Such View"), 0);
  EXPECT_LT(description->FindObject(u"#no-such-id"), 0);
}

TEST(NVSimDescription, InvalidDescriptionsNameTheLineAndTheProblem) {
  // Each description is App(body) (its line 5 is the body's first line) unless written out.
  // clang-format off
  const struct { std::string text; LONG line; const char* message; } cases[] = {
      {"<application name=\"A\">\n  <screen name=\"S\">\n</application>\n", 3, "not well-formed XML: end tag </application> does not match <screen> of line 2"},
      {"<application name=\"A\">\n<!-- note\n</application>\n", 2, "unterminated comment"},
      {"<client name=\"A\"/>\n", 1, "the document element must be <application>"},
      {"<application name=\"A\" startScreen=\"Nowhere\">\n</application>\n", 1, "startScreen names no screen"},
      {App("  <objet type=\"MENU\" name=\"M\"/>\n"), 5, "<objet> is not allowed inside <application>"},
      {App("  <object type=\"MENUE\" name=\"M\"/>\n"), 5, "unknown object type \"MENUE\""},
      {App("  <object type=\"MENU\"/>\n"), 5, "attribute name is missing"},
      {App("  <object type=\"MENU\" name=\"M\" colour=\"red\"/>\n"), 5, "unknown attribute colour"},
      {App("  <property name=\"Count\" type=\"int\">12x</property>\n"), 5, "\"12x\" is not a 32-bit integer"},
      {App("  <property name=\"On\" type=\"bool\" value=\"maybe\"/>\n"), 5, "is not a boolean"},
      {App("  <property name=\"P\" type=\"float\"/>\n"), 5, "unknown property type \"float\""},
      {App("  <object type=\"VIEW\" name=\"V\"/>\n"), 5, "a VIEW object belongs directly inside a <screen>"},
      {App("  <screen name=\"Empty\"/>\n"), 5, "the screen has no VIEW object"},
      {App("  <screen name=\"Other\" defaultView=\"Home View\">\n    <object type=\"VIEW\" name=\"Other View\"/>\n  </screen>\n"), 5, "defaultView names no view of this screen: \"Home View\""},
      {App("  <object type=\"MENU\" name=\"M\" id=\"x\"/>\n  <object type=\"TOOLBAR\" name=\"T\" id=\"x\"/>\n"), 6, "a second object with id \"x\""},
      {App("  <object type=\"MENU\" name=\"M\"/>\n  <object type=\"MENU\" name=\"M\"/>\n"), 6, "a second MENU named \"M\""},
      {App("  <property name=\"P\">a</property>\n  <property name=\"P\">b</property>\n"), 6, "property \"P\" is given twice"},
      {App("  <on request=\"SETVALU\"/>\n"), 5, "unknown request \"SETVALU\""},
      {App("  <on request=\"SETVALUE\" arg=\"a\" arg0=\"b\"/>\n"), 5, "argument 0 is given as both arg and arg0"},
      {App("  <on request=\"SETVALUE\">\n    <assign property=\"P\" value=\"1\"/>\n  </on>\n"), 6, "unknown action <assign>"},
      {App("  <on request=\"SETVALUE\">\n    <set property=\"P\" value=\"{argument}\"/>\n  </on>\n"), 6, "unknown placeholder {argument}"},
      {App("  <on request=\"SETVALUE\">\n    <set target=\"#nope\" property=\"P\" value=\"1\"/>\n  </on>\n"), 6, "target names no object: \"#nope\""},
      {App("  <on request=\"NAVCONTROL_GOTOSCREEN\">\n    <goto-screen screen=\"Sales\"/>\n  </on>\n"), 6, "screen names no screen: \"Sales\""},
      {App("  <on request=\"NAVCONTROL_GOTOVIEW\">\n    <goto-view view=\"Sales View\"/>\n  </on>\n"), 6, "view names no view: \"Sales View\""},
      {App("  <rules>\n    <on request=\"SETVALUE\" object=\"Nothing\"/>\n  </rules>\n"), 6, "object names no object: \"Nothing\""},
      {App("  <on request=\"SETVALUE\" objectType=\"CONTROL\"/>\n"), 5, "unknown attribute objectType"},
      {App("  <property name=\"P\"><item>a</item></property>\n"), 5, "<item> is not allowed inside <property>"},
      {App("  <property name=\"P\" type=\"strings\"><item type=\"int\">1</item></property>\n"), 5, "only the items of a variants list have a type"},
      {App("  <property name=\"P\" fail=\"S_OK\"/>\n"), 5, "attribute fail must be a failure status"},
      {App("  <object type=\"MENU\" name=\"M\">File</object>\n"), 5, "text is not allowed inside <object>"},
      {App("  <object type=\"MENU\" name=\"M\"><list/></object>\n"), 5, "a <list> belongs inside a LISTCONTROL object"},
      {App("  <object type=\"LISTCONTROL\" name=\"L\"><list/></object>\n"), 5, "the list has no column"},
      {App("  <object type=\"LISTCONTROL\" name=\"L\"><list>\n<column name=\"A\"/><row value=\"a|b\"/></list></object>\n"), 6, "the row has 2 cells for 1 columns"},
      {App("  <object type=\"LISTCONTROL\" name=\"L\"><list>\n<column name=\"A\"/><row level=\"1\" value=\"a\"/></list></object>\n"), 6, "a row's level is at most one more"},
      {App("  <object type=\"LISTCONTROL\" name=\"L\"><list>\n<column name=\"A\" drillDown=\"Nowhere\"/></list></object>\n"), 6, "view names no view: \"Nowhere\""},
  };
  // clang-format on
  for (const auto& c : cases) {
    const CNVSimLoadError error = NVSimLoadErrorOf(c.text);
    EXPECT_EQ(error.line, c.line) << NVSimText(error.ToText());
    EXPECT_NE(NVSimText(error.message).find(c.message), std::string::npos) << NVSimText(error.ToText());
    EXPECT_EQ(NVSimText(error.file), "test.xml");
  }
}

TEST(NVSimDescription, TheErrorTextNamesFileLineAndElementAndUnreadableFiles) {
  EXPECT_EQ(NVSimText(NVSimLoadErrorOf(App("  <object type=\"MENUE\" name=\"File\"/>\n")).ToText()),
            "test.xml:5: unknown object type \"MENUE\" (in <object type=\"MENUE\" name=\"File\">)");
  CNVSimLoadError error;
  EXPECT_FALSE(CNVSimDescription::LoadFile(u"/nonexistent/dir/crm.xml", error));
  EXPECT_EQ(NVSimText(error.file), "/nonexistent/dir/crm.xml");
  EXPECT_NE(NVSimText(error.ToText()).find("/nonexistent/dir/crm.xml: cannot read the file"), std::string::npos)
      << NVSimText(error.ToText());
}

TEST(NVSimDescription, FilesInUtf16AndUtf8WithByteOrderMarksLoad) {
  const std::string text = App("  <object type=\"MENU\" name=\"Menü\"/>\n");
  std::string utf16 = "\xFF\xFE";
  for (OLECHAR c : TrxWiden(text)) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  for (const std::string& bytes : {utf16, "\xEF\xBB\xBF" + text}) {
    TrxTempFile file("description");
    std::ofstream(file.Path(), std::ios::binary) << bytes;
    CNVSimLoadError error;
    auto description = CNVSimDescription::LoadFile(file.Wide(), error);
    ASSERT_TRUE(description) << NVSimText(error.ToText());
    EXPECT_GE(description->FindObject(u"Menü"), 0);
  }
}

TEST(NVSimDescription, PathsEscapeSlashesAndStatusesReadNamesAndNumbers) {
  std::vector<TrxString> segments;
  ASSERT_TRUE(CNVSimDescription::SplitPath(u"/A\\/B/C\\\\D", segments));
  EXPECT_EQ(segments, (std::vector<TrxString>{u"A/B", u"C\\D"}));
  EXPECT_EQ(CNVSimDescription::EscapeSegment(u"A/B\\C"), u"A\\/B\\\\C");
  EXPECT_FALSE(CNVSimDescription::SplitPath(u"A\\", segments));
  CNVSimLoadError error;
  auto description =
      CNVSimDescription::LoadText(TrxWiden(App("  <object type=\"MENU\" name=\"Save/Close\"/>\n")), u"t", error);
  ASSERT_TRUE(description);
  EXPECT_GE(description->FindObject(u"Save\\/Close"), 0);
  // clang-format off
  const struct { const char16_t* text; bool ok; HRESULT status; } cases[] = {
      {u"S_OK", true, S_OK}, {u"E_FAIL", true, E_FAIL}, {u"NVSIM_E_REQUEST_FAILED", true, TRX_HR(0x8004000C)},
      {u"0x80070057", true, E_INVALIDARG}, {u"-2147467259", true, E_FAIL}, {u"0xZZ", false, S_OK},
      {u"E_MAYBE", false, S_OK},
  };
  // clang-format on
  for (const auto& c : cases) {
    HRESULT status = S_OK;
    EXPECT_EQ(CNVSimDescription::ParseStatus(c.text, status), c.ok) << NVSimText(c.text);
    EXPECT_EQ(status, c.status) << NVSimText(c.text);
  }
}

}  // namespace
