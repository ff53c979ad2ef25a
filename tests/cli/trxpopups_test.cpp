// The popup fields of the sample's opportunity form (calendars, calculator,
// currency with its sub-fields) and the form's other fields through the
// bridge: read, driven, found, listed, recorded and replayed.
#include <fstream>

#include "trxclitest.h"

namespace {

const TrxJson& kAny = kTrxAny;
const std::string kForm = "NorvScreen[Opportunities Screen]/NorvView[Opportunity List View]/NorvApplet[Opportunity Form Applet]";
const std::string kClientForm = "Opportunities Screen/Opportunity List View/Opportunity Form Applet/";
std::string F(const std::string& field) { return kForm + "/" + field; }
const std::string kDate = F("NorvCalendar[Close Date]"), kCall = F("NorvCalendar[Next Call]"), kMeet = F("NorvCalendar[Meeting Time]");
const std::string kCalc = F("NorvCalculator[Probability]"), kCur = F("NorvCurrency[Revenue]");
const std::string kCode = kCur + "/NorvText[Currency Code]", kAmount = kCur + "/NorvCalculator[Amount]", kRate = kCur + "/NorvCalendar[Exchange Date]";
// Every field and sub-field of the form: descriptor path and HTML id.
const std::pair<std::string, const char*> kFields[] = {
    {F("NorvText[Name]"), "s_8_1_10"}, {F("NorvPicklist[Sales Stage]"), "s_8_1_11"}, {kCalc, "s_8_1_12"}, {kDate, "s_8_1_13"},
    {kCur, "s_8_1_14"}, {kCode, "s_8_1_14_1"}, {kAmount, "s_8_1_14_2"}, {kRate, "s_8_1_14_3"}, {kCall, "s_8_1_15"}, {kMeet, "s_8_1_16"},
    {F("NorvText[Portal Password]"), "s_8_1_17"}, {F("NorvText[Sales Team]"), "s_8_1_18"}, {F("NorvRichText[Notes]"), "s_8_1_19"},
    {F("NorvTextArea[Signature]"), "s_8_1_20"}, {F("NorvText[Opportunity Id]"), "s_8_1_21"}, {F("NorvCheckbox[Discount Approved]"), "s_8_1_22"},
    {F("NorvButton[WriteRecord]"), "s_8_1_1"}, {F("NorvButton[UndoRecord]"), "s_8_1_2"}};

class PopupsTest : public TrxBridgeTest {
 protected:
  void SetUp() override {
    Open(TrxSampleFile());
    ASSERT_EQ(Call({{"call", "client.gotoScreen"}, {"screen", "Opportunities Screen"}})["ok"], true);
  }
  // The client's values of the fields the form actions change.
  std::vector<TrxJson> Values() {
    std::vector<TrxJson> values;
    for (std::string field : {"Probability", "Close Date", "Next Call", "Meeting Time", "Revenue", "Revenue/Amount", "Notes", "Signature", "Sales Team",
                              "Name", "Sales Stage", "Portal Password", "Discount Approved", "Accounts Screen/Account List View/Account Form Applet/Name",
                              "Accounts Screen/Account List View/Account Form Applet/Key Account", "Contacts Screen/Contact List View/Contact Form Applet/Preferred Contact"})
      values.push_back(Call({{"call", "client.get"}, {"object", TrxHas(field, " Screen/") ? field : kClientForm + field}, {"property", "Value"}})["value"]);
    return values;
  }
};

// A call, the client's requests for it, and a property read afterwards (of `readPath`, else the object; none: the call's result).
// clang-format off
struct Step { std::string path; const char* method; TrxJson args; LONG errCode; std::vector<std::string> requests; TrxJson value; const char* read = nullptr; std::string readPath = ""; };
// clang-format on

TEST_F(PopupsTest, FieldsAndSubFieldsAreReadAndDrivenAndTheClientFollows) {
  const std::vector<std::string> none, focused = {"REQID_SETFOCUS", "REQID_SETVALUE", "REQID_CLEARFOCUS"};
  const std::vector<std::string> opened = {"REQID_SETFOCUS", "REQID_SHOWPOPUP", "REQID_CLEARFOCUS"}, keys3(3, "REQID_SELECTCALCKEY");
  // clang-format off
  const Step steps[] = {
      {kForm, "GetClassCount", {"NorvCalendar"}, 0, none, 3},
      {kDate, "CalendarType", kAny, 0, none, "Date"},
      {kMeet, "CalendarType", kAny, 0, none, "DateTimeZone"},
      {kMeet, "TimeZoneCount", kAny, 0, none, 4},
      {kCur, "GetClassCount", {"norvcalculator"}, 0, none, 1},
      {kCur, "GetRepositoryNameByIndex", {"NorvCalendar", 0}, 0, none, "Exchange Date"},
      {kCur, "GetRepositoryNameByIndex", {"NorvText", 1}, 0, none, ""},
      {kCur, "GetRepositoryName", {"NorvText", "currency code:"}, 0, none, "Currency Code"},
      {kCur, "GetRepositoryName", {"NorvCalendar", "Amount"}, 0, none, ""},
      {kCur + "/NorvCheckbox[Amount]", "Text", kAny, -10, none, nullptr},  // the currency has no such sub-field
      {kDate, "SetText", {"12/24/2024"}, 0, focused, 24, "Day"},
      {kDate, "SetDay", {5}, 0, {"REQID_SELECTDAY"}, "12/5/2024", "Text"},
      {kDate, "SetMonth", {11}, 0, {"REQID_SELECTMONTH"}, "11/5/2024", "Text"},
      {kDate, "NextMonth", kAny, 0, {"REQID_SCROLLMONTHNEXT"}, "12/5/2024", "Text"},
      {kDate, "ProcessKey", {"RightArrow"}, 0, {"REQID_ARROW_KEY"}, 6, "Day"},
      {kDate, "ProcessKey", {"DownArrow"}, 0, {"REQID_ARROW_KEY"}, "12/13/2024", "Text"},
      {kDate, "ProcessKey", {"uparrow"}, 0, {"REQID_ARROW_KEY"}, 13, "Day"},  // no arrow: sent as written
      {kDate, "ProcessKey", {"EnterKey"}, 0, {"REQID_SETFOCUS", "REQID_ENTER_KEY"}, 13, "Day"},
      {kDate, "OpenPopup", kAny, 0, opened, true, "IsOpen"},
      {kDate, "ClosePopup", kAny, 0, {"REQID_CLOSEPOPUP"}, false, "IsOpen"},
      {kCall, "SetTime", {"16:45"}, 0, {"REQID_SETTIME"}, "6/14/2024 16:45", "Text"},
      {kMeet, "SelectTimeZone", {"CET"}, 0, {"REQID_SELECTTIMEZONE"}, "6/20/2024 14:30 CET", "Text"},
      {kMeet, "SelectTimeZone", {"Mars"}, -1023, {"REQID_SELECTTIMEZONE"}, "CET", "TimeZone"},
      {kCalc, "OpenPopup", kAny, 0, opened, true, "IsOpen"},
      {kCalc, "ClickKeys", {"C75"}, 0, keys3, "75", "Text"},
      {kCalc, "ClickKeys", {"1%2"}, -1023, {"REQID_SELECTCALCKEY", "REQID_SELECTCALCKEY"}, "751", "Text"},  // stops at the refused key
      {kCalc, "ClickKeys", {""}, 0, none, "751", "Text"},
      {kCalc, "ClickKey", {"="}, 0, {"REQID_SELECTCALCKEY"}, false, "IsOpen"},
      {kCur, "OpenPopup", kAny, 0, opened, "250000", "Text", kAmount},
      {kCode, "SetText", {"EUR"}, 0, focused, "EUR", "Text"},
      {kAmount, "ClickKeys", {"C31"}, 0, keys3, "31", "Text"},
      {kRate, "SetText", {"7/1/2024"}, 0, focused, "6/1/2024", "ExchangeDate", kCur},
      {kCur, "ClosePopup", kAny, 0, {"REQID_CLOSEPOPUP"}, "31 EUR", "Text"},
      {kAmount, "SetText", {"99"}, 0, focused, "99", "Text"},
      {kCur, "CancelPopup", kAny, 0, {"REQID_CANCELPOPUP"}, "31", "Amount"},
      {kCur, "SetText", {"5 GBP"}, 0, focused, "GBP", "CurrencyCode"},
      {F("NorvText[Opportunity Id]"), "SetText", {"x"}, -1023, {"REQID_SETFOCUS", "REQID_SETVALUE"}, "1-OPP-4711", "Text"},
  };
  // clang-format on
  for (const Step& s : steps) {
    Requests();
    const std::string label = s.path + " " + s.method + s.args.dump();
    const TrxJson reply = On(s.path, s.method, s.args);
    EXPECT_EQ(reply["errCode"], s.errCode) << label;
    EXPECT_EQ(Requests(), s.requests) << label;
    const TrxJson value = s.read ? On(s.readPath.empty() ? s.path : s.readPath, s.read)["retVal"] : reply["retVal"];
    if (!s.value.is_null()) { EXPECT_EQ(TrxPlain(value), s.value) << label << " then " << (s.read ? s.read : ""); }
  }
}

TEST_F(PopupsTest, TheFormIsListedAndEveryFieldFoundByItsHtmlId) {
  for (int mode : {0, 1, 5}) {
    const TrxJson reply = Call({{"call", "GetObjectContents"}, {"nMode", mode}, {"trxODS", TrxOds(kForm)}});
    const std::string xml = reply["trxContentXML"].get<std::string>();
    for (const auto& [path, htmlId] : kFields) {
      const std::string last = path.substr(path.rfind('/') + 1), name = last.substr(last.find('[') + 1);
      const std::string element = "<Obj ClassName=\"" + last.substr(0, last.find('[')) + "\" RepositoryName=\"" + name.substr(0, name.size() - 1) + "\"";
      EXPECT_TRUE(TrxHas(xml, element)) << mode << " " << element;
      if (mode != 5) { EXPECT_TRUE(TrxHas(xml, std::string("Name=\"HtmlId\" Value=\"") + htmlId + "\"")) << mode << " " << htmlId; }
    }
    for (const char* property : {"Name=\"CalendarType\" Value=\"DateTimeZone\"", "Name=\"TimeZoneCount\" Value=\"4\"", "Name=\"Amount\" Value=\"250000\"",
                                 "Name=\"PopupType\" Value=\"MVPick\"", "Name=\"CheckState\" Value=\"Indeterminate\"", "Name=\"IsOpen\" Value=\"0\""})
      EXPECT_EQ(TrxHas(xml, property), mode != 5) << mode << " " << property;
  }
  for (const auto& [path, htmlId] : kFields)
    EXPECT_EQ(Call({{"call", "GetObjectFromId"}, {"htmlId", htmlId}})["trxODS"], TrxOds("NorvApplication[Norvik Sales]/" + path)) << htmlId;
}

TEST_F(PopupsTest, UserActionsAreRecordedAsTheirCallsAndKeysThatAreNoArrowsAsNothing) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  // clang-format off
  struct Action { const char* field; const char* eventId; const char* argument; std::string ods; const char* method; TrxJson args; };
  const Action actions[] = {
      {"Close Date", "SELECTMONTH", "7", kDate, "SetMonth", 7},
      {"Close Date", "ARROW_KEY", "40", kDate, "ProcessKey", "DownArrow"},
      {"Close Date", "ARROW_KEY", "41", kDate, nullptr, kAny},    // no arrow: nothing recorded
      {"Close Date", "ARROW_KEY", "up", kDate, nullptr, kAny},    // no number: nothing recorded
      {"Close Date", "SELECTDAY", nullptr, kDate, nullptr, kAny}, // no day: nothing recorded
      {"Revenue/Amount", "SELECTCALCKEY", "5", kAmount, "ClickKey", "5"},
  };
  // clang-format on
  for (const Action& a : actions) {
    TrxJson action = {{"call", "client.action"}, {"object", kClientForm + a.field}, {"eventId", a.eventId}};
    if (a.argument) action["arguments"] = {{"0", a.argument}};
    const std::vector<TrxJson> lines = Lines(action.dump());
    ASSERT_EQ(lines.size(), a.method ? 2u : 1u) << a.field << " " << a.eventId;
    if (!a.method) { EXPECT_EQ(Call({{"call", "GetLastError"}})["errCode"], 1020) << a.eventId; continue; }
    EXPECT_EQ(lines[0]["trxODS"], TrxOds("NorvApplication[Norvik Sales]/" + a.ods)) << a.eventId;
    EXPECT_EQ(lines[0]["eventName"], a.method) << lines[0].dump();
    EXPECT_EQ(TrxPlain(lines[0]["pArgs"]), a.args) << lines[0].dump();
  }
}

#ifndef _WIN32
// trx record runs in the test's own process.
TEST_F(PopupsTest, TheFormActionsFileRecordsCallsThatReplayToTheSameValues) {
  const std::string actions = TrxRepositoryFile("samples/form-actions.jsonl");
  const TrxOutcome run = TrxRun({"record", "--app", TrxSampleFile(), actions});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::vector<TrxJson> recorded = TrxJsonLines(run.out);
  Open(TrxSampleFile());  // the user's actions on a fresh client, then the recorded calls on another
  std::ifstream file(actions);
  size_t count = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    TrxJson action = TrxJson::parse(line);
    action["call"] = "client.action";
    EXPECT_EQ(Lines(action.dump()).back()["hr"], 1) << line;  // S_FALSE: the recorder is off
    ++count;
  }
  const std::vector<TrxJson> played = Values();
  Open(TrxSampleFile());
  for (const TrxJson& e : recorded) EXPECT_EQ(Replay(e)["errCode"], 0) << e.dump();
  EXPECT_EQ(Values(), played);
  EXPECT_EQ(recorded.size(), count) << "every action is recorded";
}
#endif

}  // namespace
