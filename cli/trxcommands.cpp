#include "cli/trxcommands.h"

#include <cstdint>
#include <fstream>
#include <iomanip>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>

#include "cli/trxbridge.h"
#include "cli/trxjsontext.h"
#include "cli/trxjsonvariant.h"
#include "cli/trxodspath.h"
#include "cli/trxtrace.h"
#include "descriptors/nvtrxxml.h"
#include "model/nvtrxservicestate.h"
#ifdef _WIN32
#include "cli/trxclientprocess.h"
#endif

namespace {

// ---- help texts -------------------------------------------------------------------------

const char kMainHelp[] =
    "trx - the Norvik test-automation service, run against a simulated Norvik client\n"
    "\n"
    "usage: trx COMMAND [OPTIONS]\n"
    "\n"
    "       trx --version\n"
    "\n"
    "commands:\n"
    "  serve   a JSON-lines bridge to the service on standard input and output\n"
    "  tree    the object tree the service sees in the client (GetObjectContents)\n"
    "  defs    the object definitions catalogue (GetObjectDefinitions)\n"
    "  call    one Submit of a method on an object, with its result\n"
    "  demo    a guided walk through what the service does, on the bundled sample\n"
    "  record  user actions played on the client while the service records, and the\n"
    "          Record events a tool receives for them\n"
#ifndef _WIN32
    "  spy     a page on 127.0.0.1 that shows the object tree, each object's\n"
    "          descriptor, properties and methods, and plays one method\n"
#endif
    "\n"
    "Every command takes --help. The simulated client comes from a description file\n"
    "(--app FILE); without one the bundled samples/crm.xml is used, looked for in the\n"
    "working directory and above the trx executable. See docs/trx.md.\n"
    "\n"
    "exit codes: 0 success, 1 the service reported a failure or a file could not be\n"
    "loaded, 2 the command line (or a line of record's actions) was not understood.\n";

const char kServeHelp[] =
    "usage: trx serve [--app FILE] [--detached] [--max-line BYTES] [--idle-pause MS]\n"
    "                 [--trace]\n"
    "\n"
    "Starts the service with the simulated client of FILE attached and answers one\n"
    "JSON request per line of standard input with one JSON reply per line of\n"
    "standard output, until the input ends.\n"
    "\n"
    "  {\"id\":1,\"call\":\"Submit\",\"trxODS\":\"<Obj ClassName=\\\"NorvApplication\\\" "
    "RepositoryName=\\\"Norvik\\\"/>\",\n"
    "   \"methodName\":\"GetClassCount\",\"Args\":\"NorvMenu\"}\n"
    "  {\"id\":1,\"hr\":0,\"errCode\":0,\"errMsg\":null,\"retVal\":{\"vt\":3,\"value\":1}}\n"
    "\n"
    "Calls: the eleven methods of INVTRXAutomation by name, with their own parameter\n"
    "names, and client.* calls that drive the simulated client (client.unload,\n"
    "client.busy, client.journal ...). docs/trx.md lists them all. Record events\n"
    "the service fires during a call (while recording, for client.action) come as\n"
    "lines of their own before the call's reply.\n"
    "\n"
    "On Windows the service is the registered server trxcom.exe, reached through\n"
    "COM, and the client runs as a process of its own (trx client), to which the\n"
    "client.* lines go.\n"
    "\n"
    "Lines longer than the bound of --max-line, lines that are not UTF-8 and lines\n"
    "nesting arrays and objects deeper than 256 levels get an error reply.\n"
    "\n"
    "options:\n"
    "  --app FILE        the client's description file (default: samples/crm.xml)\n"
    "  --detached        load the client but do not attach it; client.attach does that\n"
    "  --max-line BYTES  the longest request line read (default 16777216, 16 MiB)\n"
    "  --idle-pause MS   the pause between the two waits for the client to be idle\n"
    "                    that every call makes (default 100, or TRXIDLEPAUSE; 0 to\n"
    "                    60000). 0 is safe with a client whose idle signal does not\n"
    "                    flicker, such as the simulated one; see docs/trx.md\n"
    "  --trace           copy the service's trace log to standard error, as UTF-8\n"
    "                    lines, while it runs (until a tool starts a log of its own)\n";

const char kTreeHelp[] =
    "usage: trx tree [--app FILE] [--mode 0|1|5] [--ods OBJECT] [--xml]\n"
    "\n"
    "Prints the objects the service finds in the client, with their properties, as\n"
    "GetObjectContents returns them.\n"
    "\n"
    "options:\n"
    "  --app FILE    the client's description file (default: samples/crm.xml)\n"
    "  --mode N      1: the whole tree with the object of --ods marked (default);\n"
    "                5: the same without properties; 0: only the object of --ods\n"
    "                and what is below it\n"
    "  --ods OBJECT  a descriptor, or a path such as NorvScreen[Accounts]; default:\n"
    "                the application\n"
    "  --xml         print the contents document as the service returns it\n";

const char kDefsHelp[] =
    "usage: trx defs [--version V] [--summary | --class NAME]\n"
    "\n"
    "Prints the object definitions catalogue as GetObjectDefinitions returns it to a\n"
    "tool that holds version V (default: none). A tool with the same version gets\n"
    "no document (code 2); one with a newer version gets -1023.\n"
    "\n"
    "options:\n"
    "  --version V   the catalogue version the caller already has\n"
    "  --summary     the version, the number of classes and each class with its\n"
    "                counts of methods and properties, instead of the document\n"
    "  --class NAME  one class's methods and properties with their signatures and\n"
    "                help texts, instead of the document\n";

const char kCallHelp[] =
    "usage: trx call [--app FILE] [--output text|json] OBJECT METHOD [ARG ...]\n"
    "       trx call [--app FILE] [--output text|json] --json ARGS OBJECT METHOD\n"
    "\n"
    "Submits METHOD on OBJECT once and prints retVal, errCode and errMsg.\n"
    "\n"
    "OBJECT is \"/\" (or \"\") for the application, a path below it such as\n"
    "  NorvScreen[Accounts]/NorvView[Account List View]\n"
    "(a backslash in the brackets takes the next character as it is), or a whole\n"
    "descriptor <Obj ClassName=\"NorvApplication\" ...>.\n"
    "\n"
    "Each ARG is passed as a 32-bit integer when it reads as one, otherwise as a\n"
    "string; one ARG is passed alone, several as an array. --json ARGS passes a JSON\n"
    "value instead, converted as the serve bridge converts \"Args\". Put -- before\n"
    "arguments that start with --.\n"
    "\n"
    "--output json prints one JSON line instead, as the serve bridge replies:\n"
    "  {\"hr\":0,\"errCode\":0,\"errMsg\":null,\"retVal\":{\"vt\":3,\"value\":1}}\n"
    "\n"
    "examples:\n"
    "  trx call / GetClassCount NorvMenu\n"
    "  trx call / SetTimeOut 30\n"
    "  trx call / ProcessKeyboardAccelerator Ctrl+Shift+F9\n"
    "  trx call --json '[\"NorvPageTabs\", 0]' / GetRepositoryNameByIndex\n"
    "\n"
    "exit code 1 when the call reports an error code other than 0.\n";

const char kDemoHelp[] =
    "usage: trx demo [--app FILE]\n"
    "\n"
    "Walks through what the service does, against the bundled sample client (or\n"
    "FILE): attachment, the root object, the definitions catalogue, application\n"
    "methods with their results, the contents document, the last error, busy time,\n"
    "the requests the client received, what happens when the client unloads, and\n"
    "user actions recorded and received as Record events.\n";

const char kRecordHelp[] =
    "usage: trx record [--app FILE] [--text | --emit python|jsonl] ACTIONS\n"
    "\n"
    "Connects to the service's events as a tool does, starts recording, plays the\n"
    "user actions of the file ACTIONS (- for standard input) on the simulated client\n"
    "in order, prints every Record event the service fires for them, and stops\n"
    "recording.\n"
    "\n"
    "ACTIONS holds one JSON object per line with the fields of the serve bridge's\n"
    "client.action call; blank lines and lines starting with # are skipped:\n"
    "\n"
    "  "
    "{\"eventId\":\"PROCESSACCELERATOR\",\"arguments\":[[\"0\",\"78\"],[\"1\",\"FALSE\"],[\"2\",\"TRUE\"],[\"3\","
    "\"FALSE\"]]}\n"
    "\n"
    "  object      the object's path in the description, or #id (default: the\n"
    "              application)\n"
    "  eventId     a request name or number (required)\n"
    "  arguments   {\"name\":\"value\"} or [[\"name\",\"value\"], ...], in order\n"
    "  objectType  the object type reported (default: the object's own)\n"
    "  applyRules  whether the client's state changes as its rules say (default true)\n"
    "  reportFirst whether the client reports the action before its rules run\n"
    "              (default: navigation first, everything else after)\n"
    "\n"
    "Each event is printed as the JSON line serve writes for it:\n"
    "  {\"event\":\"Record\",\"trxODS\":\"<Obj .../>\",\"eventName\":\"...\",\"pArgs\":{...}}\n"
    "\n"
    "options:\n"
    "  --app FILE   the client's description file (default: samples/crm.xml)\n"
    "  --text       print events readably: Record  METHOD  ARGUMENTS  on DESCRIPTOR\n"
    "  --emit python  print, instead of the events, a Python script that replays them\n"
    "               with the client package of clients/python (a test to keep)\n"
    "  --emit jsonl   print the Submit request lines for trx serve that replay them\n"
    "\n"
    "exit code 2 for a line that is not a valid action (nothing after it is played),\n"
    "1 when recording cannot start or the client could not report an action.\n"
    "Sample: samples/crm-actions.jsonl.\n";

// ---- command lines ------------------------------------------------------------------------

struct CommandLine {
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::vector<std::string> words;
  bool help = false;
};

// Options: "--name value", "--name=value" or a flag "--name". "--" ends
// the options; "-h" and "--help" ask for help.
bool ParseCommandLine(const std::vector<std::string>& arguments, const std::set<std::string>& valued,
                      const std::set<std::string>& flags, CommandLine& line, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-' || (word[1] != '-' && word != "-h")) {
      line.words.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "-h" || word == "--help") {
      line.help = true;
      continue;
    }
    const size_t equals = word.find('=');
    const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    if (valued.count(name)) {
      if (equals != std::string::npos) {
        line.values[name] = word.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        line.values[name] = arguments[++i];
      } else {
        error = "--" + name + " needs a value";
        return false;
      }
    } else if (flags.count(name) && equals == std::string::npos) {
      line.flags.insert(name);
    } else {
      error = "unknown option " + word;
      return false;
    }
  }
  return true;
}

