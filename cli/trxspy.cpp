// `trx spy`: the object view. A page on the loopback address shows the
// object tree the service sees (GetObjectContents, mode 1), the selected
// object's descriptor, properties and the catalogue's methods of its class,
// and plays one Submit on it.
//
// httplib answers requests on threads of its own. Every call on the service
// is handed to the thread that opened the session, the service's apartment
// thread, through a queue and an event; that thread runs the calls while it
// waits with its messages pumped, one at a time, never nested in another.
//
// Linux only: the Windows build leaves this file out (CMakeLists.txt).
#include <atomic>
#include <chrono>
#include <csignal>
#include <deque>
#include <functional>
#include <future>
#include <istream>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

#include "cli/trxbridge.h"
#include "cli/trxcommands.h"
#include "descriptors/nvtrxodsutil.h"
#include "descriptors/nvtrxxml.h"
#include "host/nvsimcallwindow.h"

// After the platform's header: the system headers it pulls in define some
// of the same names (DELETE), and only theirs may redefine them quietly.
#include <httplib.h>

namespace {

const char kSpyHelp[] =
    "usage: trx spy [--app FILE] [--port N]\n"
    "\n"
    "Serves the object view on http://127.0.0.1:N/ (loopback only) until standard\n"
    "input ends or the program is interrupted (Ctrl+C). The page shows the object\n"
    "tree the service sees in the client (searchable; Refresh reads it again), and\n"
    "for the selected object its descriptor (with a copy button), its properties,\n"
    "the catalogue's methods of its class with their help, and a form that plays\n"
    "one method (Submit) and shows retVal, errCode and errMsg.\n"
    "\n"
    "The first line of standard output is the page's address:\n"
    "  trx spy: http://127.0.0.1:8765/\n"
    "\n"
    "JSON endpoints: GET /api/tree, GET /api/defs?class=NAME, POST /api/submit\n"
    "with {\"trxODS\":..., \"methodName\":..., \"Args\":...} (Args as the serve bridge\n"
    "reads it), answered with the bridge's reply to Submit.\n"
    "\n"
    "options:\n"
    "  --app FILE   the client's description file (default: samples/crm.xml)\n"
    "  --port N     the port (default 8765; 0 picks a free one)\n";

const char kSpyPage[] =
#include "trxspypage.inc"
    ;

constexpr int kDefaultPort = 8765;

volatile std::sig_atomic_t g_stopSignal = 0;
extern "C" void OnStopSignal(int) { g_stopSignal = 1; }

// Work handed from the server's threads to the apartment thread.
class ApartmentQueue {
 public:
  ApartmentQueue() : m_ready(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  HANDLE Ready() const noexcept { return m_ready.Get(); }

  // On a server thread: runs `work` on the apartment thread and waits for
  // it. False when it did not run (the queue stopped, or it threw).
  bool Run(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    std::future<bool> done = job->done.get_future();
    {
      std::lock_guard<std::mutex> lock(m_lock);
      if (m_stopped) return false;
      m_jobs.push_back(job);
    }
    SetEvent(m_ready.Get());
    return done.get();
  }

  // On the apartment thread: runs what waits, in order.
  void RunPending() {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_jobs.empty()) return;
        job = m_jobs.front();
        m_jobs.pop_front();
      }
      bool ran = true;
      try {
        job->work();
      } catch (const std::exception&) {
        ran = false;
      }
      job->done.set_value(ran);
    }
  }

  // Takes no more work; what has not run is abandoned.
  void Stop() {
    std::deque<std::shared_ptr<Job>> left;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_stopped = true;
      left.swap(m_jobs);
    }
    for (const auto& job : left) job->done.set_value(false);
  }

 private:
  struct Job {
    std::function<void()> work;
    std::promise<bool> done;
  };
  TrxHandle m_ready;
  std::mutex m_lock;
  std::deque<std::shared_ptr<Job>> m_jobs;
  bool m_stopped = false;
};

