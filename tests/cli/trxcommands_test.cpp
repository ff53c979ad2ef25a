// The trx commands as a person runs them: output, messages and exit codes.
#include <sstream>

#include "cli/trxcommands.h"
#include "trxclitest.h"

namespace {

TEST(CommandsTest, EveryCommandHasHelp) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{{"--help"},
                                                                                         {"-h"},
                                                                                         {"help"},
                                                                                         {"serve", "--help"},
                                                                                         {"tree", "--help"},
                                                                                         {"defs", "-h"},
                                                                                         {"call", "--help"},
                                                                                         {"demo", "--help"},
                                                                                         {"help", "call"}}) {
    const TrxOutcome run = TrxRun(arguments);
    EXPECT_EQ(run.code, kTrxExitOk) << arguments[0];
    EXPECT_TRUE(TrxHas(run.out, "usage: trx")) << arguments[0] << run.out;
    EXPECT_EQ(run.err, "") << arguments[0];
  }
}

TEST(CommandsTest, CommandLinesThatAreNotUnderstoodExitWithTwo) {
  struct Case {
    std::vector<std::string> arguments;
    const char* says;
  };
  const Case cases[] = {
      {{}, "usage: trx"},
      {{"bogus"}, "unknown command \"bogus\""},
      {{"tree", "--frobnicate"}, "unknown option --frobnicate"},
      {{"tree", "--mode", "2"}, "--mode must be 0, 1 or 5"},
      {{"tree", "--mode"}, "--mode needs a value"},
      {{"tree", "extra"}, "unexpected argument"},
      {{"tree", "--ods", "NorvScreen"}, "--ods"},
      {{"serve", "--detached=yes"}, "unknown option"},
      {{"call", "/"}, "OBJECT and METHOD"},
      {{"call", "NorvScreen[", "GetProperty"}, "OBJECT"},
      {{"call", "--json", "{bad", "/", "GetClassCount"}, "--json"},
      {{"call", "--json", "[1]", "/", "GetClassCount", "x"}, "either"},
      {{"defs", "--version"}, "needs a value"},
  };
  for (const Case& c : cases) {
    const TrxOutcome run = TrxRun(c.arguments);
    EXPECT_EQ(run.code, kTrxExitUsage) << (c.arguments.empty() ? "" : c.arguments[0]) << run.err;
    EXPECT_TRUE(TrxHas(run.err, c.says)) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST(CommandsTest, DescriptionFilesThatCannotBeLoadedSayWhere) {
  const std::string broken =
      TrxWriteTempFile("broken.xml", "<application name=\"x\">\n  <object type=\"MENU\" name=\"m\">\n</application>\n");
  const std::string unknownType = TrxWriteTempFile(
      "unknown.xml", "<application name=\"x\">\n\n  <object type=\"BOGUS\" name=\"m\"/>\n</application>\n");
  struct Case {
    std::string file;
    std::string says;
  };
  const Case cases[] = {
      {broken, broken + ":3:"},
      {unknownType, unknownType + ":3:"},
      {"/no/such/dir/client.xml", "/no/such/dir/client.xml"},
  };
  for (const Case& c : cases) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"serve", "--app", c.file}, {"tree", "--app", c.file}, {"call", "--app", c.file, "/", "UIName"}}) {
      const TrxOutcome run = TrxRun(arguments, "{\"call\":\"GetLastError\"}\n");
      EXPECT_EQ(run.code, kTrxExitFailed) << arguments[0] << " " << c.file;
      EXPECT_TRUE(TrxHas(run.err, c.says)) << run.err;
      EXPECT_EQ(run.out, "") << arguments[0];
    }
  }
}

