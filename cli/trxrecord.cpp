// `trx record`: user actions played on the simulated client while the
// service records, and the Record events a tool receives for them, or the
// replay of those events as bridge request lines or as a Python script.
#include <istream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/trxbridge.h"
#include "cli/trxcommands.h"
#include "cli/trxeventsink.h"
#include "cli/trxjsontext.h"
#include "cli/trxodspath.h"
#include "descriptors/nvtrxxml.h"

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

// ---- replays of the recorded events ------------------------------------------------------------

// A JSON value as a Python literal (JSON's string escapes are Python's too).
std::string PythonLiteral(const TrxJson& value) {
  if (value.is_null()) return "None";
  if (value.is_boolean()) return value.get<bool>() ? "True" : "False";
  if (!value.is_array() && !value.is_object()) return value.dump(-1, ' ', false, TrxJson::error_handler_t::replace);
  std::string text;
  for (const auto& item : value.items()) {
    if (!text.empty()) text += ", ";
    if (value.is_object()) text += PythonLiteral(item.key()) + ": ";
    text += PythonLiteral(item.value());
  }
  return value.is_array() ? "[" + text + "]" : "{" + text + "}";
}

// Whether the bridge turns the plain value of `variant` (PlainValue) back
// into the same VARIANT: a string, a VT_I4, a VT_BOOL, a VT_R8 written with a
// fraction, and one-dimensional arrays of VARIANTs of those (and of VT_NULL).
// A null Args is an empty VARIANT, so VT_NULL is plain only inside an array.
bool IsPlain(const TrxJson& variant, bool inArray) {
  if (!variant.is_object() || !variant.contains("vt") || !variant["vt"].is_number_unsigned()) return false;
  const TrxJson value = variant.contains("value") ? variant["value"] : TrxJson();
  switch (variant["vt"].get<unsigned>()) {
    case VT_NULL: return inArray;
    case VT_I4: return value.is_number_integer();
    case VT_BOOL: return value.is_boolean();
    case VT_R8: return value.is_number_float();
    case VT_BSTR: return value.is_string();
    case VT_ARRAY | VT_VARIANT:
      if (!value.is_array()) return false;
      for (const TrxJson& item : value)
        if (!IsPlain(item, true)) return false;
      return true;
    default: return false;
  }
}

TrxJson PlainValue(const TrxJson& variant) {
  const TrxJson value = variant.contains("value") ? variant["value"] : TrxJson();
  if (!value.is_array()) return value;
  TrxJson items = TrxJson::array();
  for (const TrxJson& item : value) items.push_back(PlainValue(item));
  return items;
}

// The arguments of the client package's Element.call for a recorded pArgs:
// none for an empty VARIANT, the elements of an array of two or more, a plain
// value, or Variant(vt, value) for what a plain value cannot carry.
std::string PythonArguments(const TrxJson& event) {
  if (!event.contains("pArgs") || !event["pArgs"].is_object()) return "";
  const TrxJson& args = event["pArgs"];
  if (args.value("vt", TrxJson(0)) == 0) return "";
  if (!IsPlain(args, false))
    return "Variant(" + args["vt"].dump() + ", " + PythonLiteral(args.contains("value") ? args["value"] : TrxJson()) +
           ")";
  const TrxJson plain = PlainValue(args);
  if (!plain.is_array() || plain.size() < 2) return PythonLiteral(plain);
  std::string text;
  for (const TrxJson& item : plain) text += (text.empty() ? "" : ", ") + PythonLiteral(item);
  return text;
}

// A descriptor as the client package builds it: app / "Class[name]/..." in the
// short path form of `trx call` (the first level stands for the application);
// its text when it is no descriptor.
std::string PythonDescriptor(const std::string& ods) {
  CNVTRXXmlDocument document;
  CNVTRXXmlNode level = document.LoadXml(TrxWiden(ods)) ? document.GetDocumentElement() : CNVTRXXmlNode();
  if (!level || level.GetName() != OLESTR("Obj")) return PythonLiteral(ods);
  std::vector<std::pair<TrxString, TrxString>> chain;
  while (level) {
    chain.emplace_back();
    level.GetAttribute(OLESTR("ClassName"), chain.back().first);
    level.GetAttribute(OLESTR("RepositoryName"), chain.back().second);
    CNVTRXXmlNode next;
    for (CNVTRXXmlNode child = level.GetFirstChild(); child && !next; child = child.GetNextSibling())
      if (child.GetType() == TRXXML_ELEMENT && child.GetName() == OLESTR("Obj")) next = child;
    level = std::move(next);
  }
  return chain.size() < 2 ? "app" : "app / " + PythonLiteral(TrxObjectPathText(chain));
}

