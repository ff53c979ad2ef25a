// The service's eleven methods through the bridge, against the sample
// client: what a tool gets back for each documented case.
#include <filesystem>

#include "trxclitest.h"

namespace {

constexpr LONG kStatusArgValue = static_cast<LONG>(0xFFFFFC0A);  // -1014 as a COM status

class FacadeTest : public TrxBridgeTest {
 protected:
  // The value of a property of the simulated client, as its description gives it.
  TrxJson ClientValue(const char* object, const char* property) {
    return Call({{"call", "client.get"}, {"object", object}, {"property", property}})["value"];
  }
  // The requests the client received.
  std::vector<TrxJson> Journal() { return Call({{"call", "client.journal"}})["journal"].get<std::vector<TrxJson>>(); }
};

// ---- SetSubmitTimeout -----------------------------------------------------------------------------

TEST_F(FacadeTest, SetSubmitTimeoutAcceptsTenAndAboveAndWritesNoOutParameter) {
  struct Case {
    LONG timeOut;
    LONG hr;
  };
  const Case cases[] = {{9, kStatusArgValue}, {-1, kStatusArgValue}, {INT32_MIN, kStatusArgValue}, {0, kStatusArgValue},
                        {10, S_OK},           {60000, S_OK}};
  for (const Case& c : cases) {
    const TrxJson reply = Call({{"call", "SetSubmitTimeout"}, {"timeOut", c.timeOut}});
    EXPECT_EQ(reply["hr"], c.hr) << c.timeOut;
    EXPECT_TRUE(TrxUnwritten(reply, "errCode")) << reply.dump();
    EXPECT_TRUE(TrxUnwritten(reply, "errMsg")) << reply.dump();
  }
  EXPECT_EQ(kStatusArgValue, -1014);
}

TEST_F(FacadeTest, ARefusedSubmitTimeoutLeavesTheTimeOutAsItWas) {
  ASSERT_EQ(Call({{"call", "SetSubmitTimeout"}, {"timeOut", 20000}})["hr"], 0);
  ASSERT_EQ(Call({{"call", "SetSubmitTimeout"}, {"timeOut", 9}})["hr"], -1014);
  // SetTimeOut answers with the time-out it replaces, in seconds.
  EXPECT_EQ(Submit("SetTimeOut", 60)["retVal"], TrxJson({{"vt", 3}, {"value", 20}}));
}

// ---- GetObjectDefinitions -------------------------------------------------------------------------

TEST_F(FacadeTest, GetObjectDefinitionsComparesTheCallersVersionNumberByNumber) {
  struct Case {
    TrxJson ver;  // discarded: left out
    LONG errCode;
    const char* errMsg;  // nullptr: the document comes
  };
  const Case cases[] = {
      {"", 0, nullptr},
      {TrxJson(TrxJson::value_t::discarded), 0, nullptr},
      {nullptr, 0, nullptr},
      {"8.1", 0, nullptr},
      {"8.19", -1023, "trx has an older object definition"},
      {"08.2", 2, "trx has the same object definition"},
      {"8.2", 2, "trx has the same object definition"},
      {"9", -1023, "trx has an older object definition"},
      {"8.10", -1023, "trx has an older object definition"},  // 10 is after 2
      {"abc", -1023, "trx has an older object definition"},
      {"8.2.1", -1023, "trx has an older object definition"},
  };
  for (const Case& c : cases) {
    TrxJson request = {{"call", "GetObjectDefinitions"}};
    if (!c.ver.is_discarded()) request["ver"] = c.ver;
    const TrxJson reply = Call(request);
    const std::string label = request.dump();
    EXPECT_EQ(reply["hr"], 0) << label;
    EXPECT_EQ(reply["errCode"], c.errCode) << label;
    if (c.errMsg) {
      EXPECT_EQ(reply["errMsg"], c.errMsg) << label;
      EXPECT_TRUE(reply["trxDefnXML"].is_null()) << label;
    } else {
      EXPECT_EQ(reply["errMsg"], "") << label;
      const std::string document = reply["trxDefnXML"].get<std::string>();
      EXPECT_NE(document.find("<NorvikObjectsConfig"), std::string::npos) << label;
      EXPECT_NE(document.find("Version=\"8.2\""), std::string::npos) << label;
    }
  }
}

// ---- Submit: service-level, object-level and property names ---------------------------------------

TEST_F(FacadeTest, ServiceLevelMethodsIgnoreCaseAndTheDescriptor) {
  const TrxJson session = ClientValue("", "SessionID");
  for (const char* ods : {kTrxRootOds, "not a descriptor", ""}) {
    for (const char* method : {"GetSessionId", "getsessionid", "GETSESSIONID"}) {
      const TrxJson reply = Submit(method, TrxJson(TrxJson::value_t::discarded), ods);
      EXPECT_EQ(reply["errCode"], 0) << method << " " << ods;
      EXPECT_EQ(reply["retVal"], session) << method << " " << ods;
    }
    const TrxJson busy = Submit("getbusytime", TrxJson(TrxJson::value_t::discarded), ods);
    EXPECT_EQ(busy["errCode"], 0) << ods;
    EXPECT_EQ(busy["retVal"]["vt"], 3) << ods;
  }
}

TEST_F(FacadeTest, OperationIdsCountUpWithEveryCallOnAnObject) {
  const TrxJson before = Submit("GetLastOpId")["retVal"]["value"];
  Submit("UIName");
  Submit("UIName");
  const std::string after = Submit("getlastopid")["retVal"]["value"].get<std::string>();
  EXPECT_EQ(std::stoi(after), (before == "" ? -1 : std::stoi(before.get<std::string>())) + 2);
}

TEST_F(FacadeTest, GetBusyTimeOfAnIdleClientIsAboutZero) {
  const TrxJson reply = Submit("GetBusyTime");
  EXPECT_EQ(reply["errCode"], 0);
  ASSERT_EQ(reply["retVal"]["vt"], 3);
  const int busy = reply["retVal"]["value"].get<int>();
  EXPECT_GE(busy, -100);
  EXPECT_LE(busy, 1000);
}

TEST_F(FacadeTest, GetSupportedComponentsListsTheClientsControls) {
  const TrxJson reply = Submit("getsupportedcomponents");
  EXPECT_EQ(reply["errCode"], 0);
  const std::string document = reply["retVal"]["value"].get<std::string>();
  EXPECT_EQ(document.rfind("<?xml", 0), 0u) << document;
  EXPECT_NE(document.find("<supportedcomponents>"), std::string::npos);
}

TEST_F(FacadeTest, ObjectLevelMethodNamesAreExact) {
  const TrxJson uiName = ClientValue("", "DisplayName");
  EXPECT_EQ(Submit("GetProperty", "UIName")["retVal"], uiName);
  // "getproperty" is no object-level method: it is checked against the
  // catalogue, where no such method exists.
  const TrxJson lower = Submit("getproperty", "UIName");
  EXPECT_EQ(lower["errCode"], -12);
  EXPECT_NE(lower["errMsg"].get<std::string>().find("getproperty"), std::string::npos) << lower.dump();
  EXPECT_EQ(lower["retVal"], TrxJson({{"vt", 0}}));
}

TEST_F(FacadeTest, PropertyNamesOfTheApplicationReadTheirValue) {
  struct Case {
    const char* method;
    TrxJson expected;
  };
  const Case cases[] = {
      {"RepositoryName", ClientValue("", "Name")},
      {"UIName", ClientValue("", "DisplayName")},
      {"uiname", ClientValue("", "DisplayName")},
      {"ClassName", {{"vt", 8}, {"value", "NorvApplication"}}},
  };
  for (const Case& c : cases) {
    const TrxJson reply = Submit(c.method);
    EXPECT_EQ(reply["errCode"], 0) << c.method;
    EXPECT_TRUE(reply["errMsg"].is_null()) << c.method;
    EXPECT_EQ(reply["retVal"], c.expected) << c.method;
  }
  // The value is read when asked for.
  ASSERT_EQ(Call({{"call", "client.set"}, {"property", "DisplayName"}, {"value", "Renamed"}})["ok"], true);
  EXPECT_EQ(Submit("UIName")["retVal"], TrxJson({{"vt", 8}, {"value", "Renamed"}}));
}

// ---- Submit: the application's methods ------------------------------------------------------------

TEST_F(FacadeTest, ApplicationMethods) {
  struct Case {
    const char* method;
    TrxJson args;
    LONG errCode;
    TrxJson retVal;
    const char* message;  // part of errMsg when errCode is not 0
  };
  const TrxJson empty = {{"vt", 0}};
  const Case cases[] = {
      {"GetClassCount", "NorvMenu", 0, {{"vt", 3}, {"value", 1}}, nullptr},
      {"GetClassCount", "NorvView", 1014, empty, "\"NorvView\""},
      {"GetRepositoryNameByIndex",
       TrxJson::array({"NorvPageTabs", 0}),
       0,
       {{"vt", 8}, {"value", "NorvPageTabs"}},
       nullptr},
      {"GetRepositoryNameByIndex", TrxJson::array({"NorvPageTabs", 1}), 1014, empty, "\"Index\""},
      {"SetTimeOut", 10, 0, {{"vt", 3}, {"value", 60}}, nullptr},
      {"SetTimeOut", 9, 1014, empty, "9(Expected value >= 10)"},
      {"SetTimeOut", 30, 0, {{"vt", 3}, {"value", 10}}, nullptr},
      {"Sync", TrxJson(TrxJson::value_t::discarded), 0, empty, nullptr},
      {"NoSuchMethod", TrxJson(TrxJson::value_t::discarded), -12, empty, "NoSuchMethod"},
  };
  for (const Case& c : cases) {
    const TrxJson reply = Submit(c.method, c.args);
    const std::string label = std::string(c.method) + " " + c.args.dump();
    EXPECT_EQ(reply["hr"], 0) << label;
    EXPECT_EQ(reply["errCode"], c.errCode) << label << " -> " << reply.dump();
    EXPECT_EQ(reply["retVal"], c.retVal) << label;
    if (c.message) {
      EXPECT_NE(reply["errMsg"].get<std::string>().find(c.message), std::string::npos)
          << label << " -> " << reply.dump();
    } else {
      EXPECT_TRUE(reply["errMsg"].is_null()) << label;
    }
  }
  // None of them asked the client to do anything.
  EXPECT_TRUE(Journal().empty());
}

TEST_F(FacadeTest, AKeyboardAcceleratorReachesTheClientAsOneRequest) {
  const TrxJson reply = Submit("ProcessKeyboardAccelerator", "Ctrl+Shift+F9");
  EXPECT_EQ(reply["errCode"], 0) << reply.dump();
  EXPECT_TRUE(reply["errMsg"].is_null());
  const std::vector<TrxJson> journal = Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0]["requestId"], 1);
  EXPECT_EQ(journal[0]["request"], "REQID_PROCESSACCELERATOR");
  EXPECT_EQ(journal[0]["object"], "");
  EXPECT_EQ(journal[0]["arguments"], TrxJson::array({"120", "TRUE", "TRUE", "FALSE"}));
  EXPECT_EQ(journal[0]["argumentText"], "(120,TRUE,TRUE,FALSE)");
  EXPECT_EQ(journal[0]["finished"], true);
  // The request carried the operation id of its call.
  const TrxJson opId = Submit("GetLastOpId")["retVal"]["value"];
  EXPECT_EQ(journal[0]["operationId"], opId);
}

