// VARIANTs as JSON: every type the bridge carries, in and back out.
#include <gtest/gtest.h>

#include "cli/trxjsonvariant.h"

namespace {

// JSON goes in and comes back out in the structured form: unchanged when it
// was structured; a reference keeps its flag and shows the value it points to.
// JSON that describes no VARIANT we can build is refused with a reason.
TEST(JsonVariantTest, ValuesRoundTripOrAreRefused) {
  struct Case {
    const char* in;
    const char* out;  // nullptr: the same as in; kRefused: refused
  };
  static constexpr char kRefused[] = "refused";
  // clang-format off
  const Case cases[] = {
      {R"({"vt":0})", nullptr},
      {R"({"vt":1})", nullptr},
      {R"({"vt":2,"value":-32768})", nullptr},
      {R"({"vt":3,"value":2147483647})", nullptr},
      {R"({"vt":4,"value":1.5})", nullptr},
      {R"({"vt":5,"value":-0.25})", nullptr},
      {R"({"vt":6,"value":12.3456})", nullptr},
      {R"({"vt":7,"value":45000.5})", nullptr},
      {R"({"vt":8,"value":"Acme"})", nullptr},
      {R"({"vt":8,"value":""})", nullptr},
      {R"({"vt":8,"value":null})", nullptr},
      {R"({"vt":8,"value":"a\"b\\c\n\u00e9\u20ac\ud83d\ude00"})", nullptr},
      {R"({"vt":9,"value":null})", nullptr},
      {R"({"vt":10,"value":-2147352572})", nullptr},
      {R"({"vt":11,"value":true})", nullptr},
      {R"({"vt":13,"value":null})", nullptr},
      {R"({"vt":16,"value":-128})", nullptr},
      {R"({"vt":17,"value":255})", nullptr},
      {R"({"vt":18,"value":65535})", nullptr},
      {R"({"vt":19,"value":4294967295})", nullptr},
      {R"({"vt":20,"value":-9223372036854775808})", nullptr},
      {R"({"vt":21,"value":18446744073709551615})", nullptr},
      {R"({"vt":22,"value":-5})", nullptr},
      {R"({"vt":23,"value":5})", nullptr},
      {R"({"vt":8204,"value":[]})", nullptr},
      {R"({"vt":8204,"value":null})", nullptr},
      {R"({"vt":8204,"value":[{"vt":8,"value":"a"},{"vt":3,"value":1},{"vt":0},{"vt":11,"value":true}]})", nullptr},
      {R"({"vt":8204,"value":[[{"vt":8,"value":"a"},{"vt":8,"value":"b"}],[{"vt":3,"value":1},{"vt":1}]]})", nullptr},
      {R"({"vt":8204,"value":[{"vt":8204,"value":[{"vt":3,"value":1}]}]})", nullptr},
      {R"({"vt":8200,"value":["x",null,""]})", nullptr},
      {R"({"vt":8200,"value":[["a","b","c"],["d","e","f"]]})", nullptr},
      {R"({"vt":8195,"value":[1,-2,3]})", nullptr},
      {R"({"vt":8203,"value":[true,false]})", nullptr},
      {R"({"vt":8209,"value":[0,255]})", nullptr},
      {R"({"vt":8204,"value":[[[{"vt":3,"value":1}],[{"vt":3,"value":2}]],[[{"vt":3,"value":3}],[{"vt":3,"value":4}]]]})", nullptr},
      // References.
      {R"({"vt":16387,"value":7})", nullptr},
      {R"({"vt":16392,"value":"s"})", nullptr},
      {R"({"vt":16396,"value":{"vt":8,"value":"inner"}})", nullptr},
      {R"({"vt":16396,"value":"bare"})", R"({"vt":16396,"value":{"vt":8,"value":"bare"}})"},
      {R"({"vt":24588,"value":[{"vt":3,"value":1}]})", nullptr},
      // Bare values take their natural type.
      {R"("text")", R"({"vt":8,"value":"text"})"},
      {"42", R"({"vt":3,"value":42})"},
      {"-2147483648", R"({"vt":3,"value":-2147483648})"},
      {"2.5", R"({"vt":5,"value":2.5})"},
      {"true", R"({"vt":11,"value":true})"},
      {"null", R"({"vt":1})"},
      {"[]", R"({"vt":8204,"value":[]})"},
      {R"(["a",1,false,null])", R"({"vt":8204,"value":[{"vt":8,"value":"a"},{"vt":3,"value":1},{"vt":11,"value":false},{"vt":1}]})"},
      // An array inside a bare array is an element of its own, not a dimension.
      {R"([["a"],2])", R"({"vt":8204,"value":[{"vt":8204,"value":[{"vt":8,"value":"a"}]},{"vt":3,"value":2}]})"},
      // Structured elements may stand in a bare array.
      {R"([{"vt":2,"value":3}])", R"({"vt":8204,"value":[{"vt":2,"value":3}]})"},
      // Refused.
      {R"({})", kRefused},
      {R"({"value":1})", kRefused},
      {R"({"vt":"3","value":1})", kRefused},
      {R"({"vt":-1})", kRefused},
      {R"({"vt":65536})", kRefused},
      {R"({"vt":3})", kRefused},
      {R"({"vt":3,"value":"1"})", kRefused},
      {R"({"vt":3,"value":1.5})", kRefused},
      {R"({"vt":3,"value":2147483648})", kRefused},
      {R"({"vt":2,"value":32768})", kRefused},
      {R"({"vt":17,"value":-1})", kRefused},
      {R"({"vt":19,"value":-1})", kRefused},
      {R"({"vt":21,"value":-1})", kRefused},
      {R"({"vt":0,"value":1})", kRefused},
      {R"({"vt":1,"value":"x"})", kRefused},
      {R"({"vt":8,"value":5})", kRefused},
      {R"({"vt":11,"value":1})", kRefused},
      {R"({"vt":5,"value":"1.5"})", kRefused},
      {R"({"vt":9,"value":"object"})", kRefused},
      {R"({"vt":12,"value":1})", kRefused},
      {R"({"vt":3,"value":1,"extra":true})", kRefused},
      {R"({"vt":8204,"value":"x"})", kRefused},
      {R"({"vt":8204,"value":[[1,2],[3]]})", kRefused},
      {R"({"vt":8204,"value":[[1],2]})", kRefused},
      {R"({"vt":8204,"value":[1,[2]]})", kRefused},
      {R"({"vt":8195,"value":["a"]})", kRefused},
      {R"({"vt":8206,"value":[1]})", kRefused},
      {R"({"vt":8192,"value":[]})", kRefused},
      {R"({"vt":16384,"value":1})", kRefused},
      {R"({"vt":16385})", kRefused},
      {R"({"vt":16396,"value":{"vt":3}})", kRefused},
      {R"([{"vt":3,"value":"x"}])", kRefused},
      {"4294967296", kRefused},
      {"-2147483649", kRefused},
  };
  // clang-format on
  for (const Case& c : cases) {
    TrxVariantStore store;
    TrxVariant value;
    std::string error;
    const bool made = TrxJsonToVariant(TrxJson::parse(c.in), value, store, error);
    EXPECT_EQ(made, c.out != kRefused) << c.in << ": " << error;
    EXPECT_EQ(error.empty(), made) << c.in;
    if (!made || c.out == kRefused) continue;
    EXPECT_EQ(TrxVariantToJson(value), TrxJson::parse(c.out ? c.out : c.in)) << c.in;
  }
}

// Arrays whose bounds do not start at 0 come out in index order.
TEST(JsonVariantTest, ArraysWithOtherLowerBoundsComeOutInOrder) {
  SAFEARRAYBOUND bounds[2] = {{2, 5}, {1, -3}};
  TrxVariant value = TrxVariant::FromArray(SafeArrayCreate(VT_I4, 2, bounds), VT_I4);
  LONG at[2] = {5, -3};
  LONG number = 10;
  SafeArrayPutElement(value.parray, at, &number);
  at[0] = 6;
  number = 20;
  SafeArrayPutElement(value.parray, at, &number);
  EXPECT_EQ(TrxVariantToJson(value), TrxJson::parse(R"({"vt":8195,"value":[[10],[20]]})"));
}

}  // namespace