// A positive count of bytes, in decimal digits.
bool ParseByteCount(const std::string& text, size_t& out) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  out = static_cast<size_t>(std::stoull(text));
  return out > 0;
}

// An environment variable set for a scope, and put back as it was after it.
class TrxEnvironmentSetting {
 public:
  TrxEnvironmentSetting(const OLECHAR* name, const TrxString& value) : m_name(name) {
    // The size with its terminator first, then the value.
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size > 0) {
      m_previous.resize(size);
      const DWORD n = GetEnvironmentVariableW(name, m_previous.data(), size);
      m_had = n < size;
      m_previous.resize(m_had ? n : 0);
    }
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~TrxEnvironmentSetting() { SetEnvironmentVariableW(m_name, m_had ? m_previous.c_str() : nullptr); }
  TrxEnvironmentSetting(const TrxEnvironmentSetting&) = delete;
  TrxEnvironmentSetting& operator=(const TrxEnvironmentSetting&) = delete;

 private:
  const OLECHAR* m_name;
  bool m_had = false;
  TrxString m_previous;
};

int UsageError(std::ostream& err, const std::string& command, const std::string& message) {
  err << "trx " << command << ": " << message << " (see trx " << command << " --help)\n";
  return kTrxExitUsage;
}

std::string HexStatus(HRESULT status) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << static_cast<uint32_t>(status);
  return text.str();
}