TEST_F(FacadeTest, TheTabKeyIsRefusedBeforeAnythingIsSent) {
  for (const char* keys : {"Tab", "Ctrl+Tab"}) {
    const TrxJson reply = Submit("ProcessKeyboardAccelerator", keys);
    EXPECT_EQ(reply["errCode"], 1014) << keys;
    EXPECT_NE(reply["errMsg"].get<std::string>().find("'Tab'"), std::string::npos) << reply.dump();
  }
  EXPECT_TRUE(Journal().empty());
}

TEST_F(FacadeTest, AFailingClientRequestIsReported) {
  ASSERT_EQ(Call({{"call", "client.fail"}, {"code", 42}, {"text", "refused"}, {"count", 1}})["ok"], true);
  const TrxJson failed = Submit("ProcessKeyboardAccelerator", "F8");
  EXPECT_EQ(failed["errCode"], -1022) << failed.dump();
  EXPECT_TRUE(failed["errMsg"].is_string());
  // Only the one request failed.
  EXPECT_EQ(Submit("ProcessKeyboardAccelerator", "F8")["errCode"], 0);
}

// ---- GetLastError ----------------------------------------------------------------------------------

TEST_F(FacadeTest, GetLastErrorReportsTheErrorOfThePreviousCall) {
  const TrxJson failed = Submit("GetClassCount", "NorvView");
  ASSERT_EQ(failed["errCode"], 1014);
  const TrxJson first = Call({{"call", "GetLastError"}});
  EXPECT_EQ(first["hr"], 0);
  EXPECT_EQ(first["errCode"], 1014);
  EXPECT_EQ(first["errMsg"], failed["errMsg"]);
  // Reading it does not clear it.
  EXPECT_EQ(Call({{"call", "GetLastError"}}), first);
  // A call that succeeds clears it.
  ASSERT_EQ(Submit("UIName")["errCode"], 0);
  EXPECT_EQ(Call({{"call", "GetLastError"}}), TrxJson({{"hr", 0}, {"errCode", 0}, {"errMsg", ""}}));
}

