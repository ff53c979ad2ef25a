// The task assistant, the task pane with its links and the communications
// toolbar of the sample client through the bridge: read, driven through a
// task, and user actions recorded as the calls that replay them.
#include "trxclitest.h"

namespace {

const std::string kAssistant = "NorvTaskAssistant[TaskAssistant]";
const std::string kPane = "NorvTaskUIPane[TaskUIPane]";
const std::string kCtb = "NorvCommunicationsToolbar[NorvCommunicationsToolbar]";
std::string Link(const std::string& task) { return kPane + "/NorvTaskLink[" + task + "]"; }

const TrxJson& kAny = kTrxAny;
using TasksTest = TrxBridgeTest;

TEST_F(TasksTest, PanelsAreReadAndQueried) {
  // clang-format off
  ExpectReads({
      {kAssistant, "HtmlId", kAny, 0, "s_ta"},
      {kPane, "GetTaskByIndex", {1}, 0, "Log a Call"},
      {kPane, "GetTaskByIndex", {2}, 1014, kAny},
      {kPane, "GetTaskByIndex", {-1}, 1014, kAny},
      {kPane, "GetStepByIndex", {0}, 1014, kAny},
      {kPane, "GetClassCount", {"NorvTaskLink"}, 0, 2},
      {kPane, "GetRepositoryNameByIndex", {"NorvTaskLink", 1}, 0, "Log a Call"},
      {kPane, "GetRepositoryNameByIndex", {"NorvTaskLink", 2}, 1014, kAny},
      {kPane, "GetData", kAny, 0, {{"Create Order"}, {"Log a Call"}}},
      {Link("Create Order|Sales"), "RepositoryName", kAny, 0, "Create Order|Sales"},
      {kCtb, "UIName", kAny, 0, "Communications"},
      {kCtb, "CurrentWorkItem", kAny, 0, "Call from 555-0142"},
      {kCtb, "GetButtonState", {"Answer"}, 0, "Enabled"},
      {kCtb, "GetButtonTooltip", {"Hold"}, 0, "Put the call on hold"},
      {kCtb, "GetData", kAny, 0, {{"Name", "State", "Tooltip"}, {"Answer", "Enabled", "Answer the call"},
                                  {"Release", "Disabled", "Release the call"}, {"Hold", "Disabled", "Put the call on hold"}}},
  });
  // clang-format on
  // A button the client cannot read out for a moment is asked again.
  Call({{"call", "client.failProperty"}, {"object", "NorvCommunicationsToolbar"}, {"property", "ButtonState"}, {"count", 2}});
  ExpectReads({{kCtb, "GetButtonState", {"Answer"}, 0, "Enabled"}});
}

TEST_F(TasksTest, ATaskIsStartedSteppedAndClosedAndTheBarActedOn) {
  struct Step {  // a call, then the client's panel and a property of it afterwards
    std::string path; const char* method; TrxJson args; const char* object; const char* property; TrxJson value;
  };
  // clang-format off
  const Step steps[] = {
      {kAssistant, "Start", {"0"}, "TaskAssistant", "TaskName", "Create Order"},
      {kAssistant, "Next", TrxJson::array(), "TaskAssistant", "StepNum", 2},
      {kAssistant, "Step", {"3"}, "TaskAssistant", "StepNum", 3},
      {kAssistant, "Close", TrxJson::array(), "TaskAssistant", "TaskName", ""},
      {Link("Log a Call|Service"), "Click", TrxJson::array(), "TaskUIPane", "ActiveTask", "Log a Call"},
      {kPane, "Close", TrxJson::array(), "TaskUIPane", "ActiveTask", ""},
      {kPane, "Start", {"Create Order", "Sales"}, "TaskUIPane", "ActiveTask", "Create Order"},
      {kCtb, "SetText", {"Case 42"}, "NorvCommunicationsToolbar", "WorkEdit", "Case 42"},
      {kCtb, "Click", {"Answer"}, "NorvCommunicationsToolbar", "Message", "Connected"},
  };
  // clang-format on
  for (const Step& s : steps) {
    EXPECT_EQ(On(s.path, s.method, s.args)["errCode"], 0) << s.path << " " << s.method;
    EXPECT_EQ(ClientValue(s.object, s.property), s.value) << s.path << " " << s.method;
  }
  // clang-format off
  ExpectReads({
      {kPane, "GetData", kAny, 0, {{"Select Account"}, {"Add Products"}, {"Submit Order"}}},
      {kPane, "GetStepByIndex", {2}, 0, "Submit Order"},
      {kCtb, "GetButtonState", {"Release"}, 0, "Enabled"},
      {Link("|"), "Click", TrxJson::array(), 0, kAny},  // no task: empty name and group
  });
  // clang-format on
  const TrxJson journal = Call({{"call", "client.journal"}})["journal"];
  EXPECT_EQ(journal.back()["arguments"], TrxJson({"", ""})) << journal.back().dump();
  // Steps that are one text instead of a list: the caller hears of it, the output stays unwritten.
  Call({{"call", "client.set"}, {"object", "TaskUIPane"}, {"property", "StepList"}, {"value", "Submit Order"}});
  const TrxJson reply = On(kPane, "GetData");
  EXPECT_EQ(reply["errCode"], 103) << reply.dump();
  EXPECT_TRUE(TrxPlain(reply["retVal"]).is_null()) << reply.dump();
}

TEST_F(TasksTest, UserActionsAreRecordedAsTheCallsThatReplayThem) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  struct Action {  // the user's action, then the recorded call (args null: none)
    const char* object; const char* eventId; TrxJson arguments; std::string path; const char* method; TrxJson args;
  };
  // clang-format off
  const Action actions[] = {
      {"TaskAssistant", "TASKSTART", {{"0", "0"}}, kAssistant, "Start", "0"},
      {"TaskAssistant", "TASKNEXT", TrxJson::array(), kAssistant, "Next", nullptr},
      {"TaskUIPane", "TASKSTART", {{"0", "Log a Call"}, {"1", "Service"}}, Link("Log a Call|Service"), "Click", nullptr},
      {"NorvCommunicationsToolbar", "CTB_SETWORKEDIT", {{"0", "Case 42"}}, kCtb, "SetText", "Case 42"},
      {"NorvCommunicationsToolbar", "BUTTONCLICK", {{"0", "Answer"}}, kCtb, "Click", "Answer"},
  };
  // clang-format on
  std::vector<TrxJson> recorded;
  for (const Action& a : actions) recorded.push_back(RecordedAction(a.object, a.eventId, a.arguments, a.path, a.method, a.args));
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  ReplayOnAFreshClient(recorded);  // to the same state
  EXPECT_EQ(ClientValue("TaskAssistant", "StepNum"), 2);
  EXPECT_EQ(ClientValue("TaskUIPane", "ActiveTask"), "Log a Call");
  EXPECT_EQ(ClientValue("NorvCommunicationsToolbar", "WorkEdit"), "Case 42");
  EXPECT_EQ(ClientValue("NorvCommunicationsToolbar", "Message"), "Connected");
}

TEST_F(TasksTest, AToolbarWithoutButtonsHasOnlyItsHeaderRow) {
  Open(TrxWriteTempFile("ctb-without-buttons.xml",
                        "<application name=\"Bare\" htmlId=\"s_0\">\n"
                        "  <object type=\"NAVCONTROL\" name=\"Screen\" htmlId=\"s_sctrl\"/>\n"
                        "  <object type=\"EXTOBJECT\" name=\"NorvCommunicationsToolbar\" displayName=\"Comms\">\n"
                        "    <property name=\"Type\">NorvCommunicationsToolbar</property>\n"
                        "  </object>\n"
                        "</application>\n"));
  // clang-format off
  ExpectReads({
      {"NorvApplication[Bare]/" + kCtb, "GetData", kAny, 0, {{"Name", "State", "Tooltip"}}},
  });
  // clang-format on
}

}  // namespace
