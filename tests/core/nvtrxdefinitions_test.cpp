// The object definitions catalogue: the compiled-in text, its content as
// the DOM sees it, loading, method-call validation and type names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "descriptors/nvtrxdefinitions.h"
#include "log/nvtrxresult.h"
#include "support/trxtestlog.h"

namespace {

using Lookup = CNVTRXObjectDefinitions::Lookup;

std::string N(const TrxString& text) { return TrxNarrow(text); }

TrxVariant Str(const OLECHAR* text) { return TrxVariant::FromString(text); }
TrxVariant I4(LONG value) { return TrxVariant::FromI4(value); }

// A one-dimensional array of VARIANTs, strings (VT_BSTR) or 32-bit integers
// (VT_I4) holding `values`, as a VARIANT.
TrxVariant Array(VARTYPE type, std::vector<TrxVariant> values) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), 0};
  SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
  for (size_t i = 0; i < values.size(); ++i) {
    LONG index = static_cast<LONG>(i);
    if (type == VT_VARIANT) {
      SafeArrayPutElement(array, &index, &values[i]);
    } else if (type == VT_BSTR) {
      SafeArrayPutElement(array, &index, values[i].bstrVal);
    } else {
      SafeArrayPutElement(array, &index, &values[i].lVal);
    }
  }
  return TrxVariant::FromArray(array, type);
}

// A two-dimensional array of VARIANTs, element [r][c] = rows[r][c].
TrxVariant Matrix(std::vector<std::vector<TrxVariant>> rows) {
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows.size()), 0}, {static_cast<ULONG>(rows[0].size()), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      LONG index[2] = {static_cast<LONG>(r), static_cast<LONG>(c)};
      SafeArrayPutElement(array, index, &rows[r][c]);
    }
  }
  return TrxVariant::FromArray(array, VT_VARIANT);
}

const CNVTRXObjectDefinitions& Loaded(Lookup lookup) {
  static CNVTRXObjectDefinitions indexed(Lookup::Indexed);
  static CNVTRXObjectDefinitions queries(Lookup::Queries);
  static const bool loaded = indexed.Load() == TRX_OK && queries.Load() == TRX_OK;
  EXPECT_TRUE(loaded);
  return lookup == Lookup::Indexed ? indexed : queries;
}

LONG Count(const CNVTRXXmlNode& context, const OLECHAR* xpath) {
  std::vector<CNVTRXXmlNode> nodes;
  EXPECT_TRUE(context.SelectNodes(xpath, nodes)) << N(xpath);
  return static_cast<LONG>(nodes.size());
}

using Catalogue = TrxLogTest;

// ---- the text and its content ------------------------------------------------------

