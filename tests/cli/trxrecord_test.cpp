// Recording: the event sink at the service's connection point, `trx record`
// and the Record lines of the serve bridge.
#include <sstream>

#include "cli/trxcommands.h"
#include "cli/trxeventsink.h"
#include "trxclitest.h"

namespace {

// Accelerator actions on the application, as `trx record` reads them.
std::string Key(const char* code, bool shift, bool ctrl, bool alt) {
  auto flag = [](bool on) { return on ? "TRUE" : "FALSE"; };
  TrxJson action = {{"eventId", "PROCESSACCELERATOR"},
                    {"arguments", {{"0", code}, {"1", flag(shift)}, {"2", flag(ctrl)}, {"3", flag(alt)}}}};
  return action.dump();
}
const std::string kCtrlN = Key("78", false, true, false);
const std::string kAltQ = Key("81", false, false, true);
const std::string kCtrlShiftF9 = Key("120", true, true, false);

// The service names the application in recorded events by the client's own
// name for it (as GetRootObject does): "Norvik Sales" in the sample.
const char kRecordedRoot[] = "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik Sales\"/>";

// The text of an event's arguments, whatever their shape: every string in
// the pArgs value, joined by '|'.
std::string ArgumentStrings(const TrxJson& value) {
  if (value.is_string()) return value.get<std::string>();
  std::string joined;
  if (value.is_object() && value.contains("value")) return ArgumentStrings(value["value"]);
  if (value.is_array()) {
    for (const TrxJson& item : value) {
      const std::string text = ArgumentStrings(item);
      if (text.empty()) continue;
      joined += (joined.empty() ? "" : "|") + text;
    }
  }
  return joined;
}

// ---- the event sink ----------------------------------------------------------------------------

#ifndef _WIN32
// The sink and the client in the test's own process.
class EventSinkTest : public TrxBridgeTest {};

TEST_F(EventSinkTest, ConnectsAtTheServicesConnectionPointAndDisconnects) {
  TrxComPtr<TrxEventSink> sink = TrxEventSink::Create();
  ASSERT_TRUE(sink->Connect(m_session->Facade()));
  EXPECT_TRUE(sink->IsConnected());
  ASSERT_TRUE(sink->Connect(m_session->Facade())) << "connecting again replaces the connection";
  EXPECT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  CNVSimUserAction action;
  action.eventId = REQID_PROCESSACCELERATOR;
  action.arguments = {{u"0", u"78"}, {u"1", u"FALSE"}, {u"2", u"TRUE"}, {u"3", u"FALSE"}};
  ASSERT_EQ(m_session->Client()->Play(action), S_OK);
  const std::vector<std::string> lines = sink->TakeLines();
  ASSERT_EQ(lines.size(), 1u) << "one connection, one event";
  EXPECT_EQ(TrxJson::parse(lines[0])["eventName"], "ProcessKeyboardAccelerator");

  sink->Disconnect();
  EXPECT_FALSE(sink->IsConnected());
  sink->Disconnect();  // nothing to do
  m_bridge->GetEventSink()->TakeLines();
  ASSERT_EQ(m_session->Client()->Play(action), S_OK);
  EXPECT_TRUE(sink->TakeLines().empty()) << "a disconnected sink hears nothing";
  EXPECT_EQ(m_bridge->GetEventSink()->TakeLines().size(), 1u) << "the bridge's own sink still does";
}

TEST_F(EventSinkTest, ConnectIsFalseWithoutAConnectionPoint) {
  TrxComPtr<TrxEventSink> sink = TrxEventSink::Create();
  EXPECT_FALSE(sink->Connect(nullptr));
  // The client's application is no connection point container.
  EXPECT_FALSE(sink->Connect(static_cast<INVAutomation*>(m_session->Client())));
  EXPECT_FALSE(sink->IsConnected());
  sink->Disconnect();
  ASSERT_TRUE(sink->Connect(m_session->Facade()));
  EXPECT_FALSE(sink->Connect(nullptr)) << "a failed connect leaves nothing connected";
  EXPECT_FALSE(sink->IsConnected());
}
#endif

// ---- the bridge ---------------------------------------------------------------------------------

class RecordBridgeTest : public TrxBridgeTest {
 protected:
  TrxJson CtrlN() const {
    return {{"call", "client.action"},
            {"eventId", "PROCESSACCELERATOR"},
            {"arguments", {{"0", "78"}, {"1", "FALSE"}, {"2", "TRUE"}, {"3", "FALSE"}}}};
  }
};

TEST_F(RecordBridgeTest, AClientActionWhileRecordingIsARecordLineBeforeTheReply) {
  EXPECT_EQ(Call({{"id", 1}, {"call", "StartRecording"}})["errCode"], 0);
  TrxJson action = CtrlN();
  action["id"] = 2;
  const std::vector<TrxJson> lines = Lines(action.dump());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["event"], "Record");
  EXPECT_EQ(lines[0]["trxODS"], Call({{"call", "GetRootObject"}})["trxODS"]);
  EXPECT_EQ(lines[0]["eventName"], "ProcessKeyboardAccelerator");
  EXPECT_EQ(ArgumentStrings(lines[0]["pArgs"]), "Ctrl+N");
  EXPECT_EQ(lines[1], (TrxJson{{"id", 2}, {"hr", 0}}));

