// libFuzzer target: the serve bridge, against a running service and the
// simulated sample client, as `trx serve` drives it.
//
// Each input is a run of request lines (split at '\n', at most 64), every
// one handed to TrxBridge::HandleLine. The rules, any broken one aborts:
//   - a blank line gives no line; any other line exactly one reply, after
//     the event lines of the call;
//   - every line written is one JSON object, valid UTF-8, without a line
//     break; event lines are Record events;
//   - a reply carries the request's id when the request could be read, and
//     a null id with an error when it could not.
// The bridge's line bound is 2,048 bytes here, so that inputs reach it.
//
// Lines the harness keeps from the bridge: calls that would stall the run
// for seconds by design (client.busy, client.busyAfter, client.delay,
// client.hang) and StartLogging, which writes files where it is told. After
// each input the client's injected failures are cleared, it is attached
// again if it went, its journal is emptied, recording is switched on (so
// that calls skip the 100 ms idle pause) and loopback tests off. The
// simulated client's control log grows with every call (it has no way to
// be emptied), so libFuzzer's leak check after each input gives up early;
// the session is closed when the run ends, and the leak check at exit
// sees what is left.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/trxbridge.h"
#include "cli/trxjsontext.h"
#include "log/nvtrxlog.h"

namespace {

constexpr size_t kMaxLine = 2048;
constexpr size_t kMaxLines = 64;

[[noreturn]] void Fail(const char* rule, const std::string& line, const std::string& written) {
  std::fprintf(stderr, "fuzz_bridge: %s\nrequest: %s\nwritten: %s\n", rule, TrxValidUtf8(line).c_str(),
               TrxValidUtf8(written).c_str());
  std::abort();
}

struct Harness {
  Harness() {
    CNVTRXLog::SetVerbose(false);
    std::string error;
    if (!session.Open(TrxSessionOptions(), error)) {
      std::fprintf(stderr, "fuzz_bridge: %s\n", error.c_str());
      std::abort();
    }
    bridge = std::make_unique<TrxBridge>(session);
    bridge->SetMaxLineBytes(kMaxLine);
    Reset();
  }

  void Reset() {
    for (const char* line : {
             R"({"call":"client.fail","clear":true})",
             R"({"call":"client.failProperty","clear":true})",
             R"({"call":"client.refuseRegistration","status":"S_OK"})",
             R"({"call":"client.noControlInterface","on":false})",
             R"({"call":"client.failRecorderSwitch","status":"S_OK"})",
             R"({"call":"client.failOperationId","status":"S_OK"})",
             R"({"call":"client.release"})",
             R"({"call":"client.journal","clear":true})",
         })
      bridge->HandleLine(line);
    if (!session.Client()->GetRegisteredService()) bridge->HandleLine(R"({"call":"client.attach"})");
    bridge->HandleLine(R"({"call":"StartRecording"})");
    bridge->HandleLine(R"({"call":"Submit","methodName":"DisableLoopbackTests","trxODS":)"
                       R"("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>"})");
  }

  static bool Kept(const TrxJson& request) {
    if (!request.is_object() || !request.contains("call") || !request["call"].is_string()) return false;
    const std::string call = request["call"].get<std::string>();
    for (const char* stalls : {"client.busy", "client.busyAfter", "client.delay", "client.hang", "StartLogging"})
      if (call == stalls) return true;
    return false;
  }

  void Check(const std::string& line) {
    TrxJson request;
    std::string error;
    const bool read = line.size() <= kMaxLine && TrxParseJson(line, request, error);
    if (read && Kept(request)) return;
    const std::vector<std::string> written = bridge->HandleLine(line);
    const bool blank = line.size() <= kMaxLine && line.find_first_not_of(" \t\r\n") == std::string::npos;
    if (blank) {
      if (!written.empty()) Fail("a blank line was answered", line, written.front());
      return;
    }
    if (written.empty()) Fail("a line got no reply", line, "");
    for (size_t i = 0; i < written.size(); ++i) {
      const std::string& text = written[i];
      if (text.find('\n') != std::string::npos) Fail("a line break inside a written line", line, text);
      if (TrxValidUtf8(text) != text) Fail("a written line is not UTF-8", line, text);
      TrxJson value;
      if (!TrxParseJson(text, value, error) || !value.is_object()) Fail("a written line is no JSON object", line, text);
      const bool event = value.contains("event");
      if (i + 1 < written.size() && (!event || value["event"] != "Record")) Fail("more than one reply", line, text);
      if (i + 1 < written.size()) continue;
      if (event) Fail("the reply is an event", line, text);
      if (!read || !request.is_object()) {
        if (!value.contains("id") || !value["id"].is_null() || !value.contains("error"))
          Fail("a line that cannot be read needs a null id and an error", line, text);
      } else if (request.contains("id") != value.contains("id") ||
                 (request.contains("id") && request["id"] != value["id"])) {
        Fail("the reply does not echo the id", line, text);
      }
    }
  }

  TrxSession session;
  std::unique_ptr<TrxBridge> bridge;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The session ends with the run, so that its threads stop and what is
  // left at exit is what leaked.
  static Harness* const harness = [] {
    static std::unique_ptr<Harness> owner = std::make_unique<Harness>();
    return owner.get();
  }();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (size_t lines = 0; start <= input.size() && lines < kMaxLines; ++lines) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    harness->Check(std::string(input.substr(start, end - start)));
    start = end + 1;
  }
  harness->Reset();
  CNVTRXLog::DiscardQueue();
  return 0;
}
