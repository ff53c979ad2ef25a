// The trx commands as a person runs them: output, messages and exit codes.
#include <algorithm>

#include "cli/trxcommands.h"
#include "trxclitest.h"

namespace {

using Case = TrxRunCase;

// clang-format off
TEST(CommandsTest, EveryCommandHasHelp) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"help"}, {"serve", "--help"}, {"tree", "--help"}, {"defs", "-h"}, {"call", "--help"},
           {"demo", "--help"}, {"help", "call"}, {"record", "--help"}, {"spy", "--help"}})
    TrxExpectRun({arguments, kTrxExitOk, {"usage: trx"}});
}

TEST(CommandsTest, CommandLinesThatAreNotUnderstoodExitWithTwo) {
  const Case cases[] = {
      {{}, kTrxExitUsage, {}, "usage: trx"},
      {{"bogus"}, kTrxExitUsage, {}, "unknown command \"bogus\""},
      {{"tree", "--frobnicate"}, kTrxExitUsage, {}, "unknown option --frobnicate"},
      {{"tree", "--mode", "2"}, kTrxExitUsage, {}, "--mode must be 0, 1 or 5"},
      {{"tree", "--mode"}, kTrxExitUsage, {}, "--mode needs a value"},
      {{"tree", "extra"}, kTrxExitUsage, {}, "unexpected argument"},
      {{"tree", "--ods", "NorvScreen"}, kTrxExitUsage, {}, "--ods"},
      {{"serve", "--detached=yes"}, kTrxExitUsage, {}, "unknown option"},
      {{"serve", "--max-line", "0"}, kTrxExitUsage, {}, "--max-line must be a number of bytes"},
      {{"serve", "--max-line", "16M"}, kTrxExitUsage, {}, "--max-line must be a number of bytes"},
      {{"serve", "--idle-pause", "60001"}, kTrxExitUsage, {}, "--idle-pause must be a number of milliseconds"},
      {{"serve", "--idle-pause", "5ms"}, kTrxExitUsage, {}, "--idle-pause must be a number of milliseconds"},
      {{"call", "/"}, kTrxExitUsage, {}, "OBJECT and METHOD"},
      {{"call", "--output", "xml", "/", "UIName"}, kTrxExitUsage, {}, "--output must be text or json"},
      {{"call", "NorvScreen[", "GetProperty"}, kTrxExitUsage, {}, "OBJECT"},
      {{"call", "--json", "{bad", "/", "GetClassCount"}, kTrxExitUsage, {}, "--json: invalid JSON"},
      {{"call", "--json", "\"\xFF\"", "/", "GetClassCount"}, kTrxExitUsage, {}, "--json: invalid UTF-8 at byte offset 1"},
      {{"call", "--json", TrxNested("", 100000), "/", "GetClassCount"}, kTrxExitUsage, {}, "nested deeper than 256"},
      {{"call", "--json", "[1]", "/", "GetClassCount", "x"}, kTrxExitUsage, {}, "either"},
      {{"defs", "--version"}, kTrxExitUsage, {}, "needs a value"},
      {{"record"}, kTrxExitUsage, {}, "ACTIONS is needed"},
      {{"record", "a.jsonl", "b.jsonl"}, kTrxExitUsage, {}, "unexpected argument"},
      {{"record", "--loud", "a.jsonl"}, kTrxExitUsage, {}, "unknown option"},
      {{"defs", "--summary", "--class", "NorvTree"}, kTrxExitUsage, {}, "either --summary or --class"},
      {{"spy", "--port", "65536"}, kTrxExitUsage, {}, "--port must be a number from 0 to 65535"},
      {{"spy", "--port"}, kTrxExitUsage, {}, "--port needs a value"},
      {{"spy", "extra"}, kTrxExitUsage, {}, "unexpected argument \"extra\""},
  };
  for (const Case& c : cases) TrxExpectRun(c);
}