std::string Attribute(const CNVTRXXmlNode& node, const OLECHAR* name) {
  TrxString value;
  node.GetAttribute(name, value);
  return TrxNarrow(value);
}

TrxJson Failure(LONG code, const TrxBstr& message) {
  return {{"errCode", code}, {"errMsg", TrxBstrToJson(message.Get())}};
}

// One object of the contents document and everything below it; `chain`
// holds the (class, repository name) pairs of the objects above it.
TrxJson ObjectJson(const CNVTRXXmlNode& object, std::vector<std::pair<TrxString, TrxString>>& chain) {
  chain.emplace_back(TrxWiden(Attribute(object, OLESTR("ClassName"))),
                     TrxWiden(Attribute(object, OLESTR("RepositoryName"))));
  TrxJson node = {{"className", TrxNarrow(chain.back().first)},
                  {"name", TrxNarrow(chain.back().second)},
                  {"ods", TrxNarrow(TrxComposeODS(chain))},
                  {"active", Attribute(object, OLESTR("ActiveElement")) == "true"},
                  {"properties", TrxJson::array()},
                  {"children", TrxJson::array()}};
  for (CNVTRXXmlNode child = object.GetFirstChild(); child; child = child.GetNextSibling()) {
    if (child.GetType() != TRXXML_ELEMENT) continue;
    if (child.GetName() == OLESTR("Properties")) {
      for (CNVTRXXmlNode property = child.GetFirstChild(); property; property = property.GetNextSibling())
        if (property.GetType() == TRXXML_ELEMENT)
          node["properties"].push_back({Attribute(property, OLESTR("Name")), Attribute(property, OLESTR("Value"))});
    } else if (child.GetName() == OLESTR("Obj")) {
      node["children"].push_back(ObjectJson(child, chain));
    }
  }
  chain.pop_back();
  return node;
}

// The whole tree as the service sees it: {"errCode":0,"objects":[...]}.
TrxJson TreeJson(INVTRXAutomation* facade) {
  TrxBstr root, rootMessage, contents, message;
  LONG code = 0;
  facade->GetRootObject(root.Put(), rootMessage.Put(), &code);
  if (root.IsNull()) return Failure(code, rootMessage);
  code = 0;
  facade->GetObjectContents(1, root.Get(), contents.Put(), message.Put(), &code);
  if (code != 0) return Failure(code, message);
  CNVTRXXmlDocument document;
  if (!document.LoadXml(contents.View()))
    return {{"errCode", -1}, {"errMsg", "the contents document does not load as XML"}};
  TrxJson objects = TrxJson::array();
  std::vector<std::pair<TrxString, TrxString>> chain;
  const CNVTRXXmlNode top = document.GetDocumentElement();
  for (CNVTRXXmlNode child = top.GetFirstChild(); child; child = child.GetNextSibling())
    if (child.GetType() == TRXXML_ELEMENT && child.GetName() == OLESTR("Obj")) objects.push_back(ObjectJson(child, chain));
  return {{"errCode", 0}, {"objects", objects}};
}

// A method's or property's help lines after the first (which repeats the
// signature).
std::string HelpText(const CNVTRXXmlNode& member) {
  std::vector<CNVTRXXmlNode> lines;
  member.SelectNodes(OLESTR("HelpString/StringData"), lines);
  std::string help;
  for (size_t i = 1; i < lines.size(); ++i) {
    const CNVTRXXmlNode text = lines[i].GetFirstChild();
    help += (i > 1 ? "\n" : "") + (text ? TrxNarrow(text.GetValue()) : std::string());
  }
  return help;
}

