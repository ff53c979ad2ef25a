// The automation classes below the application through the bridge:
// navigation against the small navigation client (screens, page tabs, the
// three levels of view tabs, views, task views, the view's applets), and the
// form of the sample client (applet, fields, buttons); played back, read,
// recorded and replayed.
#include "trxclitest.h"

namespace {

// Occurrences of `piece` in `text`.
size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

const char kTabs[] = "NorvPageTabs[NorvPageTabs]";
const char kAccounts[] = "NorvScreen[Accounts Screen]";
const char kViews[] = "NorvScreen[Accounts Screen]/NorvScreenViews[NorvScreenViews]";
const char kList[] = "NorvScreen[Accounts Screen]/NorvView[Account List View]";

class NavigationTest : public TrxBridgeTest {
 protected:
  void SetUp() override {
    m_appName = "Norvik Navigator";
    Open(TrxRepositoryFile("samples/navigation.xml"));
    ASSERT_EQ(Call({{"call", "SetSubmitTimeout"}, {"timeOut", 2000}})["hr"], 0);
  }
  std::string State(const char* what) { return Call({{"call", "client.state"}})[what].get<std::string>(); }
};

const TrxJson any(TrxJson::value_t::discarded), none(TrxJson::value_t::discarded);

TEST_F(NavigationTest, PropertiesAndQueriesOfEveryNavigationClass) {
  // clang-format off
  ExpectReads({
      {"/", "GetRepositoryName", {"NorvMenu", "Menu"}, 0, "NorvMenu"},
      {"/", "GetRepositoryName", {"NorvToolbar", "Main"}, 1014, any},
      {kAccounts, "UIName", none, 0, "Accounts"},
      {kAccounts, "GetClassCount", {"NorvView"}, 0, 1},
      {kAccounts, "GetClassCount", {"NorvApplet"}, 1014, any},
      {kAccounts, "GetRepositoryNameByIndex", {"NorvView", 0}, 0, "Account List View"},
      {kAccounts, "GetRepositoryNameByIndex", {"NorvScreenViews", 0}, 0, "NorvScreenViews"},
      {kAccounts, "GetRepositoryNameByIndex", {"NorvView", 1}, 1014, any},
      {kAccounts, "GetRepositoryName", {"NorvView", "my accounts"}, 0, "Account List View"},
      {kAccounts, "GetRepositoryName", {"NorvScreenViews", "screenviews"}, 0, "NorvScreenViews"},
      {kAccounts, "GetRepositoryName", {"NorvView", "Nobody"}, 1014, any},
      {"NorvScreen[Orders Screen]", "UIName", none, -1016, any},
      {kTabs, "UIName", none, 0, "PageTabs"},
      {kTabs, "ScreenCount", none, 0, 2},
      {kTabs, "ActiveScreen", none, 0, "Accounts Screen"},
      {kTabs, "HtmlId", none, 0, "s_sctrl"},
      {kTabs, "GetRepositoryName", {"orders", "Screen"}, 0, "Orders Screen"},
      {kTabs, "GetRepositoryName", {"My Accounts", "View"}, 0, "Account List View"},
      {kTabs, "GetRepositoryName", {"Orders", "Menu"}, 1014, any},
      {kTabs, "GetRepositoryNameByIndex", {1, "Screen"}, 0, "Orders Screen"},
      {kTabs, "GetRepositoryNameByIndex", {2, "Screen"}, 1014, any},
      {kTabs, "GetRepositoryNameByIndex", {-1, "Screen"}, 1014, any},
      {kTabs, "GetUIName", {"Orders Screen", "Screen"}, 0, "Orders"},
      {kTabs, "IsExists", {"Orders Screen", "Screen"}, 0, true},
      {kTabs, "IsExists", {"orders screen", "Screen"}, 0, false},
      {kViews, "L2Count", none, 0, 2},
      {kViews, "L3Count", none, 0, 2},
      {kViews, "ActiveView", none, 0, "Account List View"},
      {kViews, "GetRepositoryName", {"Account Detail", "L2"}, 0, "Account Detail View"},
      {kViews, "GetRepositoryName", {"account detail", "L2"}, 1014, any},
      {kViews, "GetRepositoryNameByIndex", {1, "L3"}, 0, "Account Contacts View"},
      {kViews, "GetUIName", {"Account Notes View", "L4"}, 0, "Notes"},
      {kViews, "IsExists", {"Account Notes View", "L4"}, 0, true},
      {kViews, "IsExists", {"Account Notes View", "L5"}, -1014, any},
      {kList, "UIName", none, 0, "My Accounts"},
      {kList, "AppletCount", none, 0, 0},
      {kList, "GetClassCount", {"NorvViewApplets"}, 0, 1},
      {kList, "GetRepositoryNameByIndex", {"NorvViewApplets", 0}, 0, "NorveViewApplets"},
      {kList, "GetRepositoryNameByIndex", {"NorvApplet", 0}, 1014, any},
      {"NorvScreen[Accounts Screen]/NorvView[Account Detail View]", "UIName", none, -1016, any},
      {"NorvScreen[Accounts Screen]/NorvView[Account List View]/NorveViewApplets[NorveViewApplets]", "UIName", none,
       -1016, any},
      {"NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvViewApplets[NorveViewApplets]", "UIName", none, 0,
       "ViewApplets"},
      {"NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvViewApplets[NorvViewApplets]", "IsExists",
       {"Nothing"}, 0, false},
  });
  // clang-format on
}

TEST_F(NavigationTest, GridsOfThePageTabsAndTheScreenViews) {
  EXPECT_EQ(TrxPlain(On(kTabs, "GetData")["retVal"]), TrxJson::parse(R"([["Accounts Screen","Account List View"],["Orders Screen",
      "Account Detail View"],[null,"Account Contacts View"],[null,"Account Notes View"]])"));
  EXPECT_EQ(TrxPlain(On(kViews, "GetData")["retVal"]), TrxJson::parse(R"([["My Accounts","Detail","Contacts"],["Account Detail","Contacts",
      "Notes"]])"));
}

