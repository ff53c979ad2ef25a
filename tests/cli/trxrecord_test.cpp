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

// The line of a recorded key, as trx serve writes it, or as --text does. The
// service names the application by the client's own name for it (as
// GetRootObject does): "Norvik Sales" in the sample.
std::string Recorded(const char* keys, bool text = false) {
  const std::string root = "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik Sales\"/>";
  if (text) return "Record  ProcessKeyboardAccelerator  \"" + std::string(keys) + "\"  on " + root + "\n";
  return TrxJson{{"event", "Record"},
                 {"trxODS", root},
                 {"eventName", "ProcessKeyboardAccelerator"},
                 {"pArgs", {{"vt", 8}, {"value", keys}}}}
             .dump() +
         "\n";
}

class RecordBridgeTest : public TrxBridgeTest {};

#ifndef _WIN32
// The sink and the client in the test's own process.
TEST_F(RecordBridgeTest, ASinkConnectsAtTheServicesConnectionPointAndDisconnects) {
  TrxComPtr<TrxEventSink> sink = TrxEventSink::Create();
  EXPECT_FALSE(sink->Connect(nullptr));
  // The client's application is no connection point container.
  EXPECT_FALSE(sink->Connect(static_cast<INVAutomation*>(m_session->Client())));
  ASSERT_TRUE(sink->Connect(m_session->Facade()) && sink->Connect(m_session->Facade()));
  EXPECT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  TrxJson action = Key("78", false, true, false);
  action["call"] = "client.action";
  const std::string play = action.dump();
  EXPECT_EQ(Lines(play).size(), 2u);
  const std::vector<std::string> heard = sink->TakeLines();
  EXPECT_TRUE(heard.size() == 1 && TrxJson::parse(heard[0]) == TrxJson::parse(Recorded("Ctrl+N")))
      << "connecting again replaced the connection: one event";
  EXPECT_FALSE(sink->Connect(nullptr) || sink->IsConnected()) << "a failed connect leaves nothing connected";
  sink->Disconnect();  // nothing to do
  EXPECT_EQ(Lines(play).size(), 2u);
  EXPECT_TRUE(sink->TakeLines().empty()) << "a disconnected sink hears nothing, the bridge's own does";
}
#endif

TEST_F(RecordBridgeTest, RecordingSwitchesTheClientsRecorderAndAnActionIsARecordLineBeforeTheReply) {
  EXPECT_EQ(Call({{"id", 1}, {"call", "StartRecording"}}), R"({"id":1,"hr":0,"errCode":0,"errMsg":""})"_j);
  EXPECT_EQ(Call({{"call", "client.state"}})["recorder"], true);
  TrxJson action = Key("78", false, true, false);
  action.update({{"id", 2}, {"call", "client.action"}});
  EXPECT_EQ(Lines(action.dump()), (std::vector<TrxJson>{TrxJson::parse(Recorded("Ctrl+N")), R"({"id":2,"hr":0})"_j}));
  EXPECT_EQ(Call({{"id", 3}, {"call", "StopRecording"}})["errCode"], 0);
  EXPECT_EQ(Call({{"call", "client.state"}})["recorder"], false);
  action["id"] = 4;
  EXPECT_EQ(Lines(action.dump()), std::vector<TrxJson>{R"({"id":4,"hr":1})"_j})
      << "no event once recording stopped; S_FALSE: the client's recorder is off";
}

TEST_F(RecordBridgeTest, RequestsTheServiceMakesAreEchoedDuringTheCallWithLoopbackTests) {
  EXPECT_EQ(Submit("EnableLoopbackTests")["errCode"], 0);
  EXPECT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  const std::string submit = TrxJson{
      {"call", "Submit"},
      {"trxODS", kTrxRootOds},
      {"methodName", "ProcessKeyboardAccelerator"},
      {"Args", "Ctrl+N"}}.dump();
  const std::vector<TrxJson> lines = Lines(submit);
  ASSERT_EQ(lines.size(), 2u) << "the client's echo of the request, then the reply";
  EXPECT_EQ(lines[0], TrxJson::parse(Recorded("Ctrl+N")));
  EXPECT_EQ(lines[1]["errCode"], 0);
  EXPECT_EQ(Submit("DisableLoopbackTests")["errCode"], 0);
  EXPECT_EQ(Lines(submit).size(), 1u)
      << "without loopback tests the service keeps the client from recording its own requests";
  EXPECT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
}

#ifndef _WIN32
// trx record runs in the test's own process.

// The Submit line of `trx record --emit jsonl` that replays a recorded key.
std::string Replayed(int id, const char* keys) {
  const TrxJson event = TrxJson::parse(Recorded(keys));
  return TrxJson{{"id", id}, {"call", "Submit"}, {"trxODS", event["trxODS"]}, {"methodName", event["eventName"]},
                 {"Args", event["pArgs"]}}
             .dump() +
         "\n";
}

// An actions file: Ctrl+N, a comment, `line` (line 3), then Alt+Q.
std::string Actions(const std::string& line) {
  static int files = 0;
  return TrxWriteTempFile("bad" + std::to_string(++files) + ".jsonl",
                          kCtrlN + "\n# comment\n" + line + "\n" + kAltQ + "\n");
}

