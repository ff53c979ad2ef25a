// The client's property sets as the service reads them: the recorder's
// arguments, properties in the order they were first set.
#include <gtest/gtest.h>

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

// The set as text: "type=value[name=value,...]".
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
  return text + "]";
}

TrxBstr B(const char16_t* text) { return TrxBstr(text); }

TEST(NVSimPropertySet, PropertiesKeepTheOrderTheyWereFirstSetIn) {
  auto set = CNVSimPropertySet::Create({{u"Row", u"-1"}, {u"ColumnName", u"Name"}, {u"Area", u"H_COLHEAD"}});
  EXPECT_EQ(Text(set.Get()), "=[Row=-1,ColumnName=Name,Area=H_COLHEAD,]");
  EXPECT_EQ(CHANGE(set, SetProperty, B(u"Row").Get(), B(u"2").Get()), "S_OK TRUE");
  EXPECT_EQ(Text(set.Get()), "=[Row=2,ColumnName=Name,Area=H_COLHEAD,]") << "replaced in place";
  LONG count = 0;
  ASSERT_EQ(set->GetPropertyCount(&count), S_OK);
  EXPECT_EQ(count, 3);
  TrxBstr value;
  EXPECT_EQ(set->GetProperty(B(u"Missing").Get(), value.Put()), S_FALSE);
  EXPECT_TRUE(value.IsNull());
  TrxBstr name;
  ASSERT_EQ(set->GetFirstProperty(name.Put()), S_OK);
  ASSERT_EQ(set->GetNextProperty(name.Put()), S_OK);
  ASSERT_EQ(set->GetNextProperty(name.Put()), S_OK);
  EXPECT_EQ(set->GetNextProperty(name.Put()), S_FALSE) << "past the last";
  EXPECT_TRUE(name.IsNull());
}

TEST(NVSimPropertySet, ItIsAPropertySetToTheServiceWhichReadsItAsATable) {
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