TEST_F(NavigationTest, GotoOnEveryLevelChangesTheClientsScreenAndView) {
  struct Step {
    const char* path;
    const char* method;
    TrxJson args;
    const char* screen;
    const char* view;
  };
  const Step steps[] = {
      {kTabs, "GotoScreen", {"Orders Screen"}, "Orders Screen", "Order List View"},
      {kTabs, "Goto", {"Accounts Screen"}, "Accounts Screen", "Account List View"},
      {kViews, "Goto", {"Account Detail View", "L2"}, "Accounts Screen", "Account Detail View"},
      {kViews, "Goto", {"Account Contacts View", "L3"}, "Accounts Screen", "Account Contacts View"},
      {kViews, "Goto", {"Account Notes View", "L4"}, "Accounts Screen", "Account Notes View"},
      {kTabs, "GotoView", {"Create Order View"}, "Orders Screen", "Create Order View"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(On(s.path, s.method, s.args)["errCode"], 0) << s.method << s.args.dump();
    EXPECT_EQ(State("screen"), s.screen) << s.method << s.args.dump();
    EXPECT_EQ(State("view"), s.view) << s.method << s.args.dump();
  }
  // A task view: the screen is the task, the view its step.
  const std::string step = "NorvTask[Create Order]/NorvTaskStep[Create Order View]";
  ExpectReads({{"NorvTask[Create Order]", "UIName", none, 0, "Create Order"},
               {"NorvScreen[Whatever]", "ClassName", none, 0, "NorvTask"},
               {step, "TaskStepTitle", none, 0, "Select Account"},
               {step, "UIName", none, 0, "Select Account"},
               {step, "ClassName", none, 0, "NorvTaskStep"}});
}

TEST_F(NavigationTest, UserNavigationIsRecordedAsTheCallThatReplaysIt) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  struct Action {
    const char* object;
    const char* eventId;
    const char* argument;
    const char* ods;
    const char* method;
    TrxJson args;
  };
  const Action actions[] = {
      {"Screen", "NAVCONTROL_GOTOSCREEN", "Orders Screen", kTabs, "GotoScreen", "Orders Screen"},
      {"Orders Screen/AggregateViews", "NAVCONTROL_GOTOVIEW", "Create Order View",
       "NorvScreen[Orders Screen]/NorvScreenViews[NorvScreenViews]", "Goto", {"Create Order View", "L2"}},
      {"Screen", "NAVCONTROL_GOTOSCREEN", "Accounts Screen", kTabs, "GotoScreen", "Accounts Screen"},
      {"Accounts Screen/DetailCategory", "NAVCONTROL_GOTODETAILVIEW", "Account Contacts View", kViews, "Goto",
       {"Account Contacts View", "L3"}},
      {"Accounts Screen/View", "NAVCONTROL_GOTOVIEW", "Account Notes View", kViews, "Goto",
       {"Account Notes View", "L4"}},
  };
  std::vector<TrxJson> recorded;
  for (const Action& a : actions)
    recorded.push_back(RecordedAction(a.object, a.eventId, {{"0", a.argument}}, a.ods, a.method, a.args));
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  // Replayed from the start, the recorded calls lead to the same screen and view.
  ASSERT_EQ(On(kTabs, "GotoScreen", {"Accounts Screen"})["errCode"], 0);
  for (const TrxJson& event : recorded) EXPECT_EQ(Replay(event)["errCode"], 0) << event.dump();
  EXPECT_EQ(State("screen"), "Accounts Screen");
  EXPECT_EQ(State("view"), "Account Notes View");
}