TEST_F(Catalogue, TextIsTheXmlSourceByteForByte) {
  // The repository is where this file's compiled-in path says, unless
  // TRX_SOURCE_DIR names it (a test program run under Wine).
  std::filesystem::path root = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  if (const char* named = std::getenv("TRX_SOURCE_DIR"); named && *named) root = named;
  const std::filesystem::path source = root / "descriptors" / "nvtrxobjectdefinitions.xml";
  std::ifstream file(source, std::ios::binary);
  ASSERT_TRUE(file) << source;
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(GetObjectDefinitionsText(), TrxWiden(bytes));
  EXPECT_EQ(N(GetObjectDefinitionsText().substr(0, 39)), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>");
}

TEST_F(Catalogue, SizesVersionAndShape) {
  CNVTRXXmlDocument document;
  ASSERT_TRUE(document.LoadXml(GetObjectDefinitionsText()));
  const CNVTRXXmlNode all = document.AsNode();
  EXPECT_EQ(Count(all, OLESTR("//ObjectInfo")), 31);
  EXPECT_EQ(Count(all, OLESTR("//MethodData")), 167);
  EXPECT_EQ(Count(all, OLESTR("//MethodData[Params]")), 128);
  EXPECT_EQ(Count(all, OLESTR("//ParamData")), 157);
  EXPECT_EQ(Count(all, OLESTR("//PropertyData")), 188);

  ASSERT_EQ(document.GetChildCount(), 2);
  EXPECT_EQ(document.GetChild(0).GetType(), TRXXML_PROCESSING_INSTRUCTION);
  EXPECT_EQ(N(document.GetChild(0).GetName()), "xml");
  const CNVTRXXmlNode root = document.GetDocumentElement();
  EXPECT_EQ(N(root.GetName()), "NorvikObjectsConfig");
  TrxString version, schema;
  ASSERT_TRUE(root.GetAttribute(OLESTR("Version"), version));
  EXPECT_EQ(version, OLESTR("8.2"));
  ASSERT_TRUE(root.GetAttribute(OLESTR("xsi:noNamespaceSchemaLocation"), schema));
  EXPECT_EQ(schema, OLESTR("norvikobjectdefinitions.xsd"));

  // Every element in its place, every method and property described, and
  // only the type codes none, Integer, String and Boolean.
  EXPECT_EQ(Count(all, OLESTR("/NorvikObjectsConfig/*[not(self::ObjectInfo)]")), 0);
  EXPECT_EQ(Count(all, OLESTR("//ObjectInfo[count(ObjectData) != 1 or count(Properties) != 1 or count(Methods) > 1]")),
            0);
  EXPECT_EQ(Count(all, OLESTR("//MethodData[not(parent::Methods) or not(HelpString/StringData)]")), 0);
  EXPECT_EQ(Count(all, OLESTR("//PropertyData[not(parent::Properties) or not(HelpString/StringData)]")), 0);
  EXPECT_EQ(Count(all, OLESTR("//ParamData[not(parent::Params/parent::MethodData)]")), 0);
  EXPECT_EQ(Count(all, OLESTR("//@VariantType[. != '3' and . != '8' and . != '11']")), 0);
  EXPECT_EQ(Count(all, OLESTR("//@ReturnValVariantType[. != '0' and . != '3' and . != '8' and . != '11']")), 0);
}

TEST_F(Catalogue, ClassesInOrderWithTheirMethodsParametersAndProperties) {
  struct Class {
    const OLECHAR* name;
    LONG methods;
    LONG parameters;
    LONG properties;
  };
  const Class classes[] = {
      {OLESTR("NorvApplication"), 12, 7, 3},
      {OLESTR("NorvPageTabs"), 7, 11, 8},
      {OLESTR("NorvScreenViews"), 5, 10, 7},
      {OLESTR("NorvToolbar"), 6, 6, 4},
      {OLESTR("NorvThreadbar"), 3, 3, 6},
      {OLESTR("NorvPDQ"), 3, 3, 5},
      {OLESTR("NorvList"), 26, 22, 7},
      {OLESTR("NorvTree"), 10, 8, 4},
      {OLESTR("NorvCalculator"), 6, 4, 7},
      {OLESTR("NorvCalendar"), 12, 7, 14},
      {OLESTR("NorvCheckbox"), 4, 1, 7},
      {OLESTR("NorvPicklist"), 5, 5, 8},
      {OLESTR("NorvRadioGroup"), 4, 4, 7},
      {OLESTR("NorvText"), 3, 2, 8},
      {OLESTR("NorvTextArea"), 1, 1, 6},
      {OLESTR("NorvInkData"), 0, 0, 4},
      {OLESTR("NorvRichText"), 1, 1, 6},
      {OLESTR("NorvCurrency"), 8, 7, 10},
      {OLESTR("NorvButton"), 1, 0, 4},
      {OLESTR("NorvApplet"), 6, 7, 5},
      {OLESTR("NorvScreen"), 3, 5, 3},
      {OLESTR("NorvTask"), 3, 5, 3},
      {OLESTR("NorvView"), 3, 5, 5},
      {OLESTR("NorvTaskStep"), 3, 5, 7},
      {OLESTR("NorvViewApplets"), 5, 5, 5},
      {OLESTR("NorvMenu"), 6, 6, 4},
      {OLESTR("NorvTaskAssistant"), 6, 3, 8},
      {OLESTR("NorvAlphaTabs"), 1, 0, 4},
      {OLESTR("NorvTaskUIPane"), 7, 7, 6},
      {OLESTR("NorvTaskLink"), 1, 1, 3},
      {OLESTR("NorvCommunicationsToolbar"), 6, 6, 10},
  };
  CNVTRXXmlDocument document;
  ASSERT_TRUE(document.LoadXml(GetObjectDefinitionsText()));
  std::vector<CNVTRXXmlNode> infos;
  ASSERT_TRUE(document.SelectNodes(OLESTR("//ObjectInfo"), infos));
  ASSERT_EQ(infos.size(), std::size(classes));
  for (size_t i = 0; i < infos.size(); ++i) {
    const Class& c = classes[i];
    CNVTRXXmlNode data;
    ASSERT_TRUE(infos[i].SelectSingleNode(OLESTR("ObjectData"), data));
    TrxString name;
    ASSERT_TRUE(data.GetAttribute(OLESTR("NorvikClassName"), name));
    EXPECT_EQ(name, c.name) << i;
    EXPECT_EQ(Count(infos[i], OLESTR("Methods/MethodData")), c.methods) << N(c.name);
    EXPECT_EQ(Count(infos[i], OLESTR("Methods/MethodData/Params/ParamData")), c.parameters) << N(c.name);
    EXPECT_EQ(Count(infos[i], OLESTR("Properties/PropertyData")), c.properties) << N(c.name);
  }
}

TEST_F(Catalogue, SignaturesOfSomeMethods) {
  struct Method {
    const OLECHAR* className;
    const OLECHAR* method;
    const char* parameters;  // name:type, ...
    const char* returnType;
  };
  const Method methods[] = {
      {OLESTR("NorvApplication"), OLESTR("GetRepositoryNameByIndex"), "ClassName:8,Index:3", "8"},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), "ColumnName:8,RowId:3", "0"},
      {OLESTR("NorvList"), OLESTR("IsColumnExists"), "ColumnName:8", "11"},
      {OLESTR("NorvCalendar"), OLESTR("SetYear"), "Year:3", "0"},
      {OLESTR("NorvTaskUIPane"), OLESTR("Start"), "TaskName:8,TaskGroup:8", "0"},
      {OLESTR("NorvCommunicationsToolbar"), OLESTR("GetButtonTooltip"), "ButtonName:8", "8"},
      {OLESTR("NorvText"), OLESTR("OpenPopup"), "", "0"},
  };
  CNVTRXXmlDocument document;
  ASSERT_TRUE(document.LoadXml(GetObjectDefinitionsText()));
  for (const Method& m : methods) {
    CNVTRXXmlNode node;
    const TrxString xpath = TrxString(OLESTR("//ObjectInfo[ObjectData/@NorvikClassName='")) + m.className +
                            OLESTR("']/Methods/MethodData[@Name='") + m.method + OLESTR("']");
    ASSERT_TRUE(document.SelectSingleNode(xpath, node));
    ASSERT_FALSE(node.IsNull()) << N(xpath);
    std::vector<CNVTRXXmlNode> params;
    ASSERT_TRUE(node.SelectNodes(OLESTR("Params/ParamData"), params));
    std::string signature;
    for (const CNVTRXXmlNode& p : params) {
      TrxString name, type;
      p.GetAttribute(OLESTR("Name"), name);
      p.GetAttribute(OLESTR("VariantType"), type);
      signature += (signature.empty() ? "" : ",") + N(name) + ":" + N(type);
    }
    EXPECT_EQ(signature, m.parameters) << N(m.method);
    TrxString returnType;
    node.GetAttribute(OLESTR("ReturnValVariantType"), returnType);
    EXPECT_EQ(N(returnType), m.returnType) << N(m.method);
  }
}