std::string Narrow(const TrxBstr& text) { return TrxNarrow(text.View()); }

std::string BstrText(const TrxBstr& text) { return text.IsNull() ? "(null)" : "\"" + Narrow(text) + "\""; }

bool OpenSession(TrxSession& session, const CommandLine& line, const std::string& command, std::ostream& err,
                 bool withClient = true) {
  TrxSessionOptions options;
  options.withClient = withClient;
  if (line.values.count("app")) options.appFile = line.values.at("app");
  std::string error;
  if (!session.Open(options, error)) {
    err << "trx " << command << ": " << error << "\n";
    return false;
  }
  if (withClient && FAILED(session.GetAttachStatus())) {
    err << "trx " << command << ": the client did not attach to the service (status "
        << HexStatus(session.GetAttachStatus()) << ")\n";
    return false;
  }
  return true;
}

// ---- output -----------------------------------------------------------------------------

std::string DescribeBare(const TrxJson& value, unsigned vt) {
  if (value.is_null()) return vt == VT_BSTR ? "(null string)" : "(nothing)";
  if (value.is_boolean()) return value.get<bool>() ? "TRUE" : "FALSE";
  return value.dump(-1, ' ', false, TrxJson::error_handler_t::replace);
}

std::string DescribeStructured(const TrxJson& variant);

