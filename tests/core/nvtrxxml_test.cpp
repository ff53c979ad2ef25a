// The XML DOM: loading and refusing texts, reading nodes and attributes,
// building trees, serialising them and selecting nodes with XPath.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "descriptors/nvtrxxml.h"

namespace {

std::string N(const TrxString& text) { return TrxNarrow(text); }
TrxString W(const std::string& text) { return TrxWiden(text); }

CNVTRXXmlDocument Loaded(const std::string& text) {
  CNVTRXXmlDocument document;
  EXPECT_TRUE(document.LoadXml(W(text))) << text;
  return document;
}

// A subtree as text: each node's name (after "?" for a processing
// instruction), its value in quotes when it has one, and its children in
// brackets.
std::string Tree(const CNVTRXXmlNode& node) {
  std::string text = (node.GetType() == TRXXML_PROCESSING_INSTRUCTION ? "?" : "") + N(node.GetName());
  if (!node.GetValue().empty()) text += "'" + N(node.GetValue()) + "'";
  if (node.GetChildCount() == 0) return text;
  for (LONG i = 0; i < node.GetChildCount(); ++i) text += (i ? " " : "[") + Tree(node.GetChild(i));
  return text + "]";
}

// ---- loading ------------------------------------------------------------------------

TEST(CNVTRXXmlLoad, AcceptsWellFormedTextsAndRefusesTheRest) {
  struct Case {
    TrxString text;
    bool loads;
  };
  const Case cases[] = {
      {OLESTR("<a/>"), true},
      {OLESTR("<Zz9/>"), true},  // the last letters of both cases and the last digit
      {OLESTR("  \r\n\t<a/>\n "), true},
      {OLESTR("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n<a/>"), true},
      {OLESTR("<!-- c --><?pi data?><a/><!--after-->"), true},
      {OLESTR("<a xml:lang=\"en\"/>"), true},
      {OLESTR("<a x=\"&#1;&#31;\"/>"), true},  // what GetXml writes for control characters
      // Not XML at all, or not a single element.
      {OLESTR(""), false},
      {OLESTR("   "), false},
      {OLESTR("text"), false},
      {OLESTR("<a>"), false},
      {OLESTR("<a></b>"), false},
      {OLESTR("<a/><b/>"), false},
      {OLESTR("text<a/>"), false},
      {OLESTR("<a/>text"), false},
      {OLESTR("<![CDATA[x]]><a/>"), false},
      {OLESTR("<?xml version=\"1.0\"?>"), false},
      {OLESTR("<!-- only a comment -->"), false},
      // Attributes.
      {OLESTR("<a x=\"1\" x=\"2\"/>"), false},
      {OLESTR("<a x=\"<\"/>"), false},
      {OLESTR("<a x=\"1\"y=\"2\"/>"), false},
      {OLESTR("<a x/>"), false},
      {OLESTR("<a $x=\"1\"/>"), false},
      // References.
      {OLESTR("<a>&foo;</a>"), false},
      {OLESTR("<a x=\"&amp\"/>"), false},
      {OLESTR("<a x=\"&#;\"/>"), false},
      {OLESTR("<a x=\"&#x;\"/>"), false},
      {OLESTR("<a x=\"&#X41;\"/>"), false},
      {OLESTR("<a x=\"&#0;\"/>"), false},
      {OLESTR("<a x=\"&#xD800;\"/>"), false},
      {OLESTR("<a x=\"&#xFFFE;\"/>"), false},
      {OLESTR("<a x=\"&#x110000;\"/>"), false},
      {OLESTR("<a x=\"&#99999999999;\"/>"), false},
      // The declaration.
      {OLESTR(" <?xml version=\"1.0\"?><a/>"), false},
      {OLESTR("<a/><?xml version=\"1.0\"?>"), false},
      {OLESTR("<?xml version=\"1.0\"?><?xml version=\"1.0\"?><a/>"), false},
      {OLESTR("<?XML version=\"1.0\"?><a/>"), false},
      {OLESTR("<?xml encoding=\"UTF-8\"?><a/>"), false},
      {OLESTR("<?xml version=\"1.0\" standalone=\"maybe\"?><a/>"), false},
      {OLESTR("<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><a/>"), false},
      {OLESTR("<a><?xml version=\"1.0\"?></a>"), false},
      // Names and namespaces.
      {OLESTR("<1a/>"), false},
      {OLESTR("<p:a/>"), false},
      {OLESTR("<a p:x=\"1\"/>"), false},
      {OLESTR("<a:b:c xmlns:a=\"u\"/>"), false},
      {OLESTR("<a xmlns:p=\"\"/>"), false},
      {OLESTR("<a><p:b xmlns:p=\"u\"/><p:c/></a>"), false},  // the prefix's scope has ended
      // Comments, text and the document type.
      {OLESTR("<a><!-- a -- b --></a>"), false},
      {OLESTR("<a><!-- a ---></a>"), false},
      {OLESTR("<a>]]></a>"), false},
      {OLESTR("<a/><!DOCTYPE a>"), false},
      // Characters XML cannot hold, written as they are.
      {OLESTR("<a x=\"\x01\"/>"), false},
      {OLESTR("<a>\x1F</a>"), false},
      {TrxString(OLESTR("<a x=\"\0\"/>"), 10), false},
      {OLESTR("<a x=\"\xD800\"/>"), false},   // unpaired high surrogate
      {OLESTR("<a x=\"\xDC00\"/>"), false},   // unpaired low surrogate
      {OLESTR("<a x=\"\xD800x\"/>"), false},  // high surrogate without its pair
      {OLESTR("<a x=\"\xFFFF\"/>"), false},
      {OLESTR("<a/>\xD83D"), false},            // cut in the middle of a pair
      {OLESTR("\uFEFF<a x=\"\U0001F600\"/>"), true},  // byte-order mark and a pair
  };
  for (const Case& c : cases) {
    CNVTRXXmlDocument document;
    EXPECT_EQ(document.LoadXml(c.text), c.loads) << N(c.text);
    if (!c.loads) {
      EXPECT_EQ(document.GetChildCount(), 0) << N(c.text);
      EXPECT_TRUE(document.GetDocumentElement().IsNull()) << N(c.text);
    }
  }
}

TEST(CNVTRXXmlLoad, DeclarationCommentsAndInstructionsAreSeparateChildrenAndWhiteSpaceIsNone) {
  CNVTRXXmlDocument document =
      Loaded("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<!-- c -->\n<?style x?>\n<Root>\n  <A/>\n  <B> t </B>\n</Root>\n");
  EXPECT_EQ(Tree(document.AsNode()),
            "#document[?xml'version=\"1.0\" encoding=\"UTF-8\"' #comment' c ' ?style'x' Root[A B[#text' t ']]]");
  EXPECT_TRUE(document.GetChild(4).IsNull());
  EXPECT_TRUE(document.GetChild(-1).IsNull());
  const CNVTRXXmlNode root = document.GetDocumentElement();
  EXPECT_TRUE(root.IsSameNode(document.GetChild(3)));
  EXPECT_EQ(root.GetType(), TRXXML_ELEMENT);
  const CNVTRXXmlNode b = root.GetLastChild();
  EXPECT_EQ(b.GetFirstChild().GetType(), TRXXML_TEXT);
  EXPECT_TRUE(b.GetParent().IsSameNode(root));
  EXPECT_EQ(root.GetParent().GetType(), TRXXML_DOCUMENT);
  EXPECT_TRUE(document.AsNode().GetParent().IsNull());
}

TEST(CNVTRXXmlLoad, ReferencesAreResolvedAndRawWhiteSpaceInAttributesNormalised) {
  CNVTRXXmlDocument document =
      Loaded("<a x=\"1\t2\n3\r\n4&#9;5&#10;6&#13;7\" y=\"&lt;&gt;&amp;&quot;&apos;&#x41;&#66;&#x1F600;\">"
             "l1\r\nl2&#13;&amp;<![CDATA[&lt;]]></a>");
  const CNVTRXXmlNode a = document.GetDocumentElement();
  TrxString x, y;
  ASSERT_TRUE(a.GetAttribute(OLESTR("x"), x));
  EXPECT_EQ(x, OLESTR("1 2 3 4\t5\n6\r7"));
  ASSERT_TRUE(a.GetAttribute(OLESTR("y"), y));
  EXPECT_EQ(y, OLESTR("<>&\"'AB\U0001F600"));
  EXPECT_EQ(Tree(a), "a[#text'l1\nl2\r&' #cdata-section'&lt;']");
  EXPECT_EQ(a.GetChild(1).GetType(), TRXXML_CDATA);
}

TEST(CNVTRXXmlLoad, AttributesAndNamespaceDeclarationsByIndexInDocumentOrderAndByName) {
  const char* text = "<a first=\"1\" xmlns:p=\"urn:p\" p:Second=\"two\" xmlns=\"urn:d\" third=\"\"><p:b/></a>";
  const CNVTRXXmlNode a = Loaded(text).GetDocumentElement();
  ASSERT_EQ(a.GetAttributeCount(), 5);
  std::string attributes;
  for (LONG i = 0; i < 5; ++i) {
    TrxString name, value;
    ASSERT_TRUE(a.GetAttributeName(i, name) && a.GetAttributeValue(i, value));
    attributes += N(name) + "=" + N(value) + ";";
  }
  EXPECT_EQ(attributes, "first=1;xmlns:p=urn:p;p:Second=two;xmlns=urn:d;third=;");
  EXPECT_EQ(N(a.GetFirstChild().GetName()), "p:b");
  EXPECT_EQ(N(a.GetXml()), text);
  TrxString unchanged = OLESTR("keep");
  EXPECT_FALSE(a.GetAttributeName(5, unchanged));
  EXPECT_FALSE(a.GetAttributeValue(-1, unchanged));
  EXPECT_EQ(unchanged, OLESTR("keep"));
  TrxString value;
  EXPECT_TRUE(a.GetAttribute(OLESTR("p:Second"), value));
  EXPECT_EQ(value, OLESTR("two"));
  EXPECT_FALSE(a.GetAttribute(OLESTR("p:second"), value)) << "names match exactly";
  EXPECT_FALSE(a.GetAttribute(TrxString(OLESTR("first\0x"), 7), value));

  const CNVTRXXmlNode null;
  EXPECT_EQ(null.GetAttributeCount() + null.GetChildCount(), 0);
  EXPECT_EQ(null.GetType(), TRXXML_NONE);
  EXPECT_EQ(null.GetXml(), OLESTR(""));
}

TEST(CNVTRXXmlLoad, NodesKeepTheirDocumentAlive) {
  CNVTRXXmlNode leaf;
  {
    CNVTRXXmlDocument document = Loaded("<a><b x=\"1\"/></a>");
    leaf = document.GetDocumentElement().GetFirstChild();
  }
  TrxString x;
  ASSERT_TRUE(leaf.GetAttribute(OLESTR("x"), x));
  EXPECT_EQ(x, OLESTR("1"));
  EXPECT_EQ(N(leaf.GetParent().GetName()), "a");

  // Loading again gives the document new content; handles into the former
  // content stay usable.
  CNVTRXXmlDocument document = Loaded("<old><kept/></old>");
  const CNVTRXXmlNode kept = document.GetDocumentElement().GetFirstChild();
  EXPECT_TRUE(document.LoadXml(OLESTR("<new/>")));
  EXPECT_EQ(N(kept.GetName()), "kept");
  EXPECT_EQ(N(kept.GetParent().GetName()), "old");
  EXPECT_EQ(N(document.GetDocumentElement().GetName()), "new");
  EXPECT_FALSE(document.LoadXml(OLESTR("<broken")));
  EXPECT_EQ(document.GetChildCount(), 0);
}

// ---- building ----------------------------------------------------------------------

TEST(CNVTRXXmlBuild, CreatedElementsBelongToTheTreeOnlyOnceAppended) {
  CNVTRXXmlDocument document;
  CNVTRXXmlNode root = document.CreateElement(OLESTR("Obj"));
  ASSERT_FALSE(root.IsNull());
  // Attributes keep their insertion order; setting one again replaces it in place.
  ASSERT_TRUE(root.SetAttribute(OLESTR("ClassName"), OLESTR("A")));
  ASSERT_TRUE(root.SetAttribute(OLESTR("RepositoryName"), OLESTR("B")));
  ASSERT_TRUE(root.SetAttribute(OLESTR("ClassName"), OLESTR("C")));
  EXPECT_EQ(root.GetAttributeCount(), 2);
  EXPECT_EQ(document.GetChildCount(), 0);
  EXPECT_TRUE(document.GetDocumentElement().IsNull());
  EXPECT_TRUE(root.GetParent().IsNull());
  EXPECT_EQ(document.GetXml(), OLESTR(""));

  ASSERT_TRUE(document.AppendChild(root));
  EXPECT_TRUE(document.GetDocumentElement().IsSameNode(root));
  EXPECT_EQ(root.GetParent().GetType(), TRXXML_DOCUMENT);

  CNVTRXXmlNode child = root.GetOwnerDocument().CreateElement(OLESTR("Obj"));
  document.CreateElement(OLESTR("Stray"));
  EXPECT_EQ(document.GetChildCount(), 1) << "created elements are not children of the document";
  ASSERT_TRUE(root.AppendChild(child));
  EXPECT_TRUE(root.GetLastChild().IsSameNode(child));
  EXPECT_TRUE(child.GetParent().IsSameNode(root));
  EXPECT_EQ(document.GetXml(), OLESTR("<Obj ClassName=\"C\" RepositoryName=\"B\"><Obj/></Obj>\r\n"));
}

TEST(CNVTRXXmlBuild, AppendRefusesWhatCannotGoThere) {
  CNVTRXXmlDocument document;
  CNVTRXXmlNode a = document.CreateElement(OLESTR("a"));
  CNVTRXXmlNode b = document.CreateElement(OLESTR("b"));
  ASSERT_TRUE(document.AppendChild(a));
  EXPECT_FALSE(document.AppendChild(b)) << "a document has one element";
  ASSERT_TRUE(a.AppendChild(b));
  EXPECT_FALSE(b.AppendChild(a)) << "an ancestor";
  EXPECT_FALSE(a.AppendChild(a)) << "itself";
  EXPECT_FALSE(a.AppendChild(document.AsNode()));
  EXPECT_FALSE(a.AppendChild(CNVTRXXmlNode()));
  EXPECT_FALSE(CNVTRXXmlNode().AppendChild(a));

  CNVTRXXmlDocument other;
  CNVTRXXmlNode foreign = other.CreateElement(OLESTR("f"));
  EXPECT_FALSE(a.AppendChild(foreign)) << "another document's node";

  CNVTRXXmlDocument loaded = Loaded("<r>text<!--c--></r>");
  const CNVTRXXmlNode r = loaded.GetDocumentElement();
  EXPECT_FALSE(loaded.AppendChild(r.GetFirstChild())) << "text cannot stand beside the element";
  EXPECT_FALSE(r.GetFirstChild().AppendChild(loaded.CreateElement(OLESTR("x")))) << "text has no children";
  EXPECT_TRUE(loaded.AppendChild(r.GetLastChild())) << "a comment may";
  EXPECT_EQ(loaded.GetXml(), OLESTR("<r>text</r>\r\n<!--c-->\r\n"));

  EXPECT_TRUE(document.CreateElement(OLESTR("1x")).IsNull());
  EXPECT_TRUE(document.CreateElement(OLESTR("")).IsNull());
  EXPECT_FALSE(a.SetAttribute(OLESTR("bad name"), OLESTR("v")));
  EXPECT_FALSE(r.GetFirstChild().SetAttribute(OLESTR("x"), OLESTR("v"))) << "only elements have attributes";
}

// ---- serialisation -----------------------------------------------------------------

TEST(CNVTRXXmlSerialise, ElementsAreWrittenWithoutWhiteSpaceOrDeclaration) {
  struct Case {
    const char* loaded;
    const char* element;
  };
  // clang-format off
  const Case cases[] = {
      {"<?xml version=\"1.0\"?>\n<Obj  ClassName = 'A'\n RepositoryName=\"B\" />", "<Obj ClassName=\"A\" RepositoryName=\"B\"/>"},
      {"<a>\n  <b/>\n  <c></c>\n</a>", "<a><b/><c/></a>"},
      {"<a x='&quot;&apos;&lt;&gt;&amp;'/>", "<a x=\"&quot;'&lt;&gt;&amp;\"/>"},
      {"<a x='&#9;&#10;&#13;&#1;'/>", "<a x=\"&#9;&#10;&#13;&#1;\"/>"},
      {"<a>&lt;&amp;&gt;\"'&#9;&#10;&#13;&#2;</a>", "<a>&lt;&amp;&gt;\"'\t\n&#13;&#2;</a>"},
      {"<a><!--note--><?pi data?><![CDATA[x]]>y]]&gt;</a>", "<a><!--note--><?pi data?><![CDATA[x]]>y]]&gt;</a>"},
      {"<a xmlns:p=\"urn:p\"><p:b p:c=\"1\"/></a>", "<a xmlns:p=\"urn:p\"><p:b p:c=\"1\"/></a>"},
      {"<a>\u00e9\u4e2d\U0001F600</a>", "<a>\u00e9\u4e2d\U0001F600</a>"},
      // Text of nothing but white space is kept by writing it as references.
      {"<a>;<a>;&#9;</a>&#9;</a>", "<a>;<a>;\t</a>&#9;</a>"},
      {"<a><b/>&#32;&#10;<c/> x\t</a>", "<a><b/>&#32;&#10;<c/> x\t</a>"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const CNVTRXXmlDocument document = Loaded(c.loaded);
    const TrxString xml = document.GetDocumentElement().GetXml();
    EXPECT_EQ(N(xml), c.element) << c.loaded;
    EXPECT_EQ(N(Loaded(N(xml)).GetDocumentElement().GetXml()), c.element) << "written again: " << c.loaded;
  }
}

TEST(CNVTRXXmlSerialise, DocumentsWriteEachTopLevelNodeOnItsOwnLine) {
  const CNVTRXXmlDocument document = Loaded("<?xml version=\"1.0\" encoding=\"UTF-8\" ?><!--c--><!DOCTYPE r><r/>");
  EXPECT_EQ(N(document.GetXml()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--c-->\r\n<!DOCTYPE r>\r\n<r/>\r\n");
  EXPECT_EQ(document.GetChild(2).GetType(), TRXXML_DOCUMENT_TYPE);
  EXPECT_EQ(N(document.GetChild(2).GetName()), "r");
}

TEST(CNVTRXXmlSerialise, AnyAttributeTextLoadsBackAsItWasKept) {
  TrxString everyControl;
  for (OLECHAR c = 1; c < 0x20; ++c) everyControl.push_back(c);
  const struct {
    TrxString value;
    TrxString kept = {};  // "": the value itself
  } cases[] = {
      {OLESTR("")},
      {OLESTR("\"double\" and 'single'")},
      {OLESTR("<tag attr=\"v\">&amp;</tag>")},
      {OLESTR("tab\there\nnew line\r\ncarriage return")},
      {OLESTR("  leading and trailing  ")},
      {OLESTR(" ")},
      {OLESTR("\t")},
      {OLESTR("\u00e9\u00e8 \u4e2d\u6587 \u0416")},
      {OLESTR("\U0001F600 \U00010348 pairs")},
      {OLESTR("]]> and <![CDATA[")},
      {OLESTR("\uFEFF\uFFFD\uE000")},
      {everyControl},
      // Text XML cannot hold is cut at U+0000; an unpaired surrogate is replaced.
      {TrxString(OLESTR("before\0after"), 12), OLESTR("before")},
      {OLESTR("x\xD800y"), OLESTR("x\uFFFDy")},
  };
  for (const auto& c : cases) {
    const TrxString kept = c.kept.empty() ? c.value : c.kept;
    CNVTRXXmlDocument document;
    CNVTRXXmlNode element = document.CreateElement(OLESTR("e"));
    ASSERT_TRUE(element.SetAttribute(OLESTR("v"), c.value));
    TrxString back;
    ASSERT_TRUE(element.GetAttribute(OLESTR("v"), back));
    EXPECT_EQ(back, kept);
    ASSERT_TRUE(element.AppendChild(document.CreateElement(OLESTR("inner"))));
    const TrxString xml = element.GetXml();

    CNVTRXXmlDocument reloaded;
    ASSERT_TRUE(reloaded.LoadXml(xml)) << N(xml);
    ASSERT_TRUE(reloaded.GetDocumentElement().GetAttribute(OLESTR("v"), back));
    EXPECT_EQ(back, kept) << N(xml);
    EXPECT_EQ(reloaded.GetDocumentElement().GetXml(), xml);
  }
}

// ---- selection ---------------------------------------------------------------------

// A node as the selection tests name it: its attribute n, or else its name.
std::string Name(const CNVTRXXmlNode& node) {
  TrxString n;
  return N(node.GetAttribute(OLESTR("n"), n) ? n : node.GetName());
}

// The names of the nodes an expression selects, in the order they come.
std::string Selected(const CNVTRXXmlNode& context, const TrxString& xpath) {
  std::vector<CNVTRXXmlNode> nodes(1);  // replaced by a selection, emptied by a failure
  if (!context.SelectNodes(xpath, nodes)) return nodes.empty() ? "(failed)" : "(failed, nodes left)";
  std::string names;
  for (const CNVTRXXmlNode& node : nodes) names += (names.empty() ? "" : " ") + Name(node);
  return names;
}

TEST(CNVTRXXmlSelect, NodesComeInDocumentOrderRelativeToTheContextAndNamesMatchAsWritten) {
  const CNVTRXXmlDocument items = Loaded(
      "<r><g n=\"1\"><i n=\"a\"/><i n=\"b\"/></g><g n=\"2\"><i n=\"c\"/><s><i n=\"d\"/></s></g></r>");
  const CNVTRXXmlNode one = items.AsNode(), two = items.GetDocumentElement().GetLastChild();
  const CNVTRXXmlDocument spaces =
      Loaded("<a xmlns=\"urn:d\" xmlns:p=\"urn:p\"><b/><p:c p:x=\"1\"><d xmlns=\"\"/></p:c></a>");
  const CNVTRXXmlNode ns = spaces.AsNode();
  const struct {
    CNVTRXXmlNode context;
    TrxString xpath;
    std::string names;
  } cases[] = {
      {one, OLESTR("//i"), "a b c d"},
      {one, OLESTR("//g[@n='2']//i"), "c d"},
      {one, OLESTR("//g[i/@n='c']"), "2"},
      {one, OLESTR("//i[@n='x']"), ""},
      {one, OLESTR("(//i)[last()] | //g"), "1 2 d"},
      {one, OLESTR("//i[@n='a' or '1'='1']"), "a b c d"},
      {two, OLESTR("i"), "c"},
      {two, OLESTR("s//i | i"), "c d"},
      // Names match as written, whatever their namespace.
      {ns, OLESTR("//b"), "b"},
      {ns, OLESTR("/a/b"), "b"},
      {ns, OLESTR("//p:c"), "p:c"},
      {ns, OLESTR("//p:c/@p:x"), "p:x"},
      {ns, OLESTR("//*"), "a b p:c d"},
      {ns, OLESTR("//p:c/d"), "d"},
      // Expressions that do not give nodes fail.
      {one, OLESTR("//i[@n='a]"), "(failed)"},         // unbalanced literal
      {one, OLESTR("//i[@n='O'Brien']"), "(failed)"},  // an apostrophe ends the literal early
      {one, OLESTR(""), "(failed)"},
      {one, OLESTR("count(//i)"), "(failed)"},  // a number, not a node set
      {one, TrxString(OLESTR("//i[@n='a']\0junk"), 16), "(failed)"},
      {one, TrxString(OLESTR("//i\0"), 4), "(failed)"},
      {CNVTRXXmlNode(), OLESTR("//i"), "(failed)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Selected(c.context, c.xpath), c.names) << N(c.xpath);
    // The single node is the first of them, or none.
    CNVTRXXmlNode first = items.GetDocumentElement();
    EXPECT_EQ(c.context.SelectSingleNode(c.xpath, first), c.names != "(failed)") << N(c.xpath);
    EXPECT_EQ(first.IsNull() ? "" : Name(first), c.names == "(failed)" ? "" : c.names.substr(0, c.names.find(' ')))
        << N(c.xpath);
  }
}

TEST(CNVTRXXmlSelect, SelectedNodesAreTheNodesOfTheTree) {
  CNVTRXXmlDocument document =
      Loaded("<?xml version=\"1.0\"?><!DOCTYPE r><!--c1--><?p1 x?><r>t1<!--c2--><e>t2</e><?p2 y?>t3</r><!--c3-->");
  CNVTRXXmlNode d = document.AsNode(), r = document.GetDocumentElement(), e = r.GetChild(2);
  const struct {
    CNVTRXXmlNode context;
    const OLECHAR* xpath;
    std::vector<CNVTRXXmlNode> nodes;
  } cases[] = {
      {d, OLESTR("//comment()"), {d.GetChild(2), r.GetChild(1), d.GetChild(5)}},
      {d, OLESTR("//processing-instruction()"), {d.GetChild(3), r.GetChild(3)}},
      {d, OLESTR("//text()"), {r.GetFirstChild(), e.GetFirstChild(), r.GetLastChild()}},
      {e, OLESTR("/"), {d}},
      {e.GetFirstChild(), OLESTR("ancestor::r"), {r}},
  };
  for (const auto& c : cases) {
    std::vector<CNVTRXXmlNode> nodes;
    ASSERT_TRUE(c.context.SelectNodes(c.xpath, nodes)) << N(c.xpath);
    ASSERT_EQ(nodes.size(), c.nodes.size()) << N(c.xpath);
    for (size_t i = 0; i < nodes.size(); ++i) EXPECT_TRUE(nodes[i].IsSameNode(c.nodes[i])) << N(c.xpath) << i;
  }

  // Nodes moved by AppendChild are found where they went.
  std::vector<CNVTRXXmlNode> nodes;
  ASSERT_TRUE(e.AppendChild(r.GetFirstChild()));
  ASSERT_TRUE(document.SelectNodes(OLESTR("/r/e/text()"), nodes));
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(N(nodes[1].GetValue()), "t1");
  EXPECT_TRUE(nodes[1].IsSameNode(e.GetChild(1)));
}

TEST(CNVTRXXmlSelect, ATreeNotYetAppendedIsSelectedFromInside) {
  CNVTRXXmlDocument document = Loaded("<r><c/></r>");
  CNVTRXXmlNode outer = document.CreateElement(OLESTR("o"));
  CNVTRXXmlNode inner = document.CreateElement(OLESTR("c"));
  ASSERT_TRUE(outer.AppendChild(inner));
  ASSERT_TRUE(inner.SetAttribute(OLESTR("n"), OLESTR("1&2")));
  std::vector<CNVTRXXmlNode> nodes;
  ASSERT_TRUE(outer.SelectNodes(OLESTR("c"), nodes));
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_TRUE(nodes[0].IsSameNode(inner));
  CNVTRXXmlNode node;
  ASSERT_TRUE(inner.SelectSingleNode(OLESTR(".."), node));
  EXPECT_TRUE(node.IsSameNode(outer));
  ASSERT_TRUE(inner.SelectSingleNode(OLESTR("@n"), node));
  EXPECT_EQ(node.GetType(), TRXXML_ATTRIBUTE);
  EXPECT_EQ(N(node.GetValue()), "1&2");
  EXPECT_EQ(N(node.GetXml()), "n=\"1&amp;2\"");
  EXPECT_EQ(node.GetChildCount(), 0);
  ASSERT_TRUE(document.SelectNodes(OLESTR("//c"), nodes));
  ASSERT_EQ(nodes.size(), 1u) << "only the document's own";
  EXPECT_TRUE(nodes[0].IsSameNode(document.GetDocumentElement().GetFirstChild()));

  ASSERT_TRUE(document.GetDocumentElement().AppendChild(outer));
  ASSERT_TRUE(document.SelectNodes(OLESTR("//c"), nodes));
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_TRUE(nodes[1].IsSameNode(inner));
}

}  // namespace
