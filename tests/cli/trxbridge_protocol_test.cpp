// The serve bridge's protocol as a tool sees it: ids, error replies, which
// out-parameters a reply carries, and VARIANTs in both directions.
#include <fstream>
#include <set>
#include <sstream>

#include "trxclitest.h"

namespace {

[[maybe_unused]] std::set<std::string> Keys(const TrxJson& reply) {
  std::set<std::string> keys;
  for (const auto& item : reply.items()) keys.insert(item.key());
  return keys;
}

// ---- ids and error replies ------------------------------------------------------------------

using ProtocolTest = TrxBridgeTest;

TEST_F(ProtocolTest, EchoesTheIdOfEveryKind) {
  for (const TrxJson& id : {TrxJson(1), TrxJson(-7), TrxJson("req-9"), TrxJson(nullptr), TrxJson(2.5),
                            TrxJson::array({1, "a"}), TrxJson({{"n", 1}})}) {
    const TrxJson reply = Call({{"id", id}, {"call", "GetLastError"}});
    ASSERT_TRUE(reply.contains("id")) << id.dump();
    EXPECT_EQ(reply["id"], id);
    const TrxJson error = Call({{"id", id}, {"call", "NoSuchCall"}});
    EXPECT_EQ(error["id"], id);
  }
}

TEST_F(ProtocolTest, ARequestWithoutIdGetsAReplyWithoutId) {
  EXPECT_FALSE(Call({{"call", "GetLastError"}}).contains("id"));
  EXPECT_FALSE(Call({{"call", "NoSuchCall"}}).contains("id"));
}

TEST_F(ProtocolTest, BadRequestsGetAnErrorAndTheBridgeReadsOn) {
  struct Case {
    const char* line;
    TrxJson id;        // expected id; discarded: no id in the reply
    const char* says;  // part of the error text
  };
  const TrxJson none(TrxJson::value_t::discarded);
  const Case cases[] = {
      {"not json", nullptr, "column"},
      {"{\"id\":1,\"call\":\"GetLastError\"", nullptr, "invalid JSON"},
      {"[1,2]", nullptr, "JSON object"},
      {"42", nullptr, "JSON object"},
      {"{\"id\":3}", 3, "\"call\""},
      {"{\"id\":4,\"call\":7}", 4, "\"call\""},
      {"{\"id\":5,\"call\":\"Nope\"}", 5, "unknown call \"Nope\""},
      {"{\"id\":6,\"call\":\"submit\"}", 6, "unknown call \"submit\""},
      {"{\"call\":\"client.nope\"}", none, "unknown call"},
      {"{\"id\":7,\"call\":\"SetSubmitTimeout\",\"timeout\":10}", 7, "unknown parameter \"timeout\""},
      {"{\"id\":8,\"call\":\"SetSubmitTimeout\",\"timeOut\":\"ten\"}", 8, "\"timeOut\""},
      {"{\"id\":9,\"call\":\"SetSubmitTimeout\",\"timeOut\":4294967296}", 9, "\"timeOut\""},
      {"{\"id\":10,\"call\":\"SetSubmitTimeout\",\"timeOut\":1.5}", 10, "\"timeOut\""},
      {"{\"id\":11,\"call\":\"Submit\",\"methodName\":5}", 11, "\"methodName\""},
      {"{\"id\":12,\"call\":\"Submit\",\"Args\":{\"value\":1}}", 12, "\"vt\""},
      {"{\"id\":13,\"call\":\"Submit\",\"Args\":{\"vt\":3,\"value\":\"x\"}}", 13, "integer"},
      {"{\"id\":14,\"call\":\"Submit\",\"Args\":{\"vt\":2,\"value\":40000}}", 14, "out of range"},
      {"{\"id\":15,\"call\":\"Submit\",\"Args\":{\"vt\":8204,\"value\":[[1,2],[3]]}}", 15, "differ"},
      {"{\"id\":16,\"call\":\"Submit\",\"Args\":{\"vt\":3,\"value\":1,\"extra\":0}}", 16, "\"extra\""},
      {"{\"id\":17,\"call\":\"Submit\",\"Args\":4294967296}", 17, "32 bits"},
      {"{\"id\":18,\"call\":\"client.set\",\"property\":\"X\"}", 18, "\"value\""},
      {"{\"id\":19,\"call\":\"client.busy\",\"on\":\"yes\"}", 19, "\"on\""},
  };
  for (const Case& c : cases) {
    const std::vector<TrxJson> lines = Lines(c.line);
    ASSERT_EQ(lines.size(), 1u) << c.line;
    const TrxJson& reply = lines[0];
    ASSERT_TRUE(reply.contains("error")) << c.line << " -> " << reply.dump();
    EXPECT_NE(reply["error"].get<std::string>().find(c.says), std::string::npos) << c.line << " -> " << reply.dump();
    if (c.id.is_discarded()) {
      EXPECT_FALSE(reply.contains("id")) << c.line;
    } else {
      EXPECT_EQ(reply["id"], c.id) << c.line;
    }
    EXPECT_FALSE(reply.contains("hr")) << c.line;
    // The next request is answered as usual.
    EXPECT_EQ(Submit("GetClassCount", "NorvMenu")["retVal"], TrxJson({{"vt", 3}, {"value", 1}})) << c.line;
  }
}

TEST_F(ProtocolTest, EveryCallIsAnsweredAndDocumented) {
  std::ifstream file(TrxRepositoryFile("docs/trx.md"));
  const std::string guide((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(guide.empty());
  const std::vector<std::string> names = TrxBridgeCallNames();
  EXPECT_EQ(names.size(), 11u + 24u);
  for (const std::string& name : names) {
    EXPECT_NE(guide.find("`" + name + "`"), std::string::npos) << name << " is not in docs/trx.md";
    const TrxJson reply = Call({{"call", name}, {"bogus", 1}});
    EXPECT_NE(reply["error"].get<std::string>().find("unknown parameter \"bogus\" for " + name), std::string::npos)
        << reply.dump();
  }
}

#ifndef _WIN32
// The bridge object itself, in the test's own process.
TEST_F(ProtocolTest, BlankLinesGetNoReply) {
  EXPECT_TRUE(m_bridge->HandleLine("").empty());
  EXPECT_TRUE(m_bridge->HandleLine("   \t\r").empty());
}
#endif

#ifndef _WIN32
// The bridge object itself, in the test's own process.
TEST_F(ProtocolTest, RunAnswersEveryLineInOrder) {
  std::istringstream in(
      "{\"id\":1,\"call\":\"GetRootObject\"}\n"
      "oops\n"
      "\n"
      "{\"id\":3,\"call\":\"SetSubmitTimeout\",\"timeOut\":10}\n");
  std::ostringstream out;
  TrxRunBridge(in, out, *m_bridge);
  std::istringstream replies(out.str());
  std::vector<TrxJson> lines;
  for (std::string line; std::getline(replies, line);) lines.push_back(TrxJson::parse(line));
  ASSERT_EQ(lines.size(), 3u) << out.str();
  EXPECT_EQ(lines[0]["id"], 1);
  EXPECT_TRUE(lines[1]["id"].is_null());
  EXPECT_TRUE(lines[1].contains("error"));
  EXPECT_EQ(lines[2]["id"], 3);
}
#endif

// ---- which out-parameters a reply carries -----------------------------------------------------

#ifndef _WIN32
// Across processes COM hands back every out-parameter (see TrxUnwritten).
TEST_F(ProtocolTest, ARepliesCarriesExactlyTheOutParametersTheMethodWrote) {
  struct Case {
    TrxJson request;
    std::set<std::string> keys;
  };
  const Case cases[] = {
      {{{"call", "SetSubmitTimeout"}, {"timeOut", 10}}, {"hr"}},
      {{{"call", "SetSubmitTimeout"}, {"timeOut", 9}}, {"hr"}},
      {{{"call", "GetLastError"}}, {"hr", "errCode", "errMsg"}},
      {{{"call", "GetRootObject"}}, {"hr", "errCode", "errMsg", "trxODS"}},
      {{{"call", "GetObjectDefinitions"}, {"ver", "8.2"}}, {"hr", "errCode", "errMsg", "trxDefnXML"}},
      {{{"call", "GetObjectContents"}, {"nMode", 2}}, {"hr", "errCode", "errMsg"}},
      {{{"call", "Submit"}, {"trxODS", kTrxRootOds}, {"methodName", "GetClassCount"}, {"Args", "NorvMenu"}},
       {"hr", "errCode", "errMsg", "retVal"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Keys(Call(c.request)), c.keys) << c.request.dump();
}
#endif

TEST_F(ProtocolTest, NullAndEmptyStringsStayApart) {
  // A successful Submit leaves errMsg null; GetSupportedComponents writes an empty one.
  EXPECT_TRUE(Submit("GetClassCount", "NorvMenu")["errMsg"].is_null());
  EXPECT_EQ(Submit("GetSupportedComponents")["errMsg"], "");
  // The same catalogue version: no document (null) and a message.
  const TrxJson same = Call({{"call", "GetObjectDefinitions"}, {"ver", "8.2"}});
  EXPECT_TRUE(same["trxDefnXML"].is_null());
  EXPECT_EQ(same["errMsg"], "trx has the same object definition");
  // A new catalogue: the document, and the (empty) last error text.
  const TrxJson fresh = Call({{"call", "GetObjectDefinitions"}, {"ver", "8.1"}});
  EXPECT_TRUE(fresh["trxDefnXML"].is_string());
  EXPECT_EQ(fresh["errMsg"], "");
}

TEST_F(ProtocolTest, OrdersTheReplyFieldsIdHrThenOutParameters) {
  const TrxJson reply = Call({{"id", 1}, {"call", "Submit"}, {"trxODS", kTrxRootOds}, {"methodName", "UIName"}});
  std::vector<std::string> order;
  for (const auto& item : reply.items()) order.push_back(item.key());
  EXPECT_EQ(order, (std::vector<std::string>{"id", "hr", "errCode", "errMsg", "retVal"}));
}

// ---- VARIANTs out ----------------------------------------------------------------------------------

TEST_F(ProtocolTest, WritesVariantsInTheirStructuredForm) {
  EXPECT_EQ(Submit("GetClassCount", "NorvMenu")["retVal"], TrxJson({{"vt", 3}, {"value", 1}}));
  EXPECT_EQ(Submit("RepositoryName")["retVal"], TrxJson({{"vt", 8}, {"value", "Norvik Sales"}}));
  // An empty VARIANT has no value.
  EXPECT_EQ(Submit("GetClassCount", true)["retVal"], TrxJson({{"vt", 0}}));
  // A two-dimensional array of VARIANTs: an array over the first index of
  // arrays over the second.
  const TrxJson table = Submit("GetProperties", TrxJson::array({"RepositoryName", "UIName"}))["retVal"];
  const TrxJson expected = {{"vt", 8204},
                            {"value",
                             {{{{"vt", 8}, {"value", "RepositoryName"}}, {{"vt", 8}, {"value", "Norvik Sales"}}},
                              {{{"vt", 8}, {"value", "UIName"}}, {{"vt", 8}, {"value", "Norvik Sales Enterprise"}}}}}};
  EXPECT_EQ(table, expected);
}

// ---- VARIANTs in: every form of Args ---------------------------------------------------------------

TEST_F(ProtocolTest, AcceptsAndRefusesArgsAsTheServiceDoes) {
  constexpr LONG kInvalidArg = static_cast<LONG>(0x80070057);
  struct Case {
    const char* args;  // JSON text; null pointer: Args left out
    LONG hr;
    LONG errCode;
    const char* retVal;  // expected retVal JSON
  };
  const Case cases[] = {
      // Accepted: a string, an array of VARIANTs (bare, structured, two-dimensional).
      {"\"NorvMenu\"", 0, 0, R"({"vt":3,"value":1})"},
      {"{\"vt\":8,\"value\":\"NorvMenu\"}", 0, 0, R"({"vt":3,"value":1})"},
      {"[\"NorvMenu\"]", 0, 0, R"({"vt":3,"value":1})"},
      {"{\"vt\":8204,\"value\":[{\"vt\":8,\"value\":\"NorvMenu\"}]}", 0, 0, R"({"vt":3,"value":1})"},
      {"{\"vt\":8204,\"value\":[\"NorvMenu\"]}", 0, 0, R"({"vt":3,"value":1})"},
      {"{\"vt\":8204,\"value\":[[{\"vt\":8,\"value\":\"NorvMenu\"}]]}", 0, 0, R"({"vt":3,"value":1})"},
      // Accepted by the facade, refused by the catalogue (ClassName is a string) or the method.
      {"5", 0, -1013, R"({"vt":0})"},
      {"{\"vt\":3,\"value\":5}", 0, -1013, R"({"vt":0})"},
      {"null", 0, 1014, R"({"vt":0})"},
      {"{\"vt\":1}", 0, 1014, R"({"vt":0})"},
      {nullptr, 0, 1014, R"({"vt":0})"},
      {"{\"vt\":0}", 0, 1014, R"({"vt":0})"},
      {"[]", 0, 1014, R"({"vt":0})"},
      // Refused by the facade: booleans, arrays of strings or integers, references, other scalars.
      {"true", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":11,\"value\":false}", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":8200,\"value\":[\"NorvMenu\"]}", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":8195,\"value\":[1,2]}", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":16392,\"value\":\"NorvMenu\"}", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":16396,\"value\":\"NorvMenu\"}", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":24588,\"value\":[\"NorvMenu\"]}", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":2,\"value\":5}", kInvalidArg, -1013, R"({"vt":0})"},
      {"2.5", kInvalidArg, -1013, R"({"vt":0})"},
      {"{\"vt\":5,\"value\":2.5}", kInvalidArg, -1013, R"({"vt":0})"},
  };
  for (const Case& c : cases) {
    const TrxJson reply = c.args ? Submit("GetClassCount", TrxJson::parse(c.args)) : Submit("GetClassCount");
    const std::string label = c.args ? c.args : "(no Args)";
    EXPECT_EQ(reply["hr"], c.hr) << label << " -> " << reply.dump();
    EXPECT_EQ(reply["errCode"], c.errCode) << label << " -> " << reply.dump();
    EXPECT_EQ(reply["retVal"], TrxJson::parse(c.retVal)) << label;
  }
}

TEST_F(ProtocolTest, ArgumentsReachTheServiceWithTheirValues) {
  // The -1013 message quotes the arguments as the service read them.
  struct Case {
    const char* args;
    const char* text;
  };
  const Case cases[] = {
      {"true", "(TRUE)"},
      {"{\"vt\":11,\"value\":false}", "(FALSE)"},
      {"{\"vt\":16392,\"value\":\"by ref\"}", "(by ref)"},
      {"{\"vt\":16387,\"value\":-42}", "(-42)"},
      {"{\"vt\":8200,\"value\":[\"x\",\"y\"]}", "(x,y)"},
      {"{\"vt\":8195,\"value\":[7,8,9]}", "(7,8,9)"},
      {"{\"vt\":24588,\"value\":[\"r\",5]}", "(r,5)"},
  };
  for (const Case& c : cases) {
    const TrxJson reply = Submit("GetClassCount", TrxJson::parse(c.args));
    EXPECT_NE(reply["errMsg"].get<std::string>().find(std::string("argument: ") + c.text), std::string::npos)
        << c.args << " -> " << reply.dump();
  }
  // Strings arrive with every character.
  const TrxJson unicode = Submit("GetClassCount", "Norv\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_NE(unicode["errMsg"].get<std::string>().find("\"Norv\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""),
            std::string::npos)
      << unicode.dump();
}

// ---- events ----------------------------------------------------------------------------------------

#ifndef _WIN32
// The bridge's sink, called in the test's own process.
TEST_F(ProtocolTest, EventsComeBeforeTheReplyOfTheCallDuringWhichTheyFired) {
  TrxVariant payload = TrxVariant::FromArray(SafeArrayCreateVector(VT_VARIANT, 0, 2), VT_VARIANT);
  LONG index = 0;
  TrxVariant first = TrxVariant::FromString(OLESTR("Acme"));
  SafeArrayPutElement(payload.parray, &index, &first);
  index = 1;
  TrxVariant second = TrxVariant::FromI4(3);
  SafeArrayPutElement(payload.parray, &index, &second);
  VARIANT arguments[3];
  VariantInit(&arguments[0]);
  arguments[0].vt = VT_BYREF | VT_VARIANT;
  arguments[0].pvarVal = &payload;
  TrxVariant name = TrxVariant::FromString(OLESTR("SetText"));
  TrxVariant ods = TrxVariant::FromString(OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"N\"/>"));
  arguments[1] = name;
  arguments[2] = ods;
  DISPPARAMS parameters{arguments, nullptr, 3, 0};
  TrxEventSink* sink = m_bridge->GetEventSink();
  ASSERT_EQ(
      sink->Invoke(DISPID_INVTRXEVENTS_RECORD, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr),
      S_OK);
  ASSERT_EQ(
      sink->Invoke(DISPID_INVTRXEVENTS_RECORD, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(sink->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);

  const std::vector<TrxJson> lines = Lines(R"({"id":1,"call":"GetLastError"})");
  ASSERT_EQ(lines.size(), 3u);
  const TrxJson event = {
      {"event", "Record"},
      {"trxODS", "<Obj ClassName=\"NorvApplication\" RepositoryName=\"N\"/>"},
      {"eventName", "SetText"},
      {"pArgs", {{"vt", 8204}, {"value", {{{"vt", 8}, {"value", "Acme"}}, {{"vt", 3}, {"value", 3}}}}}}};
  EXPECT_EQ(lines[0], event);
  EXPECT_EQ(lines[1], event);
  EXPECT_EQ(lines[2]["id"], 1);
  // Each event is written once.
  EXPECT_EQ(Lines(R"({"id":2,"call":"GetLastError"})").size(), 1u);
  // An error reply follows the events too.
  sink->Invoke(DISPID_INVTRXEVENTS_RECORD, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
  const std::vector<TrxJson> withError = Lines("garbage");
  ASSERT_EQ(withError.size(), 2u);
  EXPECT_EQ(withError[0]["event"], "Record");
  EXPECT_TRUE(withError[1].contains("error"));
}
#endif

}  // namespace
