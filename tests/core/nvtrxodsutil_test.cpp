// Object descriptor strings: parsing, checking, the walk to the innermost
// element, reading names, and composing descriptors that load back.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "descriptors/nvtrxodsutil.h"
#include "log/nvtrxresult.h"
#include "support/trxtestlog.h"

namespace {

using Chain = std::vector<std::pair<TrxString, TrxString>>;

const char kApp[] = "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>";
const char kFourLevels[] =
    "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NorvScreen\" RepositoryName=\"S\">"
    "<Obj ClassName=\"NorvView\" RepositoryName=\"V\"><Obj ClassName=\"NorvApplet\" RepositoryName=\"A\"/></Obj>"
    "</Obj></Obj>";

TrxString W(const std::string& text) { return TrxWiden(text); }
std::string N(const TrxString& text) { return TrxNarrow(text); }

// (class name, repository name) of each level from `top` down.
Chain ReadChain(CNVTRXXmlNode node) {
  Chain chain;
  while (node) {
    TrxString className, repositoryName;
    EXPECT_EQ(GetODSClassName(node, className), TRX_OK);
    EXPECT_EQ(GetODSRepositoryName(node, repositoryName), TRX_OK);
    chain.emplace_back(className, repositoryName);
    node = node.GetFirstChild();
  }
  return chain;
}

class Descriptor : public TrxLogTest {
 protected:
  // A last error that every traced call must clear on entry.
  void Stale() { m_lastError.Set(-1019, OLESTR("stale")); }
  // GetLeafNode of a text that does not get through parsing or validation:
  // the code and last error of the step that failed, and no node.
  void ExpectNoLeaf(const std::string& text, LONG code, const std::string& lastText) {
    Stale();
    CNVTRXXmlNode leaf = CNVTRXXmlDocument().CreateElement(OLESTR("previous"));
    EXPECT_EQ(GetLeafNode(W(text), &leaf), code) << text;
    EXPECT_TRUE(leaf.IsNull()) << text;
    EXPECT_EQ(LastText(), lastText) << text;
  }
};

// ---- ParseODS, ValidateODS and GetLeafNode ------------------------------------------

TEST_F(Descriptor, ParseOutcomes) {
  struct Case {
    const char* text;
    LONG code;
    const char* lastText;  // "" when nothing is reported
  };
  // clang-format off
  const Case cases[] = {
      {"", TRX_OK, ""},
      {kApp, TRX_OK, ""},
      {"<anything/>", TRX_OK, ""},  // parsing does not look at names
      {"<Obj ClassName=\"A\" RepositoryName=\"B\">", -11, "LoadXML for ODS failed. ODS is not in valid XML format! ErrorCode: -11"},
      {"<?xml version=\"1.0\"?><Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>", -11, "Too many child elements to the <Obj> node ErrorCode: -11"},
  };
  // clang-format on
  for (const Case& c : cases) {
    Stale();
    CNVTRXXmlNode node = CNVTRXXmlDocument().CreateElement(OLESTR("previous"));
    EXPECT_EQ(ParseODS(W(c.text), &node), c.code) << c.text;
    EXPECT_EQ(LastCode(), std::string(c.lastText).empty() ? 0 : c.code) << c.text;
    EXPECT_EQ(LastText(), c.lastText) << c.text;
    const bool expectNode = c.code == TRX_OK && c.text[0] != '\0';
    EXPECT_EQ(!node.IsNull(), expectNode) << c.text;
    if (expectNode) {
      EXPECT_EQ(node.GetType(), TRXXML_ELEMENT) << c.text;
      EXPECT_EQ(node.GetParent().GetType(), TRXXML_DOCUMENT) << c.text;
    } else {
      ExpectNoLeaf(c.text, c.code, c.lastText);  // an empty text is no descriptor, not an error
    }
  }
}

TEST_F(Descriptor, ValidationOutcomesAndTheLeafOfAValidChain) {
  const std::string tooMany = "Too many child elements to the <Obj> node ErrorCode: -11";
  const std::string missing = "Missing required ODS attribute \"ClassName\" or \"Repository\" ErrorCode: -11";
  struct Case {
    std::string text;
    LONG code;
    bool valid;
    std::string lastText;  // "" when nothing is reported
  };
  // clang-format off
  const Case cases[] = {
      {kApp, TRX_OK, true, ""},
      {kFourLevels, TRX_OK, true, ""},
      {"<obj classname=\"NorvList\" repositoryname=\"Top\"><obj classname=\"NorvText\" repositoryname=\"Inner\"/></obj>", TRX_OK, true, ""},
      {"<Obj ClassName=\"\" RepositoryName=\"\"/>", TRX_OK, true, ""},
      // Attribute names: swapped or wrong, not reported.
      {"<Obj RepositoryName=\"Norvik\" ClassName=\"NorvApplication\"/>", -11, false, ""},
      {"<Obj Class=\"NorvApplication\" RepositoryName=\"Norvik\"/>", -11, false, ""},
      {"<Obj ClassName=\"A\" Repository=\"B\"/>", -11, false, ""},
      // Element names.
      {"<Object ClassName=\"A\" RepositoryName=\"B\"/>", -11, false, "Invalid node name encountered: \"Object\" ErrorCode: -11"},
      {"<Obj ClassName=\"A\" RepositoryName=\"B\"><Child ClassName=\"C\" RepositoryName=\"D\"/></Obj>", -11, false, "Invalid node name encountered: \"Child\" ErrorCode: -11"},
      {"<Obj ClassName=\"A\" RepositoryName=\"B\">text</Obj>", -11, false, "Invalid node name encountered: \"#text\" ErrorCode: -11"},
      // Attribute counts.
      {"<Obj ClassName=\"NorvApplication\"/>", -11, false, missing},
      {"<Obj ClassName=\"A\" RepositoryName=\"B\" Extra=\"C\"/>", -11, false, missing},
      {"<Obj ClassName=\"A\" RepositoryName=\"B\"><?Obj data?></Obj>", -11, false, missing},
      // Children. The element with two children has matched its names, so
      // `valid` stays as that level set it.
      {"<Obj ClassName=\"A\" RepositoryName=\"B\"><Obj ClassName=\"C\" RepositoryName=\"D\"/><Obj ClassName=\"E\" RepositoryName=\"F\"/></Obj>", -11, true, tooMany},
      {"<Obj ClassName=\"A\" RepositoryName=\"B\"><Obj ClassName=\"C\" RepositoryName=\"D\"/>x</Obj>", -11, true, tooMany},
  };
  // clang-format on
  for (const Case& c : cases) {
    CNVTRXXmlNode top;
    ASSERT_EQ(ParseODS(W(c.text), &top), TRX_OK) << c.text;
    Stale();
    const size_t queued = CNVTRXLog::GetQueueLength();
    bool valid = !c.valid;
    EXPECT_EQ(ValidateODS(top, valid), c.code) << c.text;
    EXPECT_EQ(valid, c.valid) << c.text;
    EXPECT_EQ(LastText(), c.lastText) << c.text;
    EXPECT_EQ(LastCode(), c.lastText.empty() ? 0 : -11) << c.text;
    if (c.lastText.empty()) {
      EXPECT_EQ(CNVTRXLog::GetQueueLength(), queued) << "nothing reported: " << c.text;
    }
    if (c.code != TRX_OK) {
      ExpectNoLeaf(c.text, c.code, c.lastText);
      continue;
    }
    Stale();
    // The leaf is the innermost element, inside the whole chain.
    CNVTRXXmlNode leaf, innermost = top, outermost;
    ASSERT_EQ(GetLeafNode(W(c.text), &leaf), TRX_OK) << c.text;
    EXPECT_EQ(LastCode(), 0);
    while (innermost.GetFirstChild()) innermost = innermost.GetFirstChild();
    EXPECT_EQ(N(leaf.GetXml()), N(innermost.GetXml())) << c.text;
    for (outermost = leaf; outermost.GetParent().GetType() == TRXXML_ELEMENT;) outermost = outermost.GetParent();
    EXPECT_EQ(N(outermost.GetXml()), N(top.GetXml())) << c.text;
  }
}

TEST_F(Descriptor, MissingArgumentsAreReported) {
  EXPECT_EQ(ParseODS(W(kApp), nullptr), -12);
  EXPECT_EQ(LastCode(), -12);
  EXPECT_EQ(LastText(), "The second argument IXMLDOMNode** ppNode is NULL ErrorCode: -12");
  EXPECT_EQ(GetLeafNode(W(kApp), nullptr), -12);
  EXPECT_EQ(LastText(), "The second argument IXMLDOMNode** ppNode is NULL ErrorCode: -12");
  bool valid = true;
  EXPECT_EQ(ValidateODS(CNVTRXXmlNode(), valid), -11);
  EXPECT_FALSE(valid);
  EXPECT_EQ(LastText(), "Invalid node  ErrorCode: -11");
}

// ---- names -------------------------------------------------------------------------

TEST_F(Descriptor, NamesAreReadByPositionWhateverTheAttributesAreCalled) {
  CNVTRXXmlDocument document;
  ASSERT_TRUE(document.LoadXml(OLESTR("<Obj RepositoryName=\"first\" ClassName=\"second\"/>")));
  TrxString className, repositoryName;
  EXPECT_EQ(GetODSClassName(document.GetDocumentElement(), className), TRX_OK);
  EXPECT_EQ(GetODSRepositoryName(document.GetDocumentElement(), repositoryName), TRX_OK);
  EXPECT_EQ(className, OLESTR("first"));
  EXPECT_EQ(repositoryName, OLESTR("second"));
}

// ---- composing ---------------------------------------------------------------------

TEST_F(Descriptor, ComposedDescriptorsHaveTheDomsForm) {
  Stale();
  EXPECT_EQ(TrxComposeODS({}), OLESTR(""));
  EXPECT_EQ(N(TrxComposeODS({{OLESTR("NorvApplication"), OLESTR("Norvik")}})), kApp);
  EXPECT_EQ(N(TrxComposeODS(
                {{OLESTR("NorvApplication"), OLESTR("Norvik")}, {OLESTR("NorvText"), OLESTR("a\"b<c>&d'e\tf\ng")}})),
            "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NorvText\" "
            "RepositoryName=\"a&quot;b&lt;c&gt;&amp;d'e&#9;f&#10;g\"/></Obj>");
  EXPECT_EQ(LastCode(), -1019) << "composing leaves the last error of the call alone";
}

TEST_F(Descriptor, ComposedDescriptorsWithAwkwardNamesLoadBackUnchanged) {
  TrxString controls;
  for (OLECHAR c = 1; c < 0x20; ++c) controls.push_back(c);
  // The XML seam's own tests write every kind of awkward text; these are
  // the ones that look like descriptors or their escapes.
  const std::vector<TrxString> names = {
      OLESTR(""),
      OLESTR("it's \"quoted\""),
      OLESTR("<Obj ClassName=\"x\"/>"),
      OLESTR("R&D &amp;"),
      OLESTR("cr\rlf\r\n  padded  "),
      controls,
  };
  for (const TrxString& name : names) {
    const Chain chain = {{OLESTR("NorvApplication"), OLESTR("Norvik")},
                         {name, name},
                         {OLESTR("NorvList"), name + OLESTR("!")},
                         {OLESTR("NorvText"), OLESTR("x") + name}};
    const TrxString text = TrxComposeODS(chain);
    CNVTRXXmlNode top;
    ASSERT_EQ(ParseODS(text, &top), TRX_OK) << N(text);
    bool valid = false;
    ASSERT_EQ(ValidateODS(top, valid), TRX_OK) << N(text);
    EXPECT_TRUE(valid);
    EXPECT_EQ(ReadChain(top), chain) << N(text);
    CNVTRXXmlNode leaf;
    ASSERT_EQ(GetLeafNode(text, &leaf), TRX_OK);
    TrxString repositoryName;
    GetODSRepositoryName(leaf, repositoryName);
    EXPECT_EQ(repositoryName, OLESTR("x") + name);
    EXPECT_EQ(TrxComposeODS(ReadChain(top)), text) << "composing what was read gives the same text";
  }
}

}  // namespace
