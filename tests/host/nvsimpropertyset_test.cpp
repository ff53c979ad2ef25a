// The client's property sets: properties in order, children, copies, the
// text encoding and query string, and constant sets.
#include <gtest/gtest.h>

#include <functional>

#include "host/nvsimpropertyset.h"
#include "model/nvtrxarray.h"
#include "nvsimtestsupport.h"

namespace {

// A changing operation's answer: "S_OK TRUE", "S_OK FALSE" or the status.
std::string Change(HRESULT hr, VARIANT_BOOL ok) {
  return hr != S_OK ? std::to_string(hr) : ok == VARIANT_TRUE ? "S_OK TRUE" : "S_OK FALSE";
}
#define CHANGE(set, call, ...)                                         \
  [&] {                                                                \
    VARIANT_BOOL ok_ = 7;                                              \
    const HRESULT hr_ = (set)->call(__VA_ARGS__ __VA_OPT__(, ) & ok_); \
    return Change(hr_, ok_);                                           \
  }()

// The set as text: "type=value[name=value,...]{children}".
std::string Text(INVPropertySet* set) {
  TrxBstr type, value, name;
  set->GetType(type.Put());
  set->GetValue(value.Put());
  std::string text = NVSimText(type.View()) + "=" + NVSimText(value.View()) + "[";
  for (HRESULT hr = set->GetFirstProperty(name.Put()); hr == S_OK; hr = set->GetNextProperty(name.Put())) {
    TrxBstr property;
    EXPECT_EQ(set->GetProperty(name.Get(), property.Put()), S_OK);
    text += NVSimText(name.View()) + "=" + NVSimText(property.View()) + ",";
  }
  LONG count = 0;
  set->GetChildCount(&count);
  text += "]{";
  for (LONG i = 0; i < count; ++i) {
    TrxComPtr<INVPropertySet> child;
    EXPECT_EQ(set->GetChild(i, child.Put()), S_OK);
    text += Text(child.Get());
  }
  return text + "}";
}

TrxBstr B(const char16_t* text) { return TrxBstr(text); }

TEST(NVSimPropertySet, PropertiesKeepTheOrderTheyWereFirstSetIn) {
  auto set = CNVSimPropertySet::Create({{u"Row", u"-1"}, {u"ColumnName", u"Name"}, {u"Area", u"H_COLHEAD"}});
  EXPECT_EQ(Text(set.Get()), "=[Row=-1,ColumnName=Name,Area=H_COLHEAD,]{}");
  EXPECT_EQ(CHANGE(set, SetProperty, B(u"Row").Get(), B(u"2").Get()), "S_OK TRUE");
  EXPECT_EQ(Text(set.Get()), "=[Row=2,ColumnName=Name,Area=H_COLHEAD,]{}") << "replaced in place";
  LONG count = 0;
  VARIANT_BOOL exists = VARIANT_FALSE;
  ASSERT_EQ(set->GetPropertyCount(&count), S_OK);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(set->PropertyExists(B(u"Row").Get(), &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_TRUE);
  ASSERT_EQ(set->PropertyExists(B(u"Missing").Get(), &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_FALSE);
  TrxBstr value;
  EXPECT_EQ(set->GetProperty(B(u"Missing").Get(), value.Put()), S_FALSE);
  EXPECT_TRUE(value.IsNull());
  EXPECT_EQ(CHANGE(set, RemoveProperty, B(u"Row").Get()), "S_OK TRUE");
  EXPECT_EQ(CHANGE(set, RemoveProperty, B(u"Row").Get()), "S_OK FALSE") << "nothing left to remove";
  TrxBstr name;
  ASSERT_EQ(set->GetFirstProperty(name.Put()), S_OK);
  ASSERT_EQ(set->GetNextProperty(name.Put()), S_OK);
  EXPECT_EQ(set->GetNextProperty(name.Put()), S_FALSE) << "past the last";
  EXPECT_TRUE(name.IsNull());
  EXPECT_EQ(CHANGE(set, SetType, B(u"Event").Get()), "S_OK TRUE");
  EXPECT_EQ(CHANGE(set, SetValue, B(u"SetValue").Get()), "S_OK TRUE");
  EXPECT_EQ(Text(set.Get()), "Event=SetValue[ColumnName=Name,Area=H_COLHEAD,]{}");
  EXPECT_EQ(CHANGE(set, Reset), "S_OK TRUE");
  EXPECT_EQ(Text(set.Get()), "=[]{}");
}

TEST(NVSimPropertySet, ChildrenAreAddedInsertedFoundAndRemoved) {
  auto set = CNVSimPropertySet::Create();
  auto first = CNVSimPropertySet::Create({{u"n", u"1"}}), second = CNVSimPropertySet::Create({{u"n", u"2"}}),
       third = CNVSimPropertySet::Create({{u"n", u"3"}});
  EXPECT_EQ(CHANGE(second, SetType, B(u"Row").Get()), "S_OK TRUE");
  EXPECT_EQ(CHANGE(set, AddChild, first.Get()), "S_OK TRUE");
  EXPECT_EQ(CHANGE(set, AddChild, third.Get()), "S_OK TRUE");
  EXPECT_EQ(CHANGE(set, InsertChildAt, second.Get(), 1), "S_OK TRUE");
  EXPECT_EQ(CHANGE(set, AddChild, nullptr), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, InsertChildAt, first.Get(), 4), "S_OK FALSE") << "beyond the end";
  EXPECT_EQ(CHANGE(set, InsertChildAt, first.Get(), -1), "S_OK FALSE") << "before the start";
  EXPECT_EQ(Text(set.Get()), "=[]{=[n=1,]{}Row=[n=2,]{}=[n=3,]{}}");
  TrxComPtr<INVPropertySet> child;
  EXPECT_EQ(set->GetChild(3, child.Put()), E_INVALIDARG);
  EXPECT_FALSE(child);
  ASSERT_EQ(set->GetChildByType(B(u"Row").Get(), child.Put()), S_OK);
  EXPECT_EQ(child.Get(), static_cast<INVPropertySet*>(second.Get()));
  EXPECT_EQ(set->GetChildByType(B(u"Column").Get(), child.Put()), S_FALSE);
  EXPECT_FALSE(child);
  EXPECT_EQ(CHANGE(set, RemoveChild, 0), "S_OK TRUE");
  EXPECT_EQ(CHANGE(set, RemoveChild, 2), "S_OK FALSE");
  EXPECT_EQ(Text(set.Get()), "=[]{Row=[n=2,]{}=[n=3,]{}}");
}

TEST(NVSimPropertySet, ACopyIsDeepAndTheEncodingReadsBack) {
  auto set = CNVSimPropertySet::Create({{u"Name", u"Acme | Co: 5"}, {u"Empty", u""}});
  auto child = CNVSimPropertySet::Create({{u"Inner", u"[x]"}});
  CHANGE(set, SetType, B(u"T").Get());
  CHANGE(set, SetValue, B(u"V:1").Get());
  CHANGE(set, AddChild, child.Get());
  TrxComPtr<INVPropertySet> copy;
  ASSERT_EQ(set->Copy(copy.Put()), S_OK);
  CHANGE(child, SetProperty, B(u"Inner").Get(), B(u"changed").Get());
  EXPECT_EQ(Text(copy.Get()), "T=V:1[Name=Acme | Co: 5,Empty=,]{=[Inner=[x],]{}}") << "the copy has its own children";
  TrxBstr encoded;
  ASSERT_EQ(copy->EncodeAsString(encoded.Put()), S_OK);
  EXPECT_EQ(NVSimText(encoded.View()), "[1:T3:V:1P2:4:Name12:Acme | Co: 55:Empty0:C1:[0:0:P1:5:Inner3:[x]C0:]]");
  auto decoded = CNVSimPropertySet::Create();
  EXPECT_EQ(CHANGE(decoded, DecodeFromString, encoded.Get()), "S_OK TRUE");
  EXPECT_EQ(Text(decoded.Get()), Text(copy.Get()));
  for (const char16_t* bad : {u"", u"[1:T", u"[1:T0:P1:4:Name]", u"[0:0:P0:C0:]x", u"[9:T0:P0:C0:]"})
    EXPECT_EQ(CHANGE(decoded, DecodeFromString, B(bad).Get()), "S_OK FALSE") << NVSimText(bad);
  EXPECT_EQ(Text(decoded.Get()), Text(copy.Get())) << "a refused text changes nothing";
  auto query = CNVSimPropertySet::Create({{u"Name", u"A&B"}, {u"Sum", u"1+1=2"}, {u"Pct", u"5%"}});
  TrxBstr text;
  ASSERT_EQ(query->GetQueryString(text.Put()), S_OK);
  EXPECT_EQ(NVSimText(text.View()), "Name=A%26B&Sum=1%2B1%3D2&Pct=5%25") << "the separators escaped";
}

TEST(NVSimPropertySet, AConstantSetRefusesEveryChangeAndItIsAPropertySetToTheService) {
  auto set = CNVSimPropertySet::Create({{u"a", u"1"}});
  auto child = CNVSimPropertySet::Create();
  CHANGE(set, AddChild, child.Get());
  set->SetConst(true);
  VARIANT_BOOL constant = VARIANT_FALSE;
  ASSERT_EQ(set->IsConst(&constant), S_OK);
  EXPECT_EQ(constant, VARIANT_TRUE);
  EXPECT_EQ(CHANGE(set, SetProperty, B(u"a").Get(), B(u"b").Get()), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, RemoveProperty, B(u"a").Get()), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, SetType, B(u"b").Get()), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, SetValue, B(u"b").Get()), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, AddChild, child.Get()), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, InsertChildAt, child.Get(), 0), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, RemoveChild, 0), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, Reset), "S_OK FALSE");
  EXPECT_EQ(CHANGE(set, DecodeFromString, B(u"[0:0:P0:C0:]").Get()), "S_OK FALSE");
  EXPECT_EQ(Text(set.Get()), "=[a=1,]{=[]{}}");

  auto arguments = CNVSimPropertySet::Create({{u"0", u"Account Name"}, {u"1", u"Acme"}, {u"2", u""}});
  TrxComPtr<INVPropertySet> asked;
  TrxComPtr<IDispatch> dispatch;
  ASSERT_EQ(arguments->QueryInterface(IID_INVPropertySet, asked.PutVoid()), S_OK);
  EXPECT_EQ(arguments->QueryInterface(IID_IDispatch, dispatch.PutVoid()), E_NOINTERFACE);
  CNVTRXArray table(static_cast<INVPropertySet*>(arguments.Get()));
  EXPECT_EQ(NVSimText(table.ToText()), "(0,Account Name)(1,Acme)(2,)") << "as the service reads recorder arguments";
  CNVTRXArray viaObject = CNVTRXArray::FromObject(static_cast<IUnknown*>(arguments.Get())), none = CNVTRXArray::FromObject(nullptr);
  EXPECT_EQ(NVSimText(viaObject.ToText()) + NVSimText(none.ToText()), "(0,Account Name)(1,Acme)(2,)()");
  arguments->AddRef();
  EXPECT_EQ(arguments->Release(), 2u) << "the tables keep no reference";
}

}  // namespace
