// The lists of the sample client through the bridge: the grid and the
// column queries read, rows and row sets moved through, sorted, selected,
// drilled into, expanded and edited; user actions recorded and replayed; and
// a list whose client answers what it cannot have shown.
#include "trxclitest.h"

namespace {

const TrxJson& kAny = kTrxAny;
const char kTabs[] = "NorvPageTabs[NorvPageTabs]";
const char kAcc[] =
    "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account List Applet]/NorvList[NorvList]";
const char kOpp[] =
    "NorvScreen[Opportunities Screen]/NorvView[Opportunity List View]/NorvApplet[Opportunity List Applet]/"
    "NorvList[NorvList]";
const char kAct[] =
    "NorvScreen[Activities Screen]/NorvView[Activity List View]/NorvApplet[Activity List Applet]/NorvList[NorvList]";
const char kAccHost[] = "Accounts Screen/Account List View/Account List Applet/NorvList";
std::string Cell(const char* control) { return kAcc + std::string("/") + control; }
std::string Table(const char* rows) {
  return "<property name='AllCellValues' type='table'>" + std::string(rows) + "</property>";
}

using ListTest = TrxBridgeTest;

TEST_F(ListTest, GridColumnsCellsAndTotalsAnswerFromTheClientsRows) {
  // clang-format off
  ExpectReads({
      {kAcc, "GetData", kAny, 0, R"([["Name","Main Phone","Account Type","Status"],["Acme Corporation","555-0100","Customer","Active"],
          ["Bluewater Logistics","555-0117","Partner","Active"],["Crestline Foods","555-0133","Prospect","Pending"]])"_j},
      {kAcc, "RowsCount", kAny, 0, 3},
      {kAcc, "ColumnsCount", kAny, 0, 4},
      {kAcc, "SelectedRows", kAny, 0, "0"},
      {kAcc, "UIName", kAny, 0, "List"},
      {kAcc, "GetColumnRepositoryName", {"Main Phone #"}, 0, "Main Phone"},
      {kAcc, "GetColumnRepositoryName", {"main phone #"}, 1014, kAny},
      {kAcc, "GetColumnUIName", {"Account Type"}, 0, "Type"},
      {kAcc, "GetColumnUIName", {"Type"}, 1014, kAny},
      {kAcc, "GetColumnRepositoryNameByIndex", {3}, 0, "Status"},
      {kAcc, "GetColumnRepositoryNameByIndex", {4}, 1014, kAny},
      {kAcc, "GetColumnRepositoryNameByIndex", {-1}, 1014, kAny},
      {kAcc, "IsColumnExists", {"Status"}, 0, true},
      {kAcc, "IsColumnExists", {"status"}, 0, false},
      {kAcc, "IsColumnDrillDown", {"Name"}, 0, true},
      {kAcc, "IsColumnDrillDown", {"Status"}, 0, false},
      {kAcc, "IsColumnDrillDown", {"Nothing"}, 1014, kAny},
      {kAcc, "GetColumnType", {"Account Type"}, 0, "NorvPicklist"},
      {kAcc, "GetColumnType", {"Status"}, 0, "NorvPicklist"},  // "select"
      {kAcc, "GetColumnType", {"Name"}, 0, "NorvText"},
      {kAcc, "GetColumnType", {"Nothing"}, -1014, kAny},
      {kAcc, "GetCellText", {"Status", 2}, 0, "Pending"},
      {kAcc, "GetCellText", {"status", 2}, 1014, kAny},
      {kAcc, "GetColumnSort", {"Name"}, 0, "None"},
      {kAcc, "GetTotalsValue", {"Name"}, 0, nullptr},
      {kAcc, "GetActiveControlName", kAny, 0, nullptr},
      {kAcc, "IsRowExpanded", {0}, 0, true},  // a row without children
      {kAcc, "IsRowExpanded", {3}, 1014, kAny},
      {kAcc, "DrillDownColumn", {"Name"}, -1012, kAny},
      {kAcc, "DrillDownColumn", {"Name", 3}, -1014, kAny},
      {kAcc, "DoubleClick", {3}, -1014, kAny},
      {kAcc, "ToggleFrozenColumns", {"Nothing"}, -1014, kAny},
      {kTabs, "GotoScreen", {"Opportunities Screen"}, 0, kAny},
      {kOpp, "GetData", kAny, 0, R"([["Name","Account","Sales Stage","Revenue"],["Acme Fleet Renewal","Acme Corporation","03 - Proposal","250000"],
          ["Bluewater Warehousing","Bluewater Logistics","02 - Qualification","120000"],["Crestline Cold Chain","Crestline Foods","01 - Prospecting","85000"],
          ["","","","560000"]])"_j},
      {kOpp, "GetTotalsValue", {"Revenue"}, 0, "560000"},
      {kOpp, "GetTotalsValue", {"Name"}, 0, ""},
  });
  // clang-format on
}

