// Recording: the event sink at the service's connection point, `trx record`
// and the Record lines of the serve bridge.
#include <sstream>

#include "cli/trxcommands.h"
#include "cli/trxeventsink.h"
#include "cli/trxjsontext.h"
#include "trxclitest.h"

namespace {

// Accelerator actions on the application, as `trx record` and client.action read them.
TrxJson Key(const char* code, bool shift, bool ctrl, bool alt) {
  auto flag = [](bool on) { return on ? "TRUE" : "FALSE"; };
  return {{"eventId", "PROCESSACCELERATOR"},
          {"arguments", {{"0", code}, {"1", flag(shift)}, {"2", flag(ctrl)}, {"3", flag(alt)}}}};
}
const std::string kCtrlN = Key("78", false, true, false).dump();
const std::string kAltQ = Key("81", false, false, true).dump();
const std::string kCtrlShiftF9 = Key("120", true, true, false).dump();

// The service names the application in recorded events by the client's own
// name for it (as GetRootObject does): "Norvik Sales" in the sample.
const char kRecordedRoot[] = "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik Sales\"/>";

// The text of an event's arguments, whatever their shape: every string in
// the pArgs value, joined by '|'.
std::string ArgumentStrings(const TrxJson& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_object() && value.contains("value")) return ArgumentStrings(value["value"]);
  std::string joined;
  for (const TrxJson& item : value.is_array() ? value : TrxJson::array()) {
    const std::string text = ArgumentStrings(item);
    if (!text.empty()) joined += (joined.empty() ? "" : "|") + text;
  }
  return joined;
}

class RecordBridgeTest : public TrxBridgeTest {};

#ifndef _WIN32
// The sink and the client in the test's own process.
TEST_F(RecordBridgeTest, ASinkConnectsAtTheServicesConnectionPointAndDisconnects) {
  TrxComPtr<TrxEventSink> sink = TrxEventSink::Create();
  EXPECT_FALSE(sink->Connect(nullptr));
  // The client's application is no connection point container.
  EXPECT_FALSE(sink->Connect(static_cast<INVAutomation*>(m_session->Client())));
  ASSERT_TRUE(sink->Connect(m_session->Facade()));
  ASSERT_TRUE(sink->Connect(m_session->Facade())) << "connecting again replaces the connection";
  EXPECT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  CNVSimUserAction action;
  action.eventId = REQID_PROCESSACCELERATOR;
  action.arguments = {{u"0", u"78"}, {u"1", u"FALSE"}, {u"2", u"TRUE"}, {u"3", u"FALSE"}};
  ASSERT_EQ(m_session->Client()->Play(action), S_OK);
  const std::vector<std::string> lines = sink->TakeLines();
  ASSERT_EQ(lines.size(), 1u) << "one connection, one event";
  EXPECT_EQ(TrxJson::parse(lines[0])["eventName"], "ProcessKeyboardAccelerator");

  EXPECT_FALSE(sink->Connect(nullptr)) << "a failed connect leaves nothing connected";
  EXPECT_FALSE(sink->IsConnected());
  sink->Disconnect();  // nothing to do
  m_bridge->GetEventSink()->TakeLines();
  ASSERT_EQ(m_session->Client()->Play(action), S_OK);
  EXPECT_TRUE(sink->TakeLines().empty()) << "a disconnected sink hears nothing";
  EXPECT_EQ(m_bridge->GetEventSink()->TakeLines().size(), 1u) << "the bridge's own sink still does";
}
#endif

TEST_F(RecordBridgeTest, AClientActionWhileRecordingIsARecordLineBeforeTheReply) {
  EXPECT_EQ(Call({{"id", 1}, {"call", "StartRecording"}})["errCode"], 0);
  TrxJson action = Key("78", false, true, false);
  action.update({{"id", 2}, {"call", "client.action"}});
  const std::vector<TrxJson> lines = Lines(action.dump());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(TrxFields(lines[0], {{"event", "Record"},
                                   {"trxODS", Call({{"call", "GetRootObject"}})["trxODS"]},
                                   {"eventName", "ProcessKeyboardAccelerator"}}));
  EXPECT_EQ(ArgumentStrings(lines[0]["pArgs"]), "Ctrl+N");
  EXPECT_EQ(lines[1], (TrxJson{{"id", 2}, {"hr", 0}}));

  EXPECT_EQ(Call({{"id", 3}, {"call", "StopRecording"}})["errCode"], 0);
  action["id"] = 4;
  EXPECT_EQ(Lines(action.dump()), std::vector<TrxJson>{(TrxJson{{"id", 4}, {"hr", 1}})})
      << "no event once recording stopped; S_FALSE: the client's recorder is off";
}

TEST_F(RecordBridgeTest, RequestsTheServiceMakesAreEchoedDuringTheCallWithLoopbackTests) {
  EXPECT_EQ(Submit("EnableLoopbackTests")["errCode"], 0);
  EXPECT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  const std::vector<TrxJson> lines = Lines(TrxJson{
      {"call", "Submit"},
      {"trxODS", kTrxRootOds},
      {"methodName", "ProcessKeyboardAccelerator"},
      {"Args", "Ctrl+N"}}.dump());
  ASSERT_EQ(lines.size(), 2u) << "the client's echo of the request, then the reply";
  EXPECT_EQ(lines[0]["eventName"], "ProcessKeyboardAccelerator");
  EXPECT_EQ(ArgumentStrings(lines[0]["pArgs"]), "Ctrl+N");
  EXPECT_EQ(lines[1]["errCode"], 0);

  EXPECT_EQ(Submit("DisableLoopbackTests")["errCode"], 0);
  EXPECT_EQ(Submit("ProcessKeyboardAccelerator", "Ctrl+N")["errCode"], 0)
      << "without loopback tests the service keeps the client from recording its own requests";
  EXPECT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
}

