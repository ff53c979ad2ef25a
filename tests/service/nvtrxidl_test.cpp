// The type library source service/nvtrx.idl is the one description of the
// service's interfaces: the C++ declarations (service/nvtrxinterfaces.h,
// model/nvtrxhost.h, read as text), the GUID constants and the late-binding
// table of service/nvtrxdispatch.cpp must say the same. A small reader of
// just the IDL this project writes compares them, and the last group proves
// that the comparison notices a change on either side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

#include "service/nvtrxdispatch.h"
#include "service/nvtrxinterfaces.h"

namespace {

std::string ReadSource(const std::string& relative) {
  std::ifstream file(std::string(TRX_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The text without // and /* */ comments (string literals kept as they are).
std::string StripComments(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      const size_t end = text.find('"', i + 1);
      out.append(text, i, end == std::string::npos ? std::string::npos : end - i + 1);
      if (end == std::string::npos) break;
      i = end;
    } else if (text.compare(i, 2, "//") == 0) {
      i = text.find('\n', i);
      if (i == std::string::npos) break;
      out += '\n';
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) break;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

// Splits at commas outside () and [].
std::vector<std::string> SplitTopLevel(const std::string& text) {
  std::vector<std::string> pieces;
  std::string current;
  int depth = 0;
  for (char c : text) {
    if (c == '(' || c == '[') ++depth;
    if (c == ')' || c == ']') --depth;
    if (c == ',' && depth == 0) {
      pieces.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!Trim(current).empty()) pieces.push_back(Trim(current));
  return pieces;
}

// "BSTR *name" or "BSTR* name": the type with its stars attached, and the name.
std::pair<std::string, std::string> TypeAndName(const std::string& declaration) {
  std::string compact;
  for (char c : declaration) compact += c == '\n' || c == '\t' ? ' ' : c;
  const size_t nameStart = compact.find_last_of(" *") + 1;
  std::string type;
  for (char c : compact.substr(0, nameStart))
    if (c != ' ') type += c;
  return {type, compact.substr(nameStart)};
}

// The value of one attribute in an attribute list ("uuid(...)" gives "...").
std::string Attribute(const std::string& attributes, const std::string& name) {
  std::smatch match;
  if (std::regex_search(attributes, match, std::regex("\\b" + name + "\\s*\\(\\s*([^)]*?)\\s*\\)"))) return match[1];
  return "";
}
bool HasFlag(const std::string& attributes, const std::string& flag) {
  return std::regex_search(attributes, std::regex("\\b" + flag + "\\b"));
}

struct Param {
  std::string type, name;  // type as C++ writes it: "LONG*", "BSTR"
  bool in = false, out = false, retval = false;
};
struct Method {
  std::string name;
  int id = -1;
  std::vector<Param> params;
};
struct Interface {
  std::string uuid;
  std::vector<Method> methods;
};
using Enum = std::vector<std::pair<std::string, long>>;

struct Idl {
  std::string libraryUuid, libraryVersion, libraryHelp;
  std::map<std::string, Interface> interfaces;  // interfaces, dispinterfaces and coclasses by name
  std::map<std::string, Enum> enums;
};

// IDL's base types under their C++ names.
std::string CppType(std::string type) {
  size_t stars = type.find('*');
  std::string base = type.substr(0, stars), pointer = stars == std::string::npos ? "" : type.substr(stars);
  if (base == "long") base = "LONG";
  if (base == "short") base = "SHORT";
  return base + pointer;
}

std::vector<Method> ReadIdlMethods(const std::string& body) {
  std::vector<Method> methods;
  static const std::regex kMethod(R"((?:\[([^\]]*)\]\s*)?(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;)");
  for (std::sregex_iterator it(body.begin(), body.end(), kMethod), end; it != end; ++it) {
    Method method;
    method.name = (*it)[3];
    const std::string id = Attribute((*it)[1], "id");
    if (!id.empty()) method.id = std::stoi(id);
    for (const std::string& piece : SplitTopLevel((*it)[4])) {
      std::smatch groups;
      const std::string text = piece;
      if (!std::regex_match(text, groups, std::regex(R"(\s*\[([^\]]*)\]\s*([\s\S]*))"))) continue;
      Param param;
      param.in = HasFlag(groups[1], "in");
      param.out = HasFlag(groups[1], "out");
      param.retval = HasFlag(groups[1], "retval");
      auto [type, name] = TypeAndName(groups[2]);
      param.type = CppType(type);
      param.name = name;
      method.params.push_back(param);
    }
    methods.push_back(method);
  }
  return methods;
}

Enum ReadEnumBody(const std::string& body) {
  Enum entries;
  for (const std::string& entry : SplitTopLevel(body)) {
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) continue;
    entries.emplace_back(Trim(entry.substr(0, equals)), std::stol(Trim(entry.substr(equals + 1))));
  }
  return entries;
}

Idl ReadIdl(const std::string& source) {
  const std::string text = StripComments(source);
  Idl idl;
  std::smatch match;
  if (std::regex_search(text, match, std::regex(R"(\[([^\]]*)\]\s*library\s+trxcomLib\b)"))) {
    idl.libraryUuid = Attribute(match[1], "uuid");
    idl.libraryVersion = Attribute(match[1], "version");
    std::smatch help;
    const std::string attributes = match[1];
    if (std::regex_search(attributes, help, std::regex(R"(helpstring\s*\(\s*"([^"]*)\")"))) idl.libraryHelp = help[1];
  }
  static const std::regex kEnum(R"(typedef\s*(?:\[[^\]]*\]\s*)?enum\s+(\w+)\s*\{([^}]*)\})");
  for (std::sregex_iterator it(text.begin(), text.end(), kEnum), end; it != end; ++it)
    idl.enums[(*it)[1]] = ReadEnumBody((*it)[2]);
  static const std::regex kInterface(
      R"(\[([^\]]*)\]\s*(?:interface|dispinterface|coclass)\s+(\w+)\s*(?::\s*\w+\s*)?\{([^}]*)\})");
  for (std::sregex_iterator it(text.begin(), text.end(), kInterface), end; it != end; ++it) {
    Interface& item = idl.interfaces[(*it)[2]];
    item.uuid = Attribute((*it)[1], "uuid");
    item.methods = ReadIdlMethods((*it)[3]);
  }
  return idl;
}

// The methods of `struct name : ...` in a C++ header, in declaration order.
std::vector<Method> ReadCppMethods(const std::string& source, const std::string& name) {
  const std::string text = StripComments(source);
  std::smatch match;
  if (!std::regex_search(text, match, std::regex("struct\\s+" + name + "\\s*:[^{]*\\{"))) return {};
  const size_t begin = match.position(0) + match.length(0);
  const std::string body = text.substr(begin, text.find("\n};", begin) - begin);
  std::vector<Method> methods;
  static const std::regex kMethod(R"(virtual\s+HRESULT\s+STDMETHODCALLTYPE\s+(\w+)\s*\(([^)]*)\))");
  for (std::sregex_iterator it(body.begin(), body.end(), kMethod), end; it != end; ++it) {
    Method method;
    method.name = (*it)[1];
    for (const std::string& piece : SplitTopLevel((*it)[2])) {
      Param param;
      std::tie(param.type, param.name) = TypeAndName(piece);
      method.params.push_back(param);
    }
    methods.push_back(method);
  }
  return methods;
}

// The entries of `typedef enum name { ... }` in a C++ header.
Enum ReadCppEnum(const std::string& source, const std::string& name) {
  const std::string text = StripComments(source);
  std::smatch match;
  if (!std::regex_search(text, match, std::regex("typedef\\s+enum\\s+" + name + "\\s*\\{([^}]*)\\}"))) return {};
  return ReadEnumBody(match[1]);
}

// ---- comparisons: each gives one readable message per difference ----------------------------

using Messages = std::vector<std::string>;

std::string Join(const Messages& messages) {
  std::string text;
  for (const std::string& message : messages) text += "\n  " + message;
  return text;
}

Messages CompareMethods(const std::string& interfaceName, const Interface* idl, const std::vector<Method>& cpp,
                        bool dispatchIdsArePositions) {
  Messages messages;
  if (!idl) return {interfaceName + ": not found in the IDL"};
  if (cpp.empty()) messages.push_back(interfaceName + ": no methods found in the C++ header");
  for (size_t i = 0; i < std::max(idl->methods.size(), cpp.size()); ++i) {
    const std::string where = interfaceName + " method " + std::to_string(i + 1) + ": ";
    if (i >= idl->methods.size()) {
      messages.push_back(where + "C++ declares " + cpp[i].name + ", the IDL has no such method");
      continue;
    }
    const Method& a = idl->methods[i];
    if (i >= cpp.size()) {
      messages.push_back(where + "the IDL declares " + a.name + ", C++ has no such method");
      continue;
    }
    const Method& b = cpp[i];
    if (a.name != b.name) messages.push_back(where + "IDL " + a.name + ", C++ " + b.name);
    if (dispatchIdsArePositions && a.id != static_cast<int>(i + 1))
      messages.push_back(where + a.name + " has id(" + std::to_string(a.id) + "), expected id(" +
                         std::to_string(i + 1) + ")");
    if (a.params.size() != b.params.size()) {
      messages.push_back(where + a.name + " has " + std::to_string(a.params.size()) + " parameters in the IDL, " +
                         std::to_string(b.params.size()) + " in C++");
      continue;
    }
    for (size_t p = 0; p < a.params.size(); ++p) {
      if (a.params[p].name != b.params[p].name || a.params[p].type != b.params[p].type)
        messages.push_back(where + a.name + " parameter " + std::to_string(p + 1) + ": IDL \"" + a.params[p].type +
                           " " + a.params[p].name + "\", C++ \"" + b.params[p].type + " " + b.params[p].name + "\"");
    }
  }
  return messages;
}

TrxDispatchParam ExpectedDispatchParam(const Param& param) {
  std::string base = param.type;
  if (param.out && !base.empty() && base.back() == '*') base.pop_back();
  VARTYPE type = VT_EMPTY;
  if (base == "LONG") type = VT_I4;
  if (base == "BSTR") type = VT_BSTR;
  if (base == "VARIANT_BOOL") type = VT_BOOL;
  if (base == "VARIANT") type = VT_VARIANT;
  const TrxParamDirection direction =
      param.retval ? TrxParamDirection::OutRetval : (param.out ? TrxParamDirection::Out : TrxParamDirection::In);
  return {nullptr, type, direction};
}

const char* DirectionName(TrxParamDirection direction) {
  switch (direction) {
    case TrxParamDirection::In:
      return "[in]";
    case TrxParamDirection::Out:
      return "[out]";
    default:
      return "[out, retval]";
  }
}

Messages CompareDispatchTable(const Interface* idl, const TrxDispatchMethod* table, UINT count) {
  if (!idl) return {"INVTRXAutomation: not found in the IDL"};
  Messages messages;
  if (idl->methods.size() != count)
    messages.push_back("dispatch table: " + std::to_string(count) + " methods, the IDL has " +
                       std::to_string(idl->methods.size()));
  for (size_t i = 0; i < std::min<size_t>(count, idl->methods.size()); ++i) {
    const Method& a = idl->methods[i];
    const TrxDispatchMethod& b = table[i];
    const std::string name = TrxNarrow(TrxView(b.name));
    const std::string where = "dispatch table entry " + std::to_string(i + 1) + " (" + name + "): ";
    if (a.name != name) messages.push_back(where + "the IDL has " + a.name + " here");
    if (a.id != b.dispid)
      messages.push_back(where + "dispid " + std::to_string(b.dispid) + ", IDL id(" + std::to_string(a.id) + ")");
    if (a.params.size() != b.paramCount) {
      messages.push_back(where + std::to_string(b.paramCount) + " parameters, the IDL has " +
                         std::to_string(a.params.size()));
      continue;
    }
    for (size_t p = 0; p < a.params.size(); ++p) {
      const TrxDispatchParam expected = ExpectedDispatchParam(a.params[p]);
      const TrxDispatchParam& actual = b.params[p];
      const std::string actualName = TrxNarrow(TrxView(actual.name));
      const std::string at = where + "parameter " + std::to_string(p + 1) + " ";
      if (actualName != a.params[p].name)
        messages.push_back(at + "is named " + actualName + ", the IDL names it " + a.params[p].name);
      if (actual.direction != expected.direction)
        messages.push_back(at + actualName + " is " + DirectionName(actual.direction) + ", the IDL has " +
                           DirectionName(expected.direction));
      if (actual.type != expected.type)
        messages.push_back(at + actualName + " has VARTYPE " + std::to_string(actual.type) + ", the IDL type " +
                           a.params[p].type + " means " + std::to_string(expected.type));
    }
  }
  return messages;
}

Messages CompareEnums(const std::string& name, const Enum& idl, const Enum& cpp) {
  Messages messages;
  if (idl.empty()) messages.push_back(name + ": not found in the IDL");
  if (cpp.empty()) messages.push_back(name + ": not found in the C++ header");
  if (idl.size() != cpp.size())
    messages.push_back(name + ": " + std::to_string(idl.size()) + " values in the IDL, " + std::to_string(cpp.size()) +
                       " in C++");
  for (size_t i = 0; i < std::min(idl.size(), cpp.size()); ++i)
    if (idl[i] != cpp[i])
      messages.push_back(name + " entry " + std::to_string(i + 1) + ": IDL " + idl[i].first + " = " +
                         std::to_string(idl[i].second) + ", C++ " + cpp[i].first + " = " +
                         std::to_string(cpp[i].second));
  return messages;
}

// A GUID as IDL writes it: upper-case hexadecimal without braces.
std::string IdlGuid(REFGUID guid) {
  OLECHAR text[CHARS_IN_GUID] = {};
  StringFromGUID2(guid, text, CHARS_IN_GUID);
  const std::string braced = TrxNarrow(TrxView(text));
  return braced.size() > 2 ? braced.substr(1, braced.size() - 2) : braced;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Every comparison of the IDL against the C++ side, for the given texts.
struct Sources {
  std::string idl, interfaces, host;
};

Sources ProjectSources() {
  return {ReadSource("service/nvtrx.idl"), ReadSource("service/nvtrxinterfaces.h"), ReadSource("model/nvtrxhost.h")};
}

const Interface* Find(const Idl& idl, const std::string& name) {
  auto it = idl.interfaces.find(name);
  return it == idl.interfaces.end() ? nullptr : &it->second;
}

Messages CheckInterfaces(const Sources& sources) {
  const Idl idl = ReadIdl(sources.idl);
  Messages messages;
  struct Case {
    const char* name;
    const std::string* header;
    bool dispatchIdsArePositions;
  };
  const Case cases[] = {{"INVTRXAutomation", &sources.interfaces, true},
                        {"INVTRX", &sources.interfaces, true},
                        {"INVAutomation", &sources.host, false},
                        {"INVPropertySet", &sources.host, false},
                        {"INVAppControl", &sources.host, false}};
  for (const Case& c : cases) {
    const Messages found =
        CompareMethods(c.name, Find(idl, c.name), ReadCppMethods(*c.header, c.name), c.dispatchIdsArePositions);
    messages.insert(messages.end(), found.begin(), found.end());
  }
  return messages;
}

Messages CheckDispatchTable(const Sources& sources) {
  const Idl idl = ReadIdl(sources.idl);
  UINT count = 0;
  const TrxDispatchMethod* table = TrxAutomationMethods(&count);
  return CompareDispatchTable(Find(idl, "INVTRXAutomation"), table, count);
}

Messages CheckEnums(const Sources& sources) {
  const Idl idl = ReadIdl(sources.idl);
  Messages messages;
  for (const char* name : {"AUTO_OBJECTTYPE", "AUTO_REQID"}) {
    auto it = idl.enums.find(name);
    const Messages found =
        CompareEnums(name, it == idl.enums.end() ? Enum() : it->second, ReadCppEnum(sources.host, name));
    messages.insert(messages.end(), found.begin(), found.end());
  }
  return messages;
}

Messages CheckGuidsAndLibrary(const Sources& sources) {
  const Idl idl = ReadIdl(sources.idl);
  Messages messages;
  const std::pair<const char*, const GUID*> guids[] = {
      {"INVTRXAutomation", &IID_INVTRXAutomation}, {"INVTRX", &IID_INVTRX},
      {"_INVTRXEvents", &DIID__INVTRXEvents},      {"CNVCoTRX", &CLSID_CNVCoTRX},
      {"INVAutomation", &IID_INVAutomation},       {"INVPropertySet", &IID_INVPropertySet},
      {"INVAppControl", &IID_INVAppControl}};
  for (const auto& [name, guid] : guids) {
    const Interface* item = Find(idl, name);
    const std::string declared = item ? Upper(item->uuid) : "(missing)";
    if (declared != IdlGuid(*guid))
      messages.push_back(std::string(name) + ": IDL uuid " + declared + ", C++ " + IdlGuid(*guid));
  }
  if (Upper(idl.libraryUuid) != IdlGuid(LIBID_trxcomLib))
    messages.push_back("trxcomLib: IDL uuid " + idl.libraryUuid + ", LIBID_trxcomLib " + IdlGuid(LIBID_trxcomLib));
  if (idl.libraryVersion != "1.0") messages.push_back("trxcomLib: version " + idl.libraryVersion + ", expected 1.0");
  if (idl.libraryHelp != "trxcom 1.0 Type Library")
    messages.push_back("trxcomLib: helpstring \"" + idl.libraryHelp + "\", expected \"trxcom 1.0 Type Library\"");
  const Interface* events = Find(idl, "_INVTRXEvents");
  if (!events || events->methods.size() != 1 || events->methods[0].name != "Record" ||
      events->methods[0].id != DISPID_INVTRXEVENTS_RECORD)
    messages.push_back("_INVTRXEvents: expected the one method Record with id DISPID_INVTRXEVENTS_RECORD");
  return messages;
}

// ---- the project's files --------------------------------------------------------------------

TEST(TypeLibrarySource, TheReaderFindsWhatTheFileDeclares) {
  const Idl idl = ReadIdl(ReadSource("service/nvtrx.idl"));
  ASSERT_FALSE(idl.libraryUuid.empty()) << "service/nvtrx.idl not found or not read under " << TRX_SOURCE_DIR;
  const Interface* automation = Find(idl, "INVTRXAutomation");
  ASSERT_NE(automation, nullptr);
  ASSERT_EQ(automation->methods.size(), 11u);
  const Method& submit = automation->methods[10];
  EXPECT_EQ(submit.name, "Submit");
  EXPECT_EQ(submit.id, 11);
  ASSERT_EQ(submit.params.size(), 6u);
  EXPECT_TRUE(submit.params[2].in && !submit.params[2].out);
  EXPECT_EQ(submit.params[2].type, "VARIANT");
  EXPECT_TRUE(submit.params[5].out && submit.params[5].retval);
  EXPECT_EQ(submit.params[5].type, "LONG*");
  EXPECT_EQ(idl.enums.at("AUTO_REQID").size(), 130u);
  ASSERT_NE(Find(idl, "INVPropertySet"), nullptr);
  EXPECT_EQ(Find(idl, "INVPropertySet")->methods.size(), 23u);
}

TEST(TypeLibrarySource, InterfacesDeclareTheSameMethodsAndParametersAsTheCppHeaders) {
  const Messages messages = CheckInterfaces(ProjectSources());
  EXPECT_TRUE(messages.empty()) << Join(messages);
}

TEST(TypeLibrarySource, TheLateBindingTableMatchesINVTRXAutomation) {
  const Messages messages = CheckDispatchTable(ProjectSources());
  EXPECT_TRUE(messages.empty()) << Join(messages);
}

TEST(TypeLibrarySource, EnumerationsHaveTheValuesOfTheHostHeader) {
  const Messages messages = CheckEnums(ProjectSources());
  EXPECT_TRUE(messages.empty()) << Join(messages);
}

TEST(TypeLibrarySource, UuidsVersionAndHelpStringMatchTheConstants) {
  const Messages messages = CheckGuidsAndLibrary(ProjectSources());
  EXPECT_TRUE(messages.empty()) << Join(messages);
}

// ---- a change on either side is reported ----------------------------------------------------

TEST(TypeLibrarySource, EachCheckReportsADeliberateMismatch) {
  enum Side { kIdl, kInterfaces, kHost };
  struct Case {
    Side side;
    const char* from;
    const char* to;
    Messages (*check)(const Sources&);
    const char* expected;
  };
  const Case cases[] = {
      {kIdl, "[in] long timeOut", "[in] long timeout", &CheckDispatchTable,
       "dispatch table entry 1 (SetSubmitTimeout): parameter 1 is named timeOut, the IDL names it timeout"},
      {kIdl, "[id(10)]", "[id(12)]", &CheckDispatchTable,
       "dispatch table entry 10 (GetObjectDefinitions): dispid 10, IDL id(12)"},
      {kIdl, "[in] VARIANT Args, [out] VARIANT* retVal", "[in] VARIANT Args, [out, retval] VARIANT* retVal",
       &CheckDispatchTable, "dispatch table entry 11 (Submit): parameter 4 retVal is [out], the IDL has [out, retval]"},
      {kIdl, "[in] VARIANT_BOOL bAppend", "[in] long bAppend", &CheckDispatchTable,
       "dispatch table entry 2 (StartLogging): parameter 2 bAppend has VARTYPE 11, the IDL type LONG means 3"},
      {kIdl, "[id(2)] HRESULT OnUnload();", "[id(2)] HRESULT OnUnloaded();", &CheckInterfaces,
       "INVTRX method 2: IDL OnUnloaded, C++ OnUnload"},
      {kIdl, "[id(4)] HRESULT OnAppReady", "[id(5)] HRESULT OnAppReady", &CheckInterfaces,
       "INVTRX method 4: OnAppReady has id(5), expected id(4)"},
      {kHost, "GetLastErrorText(BSTR* pText)", "GetLastErrorText(BSTR* pMessage)", &CheckInterfaces,
       "INVAutomation method 8: GetLastErrorText parameter 1: IDL \"BSTR* pText\", C++ \"BSTR* pMessage\""},
      {kHost, "RemoveChild(LONG nIndex", "RemoveChild(SHORT nIndex", &CheckInterfaces,
       "INVPropertySet method 17: RemoveChild parameter 1: IDL \"LONG nIndex\", C++ \"SHORT nIndex\""},
      {kInterfaces, "  virtual HRESULT STDMETHODCALLTYPE StopLogging(BSTR* errMsg, LONG* errCode) = 0;\n", "",
       &CheckInterfaces, "INVTRXAutomation method 3: IDL StopLogging, C++ GetLastError"},
      {kHost, "OBJTYPE_MENU = 2,", "OBJTYPE_MENU = 20,", &CheckEnums,
       "AUTO_OBJECTTYPE entry 3: IDL OBJTYPE_MENU = 2, C++ OBJTYPE_MENU = 20"},
      {kIdl, "REQID_SHOWMESSAGEBOX = 129\n", "REQID_SHOWMESSAGEBOX = 129,\n        REQID_LAST = 130\n", &CheckEnums,
       "AUTO_REQID: 131 values in the IDL, 130 in C++"},
      {kIdl, "uuid(667F79F8-E27A-4AEF-9EB0-E724C17BA04A)", "uuid(667F79F8-E27A-4AEF-9EB0-E724C17BA04B)",
       &CheckGuidsAndLibrary,
       "INVTRX: IDL uuid 667F79F8-E27A-4AEF-9EB0-E724C17BA04B, C++ 667F79F8-E27A-4AEF-9EB0-E724C17BA04A"},
      {kIdl, "version(1.0)", "version(1.1)", &CheckGuidsAndLibrary, "trxcomLib: version 1.1, expected 1.0"},
  };
  const Sources project = ProjectSources();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    Sources changed = project;
    std::string& text = c.side == kIdl ? changed.idl : (c.side == kInterfaces ? changed.interfaces : changed.host);
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << "the case no longer applies to the file";
    text.replace(at, std::string(c.from).size(), c.to);
    const Messages messages = c.check(changed);
    EXPECT_NE(std::find(messages.begin(), messages.end(), c.expected), messages.end())
        << "expected: " << c.expected << "\ngot:" << Join(messages);
  }
}

}  // namespace
