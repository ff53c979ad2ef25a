#include "cli/trxbridge.h"

#include <cstdint>
#include <istream>
#include <ostream>

#include "cli/trxjsontext.h"
#include "host/nvsimnames.h"
#include "host/nvsimstatus.h"

namespace {

// ---- out-parameters ------------------------------------------------------------------
// Each out-parameter starts with a value no method writes, so that the
// reply can leave out what the method did not write.

constexpr LONG kUnwrittenCode = 0x7A5E7A5E;
constexpr OLECHAR kUnwrittenText[] = OLESTR("\xFFFF trx: not written \xFFFF");

class OutBstr {
 public:
  OutBstr() : m_sentinel(SysAllocString(kUnwrittenText)), m_value(m_sentinel) {}
  ~OutBstr() { SysFreeString(m_value); }
  OutBstr(const OutBstr&) = delete;
  OutBstr& operator=(const OutBstr&) = delete;

  BSTR* Put() noexcept { return &m_value; }
  // A method that writes frees what it finds first, so the sentinel's
  // address may come back for a new string; the text tells them apart.
  bool Written() const { return !(m_value == m_sentinel && TrxBstrView(m_value) == TrxView(kUnwrittenText)); }
  void AddTo(TrxJson& reply, const char* name) const {
    if (Written()) reply[name] = TrxBstrToJson(m_value);
  }

 private:
  BSTR m_sentinel;
  BSTR m_value;
};

class OutLong {
 public:
  LONG* Put() noexcept { return &m_value; }
  void AddTo(TrxJson& reply, const char* name) const {
    if (m_value != kUnwrittenCode) reply[name] = m_value;
  }

 private:
  LONG m_value = kUnwrittenCode;
};

class OutVariant {
 public:
  OutVariant() {
    m_value.vt = VT_ERROR;
    m_value.scode = kUnwrittenCode;
  }
  VARIANT* Put() noexcept { return &m_value; }
  void AddTo(TrxJson& reply, const char* name) const {
    if (!(m_value.vt == VT_ERROR && m_value.scode == kUnwrittenCode)) reply[name] = TrxVariantToJson(m_value);
  }

