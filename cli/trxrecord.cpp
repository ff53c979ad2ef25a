// `trx record`: user actions played on the simulated client while the
// service records, and the Record events a tool receives for them.
#include <istream>
#include <ostream>

#include "cli/trxbridge.h"
#include "cli/trxcommands.h"
#include "cli/trxeventsink.h"
#include "cli/trxjsontext.h"

namespace {

std::string Trimmed(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = line.find_last_not_of(" \t\r\n");
  return line.substr(first, last - first + 1);
}

std::string StatusText(HRESULT status) { return "0x" + TrxNarrow(TrxHex(static_cast<uint32_t>(status))); }

// One line of the actions as an action; false with the reason.
bool ParseAction(const std::string& text, CNVSimUserAction& action, std::string& error) {
  TrxJson fields;
  if (!TrxParseJson(text, fields, error)) return false;
  if (!fields.is_object()) {
    error = "an action must be a JSON object";
    return false;
  }
  for (const auto& item : fields.items()) {
    bool known = false;
    for (const char* name : TrxUserActionFields()) known = known || item.key() == name;
    if (!known) {
      error = "unknown field \"" + item.key() + "\" (an action has";
      for (const char* name : TrxUserActionFields()) error += std::string(" ") + name;
      error += ")";
      return false;
    }
  }
  try {
    return TrxUserActionFromJson(fields, action, error);
  } catch (const TrxJson::exception& failure) {
    error = failure.what();
    return false;
  }
}

class Recorder {
 public:
  Recorder(TrxSession& session, bool text, std::ostream& out, std::ostream& err)
      : m_session(session), m_sink(TrxEventSink::Create()), m_text(text), m_out(out), m_err(err) {}
  ~Recorder() { m_sink->Disconnect(); }

  int Run(std::istream& actions, const std::string& source) {
    if (!m_sink->Connect(m_session.Facade())) {
      m_err << "trx record: the service offers no connection point for its events\n";
      return kTrxExitFailed;
    }
    TrxBstr message;
    LONG code = 0;
    HRESULT status = m_session.Facade()->StartRecording(message.Put(), &code);
    if (FAILED(status) || code != 0) {
      m_err << "trx record: StartRecording failed: errCode " << code << ", errMsg \""
            << (message.IsNull() ? "(null)" : TrxNarrow(message.View())) << "\"";
      if (FAILED(status)) m_err << ", hr " << StatusText(status);
      m_err << "\n";
      return kTrxExitFailed;
    }

    int result = kTrxExitOk;
    std::string line;
    size_t number = 0;
    while (TrxReadLine(actions, line, kTrxDefaultMaxLineBytes)) {
      ++number;
      const std::string where = "trx record: " + source + ":" + std::to_string(number) + ": ";
      const bool tooLong = line.size() > kTrxDefaultMaxLineBytes;
      const std::string text = tooLong ? line : Trimmed(line);
      if (text.empty() || text[0] == '#') continue;
      CNVSimUserAction action;
      std::string error = "the line is longer than " + std::to_string(kTrxDefaultMaxLineBytes) + " bytes";
      if (tooLong || !ParseAction(text, action, error)) {
        m_err << where << error << "; nothing after it is played\n";
        result = kTrxExitUsage;
        break;
      }
      const HRESULT played = m_session.Client()->Play(action);
      Flush();
      if (played == E_INVALIDARG) {
        m_err << where << "the client has no object \"" << TrxNarrow(action.object)
              << "\"; nothing after it is played\n";
        result = kTrxExitUsage;
        break;
      }
      if (FAILED(played)) {
        m_err << where << "the client's report of the action failed (status " << StatusText(played) << ")\n";
        result = kTrxExitFailed;
      }
    }

    code = 0;
    status = m_session.Facade()->StopRecording(message.Put(), &code);
    Flush();
    if (FAILED(status) || code != 0) {
      m_err << "trx record: StopRecording failed: errCode " << code << ", errMsg \""
            << (message.IsNull() ? "(null)" : TrxNarrow(message.View())) << "\"\n";
      if (result == kTrxExitOk) result = kTrxExitFailed;
    }
    return result;
  }

 private:
  // Writes the events received so far.
  void Flush() {
    for (const std::string& event : m_sink->TakeLines()) m_out << (m_text ? TrxDescribeEvent(event) : event) << "\n";
    m_out.flush();
  }

  TrxSession& m_session;
  TrxComPtr<TrxEventSink> m_sink;
  bool m_text;
  std::ostream& m_out;
  std::ostream& m_err;
};

}  // namespace

int TrxRunRecord(TrxSession& session, std::istream& actions, const std::string& source, bool text, std::ostream& out,
                 std::ostream& err) {
  return Recorder(session, text, out, err).Run(actions, source);
}