// ---- GetRootObject and GetObjectContents on the sample ------------------------------------------

TEST_F(FacadeTest, GetRootObjectNamesTheApplicationByItsName) {
  const TrxJson reply = Call({{"call", "GetRootObject"}});
  EXPECT_EQ(reply["errCode"], 0);
  EXPECT_EQ(reply["trxODS"], "<Obj ClassName=\"NorvApplication\" RepositoryName=\"" +
                                 ClientValue("", "Name")["value"].get<std::string>() + "\"/>");
}

TEST_F(FacadeTest, GetObjectContentsRefusesOtherModes) {
  for (LONG mode : {2, -1, 4, 6}) {
    const TrxJson reply = Call({{"call", "GetObjectContents"}, {"nMode", mode}, {"trxODS", kTrxRootOds}});
    EXPECT_EQ(reply["hr"], 0) << mode;
    EXPECT_EQ(reply["errCode"], -1014) << mode;
    EXPECT_EQ(reply["errMsg"], "Unsupported input value for nMode. Only values 0, 1 and 5 are supported") << mode;
    EXPECT_TRUE(TrxUnwritten(reply, "trxContentXML")) << mode;
  }
}

// ---- the client's state ------------------------------------------------------------------------------

TEST_F(FacadeTest, AnUnloadedClientIsReportedUntilItAttachesAgain) {
  ASSERT_EQ(Call({{"call", "client.unload"}})["hr"], 0);
  const TrxJson reply = Submit("GetClassCount", "NorvMenu");
  EXPECT_EQ(reply["hr"], 0);
  EXPECT_EQ(reply["errCode"], -1018);
  EXPECT_EQ(reply["errMsg"], "Could not find Norvik application object.");
  EXPECT_EQ(reply["retVal"], TrxJson({{"vt", 0}}));
  ASSERT_EQ(Call({{"call", "client.attach"}})["hr"], 0);
  EXPECT_EQ(Submit("GetClassCount", "NorvMenu")["errCode"], 0);
}

