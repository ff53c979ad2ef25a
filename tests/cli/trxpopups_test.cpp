// The popup fields of the sample's opportunity form (calendars, calculator,
// currency with its sub-fields) and the form's other fields through the
// bridge: read, driven, found, listed, recorded and replayed.
#include <fstream>

#include "trxclitest.h"

namespace {

const TrxJson kAny(TrxJson::value_t::discarded);
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
  void SetUp() override { Start(); }
  void Start() {
    Open(TrxSampleFile());
    ASSERT_EQ(Call({{"call", "client.gotoScreen"}, {"screen", "Opportunities Screen"}})["ok"], true);
  }
  TrxJson On(const std::string& path, const std::string& method, const TrxJson& args = kAny) { return Submit(method, args, TrxOds(path)); }
  std::vector<std::string> Requests() {
    std::vector<std::string> requests;
    const TrxJson journal = Call({{"call", "client.journal"}, {"clear", true}});
    for (const TrxJson& entry : journal["journal"]) requests.push_back(entry["request"]);
    return requests;
  }
  // The client's values of the fields the actions change.
  std::vector<TrxJson> Values() {
    std::vector<TrxJson> values;
    for (const char* field : {"Probability", "Close Date", "Next Call", "Meeting Time", "Revenue", "Revenue/Amount", "Notes", "Signature",
                              "Sales Team", "Name", "Sales Stage", "Portal Password", "Discount Approved"})
      values.push_back(Call({{"call", "client.get"}, {"object", kClientForm + field}, {"property", "Value"}})["value"]);
    for (const char* field : {"Accounts Screen/Account List View/Account Form Applet/Name", "Accounts Screen/Account List View/Account Form Applet/Key Account",
                              "Accounts Screen/Account List View/Account Form Applet/Description", "Contacts Screen/Contact List View/Contact Form Applet/Preferred Contact"})
      values.push_back(Call({{"call", "client.get"}, {"object", field}, {"property", "Value"}})["value"]);
    return values;
  }
  void Replay(const std::vector<TrxJson>& events) {
    for (const TrxJson& e : events)
      EXPECT_EQ(Call({{"call", "Submit"}, {"trxODS", e["trxODS"]}, {"methodName", e["eventName"]}, {"Args", e["pArgs"]}})["errCode"], 0) << e.dump();
  }
};

// clang-format off
struct Read { std::string path; const char* method; TrxJson args; LONG errCode; TrxJson value; };
struct Step { std::string path; const char* method; TrxJson args; LONG errCode; std::vector<std::string> requests; std::string readPath; const char* read; TrxJson value; };
// clang-format on

