// The serve bridge's protocol as a tool sees it: ids, error replies, which
// out-parameters a reply carries, and VARIANTs in both directions.
#include <fstream>
#include <sstream>

#include "trxclitest.h"

namespace {

using ProtocolTest = TrxBridgeTest;
const TrxJson kNoId(TrxJson::value_t::discarded);

TEST_F(ProtocolTest, EchoesTheIdOfEveryKindOrNone) {
  for (const TrxJson& id : {TrxJson(1), TrxJson(-7), TrxJson("req-9"), TrxJson(nullptr), TrxJson(2.5),
                            TrxJson::array({1, "a"}), TrxJson({{"n", 1}}), TrxJson::parse(TrxNested("", 255)), kNoId}) {
    for (const char* call : {"GetLastError", "NoSuchCall"}) {
      TrxJson request = {{"call", call}};
      if (!id.is_discarded()) request["id"] = id;
      const TrxJson reply = Call(request);
      EXPECT_EQ(reply.contains("id"), !id.is_discarded()) << request.dump();
      EXPECT_TRUE(id.is_discarded() || reply["id"] == id) << reply.dump();
    }
  }
}

// Each line gets one error line, as valid UTF-8 JSON (Lines parses it), and
// the next request is answered as usual.
TEST_F(ProtocolTest, BadLinesGetOneErrorLineAndTheBridgeReadsOn) {
  struct Case {
    std::string line;
    TrxJson id;        // expected id; kNoId: no id in the reply
    const char* says;  // part of the error text
  };
  // clang-format off
  const Case cases[] = {
      {"not json", nullptr, "column"},
      {"\xC3\xA9", nullptr, "invalid JSON"},  // the parser stops inside the character
      {"{\"id\":1,\"call\":\"GetLastError\"", nullptr, "invalid JSON"},
      {"[1,2]", nullptr, "JSON object"},
      {"42", nullptr, "JSON object"},
      {"{\"id\":3}", 3, "\"call\""},
      {"{\"id\":4,\"call\":7}", 4, "\"call\""},
      {"{\"id\":5,\"call\":\"Nope\"}", 5, "unknown call \"Nope\""},
      {"{\"id\":6,\"call\":\"submit\"}", 6, "unknown call \"submit\""},
      {"{\"call\":\"client.nope\"}", kNoId, "unknown call"},
      {"{\"id\":7,\"call\":\"SetSubmitTimeout\",\"timeout\":10}", 7, "unknown parameter \"timeout\""},
      {"{\"id\":8,\"call\":\"SetSubmitTimeout\",\"timeOut\":\"ten\"}", 8, "\"timeOut\""},
      {"{\"id\":9,\"call\":\"SetSubmitTimeout\",\"timeOut\":4294967296}", 9, "\"timeOut\""},
      {"{\"id\":10,\"call\":\"SetSubmitTimeout\",\"timeOut\":1.5}", 10, "\"timeOut\""},
      {"{\"id\":11,\"call\":\"Submit\",\"methodName\":5}", 11, "\"methodName\""},
      {"{\"id\":12,\"call\":\"Submit\",\"Args\":{\"value\":1}}", 12, "\"Args\": a VARIANT object needs \"vt\""},
      {"{\"id\":13,\"call\":\"Submit\",\"Args\":4294967296}", 13, "32 bits"},
      {"{\"id\":14,\"call\":\"client.set\",\"property\":\"X\"}", 14, "\"value\""},
      {"{\"id\":15,\"call\":\"client.busy\",\"on\":\"yes\"}", 15, "\"on\""},
      // Not UTF-8, anywhere on the line: refused before it is read.
      {"\xFF", nullptr, "invalid UTF-8 at byte offset 0: a byte that never occurs in UTF-8"},
      {"{\"call\":\"GetLast\xC0\xAFrror\"}", nullptr, "at byte offset 16: an overlong encoding"},
      {"{\"id\":\"\xED\xA0\x80\",\"call\":\"GetLastError\"}", nullptr, "at byte offset 7: an encoded surrogate"},
      {"{\"call\":\"Submit\",\"methodName\":\"UI\xF4\x90\x80\x80\"}", nullptr, "at byte offset 33: a code point above"},
      {"{\"call\":\"Submit\",\"Args\":[\"x\",\"\xE2\x82\"]}", nullptr, "at byte offset 30: an incomplete sequence"},
      {"{\"call\":\"StartLogging\",\"filename\":\"\x80.log\"}", nullptr, "at byte offset 35: a continuation byte"},
      {"\"\xF8\"", nullptr, "at byte offset 1: a byte that never occurs"},
      // Nested too deep, in any parameter; the bound is 256 levels.
      {TrxNested("{\"id\":", 50000, ",\"call\":\"GetLastError\"}"), nullptr, "nested deeper than 256 levels"},
      {TrxNested("{\"id\":", 256, ",\"call\":\"GetLastError\"}"), nullptr, "deeper than 256 levels (at byte offset 261)"},
      // Longer than 16 MiB.
      {"{\"call\":\"GetLastError\",\"x\":\"" + std::string(size_t{16} << 20, 'a') + "\"}", nullptr, "the line is longer than 16777216 bytes"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const std::string label = c.line.substr(0, 80);
    const std::vector<TrxJson> lines = Lines(c.line);
    ASSERT_EQ(lines.size(), 1u) << label;
    const TrxJson& reply = lines[0];
    EXPECT_TRUE(TrxHas(reply.value("error", ""), c.says) && !reply.contains("hr")) << label << " -> " << reply.dump();
    EXPECT_TRUE(c.id.is_discarded() ? !reply.contains("id") : reply["id"] == c.id) << label;
    EXPECT_EQ(Submit("GetClassCount", "NorvMenu")["retVal"], TrxJson({{"vt", 3}, {"value", 1}})) << label;
  }
}

TEST_F(ProtocolTest, EveryCallIsAnsweredAndDocumented) {
  std::ifstream file(TrxRepositoryFile("docs/trx.md"));
  const std::string guide((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(guide.empty());
  const std::vector<std::string> names = TrxBridgeCallNames();
  EXPECT_EQ(names.size(), 11u + 24u);
  for (const std::string& name : names) {
    EXPECT_TRUE(TrxHas(guide, "`" + name + "`")) << name << " is not in docs/trx.md";
    const TrxJson reply = Call({{"call", name}, {"bogus", 1}});
    EXPECT_TRUE(TrxHas(reply["error"].get<std::string>(), "unknown parameter \"bogus\" for " + name)) << reply.dump();
  }
}

#ifndef _WIN32
// The bridge object itself, in the test's own process.
TEST_F(ProtocolTest, RunAnswersEveryLineInOrderAndSkipsBlankOnes) {
  m_bridge->SetMaxLineBytes(50);
  std::istringstream in(
      "{\"id\":1,\"call\":\"GetRootObject\"}\n"
      "oops\n"
      "\n   \t\r\n"
      "{\"id\":2,\"call\":\"GetLastError\",\"padding\":\"over fifty bytes\"}\n"
      "{\"id\":3,\"call\":\"SetSubmitTimeout\",\"timeOut\":10}");
  std::ostringstream out;
  TrxRunBridge(in, out, *m_bridge);
  const std::vector<TrxJson> lines = TrxJsonLines(out.str());
  ASSERT_EQ(lines.size(), 4u) << out.str();
  EXPECT_EQ(lines[0]["id"], 1);
  EXPECT_TRUE(lines[1]["id"].is_null() && lines[1].contains("error"));
  EXPECT_EQ(lines[2], TrxJson({{"id", nullptr}, {"error", "the line is longer than 50 bytes"}}));
  EXPECT_EQ(lines[3], TrxJson({{"id", 3}, {"hr", 0}}));
}
#endif

TEST_F(ProtocolTest, ARepliesCarriesExactlyTheOutParametersTheMethodWroteInOrder) {
  struct Case {
    TrxJson request;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {{{"call", "SetSubmitTimeout"}, {"timeOut", 10}}, {"hr"}},
      {{{"call", "GetLastError"}}, {"hr", "errCode", "errMsg"}},
      {{{"call", "GetRootObject"}}, {"hr", "errCode", "errMsg", "trxODS"}},
      {{{"call", "GetObjectDefinitions"}, {"ver", "8.2"}}, {"hr", "errCode", "errMsg", "trxDefnXML"}},
      {{{"call", "GetObjectContents"}, {"nMode", 2}}, {"hr", "errCode", "errMsg"}},
      {{{"id", 1}, {"call", "Submit"}, {"trxODS", kTrxRootOds}, {"methodName", "UIName"}},
       {"id", "hr", "errCode", "errMsg", "retVal"}},
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    if (c.request["call"] != "Submit") continue;  // COM hands back every out-parameter (see TrxUnwritten)
#endif
    const TrxJson reply = Call(c.request);
    std::vector<std::string> keys;
    for (const auto& item : reply.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, c.keys) << c.request.dump();
  }
}

TEST_F(ProtocolTest, ArgsReachTheServiceWithTheirValuesAndAreAcceptedOrRefusedAsItDoes) {
  constexpr LONG kInvalidArg = static_cast<LONG>(0x80070057);
  struct Case {
    const char* args;  // JSON text; null pointer: Args left out
    LONG hr;
    LONG errCode;
    const char* message;  // in errMsg: how the service read the arguments
  };
  const Case cases[] = {
      // Accepted: a string, an array of VARIANTs (bare, structured, two-dimensional). The
      // structured forms of the other rows give the same VARIANTs (trxjsonvariant_test).
      {"\"NorvMenu\"", 0, 0, nullptr},
      {"[\"NorvMenu\"]", 0, 0, nullptr},
      {"{\"vt\":8204,\"value\":[{\"vt\":8,\"value\":\"NorvMenu\"}]}", 0, 0, nullptr},
      {"{\"vt\":8204,\"value\":[[{\"vt\":8,\"value\":\"NorvMenu\"}]]}", 0, 0, nullptr},
      // Accepted by the facade, refused by the catalogue (ClassName is a string) or the method.
      {"5", 0, -1013, nullptr},
      {"null", 0, 1014, nullptr},
      {nullptr, 0, 1014, nullptr},
      {"[]", 0, 1014, nullptr},
      // Refused by the facade: booleans, arrays of strings or integers, references, other scalars.
      {"true", kInvalidArg, -1013, "argument: (TRUE)"},
      {"{\"vt\":8200,\"value\":[\"x\",\"y\"]}", kInvalidArg, -1013, "argument: (x,y)"},
      {"{\"vt\":8195,\"value\":[7,8,9]}", kInvalidArg, -1013, "argument: (7,8,9)"},
      {"{\"vt\":16392,\"value\":\"by ref\"}", kInvalidArg, -1013, "argument: (by ref)"},
      {"{\"vt\":16396,\"value\":\"NorvMenu\"}", kInvalidArg, -1013, nullptr},
      {"{\"vt\":24588,\"value\":[\"r\",5]}", kInvalidArg, -1013, "argument: (r,5)"},
      {"2.5", kInvalidArg, -1013, nullptr},
      // Strings arrive with every character.
      {"\"Norv\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"", 0, 1014, "\"Norv\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
  };
  for (const Case& c : cases) {
    const TrxJson reply = c.args ? Submit("GetClassCount", TrxJson::parse(c.args)) : Submit("GetClassCount");
    const std::string label = c.args ? c.args : "(no Args)";
    const TrxJson retVal = c.errCode ? TrxJson({{"vt", 0}}) : TrxJson({{"vt", 3}, {"value", 1}});
    EXPECT_TRUE(TrxFields(reply, {{"hr", c.hr}, {"errCode", c.errCode}, {"retVal", retVal}})) << label;
    EXPECT_TRUE(!c.message || TrxHas(reply["errMsg"].get<std::string>(), c.message)) << label << reply.dump();
  }
}

#ifndef _WIN32
// Events the client fires between lines (here: an action played on it
// directly) come before the next reply, even one to a line that cannot be
// read, and only once.
TEST_F(ProtocolTest, EventsComeBeforeTheNextReply) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  CNVSimUserAction action;
  action.eventId = REQID_PROCESSACCELERATOR;
  action.arguments = {{u"0", u"78"}, {u"1", u"FALSE"}, {u"2", u"TRUE"}, {u"3", u"FALSE"}};
  for (const char* line : {R"({"id":1,"call":"GetLastError"})", "garbage"}) {
    ASSERT_EQ(m_session->Client()->Play(action), S_OK);
    ASSERT_EQ(m_session->Client()->Play(action), S_OK);
    const std::vector<TrxJson> lines = Lines(line);
    ASSERT_EQ(lines.size(), 3u) << line;
    EXPECT_TRUE(lines[0]["eventName"] == "ProcessKeyboardAccelerator" && lines[1] == lines[0]) << lines[0].dump();
    EXPECT_FALSE(lines[2].contains("event")) << line;
    EXPECT_EQ(Lines(line).size(), 1u) << "each event is written once";
  }
}
#endif

}  // namespace