std::string DescribeArray(const TrxJson& level, unsigned elementType) {
  if (!level.is_array()) return "(null array)";
  std::string text = "[";
  for (size_t i = 0; i < level.size(); ++i) {
    if (i) text += ", ";
    const TrxJson& item = level[i];
    if (item.is_array())
      text += DescribeArray(item, elementType);
    else
      text += elementType == VT_VARIANT ? DescribeStructured(item) : DescribeBare(item, elementType);
  }
  return text + "]";
}

std::string DescribeStructured(const TrxJson& variant) {
  if (!variant.is_object()) return "(nothing)";
  const unsigned vt = variant["vt"].get<unsigned>();
  if (vt == VT_EMPTY) return "(empty)";
  if (vt == VT_NULL) return "(null)";
  const TrxJson value = variant.contains("value") ? variant["value"] : TrxJson();
  const unsigned type = vt & ~static_cast<unsigned>(VT_BYREF);
  if (type & VT_ARRAY) return DescribeArray(value, type & ~static_cast<unsigned>(VT_ARRAY));
  if (type == VT_VARIANT) return DescribeStructured(value);
  return DescribeBare(value, type);
}

// The contents document as an outline: one line per object, its
// properties below it.
void WriteOutline(const CNVTRXXmlNode& object, int depth, std::ostream& out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  TrxString className, repositoryName, active;
  object.GetAttribute(OLESTR("ClassName"), className);
  object.GetAttribute(OLESTR("RepositoryName"), repositoryName);
  out << indent << TrxNarrow(className) << '[' << TrxNarrow(repositoryName) << ']';
  if (object.GetAttribute(OLESTR("ActiveElement"), active) && active == OLESTR("true")) out << "   (active)";
  out << '\n';
  for (CNVTRXXmlNode child = object.GetFirstChild(); child; child = child.GetNextSibling()) {
    if (child.GetType() != TRXXML_ELEMENT) continue;
    if (child.GetName() == OLESTR("Properties")) {
      for (CNVTRXXmlNode property = child.GetFirstChild(); property; property = property.GetNextSibling()) {
        if (property.GetType() != TRXXML_ELEMENT) continue;
        TrxString name, value;
        property.GetAttribute(OLESTR("Name"), name);
        property.GetAttribute(OLESTR("Value"), value);
        out << indent << "    " << TrxNarrow(name) << " = \"" << TrxNarrow(value) << "\"\n";
      }
    } else if (child.GetName() == OLESTR("Obj")) {
      WriteOutline(child, depth + 1, out);
    }
  }
}

}  // namespace

std::string TrxCatalogueTypeName(const std::string& number) {
  static const std::map<std::string, std::string> kNames = {
      {"0", "nothing"}, {"2", "Integer"}, {"3", "Integer"}, {"8", "String"}, {"11", "Boolean"},
      {"12", "Variant"}, {"8192", "Array"}, {"8204", "Array"}};
  const auto found = kNames.find(number);
  return found == kNames.end() ? "type " + number : found->second;
}

std::string TrxDescribeVariant(const VARIANT& value) { return DescribeStructured(TrxVariantToJson(value)); }

std::string TrxDescribeEvent(const std::string& line) {
  const TrxJson event = TrxJson::parse(line, nullptr, false);
  if (event.is_discarded() || !event.is_object() || !event.contains("event") || !event["event"].is_string())
    return line;
  auto text = [&](const char* name) {
    if (!event.contains(name) || !event[name].is_string()) return std::string("(null)");
    return event[name].get<std::string>();
  };
  std::string described = event["event"].get<std::string>() + "  " + text("eventName");
  if (event.contains("pArgs")) described += "  " + DescribeStructured(event["pArgs"]);
  return described + "  on " + text("trxODS");
}

// ---- commands ------------------------------------------------------------------------------