TEST_F(PopupsTest, FieldsAndSubFieldsAnswerTheirPropertiesAndLookups) {
  // clang-format off
  const Read reads[] = {
      {kForm, "GetClassCount", {"NorvCalendar"}, 0, 3},
      {kForm, "GetClassCount", {"NorvInkData"}, 0, 1},
      {kForm, "GetClassCount", {"NorvText"}, 0, 4},
      {kForm, "GetRepositoryName", {"NorvCalendar", "Next Call"}, 0, "Next Call"},
      {kDate, "CalendarType", kAny, 0, "Date"},
      {kCall, "CalendarType", kAny, 0, "DateTime"},
      {kMeet, "CalendarType", kAny, 0, "DateTimeZone"},
      {kMeet, "TimeZoneCount", kAny, 0, 4},
      {kMeet, "Time", kAny, 0, "14:30"},
      {kDate, "Text", kAny, 0, "9/30/2024"},
      {kDate, "IsEnabled", kAny, 0, true},
      {kCalc, "Text", kAny, 0, "60"},
      {kCur, "Text", kAny, 0, "250000 USD"},
      {kCur, "GetClassCount", {"norvcalculator"}, 0, 1},
      {kCur, "GetClassCount", {"NorvList"}, 0, 0},
      {kCur, "GetRepositoryNameByIndex", {"NorvCalendar", 0}, 0, "Exchange Date"},
      {kCur, "GetRepositoryNameByIndex", {"NorvText", 1}, 0, ""},
      {kCur, "GetRepositoryName", {"NorvText", "currency code:"}, 0, "Currency Code"},
      {kCur, "GetRepositoryName", {"NorvCalendar", "Amount"}, 0, ""},
      {kCode, "Text", kAny, 0, "USD"},
      {kAmount, "UIName", kAny, 0, "Amount:"},
      {kRate, "Text", kAny, 0, "6/1/2024"},
      {kCur + "/NorvCheckbox[Amount]", "Text", kAny, -10, kAny},  // the currency has no such sub-field
      {F("NorvText[Portal Password]"), "PopupType", kAny, 0, "Text"},
      {F("NorvText[Portal Password]"), "IsEncrypted", kAny, 0, true},
      {F("NorvText[Sales Team]"), "PopupType", kAny, 0, "MVPick"},
      {F("NorvText[Opportunity Id]"), "IsEnabled", kAny, 0, false},
      {F("NorvInkData[Signature]"), "ClassName", kAny, 0, "NorvTextArea"},
      {F("NorvRichText[Notes]"), "Text", kAny, 0, "<b>Fleet</b> renewal for 40 vans."},
      {F("NorvCheckbox[Discount Approved]"), "CheckState", kAny, 0, "Indeterminate"},
  };
  // clang-format on
  for (const Read& r : reads) {
    const TrxJson reply = On(r.path, r.method, r.args);
    EXPECT_EQ(reply["errCode"], r.errCode) << r.path << " " << r.method << r.args.dump() << reply.dump();
    if (!r.value.is_discarded()) { EXPECT_EQ(TrxPlain(reply["retVal"]), r.value) << r.path << " " << r.method << r.args.dump(); }
  }
}