TEST_F(FacadeTest, AClientThatNeverBecomesIdleIsBusy) {
  ASSERT_EQ(Call({{"call", "SetSubmitTimeout"}, {"timeOut", 50}})["hr"], 0);
  ASSERT_EQ(Call({{"call", "client.busy"}})["ok"], true);
  const TrxJson submit = Submit("GetClassCount", "NorvMenu");
  EXPECT_EQ(submit["errCode"], -1019);
  EXPECT_EQ(submit["errMsg"], "Norvik application is busy.");
  const TrxJson root = Call({{"call", "GetRootObject"}});
  EXPECT_EQ(root["errCode"], -1019);
  EXPECT_TRUE(TrxUnwritten(root, "trxODS"));
  const TrxJson contents = Call({{"call", "GetObjectContents"}, {"nMode", 1}, {"trxODS", kTrxRootOds}});
  EXPECT_EQ(contents["errCode"], -1019);
  EXPECT_TRUE(TrxUnwritten(contents, "trxContentXML"));
  const TrxJson fromId = Call({{"call", "GetObjectFromId"}, {"htmlId", "s_1"}});
  EXPECT_EQ(fromId["errCode"], -1019);
  EXPECT_TRUE(TrxUnwritten(fromId, "trxODS"));
  ASSERT_EQ(Call({{"call", "client.busy"}, {"on", false}})["ok"], true);
  EXPECT_EQ(Submit("GetClassCount", "NorvMenu")["errCode"], 0);
}