// A line that is no action stops the play with its number and what is
// wrong; only the action before it is played.
TEST(RecordCommandTest, PrintsTheEventsOfEveryActionInOrderUntilALineThatIsNoAction) {
  const std::string keys = TrxWriteTempFile("actions.jsonl", "# three keys\n" + kCtrlN + "\n\n" + kAltQ +
                                                                 "\r\n   # indented comment\n" + kCtrlShiftF9 + "\n");
  const std::string ctrlN = Recorded("Ctrl+N");
  // clang-format off
  const TrxRunCase cases[] = {
      {{"record", keys}, kTrxExitOk, {Recorded("Ctrl+N") + Recorded("Alt+Q") + Recorded("Shift+Ctrl+F9")}, "", true},  // the service writes Shift first
      {{"record", "--text", keys}, kTrxExitOk, {Recorded("Ctrl+N", true) + Recorded("Alt+Q", true) + Recorded("Shift+Ctrl+F9", true)}, "", true},
      {{"record", "--text", TrxRepositoryFile("samples/crm-actions.jsonl")}, kTrxExitOk, {Recorded("Ctrl+N", true)}},
      {{"record", "--emit", "jsonl", keys}, kTrxExitOk, {Replayed(1, "Ctrl+N") + Replayed(2, "Alt+Q") + Replayed(3, "Shift+Ctrl+F9")}, "", true},
      {{"record", "--emit=python", keys}, kTrxExitOk, {"def replay(trx):\n    trx[app].call(\"ProcessKeyboardAccelerator\", \"Ctrl+N\")\n    trx[app].call(\"ProcessKeyboardAccelerator\", \"Alt+Q\")\n", "ACTIONS = \"" + keys + "\""}},
      {{"record", "--emit", "perl", keys}, kTrxExitUsage, {}, "--emit must be python or jsonl"},
      {{"record", "--text", "--emit", "python", keys}, kTrxExitUsage, {}, "--text and --emit do not go together"},
      {{"record", Actions("{\"eventId\":\"NOPE\"}")}, kTrxExitUsage, {ctrlN}, ":3: \"eventId\": unknown request", true},
      {{"record", Actions("{\"object\":\"\"}")}, kTrxExitUsage, {ctrlN}, ":3: \"eventId\" is missing", true},
      {{"record", Actions("{\"eventId\":1,\"colour\":\"red\"}")}, kTrxExitUsage, {ctrlN}, ":3: unknown field \"colour\"", true},
      {{"record", Actions("[1,2]")}, kTrxExitUsage, {ctrlN}, ":3: an action must be a JSON object", true},
      {{"record", Actions("{\"eventId\":")}, kTrxExitUsage, {ctrlN}, ":3: invalid JSON", true},
      {{"record", Actions("{\"eventId\":1,\"arguments\":7}")}, kTrxExitUsage, {ctrlN}, ":3: \"arguments\" must be", true},
      {{"record", Actions("{\"eventId\":1,\"object\":\"No/Such/Object\"}")}, kTrxExitUsage, {ctrlN}, ":3: the client has no object \"No/Such/Object\"", true},
      {{"record", Actions("{\"eventId\":\"\xFF\"}")}, kTrxExitUsage, {ctrlN}, ":3: invalid UTF-8 at byte offset 12: a byte that never occurs in UTF-8", true},
      {{"record", Actions(TrxNested("{\"eventId\":1,\"arguments\":{\"a\":", 100000, "}}"))}, kTrxExitUsage, {ctrlN}, ":3: arrays and objects nested deeper than 256 levels", true},
      {{"record", Actions("{\"eventId\":1,\"x\":\"" + std::string(size_t{16} << 20, ' ') + "\"}")}, kTrxExitUsage, {ctrlN}, ":3: the line is longer than 16777216 bytes", true},
  };
  // clang-format on
  for (const TrxRunCase& c : cases) TrxExpectRun(c);
}

TEST(RecordCommandTest, AFailedStartIsReportedAndNothingIsPlayed) {
  TrxSession session;
  std::string error;
  ASSERT_TRUE(session.Open(TrxSessionOptions(), error)) << error;
  session.Client()->SetRecorderSwitchStatus(E_FAIL);
  std::istringstream actions(kCtrlN + "\n");
  std::ostringstream out, err;
  EXPECT_EQ(TrxRunRecord(session, actions, "keys.jsonl", TrxRecordOutput::events, out, err), kTrxExitFailed);
  EXPECT_TRUE(TrxHas(err.str(), "trx record: StartRecording failed: errCode ")) << err.str();
  EXPECT_TRUE(TrxHas(err.str(), "Enable Recording failed")) << err.str();
  EXPECT_EQ(out.str(), "");
  EXPECT_FALSE(session.Client()->IsRecorderEnabled());
  for (const TrxString& entry : session.Client()->GetControlLog())
    EXPECT_EQ(TrxNarrow(entry).rfind("FireRecorderEvent", 0), std::string::npos) << "nothing was played";
}
#endif

}  // namespace
