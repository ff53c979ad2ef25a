#include "trxclitest.h"

#include "cli/trxcommands.h"

#include <filesystem>
#include <fstream>
#include <sstream>

std::string TrxRepositoryFile(const std::string& relative) {
  // This file is tests/cli/trxclitest.cpp of the repository.
  const std::filesystem::path root = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
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

std::vector<std::string> TrxSplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string TrxWriteTempFile(const std::string& name, const std::string& text) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / ("trx_cli_tests_" + name);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  return path.string();
}

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