 private:
  TrxVariant m_value;
};

// ---- in-parameters -------------------------------------------------------------------

// A string parameter: absent or null is a null BSTR.
bool ReadBstr(const TrxJson& request, const char* name, TrxBstr& out, std::string& error) {
  if (!request.contains(name) || request[name].is_null()) return true;
  if (!request[name].is_string()) {
    error = std::string("\"") + name + "\" must be a string or null";
    return false;
  }
  out = TrxBstr(TrxStringView(TrxWiden(request[name].get<std::string>())));
  return true;
}

bool ReadText(const TrxJson& request, const char* name, TrxString& out, std::string& error, bool required) {
  if (!request.contains(name) || request[name].is_null()) {
    if (!required) return true;
    error = std::string("\"") + name + "\" is missing";
    return false;
  }
  if (!request[name].is_string()) {
    error = std::string("\"") + name + "\" must be a string";
    return false;
  }
  out = TrxWiden(request[name].get<std::string>());
  return true;
}

bool ReadInteger(const TrxJson& request, const char* name, int64_t min, int64_t max, int64_t& out, std::string& error) {
  if (!request.contains(name)) return true;
  const TrxJson& value = request[name];
  const bool fits = value.is_number_integer() &&
                    (value.is_number_unsigned() ? value.get<uint64_t>() <= static_cast<uint64_t>(max)
                                                : value.get<int64_t>() >= min && value.get<int64_t>() <= max);
  if (!fits) {
    error =
        std::string("\"") + name + "\" must be an integer from " + std::to_string(min) + " to " + std::to_string(max);
    return false;
  }
  out = value.get<int64_t>();
  return true;
}

// A 32-bit parameter: absent is 0.
bool ReadLong(const TrxJson& request, const char* name, LONG& out, std::string& error) {
  int64_t value = 0;
  if (!ReadInteger(request, name, INT32_MIN, INT32_MAX, value, error)) return false;
  out = static_cast<LONG>(value);
  return true;
}

bool ReadMilliseconds(const TrxJson& request, DWORD& out, std::string& error) {
  if (!request.contains("ms")) {
    error = "\"ms\" is missing";
    return false;
  }
  int64_t value = 0;
  if (!ReadInteger(request, "ms", 0, UINT32_MAX, value, error)) return false;
  out = static_cast<DWORD>(value);
  return true;
}

bool ReadFlag(const TrxJson& request, const char* name, bool fallback, bool& out, std::string& error) {
  out = fallback;
  if (!request.contains(name)) return true;
  if (!request[name].is_boolean()) {
    error = std::string("\"") + name + "\" must be true or false";
    return false;
  }
  out = request[name].get<bool>();
  return true;
}

// A VARIANT_BOOL parameter: true/false, or an integer passed as it is;
// absent is VARIANT_FALSE.
bool ReadVariantBool(const TrxJson& request, const char* name, VARIANT_BOOL& out, std::string& error) {
  out = VARIANT_FALSE;
  if (!request.contains(name)) return true;
  const TrxJson& value = request[name];
  if (value.is_boolean()) {
    out = value.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
    return true;
  }
  int64_t number = 0;
  if (!ReadInteger(request, name, INT16_MIN, INT16_MAX, number, error)) {
    error = std::string("\"") + name + "\" must be true, false or a 16-bit integer";
    return false;
  }
  out = static_cast<VARIANT_BOOL>(number);
  return true;
}

// A status: a number (signed or as the unsigned 32-bit pattern) or a name
// the client's description files use (S_OK, E_FAIL, NVSIM_E_..., "0x...").
bool ReadStatus(const TrxJson& request, const char* name, HRESULT fallback, HRESULT& out, std::string& error) {
  out = fallback;
  if (!request.contains(name)) return true;
  const TrxJson& value = request[name];
  if (value.is_string()) {
    if (CNVSimDescription::ParseStatus(TrxWiden(value.get<std::string>()), out)) return true;
    error = std::string("\"") + name + "\": unknown status " + value.dump();
    return false;
  }
  int64_t number = 0;
  if (!ReadInteger(request, name, INT32_MIN, UINT32_MAX, number, error)) {
    error = std::string("\"") + name + "\" must be a status name or a 32-bit number";
    return false;
  }
  out = static_cast<HRESULT>(static_cast<uint32_t>(number));
  return true;
}

TrxJson JournalEntry(const CNVSimRequestRecord& record) {
  TrxJson entry = TrxJson::object();
  entry["requestId"] = record.requestId;
  entry["request"] = TrxNarrow(CNVSimNames::RequestName(record.requestId));
  entry["object"] = TrxNarrow(record.object);
  entry["objectType"] = TrxNarrow(CNVSimNames::ObjectTypeName(record.objectType));
  TrxJson arguments = TrxJson::array();
  for (const TrxString& argument : record.arguments) arguments.push_back(TrxNarrow(argument));
  entry["arguments"] = arguments;
  entry["argumentText"] = TrxNarrow(record.argumentText);
  entry["operationId"] = TrxNarrow(record.operationId);
  entry["finished"] = record.finished;
  entry["status"] = record.status;
  entry["errorCode"] = record.errorCode;
  entry["errorText"] = TrxNarrow(record.errorText);
  return entry;
}

// {"id":...,"error":"..."}; the id is left out when the request had none
// and is null when the line could not be read.
TrxJson ErrorReply(const TrxJson& id, bool withId, const std::string& message) {
  TrxJson reply = TrxJson::object();
  if (withId) reply["id"] = id;
  reply["error"] = message;
  return reply;
}

}  // namespace

// ---- the calls ------------------------------------------------------------------------

struct TrxBridge::Call {
  const char* name;
  std::vector<const char*> parameters;
  bool (TrxBridge::*handler)(const TrxJson&, TrxJson&, std::string&);
};

