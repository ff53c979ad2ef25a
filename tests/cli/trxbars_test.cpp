// The threadbar, the query boxes, the tree and the alphabet tabs of the
// sample client through the bridge: read, driven, recorded and replayed.
#include "trxclitest.h"

namespace {

const TrxJson& kAny = kTrxAny;
const char kTabs[] = "NorvPageTabs[NorvPageTabs]";
const char kBarOpp[] = "NorvScreen[Opportunities Screen]/NorvThreadbar[ThreadBar]";
const char kPdqOpp[] = "NorvScreen[Opportunities Screen]/NorvPDQ[NorvPDQ]";
const char kPdqAcc[] = "NorvScreen[Accounts Screen]/NorvPDQ[NorvPDQ]";
const char kPdqAct[] = "NorvScreen[Activities Screen]/NorvPDQ[NorvPDQ]";
const char kTree[] =
    "NorvScreen[Activities Screen]/NorvView[Activity List View]/"
    "NorvApplet[Activity Plan Tree Applet]/NorvTree[NorvTree]";
const char kContacts[] = "NorvScreen[Contacts Screen]/NorvView[Contact List View]/NorvApplet[Contact List Applet]";
std::string Tab(const char* label) { return kContacts + std::string("/NorvAlphaTabs[") + label + "]"; }

using BarsTest = TrxBridgeTest;

TEST_F(BarsTest, ThreadbarQueryBoxesTreeAndTabsAnswerFromTheClientsLists) {
  for (const char* screen : {"Contacts Screen", "Opportunities Screen"})
    ASSERT_EQ(On(kTabs, "GotoScreen", {screen})["errCode"], 0);
  // clang-format off
  ExpectReads({
      {kBarOpp, "Count", kAny, 0, 3},
      {kBarOpp, "ActiveThreadItem", kAny, 0, "Opportunities"},
      {kBarOpp, "ThreadItems", kAny, 0, "Accounts|Contacts|Opportunities"},
      {kBarOpp, "GetThreadItemByIndex", {1}, 0, "Contacts"},
      {kBarOpp, "GetThreadItemByIndex", {3}, 1014, kAny},
      {kBarOpp, "GetThreadItemByIndex", {-1}, 1014, kAny},
      {kBarOpp, "GetData", kAny, 0, {{"Accounts"}, {"Contacts"}, {"Opportunities"}}},
      {kPdqOpp, "GetPDQByIndex", {2}, 0, "Closing This Quarter"},
      {kPdqOpp, "GetPDQByIndex", {-1}, 1014, kAny},
      {kTabs, "GotoScreen", {"Activities Screen"}, 0, kAny},
      {kPdqAct, "Count", kAny, 0, 1},  // one query, given as a single string
      {kPdqAct, "GetPDQByIndex", {0}, 0, "All Activities"},
      {kPdqAct, "GetData", kAny, 0, {{"All Activities"}}},
      {kTree, "ActiveTreeItem", kAny, 0, "Onboarding"},
      {kTree, "IsExpanded", {"1"}, 0, true},
      {kTree, "IsExpanded", {"1.1"}, 0, false},
      {kTree, "IsExpanded", {"1.1.1"}, 0, true},  // a leaf
      {kTree, "GetChildCount", {"1"}, 0, 2},
      {kTree, "GetChildCount", {"1.1"}, 0, 0},    // collapsed
      {kTree, "GetTreeItemName", {"2.2.1"}, 0, "Send quote"},
      {kTree, "IsExists", {"3"}, 0, false},
      {kTabs, "GotoScreen", {"Contacts Screen"}, 0, kAny},
      {Tab("L"), "UIName", kAny, 0, "Last Name"},
  });
  // clang-format on
}

TEST_F(BarsTest, ActionsSendTheirRequestsAndChangeTheClient) {
  const char* kAccBar = "NorvScreen[Accounts Screen]/NorvThreadbar[ThreadBar]";
  const char* kActBar = "NorvScreen[Activities Screen]/NorvThreadbar[ThreadBar]";
  const char* list = kContacts;
  // clang-format off
  struct Step { std::string path; const char* method; TrxJson args; LONG errCode; std::vector<std::string> requests; TrxRead after; };
  const Step steps[] = {
      {kPdqAcc, "Select", {"Key Accounts"}, -1023, {"REQID_SHOWLOVS"}, {kPdqAcc, "ActivePDQ", kAny, 0, "My Accounts"}},
      {kPdqAcc, "Select", {"All Accounts"}, 0, {"REQID_SHOWLOVS", "REQID_SELECTLOVITEM"}, {kPdqAcc, "ActivePDQ", kAny, 0, "All Accounts"}},
      {kAccBar, "Goto", {"Activities"}, 0, {"REQID_EXECUTETHREADBARLINK"}, {kPdqAct, "ActivePDQ", kAny, 0, "All Activities"}},
      {kTree, "Expand", {"1.1"}, 0, {"REQID_EXPANDITEM"}, {kTree, "GetChildCount", {"1.1"}, 0, 2}},
      {kTree, "Collapse", {"1"}, 0, {"REQID_COLLAPSEITEM"}, {kTree, "IsExpanded", {"1"}, 0, false}},
      {kTree, "Select", {"2.2"}, 0, {"REQID_SELECTITEM"}, {kTree, "ActiveTreeItem", kAny, 0, "Negotiate"}},
      {kTree, "Select", {"1.2"}, 0, {"REQID_SELECTITEM"}, {kTree, "IsSelected", {"2.2"}, 0, false}},
      {kTree, "NextPage", TrxJson::array(), 0, {"REQID_GOTONEXTPAGE"}, {kTree, "ActiveTreeItem", kAny, 0, "Renewal"}},
      {kTree, "PreviousPage", TrxJson::array(), 0, {"REQID_GOTOPREVPAGE"}, {kTree, "ActiveTreeItem", kAny, 0, "Onboarding"}},
      {kActBar, "Goto", {"Contacts"}, 0, {"REQID_EXECUTETHREADBARLINK"}, {list, "RecordCounter", kAny, 0, "1 - 2 of 2"}},
      {Tab("L"), "Click", TrxJson::array(), 0, {"REQID_ALPHATAB_CLICK"}, {list, "RecordCounter", kAny, 0, "1 - 1 of 1"}},
      {Tab("X"), "Click", TrxJson::array(), 0, {"REQID_ALPHATAB_CLICK"}, {list, "RecordCounter", kAny, 0, "No Records"}},
      {Tab("All"), "Click", TrxJson::array(), 0, {"REQID_ALPHATAB_CLICK"}, {list, "RecordCounter", kAny, 0, "1 - 2 of 2"}},
  };
  // clang-format on
  for (const Step& s : steps) {
    Requests();
    const std::string label = s.path + " " + s.method + s.args.dump();
    EXPECT_EQ(On(s.path, s.method, s.args)["errCode"], s.errCode) << label;
    EXPECT_EQ(Requests(), s.requests) << label;
    ExpectReads({s.after}, label + " then ");
  }
}

TEST_F(BarsTest, UserActionsAreRecordedAsTheCallsThatReplayThem) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  const std::string tree = "Activities Screen/Activity List View/Activity Plan Tree Applet/NorvTree";
  // clang-format off
  struct Action { std::string object; const char* eventId; TrxJson arguments; std::string ods; const char* method; TrxJson args; };  // args discarded: not checked
  const Action actions[] = {
      {"ThreadBar", "EXECUTETHREADBARLINK", {{"0", "Contacts"}}, "NorvScreen[Accounts Screen]/NorvThreadbar[ThreadBar]", "Goto", "Contacts"},
      {"Contacts Screen/NorvPDQ", "SELECTLOVITEM", {{"0", "All Contacts"}}, "NorvScreen[Contacts Screen]/NorvPDQ[NorvPDQ]", "Select", "All Contacts"},
      {"Contacts Screen/Contact List View/Contact List Applet/NorvAlphaTab", "ALPHATAB_CLICK", {{"0", "O"}}, Tab("O"), "Click", kAny},
      {"ThreadBar", "EXECUTETHREADBARLINK", {{"0", "Activities"}}, "NorvScreen[Contacts Screen]/NorvThreadbar[ThreadBar]", "Goto", "Activities"},
      {tree, "EXPANDITEM", {{"0", "1.1"}}, kTree, "Expand", "1.1"},
      {tree, "COLLAPSEITEM", {{"0", "1"}}, kTree, "Collapse", "1"},
      {tree, "SELECTITEM", {{"0", "2.2.1"}}, kTree, "Select", "2.2.1"},
      {tree, "GOTONEXTPAGE", TrxJson::array(), kTree, "NextPage", kAny},
  };
  // clang-format on
  std::vector<TrxJson> recorded;
  for (const Action& a : actions) recorded.push_back(RecordedAction(a.object, a.eventId, a.arguments, a.ods, a.method, a.args));
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  ReplayOnAFreshClient(recorded);
  ExpectReads({
      {kTree, "GetChildCount", {"1.1"}, 0, 2},
      {kTree, "IsSelected", {"2.2.1"}, 0, true},
      {kTree, "ActiveTreeItem", kAny, 0, "Renewal"},
  });
  EXPECT_EQ(ClientValue("Contacts Screen/Contact List View/Contact List Applet", "AlphaFilter"), "O");
  EXPECT_EQ(ClientValue("Contacts Screen/NorvPDQ", "Value"), "All Contacts");
}

}  // namespace