TEST_F(PopupsTest, ActionsSendTheirRequestsAndTheClientFollows) {
  const std::vector<std::string> none, focused = {"REQID_SETFOCUS", "REQID_SETVALUE", "REQID_CLEARFOCUS"};
  const std::vector<std::string> opened = {"REQID_SETFOCUS", "REQID_SHOWPOPUP", "REQID_CLEARFOCUS"};
  const std::vector<std::string> keys3(3, "REQID_SELECTCALCKEY");
  // clang-format off
  const Step steps[] = {
      {kDate, "SetText", {"12/24/2024"}, 0, focused, kDate, "Day", 24},
      {kDate, "SetDay", {5}, 0, {"REQID_SELECTDAY"}, kDate, "Text", "12/5/2024"},
      {kDate, "SetMonth", {11}, 0, {"REQID_SELECTMONTH"}, kDate, "Month", 11},
      {kDate, "SetYear", {2025}, 0, {"REQID_SELECTYEAR"}, kDate, "Text", "11/5/2025"},
      {kDate, "NextMonth", kAny, 0, {"REQID_SCROLLMONTHNEXT"}, kDate, "Text", "12/5/2025"},
      {kDate, "PrevMonth", kAny, 0, {"REQID_SCROLLMONTHPREV"}, kDate, "Month", 11},
      {kDate, "ProcessKey", {"RightArrow"}, 0, {"REQID_ARROW_KEY"}, kDate, "Day", 6},
      {kDate, "ProcessKey", {"DownArrow"}, 0, {"REQID_ARROW_KEY"}, kDate, "Text", "11/13/2025"},
      {kDate, "ProcessKey", {"uparrow"}, 0, {"REQID_ARROW_KEY"}, kDate, "Day", 13},  // no arrow: sent as written
      {kDate, "ProcessKey", {"EnterKey"}, 0, {"REQID_SETFOCUS", "REQID_ENTER_KEY"}, kDate, "Day", 13},
      {kDate, "OpenPopup", kAny, 0, opened, kDate, "IsOpen", true},
      {kDate, "ClosePopup", kAny, 0, {"REQID_CLOSEPOPUP"}, kDate, "IsOpen", false},
      {kCall, "SetTime", {"16:45"}, 0, {"REQID_SETTIME"}, kCall, "Text", "6/14/2024 16:45"},
      {kCall, "SetText", {"7/2/2024 09:15"}, 0, focused, kCall, "Time", "09:15"},
      {kMeet, "SelectTimeZone", {"CET"}, 0, {"REQID_SELECTTIMEZONE"}, kMeet, "Text", "6/20/2024 14:30 CET"},
      {kMeet, "SelectTimeZone", {"Mars"}, -1023, {"REQID_SELECTTIMEZONE"}, kMeet, "TimeZone", "CET"},
      {kCalc, "OpenPopup", kAny, 0, opened, kCalc, "IsOpen", true},
      {kCalc, "ClickKeys", {"C75"}, 0, keys3, kCalc, "Text", "75"},
      {kCalc, "ClickKeys", {"1%2"}, -1023, {"REQID_SELECTCALCKEY", "REQID_SELECTCALCKEY"}, kCalc, "Text", "751"},  // stops at the refused key
      {kCalc, "ClickKeys", {""}, 0, none, kCalc, "Text", "751"},
      {kCalc, "ClickKey", {"="}, 0, {"REQID_SELECTCALCKEY"}, kCalc, "IsOpen", false},
      {kCalc, "OpenPopup", kAny, 0, opened, kCalc, "IsOpen", true},
      {kCalc, "CancelPopup", kAny, 0, {"REQID_CANCELPOPUP"}, kCalc, "IsOpen", false},
      {kCur, "OpenPopup", kAny, 0, opened, kAmount, "Text", "250000"},
      {kCode, "SetText", {"EUR"}, 0, focused, kCode, "Text", "EUR"},
      {kAmount, "ClickKeys", {"C31"}, 0, keys3, kAmount, "Text", "31"},
      {kRate, "SetText", {"7/1/2024"}, 0, focused, kCur, "ExchangeDate", "6/1/2024"},
      {kCur, "ClosePopup", kAny, 0, {"REQID_CLOSEPOPUP"}, kCur, "Text", "31 EUR"},
      {kCur, "OpenPopup", kAny, 0, opened, kCur, "ExchangeDate", "7/1/2024"},
      {kAmount, "SetText", {"99"}, 0, focused, kCur, "IsOpen", true},
      {kCur, "CancelPopup", kAny, 0, {"REQID_CANCELPOPUP"}, kCur, "Amount", "31"},
      {kCur, "SetText", {"5 GBP"}, 0, focused, kCur, "CurrencyCode", "GBP"},
      {F("NorvText[Opportunity Id]"), "SetText", {"x"}, -1023, {"REQID_SETFOCUS", "REQID_SETVALUE"}, F("NorvText[Opportunity Id]"), "Text", "1-OPP-4711"},
  };
  // clang-format on
  for (const Step& s : steps) {
    Requests();
    const std::string label = s.path + " " + s.method + s.args.dump();
    EXPECT_EQ(On(s.path, s.method, s.args)["errCode"], s.errCode) << label;
    EXPECT_EQ(Requests(), s.requests) << label;
    EXPECT_EQ(TrxPlain(On(s.readPath, s.read)["retVal"]), s.value) << label << " then " << s.read;
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
  for (const auto& [path, htmlId] : kFields) {
    const TrxJson reply = Call({{"call", "GetObjectFromId"}, {"htmlId", htmlId}});
    EXPECT_EQ(reply["trxODS"], TrxOds("NorvApplication[Norvik Sales]/" + path)) << htmlId << reply.dump();
  }
}

TEST_F(PopupsTest, UserActionsAreRecordedAsTheCallsThatReplayThem) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  // clang-format off
  struct Action { const char* field; const char* eventId; const char* argument; std::string ods; const char* method; TrxJson args; };
  const Action actions[] = {
      {"Close Date", "SELECTMONTH", "7", kDate, "SetMonth", 7},
      {"Close Date", "SELECTDAY", "12", kDate, "SetDay", 12},
      {"Close Date", "ARROW_KEY", "40", kDate, "ProcessKey", "DownArrow"},
      {"Close Date", "ARROW_KEY", "41", kDate, nullptr, kAny},   // no arrow: nothing recorded
      {"Close Date", "ARROW_KEY", "up", kDate, nullptr, kAny},   // no number: nothing recorded
      {"Close Date", "SELECTDAY", nullptr, kDate, nullptr, kAny}, // no day: nothing recorded
      {"Meeting Time", "SELECTTIMEZONE", "PST", kMeet, "SelectTimeZone", "PST"},
      {"Next Call", "SETTIME", "08:00", kCall, "SetTime", "08:00"},
      {"Probability", "SELECTCALCKEY", "9", kCalc, "ClickKey", "9"},
      {"Revenue", "SHOWPOPUP", nullptr, kCur, "OpenPopup", kAny},
      {"Revenue/Amount", "SELECTCALCKEY", "5", kAmount, "ClickKey", "5"},
      {"Revenue/Currency Code", "SETVALUE", "SEK", kCode, "SetText", "SEK"},
      {"Revenue", "CLOSEPOPUP", nullptr, kCur, "ClosePopup", kAny},
  };
  // clang-format on
  std::vector<TrxJson> recorded;
  for (const Action& a : actions) {
    TrxJson action = {{"call", "client.action"}, {"object", kClientForm + a.field}, {"eventId", a.eventId}};
    if (a.argument) action["arguments"] = {{"0", a.argument}};
    const std::vector<TrxJson> lines = Lines(action.dump());
    ASSERT_EQ(lines.size(), a.method ? 2u : 1u) << a.field << " " << a.eventId;
    if (!a.method) {
      EXPECT_EQ(Call({{"call", "GetLastError"}})["errCode"], 1020) << a.field << " " << a.eventId;
      continue;
    }
    EXPECT_EQ(lines[0]["trxODS"], TrxOds("NorvApplication[Norvik Sales]/" + a.ods)) << a.eventId;
    EXPECT_EQ(lines[0]["eventName"], a.method) << lines[0].dump();
    if (!a.args.is_discarded()) { EXPECT_EQ(TrxPlain(lines[0]["pArgs"]), a.args) << lines[0].dump(); }
    recorded.push_back(lines[0]);
  }
  const std::vector<TrxJson> played = Values();
  Close();  // a fresh client replays the recorded calls to the same values
  Start();
  Replay(recorded);
  EXPECT_EQ(Values(), played);
}

TEST_F(PopupsTest, TheFormActionsFileRecordsCallsThatReplayToTheSameValues) {
  const std::string actions = TrxRepositoryFile("samples/form-actions.jsonl");
  const TrxOutcome run = TrxRun({"record", "--app", TrxSampleFile(), actions});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::vector<TrxJson> recorded = TrxJsonLines(run.out);
  Close();  // the user's actions on a fresh client, then the recorded calls on another
  Open(TrxSampleFile());
  std::ifstream file(actions);
  size_t count = 0;
  for (std::string line; std::getline(file, line); ++count) {
    if (line.empty() || line[0] == '#') { --count; continue; }
    TrxJson action = TrxJson::parse(line);
    action["call"] = "client.action";
    EXPECT_EQ(Lines(action.dump()).back()["hr"], 1) << line;  // S_FALSE: the recorder is off
  }
  const std::vector<TrxJson> played = Values();
  Close();
  Open(TrxSampleFile());
  Replay(recorded);
  EXPECT_EQ(Values(), played);
  EXPECT_EQ(recorded.size(), count) << "every action is recorded";
}

}  // namespace