TEST(CommandsTest, FilesThatCannotBeLoadedSayWhere) {
  const std::string broken = TrxWriteTempFile("broken.xml", "<application name=\"x\">\n  <object type=\"MENU\" name=\"m\">\n</application>\n");
  const std::string unknownType = TrxWriteTempFile("unknown.xml", "<application name=\"x\">\n\n  <object type=\"BOGUS\" name=\"m\"/>\n</application>\n");
  for (const std::string& file : {broken, unknownType, std::string("/no/such/dir/client.xml")}) {
    const std::string says = file[1] == 'n' ? file : file + ":3:";
    TrxExpectRun({{"serve", "--app", file}, kTrxExitFailed, {}, says}, "{\"call\":\"GetLastError\"}\n");
    TrxExpectRun({{"tree", "--app", file}, kTrxExitFailed, {}, says});
    TrxExpectRun({{"call", "--app", file, "/", "UIName"}, kTrxExitFailed, {}, says});
    TrxExpectRun({{"spy", "--app", file, "--port", "0"}, kTrxExitFailed, {}, says});
  }
  TrxExpectRun({{"record", "/no/such/actions.jsonl"}, kTrxExitFailed, {}, "cannot read the actions file /no/such/actions.jsonl"});
}

TEST(CommandsTest, ServeAnswersEveryLineOfItsInput) {
  struct ServeCase {
    std::vector<std::string> arguments;
    std::string input;
    std::vector<TrxJson> replies;  // the fields each reply has
  };
  const ServeCase cases[] = {
      {{"serve"}, "{\"id\":1,\"call\":\"Submit\",\"trxODS\":\"\",\"methodName\":\"GetSessionId\"}\nnonsense\n{\"id\":2,\"call\":\"SetSubmitTimeout\",\"timeOut\":9}\n",
       {{{"id", 1}, {"retVal", {{"vt", 8}, {"value", "NVS-0001-7F3A"}}}}, {{"id", nullptr}}, {{"id", 2}, {"hr", -1014}}}},
      {{"serve", "--detached"}, "{\"id\":1,\"call\":\"client.state\"}\n{\"id\":2,\"call\":\"client.attach\"}\n{\"id\":3,\"call\":\"client.state\"}",
       {{{"id", 1}, {"registered", false}}, {{"id", 2}, {"hr", 0}}, {{"id", 3}, {"registered", true}}}},
      {{"serve", "--max-line", "30"}, "{\"id\":1,\"call\":\"GetLastError\"}\n{\"id\":2,\"call\":\"GetLastError\"} \n\xFF\n",
       {{{"id", 1}, {"hr", 0}}, {{"error", "the line is longer than 30 bytes"}}, {{"error", "invalid UTF-8 at byte offset 0: a byte that never occurs in UTF-8"}}}},
  };
  for (const ServeCase& c : cases) {
    const TrxOutcome run = TrxRun(c.arguments, c.input);
    EXPECT_EQ(run.code, kTrxExitOk) << run.err;
    const std::vector<TrxJson> replies = TrxJsonLines(run.out);
    ASSERT_EQ(replies.size(), c.replies.size()) << run.out;
    for (size_t i = 0; i < replies.size(); ++i) EXPECT_TRUE(TrxFields(replies[i], c.replies[i]));
  }
}

TEST(CommandsTest, ServeSetsTheIdlePauseAndCopiesTheTrace) {
  // While recording there is no wait at all, so the answer is minus the pause.
  const std::string input = "{\"id\":1,\"call\":\"StartRecording\"}\n{\"id\":2,\"call\":\"Submit\",\"trxODS\":\"\","
                            "\"methodName\":\"GetBusyTime\"}\n";
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"serve"}, -100},
      {{"serve", "--idle-pause", "0"}, 0},
      {{"serve", "--trace", "--idle-pause", "40"}, -40},
  };
  for (const auto& [arguments, busy] : cases) {
    const TrxOutcome run = TrxRun(arguments, input);
    const std::vector<TrxJson> replies = TrxJsonLines(run.out);
    ASSERT_EQ(replies.size(), 2u) << run.out << run.err;
    const int answered = replies[1]["retVal"]["value"].get<int>();
    EXPECT_TRUE(answered >= busy && answered <= busy + 20) << answered << " for " << arguments.back();
    // --trace copies the service's trace records to standard error.
    EXPECT_EQ(TrxHas(run.err, "Reporting BusyTime = " + std::to_string(answered)), std::find(arguments.begin(), arguments.end(), "--trace") != arguments.end()) << run.err;
  }
}

