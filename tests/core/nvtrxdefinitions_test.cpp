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
#include "support/trxtestvalues.h"

namespace {

using Lookup = CNVTRXObjectDefinitions::Lookup;

std::string N(const TrxString& text) { return TrxNarrow(text); }

TrxVariant Array(VARTYPE type, std::vector<TrxVariant> values) { return TrxTestArray(type, std::move(values)); }
TrxVariant Matrix(std::vector<std::vector<TrxVariant>> rows) {
  return TrxVariant::FromArray(TrxTestMatrix(std::move(rows)), VT_VARIANT);
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

struct CallCase {
  TrxString className;
  TrxString methodName;
  TrxVariant args;
  LONG code;
  std::string lastText;  // "" when nothing is reported
};

class Catalogue : public TrxLogTest {
 protected:
  // ValidateMethodCall after a stale last error: the code, the last error
  // it leaves, and nothing logged when nothing is reported.
  void ExpectCall(const CNVTRXObjectDefinitions& definitions, const CallCase& c, Lookup lookup) {
    m_lastError.Set(-1019, OLESTR("stale"));
    const size_t queued = CNVTRXLog::GetQueueLength();
    const std::string what =
        N(c.className) + "." + N(c.methodName) + (lookup == Lookup::Indexed ? " (tables)" : " (queries)");
    EXPECT_EQ(definitions.ValidateMethodCall(c.className, c.methodName, &c.args), c.code) << what;
    EXPECT_EQ(LastText(), c.lastText) << what;
    EXPECT_EQ(LastCode(), c.lastText.empty() ? 0 : c.code) << what;
    if (c.lastText.empty()) {
      EXPECT_EQ(CNVTRXLog::GetQueueLength(), queued) << "nothing reported: " << what;
    }
  }
};

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
}

TEST_F(Catalogue, EveryElementIsInItsPlace) {
  // Every element in its place, every method and property described, and
  // only the type codes none, Integer, String and Boolean: none of these selects anything.
  const OLECHAR* const misplaced[] = {
      OLESTR("/NorvikObjectsConfig/*[not(self::ObjectInfo)]"),
      OLESTR("//ObjectInfo[count(ObjectData) != 1 or count(Properties) != 1 or count(Methods) > 1]"),
      OLESTR("//MethodData[not(parent::Methods) or not(HelpString/StringData)]"),
      OLESTR("//PropertyData[not(parent::Properties) or not(HelpString/StringData)]"),
      OLESTR("//ParamData[not(parent::Params/parent::MethodData)]"),
      OLESTR("//@VariantType[. != '3' and . != '8' and . != '11']"),
      OLESTR("//@ReturnValVariantType[. != '0' and . != '3' and . != '8' and . != '11']"),
  };
  CNVTRXXmlDocument document;
  ASSERT_TRUE(document.LoadXml(GetObjectDefinitionsText()));
  for (const OLECHAR* xpath : misplaced) EXPECT_EQ(Count(document.AsNode(), xpath), 0) << N(xpath);
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

}

TEST_F(Catalogue, WithoutADocumentEveryCallPasses) {
  CNVTRXObjectDefinitions none;
  const TrxVariant five = I4(5);
  EXPECT_EQ(none.ValidateMethodCall(OLESTR("NorvText"), OLESTR("SetText"), &five), TRX_OK);
  EXPECT_EQ(none.ValidateMethodCall(OLESTR("NoSuchClass"), OLESTR("NoSuchMethod"), nullptr), TRX_OK);
  none.LoadFromText(OLESTR(""));
  EXPECT_EQ(none.ValidateMethodCall(OLESTR("NoSuchClass"), OLESTR("NoSuchMethod"), nullptr), TRX_OK);
  EXPECT_EQ(LastCode(), 0);
  for (Lookup lookup : {Lookup::Indexed, Lookup::Queries})  // arguments may be missing altogether
    EXPECT_EQ(Loaded(lookup).ValidateMethodCall(OLESTR("NorvText"), OLESTR("SetText"), nullptr), TRX_OK);
}

// ---- ValidateMethodCall ------------------------------------------------------------

// The texts reported for an unknown class, an unknown method and an argument
// of the wrong type.
std::string NoClass(const std::string& c) { return "Invalid class name " + c + " ErrorCode: -12"; }
std::string NoMethod(const std::string& m, const std::string& c) {
  return "Invalid method " + m + " in class " + c + " ErrorCode: -12";
}
std::string BadType(const std::string& m, const std::string& arg, const std::string& type) {
  return "Invalid argument type for method name:" + m + " for argument: " + arg + ". Expected type: " + type + ".";
}

std::vector<CallCase> CallCases() {
  const TrxVariant nameAnd3 = Array(VT_VARIANT, {Str(OLESTR("Name")), Str(OLESTR("3"))});
  // clang-format off
  return {
      // Classes and methods, matched exactly.
      {OLESTR("NorvText"), OLESTR("SetText"), Str(OLESTR("abc")), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("settext"), Str(OLESTR("abc")), -12, NoMethod("settext", "NorvText")},
      {OLESTR("norvtext"), OLESTR("SetText"), Str(OLESTR("x")), -12, NoClass("norvtext")},
      // Argument types.
      {OLESTR("NorvText"), OLESTR("SetText"), I4(5), -1013, BadType("SetText", "Text", "String")},
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), I4(2), TRX_OK, ""},
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), Str(OLESTR("2")), -1013, BadType("GetItemByIndex", "Index", "Integer")},
      {OLESTR("NorvCheckbox"), OLESTR("SetOn"), Str(OLESTR("x")), TRX_OK, ""},  // no parameters: nothing to check
      // A 16-bit integer is not taken into the value table: in an array it is
      // an empty element, which no parameter type matches; on its own it is
      // no argument at all.
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), Array(VT_VARIANT, {TrxVariant::FromI2(2)}), -1013, BadType("GetItemByIndex", "Index", "Integer")},
      {OLESTR("NorvPicklist"), OLESTR("GetItemByIndex"), TrxVariant::FromI2(2), TRX_OK, ""},
      // No arguments, missing and surplus arguments.
      {OLESTR("NorvText"), OLESTR("SetText"), TrxVariant(), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("SetText"), Array(VT_VARIANT, {}), TRX_OK, ""},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Str(OLESTR("Name")), TRX_OK, ""},
      {OLESTR("NorvText"), OLESTR("SetText"), Array(VT_VARIANT, {Str(OLESTR("a")), I4(5), TrxVariant::FromBool(true)}), TRX_OK, ""},
      // Arrays, position by position; the first mismatch is reported.
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Array(VT_VARIANT, {Str(OLESTR("Name")), I4(3)}), TRX_OK, ""},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), nameAnd3, -1013, BadType("DrillDownColumn", "RowId", "Integer")},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Array(VT_VARIANT, {I4(3), Str(OLESTR("Name"))}), -1013, BadType("DrillDownColumn", "ColumnName", "String")},
      {OLESTR("NorvApplication"), OLESTR("GetRepositoryNameByIndex"), Array(VT_BSTR, {Str(OLESTR("NorvScreen")), Str(OLESTR("1"))}), -1013, BadType("GetRepositoryNameByIndex", "Index", "Integer")},
      {OLESTR("NorvApplication"), OLESTR("GetRepositoryNameByIndex"), Array(VT_I4, {I4(1), I4(2)}), -1013, BadType("GetRepositoryNameByIndex", "ClassName", "String")},
      {OLESTR("NorvTaskUIPane"), OLESTR("Start"), Array(VT_BSTR, {Str(OLESTR("Task")), Str(OLESTR("Group"))}), TRX_OK, ""},
      // A two-dimensional array is checked by rows, on its first column.
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Matrix({{Str(OLESTR("Name")), Str(OLESTR("x"))}, {I4(1), Str(OLESTR("y"))}}), TRX_OK, ""},
      {OLESTR("NorvList"), OLESTR("DrillDownColumn"), Matrix({{Str(OLESTR("Name")), I4(1)}, {Str(OLESTR("2")), I4(2)}}), -1013, BadType("DrillDownColumn", "RowId", "Integer")},
      // Names are put into the selection expressions as they are. An
      // apostrophe ends the literal early: the rest is part of the
      // expression, and when that does not parse the call is not validated.
      {OLESTR("O'Brien"), OLESTR("SetText"), I4(5), TRX_OK, ""},
      {OLESTR("NorvText' or '1'='1"), OLESTR("Sync"), I4(5), TRX_OK, ""},  // any class matches: the first is NorvApplication
      {OLESTR("NorvText' or '1'='1"), OLESTR("SetText"), I4(5), -12, NoMethod("SetText", "NorvText' or '1'='1")},
      {OLESTR("NorvText"), OLESTR("x' or '1'='1"), I4(5), -1013, BadType("x' or '1'='1", "Text", "String")},  // any method matches: the first is SetText
      {OLESTR("x'] | //ObjectInfo[ObjectData/@NorvikClassName='NorvList"), OLESTR("DrillDownColumn"), nameAnd3, -1013, BadType("DrillDownColumn", "RowId", "Integer")},
      // The first node found here is a parameter of an earlier class, which
      // has no parameters of its own.
      {OLESTR("NorvText"), OLESTR("SetText'] | //ParamData[@Name='Index"), I4(5), TRX_OK, ""},
      // U+0000 cannot stand in an expression: the selection fails.
      {TrxString(OLESTR("NorvText\0"), 9), OLESTR("SetText"), I4(5), TRX_OK, ""},
      // Non-ASCII names are compared exactly.
      {OLESTR("NorvText"), OLESTR("SetT\U0001F600xt"), I4(5), -12, NoMethod("SetT\U0001F600xt", "NorvText")},
  };
  // clang-format on
}