// ---- loading -----------------------------------------------------------------------

TEST_F(Catalogue, LoadKeepsTheDocumentAndAFailedLoadKeepsNone) {
  CNVTRXObjectDefinitions definitions;
  EXPECT_FALSE(definitions.IsLoaded());
  EXPECT_EQ(definitions.GetDocument(), nullptr);
  EXPECT_EQ(definitions.Load(), TRX_OK);
  ASSERT_TRUE(definitions.IsLoaded());
  EXPECT_EQ(N(definitions.GetDocument()->GetDocumentElement().GetName()), "NorvikObjectsConfig");

  m_lastError.Set(-1019, OLESTR("stale"));
  EXPECT_EQ(definitions.LoadFromText(OLESTR("<NorvikObjectsConfig>")), -1023);
  EXPECT_FALSE(definitions.IsLoaded());
  EXPECT_EQ(LastCode(), -1023);
  EXPECT_EQ(LastText(), "System error. Debug info: Load TRX XML Object Definitions failed!");

  EXPECT_TRUE(CNVTRXObjectDefinitions::Shared().IsLoaded());
  EXPECT_EQ(&CNVTRXObjectDefinitions::Shared(), &CNVTRXObjectDefinitions::Shared());
}

TEST_F(Catalogue, WithoutADocumentEveryCallPasses) {
  CNVTRXObjectDefinitions none;
  const TrxVariant five = I4(5);
  EXPECT_EQ(none.ValidateMethodCall(OLESTR("NorvText"), OLESTR("SetText"), &five), TRX_OK);
  EXPECT_EQ(none.ValidateMethodCall(OLESTR("NoSuchClass"), OLESTR("NoSuchMethod"), nullptr), TRX_OK);
  none.LoadFromText(OLESTR(""));
  EXPECT_EQ(none.ValidateMethodCall(OLESTR("NoSuchClass"), OLESTR("NoSuchMethod"), nullptr), TRX_OK);
  EXPECT_EQ(LastCode(), 0);
}