int TrxServe(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(arguments, {"app", "max-line", "idle-pause"}, {"detached", "trace"}, line, error))
    return UsageError(err, "serve", error);
  if (line.help) {
    out << kServeHelp;
    return kTrxExitOk;
  }
  if (!line.words.empty()) return UsageError(err, "serve", "unexpected argument \"" + line.words.front() + "\"");
  size_t maxLine = kTrxDefaultMaxLineBytes;
  if (line.values.count("max-line") && !ParseByteCount(line.values.at("max-line"), maxLine))
    return UsageError(err, "serve", "--max-line must be a number of bytes from 1 up");
  std::optional<TrxEnvironmentSetting> idlePause;
  if (line.values.count("idle-pause")) {
    const std::string& pause = line.values.at("idle-pause");
    if (pause.empty() || pause.size() > 5 || pause.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(pause) > CNVTRXServiceState::kMaxIdlePause)
      return UsageError(err, "serve", "--idle-pause must be a number of milliseconds from 0 to 60000");
    // The service reads it when it starts: this process's own service on
    // Linux; the server COM starts from here (and the client process) on
    // Windows.
    idlePause.emplace(OLESTR("TRXIDLEPAUSE"), TrxWiden(pause));
  }
  const bool trace = line.flags.count("trace") > 0;
  std::optional<TrxEnvironmentSetting> verbose;
  if (trace) verbose.emplace(OLESTR("TRXLOGLEVEL"), OLESTR("1"));  // every record, not only errors
  TrxSessionOptions options;
  if (line.values.count("app")) options.appFile = line.values.at("app");
  options.detached = line.flags.count("detached") > 0;
#ifdef _WIN32
  // A COM client of the registered server, with the client in a process of
  // its own.
  options.clientProcess = true;
  TrxKeepStandardHandles();
#endif
  TrxSession session;
  if (!session.Open(options, error)) {
    err << "trx serve: " << error << "\n";
    return kTrxExitFailed;
  }
  if (FAILED(session.GetAttachStatus()))
    err << "trx serve: the client did not attach (status " << HexStatus(session.GetAttachStatus())
        << "); client.attach tries again\n";
  TrxTraceTail traceTail;
  if (trace) {
    const std::string file = TrxTraceTail::NewFileName();
    TrxBstr name(TrxWiden(file)), message;
    LONG code = 0;
    session.Facade()->StartLogging(name.Get(), VARIANT_FALSE, message.Put(), &code);
    if (code == 0)
      traceTail.Start(file, err);
    else
      err << "trx serve: no trace: " << Narrow(message) << " (code " << code << ")\n";
  }
  TrxBridge bridge(session);
  bridge.SetMaxLineBytes(maxLine);
#ifdef _WIN32
  (void)in;
  TrxRunPumpedBridge(out, bridge);
#else
  TrxRunBridge(in, out, bridge);
#endif
  return kTrxExitOk;
}

int TrxTree(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(arguments, {"app", "mode", "ods"}, {"xml"}, line, error)) return UsageError(err, "tree", error);
  if (line.help) {
    out << kTreeHelp;
    return kTrxExitOk;
  }
  if (!line.words.empty()) return UsageError(err, "tree", "unexpected argument \"" + line.words.front() + "\"");
  LONG mode = 1;
  if (line.values.count("mode")) {
    const std::string& text = line.values.at("mode");
    if (text != "0" && text != "1" && text != "5") return UsageError(err, "tree", "--mode must be 0, 1 or 5");
    mode = std::stoi(text);
  }
  TrxString descriptor;
  if (line.values.count("ods") && !TrxDescriptorFromObject(line.values.at("ods"), descriptor, error))
    return UsageError(err, "tree", "--ods: " + error);

  TrxSession session;
  if (!OpenSession(session, line, "tree", err)) return kTrxExitFailed;
  INVTRXAutomation* facade = session.Facade();
  if (!line.values.count("ods")) {
    TrxBstr root, message;
    LONG code = 0;
    facade->GetRootObject(root.Put(), message.Put(), &code);
    descriptor = root.ToString();
  }
  TrxBstr ods(TrxStringView{descriptor}), contents, message;
  LONG code = 0;
  facade->GetObjectContents(mode, ods.Get(), contents.Put(), message.Put(), &code);
  if (code != 0) {
    err << "trx tree: errCode " << code << ": " << Narrow(message) << "\n";
    return kTrxExitFailed;
  }
  if (line.flags.count("xml")) {
    out << Narrow(contents);
    return kTrxExitOk;
  }
  CNVTRXXmlDocument document;
  if (!document.LoadXml(contents.View())) {
    err << "trx tree: the contents document does not load as XML; --xml prints it as it is\n";
    return kTrxExitFailed;
  }
  const CNVTRXXmlNode top = document.GetDocumentElement();
  for (CNVTRXXmlNode child = top.GetFirstChild(); child; child = child.GetNextSibling())
    if (child.GetType() == TRXXML_ELEMENT && child.GetName() == OLESTR("Obj")) WriteOutline(child, 0, out);
  return kTrxExitOk;
}