const std::vector<TrxBridge::Call>& TrxBridge::Calls() {
  static const std::vector<Call> calls{
      {"SetSubmitTimeout", {"timeOut"}, &TrxBridge::SetSubmitTimeout},
      {"StartLogging", {"filename", "bAppend"}, &TrxBridge::StartLogging},
      {"StopLogging", {}, &TrxBridge::StopLogging},
      {"GetLastError", {}, &TrxBridge::GetLastError},
      {"StartRecording", {}, &TrxBridge::StartRecording},
      {"StopRecording", {}, &TrxBridge::StopRecording},
      {"GetObjectFromId", {"htmlId"}, &TrxBridge::GetObjectFromId},
      {"GetRootObject", {}, &TrxBridge::GetRootObject},
      {"GetObjectContents", {"nMode", "trxODS"}, &TrxBridge::GetObjectContents},
      {"GetObjectDefinitions", {"ver"}, &TrxBridge::GetObjectDefinitions},
      {"Submit", {"trxODS", "methodName", "Args"}, &TrxBridge::Submit},
      {"client.attach", {}, &TrxBridge::ClientAttach},
      {"client.ready", {}, &TrxBridge::ClientReady},
      {"client.unload", {}, &TrxBridge::ClientUnload},
      {"client.state", {}, &TrxBridge::ClientState},
      {"client.journal", {"clear"}, &TrxBridge::ClientJournal},
      {"client.controlLog", {}, &TrxBridge::ClientControlLog},
      {"client.get", {"object", "property"}, &TrxBridge::ClientGet},
      {"client.set", {"object", "property", "value"}, &TrxBridge::ClientSet},
      {"client.show", {"object"}, &TrxBridge::ClientShow},
      {"client.hide", {"object"}, &TrxBridge::ClientHide},
      {"client.gotoScreen", {"screen"}, &TrxBridge::ClientGotoScreen},
      {"client.gotoView", {"view"}, &TrxBridge::ClientGotoView},
      {"client.busy", {"on"}, &TrxBridge::ClientBusy},
      {"client.busyAfter", {"ms"}, &TrxBridge::ClientBusyAfter},
      {"client.delay", {"ms"}, &TrxBridge::ClientDelay},
      {"client.hang", {"on"}, &TrxBridge::ClientHang},
      {"client.release", {}, &TrxBridge::ClientRelease},
      {"client.fail", {"status", "code", "text", "count", "clear"}, &TrxBridge::ClientFail},
      {"client.failProperty", {"object", "property", "status", "count", "clear"}, &TrxBridge::ClientFailProperty},
      {"client.refuseRegistration", {"status"}, &TrxBridge::ClientRefuseRegistration},
      {"client.noControlInterface", {"on"}, &TrxBridge::ClientNoControlInterface},
      {"client.failRecorderSwitch", {"status"}, &TrxBridge::ClientFailRecorderSwitch},
      {"client.failOperationId", {"status"}, &TrxBridge::ClientFailOperationId},
      {"client.action", TrxUserActionFields(), &TrxBridge::ClientAction},
  };
  return calls;
}

std::vector<std::string> TrxBridgeCallNames() {
  std::vector<std::string> names;
  for (const auto& call : TrxBridge::Calls()) names.emplace_back(call.name);
  return names;
}

TrxBridge::TrxBridge(TrxSession& session, bool events) : m_session(session), m_sink(TrxEventSink::Create()) {
  if (events) m_sink->Connect(m_session.Facade());
}

TrxBridge::~TrxBridge() { m_sink->Disconnect(); }

std::vector<std::string> TrxBridge::HandleLine(const std::string& line) {
  if (line.size() <= m_maxLineBytes && line.find_first_not_of(" \t\r\n") == std::string::npos) return {};
  const TrxJson reply = Answer(line);
  std::vector<std::string> lines = m_sink->TakeLines();
  lines.push_back(TrxJsonLine(reply));
  return lines;
}

TrxJson TrxBridge::Answer(const std::string& line) {
  // Checked before it is parsed: too long, not UTF-8 or nested too deep,
  // the line is refused in one pass over its bytes.
  if (line.size() > m_maxLineBytes)
    return ErrorReply(nullptr, true, "the line is longer than " + std::to_string(m_maxLineBytes) + " bytes");
  TrxJson request;
  std::string failure;
  if (!TrxParseJson(line, request, failure)) return ErrorReply(nullptr, true, failure);
  if (!request.is_object()) return ErrorReply(nullptr, true, "a request must be a JSON object");
  const bool hasId = request.contains("id");
  const TrxJson id = hasId ? request["id"] : TrxJson();
  if (!request.contains("call") || !request["call"].is_string())
    return ErrorReply(id, hasId, "a request needs \"call\": the name of a method or of a client.* call");
  const std::string name = request["call"].get<std::string>();
  const Call* call = nullptr;
  for (const Call& candidate : Calls())
    if (name == candidate.name) call = &candidate;
  if (!call) return ErrorReply(id, hasId, "unknown call \"" + name + "\"");
  if (name.rfind("client.", 0) == 0 && m_session.RemoteClient()) {
    // The client process checks and answers the request itself.
    std::string answer, error;
    if (!m_session.RemoteClient()->Exchange(line, answer, error)) return ErrorReply(id, hasId, error);
    TrxJson parsed;
    if (!TrxParseJson(answer, parsed, error))
      return ErrorReply(id, hasId, "the client process answered with a line that is not JSON: " + TrxValidUtf8(answer));
    return parsed;
  }
  TrxJson reply = TrxJson::object();
  if (hasId) reply["id"] = id;
  std::string error;
  if (!Dispatch(*call, request, reply, error)) return ErrorReply(id, hasId, error);
  return reply;
}