// ---- ValidateMethodCall ------------------------------------------------------------

struct CallCase {
  TrxString className;
  TrxString methodName;
  TrxVariant args;
  LONG code;
  std::string lastText;  // "" when nothing is reported
};

std::vector<CallCase> CallCases() {
  const std::string notString = "Expected type: String.";
  return {
      // Classes and methods, matched exactly.
      {OLESTR("NorvText"), OLESTR("SetText"), Str(OLESTR("abc")), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("settext"), Str(OLESTR("abc")), -12,
       "Invalid method settext in class NorvText ErrorCode: -12"},
      {OLESTR("NorvText"), OLESTR(""), Str(OLESTR("abc")), -12, "Invalid method  in class NorvText ErrorCode: -12"},
      {OLESTR("NorvText"), OLESTR("SetText "), Str(OLESTR("abc")), -12,
       "Invalid method SetText  in class NorvText ErrorCode: -12"},
      {OLESTR("NorvText"), OLESTR("Click"), TrxVariant(), -12, "Invalid method Click in class NorvText ErrorCode: -12"},
      {OLESTR("NorvInkData"), OLESTR("SetText"), Str(OLESTR("x")), -12,
       "Invalid method SetText in class NorvInkData ErrorCode: -12"},
      {OLESTR("NorvNothing"), OLESTR("SetText"), Str(OLESTR("x")), -12,
       "Invalid class name NorvNothing ErrorCode: -12"},
      {OLESTR("norvtext"), OLESTR("SetText"), Str(OLESTR("x")), -12, "Invalid class name norvtext ErrorCode: -12"},
      {OLESTR(""), OLESTR("SetText"), Str(OLESTR("x")), -12, "Invalid class name  ErrorCode: -12"},
      {OLESTR("NorvCommunicationsToolbar"), OLESTR("GetButtonTooltip"), Str(OLESTR("Send")), TRX_OK, ""},
      // Argument types.
      {OLESTR("NorvText"), OLESTR("SetText"), I4(5), -1013,
       "Invalid argument type for method name:SetText for argument: Text. Expected type: String."},
      {OLESTR("NorvText"), OLESTR("SetText"), TrxVariant::FromBool(true), -1013,
       "Invalid argument type for method name:SetText for argument: Text. " + notString},
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), I4(2), TRX_OK, ""},
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), Str(OLESTR("2")), -1013,
       "Invalid argument type for method name:GetItemByIndex for argument: Index. Expected type: Integer."},
      {OLESTR("NorvCheckbox"), OLESTR("SetOn"), Str(OLESTR("x")), TRX_OK, ""},  // no parameters: nothing to check
      // A 16-bit integer is not taken into the value table: in an array it is
      // an empty element, which no parameter type matches; on its own it is
      // no argument at all.
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), Array(VT_VARIANT, {TrxVariant::FromI2(2)}), -1013,
       "Invalid argument type for method name:GetItemByIndex for argument: Index. Expected type: Integer."},
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), TrxVariant::FromI2(2), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("SetText"), TrxVariant::FromR8(1.5), TRX_OK, ""},
      // No arguments, missing and surplus arguments.
      {OLESTR("NorvText"), OLESTR("SetText"), TrxVariant(), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("SetText"), TrxVariant::Null(), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("SetText"), Array(VT_VARIANT, {}), TRX_OK, ""},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Str(OLESTR("Name")), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("SetText"), Array(VT_VARIANT, {Str(OLESTR("a")), I4(5), TrxVariant::FromBool(true)}),
       TRX_OK, ""},
      // Arrays, position by position; the first mismatch is reported.
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Array(VT_VARIANT, {Str(OLESTR("Name")), I4(3)}), TRX_OK, ""},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Array(VT_VARIANT, {Str(OLESTR("Name")), Str(OLESTR("3"))}), -1013,
       "Invalid argument type for method name:DrillDownColumn for argument: RowId. Expected type: Integer."},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Array(VT_VARIANT, {I4(3), Str(OLESTR("Name"))}), -1013,
       "Invalid argument type for method name:DrillDownColumn for argument: ColumnName. " + notString},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Array(VT_VARIANT, {TrxVariant(), I4(3)}), -1013,
       "Invalid argument type for method name:DrillDownColumn for argument: ColumnName. " + notString},
      {OLESTR("NorvApplication"), OLESTR("GetRepositoryNameByIndex"),
       Array(VT_BSTR, {Str(OLESTR("NorvScreen")), Str(OLESTR("1"))}), -1013,
       "Invalid argument type for method name:GetRepositoryNameByIndex for argument: Index. Expected type: "
       "Integer."},
      {OLESTR("NorvApplication"), OLESTR("GetRepositoryNameByIndex"), Array(VT_I4, {I4(1), I4(2)}), -1013,
       "Invalid argument type for method name:GetRepositoryNameByIndex for argument: ClassName. " + notString},
      {OLESTR("NorvApplication"), OLESTR("GetClassCount"), Array(VT_BSTR, {Str(OLESTR("NorvScreen"))}), TRX_OK, ""},
      {OLESTR("NorvTaskUIPane"), OLESTR("Start"), Array(VT_BSTR, {Str(OLESTR("Task")), Str(OLESTR("Group"))}), TRX_OK,
       ""},
      // A two-dimensional array is checked by rows, on its first column.
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"),
       Matrix({{Str(OLESTR("Name")), Str(OLESTR("x"))}, {I4(1), Str(OLESTR("y"))}}), TRX_OK, ""},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Matrix({{Str(OLESTR("Name")), I4(1)}, {Str(OLESTR("2")), I4(2)}}),
       -1013, "Invalid argument type for method name:DrillDownColumn for argument: RowId. Expected type: Integer."},
      // Names are put into the selection expressions as they are. An
      // apostrophe ends the literal early: the rest is part of the
      // expression, and when that does not parse the call is not validated.
      {OLESTR("O'Brien"), OLESTR("SetText"), I4(5), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("Set'Text"), I4(5), TRX_OK, ""},
      {OLESTR("NorvText'"), OLESTR("SetText"), I4(5), TRX_OK, ""},
      {OLESTR("NorvText' or '1'='1"), OLESTR("Sync"), I4(5), TRX_OK,
       ""},  // any class matches: the first is NorvApplication
      {OLESTR("NorvText' or '1'='1"), OLESTR("SetText"), I4(5), -12,
       "Invalid method SetText in class NorvText' or '1'='1 ErrorCode: -12"},
      {OLESTR("NorvText"), OLESTR("x' or '1'='1"), I4(5), -1013,  // any method matches: the first is SetText
       "Invalid argument type for method name:x' or '1'='1 for argument: Text. Expected type: String."},
      {OLESTR("x'] | //ObjectInfo[ObjectData/@NorvikClassName='NorvList"), OLESTR("DrillDownColumn"),
       Array(VT_VARIANT, {Str(OLESTR("Name")), Str(OLESTR("3"))}), -1013,
       "Invalid argument type for method name:DrillDownColumn for argument: RowId. Expected type: Integer."},
      {OLESTR("x'] | //MethodData[@Name='SetText"), OLESTR("SetText"), I4(5), -12,
       "Invalid method SetText in class x'] | //MethodData[@Name='SetText ErrorCode: -12"},
      // The first node found here is a parameter of an earlier class, which
      // has no parameters of its own.
      {OLESTR("NorvText"), OLESTR("SetText'] | //ParamData[@Name='Index"), I4(5), TRX_OK, ""},
      {OLESTR("NorvText\""), OLESTR("SetText"), I4(5), -12, "Invalid class name NorvText\" ErrorCode: -12"},
      // U+0000 cannot stand in an expression: the selection fails.
      {TrxString(OLESTR("NorvText\0"), 9), OLESTR("SetText"), I4(5), TRX_OK, ""},
      {OLESTR("NorvText"), TrxString(OLESTR("SetText\0"), 8), I4(5), TRX_OK, ""},
      // Non-ASCII names are compared exactly.
      {OLESTR("NorvT\u00e9xt"), OLESTR("SetText"), I4(5), -12, "Invalid class name NorvT\u00e9xt ErrorCode: -12"},
      {OLESTR("NorvText"), OLESTR("SetT\U0001F600xt"), I4(5), -12,
       "Invalid method SetT\U0001F600xt in class NorvText ErrorCode: -12"},
  };
}