std::string Attribute(const CNVTRXXmlNode& node, const OLECHAR* name) {
  TrxString value;
  node.GetAttribute(name, value);
  return TrxNarrow(value);
}

// The help lines after the first (which repeats the signature), indented.
void WriteHelp(const CNVTRXXmlNode& member, std::ostream& out) {
  std::vector<CNVTRXXmlNode> lines;
  member.SelectNodes(OLESTR("HelpString/StringData"), lines);
  for (size_t i = 1; i < lines.size(); ++i) {
    const CNVTRXXmlNode text = lines[i].GetFirstChild();
    out << "      " << (text ? TrxNarrow(text.GetValue()) : std::string()) << "\n";
  }
}

// One class of the catalogue, as a person reads it: exact name first, then
// any letter case.
int WriteClass(const std::vector<CNVTRXXmlNode>& classes, const std::string& wanted, std::ostream& out,
               std::ostream& err) {
  const CNVTRXXmlNode* chosen = nullptr;
  std::string names;
  for (int pass = 0; pass < 2 && !chosen; ++pass) {
    for (const CNVTRXXmlNode& info : classes) {
      CNVTRXXmlNode data;
      info.SelectSingleNode(OLESTR("ObjectData"), data);
      const std::string name = data ? Attribute(data, OLESTR("NorvikClassName")) : std::string();
      if (pass == 0) names += (names.empty() ? "" : ", ") + name;
      if (pass == 0 ? name == wanted : TrxEqualsNoCase(TrxWiden(name), TrxWiden(wanted))) {
        chosen = &info;
        break;
      }
    }
  }
  if (!chosen) {
    err << "trx defs: the catalogue has no class \"" << wanted << "\" (classes: " << names << ")\n";
    return kTrxExitFailed;
  }
  CNVTRXXmlNode data;
  chosen->SelectSingleNode(OLESTR("ObjectData"), data);
  out << Attribute(data, OLESTR("NorvikClassName")) << " (tabular data: " << Attribute(data, OLESTR("SupportsTabularData"))
      << ", text data: " << Attribute(data, OLESTR("SupportsTextData")) << ")\n";
  std::vector<CNVTRXXmlNode> methods, properties;
  chosen->SelectNodes(OLESTR("Methods/MethodData"), methods);
  chosen->SelectNodes(OLESTR("Properties/PropertyData"), properties);
  out << "\nMethods (" << methods.size() << ")\n";
  for (const CNVTRXXmlNode& method : methods) {
    std::vector<CNVTRXXmlNode> params;
    method.SelectNodes(OLESTR("Params/ParamData"), params);
    out << "  " << Attribute(method, OLESTR("Name")) << "(";
    for (size_t i = 0; i < params.size(); ++i)
      out << (i ? ", " : "") << Attribute(params[i], OLESTR("Name")) << ": "
          << TrxCatalogueTypeName(Attribute(params[i], OLESTR("VariantType")));
    out << ") -> " << TrxCatalogueTypeName(Attribute(method, OLESTR("ReturnValVariantType"))) << "\n";
    WriteHelp(method, out);
  }
  out << "\nProperties (" << properties.size() << ")\n";
  for (const CNVTRXXmlNode& property : properties) {
    out << "  " << Attribute(property, OLESTR("Name")) << ": "
        << TrxCatalogueTypeName(Attribute(property, OLESTR("VariantType"))) << "\n";
    WriteHelp(property, out);
  }
  return kTrxExitOk;
}