TEST_F(ListTest, ActionsSendTheirRequestsAndTheClientsRowsFollow) {
  // clang-format off
  struct Step { std::string path; const char* method; TrxJson args; std::vector<std::string> requests; TrxRead after; };
  const Step steps[] = {
      {kAcc, "DescendSort", {"Name"}, {"SORTCOLUMN Name 0", "SORTCOLUMN Name 0"}, {kAcc, "GetCellText", {"Name", 0}, 0, "Crestline Foods"}},
      {kAcc, "AscendSort", {"Name"}, {"SORTCOLUMN Name -1"}, {kAcc, "GetCellText", {"Name", 0}, 0, "Acme Corporation"}},
      {kAcc, "AscendSort", {"Name"}, {}, {kAcc, "GetColumnSort", {"Name"}, 0, "Ascend"}},
      {kAcc, "DescendSort", {"Name"}, {"SORTCOLUMN Name 0"}, {kAcc, "GetColumnSort", {"Name"}, 0, "Descend"}},
      {kAcc, "ActivateRow", {1}, {"SETROWFOCUS 1"}, {kAcc, "ActiveRow", kAny, 0, 1}},
      {kAcc, "SelectRow", {2, "Ctrl"}, {"SELECTROW 2 1"}, {kAcc, "SelectedRows", kAny, 0, "1|2"}},
      {kAcc, "SelectRow", {0, "Shift"}, {"SELECTROW 0 2"}, {kAcc, "SelectedRows", kAny, 0, "0|1|2"}},
      {kAcc, "SelectRow", {1, "shift"}, {"SELECTROW 1 1"}, {kAcc, "SelectedRows", kAny, 0, "0|2"}},
      {kAcc, "NextRow", TrxJson::array(), {"NEXTROW"}, {kAcc, "ActiveRow", kAny, 0, 2}},
      {kAcc, "PreviousRow", TrxJson::array(), {"PREVROW"}, {kAcc, "SelectedRows", kAny, 0, "1"}},
      {kAcc, "ToggleFrozenColumns", {""}, {"DOUBLE_CLICK -1 "}, {kAcc, "ActiveRow", kAny, 0, 1}},
      {kAcc, "DoubleClick", {2, "Status"}, {"SETCELLFOCUS 2 Status", "SETFOCUS", "DOUBLE_CLICK"}, {kAcc, "GetActiveControlName", kAny, 0, "Status"}},
      {kAcc, "SetActiveControl", {"Main Phone"}, {"SETCELLFOCUS 2 Main Phone"}, {kAcc, "GetActiveControlName", kAny, 0, "Main Phone"}},
      {Cell("NorvText[Main Phone]"), "SetText", {"555-0999"}, {"SETCELLFOCUS 2 Main Phone", "SETFOCUS", "SETVALUE 555-0999", "CLEARFOCUS"},
          {kAcc, "GetData", kAny, 0, R"([["Name","Main Phone","Account Type","Status"],["Crestline Foods","555-0133","Prospect","Pending"],
              ["Bluewater Logistics","555-0117","Partner","Active"],["Acme Corporation","555-0999","Customer","Active"]])"_j}},
      {Cell("NorvPicklist[Status]"), "SetText", {"Inactive"}, {"SETCELLFOCUS 2 Status", "SETFOCUS", "SETVALUE Inactive", "CLEARFOCUS"},
          {kAcc, "GetCellText", {"Status", 2}, 0, "Inactive"}},
      {kAcc, "DrillDownColumn", {"Name", 1}, {"DRILLDOWNCOL Name 1"},
          {"NorvScreen[Accounts Screen]/NorvView[Account Detail - Contacts View]", "UIName", kAny, 0, "Account Contacts"}},
      {kTabs, "GotoScreen", {"Opportunities Screen"}, {"NAVCONTROL_GOTOSCREEN Opportunities Screen"}, {kOpp, "RowsCount", kAny, 0, 3}},
      {kOpp, "NextRowSet", TrxJson::array(), {"NEXTROWSET"}, {kOpp, "GetCellText", {"Name", 0}, 0, "Acme Service Contract"}},
      {kOpp, "PreviousRowSet", TrxJson::array(), {"PREVROWSET"}, {kOpp, "RowsCount", kAny, 0, 3}},
      {kOpp, "LastRowSet", TrxJson::array(), {"SCROLLDOWN 1"}, {kOpp, "GetCellText", {"Name", 1}, 0, "Bluewater Telematics"}},
      {kOpp, "FirstRowSet", TrxJson::array(), {"SCROLLUP 1"}, {kOpp, "ActiveRow", kAny, 0, 0}},
      {kOpp, "ActivateRow", {2}, {"SETROWFOCUS 2"}, {kOpp, "RowsCount", kAny, 0, 3}},
      {kOpp, "NextRow", TrxJson::array(), {"NEXTROW"}, {kOpp, "RowsCount", kAny, 0, 2}},  // into the next row set
      {kTabs, "GotoScreen", {"Activities Screen"}, {"NAVCONTROL_GOTOSCREEN Activities Screen"}, {kAct, "IsRowExpanded", {0}, 0, false}},
      {kAct, "ClickHier", TrxJson::array(), {"CLICKHIERARCHYNODE"}, {kAct, "GetCellText", {"Description", 2}, 0, "Send the revised quote"}},
      {kAct, "ClickHier", TrxJson::array(), {"CLICKHIERARCHYNODE"}, {kAct, "RowsCount", kAny, 0, 2}},
  };
  // clang-format on
  Requests();
  for (const Step& s : steps) {
    const std::string label = s.path + " " + s.method + s.args.dump();
    EXPECT_EQ(On(s.path, s.method, s.args)["errCode"], 0) << label;
    EXPECT_EQ(Requests(true), s.requests) << label;
    ExpectReads({s.after}, label + " then ");
    Requests();
  }
  EXPECT_EQ(ClientValue(kAccHost, "FrozenColumn"), "");
}

