// The service's eleven methods through the bridge, against the sample
// client: what a tool gets back for each documented case.
#include <filesystem>

#include "trxclitest.h"

namespace {

constexpr LONG kStatusArgValue = static_cast<LONG>(0xFFFFFC0A);  // -1014 as a COM status
const TrxJson kEmpty = {{"vt", 0}};
const TrxJson kNone(TrxJson::value_t::discarded);

class FacadeTest : public TrxBridgeTest {
 protected:
  // The value of a property of the simulated client, as its description gives it.
  TrxJson ClientValue(const char* object, const char* property) {
    return Call({{"call", "client.get"}, {"object", object}, {"property", property}})["value"];
  }
  // The requests the client received.
  std::vector<TrxJson> Journal() { return Call({{"call", "client.journal"}})["journal"].get<std::vector<TrxJson>>(); }
  bool Client(const TrxJson& request) { return Call(request)["ok"] == true; }
};

TEST_F(FacadeTest, SetSubmitTimeoutAcceptsTenAndAboveWritesNoOutParameterAndKeepsARefusedValue) {
  // clang-format off
  const std::pair<LONG, LONG> cases[] = {{9, kStatusArgValue}, {-1, kStatusArgValue}, {INT32_MIN, kStatusArgValue}, {0, kStatusArgValue},
                                         {10, S_OK}, {60000, S_OK}, {20000, S_OK}, {9, kStatusArgValue}};
  // clang-format on
  for (const auto& [timeOut, hr] : cases) {
    const TrxJson reply = Call({{"call", "SetSubmitTimeout"}, {"timeOut", timeOut}});
    EXPECT_EQ(reply["hr"], hr) << timeOut;
    EXPECT_TRUE(TrxUnwritten(reply, "errCode") && TrxUnwritten(reply, "errMsg")) << reply.dump();
  }
  // SetTimeOut answers with the time-out it replaces, in seconds.
  EXPECT_EQ(Submit("SetTimeOut", 60)["retVal"], TrxJson({{"vt", 3}, {"value", 20}}));
}

TEST_F(FacadeTest, GetObjectDefinitionsComparesTheCallersVersionNumberByNumber) {
  struct Case {
    TrxJson ver;  // kNone: left out
    LONG errCode;
    const char* errMsg;  // nullptr: the document comes
  };
  const Case cases[] = {
      {"", 0, nullptr},
      {kNone, 0, nullptr},
      {nullptr, 0, nullptr},
      {"8.1", 0, nullptr},
      {"8.19", -1023, "trx has an older object definition"},
      {"08.2", 2, "trx has the same object definition"},
      {"8.2", 2, "trx has the same object definition"},
      {"8.10", -1023, "trx has an older object definition"},  // 10 is after 2
      {"abc", -1023, "trx has an older object definition"},
      {"8.2.1", -1023, "trx has an older object definition"},
      {"8.02a", 0, nullptr},  // a part that is not a number is compared as text: "02a" comes before "2"
  };
  for (const Case& c : cases) {
    TrxJson request = {{"call", "GetObjectDefinitions"}};
    if (!c.ver.is_discarded()) request["ver"] = c.ver;
    const TrxJson reply = Call(request);
    EXPECT_TRUE(TrxFields(reply, {{"hr", 0}, {"errCode", c.errCode}, {"errMsg", c.errMsg ? c.errMsg : ""}}));
    const TrxJson document = reply.value("trxDefnXML", TrxJson());
    const std::string text = document.is_string() ? document.get<std::string>() : "";
    EXPECT_TRUE(c.errMsg ? document.is_null() : TrxHas(text, "<NorvikObjectsConfig") && TrxHas(text, "Version=\"8.2\""))
        << request.dump();
  }
}

TEST_F(FacadeTest, ServiceLevelMethodsIgnoreCaseAndTheDescriptorAndOperationIdsCountUp) {
  const TrxJson session = ClientValue("", "SessionID");
  for (const char* ods : {kTrxRootOds, "not a descriptor", ""}) {
    for (const char* method : {"GetSessionId", "getsessionid", "GETSESSIONID"})
      EXPECT_TRUE(TrxFields(Submit(method, kNone, ods), {{"errCode", 0}, {"retVal", session}})) << method << ods;
    const TrxJson busy = Submit("getbusytime", kNone, ods);
    EXPECT_TRUE(busy["errCode"] == 0 && busy["retVal"]["vt"] == 3) << busy.dump();
  }
  // It is the one method that writes an empty errMsg rather than none.
  const TrxJson supported = Submit("getsupportedcomponents");
  const std::string components = supported["retVal"]["value"].get<std::string>();
  EXPECT_TRUE(components.rfind("<?xml", 0) == 0 && TrxHas(components, "<supportedcomponents>")) << components;
  EXPECT_EQ(supported["errMsg"], "");
  // Every call on an object counts the operation id up.
  const TrxJson before = Submit("GetLastOpId")["retVal"]["value"];
  Submit("UIName");
  Submit("UIName");
  const std::string after = Submit("getlastopid")["retVal"]["value"].get<std::string>();
  EXPECT_EQ(std::stoi(after), (before == "" ? -1 : std::stoi(before.get<std::string>())) + 2);
}

// Names of properties ignore case; names of methods do not ("getproperty"
// is checked against the catalogue, where no such method exists).
TEST_F(FacadeTest, ApplicationMethodsAndProperties) {
  struct Case {
    const char* method;
    TrxJson args;
    LONG errCode;
    TrxJson retVal;
    const char* message;  // part of errMsg when errCode is not 0
  };
  const TrxJson name = ClientValue("", "Name"), uiName = ClientValue("", "DisplayName");
  // clang-format off
  const Case cases[] = {
      {"RepositoryName", kNone, 0, name, nullptr},
      {"UIName", kNone, 0, uiName, nullptr},
      {"uiname", kNone, 0, uiName, nullptr},
      {"ClassName", kNone, 0, {{"vt", 8}, {"value", "NorvApplication"}}, nullptr},
      {"GetProperty", "UIName", 0, uiName, nullptr},
      {"getproperty", "UIName", -12, kEmpty, "getproperty"},
      {"GetClassCount", "NorvMenu", 0, {{"vt", 3}, {"value", 1}}, nullptr},
      // A two-dimensional array: an array over the first index of arrays over the second.
      {"GetProperties", TrxJson::array({"RepositoryName", "UIName"}), 0, TrxJson::parse(R"({"vt":8204,"value":[[{"vt":8,"value":"RepositoryName"},{"vt":8,"value":"Norvik Sales"}],[{"vt":8,"value":"UIName"},{"vt":8,"value":"Norvik Sales Enterprise"}]]})"), nullptr},
      {"GetClassCount", "NorvView", 1014, kEmpty, "\"NorvView\""},
      {"GetRepositoryNameByIndex", TrxJson::array({"NorvPageTabs", 0}), 0, {{"vt", 8}, {"value", "NorvPageTabs"}}, nullptr},
      {"GetRepositoryNameByIndex", TrxJson::array({"NorvPageTabs", 1}), 1014, kEmpty, "\"Index\""},
      {"SetTimeOut", 10, 0, {{"vt", 3}, {"value", 60}}, nullptr},
      {"SetTimeOut", 9, 1014, kEmpty, "9(Expected value >= 10)"},
      {"SetTimeOut", 30, 0, {{"vt", 3}, {"value", 10}}, nullptr},
      {"Sync", kNone, 0, kEmpty, nullptr},
      {"NoSuchMethod", kNone, -12, kEmpty, "NoSuchMethod"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const TrxJson reply = Submit(c.method, c.args);
    const std::string label = std::string(c.method) + " " + c.args.dump();
    EXPECT_TRUE(TrxFields(reply, {{"hr", 0}, {"errCode", c.errCode}, {"retVal", c.retVal}})) << label;
    if (c.message)
      EXPECT_TRUE(TrxHas(reply["errMsg"].get<std::string>(), c.message)) << label << " -> " << reply.dump();
    else
      EXPECT_TRUE(reply["errMsg"].is_null()) << label;
  }
  // None of them asked the client to do anything; a value is read when asked for.
  EXPECT_TRUE(Journal().empty());
  ASSERT_TRUE(Client({{"call", "client.set"}, {"property", "DisplayName"}, {"value", "Renamed"}}));
  EXPECT_EQ(Submit("UIName")["retVal"], TrxJson({{"vt", 8}, {"value", "Renamed"}}));
}

TEST_F(FacadeTest, AKeyboardAcceleratorReachesTheClientAsOneRequestUnlessItIsTabAndAFailureIsReported) {
  for (const char* keys : {"Tab", "Ctrl+Tab"}) {
    const TrxJson reply = Submit("ProcessKeyboardAccelerator", keys);
    EXPECT_EQ(reply["errCode"], 1014) << keys;
    EXPECT_TRUE(TrxHas(reply["errMsg"].get<std::string>(), "'Tab'")) << reply.dump();
  }
  EXPECT_TRUE(Journal().empty()) << "the Tab key is refused before anything is sent";
  EXPECT_TRUE(TrxFields(Submit("ProcessKeyboardAccelerator", "Ctrl+Shift+F9"), {{"errCode", 0}, {"errMsg", nullptr}}));
  const std::vector<TrxJson> journal = Journal();
  ASSERT_EQ(journal.size(), 1u);
  // The request carried the operation id of its call.
  const TrxJson request = TrxJson::parse(
      R"j({"requestId":1,"request":"REQID_PROCESSACCELERATOR","object":"","arguments":["120","TRUE","TRUE","FALSE"],)j"
      R"j("argumentText":"(120,TRUE,TRUE,FALSE)","finished":true})j");
  EXPECT_TRUE(TrxFields(journal[0], request));
  EXPECT_EQ(journal[0]["operationId"], Submit("GetLastOpId")["retVal"]["value"]);
  ASSERT_TRUE(Client({{"call", "client.fail"}, {"code", 42}, {"text", "refused"}, {"count", 1}}));
  const TrxJson failed = Submit("ProcessKeyboardAccelerator", "F8");
  EXPECT_EQ(failed["errCode"], -1022) << failed.dump();
  EXPECT_TRUE(failed["errMsg"].is_string());
  EXPECT_EQ(Submit("ProcessKeyboardAccelerator", "F8")["errCode"], 0) << "only the one request failed";
}

TEST_F(FacadeTest, GetLastErrorReportsTheErrorOfThePreviousCall) {
  const TrxJson failed = Submit("GetClassCount", "NorvView");
  ASSERT_EQ(failed["errCode"], 1014);
  const TrxJson first = Call({{"call", "GetLastError"}});
  EXPECT_EQ(first, TrxJson({{"hr", 0}, {"errCode", 1014}, {"errMsg", failed["errMsg"]}}));
  EXPECT_EQ(Call({{"call", "GetLastError"}}), first) << "reading it does not clear it";
  ASSERT_EQ(Submit("UIName")["errCode"], 0);
  EXPECT_EQ(Call({{"call", "GetLastError"}}), TrxJson({{"hr", 0}, {"errCode", 0}, {"errMsg", ""}}))
      << "a call that succeeds clears it";
}

TEST_F(FacadeTest, GetRootObjectNamesTheApplicationByItsNameAndGetObjectContentsRefusesOtherModes) {
  const std::string name = ClientValue("", "Name")["value"].get<std::string>();
  EXPECT_EQ(Call({{"call", "GetRootObject"}})["trxODS"],
            "<Obj ClassName=\"NorvApplication\" RepositoryName=\"" + name + "\"/>");
  for (LONG mode : {2, -1, 4, 6}) {
    const TrxJson reply = Call({{"call", "GetObjectContents"}, {"nMode", mode}, {"trxODS", kTrxRootOds}});
    EXPECT_TRUE(TrxFields(
        reply,
        R"({"hr":0,"errCode":-1014,"errMsg":"Unsupported input value for nMode. Only values 0, 1 and 5 are supported"})"_j));
    EXPECT_TRUE(TrxUnwritten(reply, "trxContentXML")) << mode;
  }
}

TEST_F(FacadeTest, AnUnloadedClientIsReportedUntilItAttachesAgain) {
  ASSERT_EQ(Call({{"call", "client.unload"}})["hr"], 0);
  EXPECT_EQ(Submit("GetClassCount", "NorvMenu"),
            R"({"hr":0,"errCode":-1018,"errMsg":"Could not find Norvik application object.","retVal":{"vt":0}})"_j);
  ASSERT_EQ(Call({{"call", "client.attach"}})["hr"], 0);
  EXPECT_EQ(Submit("GetClassCount", "NorvMenu")["errCode"], 0);
}

TEST_F(FacadeTest, AClientThatNeverBecomesIdleIsBusy) {
  ASSERT_EQ(Call({{"call", "SetSubmitTimeout"}, {"timeOut", 50}})["hr"], 0);
  ASSERT_TRUE(Client({{"call", "client.busy"}}));
  EXPECT_TRUE(
      TrxFields(Submit("GetClassCount", "NorvMenu"), R"({"errCode":-1019,"errMsg":"Norvik application is busy."})"_j));
  const std::pair<TrxJson, const char*> others[] = {
      {{{"call", "GetRootObject"}}, "trxODS"},
      {{{"call", "GetObjectContents"}, {"nMode", 1}, {"trxODS", kTrxRootOds}}, "trxContentXML"},
      {{{"call", "GetObjectFromId"}, {"htmlId", "s_1"}}, "trxODS"}};
  for (const auto& [request, out] : others) {
    const TrxJson reply = Call(request);
    EXPECT_EQ(reply["errCode"], -1019) << request.dump();
    EXPECT_TRUE(TrxUnwritten(reply, out)) << reply.dump();
  }
  ASSERT_TRUE(Client({{"call", "client.busy"}, {"on", false}}));
  EXPECT_EQ(Submit("GetClassCount", "NorvMenu")["errCode"], 0);
}

TEST_F(FacadeTest, AHangingRequestIsAbandonedAndCanBeReleased) {
  ASSERT_EQ(Call({{"call", "SetSubmitTimeout"}, {"timeOut", 100}})["hr"], 0);
  ASSERT_EQ(Call({{"call", "StartRecording"}})["errCode"], 0);
  ASSERT_TRUE(Client({{"call", "client.hang"}}));
  const TrxJson reply = Submit("ProcessKeyboardAccelerator", "F9");
  EXPECT_NE(reply["errCode"], 0) << reply.dump();
  // The request hangs in the client (a client in another process may get it
  // only after the service has given up on it); released, it returns on its
  // own thread.
  const auto state = [&](int hanging) {
    TrxJson now;
    for (int attempt = 0; attempt < 200 && now["hanging"] != hanging; ++attempt) {
      if (attempt) Sleep(50);
      now = Call({{"call", "client.state"}});
    }
    return now;
  };
  EXPECT_TRUE(TrxFields(state(1), {{"hanging", 1}, {"idle", false}}));
  EXPECT_EQ(Call({{"call", "client.release"}})["released"], 1);
  EXPECT_EQ(state(0)["hanging"], 0);
  // Released while recording, without loopback tests: no echo keeps the
  // client busy.
  ASSERT_EQ(Call({{"call", "StopRecording"}})["errCode"], 0);
  EXPECT_EQ(Call({{"call", "GetRootObject"}})["errCode"], 0);
}

TEST_F(FacadeTest, LoggingGoesToTheNamedFile) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "trx_cli_tests_facade.log";
  std::filesystem::remove(file);
  EXPECT_EQ(Call({{"call", "StartLogging"}, {"filename", file.string()}, {"bAppend", false}})["errCode"], 0);
  Submit("UIName");
  EXPECT_EQ(Call({{"call", "StopLogging"}})["errCode"], 0);
  EXPECT_TRUE(std::filesystem::exists(file) && std::filesystem::file_size(file) > 0);
  std::filesystem::remove(file);

  const std::string nowhere = (std::filesystem::temp_directory_path() / "trx_no_such_dir" / "x.log").string();
  const TrxJson refused = Call({{"call", "StartLogging"}, {"filename", nowhere}});
  EXPECT_NE(refused["errCode"], 0) << refused.dump();
  EXPECT_TRUE(TrxHas(refused["errMsg"].get<std::string>(), "x.log")) << refused.dump();
}

class MiniClientTest : public TrxBridgeTest {
 protected:
  void SetUp() override {
    Open(TrxWriteTempFile(
        "mini.xml", "<application name=\"Mini\" displayName=\"Mini Client\" sessionId=\"S-1\" htmlId=\"s_0\"/>\n"));
    // Without its screen tab bar the application has no children at all.
    ASSERT_EQ(Call({{"call", "client.hide"}, {"object", "Screen"}})["ok"], true);
  }
};

TEST_F(MiniClientTest, UnknownIdsAndClassesFindNothing) {
  EXPECT_EQ(Call({{"call", "GetObjectFromId"}, {"htmlId", "s_999"}}),
            R"({"hr":0,"errCode":-100,"errMsg":"The htmlId did not map to any TRX object","trxODS":null})"_j);
  EXPECT_EQ(Call({{"call", "GetLastError"}})["errCode"], -100) << "the failed lookup is the last error";
  // Objects below the application cannot be built from a class without its automation class.
  EXPECT_TRUE(TrxFields(Submit("GetProperty", "UIName",
                               "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Mini\"><Obj "
                               "ClassName=\"NorvApplet\" RepositoryName=\"A\"/></Obj>"),
                        {{"errCode", -1016}, {"retVal", kEmpty}}));
}

TEST_F(MiniClientTest, GetObjectContentsOfEachMode) {
  for (const auto& [mode, properties] : {std::pair{0, true}, std::pair{1, true}, std::pair{5, false}}) {
    const TrxJson reply = Call({{"call", "GetObjectContents"}, {"nMode", mode}, {"trxODS", kTrxRootOds}});
    EXPECT_TRUE(TrxFields(reply, {{"errCode", 0}, {"errMsg", ""}})) << mode;
    const std::string document = reply["trxContentXML"].get<std::string>();
    EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"UTF-16\"?>", 0), 0u) << document;
    EXPECT_TRUE(TrxHas(document, "<NorvikObjTree Version=\"1.0\">")) << document;
    EXPECT_TRUE(TrxHas(document, "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Mini\"")) << document;
    EXPECT_EQ(TrxHas(document, "Name=\"UIName\" Value=\"Mini Client\""), properties) << document;
  }
  // Mode 1 marks the object the descriptor names; the root when the
  // descriptor is the root's own.
  const TrxJson marked = Call({{"call", "GetObjectContents"},
                               {"nMode", 1},
                               {"trxODS", "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Mini\"/>"}});
  EXPECT_TRUE(TrxHas(marked["trxContentXML"].get<std::string>(), "ActiveElement=\"true\""));
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