TEST_F(Catalogue, ValidateMethodCallOutcomesAreTheSameWithTablesAndWithQueries) {
  for (Lookup lookup : {Lookup::Indexed, Lookup::Queries}) {
    const CNVTRXObjectDefinitions& definitions = Loaded(lookup);
    for (const CallCase& c : CallCases()) {
      m_lastError.Set(-1019, OLESTR("stale"));
      const size_t queued = CNVTRXLog::GetQueueLength();
      const std::string what = N(c.className) + "." + N(c.methodName) +
                               (lookup == Lookup::Indexed ? " (tables)" : " (queries)");
      EXPECT_EQ(definitions.ValidateMethodCall(c.className, c.methodName, &c.args), c.code) << what;
      EXPECT_EQ(LastText(), c.lastText) << what;
      EXPECT_EQ(LastCode(), c.lastText.empty() ? 0 : c.code) << what;
      if (c.lastText.empty()) {
        EXPECT_EQ(CNVTRXLog::GetQueueLength(), queued) << "nothing reported: " << what;
      }
    }
  }
}

TEST_F(Catalogue, ArgumentsMayBeMissingAltogether) {
  EXPECT_EQ(Loaded(Lookup::Indexed).ValidateMethodCall(OLESTR("NorvText"), OLESTR("SetText"), nullptr), TRX_OK);
  EXPECT_EQ(Loaded(Lookup::Queries).ValidateMethodCall(OLESTR("NorvText"), OLESTR("SetText"), nullptr), TRX_OK);
}