TEST_F(FacadeTest, AHangingRequestIsAbandonedAndCanBeReleased) {
  ASSERT_EQ(Call({{"call", "SetSubmitTimeout"}, {"timeOut", 100}})["hr"], 0);
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  ASSERT_EQ(Call({{"call", "client.hang"}})["ok"], true);
  const TrxJson reply = Submit("ProcessKeyboardAccelerator", "F9");
  EXPECT_NE(reply["errCode"], 0) << reply.dump();
  // The request hangs in the client (a client in another process may get it
  // only after the service has given up on it).
  TrxJson state;
  for (int attempt = 0; attempt < 200 && state["hanging"] != 1; ++attempt) {
    if (attempt) Sleep(50);
    state = Call({{"call", "client.state"}});
  }
  EXPECT_EQ(state["hanging"], 1);
  EXPECT_EQ(state["idle"], false);
  EXPECT_EQ(Call({{"call", "client.release"}})["released"], 1);
  // The released request returns on its own thread.
  bool returned = false;
  for (int attempt = 0; attempt < 200 && !returned; ++attempt) {
    returned = Call({{"call", "client.state"}})["hanging"] == 0;
    if (!returned) Sleep(50);
  }
  EXPECT_TRUE(returned);
  // Released while recording, without loopback tests: no echo keeps the
  // client busy.
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  EXPECT_EQ(Call({{"call", "GetRootObject"}})["errCode"], 0);
}

TEST_F(FacadeTest, RecordingSwitchesTheClientsRecorder) {
  const TrxJson start = Call({{"call", "StartRecording"}});
  EXPECT_EQ(start, TrxJson({{"hr", 0}, {"errCode", 0}, {"errMsg", ""}}));
  EXPECT_EQ(Call({{"call", "client.state"}})["recorder"], true);
  EXPECT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  EXPECT_EQ(Call({{"call", "client.state"}})["recorder"], false);
}

TEST_F(FacadeTest, LoggingGoesToTheNamedFile) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "trx_cli_tests_facade.log";
  std::filesystem::remove(file);
  const TrxJson start = Call({{"call", "StartLogging"}, {"filename", file.string()}, {"bAppend", false}});
  EXPECT_EQ(start["errCode"], 0) << start.dump();
  Submit("UIName");
  EXPECT_EQ(Call({{"call", "StopLogging"}})["errCode"], 0);
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_GT(std::filesystem::file_size(file), 0u);
  std::filesystem::remove(file);

  const std::string nowhere = (std::filesystem::temp_directory_path() / "trx_no_such_dir" / "x.log").string();
  const TrxJson refused = Call({{"call", "StartLogging"}, {"filename", nowhere}});
  EXPECT_NE(refused["errCode"], 0) << refused.dump();
  EXPECT_NE(refused["errMsg"].get<std::string>().find("x.log"), std::string::npos) << refused.dump();
}