#ifndef _WIN32
// trx record runs in the test's own process.

TEST(RecordCommandTest, PrintsTheEventsOfEveryActionInOrderAsJsonOrText) {
  const std::string actions =
      TrxWriteTempFile("actions.jsonl", "# three keys\n" + kCtrlN + "\n\n" + kAltQ + "\r\n   # indented comment\n" +
                                            kCtrlShiftF9 + "\n");
  const char* keys[] = {"Ctrl+N", "Alt+Q", "Shift+Ctrl+F9"};  // the service writes Shift first
  const TrxOutcome run = TrxRun({"record", actions});
  EXPECT_EQ(run.code, kTrxExitOk) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<TrxJson> events = TrxJsonLines(run.out);
  ASSERT_EQ(events.size(), 3u) << run.out;
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_TRUE(TrxFields(events[i], {{"event", "Record"}, {"trxODS", kRecordedRoot}}));
    EXPECT_EQ(events[i]["eventName"], "ProcessKeyboardAccelerator");
    EXPECT_EQ(ArgumentStrings(events[i]["pArgs"]), keys[i]);
  }
  const TrxOutcome text = TrxRun({"record", "--text", "-"}, kCtrlN + "\n" + kAltQ + "\n");
  EXPECT_EQ(text.code, kTrxExitOk) << text.err;
  EXPECT_EQ(
      TrxSplitLines(text.out),
      (std::vector<std::string>{"Record  ProcessKeyboardAccelerator  \"Ctrl+N\"  on " + std::string(kRecordedRoot),
                                "Record  ProcessKeyboardAccelerator  \"Alt+Q\"  on " + std::string(kRecordedRoot)}));
  const TrxOutcome sample = TrxRun({"record", "--text", TrxRepositoryFile("samples/crm-actions.jsonl")});
  EXPECT_EQ(sample.code, kTrxExitOk) << sample.err;
  EXPECT_TRUE(TrxHas(sample.out, "\"Ctrl+N\"")) << sample.out;
}

// The message names the line and says what is wrong, in valid UTF-8.
TEST(RecordCommandTest, ALineThatIsNoActionStopsThePlayWithItsNumber) {
  struct Case {
    std::string line;
    const char* says;
  };
  // clang-format off
  const Case cases[] = {
      {"{\"eventId\":\"NOPE\"}", "unknown request"},
      {"{\"object\":\"\"}", "\"eventId\" is missing"},
      {"{\"eventId\":1,\"colour\":\"red\"}", "unknown field \"colour\""},
      {"[1,2]", "must be a JSON object"},
      {"{\"eventId\":", "invalid JSON"},
      {"{\"eventId\":1,\"arguments\":7}", "\"arguments\" must be"},
      {"{\"eventId\":1,\"object\":\"No/Such/Object\"}", "the client has no object \"No/Such/Object\""},
      {"{\"eventId\":\"\xFF\"}", "invalid UTF-8 at byte offset 12: a byte that never occurs in UTF-8"},
      {"{\"eventId\":1,\"object\":\"\xED\xBF\xBF\"}", "invalid UTF-8 at byte offset 23: an encoded surrogate"},
      {TrxNested("{\"eventId\":1,\"arguments\":{\"a\":", 100000, "}}"), "nested deeper than 256 levels"},
      {"{\"eventId\":1,\"x\":\"" + std::string(size_t{16} << 20, ' ') + "\"}", "the line is longer than 16777216 bytes"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const std::string actions = TrxWriteTempFile("bad.jsonl", kCtrlN + "\n# comment\n" + c.line + "\n" + kAltQ + "\n");
    const TrxOutcome run = TrxRun({"record", actions});
    EXPECT_EQ(run.code, kTrxExitUsage) << c.says;
    EXPECT_TRUE(TrxHas(run.err, actions + ":3: ") && TrxHas(run.err, c.says)) << run.err.substr(0, 300);
    EXPECT_EQ(TrxValidUtf8(run.err), run.err);
    const std::vector<TrxJson> events = TrxJsonLines(run.out);
    ASSERT_EQ(events.size(), 1u) << "only the action before the bad line: " << run.out;
    EXPECT_EQ(ArgumentStrings(events[0]["pArgs"]), "Ctrl+N");
  }
}

TEST(RecordCommandTest, AFailedStartIsReportedAndNothingIsPlayed) {
  TrxSession session;
  std::string error;
  ASSERT_TRUE(session.Open(TrxSessionOptions(), error)) << error;
  session.Client()->SetRecorderSwitchStatus(E_FAIL);
  std::istringstream actions(kCtrlN + "\n");
  std::ostringstream out, err;
  EXPECT_EQ(TrxRunRecord(session, actions, "keys.jsonl", false, out, err), kTrxExitFailed);
  EXPECT_TRUE(TrxHas(err.str(), "trx record: StartRecording failed: errCode ")) << err.str();
  EXPECT_TRUE(TrxHas(err.str(), "Enable Recording failed")) << err.str();
  EXPECT_EQ(out.str(), "");
  EXPECT_FALSE(session.Client()->IsRecorderEnabled());
  for (const TrxString& entry : session.Client()->GetControlLog())
    EXPECT_EQ(TrxNarrow(entry).rfind("FireRecorderEvent", 0), std::string::npos) << "nothing was played";
}
#endif

}  // namespace