TEST_F(Catalogue, ACatalogueWithUnreadableTypesAndDuplicatesBehavesAsItsQueries) {
  // Parameters without a readable type are not checked; a parameter
  // without a name is reported with an empty one; for duplicate names the
  // first in document order counts, wherever it is nested.
  const TrxString text = OLESTR(
      "<C>"
      "<ObjectInfo><ObjectData NorvikClassName='A'/><Methods>"
      "<MethodData Name='M'><Params><ParamData Name='p1' VariantType='x'/><ParamData Name='p2'/>"
      "<ParamData VariantType='8'/></Params></MethodData>"
      "<MethodData Name='Big'><Params><ParamData Name='p' VariantType='70000'/></Params></MethodData>"
      "<MethodData Name='Odd'><Params><ParamData Name='p' VariantType='9'/></Params></MethodData>"
      "</Methods></ObjectInfo>"
      "<ObjectInfo><ObjectData NorvikClassName='A'/><Methods><MethodData Name='Second'/></Methods></ObjectInfo>"
      "<Group><ObjectInfo><ObjectData NorvikClassName='B'/><ObjectData NorvikClassName='Alias'/>"
      "<Methods><Nested><MethodData Name='N'><Params><ParamData Name='n' VariantType='3'/></Params>"
      "</MethodData></Nested><MethodData Name='N'><Params><ParamData Name='late' VariantType='8'/></Params>"
      "</MethodData></Methods><Methods><MethodData Name='Other'/></Methods></ObjectInfo></Group>"
      "</C>");
  const TrxVariant three = Array(VT_VARIANT, {I4(1), I4(2), I4(3)});
  const TrxVariant one = I4(1);
  const TrxVariant text1 = Str(OLESTR("t"));
  struct Case {
    const OLECHAR* className;
    const OLECHAR* methodName;
    const TrxVariant* args;
    LONG code;
    const char* lastText;
  };
  const Case cases[] = {
      {OLESTR("A"), OLESTR("M"), &three, -1013,
       "Invalid argument type for method name:M for argument: . Expected type: String."},
      {OLESTR("A"), OLESTR("Big"), &one, TRX_OK, ""},
      {OLESTR("A"), OLESTR("Odd"), &one, -1013,
       "Invalid argument type for method name:Odd for argument: p. Expected type: Unknown Type."},
      {OLESTR("A"), OLESTR("Second"), &one, -12, "Invalid method Second in class A ErrorCode: -12"},
      {OLESTR("B"), OLESTR("N"), &text1, -1013,
       "Invalid argument type for method name:N for argument: n. Expected type: Integer."},
      {OLESTR("Alias"), OLESTR("N"), &one, TRX_OK, ""},
      {OLESTR("Alias"), OLESTR("Other"), &one, TRX_OK, ""},
  };
  for (Lookup lookup : {Lookup::Indexed, Lookup::Queries}) {
    CNVTRXObjectDefinitions definitions(lookup);
    ASSERT_EQ(definitions.LoadFromText(text), TRX_OK);
    for (const Case& c : cases) {
      m_lastError.Clear();
      EXPECT_EQ(definitions.ValidateMethodCall(c.className, c.methodName, c.args), c.code) << N(c.methodName);
      EXPECT_EQ(LastText(), c.lastText) << N(c.methodName);
    }
  }
}