// The Submit request lines that replay the events.
void WriteJsonlReplay(const std::vector<TrxJson>& events, std::ostream& out) {
  int id = 0;
  for (const TrxJson& event : events) {
    TrxJson request = {{"id", ++id}, {"call", "Submit"}, {"trxODS", event.value("trxODS", TrxJson())},
                       {"methodName", event.value("eventName", TrxJson())}};
    if (event.contains("pArgs")) request["Args"] = event["pArgs"];
    out << request.dump(-1, ' ', false, TrxJson::error_handler_t::replace) << "\n";
  }
}

// A string field of an event; "" when it is missing or null.
std::string EventText(const TrxJson& event, const char* name) {
  return event.contains(name) && event[name].is_string() ? event[name].get<std::string>() : std::string();
}

void WritePythonReplay(const std::vector<TrxJson>& events, const std::string& source, std::ostream& out) {
  out << "#!/usr/bin/env python3\n"
         "\"\"\"The replay of recorded user actions, written by trx record --emit python.\n"
         "\n"
         "Run with the client package on the path: PYTHONPATH=clients/python python3 SCRIPT [COMMAND...],\n"
         "COMMAND being the bridge to start (default: $TRX_COMMAND, else trx serve).\n"
         "\"\"\"\n"
         "import sys\n"
         "\n"
         "from trxclient import Session, Variant, app  # noqa: F401\n"
         "\n"
         "ACTIONS = "
      << PythonLiteral(source)
      << "  # the actions recorded\n"
         "\n"
         "\n"
         "def replay(trx):\n";
  if (events.empty()) out << "    pass  # nothing was recorded\n";
  for (const TrxJson& event : events) {
    const std::string args = PythonArguments(event);
    out << "    trx[" << PythonDescriptor(EventText(event, "trxODS")) << "].call("
        << PythonLiteral(EventText(event, "eventName")) << (args.empty() ? "" : ", ") << args << ")\n";
  }
  out << "\n"
         "\n"
         "if __name__ == \"__main__\":\n"
         "    with Session(sys.argv[1:] or None) as session:\n"
         "        replay(session)\n";
}

class Recorder {
 public:
  Recorder(TrxSession& session, TrxRecordOutput output, std::ostream& out, std::ostream& err)
      : m_session(session), m_sink(TrxEventSink::Create()), m_output(output), m_out(out), m_err(err) {}
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
    if (m_output == TrxRecordOutput::jsonl) WriteJsonlReplay(m_events, m_out);
    if (m_output == TrxRecordOutput::python) WritePythonReplay(m_events, source, m_out);
    return result;
  }

 private:
  // Writes the events received so far, or keeps them for the replay.
  void Flush() {
    for (const std::string& event : m_sink->TakeLines()) {
      if (m_output == TrxRecordOutput::events || m_output == TrxRecordOutput::text)
        m_out << (m_output == TrxRecordOutput::text ? TrxDescribeEvent(event) : event) << "\n";
      else
        m_events.push_back(TrxJson::parse(event, nullptr, false));  // the sink writes JSON objects
    }
    m_out.flush();
  }

  TrxSession& m_session;
  TrxComPtr<TrxEventSink> m_sink;
  TrxRecordOutput m_output;
  std::vector<TrxJson> m_events;
  std::ostream& m_out;
  std::ostream& m_err;
};

}  // namespace

int TrxRunRecord(TrxSession& session, std::istream& actions, const std::string& source, TrxRecordOutput output,
                 std::ostream& out, std::ostream& err) {
  return Recorder(session, output, out, err).Run(actions, source);
}