TEST_F(ListTest, UserActionsAreRecordedAsTheCallsThatReplayThem) {
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  const std::string phone = kAccHost + std::string("/Main Phone"), status = kAccHost + std::string("/Status");
  // clang-format off
  struct Action { std::string object; const char* eventId; TrxJson arguments; std::string ods; const char* method; TrxJson args; };
  const Action actions[] = {
      {kAccHost, "SORTCOLUMN", {{"0", "Name"}, {"1", "FALSE"}}, kAcc, "DescendSort", "Name"},
      {kAccHost, "SCROLLDOWN", {{"0", "1"}}, kAcc, "LastRowSet", nullptr},
      {kAccHost, "SCROLLUP", {{"0", "0"}}, kAcc, "PreviousRowSet", nullptr},
      {kAccHost, "SETROWFOCUS", {{"0", "1"}}, kAcc, "ActivateRow", 1},
      {phone, "SETVALUE", {{"0", "555-0777"}}, Cell("NorvText[Main Phone]"), "SetText", "555-0777"},
      {status, "SETVALUE", {{"0", "Inactive"}}, Cell("NorvPicklist[Status]"), "SetText", "Inactive"},
      {kAccHost, "SELECTROW", {{"0", "Control"}, {"1", "2"}}, kAcc, "SelectRow", TrxJson({2, "Ctrl"})},
      {kAccHost, "DOUBLE_CLICK", {{"Row", "-1"}, {"ColumnName", "Status"}, {"Area", "H_COLHEAD"}}, kAcc, "ToggleFrozenColumns", "Status"},
      {kAccHost, "DOUBLE_CLICK", {{"Row", "-1"}, {"ColumnName", "Status"}, {"Area", "GENCTRL"}}, kAcc, "DoubleClick", TrxJson({2, "Status"})},
      {kAccHost, "DOUBLE_CLICK", {{"Row", "0"}, {"ColumnName", ""}, {"Area", "H_CHEVRON"}}, kAcc, "DoubleClick", 0},
      {kAccHost, "DRILLDOWNCOL", {{"0", "Name"}, {"1", "1"}}, kAcc, "DrillDownColumn", TrxJson({"Name", 1})},
  };
  // clang-format on
  std::vector<TrxJson> recorded;
  for (const Action& a : actions)
    recorded.push_back(RecordedAction(a.object, a.eventId, a.arguments, a.ods, a.method,
                                a.args.is_null() ? TrxJson(TrxJson::value_t::discarded) : a.args));
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  const auto state = [&] {
    return TrxJson{ClientValue(kAccHost, "AllCellValues"), ClientValue(kAccHost, "SelectedRows"),
                   ClientValue(kAccHost, "FrozenColumn"), ClientValue(kAccHost, "ActiveRow"),
                   Call({{"call", "client.state"}})["view"]};
  };
  const TrxJson recordedState = state();
  EXPECT_EQ(recordedState[1], TrxJson({1, 2}));
  ReplayOnAFreshClient(recorded);
  EXPECT_EQ(state(), recordedState);
}