// ---- type names --------------------------------------------------------------------

TEST(VariantTypeName, NamesOfTheTypeCodes) {
  struct Case {
    LONG type;
    const char* name;
    LONG code;
  };
  const Case cases[] = {
      {2, "Integer", TRX_OK},       {3, "Integer", TRX_OK},       {17, "Integer", TRX_OK},
      {18, "Integer", TRX_OK},      {19, "Integer", TRX_OK},      {22, "Integer", TRX_OK},
      {23, "Integer", TRX_OK},      {4, "Float", TRX_OK},         {5, "Double", TRX_OK},
      {6, "Currency", TRX_OK},      {7, "Date", TRX_OK},          {8, "String", TRX_OK},
      {11, "Boolean", TRX_OK},      {16, "Char", TRX_OK},         {9, "Unknown Type", -1023},
      {0, "Unknown Type", -1023},   {1, "Unknown Type", -1023},   {10, "Unknown Type", -1023},
      {12, "Unknown Type", -1023},  {14, "Unknown Type", -1023},  {20, "Unknown Type", -1023},
      {21, "Unknown Type", -1023},  {0x2008, "Unknown Type", -1023}, {-1, "Unknown Type", -1023},
  };
  for (const Case& c : cases) {
    TrxString name;
    EXPECT_EQ(GetVariantTypeName(c.type, name), c.code) << c.type;
    EXPECT_EQ(N(name), c.name) << c.type;
  }
}

}  // namespace