  EXPECT_EQ(Call({{"id", 3}, {"call", "StopRecording"}})["errCode"], 0);
  action["id"] = 4;
  const std::vector<TrxJson> after = Lines(action.dump());
  ASSERT_EQ(after.size(), 1u) << "no event once recording stopped";
  EXPECT_EQ(after[0], (TrxJson{{"id", 4}, {"hr", 1}})) << "S_FALSE: the client's recorder is off";
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
// ---- trx record ------------------------------------------------------------------------------------

TEST(RecordCommandTest, PrintsTheEventsOfEveryActionInOrder) {
  const std::string actions =
      TrxWriteTempFile("actions.jsonl", "# three keys\n" + kCtrlN + "\n\n" + kAltQ + "\r\n   # indented comment\n" +
                                            kCtrlShiftF9 + "\n");
  const TrxOutcome run = TrxRun({"record", "--app", TrxSampleFile(), actions});
  EXPECT_EQ(run.code, kTrxExitOk) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = TrxSplitLines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  const char* keys[] = {"Ctrl+N", "Alt+Q", "Shift+Ctrl+F9"};  // the service writes Shift first
  for (size_t i = 0; i < lines.size(); ++i) {
    const TrxJson event = TrxJson::parse(lines[i]);
    EXPECT_EQ(event["event"], "Record");
    EXPECT_EQ(event["trxODS"], kRecordedRoot);
    EXPECT_EQ(event["eventName"], "ProcessKeyboardAccelerator");
    EXPECT_EQ(ArgumentStrings(event["pArgs"]), keys[i]) << lines[i];
  }
}

TEST(RecordCommandTest, TextPrintsOneReadableLinePerEvent) {
  const TrxOutcome run = TrxRun({"record", "--text", "--app", TrxSampleFile(), "-"}, kCtrlN + "\n" + kAltQ + "\n");
  EXPECT_EQ(run.code, kTrxExitOk) << run.err;
  const std::vector<std::string> lines = TrxSplitLines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_TRUE(TrxHas(lines[0], "Record  ProcessKeyboardAccelerator  ")) << lines[0];
  EXPECT_TRUE(TrxHas(lines[0], "\"Ctrl+N\"")) << lines[0];
  EXPECT_TRUE(TrxHas(lines[0], "  on " + std::string(kRecordedRoot))) << lines[0];
  EXPECT_TRUE(TrxHas(lines[1], "\"Alt+Q\"")) << lines[1];
}

TEST(RecordCommandTest, ALineThatIsNoActionStopsThePlayWithItsNumber) {
  struct Case {
    std::string line;
    const char* says;
  };
  const Case cases[] = {
      {"{\"eventId\":\"NOPE\"}", "unknown request"},
      {"{\"object\":\"\"}", "\"eventId\" is missing"},
      {"{\"eventId\":1,\"colour\":\"red\"}", "unknown field \"colour\""},
      {"[1,2]", "must be a JSON object"},
      {"{\"eventId\":", "invalid JSON"},
      {"{\"eventId\":1,\"arguments\":7}", "\"arguments\" must be"},
      {"{\"eventId\":1,\"object\":\"No/Such/Object\"}", "the client has no object \"No/Such/Object\""},
  };
  for (const Case& c : cases) {
    const std::string actions = TrxWriteTempFile("bad.jsonl", kCtrlN + "\n# comment\n" + c.line + "\n" + kAltQ + "\n");
    const TrxOutcome run = TrxRun({"record", "--app", TrxSampleFile(), actions});
    EXPECT_EQ(run.code, kTrxExitUsage) << c.line;
    EXPECT_TRUE(TrxHas(run.err, actions + ":3: ")) << run.err;
    EXPECT_TRUE(TrxHas(run.err, c.says)) << run.err;
    const std::vector<std::string> lines = TrxSplitLines(run.out);
    ASSERT_EQ(lines.size(), 1u) << "only the action before the bad line: " << run.out;
    EXPECT_EQ(ArgumentStrings(TrxJson::parse(lines[0])["pArgs"]), "Ctrl+N");
  }
}

TEST(RecordCommandTest, AFailedStartIsReportedAndNothingIsPlayed) {
  TrxSession session;
  TrxSessionOptions options;
  options.appFile = TrxSampleFile();
  std::string error;
  ASSERT_TRUE(session.Open(options, error)) << error;
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

TEST(RecordCommandTest, CommandLineAndFileProblems) {
  const TrxOutcome help = TrxRun({"record", "--help"});
  EXPECT_EQ(help.code, kTrxExitOk);
  EXPECT_TRUE(TrxHas(help.out, "usage: trx record")) << help.out;
  EXPECT_TRUE(TrxHas(TrxRun({"--help"}).out, "record")) << "listed in the program's help";

  const TrxOutcome none = TrxRun({"record"});
  EXPECT_EQ(none.code, kTrxExitUsage);
  EXPECT_TRUE(TrxHas(none.err, "ACTIONS is needed")) << none.err;
  EXPECT_EQ(TrxRun({"record", "a.jsonl", "b.jsonl"}).code, kTrxExitUsage);
  EXPECT_EQ(TrxRun({"record", "--loud", "a.jsonl"}).code, kTrxExitUsage);

  const TrxOutcome missing = TrxRun({"record", "--app", TrxSampleFile(), "/nonexistent/actions.jsonl"});
  EXPECT_EQ(missing.code, kTrxExitFailed);
  EXPECT_TRUE(TrxHas(missing.err, "cannot read the actions file /nonexistent/actions.jsonl")) << missing.err;
}

TEST(RecordCommandTest, TheSampleActionsPlay) {
  const TrxOutcome run =
      TrxRun({"record", "--text", "--app", TrxSampleFile(), TrxRepositoryFile("samples/crm-actions.jsonl")});
  EXPECT_EQ(run.code, kTrxExitOk) << run.err;
  EXPECT_TRUE(TrxHas(run.out, "\"Ctrl+N\"")) << run.out;
}
#endif

}  // namespace