bool TrxBridge::Dispatch(const Call& call, const TrxJson& request, TrxJson& reply, std::string& error) {
  for (const auto& item : request.items()) {
    if (item.key() == "id" || item.key() == "call") continue;
    bool known = false;
    for (const char* parameter : call.parameters) known = known || item.key() == parameter;
    if (known) continue;
    error = "unknown parameter \"" + item.key() + "\" for " + call.name;
    if (call.parameters.empty()) {
      error += " (it takes none)";
    } else {
      error += " (it takes";
      for (const char* parameter : call.parameters) error += std::string(" ") + parameter;
      error += ")";
    }
    return false;
  }
  if (std::string(call.name).rfind("client.", 0) == 0 && !m_session.Client()) {
    error = "no client is loaded";
    return false;
  }
  try {
    return (this->*call.handler)(request, reply, error);
  } catch (const TrxJson::exception& failure) {
    error = failure.what();
    return false;
  }
}

// ---- INVTRXAutomation ---------------------------------------------------------------------

bool TrxBridge::SetSubmitTimeout(const TrxJson& request, TrxJson& reply, std::string& error) {
  LONG timeOut = 0;
  if (!ReadLong(request, "timeOut", timeOut, error)) return false;
  OutBstr errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->SetSubmitTimeout(timeOut, errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  return true;
}

bool TrxBridge::StartLogging(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxBstr filename;
  VARIANT_BOOL append = VARIANT_FALSE;
  if (!ReadBstr(request, "filename", filename, error) || !ReadVariantBool(request, "bAppend", append, error))
    return false;
  OutBstr errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->StartLogging(filename.Get(), append, errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  return true;
}

bool TrxBridge::StopLogging(const TrxJson&, TrxJson& reply, std::string&) {
  OutBstr errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->StopLogging(errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  return true;
}

bool TrxBridge::GetLastError(const TrxJson&, TrxJson& reply, std::string&) {
  OutBstr errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->GetLastError(errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  return true;
}

bool TrxBridge::StartRecording(const TrxJson&, TrxJson& reply, std::string&) {
  OutBstr errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->StartRecording(errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  return true;
}

bool TrxBridge::StopRecording(const TrxJson&, TrxJson& reply, std::string&) {
  OutBstr errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->StopRecording(errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  return true;
}

bool TrxBridge::GetObjectFromId(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxBstr htmlId;
  if (!ReadBstr(request, "htmlId", htmlId, error)) return false;
  OutBstr trxODS, errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->GetObjectFromId(htmlId.Get(), trxODS.Put(), errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  trxODS.AddTo(reply, "trxODS");
  return true;
}

bool TrxBridge::GetRootObject(const TrxJson&, TrxJson& reply, std::string&) {
  OutBstr trxODS, errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->GetRootObject(trxODS.Put(), errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  trxODS.AddTo(reply, "trxODS");
  return true;
}

bool TrxBridge::GetObjectContents(const TrxJson& request, TrxJson& reply, std::string& error) {
  LONG mode = 0;
  TrxBstr descriptor;
  if (!ReadLong(request, "nMode", mode, error) || !ReadBstr(request, "trxODS", descriptor, error)) return false;
  OutBstr contents, errMsg;
  OutLong errCode;
  reply["hr"] =
      m_session.Facade()->GetObjectContents(mode, descriptor.Get(), contents.Put(), errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  contents.AddTo(reply, "trxContentXML");
  return true;
}

bool TrxBridge::GetObjectDefinitions(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxBstr version;
  if (!ReadBstr(request, "ver", version, error)) return false;
  OutBstr definitions, errMsg;
  OutLong errCode;
  reply["hr"] = m_session.Facade()->GetObjectDefinitions(version.Get(), definitions.Put(), errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  definitions.AddTo(reply, "trxDefnXML");
  return true;
}

bool TrxBridge::Submit(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxBstr descriptor, method;
  if (!ReadBstr(request, "trxODS", descriptor, error) || !ReadBstr(request, "methodName", method, error)) return false;
  TrxVariantStore store;
  TrxVariant arguments;
  if (request.contains("Args") && !TrxJsonToVariant(request["Args"], arguments, store, error)) {
    error = "\"Args\": " + error;
    return false;
  }
  OutVariant retVal;
  OutBstr errMsg;
  OutLong errCode;
  reply["hr"] =
      m_session.Facade()->Submit(descriptor.Get(), method.Get(), arguments, retVal.Put(), errMsg.Put(), errCode.Put());
  errCode.AddTo(reply, "errCode");
  errMsg.AddTo(reply, "errMsg");
  retVal.AddTo(reply, "retVal");
  return true;
}

// ---- the simulated client ----------------------------------------------------------------

bool TrxBridge::ClientAttach(const TrxJson&, TrxJson& reply, std::string&) {
  reply["hr"] = m_session.Attach();
  return true;
}

bool TrxBridge::ClientReady(const TrxJson&, TrxJson& reply, std::string&) {
  reply["hr"] = m_session.Client()->Ready();
  return true;
}

bool TrxBridge::ClientUnload(const TrxJson&, TrxJson& reply, std::string&) {
  reply["hr"] = m_session.Client()->Unload();
  return true;
}

bool TrxBridge::ClientState(const TrxJson&, TrxJson& reply, std::string&) {
  CNVSimApplication* client = m_session.Client();
  reply["screen"] = TrxNarrow(client->GetActiveScreen());
  reply["view"] = TrxNarrow(client->GetCurrentView());
  reply["idle"] = client->IsIdle();
  reply["registered"] = static_cast<bool>(client->GetRegisteredService());
  reply["recorder"] = client->IsRecorderEnabled();
  reply["operationId"] = TrxNarrow(client->GetOperationId());
  reply["hanging"] = client->GetHangingRequests();
  return true;
}

bool TrxBridge::ClientJournal(const TrxJson& request, TrxJson& reply, std::string& error) {
  bool clear = false;
  if (!ReadFlag(request, "clear", false, clear, error)) return false;
  CNVSimApplication* client = m_session.Client();
  TrxJson journal = TrxJson::array();
  for (const CNVSimRequestRecord& record : client->GetJournal()) journal.push_back(JournalEntry(record));
  if (clear) client->ClearJournal();
  reply["journal"] = journal;
  return true;
}

bool TrxBridge::ClientControlLog(const TrxJson&, TrxJson& reply, std::string&) {
  TrxJson log = TrxJson::array();
  for (const TrxString& entry : m_session.Client()->GetControlLog()) log.push_back(TrxNarrow(entry));
  reply["log"] = log;
  return true;
}

bool TrxBridge::ClientGet(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxString object, property;
  if (!ReadText(request, "object", object, error, false) || !ReadText(request, "property", property, error, true))
    return false;
  TrxVariant value;
  reply["hr"] = m_session.Client()->ReadProperty(object, property, value);
  reply["value"] = TrxVariantToJson(value);
  return true;
}

bool TrxBridge::ClientSet(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxString object, property;
  if (!ReadText(request, "object", object, error, false) || !ReadText(request, "property", property, error, true))
    return false;
  if (!request.contains("value")) {
    error = "\"value\" is missing";
    return false;
  }
  TrxVariantStore store;
  TrxVariant value;
  if (!TrxJsonToVariant(request["value"], value, store, error)) {
    error = "\"value\": " + error;
    return false;
  }
  if (!m_session.Client()->SetProperty(object, property, value)) {
    error = "the client has no object \"" + TrxNarrow(object) + "\" or cannot hold that value";
    return false;
  }
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientShow(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxString object;
  if (!ReadText(request, "object", object, error, true)) return false;
  if (!m_session.Client()->SetVisible(object, true)) {
    error = "the client has no object \"" + TrxNarrow(object) + "\"";
    return false;
  }
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientHide(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxString object;
  if (!ReadText(request, "object", object, error, true)) return false;
  if (!m_session.Client()->SetVisible(object, false)) {
    error = "the client has no object \"" + TrxNarrow(object) + "\"";
    return false;
  }
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientGotoScreen(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxString screen;
  if (!ReadText(request, "screen", screen, error, true)) return false;
  if (!m_session.Client()->GotoScreen(screen)) {
    error = "the client has no screen \"" + TrxNarrow(screen) + "\"";
    return false;
  }
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientGotoView(const TrxJson& request, TrxJson& reply, std::string& error) {
  TrxString view;
  if (!ReadText(request, "view", view, error, true)) return false;
  if (!m_session.Client()->GotoView(view)) {
    error = "the client has no view \"" + TrxNarrow(view) + "\"";
    return false;
  }
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientBusy(const TrxJson& request, TrxJson& reply, std::string& error) {
  bool on = true;
  if (!ReadFlag(request, "on", true, on, error)) return false;
  m_session.Client()->SetBusy(on);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientBusyAfter(const TrxJson& request, TrxJson& reply, std::string& error) {
  DWORD milliseconds = 0;
  if (!ReadMilliseconds(request, milliseconds, error)) return false;
  m_session.Client()->SetBusyAfterRequest(milliseconds);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientDelay(const TrxJson& request, TrxJson& reply, std::string& error) {
  DWORD milliseconds = 0;
  if (!ReadMilliseconds(request, milliseconds, error)) return false;
  m_session.Client()->SetRequestDelay(milliseconds);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientHang(const TrxJson& request, TrxJson& reply, std::string& error) {
  bool on = true;
  if (!ReadFlag(request, "on", true, on, error)) return false;
  m_session.Client()->SetHangRequests(on);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientRelease(const TrxJson&, TrxJson& reply, std::string&) {
  CNVSimApplication* client = m_session.Client();
  reply["released"] = client->GetHangingRequests();
  client->SetHangRequests(false);
  client->ReleaseHangingRequests();
  return true;
}

bool TrxBridge::ClientFail(const TrxJson& request, TrxJson& reply, std::string& error) {
  bool clear = false;
  HRESULT status = S_OK;
  int64_t code = 0, count = -1;
  TrxString text;
  if (!ReadFlag(request, "clear", false, clear, error) ||
      !ReadStatus(request, "status", NVSIM_E_REQUEST_FAILED, status, error) ||
      !ReadInteger(request, "code", INT16_MIN, INT16_MAX, code, error) ||
      !ReadInteger(request, "count", -1, INT32_MAX, count, error) || !ReadText(request, "text", text, error, false))
    return false;
  if (clear) {
    m_session.Client()->ClearRequestFailures();
  } else {
    m_session.Client()->FailRequests(status, static_cast<SHORT>(code), text, static_cast<LONG>(count));
  }
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientFailProperty(const TrxJson& request, TrxJson& reply, std::string& error) {
  bool clear = false;
  if (!ReadFlag(request, "clear", false, clear, error)) return false;
  if (clear) {
    m_session.Client()->ClearPropertyFailures();
    reply["ok"] = true;
    return true;
  }
  TrxString object, property;
  HRESULT status = S_OK;
  int64_t count = -1;
  if (!ReadText(request, "object", object, error, false) || !ReadText(request, "property", property, error, true) ||
      !ReadStatus(request, "status", E_FAIL, status, error) ||
      !ReadInteger(request, "count", -1, INT32_MAX, count, error))
    return false;
  if (!m_session.Client()->FailProperty(object, property, status, static_cast<LONG>(count))) {
    error = "the client has no object \"" + TrxNarrow(object) + "\"";
    return false;
  }
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientRefuseRegistration(const TrxJson& request, TrxJson& reply, std::string& error) {
  HRESULT status = S_OK;
  if (!ReadStatus(request, "status", E_FAIL, status, error)) return false;
  m_session.Client()->SetRegistrationStatus(status);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientNoControlInterface(const TrxJson& request, TrxJson& reply, std::string& error) {
  bool on = true;
  if (!ReadFlag(request, "on", true, on, error)) return false;
  m_session.Client()->SetControlInterface(!on);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientFailRecorderSwitch(const TrxJson& request, TrxJson& reply, std::string& error) {
  HRESULT status = S_OK;
  if (!ReadStatus(request, "status", E_FAIL, status, error)) return false;
  m_session.Client()->SetRecorderSwitchStatus(status);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientFailOperationId(const TrxJson& request, TrxJson& reply, std::string& error) {
  HRESULT status = S_OK;
  if (!ReadStatus(request, "status", E_FAIL, status, error)) return false;
  m_session.Client()->SetOperationIdStatus(status);
  reply["ok"] = true;
  return true;
}

bool TrxBridge::ClientAction(const TrxJson& request, TrxJson& reply, std::string& error) {
  CNVSimUserAction action;
  if (!TrxUserActionFromJson(request, action, error)) return false;
  reply["hr"] = m_session.Client()->Play(action);
  return true;
}

// ---- user actions -----------------------------------------------------------------------

const std::vector<const char*>& TrxUserActionFields() {
  static const std::vector<const char*> fields{"object",     "eventId",    "arguments",
                                               "objectType", "applyRules", "reportFirst"};
  return fields;
}

bool TrxUserActionFromJson(const TrxJson& fields, CNVSimUserAction& action, std::string& error) {
  action = CNVSimUserAction();
  if (!fields.is_object()) {
    error = "an action must be a JSON object";
    return false;
  }
  if (!ReadText(fields, "object", action.object, error, false) ||
      !ReadFlag(fields, "applyRules", true, action.applyRules, error))
    return false;
  if (fields.contains("reportFirst")) {
    bool first = false;
    if (!ReadFlag(fields, "reportFirst", false, first, error)) return false;
    action.reportFirst = first;
  }
  if (!fields.contains("eventId")) {
    error = "\"eventId\" is missing";
    return false;
  }
  const TrxJson& eventId = fields["eventId"];
  if (eventId.is_string()) {
    if (!CNVSimNames::ParseRequest(TrxWiden(eventId.get<std::string>()), action.eventId)) {
      error = "\"eventId\": unknown request " + eventId.dump();
      return false;
    }
  } else {
    int64_t number = 0;
    if (!ReadInteger(fields, "eventId", 0, CNVSimNames::RequestCount() - 1, number, error)) return false;
    action.eventId = static_cast<LONG>(number);
  }
  if (fields.contains("objectType")) {
    const TrxJson& type = fields["objectType"];
    AUTO_OBJECTTYPE parsed = OBJTYPE_NULL;
    if (type.is_string()) {
      if (!CNVSimNames::ParseObjectType(TrxWiden(type.get<std::string>()), parsed)) {
        error = "\"objectType\": unknown object type " + type.dump();
        return false;
      }
      action.objectType = parsed;
    } else {
      int64_t number = 0;
      if (!ReadInteger(fields, "objectType", -1, OBJTYPE_NUMTYPES - 1, number, error)) return false;
      action.objectType = static_cast<LONG>(number);
    }
  }
  if (fields.contains("arguments")) {
    const TrxJson& arguments = fields["arguments"];
    auto text = [](const TrxJson& value) {
      return TrxWiden(value.is_string() ? value.get<std::string>() : value.dump());
    };
    if (arguments.is_object()) {
      for (const auto& item : arguments.items())
        action.arguments.emplace_back(TrxWiden(item.key()), text(item.value()));
    } else if (arguments.is_array()) {
      for (const TrxJson& pair : arguments) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string()) {
          error = "\"arguments\" must be an object or a list of [name, value] pairs";
          return false;
        }
        action.arguments.emplace_back(TrxWiden(pair[0].get<std::string>()), text(pair[1]));
      }
    } else {
      error = "\"arguments\" must be an object or a list of [name, value] pairs";
      return false;
    }
  }
  return true;
}

// ---- the loop -----------------------------------------------------------------------------

void TrxRunBridge(std::istream& in, std::ostream& out, TrxBridge& bridge) {
  std::string line;
  while (TrxReadLine(in, line, bridge.GetMaxLineBytes())) {
    for (const std::string& reply : bridge.HandleLine(line)) out << reply << '\n';
    out.flush();
  }
}
