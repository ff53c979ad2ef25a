// The client's property sets: properties in order, children, copies,
// the text encoding and query string, and constant sets.
#include <gtest/gtest.h>

#include <functional>

#include "host/nvsimpropertyset.h"
#include "model/nvtrxarray.h"
#include "nvsimtestsupport.h"

namespace {

// Runs a changing operation; true when it answered S_OK and TRUE.
bool Ok(const std::function<HRESULT(VARIANT_BOOL*)>& operation) {
  VARIANT_BOOL flag = VARIANT_FALSE;
  return operation(&flag) == S_OK && flag == VARIANT_TRUE;
}

std::vector<std::pair<std::string, std::string>> Properties(INVPropertySet* set) {
  std::vector<std::pair<std::string, std::string>> properties;
  TrxBstr name;
  for (HRESULT hr = set->GetFirstProperty(name.Put()); hr == S_OK; hr = set->GetNextProperty(name.Put())) {
    TrxBstr value;
    EXPECT_EQ(set->GetProperty(name.Get(), value.Put()), S_OK);
    properties.emplace_back(NVSimText(name.View()), NVSimText(value.View()));
  }
  return properties;
}

std::string Text(HRESULT (INVPropertySet::*get)(BSTR*), INVPropertySet* set) {
  TrxBstr text;
  EXPECT_EQ((set->*get)(text.Put()), S_OK);
  return NVSimText(text.View());
}

TEST(NVSimPropertySet, PropertiesKeepTheOrderTheyWereFirstSetIn) {
  auto set = CNVSimPropertySet::Create({{u"Row", u"-1"}, {u"ColumnName", u"Name"}, {u"Area", u"H_COLHEAD"}});
  EXPECT_EQ(Properties(set.Get()), (std::vector<std::pair<std::string, std::string>>{
                                       {"Row", "-1"}, {"ColumnName", "Name"}, {"Area", "H_COLHEAD"}}));
  VARIANT_BOOL ok = VARIANT_FALSE;
  TrxBstr row(u"Row"), two(u"2"), missing(u"Missing");
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->SetProperty(row.Get(), two.Get(), r); }))
      << "a second set replaces the value in place";
  EXPECT_EQ(Properties(set.Get()).front(), (std::pair<std::string, std::string>{"Row", "2"}));

  LONG count = 0;
  ASSERT_EQ(set->GetPropertyCount(&count), S_OK);
  EXPECT_EQ(count, 3);
  VARIANT_BOOL exists = VARIANT_FALSE;
  ASSERT_EQ(set->PropertyExists(row.Get(), &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_TRUE);
  ASSERT_EQ(set->PropertyExists(missing.Get(), &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_FALSE);
  TrxBstr value;
  EXPECT_EQ(set->GetProperty(missing.Get(), value.Put()), S_FALSE);
  EXPECT_TRUE(value.IsNull());

  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->RemoveProperty(row.Get(), r); }));
  ASSERT_EQ(set->RemoveProperty(row.Get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE) << "nothing left to remove";
  EXPECT_EQ(Properties(set.Get()).size(), 2u);

  TrxBstr name;
  ASSERT_EQ(set->GetFirstProperty(name.Put()), S_OK);
  ASSERT_EQ(set->GetNextProperty(name.Put()), S_OK);
  EXPECT_EQ(set->GetNextProperty(name.Put()), S_FALSE) << "past the last";
  EXPECT_TRUE(name.IsNull());
}

TEST(NVSimPropertySet, TypeValueAndResetKeepToTheirOwnSet) {
  auto set = CNVSimPropertySet::Create({{u"a", u"1"}});
  TrxBstr type(u"Event"), value(u"SetValue");
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->SetType(type.Get(), r); }));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->SetValue(value.Get(), r); }));
  EXPECT_EQ(Text(&INVPropertySet::GetType, set.Get()), "Event");
  EXPECT_EQ(Text(&INVPropertySet::GetValue, set.Get()), "SetValue");
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->Reset(r); }));
  EXPECT_EQ(Text(&INVPropertySet::GetType, set.Get()), "");
  EXPECT_TRUE(Properties(set.Get()).empty());
}

