// Loading descriptions: the sample, and files that are not valid, with the
// place and reason the error names.
#include <gtest/gtest.h>

#include "nvsimtestsupport.h"

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

  std::vector<std::string> screens;
  for (const CNVSimScreenDef& screen : description->GetScreens())
    screens.push_back(NVSimText(screen.name) + "=" + NVSimText(screen.displayName));
  EXPECT_EQ(screens, (std::vector<std::string>{"Accounts Screen=Accounts", "Contacts Screen=Contacts",
                                               "Opportunities Screen=Opportunities", "Activities Screen=Activities"}));
  EXPECT_EQ(description->GetStartScreen(), 0);

  struct Case {
    const char16_t* path;
    AUTO_OBJECTTYPE type;
  } cases[] = {
      {u"", OBJTYPE_APPLICATION},
      {u"Screen", OBJTYPE_NAVCONTROL},
      {u"ThreadBar", OBJTYPE_THREADBAR},
      {u"HIMain", OBJTYPE_TOOLBAR},
      {u"Accounts Screen/Account List View", OBJTYPE_VIEW},
      {u"Accounts Screen/Account List View/Account List Applet/NorvList", OBJTYPE_LISTCONTROL},
      {u"/Accounts Screen/Account List View/Account Form Applet/Key Account", OBJTYPE_CONTROL},
      {u"Opportunities Screen/Opportunity List View/Opportunity Form Applet/Revenue/Amount", OBJTYPE_SUBCONTROL},
      {u"#account-list", OBJTYPE_LISTCONTROL},
      {u"Contacts Screen/NorvPDQ", OBJTYPE_CONTROL},
  };
  for (const Case& c : cases) {
    const LONG index = description->FindObject(c.path);
    ASSERT_GE(index, 0) << NVSimText(c.path);
    EXPECT_EQ(description->GetObject(index).type, c.type) << NVSimText(c.path);
  }
  EXPECT_LT(description->FindObject(u"Accounts Screen/No Such View"), 0);
  EXPECT_LT(description->FindObject(u"#no-such-id"), 0);
}