TEST_F(NavigationTest, ContentsOfTheWholeTreeAndObjectsByHtmlId) {
  for (int mode : {0, 1, 5}) {
    const TrxJson reply =
        Call({{"call", "GetObjectContents"}, {"nMode", mode}, {"trxODS", mode == 0 ? TrxOds(kAccounts) : kTrxRootOds}});
    EXPECT_EQ(reply["errCode"], 0) << mode << reply.dump();
    const std::string xml = reply["trxContentXML"].get<std::string>();
    EXPECT_TRUE(TrxHas(xml, "<Obj ClassName=\"NorvScreenViews\" RepositoryName=\"NorvScreenViews\"")) << xml;
    EXPECT_TRUE(TrxHas(xml, "<Obj ClassName=\"NorvView\" RepositoryName=\"Account List View\"")) << xml;
    EXPECT_EQ(TrxHas(xml, "<Property"), mode != 5) << mode;
    EXPECT_EQ(Count(xml, "<Obj ClassName=\"NorvScreenViews\""), 1u) << "listed once: " << xml;
  }
  const TrxJson reply = Call({{"call", "GetObjectFromId"}, {"htmlId", "s_l4"}});
  EXPECT_EQ(reply["errCode"], 0) << reply.dump();
  EXPECT_TRUE(reply["errMsg"].is_null() || reply["errMsg"] == "") << reply.dump();
  EXPECT_EQ(reply["trxODS"], TrxOds(std::string("NorvApplication[Norvik Navigator]/") + kViews));
}

}  // namespace