// One class of the catalogue: {"errCode":0,"className":...,"methods":[...],
// "properties":[...]}; errCode 1 when the catalogue has no such class.
TrxJson ClassJson(INVTRXAutomation* facade, const std::string& wanted) {
  TrxBstr version, definitions, message;
  LONG code = 0;
  facade->GetObjectDefinitions(version.Get(), definitions.Put(), message.Put(), &code);
  CNVTRXXmlDocument document;
  if (definitions.IsNull() || !document.LoadXml(definitions.View())) return Failure(code ? code : -1, message);
  std::vector<CNVTRXXmlNode> classes;
  document.SelectNodes(OLESTR("/*/ObjectInfo"), classes);
  for (const CNVTRXXmlNode& info : classes) {
    CNVTRXXmlNode data;
    info.SelectSingleNode(OLESTR("ObjectData"), data);
    if (!data || Attribute(data, OLESTR("NorvikClassName")) != wanted) continue;
    TrxJson methods = TrxJson::array(), properties = TrxJson::array();
    std::vector<CNVTRXXmlNode> nodes;
    info.SelectNodes(OLESTR("Methods/MethodData"), nodes);
    for (const CNVTRXXmlNode& method : nodes) {
      std::vector<CNVTRXXmlNode> params;
      method.SelectNodes(OLESTR("Params/ParamData"), params);
      TrxJson paramJson = TrxJson::array();
      for (const CNVTRXXmlNode& param : params)
        paramJson.push_back({{"name", Attribute(param, OLESTR("Name"))},
                             {"type", TrxCatalogueTypeName(Attribute(param, OLESTR("VariantType")))}});
      methods.push_back({{"name", Attribute(method, OLESTR("Name"))},
                         {"params", paramJson},
                         {"returns", TrxCatalogueTypeName(Attribute(method, OLESTR("ReturnValVariantType")))},
                         {"help", HelpText(method)}});
    }
    nodes.clear();
    info.SelectNodes(OLESTR("Properties/PropertyData"), nodes);
    for (const CNVTRXXmlNode& property : nodes)
      properties.push_back({{"name", Attribute(property, OLESTR("Name"))},
                            {"type", TrxCatalogueTypeName(Attribute(property, OLESTR("VariantType")))},
                            {"help", HelpText(property)}});
    return {{"errCode", 0}, {"className", wanted}, {"methods", methods}, {"properties", properties}};
  }
  return {{"errCode", 1}, {"errMsg", "the catalogue has no class \"" + wanted + "\""}};
}

void SendJson(httplib::Response& response, const TrxJson& body, int status = 200) {
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, TrxJson::error_handler_t::replace), "application/json");
}

void SendError(httplib::Response& response, int status, const std::string& message) {
  SendJson(response, {{"error", message}}, status);
}

// Requests must name this server as 127.0.0.1 or localhost (no other name
// can be made to point at it), and a POST must carry JSON, which a page of
// another origin cannot send without asking first.
bool Allowed(const httplib::Request& request, int port, httplib::Response& response) {
  const std::string host = request.get_header_value("Host");
  const std::string suffix = ":" + std::to_string(port);
  if (host != "127.0.0.1" + suffix && host != "localhost" + suffix) {
    SendError(response, 403, "this server answers 127.0.0.1:" + std::to_string(port) + " only");
    return false;
  }
  if (request.method == "POST" && request.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
    SendError(response, 415, "send application/json");
    return false;
  }
  return true;
}

bool ParsePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(text);
  return port <= 65535;
}

}  // namespace