TEST(NVSimPropertySet, ChildrenAreAddedInsertedFoundAndRemoved) {
  auto set = CNVSimPropertySet::Create();
  auto first = CNVSimPropertySet::Create({{u"n", u"1"}});
  auto second = CNVSimPropertySet::Create({{u"n", u"2"}});
  auto third = CNVSimPropertySet::Create({{u"n", u"3"}});
  VARIANT_BOOL ok;
  TrxBstr rowType(u"Row");
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return second->SetType(rowType.Get(), r); }));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->AddChild(first.Get(), r); }));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->AddChild(third.Get(), r); }));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->InsertChildAt(second.Get(), 1, r); }));

  ASSERT_EQ(set->AddChild(nullptr, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE) << "a null child";
  ASSERT_EQ(set->InsertChildAt(first.Get(), 4, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE) << "beyond the end";
  ASSERT_EQ(set->InsertChildAt(first.Get(), -1, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE) << "before the start";

  LONG count = 0;
  ASSERT_EQ(set->GetChildCount(&count), S_OK);
  ASSERT_EQ(count, 3);
  for (LONG i = 0; i < count; ++i) {
    TrxComPtr<INVPropertySet> child;
    ASSERT_EQ(set->GetChild(i, child.Put()), S_OK);
    EXPECT_EQ(Properties(child.Get())[0].second, std::to_string(i + 1));
  }
  TrxComPtr<INVPropertySet> none;
  EXPECT_EQ(set->GetChild(3, none.Put()), E_INVALIDARG);
  EXPECT_FALSE(none);

  TrxComPtr<INVPropertySet> row;
  ASSERT_EQ(set->GetChildByType(rowType.Get(), row.Put()), S_OK);
  EXPECT_EQ(row.Get(), static_cast<INVPropertySet*>(second.Get()));
  TrxBstr otherType(u"Column");
  EXPECT_EQ(set->GetChildByType(otherType.Get(), row.Put()), S_FALSE);
  EXPECT_FALSE(row);

  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return set->RemoveChild(0, r); }));
  ASSERT_EQ(set->RemoveChild(2, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ASSERT_EQ(set->GetChildCount(&count), S_OK);
  EXPECT_EQ(count, 2);
}

TEST(NVSimPropertySet, ACopyIsDeepAndTheEncodingReadsBack) {
  auto set = CNVSimPropertySet::Create({{u"Name", u"Acme | Co: 5"}, {u"Empty", u""}});
  auto child = CNVSimPropertySet::Create({{u"Inner", u"[x]"}});
  VARIANT_BOOL ok;
  TrxBstr type(u"T"), value(u"V:1");
  set->SetType(type.Get(), &ok);
  set->SetValue(value.Get(), &ok);
  set->AddChild(child.Get(), &ok);

  TrxComPtr<INVPropertySet> copy;
  ASSERT_EQ(set->Copy(copy.Put()), S_OK);
  TrxBstr changed(u"changed"), inner(u"Inner");
  child->SetProperty(inner.Get(), changed.Get(), &ok);
  TrxComPtr<INVPropertySet> copiedChild;
  ASSERT_EQ(copy->GetChild(0, copiedChild.Put()), S_OK);
  EXPECT_EQ(Properties(copiedChild.Get())[0].second, "[x]") << "the copy has its own children";

  const std::string encoded = Text(&INVPropertySet::EncodeAsString, copy.Get());
  EXPECT_EQ(encoded, "[1:T3:V:1P2:4:Name12:Acme | Co: 55:Empty0:C1:[0:0:P1:5:Inner3:[x]C0:]]");
  auto decoded = CNVSimPropertySet::Create();
  TrxBstr text(TrxWiden(encoded));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return decoded->DecodeFromString(text.Get(), r); }));
  EXPECT_EQ(Text(&INVPropertySet::EncodeAsString, decoded.Get()), encoded);
  EXPECT_EQ(Properties(decoded.Get()), Properties(copy.Get()));

  for (const char16_t* bad : {u"", u"[1:T", u"[1:T0:P1:4:Name]", u"[0:0:P0:C0:]x", u"[9:T0:P0:C0:]"}) {
    TrxBstr badText(bad);
    ASSERT_EQ(decoded->DecodeFromString(badText.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE) << NVSimText(bad);
  }
  EXPECT_EQ(Text(&INVPropertySet::EncodeAsString, decoded.Get()), encoded) << "a refused text changes nothing";
}