namespace {

class ViewAppletsTest : public TrxBridgeTest {};

const char kForm[] = "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account Form Applet]";
std::string Field(const char* field) { return std::string(kForm) + "/" + field; }

using FormTest = TrxBridgeTest;

TEST_F(FormTest, FieldsAndButtonsAreReadAndFoundByClassAndName) {
  // clang-format off
  ExpectReads({
      {kForm, "UIName", none, 0, "Account"},
      {kForm, "RecordCounter", none, 0, "1 of 3"},
      {kForm, "GetActiveControlName", none, 0, "Name"},
      {kForm, "GetClassCount", {"NorvText"}, 0, 3},
      {kForm, "GetClassCount", {"NorvButton"}, 0, 4},
      {kForm, "GetClassCount", {"NorvMenu"}, 0, 1},
      {kForm, "GetRepositoryName", {"NorvPicklist", "Status"}, 0, "Status"},
      {kForm, "GetRepositoryName", {"NorvText", "Status"}, 0, ""},
      {kForm, "GetRepositoryName", {"NorvButton", "Save"}, 0, "WriteRecord"},
      {kForm, "GetRepositoryName", {"NorvButton", "Fly"}, 103, any},
      {kForm, "GetRepositoryNameByIndex", {"NorvText", 1}, 0, "Main Phone"},
      {kForm, "GetRepositoryNameByIndex", {"NorvText", 3}, 1014, any},
      {kForm, "GetRepositoryNameByIndex", {"NorvMenu", 1}, 1014, any},
      {kForm, "IsControlExists", {"Key Account"}, 0, true},
      {kForm, "IsControlExists", {"Nothing"}, 0, false},
      {kForm, "IsControlExists", {"NorvTree"}, 103, any},
      {kForm, "SetActiveControl", {"Nothing"}, -106, any},
      {Field("NorvText[Name]"), "Text", none, 0, "Acme Corporation"},
      {Field("NorvText[Name]"), "IsRequired", none, 0, true},
      {Field("NorvText[Parent Account]"), "PopupType", none, 0, "SVPick"},
      {Field("NorvText[Name]"), "PopupType", none, 0, "Text"},
      {Field("NorvPicklist[Status]"), "ActiveItem", none, 0, "Active"},
      {Field("NorvPicklist[Status]"), "Count", none, 0, 3},
      {Field("NorvPicklist[Status]"), "IsOpen", none, 0, false},
      {Field("NorvPicklist[Status]"), "GetItemByIndex", {2}, 0, "Pending"},
      {Field("NorvPicklist[Status]"), "GetItemByIndex", {3}, 1014, any},
      {Field("NorvPicklist[Status]"), "GetItemByIndex", {-1}, 1014, any},
      {Field("NorvPicklist[Status]"), "IsExists", {"Inactive"}, 0, true},
      {Field("NorvPicklist[Status]"), "IsExists", {"inactive"}, 0, false},
      {Field("NorvCheckbox[Key Account]"), "IsChecked", none, 0, true},
      {Field("NorvCheckbox[Key Account]"), "CheckState", none, 0, "Checked"},
      {Field("NorvTextArea[Description]"), "Text", none, 0, "Long-standing customer in the food distribution sector."},
      {Field("NorvButton[WriteRecord]"), "UIName", none, 0, "Save"},
      {Field("NorvButton[UndoRecord]"), "IsEnabled", none, 0, false},
      {Field("NorvText[Status]"), "Text", none, 0, "Active"},
      {Field("NorvText[Nothing]"), "Text", none, -1016, any},
  });
  // clang-format on
}

TEST_F(FormTest, SettingFieldsChangesTheClientAndTheRequestsAreTheFieldsOwn) {
  struct Step {
    std::string path;
    const char* method;
    TrxJson args;
    std::vector<std::string> requests;
    const char* object;  // the client's field and its value afterwards
    TrxJson value;
  };
  const std::string form = "Accounts Screen/Account List View/Account Form Applet/";
  const Step steps[] = {
      {Field("NorvText[Name]"), "SetText", {"Acme Group"}, {"REQID_SETFOCUS", "REQID_SETVALUE", "REQID_CLEARFOCUS"}, "Name", "Acme Group"},
      {Field("NorvCheckbox[Key Account]"), "SetOff", TrxJson::array(), {"REQID_SETFOCUS", "REQID_SETVALUE", "REQID_CLEARFOCUS"}, "Key Account", "N"},
      {Field("NorvCheckbox[Key Account]"), "SetOn", TrxJson::array(), {"REQID_SETFOCUS", "REQID_SETVALUE", "REQID_CLEARFOCUS"}, "Key Account", "Y"},
      {Field("NorvPicklist[Status]"), "Select", {"Inactive"}, {"REQID_SETFOCUS", "REQID_SELECTLOVITEM", "REQID_CLEARFOCUS"}, "Status", "Inactive"},
      {Field("NorvPicklist[Status]"), "Select", {"Closed"}, {"REQID_SETFOCUS", "REQID_SETVALUE", "REQID_CLEARFOCUS"}, "Status", "Closed"},
      {Field("NorvText[Name]"), "ProcessKey", {"EnterKey"}, {"REQID_SETFOCUS", "REQID_ENTER_KEY"}, "Name", "Acme Group"},
      {Field("NorvButton[NewRecord]"), "Click", TrxJson::array(), {"REQID_BUTTONCLICK"}, "Name", ""},
  };
  for (const Step& s : steps) {
    Requests();
    const TrxJson reply = On(s.path, s.method, s.args);
    EXPECT_EQ(reply["errCode"], 0) << s.path << " " << s.method << reply.dump();
    EXPECT_EQ(Requests(), s.requests) << s.path << " " << s.method;
    EXPECT_EQ(ClientValue(form + s.object, "Value"), s.value) << s.path << " " << s.method;
  }
  // The client refuses: the failure reaches the tool with the client's text.
  const TrxJson refused = On(Field("NorvButton[DeleteRecord]"), "Click");
  EXPECT_EQ(refused["errCode"], -1023) << refused.dump();
  EXPECT_TRUE(TrxHas(refused["errMsg"].get<std::string>(), "open opportunities")) << refused.dump();
}

TEST_F(FormTest, MenusAndToolbars) {
  // clang-format off
  ExpectReads({
      {"NorvMenu[NorvMenu]", "Count", none, 0, 8},
      {"NorvMenu[NorvMenu]", "IsEnabled", {" Edit\\\\Paste "}, 0, "Disabled"},
      {"NorvMenu[NorvMenu]", "IsEnabled", {"Edit\\Cut"}, 1014, any},
      {"NorvMenu[NorvMenu]", "GetRepositoryNameByIndex", {1}, 0, "File\\\\Save Record"},
      {"NorvMenu[NorvMenu]", "GetRepositoryNameByIndex", {8}, 1014, any},
      {"NorvMenu[NorvMenu]", "IsExists", {"Help\\\\About Norvik"}, 0, true},
      {"NorvMenu[NorvMenu]", "select", {"File"}, -12, any},  // the catalogue knows only "Select"
      {"NorvToolbar[HIMain]", "Count", none, 0, 7},
      {"NorvToolbar[HIMain]", "IsControlEnabled", {"Undo"}, 0, false},
      {"NorvToolbar[HIMain]", "IsControlEnabled", {"Save"}, 0, true},
      {"NorvToolbar[HIMain]", "GetRepositoryName", {"query"}, 0, "Query"},
      {"NorvToolbar[HIMain]", "GetUIName", {"query"}, 1014, any},
      {"NorvToolbar[HIMain]", "GetRepositoryName", {"Save", "Undo"}, -1012, any},
      {kForm + std::string("/NorvMenu[NorvMenu]"), "Count", none, 0, 5},
  });
  // clang-format on
  Requests();
  EXPECT_EQ(On("NorvMenu[NorvMenu]", "Select", {"Reports\\\\Sales\\\\By Region (Q3)"})["errCode"], 0);
  EXPECT_EQ(Requests(), (std::vector<std::string>{"REQID_OPENMENU", "REQID_OPENMENU", "REQID_SELECTMENUITEM"}));
  // The user opens File and picks Save Record: one Select of the whole path.
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  Lines(R"({"call":"client.action","object":"NorvMenu","eventId":"OPENMENU","arguments":[["0","Application"],["1","File"]]})");
  RecordedAction("NorvMenu", "SELECTMENUITEM", {{"0", "Save Record"}}, "NorvMenu[NorvMenu]", "Select", "File\\\\Save Record");
  // The applet's own menu: opening it forgets the application menu's path,
  // and the pick replays as the same two requests.
  const std::string appletMenu = "Accounts Screen/Account List View/Account Form Applet/NorvMenu";
  Lines(R"({"call":"client.action","object":")" + appletMenu +
        R"(","eventId":"OPENMENU","arguments":[["0","Applet"],["1","Menu"]]})");
  const TrxJson picked = RecordedAction(appletMenu, "SELECTMENUITEM", {{"0", "Copy Record"}},
                                        kForm + std::string("/NorvMenu[NorvMenu]"), "Select", "Copy Record");
  Requests();
  EXPECT_EQ(Replay(picked)["errCode"], 0) << picked.dump();
  EXPECT_EQ(Requests(), (std::vector<std::string>{"REQID_OPENMENU", "REQID_SELECTMENUITEM"}));
}