TEST_F(Catalogue, ValidateMethodCallOutcomesAreTheSameWithTablesAndWithQueries) {
  for (Lookup lookup : {Lookup::Indexed, Lookup::Queries}) {
    const CNVTRXObjectDefinitions& definitions = Loaded(lookup);
    for (const CallCase& c : CallCases()) ExpectCall(definitions, c, lookup);
  }
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
  // clang-format off
  const CallCase cases[] = {
      {OLESTR("A"), OLESTR("M"), three, -1013, "Invalid argument type for method name:M for argument: . Expected type: String."},
      {OLESTR("A"), OLESTR("Big"), I4(1), TRX_OK, ""},
      {OLESTR("A"), OLESTR("Odd"), I4(1), -1013, "Invalid argument type for method name:Odd for argument: p. Expected type: Unknown Type."},
      {OLESTR("A"), OLESTR("Second"), I4(1), -12, "Invalid method Second in class A ErrorCode: -12"},
      {OLESTR("B"), OLESTR("N"), Str(OLESTR("t")), -1013, "Invalid argument type for method name:N for argument: n. Expected type: Integer."},
      {OLESTR("Alias"), OLESTR("N"), I4(1), TRX_OK, ""},
      {OLESTR("Alias"), OLESTR("Other"), I4(1), TRX_OK, ""},
  };
  // clang-format on
  for (Lookup lookup : {Lookup::Indexed, Lookup::Queries}) {
    CNVTRXObjectDefinitions definitions(lookup);
    ASSERT_EQ(definitions.LoadFromText(text), TRX_OK);
    for (const CallCase& c : cases) ExpectCall(definitions, c, lookup);
  }
}

// ---- type names --------------------------------------------------------------------

TEST(VariantTypeName, NamesOfTheTypeCodes) {
  struct Case {
    LONG type;
    const char* name;
    LONG code;
  };
  // The catalogue uses 3, 8 and 11; 2 and 5 stand for the other integer and number codes.
  const Case cases[] = {
      {3, "Integer", TRX_OK},       {2, "Integer", TRX_OK},       {8, "String", TRX_OK},
      {11, "Boolean", TRX_OK},      {5, "Double", TRX_OK},        {9, "Unknown Type", -1023},
      {0, "Unknown Type", -1023},   {0x2008, "Unknown Type", -1023}, {-1, "Unknown Type", -1023},
  };
  for (const Case& c : cases) {
    TrxString name;
    EXPECT_EQ(GetVariantTypeName(c.type, name), c.code) << c.type;
    EXPECT_EQ(N(name), c.name) << c.type;
  }
}

}  // namespace