int TrxDefs(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(arguments, {"version", "class"}, {"summary"}, line, error))
    return UsageError(err, "defs", error);
  if (line.flags.count("summary") && line.values.count("class"))
    return UsageError(err, "defs", "give either --summary or --class");
  if (line.help) {
    out << kDefsHelp;
    return kTrxExitOk;
  }
  if (!line.words.empty()) return UsageError(err, "defs", "unexpected argument \"" + line.words.front() + "\"");
  TrxSession session;
  if (!OpenSession(session, line, "defs", err, false)) return kTrxExitFailed;
  TrxBstr version, definitions, message;
  if (line.values.count("version")) version = TrxBstr(TrxStringView(TrxWiden(line.values.at("version"))));
  LONG code = 0;
  session.Facade()->GetObjectDefinitions(version.Get(), definitions.Put(), message.Put(), &code);
  if (definitions.IsNull()) {
    (code < 0 ? err : out) << "trx defs: " << Narrow(message) << " (code " << code << ")\n";
    return code < 0 ? kTrxExitFailed : kTrxExitOk;
  }
  if (!line.flags.count("summary") && !line.values.count("class")) {
    out << Narrow(definitions);
    if (definitions.Length() && definitions.View().back() != '\n') out << '\n';
    return kTrxExitOk;
  }
  CNVTRXXmlDocument document;
  if (!document.LoadXml(definitions.View())) {
    err << "trx defs: the definitions document does not load as XML\n";
    return kTrxExitFailed;
  }
  TrxString catalogueVersion;
  document.GetDocumentElement().GetAttribute(OLESTR("Version"), catalogueVersion);
  std::vector<CNVTRXXmlNode> classes;
  document.SelectNodes(OLESTR("/*/ObjectInfo"), classes);
  if (line.values.count("class")) return WriteClass(classes, line.values.at("class"), out, err);
  out << "Object definitions version " << TrxNarrow(catalogueVersion) << ": " << classes.size() << " classes\n";
  for (const CNVTRXXmlNode& info : classes) {
    CNVTRXXmlNode data;
    std::vector<CNVTRXXmlNode> methods, properties;
    info.SelectSingleNode(OLESTR("ObjectData"), data);
    info.SelectNodes(OLESTR("Methods/MethodData"), methods);
    info.SelectNodes(OLESTR("Properties/PropertyData"), properties);
    TrxString name;
    if (data) data.GetAttribute(OLESTR("NorvikClassName"), name);
    out << "  " << std::left << std::setw(30) << TrxNarrow(name) << std::right << std::setw(3) << methods.size()
        << " methods " << std::setw(3) << properties.size() << " properties\n";
  }
  return kTrxExitOk;
}

int TrxCall(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(arguments, {"app", "json", "output"}, {}, line, error)) return UsageError(err, "call", error);
  if (line.help) {
    out << kCallHelp;
    return kTrxExitOk;
  }
  if (line.words.size() < 2) return UsageError(err, "call", "OBJECT and METHOD are needed");
  const bool json = line.values.count("json") > 0;
  if (json && line.words.size() > 2)
    return UsageError(err, "call", "give arguments either as ARG words or with --json");
  const std::string output = line.values.count("output") ? line.values.at("output") : "text";
  if (output != "text" && output != "json") return UsageError(err, "call", "--output must be text or json");
  TrxString descriptor;
  if (!TrxDescriptorFromObject(line.words[0], descriptor, error)) return UsageError(err, "call", "OBJECT: " + error);

  TrxVariantStore store;
  TrxVariant args;
  if (json) {
    TrxJson value;
    if (!TrxParseJson(line.values.at("json"), value, error)) return UsageError(err, "call", "--json: " + error);
    if (!TrxJsonToVariant(value, args, store, error)) return UsageError(err, "call", "--json: " + error);
  } else {
    TrxJson values = TrxJson::array();
    for (size_t i = 2; i < line.words.size(); ++i) {
      const std::string& word = line.words[i];
      size_t used = 0;
      long long number = 0;
      bool integer = false;
      try {
        number = std::stoll(word, &used, 10);
        integer = used == word.size() && number >= INT32_MIN && number <= INT32_MAX &&
                  word.find_first_of(" \t") == std::string::npos;
      } catch (const std::exception&) {
        integer = false;
      }
      if (integer)
        values.push_back(number);
      else
        values.push_back(word);
    }
    if (values.size() == 1) {
      TrxJsonToVariant(values[0], args, store, error);
    } else if (values.size() > 1) {
      TrxJsonToVariant(values, args, store, error);
    }
  }

  TrxSession session;
  if (!OpenSession(session, line, "call", err)) return kTrxExitFailed;
  TrxBstr ods(TrxStringView{descriptor}), method(TrxStringView(TrxWiden(line.words[1]))), message;
  TrxVariant result;
  LONG code = 0;
  const HRESULT status = session.Facade()->Submit(ods.Get(), method.Get(), args, &result, message.Put(), &code);
  if (output == "json") {
    // The fields and VARIANT form of a bridge reply to Submit, on one line.
    out << TrxJson{{"hr", status}, {"errCode", code}, {"errMsg", TrxBstrToJson(message.Get())},
                   {"retVal", TrxVariantToJson(result)}}
               .dump()
        << "\n";
  } else {
      if (status != S_OK) out << "hr:      " << HexStatus(status) << " (" << status << ")\n";
    out << "retVal:  " << TrxDescribeVariant(result) << "\n";
    out << "errCode: " << code << "\n";
    out << "errMsg:  " << BstrText(message) << "\n";
  }
  return code == 0 && status == S_OK ? kTrxExitOk : kTrxExitFailed;
}