TEST_F(FormTest, APopupAppletComesAndGoesWithItsButtonsAndEmptyListsOfferNothing) {
  ASSERT_EQ(On(kTabs, "GotoView", {"Account Detail - Contacts View"})["errCode"], 0);
  const std::string view = "NorvScreen[Accounts Screen]/NorvView[Account Detail - Contacts View]/";
  const std::string entry = view + "NorvApplet[Account Entry Applet]", popup = view + "NorvApplet[Account Address Popup Applet]";
  // clang-format off
  ExpectReads({
      {popup, "UIName", any, -1016, any},  // not shown yet
      {entry + "/NorvButton[ShowAddresses]", "Click", any, 0, any},
      {popup, "UIName", any, 0, "Addresses"},
      {popup + "/NorvText[Street]", "GetProperty", TrxJson("Text"), 0, "1 Harbour Road"},
      {popup + "/NorvButton[CloseApplet]", "Click", any, 0, any},
      {popup, "UIName", any, -1016, any},
      {entry + "/NorvPicklist[Territory]", "GetData", any, 0, TrxJson::array()},
      {view + "NorvApplet[Account Notes Applet]", "GetClassCount", {"NorvList"}, 0, 0},  // a list without columns
  });
  // clang-format on
}

TEST_F(FormTest, UserActionsOnTheFormAreRecordedAndReplayTheSameValues) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  const std::string form = "Accounts Screen/Account List View/Account Form Applet/";
  // clang-format off
  struct Action { const char* field; const char* eventId; TrxJson arguments; const char* ods; const char* method; };
  const Action actions[] = {
      {"Name", "SETVALUE", {{"0", "Acme Holdings"}}, "NorvText[Name]", "SetText"},
      {"Key Account", "SETVALUE", {{"0", "N"}}, "NorvCheckbox[Key Account]", "SetOff"},
      {"Status", "SELECTLOVITEM", {{"0", "Pending"}}, "NorvPicklist[Status]", "Select"},
      {"Account Type", "SETVALUE", {{"0", "Partner"}}, "NorvPicklist[Account Type]", "SetText"},
      {"Name", "ENTER_KEY", TrxJson(), "NorvText[Name]", "ProcessKey"},
  };
  // clang-format on
  std::vector<TrxJson> recorded;
  for (const Action& a : actions)
    recorded.push_back(RecordedAction(form + a.field, a.eventId, a.arguments, Field(a.ods), a.method, kTrxAny));
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  ReplayOnAFreshClient(recorded);  // to the same values
  TrxJson values = TrxJson::array();
  for (const char* field : {"Name", "Key Account", "Status", "Account Type"}) values.push_back(ClientValue(form + field, "Value"));
  EXPECT_EQ(values, TrxJson({"Acme Holdings", "N", "Pending", "Partner"}));
}

TEST_F(ViewAppletsTest, AFocusedAppletIsRecordedAsTheSelectThatReplaysIt) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  // The applet's name, not the parameter's.
  const TrxJson event = RecordedAction("Accounts Screen/Account List View/Account Form Applet", "SETFOCUS", TrxJson(),
                                       std::string(kList) + "/NorvViewApplets[NorvViewApplets]", "Select",
                                       "Account Form Applet");
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  EXPECT_EQ(Replay(event)["errCode"], 0);
  const std::vector<TrxJson> journal = Call({{"call", "client.journal"}})["journal"].get<std::vector<TrxJson>>();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.back()["request"], "REQID_SETFOCUS");
  EXPECT_TRUE(TrxHas(journal.back()["object"].get<std::string>(), "Account Form Applet")) << journal.back().dump();
}

}  // namespace