TEST(CommandsTest, ServeAnswersLinesFromItsInput) {
  const TrxOutcome run = TrxRun({"serve", "--app", TrxSampleFile()},
                                "{\"id\":1,\"call\":\"Submit\",\"trxODS\":\"\",\"methodName\":\"GetSessionId\"}\n"
                                "nonsense\n"
                                "{\"id\":2,\"call\":\"SetSubmitTimeout\",\"timeOut\":9}\n");
  EXPECT_EQ(run.code, kTrxExitOk) << run.err;
  std::istringstream lines(run.out);
  std::string first, second, third, more;
  std::getline(lines, first);
  std::getline(lines, second);
  std::getline(lines, third);
  EXPECT_FALSE(std::getline(lines, more));
  EXPECT_EQ(TrxJson::parse(first)["retVal"]["vt"], 8);
  EXPECT_TRUE(TrxJson::parse(second).contains("error"));
  EXPECT_EQ(TrxJson::parse(third), TrxJson({{"id", 2}, {"hr", -1014}}));
}

TEST(CommandsTest, ServeDetachedWaitsForClientAttach) {
  const TrxOutcome run = TrxRun({"serve", "--detached", "--app", TrxSampleFile()},
                                "{\"id\":1,\"call\":\"client.state\"}\n{\"id\":2,\"call\":\"client.attach\"}\n"
                                "{\"id\":3,\"call\":\"client.state\"}\n");
  EXPECT_EQ(run.code, kTrxExitOk) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  std::vector<TrxJson> replies;
  while (std::getline(lines, line)) replies.push_back(TrxJson::parse(line));
  ASSERT_EQ(replies.size(), 3u) << run.out;
  EXPECT_EQ(replies[0]["registered"], false);
  EXPECT_EQ(replies[1]["hr"], 0);
  EXPECT_EQ(replies[2]["registered"], true);
}

TEST(CommandsTest, CallPrintsTheResultAndExitsOnTheErrorCode) {
  struct Case {
    std::vector<std::string> arguments;
    int code;
    std::vector<std::string> says;
  };
  const std::string app = TrxSampleFile();
  const Case cases[] = {
      {{"call", "--app", app, "/", "GetClassCount", "NorvMenu"},
       kTrxExitOk,
       {"retVal:  1\n", "errCode: 0\n", "errMsg:  (null)\n"}},
      {{"call", "--app", app, "", "SetTimeOut", "30"}, kTrxExitOk, {"retVal:  60\n"}},
      {{"call", "--app", app, "/", "SetTimeOut", "9"}, kTrxExitFailed, {"errCode: 1014\n", "9(Expected value >= 10)"}},
      {{"call", "--app", app, "--json", "[\"NorvPageTabs\", 0]", "/", "GetRepositoryNameByIndex"},
       kTrxExitOk,
       {"retVal:  \"NorvPageTabs\"\n"}},
      {{"call", "--app", app, "--json", "true", "/", "GetClassCount"},
       kTrxExitFailed,
       {"hr:      0x80070057", "errCode: -1013\n"}},
      {{"call", "--app", app, "/", "GetProperties", "RepositoryName", "UIName"},
       kTrxExitOk,
       {"retVal:  [[\"RepositoryName\", \"Norvik Sales\"], [\"UIName\", \"Norvik Sales Enterprise\"]]\n"}},
      {{"call", "--app", app, "/", "GetClassCount", "--", "--x"}, kTrxExitFailed, {"errCode: 1014\n", "\"--x\""}},
      {{"call", "--app", app, "NorvScreen[Accounts Screen]", "GetProperty", "UIName"}, kTrxExitOk, {"\"Accounts\""}},
      {{"call", "--app", app,
        "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account List Applet]/NorvList[NorvList]",
        "GetProperty", "RowsCount"},
       kTrxExitFailed,
       {"errCode: -1016\n"}},
  };
  for (const Case& c : cases) {
    const TrxOutcome run = TrxRun(c.arguments);
    EXPECT_EQ(run.code, c.code) << c.arguments[4] << run.out << run.err;
    for (const std::string& part : c.says) EXPECT_TRUE(TrxHas(run.out, part)) << part << " in\n" << run.out;
  }
}