TEST(NVSimPropertySet, TheQueryStringEscapesItsSeparators) {
  auto set = CNVSimPropertySet::Create({{u"Name", u"A&B"}, {u"Sum", u"1+1=2"}, {u"Pct", u"5%"}});
  EXPECT_EQ(Text(&INVPropertySet::GetQueryString, set.Get()), "Name=A%26B&Sum=1%2B1%3D2&Pct=5%25");
}

TEST(NVSimPropertySet, AConstantSetRefusesEveryChange) {
  auto set = CNVSimPropertySet::Create({{u"a", u"1"}});
  auto child = CNVSimPropertySet::Create();
  VARIANT_BOOL ok = VARIANT_FALSE;
  set->AddChild(child.Get(), &ok);
  set->SetConst(true);
  VARIANT_BOOL constant = VARIANT_FALSE;
  ASSERT_EQ(set->IsConst(&constant), S_OK);
  EXPECT_EQ(constant, VARIANT_TRUE);
  TrxBstr a(u"a"), b(u"b"), text(u"[0:0:P0:C0:]");
  struct Change {
    const char* name;
    std::function<HRESULT(VARIANT_BOOL*)> run;
  } changes[] = {
      {"SetProperty", [&](VARIANT_BOOL* r) { return set->SetProperty(a.Get(), b.Get(), r); }},
      {"RemoveProperty", [&](VARIANT_BOOL* r) { return set->RemoveProperty(a.Get(), r); }},
      {"SetType", [&](VARIANT_BOOL* r) { return set->SetType(b.Get(), r); }},
      {"SetValue", [&](VARIANT_BOOL* r) { return set->SetValue(b.Get(), r); }},
      {"AddChild", [&](VARIANT_BOOL* r) { return set->AddChild(child.Get(), r); }},
      {"InsertChildAt", [&](VARIANT_BOOL* r) { return set->InsertChildAt(child.Get(), 0, r); }},
      {"RemoveChild", [&](VARIANT_BOOL* r) { return set->RemoveChild(0, r); }},
      {"Reset", [&](VARIANT_BOOL* r) { return set->Reset(r); }},
      {"DecodeFromString", [&](VARIANT_BOOL* r) { return set->DecodeFromString(text.Get(), r); }},
  };
  for (const Change& change : changes) {
    ok = VARIANT_TRUE;
    EXPECT_EQ(change.run(&ok), S_OK) << change.name;
    EXPECT_EQ(ok, VARIANT_FALSE) << change.name;
  }
  EXPECT_EQ(Properties(set.Get()), (std::vector<std::pair<std::string, std::string>>{{"a", "1"}}));
  LONG count = 0;
  set->GetChildCount(&count);
  EXPECT_EQ(count, 1);
}

TEST(NVSimPropertySet, ItIsAPropertySetToTheService) {
  auto set = CNVSimPropertySet::Create({{u"0", u"Account Name"}, {u"1", u"Acme"}});
  TrxComPtr<INVPropertySet> asked;
  ASSERT_EQ(set->QueryInterface(IID_INVPropertySet, asked.PutVoid()), S_OK);
  TrxComPtr<IDispatch> dispatch;
  EXPECT_EQ(set->QueryInterface(IID_IDispatch, dispatch.PutVoid()), E_NOINTERFACE);
  CNVTRXArray table(static_cast<INVPropertySet*>(set.Get()));
  EXPECT_EQ(NVSimText(table.ToText()), "(0,Account Name)(1,Acme)") << "as the service reads recorder arguments";
}

}  // namespace