TEST(NVSimDescription, InvalidDescriptionsNameTheLineAndTheProblem) {
  struct Case {
    const char* name;
    std::string text;
    LONG line;
    const char* message;  // a part of the message
  } cases[] = {
      {"unclosed element", "<application name=\"A\">\n  <screen name=\"S\">\n</application>\n", 3,
       "not well-formed XML: end tag </application> does not match <screen> of line 2"},
      {"unterminated comment", "<application name=\"A\">\n<!-- note\n</application>\n", 2, "unterminated comment"},
      {"wrong document element", "<client name=\"A\"/>\n", 1, "the document element must be <application>"},
      {"unknown element", App("  <objet type=\"MENU\" name=\"M\"/>\n"), 5,
       "<objet> is not allowed inside <application>"},
      {"unknown object type", App("  <object type=\"MENUE\" name=\"M\"/>\n"), 5, "unknown object type \"MENUE\""},
      {"missing name", App("  <object type=\"MENU\"/>\n"), 5, "attribute name is missing"},
      {"unknown attribute", App("  <object type=\"MENU\" name=\"M\" colour=\"red\"/>\n"), 5,
       "unknown attribute colour"},
      {"bad integer", App("  <property name=\"Count\" type=\"int\">12x</property>\n"), 5,
       "\"12x\" is not a 32-bit integer"},
      {"bad boolean", App("  <property name=\"On\" type=\"bool\" value=\"maybe\"/>\n"), 5, "is not a boolean"},
      {"unknown property type", App("  <property name=\"P\" type=\"float\"/>\n"), 5, "unknown property type \"float\""},
      {"view outside a screen", App("  <object type=\"VIEW\" name=\"V\"/>\n"), 5,
       "a VIEW object belongs directly inside a <screen>"},
      {"screen without a view", App("  <screen name=\"Empty\"/>\n"), 5, "the screen has no VIEW object"},
      {"default view elsewhere",
       App("  <screen name=\"Other\" defaultView=\"Home View\">\n    <object type=\"VIEW\" name=\"Other View\"/>\n"
           "  </screen>\n"),
       5, "defaultView names no view of this screen: \"Home View\""},
      {"unknown start screen", "<application name=\"A\" startScreen=\"Nowhere\">\n</application>\n", 1,
       "startScreen names no screen"},
      {"second id",
       App("  <object type=\"MENU\" name=\"M\" id=\"x\"/>\n  <object type=\"TOOLBAR\" name=\"T\" id=\"x\"/>\n"), 6,
       "a second object with id \"x\""},
      {"second sibling", App("  <object type=\"MENU\" name=\"M\"/>\n  <object type=\"MENU\" name=\"M\"/>\n"), 6,
       "a second MENU named \"M\""},
      {"property twice", App("  <property name=\"P\">a</property>\n  <property name=\"P\">b</property>\n"), 6,
       "property \"P\" is given twice"},
      {"unknown request", App("  <on request=\"SETVALU\"/>\n"), 5, "unknown request \"SETVALU\""},
      {"unknown action", App("  <on request=\"SETVALUE\">\n    <assign property=\"P\" value=\"1\"/>\n  </on>\n"), 6,
       "unknown action <assign>"},
      {"unknown placeholder",
       App("  <on request=\"SETVALUE\">\n    <set property=\"P\" value=\"{argument}\"/>\n  </on>\n"), 6,
       "unknown placeholder {argument}"},
      {"target of no object",
       App("  <on request=\"SETVALUE\">\n    <set target=\"#nope\" property=\"P\" value=\"1\"/>\n  </on>\n"), 6,
       "target names no object: \"#nope\""},
      {"screen of no screen",
       App("  <on request=\"NAVCONTROL_GOTOSCREEN\">\n    <goto-screen screen=\"Sales\"/>\n  </on>\n"), 6,
       "screen names no screen: \"Sales\""},
      {"view of no view",
       App("  <on request=\"NAVCONTROL_GOTOVIEW\">\n    <goto-view view=\"Sales View\"/>\n  </on>\n"), 6,
       "view names no view: \"Sales View\""},
      {"general rule of no object", App("  <rules>\n    <on request=\"SETVALUE\" object=\"Nothing\"/>\n  </rules>\n"),
       6, "object names no object: \"Nothing\""},
      {"object filter on an object's rule", App("  <on request=\"SETVALUE\" objectType=\"CONTROL\"/>\n"), 5,
       "unknown attribute objectType"},
      {"items in a string", App("  <property name=\"P\"><item>a</item></property>\n"), 5,
       "<item> is not allowed inside <property>"},
      {"typed item outside variants",
       App("  <property name=\"P\" type=\"strings\"><item type=\"int\">1</item></property>\n"), 5,
       "only the items of a variants list have a type"},
      {"failure that is a success", App("  <property name=\"P\" fail=\"S_OK\"/>\n"), 5,
       "attribute fail must be a failure status"},
      {"text in an object", App("  <object type=\"MENU\" name=\"M\">File</object>\n"), 5,
       "text is not allowed inside <object>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CNVSimLoadError error = NVSimLoadErrorOf(c.text);
    EXPECT_EQ(error.line, c.line) << NVSimText(error.ToText());
    EXPECT_NE(NVSimText(error.message).find(c.message), std::string::npos) << NVSimText(error.ToText());
    EXPECT_EQ(NVSimText(error.file), "test.xml");
  }
}

TEST(NVSimDescription, TheErrorTextNamesFileLineAndElement) {
  CNVSimLoadError error = NVSimLoadErrorOf(App("  <object type=\"MENUE\" name=\"File\"/>\n"));
  EXPECT_EQ(NVSimText(error.ToText()),
            "test.xml:5: unknown object type \"MENUE\" (in <object type=\"MENUE\" name=\"File\">)");
}

TEST(NVSimDescription, AFileThatCannotBeReadIsNamedInTheError) {
  CNVSimLoadError error;
  EXPECT_FALSE(CNVSimDescription::LoadFile(u"/nonexistent/dir/crm.xml", error));
  EXPECT_EQ(NVSimText(error.file), "/nonexistent/dir/crm.xml");
  EXPECT_NE(NVSimText(error.ToText()).find("/nonexistent/dir/crm.xml: cannot read the file"), std::string::npos)
      << NVSimText(error.ToText());
}

TEST(NVSimDescription, FilesInUtf16AndUtf8WithByteOrderMarksLoad) {
  OLECHAR directory[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, directory), 0u);
  const std::string text = App("  <object type=\"MENU\" name=\"Menü\"/>\n");
  const TrxString wide = TrxWiden(text);
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
  } cases[2];
  cases[0].name = "utf-16";
  cases[0].bytes = {0xFF, 0xFE};
  for (OLECHAR c : wide) {
    cases[0].bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    cases[0].bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  cases[1].name = "utf-8";
  cases[1].bytes = {0xEF, 0xBB, 0xBF};
  cases[1].bytes.insert(cases[1].bytes.end(), text.begin(), text.end());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TrxString path = TrxString(directory) + u"nvsim_bom_" + TrxWiden(c.name) + u".xml";
    {
      TrxHandle file(
          CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(file);
      DWORD written = 0;
      ASSERT_TRUE(WriteFile(file.Get(), c.bytes.data(), static_cast<DWORD>(c.bytes.size()), &written, nullptr));
    }
    CNVSimLoadError error;
    auto description = CNVSimDescription::LoadFile(path, error);
    DeleteFileW(path.c_str());
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

  struct Case {
    const char16_t* text;
    bool ok;
    HRESULT status;
  } cases[] = {
      {u"S_OK", true, S_OK},
      {u"E_FAIL", true, E_FAIL},
      {u"NVSIM_E_REQUEST_FAILED", true, TRX_HR(0x8004000C)},
      {u"0x80070057", true, E_INVALIDARG},
      {u"-2147467259", true, E_FAIL},
      {u"0xZZ", false, S_OK},
      {u"E_MAYBE", false, S_OK},
  };
  for (const Case& c : cases) {
    HRESULT status = S_OK;
    EXPECT_EQ(CNVSimDescription::ParseStatus(c.text, status), c.ok) << NVSimText(c.text);
    if (c.ok) {
      EXPECT_EQ(status, c.status) << NVSimText(c.text);
    }
  }
}

}  // namespace
