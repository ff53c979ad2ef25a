// The JSON-lines bridge of `trx serve`: test tools that cannot use COM
// drive the service object through it, one JSON request per line in, one
// JSON reply per line out, in order. docs/trx.md describes the protocol.
//
//   {"id":1,"call":"Submit","trxODS":"...","methodName":"GetClassCount","Args":"NorvMenu"}
//   {"id":1,"hr":0,"errCode":0,"errMsg":null,"retVal":{"vt":3,"value":1}}
//
// Calls named after the eleven methods of INVTRXAutomation go to the
// service with the interface's own parameter names; the reply carries the
// COM status and exactly the out-parameters the method wrote. Calls whose
// names start with "client." drive the simulated client (forwarded as they
// are when the client runs in a process of its own). Events the
// service fires during a call are written as lines of their own before the
// call's reply. A line that is not JSON, or a request that cannot be made,
// gets {"id":...,"error":"..."} and the bridge reads on. Lines longer than
// a bound (16 MiB unless set), lines that are not UTF-8 and lines nested
// deeper than kTrxJsonMaxDepth are refused before they are parsed
// (cli/trxjsontext.h); every line written is valid UTF-8 JSON.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/trxeventsink.h"
#include "cli/trxjsontext.h"
#include "cli/trxjsonvariant.h"
#include "cli/trxsession.h"

class TrxBridge {
 public:
  // Works on an open session, which must outlive the bridge. Without
  // `events` no sink is connected (the client process of `trx client`
  // answers client.* calls only).
  explicit TrxBridge(TrxSession& session, bool events = true);
  ~TrxBridge();
  TrxBridge(const TrxBridge&) = delete;
  TrxBridge& operator=(const TrxBridge&) = delete;

  // One request line: the lines of the events that fired during it, then
  // its reply. A line of nothing but white space gives no line at all.
  std::vector<std::string> HandleLine(const std::string& line);

  // The longest line answered; longer ones get an error reply.
  size_t GetMaxLineBytes() const noexcept { return m_maxLineBytes; }
  void SetMaxLineBytes(size_t bytes) noexcept { m_maxLineBytes = bytes; }

  // The receiver of the service's events (see trxeventsink.h).
  TrxEventSink* GetEventSink() const noexcept { return m_sink.Get(); }

  struct Call;

 private:
  friend std::vector<std::string> TrxBridgeCallNames();
  // Every call, by name.
  static const std::vector<Call>& Calls();
  // The reply to one line.
  TrxJson Answer(const std::string& line);
  // Runs one parsed request; false with the reason when it cannot be made.
  bool Dispatch(const Call& call, const TrxJson& request, TrxJson& reply, std::string& error);

  // INVTRXAutomation.
  bool SetSubmitTimeout(const TrxJson& request, TrxJson& reply, std::string& error);
  bool StartLogging(const TrxJson& request, TrxJson& reply, std::string& error);
  bool StopLogging(const TrxJson& request, TrxJson& reply, std::string& error);
  bool GetLastError(const TrxJson& request, TrxJson& reply, std::string& error);
  bool StartRecording(const TrxJson& request, TrxJson& reply, std::string& error);
  bool StopRecording(const TrxJson& request, TrxJson& reply, std::string& error);
  bool GetObjectFromId(const TrxJson& request, TrxJson& reply, std::string& error);
  bool GetRootObject(const TrxJson& request, TrxJson& reply, std::string& error);
  bool GetObjectContents(const TrxJson& request, TrxJson& reply, std::string& error);
  bool GetObjectDefinitions(const TrxJson& request, TrxJson& reply, std::string& error);
  bool Submit(const TrxJson& request, TrxJson& reply, std::string& error);

  // The simulated client.
  bool ClientAttach(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientReady(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientUnload(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientState(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientJournal(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientControlLog(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientGet(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientSet(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientShow(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientHide(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientGotoScreen(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientGotoView(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientBusy(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientBusyAfter(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientDelay(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientHang(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientRelease(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientFail(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientFailProperty(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientRefuseRegistration(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientNoControlInterface(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientFailRecorderSwitch(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientFailOperationId(const TrxJson& request, TrxJson& reply, std::string& error);
  bool ClientAction(const TrxJson& request, TrxJson& reply, std::string& error);

  TrxSession& m_session;
  TrxComPtr<TrxEventSink> m_sink;
  size_t m_maxLineBytes = kTrxDefaultMaxLineBytes;
};

// A user action of the simulated client from the fields of client.action
// (as `trx record` reads them, one object per line): "object" (a path or
// "#id"; default the application), "eventId" (a request name or number,
// required), "arguments" ({"name":"value"} or [["name","value"]]; values
// that are not strings are taken as their JSON text), "objectType" (a name
// or number; default the object's own) and "applyRules" (default true).
// Fields not named here are not looked at. False, with the reason in
// `error`, for fields that do not make an action.
bool TrxUserActionFromJson(const TrxJson& fields, CNVSimUserAction& action, std::string& error);
// The names of those fields.
const std::vector<const char*>& TrxUserActionFields();

// The names of every call the bridge answers, in the order of docs/trx.md.
std::vector<std::string> TrxBridgeCallNames();

// Reads request lines until the end of `in` and writes every reply line
// to `out`, flushing after each reply. A line longer than the bridge's
// bound is not kept in memory beyond it.
void TrxRunBridge(std::istream& in, std::ostream& out, TrxBridge& bridge);