TEST(CommandsTest, DefsPrintsTheCatalogueOrWhyNot) {
  const TrxOutcome document = TrxRun({"defs"});
  EXPECT_EQ(document.code, kTrxExitOk);
  EXPECT_TRUE(TrxHas(document.out, "<NorvikObjectsConfig")) << document.out.substr(0, 200);

  const TrxOutcome summary = TrxRun({"defs", "--summary"});
  EXPECT_EQ(summary.code, kTrxExitOk);
  EXPECT_TRUE(TrxHas(summary.out, "Object definitions version 8.2: ")) << summary.out;
  EXPECT_TRUE(TrxHas(summary.out, "  NorvApplication ")) << summary.out;

  const TrxOutcome same = TrxRun({"defs", "--version", "8.2"});
  EXPECT_EQ(same.code, kTrxExitOk);
  EXPECT_TRUE(TrxHas(same.out, "trx has the same object definition (code 2)")) << same.out;

  const TrxOutcome newer = TrxRun({"defs", "--version=9"});
  EXPECT_EQ(newer.code, kTrxExitFailed);
  EXPECT_TRUE(TrxHas(newer.err, "trx has an older object definition (code -1023)")) << newer.err;
}

TEST(CommandsTest, TreePrintsTheObjectsTheServiceFinds) {
  // A client whose application has no children: its tree can be built today.
  const std::string app = TrxWriteTempFile("tree.xml",
                                           "<application name=\"Mini\" displayName=\"Mini &amp; Co\">\n"
                                           "  <object type=\"NAVCONTROL\" name=\"Screen\" visible=\"false\"/>\n"
                                           "</application>\n");
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
  };
  const Case cases[] = {
      {{"tree", "--app", app},
       "NorvApplication[Mini]   (active)\n"
       "    RepositoryName = \"Mini\"\n"
       "    ClassName = \"NorvApplication\"\n"
       "    UIName = \"Mini & Co\"\n"},
      {{"tree", "--app", app, "--mode", "5"}, "NorvApplication[Mini]   (active)\n"},
      {{"tree", "--app", app, "--mode=0", "--ods", "/"},
       "NorvApplication[Mini]\n"
       "    RepositoryName = \"Mini\"\n"
       "    ClassName = \"NorvApplication\"\n"
       "    UIName = \"Mini & Co\"\n"},
  };
  for (const Case& c : cases) {
    const TrxOutcome run = TrxRun(c.arguments);
    EXPECT_EQ(run.code, kTrxExitOk) << run.err;
    EXPECT_EQ(run.out, c.out);
  }
  const TrxOutcome xml = TrxRun({"tree", "--app", app, "--xml"});
  EXPECT_EQ(xml.code, kTrxExitOk);
  EXPECT_TRUE(TrxHas(xml.out, "<Property Type=\"8\" Name=\"UIName\" Value=\"Mini &amp; Co\"/>")) << xml.out;
}

TEST(CommandsTest, TreeReportsWhyItHasNoTree) {
  // The sample's objects below the application have no automation classes
  // yet, so the service cannot build its tree.
  const TrxOutcome run = TrxRun({"tree", "--app", TrxSampleFile()});
  if (run.code == kTrxExitOk) {
    EXPECT_TRUE(TrxHas(run.out, "NorvApplication[")) << run.out;
  } else {
    EXPECT_EQ(run.code, kTrxExitFailed);
    EXPECT_TRUE(TrxHas(run.err, "errCode -1023")) << run.err;
  }
}

TEST(CommandsTest, DemoWalksThroughTheService) {
  const TrxOutcome run = TrxRun({"demo", "--app", TrxSampleFile()});
  EXPECT_EQ(run.code, kTrxExitOk) << run.err;
  for (const char* part :
       {"== GetRootObject", "== GetObjectDefinitions", "GetClassCount(\"NorvMenu\")\n      -> retVal 1",
        "REQID_PROCESSACCELERATOR on \"\" (120,TRUE,TRUE,FALSE)", "errCode -1018"})
    EXPECT_TRUE(TrxHas(run.out, part)) << part;
}

}  // namespace