int TrxSpy(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
  std::string appFile, error;
  int port = kDefaultPort;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--help" || word == "-h") {
      out << kSpyHelp;
      return kTrxExitOk;
    }
    const bool valued = word == "--app" || word == "--port";
    if (!valued || i + 1 == arguments.size()) {
      err << "trx spy: " << (valued ? word + " needs a value" : "unexpected argument \"" + word + "\"")
          << " (see trx spy --help)\n";
      return kTrxExitUsage;
    }
    const std::string& value = arguments[++i];
    if (word == "--app") {
      appFile = value;
    } else if (!ParsePort(value, port)) {
      err << "trx spy: --port must be a number from 0 to 65535 (see trx spy --help)\n";
      return kTrxExitUsage;
    }
  }

  TrxSessionOptions options;
  options.appFile = appFile;
  TrxSession session;
  if (!session.Open(options, error)) {
    err << "trx spy: " << error << "\n";
    return kTrxExitFailed;
  }
  if (FAILED(session.GetAttachStatus())) err << "trx spy: the client did not attach to the service\n";
  TrxBridge bridge(session);
  ApartmentQueue queue;
  INVTRXAutomation* facade = session.Facade();

  httplib::Server server;
  server.set_keep_alive_timeout(1);
  // No socket options: httplib's default (SO_REUSEPORT) would let a second
  // spy share a port that one already serves.
  server.set_socket_options([](auto) {});
  const int requested = port;
  if (port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
    if (port < 0) port = 0;
  } else if (!server.bind_to_port("127.0.0.1", port)) {
    port = 0;
  }
  if (port == 0) {
    err << "trx spy: cannot listen on 127.0.0.1:" << requested << " (in use? --port 0 picks a free port)\n";
    return kTrxExitFailed;
  }

  server.Get("/", [&](const httplib::Request& request, httplib::Response& response) {
    if (Allowed(request, port, response)) response.set_content(kSpyPage, "text/html; charset=utf-8");
  });
  server.Get("/api/tree", [&](const httplib::Request& request, httplib::Response& response) {
    if (!Allowed(request, port, response)) return;
    TrxJson tree;
    if (!queue.Run([&] { tree = TreeJson(facade); })) return SendError(response, 503, "the service has stopped");
    SendJson(response, tree);
  });
  server.Get("/api/defs", [&](const httplib::Request& request, httplib::Response& response) {
    if (!Allowed(request, port, response)) return;
    const std::string wanted = request.get_param_value("class");
    TrxJson defs;
    if (!queue.Run([&] { defs = ClassJson(facade, wanted); })) return SendError(response, 503, "the service has stopped");
    SendJson(response, defs, defs["errCode"] == 1 ? 404 : 200);
  });
  server.Post("/api/submit", [&](const httplib::Request& request, httplib::Response& response) {
    if (!Allowed(request, port, response)) return;
    TrxJson body;
    std::string bad;
    if (!TrxParseJson(request.body, body, bad)) return SendError(response, 400, bad);
    if (!body.is_object()) return SendError(response, 400, "send {\"trxODS\":..., \"methodName\":..., \"Args\":...}");
    TrxJson call = {{"call", "Submit"}};
    for (const char* name : {"trxODS", "methodName", "Args"})
      if (body.contains(name)) call[name] = body[name];
    std::vector<std::string> lines;
    if (!queue.Run([&] { lines = bridge.HandleLine(call.dump()); }) || lines.empty())
      return SendError(response, 503, "the service has stopped");
    const TrxJson reply = TrxJson::parse(lines.back(), nullptr, false);
    SendJson(response, reply, reply.contains("error") ? 400 : 200);
  });

  std::atomic<bool> listening{true};
  std::thread listener([&] {
    server.listen_after_bind();
    listening = false;
  });
  while (listening && !server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  out << "trx spy: http://127.0.0.1:" << port << "/" << std::endl;

  // Standard input is read to its end by a thread of its own. When a signal
  // ends the command first, that thread may still wait for a line; it is let
  // go (it shares nothing but the flag and the stream).
  const auto inputEnded = std::make_shared<std::atomic<bool>>(false);
  std::thread reader([&in, inputEnded] {
    std::string ignored;
    while (std::getline(in, ignored)) {
    }
    *inputEnded = true;
  });
  g_stopSignal = 0;
  const auto previousInt = std::signal(SIGINT, OnStopSignal);
  const auto previousTerm = std::signal(SIGTERM, OnStopSignal);
  while (!*inputEnded && !g_stopSignal && listening) {
    HANDLE ready = queue.Ready();
    if (MsgWaitForMultipleObjects(1, &ready, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
      CNVSimCallWindow::PumpMessages();
    queue.RunPending();
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  queue.Stop();
  server.stop();
  listener.join();
  if (*inputEnded)
    reader.join();
  else
    reader.detach();
  return kTrxExitOk;
}