// ---- a client with nothing but the application ----------------------------------------------------

class MiniClientTest : public TrxBridgeTest {
 protected:
  void SetUp() override {
    Open(TrxWriteTempFile(
        "mini.xml", "<application name=\"Mini\" displayName=\"Mini Client\" sessionId=\"S-1\" htmlId=\"s_0\"/>\n"));
    // Without its screen tab bar the application has no children at all.
    ASSERT_EQ(Call({{"call", "client.hide"}, {"object", "Screen"}})["ok"], true);
  }
};

TEST_F(MiniClientTest, GetObjectFromIdWithAnUnknownIdFindsNothing) {
  const TrxJson reply = Call({{"call", "GetObjectFromId"}, {"htmlId", "s_999"}});
  EXPECT_EQ(
      reply,
      TrxJson(
          {{"hr", 0}, {"errCode", -100}, {"errMsg", "The htmlId did not map to any TRX object"}, {"trxODS", nullptr}}));
  const TrxJson last = Call({{"call", "GetLastError"}});
  EXPECT_EQ(last["errCode"], -100) << "the failed lookup is the last error";
}

TEST_F(MiniClientTest, GetObjectContentsOfEachMode) {
  struct Case {
    LONG mode;
    bool properties;
  };
  for (const Case c : {Case{0, true}, Case{1, true}, Case{5, false}}) {
    const TrxJson reply = Call({{"call", "GetObjectContents"}, {"nMode", c.mode}, {"trxODS", kTrxRootOds}});
    EXPECT_EQ(reply["errCode"], 0) << c.mode;
    EXPECT_EQ(reply["errMsg"], "") << c.mode;
    const std::string document = reply["trxContentXML"].get<std::string>();
    EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"UTF-16\"?>", 0), 0u) << document;
    EXPECT_NE(document.find("<NorvikObjTree Version=\"1.0\">"), std::string::npos) << document;
    EXPECT_NE(document.find("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Mini\""), std::string::npos)
        << document;
    EXPECT_EQ(document.find("Name=\"UIName\" Value=\"Mini Client\"") != std::string::npos, c.properties) << document;
  }
  // Mode 1 marks the object the descriptor names; the root when the
  // descriptor is the root's own.
  const TrxJson marked = Call({{"call", "GetObjectContents"},
                               {"nMode", 1},
                               {"trxODS", "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Mini\"/>"}});
  EXPECT_NE(marked["trxContentXML"].get<std::string>().find("ActiveElement=\"true\""), std::string::npos);
}

TEST_F(MiniClientTest, ObjectsBelowTheApplicationCannotBeBuiltFromAnUnknownClass) {
  const TrxJson reply = Submit("GetProperty", "UIName",
                               "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Mini\"><Obj "
                               "ClassName=\"NorvApplet\" RepositoryName=\"A\"/></Obj>");
  EXPECT_EQ(reply["errCode"], -1016);
  EXPECT_EQ(reply["retVal"], TrxJson({{"vt", 0}}));
}

TEST_F(MiniClientTest, ADetachedClientAttachesOnRequest) {
  Open(TrxWriteTempFile("mini-detached.xml", "<application name=\"Mini\" displayName=\"Mini\" sessionId=\"S-2\"/>\n"),
       true);
  EXPECT_EQ(Call({{"call", "client.state"}})["registered"], false);
  EXPECT_EQ(Call({{"call", "client.attach"}})["hr"], 0);
  EXPECT_EQ(Call({{"call", "client.state"}})["registered"], true);
  EXPECT_EQ(Submit("GetSessionId")["retVal"], TrxJson({{"vt", 8}, {"value", "S-2"}}));
}

}  // namespace
