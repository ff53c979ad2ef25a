#include "trxclitest.h"

#include "cli/trxcommands.h"
#include "cli/trxjsontext.h"
#include "cli/trxodspath.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

std::string TrxRepositoryFile(const std::string& relative) {
  // TRX_SOURCE_DIR names the repository where the compiler's path for this
  // file does not reach it (a test program run under Wine); else this file
  // is tests/cli/trxclitest.cpp of the repository.
  std::filesystem::path root = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  if (const char* source = std::getenv("TRX_SOURCE_DIR"); source && *source) root = source;
  return (root / relative).string();
}

TrxOutcome TrxRun(const std::vector<std::string>& arguments, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out, err;
  TrxOutcome run;
  run.code = TrxMain(arguments, in, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

void TrxExpectRun(const TrxRunCase& c, const std::string& input) {
  const TrxOutcome run = TrxRun(c.arguments, input);
  const std::string label = c.arguments.empty() ? "trx" : c.arguments[0] + " " + c.arguments.back().substr(0, 40);
  EXPECT_EQ(run.code, c.code) << label << "\n" << run.out << run.err;
  for (const std::string& part : c.out)
    EXPECT_TRUE(TrxHas(run.out, part)) << label << ": " << part << " in\n" << run.out;
  EXPECT_TRUE(!c.exact || run.out == c.out.at(0)) << label << ":\n" << run.out;
  EXPECT_TRUE(c.code != kTrxExitUsage || !c.out.empty() || run.out.empty()) << label << ":\n" << run.out;
  EXPECT_TRUE(c.err.empty() ? run.err.empty() : TrxHas(run.err, c.err)) << label << ": " << run.err.substr(0, 300);
  EXPECT_EQ(TrxValidUtf8(run.out + run.err), run.out + run.err) << label;
}

std::vector<std::string> TrxSplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<TrxJson> TrxJsonLines(const std::string& text) {
  std::vector<TrxJson> lines;
  for (const std::string& line : TrxSplitLines(text)) lines.push_back(TrxJson::parse(line));
  return lines;
}

std::string TrxNested(const std::string& before, size_t depth, const std::string& after) {
  return before + std::string(depth, '[') + std::string(depth, ']') + after;
}

::testing::AssertionResult TrxFields(const TrxJson& reply, const TrxJson& expected) {
  for (const auto& field : expected.items()) {
    if (!reply.contains(field.key()) || reply[field.key()] != field.value())
      return ::testing::AssertionFailure()
             << "\"" << field.key() << "\" is not " << field.value().dump() << " in " << reply.dump();
  }
  return ::testing::AssertionSuccess();
}

std::string TrxWriteTempFile(const std::string& name, const std::string& text) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / ("trx_cli_tests_" + name);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  return path.string();
}

#ifdef _WIN32

namespace {

TrxString ServeProgram() {
  if (const char* named = std::getenv("TRX_EXE"); named && *named) return TrxWiden(named);
  return (std::filesystem::path(TrxThisProgram()).parent_path() / L"trx.exe").wstring();
}

}  // namespace

void TrxBridgeTest::Open(const std::string& appFile, bool detached) {
  Close();
  m_serve = std::make_unique<TrxChildProcess>();
  TrxString command =
      TrxCommandArgument(ServeProgram()) + OLESTR(" serve --app ") + TrxCommandArgument(TrxWiden(appFile));
  if (detached) command += OLESTR(" --detached");
  std::string error;
  ASSERT_TRUE(m_serve->Start(command, error)) << error;
}

void TrxBridgeTest::Close() { m_serve.reset(); }

std::vector<TrxJson> TrxBridgeTest::Lines(const std::string& line) {
  std::vector<TrxJson> parsed;
  if (!m_serve || !m_serve->WriteLine(line)) {
    ADD_FAILURE() << "trx serve has ended";
    return parsed;
  }
  // Event lines come first; the reply ends the request.
  for (;;) {
    std::string text;
    if (m_serve->ReadLine(text, 120000) != TrxLineReader::Result::Line) {
      ADD_FAILURE() << "trx serve did not answer " << line;
      return parsed;
    }
    TrxJson value = TrxJson::parse(text, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << text;
    const bool event = value.is_object() && value.contains("event");
    parsed.push_back(std::move(value));
    if (!event) return parsed;
  }
}

#else

void TrxBridgeTest::Open(const std::string& appFile, bool detached) {
  Close();
  m_session = std::make_unique<TrxSession>();
  TrxSessionOptions options;
  options.appFile = appFile;
  options.detached = detached;
  std::string error;
  ASSERT_TRUE(m_session->Open(options, error)) << error;
  if (!detached) {
    ASSERT_EQ(m_session->GetAttachStatus(), S_OK);
  }
  m_bridge = std::make_unique<TrxBridge>(*m_session);
}

void TrxBridgeTest::Close() {
  m_bridge.reset();
  m_session.reset();
}

std::vector<TrxJson> TrxBridgeTest::Lines(const std::string& line) {
  std::vector<TrxJson> parsed;
  for (const std::string& text : m_bridge->HandleLine(line)) {
    EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    parsed.push_back(TrxJson::parse(text));
  }
  return parsed;
}

#endif

TrxJson TrxBridgeTest::Call(const TrxJson& request) {
  const std::vector<TrxJson> lines = Lines(request.dump());
  EXPECT_EQ(lines.size(), 1u) << request.dump();
  return lines.empty() ? TrxJson() : lines.back();
}

TrxJson TrxBridgeTest::Submit(const std::string& method, const TrxJson& args, const std::string& ods) {
  TrxJson request = {{"call", "Submit"}, {"trxODS", ods}, {"methodName", method}};
  if (!args.is_discarded()) request["Args"] = args;
  return Call(request);
}

TrxJson TrxBridgeTest::On(const std::string& path, const std::string& method, const TrxJson& args) {
  return Submit(method, args, TrxOds(path));
}

void TrxBridgeTest::ExpectReads(const std::vector<TrxRead>& reads, const std::string& label) {
  for (const TrxRead& r : reads) {
    const TrxJson reply = On(r.path, r.method, r.args);
    const std::string call = label + r.path + " " + r.method + " " + r.args.dump() + "\n" + reply.dump();
    EXPECT_EQ(reply["errCode"], r.errCode) << call;
    if (!r.value.is_discarded()) { EXPECT_EQ(TrxPlain(reply["retVal"]), r.value) << call; }
    if (r.errCode != 0) { EXPECT_TRUE(reply["errMsg"].is_string() && reply["errMsg"] != "") << call; }
  }
}

TrxJson TrxBridgeTest::ClientValue(const std::string& object, const std::string& property) {
  return TrxPlain(Call({{"call", "client.get"}, {"object", object}, {"property", property}})["value"]);
}

std::vector<std::string> TrxBridgeTest::Requests(bool withArguments) {
  std::vector<std::string> requests;
  const TrxJson journal = Call({{"call", "client.journal"}, {"clear", true}});
  for (const TrxJson& entry : journal["journal"]) {
    std::string text = entry["request"].get<std::string>();
    if (withArguments) {
      text = text.substr(6);  // without "REQID_"
      for (const TrxJson& argument : entry["arguments"]) text += " " + argument.get<std::string>();
    }
    requests.push_back(text);
  }
  return requests;
}

TrxJson TrxBridgeTest::Replay(const TrxJson& event) {
  return Call({{"call", "Submit"}, {"trxODS", event["trxODS"]}, {"methodName", event["eventName"]},
               {"Args", event["pArgs"]}});
}

TrxJson TrxBridgeTest::RecordedAction(const std::string& object, const std::string& eventId, const TrxJson& arguments,
                                const std::string& odsPath, const std::string& method, const TrxJson& args) {
  TrxJson action = {{"call", "client.action"}, {"object", object}, {"eventId", eventId}};
  if (!arguments.empty()) action["arguments"] = arguments;
  const std::vector<TrxJson> lines = Lines(action.dump());
  if (lines.size() != 2) {
    ADD_FAILURE() << object << " " << eventId << " gave " << lines.size() << " lines";
    return TrxJson();
  }
  EXPECT_EQ(lines[0]["trxODS"], TrxOds("NorvApplication[" + m_appName + "]/" + odsPath)) << eventId;
  EXPECT_EQ(lines[0]["eventName"], method) << lines[0].dump();
  if (!args.is_discarded()) { EXPECT_EQ(TrxPlain(lines[0]["pArgs"]), args) << lines[0].dump(); }
  return lines[0];
}

void TrxBridgeTest::ReplayOnAFreshClient(const std::vector<TrxJson>& recorded) {
  Close();
  Open(TrxSampleFile());
  for (const TrxJson& event : recorded) {
    const TrxJson replay = Replay(event);
    EXPECT_EQ(replay["errCode"], 0) << event.dump() << replay.dump();
  }
}

std::string TrxOds(const std::string& path) {
  TrxString descriptor;
  std::string error;
  EXPECT_TRUE(TrxDescriptorFromObject(path, descriptor, error)) << error;
  return TrxNarrow(descriptor);
}

TrxJson TrxPlain(const TrxJson& variant) {
  if (variant.is_object()) return variant.contains("value") ? TrxPlain(variant["value"]) : TrxJson();
  if (!variant.is_array()) return variant;
  TrxJson items = TrxJson::array();
  for (const TrxJson& item : variant) items.push_back(TrxPlain(item));
  return items;
}