int TrxDemo(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(arguments, {"app"}, {}, line, error)) return UsageError(err, "demo", error);
  if (line.help) {
    out << kDemoHelp;
    return kTrxExitOk;
  }
  if (!line.words.empty()) return UsageError(err, "demo", "unexpected argument \"" + line.words.front() + "\"");
  TrxSession session;
  if (!OpenSession(session, line, "demo", err)) return kTrxExitFailed;
  return TrxRunDemo(session, out);
}

int TrxRecord(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(arguments, {"app", "emit"}, {"text"}, line, error)) return UsageError(err, "record", error);
  if (line.help) {
    out << kRecordHelp;
    return kTrxExitOk;
  }
  TrxRecordOutput output = line.flags.count("text") ? TrxRecordOutput::text : TrxRecordOutput::events;
  if (line.values.count("emit")) {
    const std::string& format = line.values.at("emit");
    if (format != "python" && format != "jsonl") return UsageError(err, "record", "--emit must be python or jsonl");
    if (output == TrxRecordOutput::text) return UsageError(err, "record", "--text and --emit do not go together");
    output = format == "python" ? TrxRecordOutput::python : TrxRecordOutput::jsonl;
  }
  // "-" names standard input; it is a word, not an option.
  if (line.words.empty()) return UsageError(err, "record", "ACTIONS is needed (a file, or - for standard input)");
  if (line.words.size() > 1) return UsageError(err, "record", "unexpected argument \"" + line.words[1] + "\"");
  const std::string& source = line.words.front();
  std::ifstream file;
  if (source != "-") {
    file.open(source, std::ios::binary);
    if (!file) {
      err << "trx record: cannot read the actions file " << source << "\n";
      return kTrxExitFailed;
    }
  }
  TrxSession session;
  if (!OpenSession(session, line, "record", err)) return kTrxExitFailed;
  return TrxRunRecord(session, source == "-" ? in : file, source == "-" ? "(standard input)" : source, output, out,
                      err);
}

int TrxMain(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
  if (arguments.empty()) {
    err << kMainHelp;
    return kTrxExitUsage;
  }
  const std::string& command = arguments.front();
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (command == "--help" || command == "-h" || command == "help") {
    if (command == "help" && !rest.empty()) return TrxMain({rest.front(), "--help"}, in, out, err);
    out << kMainHelp;
    return kTrxExitOk;
  }
  if (command == "--version" || command == "version") {
    out << "trx " << TRX_VERSION << "\n";
    return kTrxExitOk;
  }
  if (command == "serve") return TrxServe(rest, in, out, err);
  if (command == "tree") return TrxTree(rest, out, err);
  if (command == "defs") return TrxDefs(rest, out, err);
  if (command == "call") return TrxCall(rest, out, err);
  if (command == "demo") return TrxDemo(rest, out, err);
  if (command == "record") return TrxRecord(rest, in, out, err);
#ifndef _WIN32
  if (command == "spy") return TrxSpy(rest, in, out, err);
#endif
#ifdef _WIN32
  if (command == "client") return TrxClient(rest, out, err);
#endif
  err << "trx: unknown command \"" << command
      << "\" (commands: serve, tree, defs, call, demo, record, spy; see trx --help)\n";
  return kTrxExitUsage;
}