TEST_F(ListTest, TheGridHoldsOnlyWhatTheClientGaveAndTheF2PathAndHtmlIdFindTheCell) {
  // clang-format off
  struct Grid { const char* rows; const char* names; std::string cells; LONG errCode; TrxJson grid; };
  const Grid grids[] = {
      {"-1", "A|B", Table("<row value='a|b'/>"), 103, kAny},
      {"2147483647", "A|B", Table("<row value='a|b'/>"), 103, kAny},
      {"2", "A", Table("<row value='a|b'/>"), 0, R"([["A",null],["a","b"],[null,null]])"_j},
      {"1", "A|B", Table("<row value='a|b|c'/><row value='d|e'/>"), 0, R"([["A","B"],["a","b"]])"_j},
      {"2", "A|B", "<property name='AllCellValues' type='strings' value='a|b'/>", 0, R"([["A","B"],[null,null],[null,null]])"_j},
      {"1", "A|B", "<property name='AllCellValues' type='strings' value=''/>", 0, R"([["A","B"],[null,null]])"_j},
      {"1", "A|B", "<property name='AllCellValues' value='a'/>", 0, R"([["A","B"],[null,null]])"_j},
  };
  // clang-format on
  const std::string list = "NorvScreen[S]/NorvView[V]/NorvApplet[A]/NorvList[NorvList]";
  for (size_t i = 0; i < std::size(grids); ++i) {
    const Grid& g = grids[i];
    Close();
    Open(
        TrxWriteTempFile("list" + std::to_string(i) + ".xml",
                         "<application name='M'><screen name='S'><object type='VIEW' name='V'><object type='APPLET' "
                         "name='A'><object type='LISTCONTROL' name='NorvList'><property name='NumRecords' type='int'>" +
                             std::string(g.rows) +
                             "</property><property name='ListColumnCount' type='int'>2</property><property "
                             "name='IsTotalsRow' type='bool'>false</property><property name='ListColNames' "
                             "type='strings' value='" +
                             g.names + "'/>" + g.cells + "</object></object></object></screen></application>"));
    ExpectReads({{list, "GetData", kAny, g.errCode, g.grid}}, "grid " + std::to_string(i) + " ");
  }
  // Parallel column lists of different lengths: a name without its display name is not found.
  ExpectReads({{list, "GetColumnUIName", {"B"}, 1014, kAny}, {list, "GetColumnRepositoryName", {"B"}, 1014, kAny}});
  Close();
  Open(TrxSampleFile());
  const auto idObject = [&] { return Call({{"call", "GetObjectFromId"}, {"htmlId", "s_1_l"}})["trxODS"]; };
  const std::string root = "NorvApplication[Norvik Sales]/";
  EXPECT_EQ(idObject(), TrxOds(root + kAcc)) << "no cell has the focus: the list itself";
  ASSERT_EQ(On(kAcc, "ActivateRow", {2})["errCode"], 0);
  Requests();
  EXPECT_EQ(Submit("ProcessKeyboardAccelerator", {"F2", "Account List Applet.NorvList.Status"})["errCode"], 0);
  const std::vector<std::string> requests = Requests(true);
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front(), "SETCELLFOCUS 2 Status");
  EXPECT_EQ(TrxPlain(On(kAcc, "GetActiveControlName")["retVal"]), "Status");
  EXPECT_EQ(idObject(), TrxOds(root + Cell("NorvPicklist[Status]"))) << "the focused cell stands for the list";
}

}  // namespace