TEST(CommandsTest, CallDefsTreeAndDemoPrintTheirResults) {
  // A client whose application has no children: its tree can be built today.
  const std::string mini = TrxWriteTempFile("tree.xml", "<application name=\"Mini\" displayName=\"Mini &amp; Co\">\n"
                                                        "  <object type=\"NAVCONTROL\" name=\"Screen\" visible=\"false\"/>\n</application>\n");
  const std::string properties = "    RepositoryName = \"Mini\"\n    ClassName = \"NorvApplication\"\n    UIName = \"Mini & Co\"\n";
  const Case cases[] = {
      {{"call", "/", "GetClassCount", "NorvMenu"}, kTrxExitOk, {"retVal:  1\n", "errCode: 0\n", "errMsg:  (null)\n"}},
      {{"call", "--output", "json", "/", "GetClassCount", "NorvMenu"}, kTrxExitOk, {R"({"hr":0,"errCode":0,"errMsg":null,"retVal":{"vt":3,"value":1}})" "\n"}},
      {{"call", "--output=json", "/", "SetTimeOut", "9"}, kTrxExitFailed, {R"("errCode":1014,"errMsg":"Invalid argument value)"}},
      {{"call", "--json", "[\"NorvPageTabs\", 0]", "/", "GetRepositoryNameByIndex"}, kTrxExitOk, {"retVal:  \"NorvPageTabs\"\n"}},
      {{"call", "--json", "true", "/", "GetClassCount"}, kTrxExitFailed, {"hr:      0x80070057", "errCode: -1013\n"}},
      {{"call", "/", "GetProperties", "RepositoryName", "UIName"}, kTrxExitOk, {"retVal:  [[\"RepositoryName\", \"Norvik Sales\"], [\"UIName\", \"Norvik Sales Enterprise\"]]\n"}},
      {{"call", "/", "GetClassCount", "--", "--x"}, kTrxExitFailed, {"errCode: 1014\n", "\"--x\""}},
      {{"call", "NorvScreen[Accounts Screen]", "GetProperty", "UIName"}, kTrxExitOk, {"\"Accounts\""}},
      {{"call", "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account Form Applet]/NorvList[NorvList]", "GetProperty", "RowsCount"}, kTrxExitFailed, {"errCode: -1016\n"}},
      {{"defs"}, kTrxExitOk, {"<NorvikObjectsConfig"}},
      {{"defs", "--summary"}, kTrxExitOk, {"Object definitions version 8.2: ", "  NorvApplication "}},
      {{"defs", "--version", "8.2"}, kTrxExitOk, {"trx has the same object definition (code 2)"}},
      {{"defs", "--version=9"}, kTrxExitFailed, {}, "trx has an older object definition (code -1023)"},
      {{"defs", "--class", "norvtree"}, kTrxExitOk, {"NorvTree (tabular data: ", "\nMethods (", "  GetChildCount(", ") -> Integer\n      ", "\nProperties ("}},
      {{"defs", "--class", "NorvBogus"}, kTrxExitFailed, {}, "the catalogue has no class \"NorvBogus\" (classes: NorvApplication, "},
      {{"--version"}, kTrxExitOk, {"trx 0."}},
      {{"tree", "--app", mini}, kTrxExitOk, {"NorvApplication[Mini]   (active)\n" + properties}, "", true},
      {{"tree", "--app", mini, "--mode", "5"}, kTrxExitOk, {"NorvApplication[Mini]   (active)\n"}, "", true},
      {{"tree", "--app", mini, "--mode=0", "--ods", "/"}, kTrxExitOk, {"NorvApplication[Mini]\n" + properties}, "", true},
      {{"tree", "--app", mini, "--xml"}, kTrxExitOk, {"<Property Type=\"8\" Name=\"UIName\" Value=\"Mini &amp; Co\"/>"}},
      {{"demo"}, kTrxExitOk, {"== GetRootObject", "== GetObjectDefinitions", "GetClassCount(\"NorvMenu\")\n      -> retVal 1",
                              "REQID_PROCESSACCELERATOR on \"\" (120,TRUE,TRUE,FALSE)", "errCode -1018"}},
  };
  for (const Case& c : cases) TrxExpectRun(c);
  // The sample's objects below the application have no automation classes
  // yet: the command says why it has no tree until they do.
  const TrxOutcome sample = TrxRun({"tree"});
  EXPECT_TRUE(sample.code == kTrxExitOk ? TrxHas(sample.out, "NorvApplication[") : TrxHas(sample.err, "errCode -1023"));
}
// clang-format on

}  // namespace
