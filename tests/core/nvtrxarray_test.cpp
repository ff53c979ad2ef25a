// Value tables: construction from COM shapes, text form, COM form, lookups.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "log/nvtrxassert.h"
#include "model/nvtrxarray.h"
#include "support/trxtestvalues.h"

namespace {

std::string Text(CNVTRXArray& table) { return TrxNarrow(table.ToText()); }

TEST(CNVTRXArray, SingleValuesAndOneDimensionalArraysAndTheirTextForms) {
  struct Case {
    TrxVariant value;
    const char* text;
    LONG count;
  };
  TrxVariant byRef;
  TrxVariant inner = Str(OLESTR("abc"));
  byRef.vt = VT_BYREF | VT_VARIANT;
  byRef.pvarVal = &inner;
  // clang-format off
  Case cases[] = {
      {Str(OLESTR("abc")), "(abc)", 1},
      {I4(5), "(5)", 1},
      {TrxVariant::FromBool(true), "(TRUE)", 1},
      {TrxVariant::FromBool(false), "(FALSE)", 1},
      {TrxVariant::NullString(), "()", 1},  // a null string is an empty cell text
      {byRef, "(abc)", 1},
      {TrxVariant::FromR8(2.5), "()", 0},
      {TrxVariant::FromI2(3), "()", 0},
      {TrxVariant(), "()", 0},
      {TrxVariant::Null(), "()", 0},
      // Arrays of each element type, whatever their lower bound; no escaping.
      {TrxTestArray(VT_VARIANT, {Str(OLESTR("x")), I4(3), TrxVariant(), TrxVariant::FromBool(true), TrxVariant::FromR8(1.5)}), "(x,3,<ValueNotSet>,TRUE,<ValueNotSet>)", 5},
      {TrxTestArray(VT_BSTR, {Str(OLESTR("a,b")), Str(OLESTR("(c)"))}, 5), "(a,b,(c))", 2},
      {TrxTestArray(VT_I4, {I4(-7), I4(0), I4(2147483647)}, -1), "(-7,0,2147483647)", 3},
      {TrxVariant::FromArray(SafeArrayCreateVector(VT_R8, 0, 2), VT_R8), "()", 0},
  };
  // clang-format on
  for (Case& c : cases) {
    CNVTRXArray table(&c.value);
    EXPECT_EQ(Text(table), c.text) << c.value.vt;
    EXPECT_EQ(table.GetCount(), c.count) << c.value.vt;
    if (c.count > 0) {
      EXPECT_EQ(table.GetColumnCount(), 1) << c.value.vt;
    }
  }
  CNVTRXArray none(static_cast<const VARIANT*>(nullptr));
  EXPECT_EQ(Text(none), "()");
  CNVTRXArray empty;
  EXPECT_EQ(Text(empty), "()");
}

TEST(CNVTRXArray, TwoDimensionalArraysAreReadRowByRow) {
  TrxVariant matrix = TrxVariant::FromArray(TrxTestMatrix({{Str(OLESTR("name1")), Str(OLESTR("value1"))},
                                                           {Str(OLESTR("name2")), I4(2)},
                                                           {Str(OLESTR("name3")), TrxVariant::FromBool(true)}},
                                                          1, 1),
                                            VT_VARIANT);
  CNVTRXArray rowFirst(&matrix, true, true);
  EXPECT_EQ(rowFirst.GetCount(), 3);
  EXPECT_EQ(rowFirst.GetColumnCount(), 2);
  EXPECT_EQ(Text(rowFirst), "(name1,value1)(name2,2)(name3,<ValueNotSet>)") << "booleans are not taken in 2-D";
}

TEST(CNVTRXArray, TheComFormFollowsTheLongestRow) {
  CNVTRXArray table;
  table.SetAt(OLESTR("a"), 0);
  table.SetAt(OLESTR("b"), CNVTRXArray::kAppend);
  EXPECT_EQ(table.GetColumnCount(), 1);
  TrxVariant out;
  table.ToVariant(&out);
  ASSERT_EQ(out.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(SafeArrayGetDim(out.parray), 1u);

  table.SetAt(OLESTR("c"), 1, 1);
  EXPECT_EQ(table.GetColumnCount(), 2);
  EXPECT_EQ(Text(table), "(a,<ValueNotSet>)(b,c)");
  table.ToVariant(&out);
  ASSERT_EQ(SafeArrayGetDim(out.parray), 2u);
  LONG upper1 = 0, upper2 = 0;
  SafeArrayGetUBound(out.parray, 1, &upper1);
  SafeArrayGetUBound(out.parray, 2, &upper2);
  EXPECT_EQ(upper1, 1) << "first index is the row";
  EXPECT_EQ(upper2, 1);
  LONG idx[2] = {1, 1};
  TrxVariant cell;
  ASSERT_EQ(SafeArrayGetElement(out.parray, idx, &cell), S_OK);
  EXPECT_EQ(TrxNarrow(cell.bstrVal), "c");
}

TEST(CNVTRXArray, SetAtGrowsRowsAndRefusesMinusTwo) {
  CNVTRXArray table;
  EXPECT_TRUE(table.SetAt(OLESTR("x"), 3, 1));
  EXPECT_EQ(table.GetCount(), 4);
  EXPECT_EQ(Text(table), "(<ValueNotSet>,<ValueNotSet>)(<ValueNotSet>,<ValueNotSet>)(<ValueNotSet>,<ValueNotSet>)"
                         "(<ValueNotSet>,x)");
  EXPECT_FALSE(table.SetAt(OLESTR("y"), CNVTRXArray::kNoIndex, 0));
  EXPECT_FALSE(table.SetAt(OLESTR("y"), 0, CNVTRXArray::kNoIndex));
  EXPECT_EQ(table.GetAt(CNVTRXArray::kNoIndex).vt, VT_EMPTY);
  EXPECT_EQ(table.GetAt(4, 0).vt, VT_EMPTY);
  EXPECT_EQ(table.GetAt(0, 2).vt, VT_EMPTY);
  EXPECT_EQ(table.GetAt(3, 1).vt, VT_BSTR);
}

// A tool may pass an array without elements or of three dimensions: no rows.
TEST(CNVTRXArray, ArraysWithoutRowsOrOfOtherDimensionsHaveNoRows) {
  SAFEARRAYBOUND bounds[3] = {{2, 0}, {2, 0}, {2, 0}};
  for (VARTYPE type : {VT_BSTR, VT_I4, VT_VARIANT}) {
    TrxVariant cube = TrxVariant::FromArray(SafeArrayCreate(type, 3, bounds), type);
    TrxVariant empty = TrxVariant::FromArray(SafeArrayCreateVector(type, 0, 0), type);
    for (TrxVariant* value : {&cube, &empty}) {
      CNVTRXArray table(value);
      EXPECT_EQ(table.GetCount(), 0) << type;
      EXPECT_EQ(Text(table), "()") << type;
    }
  }
}

TEST(CNVTRXArray, MappingRowsAreKeyedWithoutRegardToCase) {
  CNVTRXArray map;
  map.AddPropertyMapping(OLESTR("RowsCount"), VT_I4, OLESTR("NumRows"), VT_I4, 0, OLESTR("rows"));
  map.AddMethodMapping(OLESTR("SetText"), VT_BSTR, 16, 24, 2, OLESTR("set the value"));
  map.AddPropertyMapping(OLESTR("UIName"), VT_BSTR, TrxVariant::FromString(OLESTR("Constant")), VT_BSTR, 2,
                         OLESTR("constant"));
  map.AddMethodMapping(OLESTR("settext"), VT_BSTR, 21, VT_EMPTY, 3, OLESTR("replaced"));
  EXPECT_EQ(map.GetKeyCount(), 3);
  EXPECT_EQ(map.GetRowCount(), 3);

  TrxVariant value;
  EXPECT_EQ(map.LookupKey(OLESTR("ROWSCOUNT"), &value), 0);
  EXPECT_EQ(TrxNarrow(value.bstrVal), "NumRows");
  EXPECT_EQ(map.LookupKey(OLESTR("SETTEXT"), &value), 1);
  EXPECT_EQ(value.lVal, 21);
  EXPECT_EQ(map.GetCell(1, 2)->lVal, 3) << "the replacing row's kind";
  EXPECT_EQ(TrxNarrow(map.GetCell(1, 3)->bstrVal), "replaced");
  EXPECT_EQ(TrxNarrow(map.GetKeyAt(1)), "SetText") << "the first spelling of the key stays";
  EXPECT_EQ(map.LookupKey(OLESTR("Missing")), -1);

  TrxString key;
  EXPECT_EQ(map.LookupValue(I4(21), &key), 1);
  EXPECT_EQ(TrxNarrow(key), "SetText");
  EXPECT_EQ(map.LookupValue(I4(16)), -1);
  EXPECT_EQ(map.LookupValue(Str(OLESTR("Constant")), &key), 2);
  EXPECT_EQ(TrxNarrow(key), "UIName");
}

TEST(CNVTRXArray, CopiedTablesOwnTheirArrayAndLeaveTheCallersAlone) {
  TrxVariant source = TrxTestArray(VT_VARIANT, {Str(OLESTR("a"))});
  CNVTRXArray copy(&source);
  copy.SetAt(OLESTR("changed"), 0);
  EXPECT_EQ(Text(copy), "(changed)");
  LONG index = 0;
  TrxVariant element;
  ASSERT_EQ(SafeArrayGetElement(source.parray, &index, &element), S_OK);
  EXPECT_EQ(TrxNarrow(element.bstrVal), "a");

  CNVTRXArray moved(std::move(copy));
  EXPECT_EQ(Text(moved), "(changed)");
}

}  // namespace
