// Test support for the trx program: the bridge on a session of its own,
// driven line by line as `trx serve` drives it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/trxbridge.h"
#ifdef _WIN32
#include "cli/trxclientprocess.h"
#endif

// A file of the repository (the sample client, for one).
std::string TrxRepositoryFile(const std::string& relative);
// The bundled sample client.
inline std::string TrxSampleFile() { return TrxRepositoryFile("samples/crm.xml"); }
// Writes a file in the temporary folder and gives its path.
std::string TrxWriteTempFile(const std::string& name, const std::string& text);

// What `trx` printed and returned for one run of its entry point.
struct TrxOutcome {
  int code = -1;
  std::string out;
  std::string err;
};
TrxOutcome TrxRun(const std::vector<std::string>& arguments, const std::string& input = "");
// What one run of trx must give: its exit code and parts of what it prints
// (for a command line it did not understand and no parts, nothing on
// standard output; never anything that is not UTF-8).
struct TrxRunCase {
  std::vector<std::string> arguments;
  int code;
  std::vector<std::string> out;  // parts of standard output
  std::string err = "";          // part of standard error; "": it stays empty
  bool exact = false;            // out has one part: all of standard output
};
void TrxExpectRun(const TrxRunCase& c, const std::string& input = "");
inline bool TrxHas(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }
std::vector<std::string> TrxSplitLines(const std::string& text);
// Each line of `text` parsed as JSON.
std::vector<TrxJson> TrxJsonLines(const std::string& text);
// `before`, then `depth` levels of nested arrays, then `after`.
std::string TrxNested(const std::string& before, size_t depth, const std::string& after = "");
// Passes when every field of `expected` has its value in `reply`.
::testing::AssertionResult TrxFields(const TrxJson& reply, const TrxJson& expected);
// JSON written as its text: R"({"hr":0})"_j.
inline TrxJson operator""_j(const char* text, size_t length) { return TrxJson::parse(text, text + length); }

// True when the reply shows that the method did not write the
// out-parameter `name`: the bridge leaves it out. Across processes COM
// hands back every out-parameter, one the method did not write as null (a
// string) or 0 (a number), so on Windows those count as unwritten too.
inline bool TrxUnwritten(const TrxJson& reply, const char* name) {
  if (!reply.contains(name)) return true;
#ifdef _WIN32
  return reply[name].is_null() || reply[name] == 0;
#else
  return false;
#endif
}

// The descriptor of a short object path ("NorvScreen[Accounts Screen]/...").
std::string TrxOds(const std::string& path);
// A VARIANT as the bridge writes it ({"vt":..,"value":..}), values only:
// empty cells are null.
TrxJson TrxPlain(const TrxJson& variant);

// The application's descriptor as a tool writes it.
inline constexpr char kTrxRootOds[] = "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>";
// A value left out of a request, or not checked in a reply.
inline const TrxJson kTrxAny(TrxJson::value_t::discarded);

// A call on the object of a short path and what it must give: its errCode
// and the plain value of its retVal (kTrxAny: not checked).
struct TrxRead {
  std::string path;
  const char* method;
  TrxJson args;
  LONG errCode;
  TrxJson value;
};

// On Linux the bridge runs in the test's own process. On Windows each test
// runs `trx.exe serve` (the file named by TRX_EXE, else trx.exe beside the
// test program) and talks to it through its standard input and output:
// the service is the registered trxcom.exe and the client another process.
class TrxBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(TrxSampleFile()); }
  void TearDown() override { Close(); }

  void Open(const std::string& appFile, bool detached = false);
  void Close();

  // All lines one request line gives, parsed.
  std::vector<TrxJson> Lines(const std::string& line);
  // The one reply to a request (a test failure when more lines come).
  TrxJson Call(const TrxJson& request);
  // Submit on the application (or on `ods`); `args` left out when discarded.
  TrxJson Submit(const std::string& method, const TrxJson& args = kTrxAny, const std::string& ods = kTrxRootOds);
  // Submit on the object of a short path.
  TrxJson On(const std::string& path, const std::string& method, const TrxJson& args = kTrxAny);
  // Each read made and checked; a failure names `label`, the call and the
  // reply. A call that fails says why in errMsg.
  void ExpectReads(const std::vector<TrxRead>& reads, const std::string& label = "");
  // The plain value of a property of the client's object.
  TrxJson ClientValue(const std::string& object, const std::string& property);
  // The requests the client received since the last call ("REQID_SETVALUE"),
  // or without the prefix and with their arguments ("SETVALUE 555-0100").
  std::vector<std::string> Requests(bool withArguments = false);
  // A recorded event submitted as a tool replays it.
  TrxJson Replay(const TrxJson& event);
  // A user action played on the client while recording (`arguments` left
  // out when empty): the one Record event it gave, checked to name the object
  // `odsPath` below the application `m_appName` and `method`, and to carry
  // the plain arguments `args` unless they are discarded.
  TrxJson RecordedAction(const std::string& object, const std::string& eventId, const TrxJson& arguments,
                   const std::string& odsPath, const std::string& method, const TrxJson& args);
  // Each recorded event submitted as a tool replays it, on a fresh sample client.
  void ReplayOnAFreshClient(const std::vector<TrxJson>& recorded);

  std::string m_appName = "Norvik Sales";
  std::unique_ptr<TrxSession> m_session;
  std::unique_ptr<TrxBridge> m_bridge;
#ifdef _WIN32
  std::unique_ptr<TrxChildProcess> m_serve;
#endif
};
