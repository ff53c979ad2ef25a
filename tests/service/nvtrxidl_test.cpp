// The type library source service/nvtrx.idl is the one description of the
// service's interfaces: the C++ declarations (service/nvtrxinterfaces.h,
// model/nvtrxhost.h, read as text), the GUID constants and the late-binding
// table of service/nvtrxdispatch.cpp must say the same. Each side is read
// into lines such as "3 StopLogging(out BSTR* errMsg,retval LONG* errCode)"
// and the lines compared; the last test proves a change on either side shows.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "service/nvtrxdispatch.h"
#include "service/nvtrxinterfaces.h"

namespace {

using Lines = std::vector<std::string>;
struct Sources {
  std::string idl, interfaces, host;
};

std::string ReadSource(const std::string& relative) {
  std::ifstream file(std::string(TRX_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return std::regex_replace(std::regex_replace(text.str(), std::regex(R"(//[^\n]*)"), ""),
                            std::regex(R"(/\*[\s\S]*?\*/)"), "");
}
Sources ProjectSources() {
  return {ReadSource("service/nvtrx.idl"), ReadSource("service/nvtrxinterfaces.h"), ReadSource("model/nvtrxhost.h")};
}

void Append(Lines& to, const Lines& more) { to.insert(to.end(), more.begin(), more.end()); }

std::string Trim(const std::string& text) { return std::regex_replace(text, std::regex(R"(^\s+|\s+$)"), ""); }

// Splits at commas outside [].
Lines Split(const std::string& text) {
  Lines pieces(1);
  int depth = 0;
  for (char c : text) {
    depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    if (c == ',' && depth == 0)
      pieces.emplace_back();
    else
      pieces.back() += c;
  }
  Lines out;
  for (const std::string& piece : pieces)
    if (!Trim(piece).empty()) out.push_back(Trim(piece));
  return out;
}

// "[out, retval] long *x" as "retval LONG* x" (the direction only when asked).
std::string Param(const std::string& piece, bool direction) {
  std::smatch m;
  std::string attributes, declaration = piece;
  if (std::regex_match(piece, m, std::regex(R"(\[([^\]]*)\]\s*([\s\S]*))"))) attributes = m[1], declaration = m[2];
  declaration = std::regex_replace(declaration, std::regex(R"(\s*(\*+)\s*)"), "$1 ");
  declaration = std::regex_replace(Trim(declaration), std::regex(R"(\s+)"), " ");
  declaration = std::regex_replace(declaration, std::regex(R"(^long\b)"), "LONG");
  declaration = std::regex_replace(declaration, std::regex(R"(^short\b)"), "SHORT");
  if (!direction) return declaration;
  const char* way = std::regex_search(attributes, std::regex(R"(\bretval\b)")) ? "retval "
                    : std::regex_search(attributes, std::regex(R"(\bout\b)"))  ? "out "
                                                                               : "in ";
  return way + declaration;
}

std::string Signature(const std::string& name, const std::string& params, bool direction) {
  std::string text = name + "(";
  for (const std::string& piece : Split(params)) text += (text.back() == '(' ? "" : ",") + Param(piece, direction);
  return text + ")";
}

// The methods of an IDL interface, dispinterface or coclass, with "id " first
// when `ids` is set.
Lines IdlMethods(const std::string& idl, const std::string& name, bool ids, bool direction) {
  std::smatch body;
  if (!std::regex_search(idl, body,
                         std::regex("(?:interface|dispinterface)\\s+" + name + "\\s*(?::\\s*\\w+\\s*)?\\{([^}]*)\\}")))
    return {};
  const std::string text = body[1];
  static const std::regex kMethod(R"((?:\[([^\]]*)\]\s*)?(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;)");
  Lines methods;
  for (std::sregex_iterator it(text.begin(), text.end(), kMethod), end; it != end; ++it) {
    std::smatch id;
    const std::string attributes = (*it)[1];
    std::regex_search(attributes, id, std::regex(R"(\bid\s*\(\s*(\d+)\s*\))"));
    methods.push_back((ids ? std::string(id[1]) + " " : "") + Signature((*it)[3], (*it)[4], direction));
  }
  return methods;
}

Lines CppMethods(const std::string& header, const std::string& name) {
  std::smatch match;
  if (!std::regex_search(header, match, std::regex("struct\\s+" + name + "\\s*:[^{]*\\{"))) return {};
  const size_t begin = match.position(0) + match.length(0);
  const std::string body = header.substr(begin, header.find("\n};", begin) - begin);
  static const std::regex kMethod(R"(virtual\s+HRESULT\s+STDMETHODCALLTYPE\s+(\w+)\s*\(([^)]*)\))");
  Lines methods;
  for (std::sregex_iterator it(body.begin(), body.end(), kMethod), end; it != end; ++it)
    methods.push_back(Signature((*it)[1], (*it)[2], false));
  return methods;
}

// The INVTRXAutomation methods as the late-binding table describes them.
Lines TableMethods() {
  UINT count = 0;
  const TrxDispatchMethod* table = TrxAutomationMethods(&count);
  Lines methods;
  for (UINT i = 0; i < count; ++i) {
    std::string params;
    for (UINT p = 0; p < table[i].paramCount; ++p) {
      const TrxDispatchParam& param = table[i].params[p];
      const char* const ways[] = {"[in] ", "[out] ", "[retval] "};  // In, Out, OutRetval
      const std::map<VARTYPE, std::string> types = {
          {VT_I4, "LONG"}, {VT_BSTR, "BSTR"}, {VT_BOOL, "VARIANT_BOOL"}, {VT_VARIANT, "VARIANT"}};
      const bool in = param.direction == TrxParamDirection::In;
      params += std::string(p ? "," : "") + ways[static_cast<int>(param.direction)] +
                (types.count(param.type) ? types.at(param.type) : "?") + (in ? " " : "* ") +
                TrxNarrow(TrxView(param.name));
    }
    methods.push_back(std::to_string(table[i].dispid) + " " +
                      Signature(TrxNarrow(TrxView(table[i].name)), params, true));
  }
  return methods;
}

Lines Enum(const std::string& source, const std::string& name) {
  std::smatch body;
  if (!std::regex_search(source, body,
                         std::regex("typedef\\s*(?:\\[[^\\]]*\\]\\s*)?enum\\s+" + name + "\\s*\\{([^}]*)\\}")))
    return {};
  Lines entries;
  for (const std::string& entry : Split(body[1]))
    entries.push_back(std::regex_replace(entry, std::regex(R"(\s+)"), ""));
  return entries;
}

std::string Uuid(const std::string& idl, const std::string& kind, const std::string& name) {
  std::smatch m;
  std::regex_search(idl, m, std::regex("uuid\\(([0-9A-Fa-f-]+)\\)[^\\]]*\\]\\s*" + kind + "\\s+" + name + "\\b"));
  std::string uuid = m[1];
  for (char& c : uuid) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return uuid;
}
std::string Guid(REFGUID guid) {
  OLECHAR text[CHARS_IN_GUID] = {};
  StringFromGUID2(guid, text, CHARS_IN_GUID);
  const std::string braced = TrxNarrow(TrxView(text));
  return braced.substr(1, braced.size() - 2);
}

// Each check: what the IDL says, and what the C++ side says.
std::pair<Lines, Lines> Interfaces(const Sources& s) {
  Lines idl, cpp;
  for (const char* name : {"INVTRXAutomation", "INVTRX"}) {
    Lines methods = IdlMethods(s.idl, name, true, false), declared = CppMethods(s.interfaces, name);
    for (size_t i = 0; i < declared.size(); ++i) declared[i] = std::to_string(i + 1) + " " + declared[i];
    Append(idl, methods);
    Append(cpp, declared);
  }
  for (const char* name : {"INVAutomation", "INVPropertySet", "INVAppControl"}) {
    Append(idl, IdlMethods(s.idl, name, false, false));
    Append(cpp, CppMethods(s.host, name));
  }
  return {idl, cpp};
}
std::pair<Lines, Lines> DispatchTable(const Sources& s) {
  return {IdlMethods(s.idl, "INVTRXAutomation", true, true), TableMethods()};
}
std::pair<Lines, Lines> Enums(const Sources& s) {
  Lines idl, cpp;
  for (const char* name : {"AUTO_OBJECTTYPE", "AUTO_REQID"}) {
    Append(idl, Enum(s.idl, name));
    Append(cpp, Enum(s.host, name));
  }
  return {idl, cpp};
}
std::pair<Lines, Lines> Guids(const Sources& s) {
  const struct {
    const char* kind;
    const char* name;
    const GUID* guid;
  } guids[] = {
      {"interface", "INVTRXAutomation", &IID_INVTRXAutomation}, {"interface", "INVTRX", &IID_INVTRX},
      {"dispinterface", "_INVTRXEvents", &DIID__INVTRXEvents},  {"coclass", "CNVCoTRX", &CLSID_CNVCoTRX},
      {"interface", "INVAutomation", &IID_INVAutomation},       {"interface", "INVPropertySet", &IID_INVPropertySet},
      {"interface", "INVAppControl", &IID_INVAppControl},       {"library", "trxcomLib", &LIBID_trxcomLib}};
  Lines idl, cpp;
  for (const auto& g : guids) {
    idl.push_back(std::string(g.name) + " " + Uuid(s.idl, g.kind, g.name));
    cpp.push_back(std::string(g.name) + " " + Guid(*g.guid));
  }
  std::smatch library;
  std::regex_search(s.idl, library, std::regex(R"re(version\((\S+)\),\s*helpstring\("([^"]*)"\))re"));
  idl.push_back(std::string(library[1]) + " " + std::string(library[2]));
  cpp.push_back("1.0 trxcom 1.0 Type Library");
  idl.push_back(IdlMethods(s.idl, "_INVTRXEvents", true, false).at(0));
  cpp.push_back(std::to_string(DISPID_INVTRXEVENTS_RECORD) + " Record(BSTR trxODS,BSTR eventName,VARIANT* pArgs)");
  return {idl, cpp};
}

TEST(TypeLibrarySource, InterfacesTableEnumerationsAndGuidsAgreeWithTheIdl) {
  const Sources project = ProjectSources();
  ASSERT_FALSE(project.idl.empty()) << "service/nvtrx.idl not read under " << TRX_SOURCE_DIR;
  EXPECT_EQ(IdlMethods(project.idl, "INVTRXAutomation", true, true).size(), 11u) << "the reader finds the methods";
  EXPECT_EQ(IdlMethods(project.idl, "INVPropertySet", false, false).size(), 23u);
  EXPECT_EQ(Enum(project.idl, "AUTO_REQID").size(), 130u);
  for (auto check : {&Interfaces, &DispatchTable, &Enums, &Guids}) {
    const auto [idl, cpp] = check(project);
    EXPECT_FALSE(idl.empty());
    EXPECT_EQ(idl, cpp);
  }
}

TEST(TypeLibrarySource, AChangeOnEitherSideIsNoticed) {
  enum Side { kIdl, kInterfaces, kHost };
  const struct {
    Side side;
    const char* from;
    const char* to;
    std::pair<Lines, Lines> (*check)(const Sources&);
  // clang-format off
  } cases[] = {
      {kIdl, "[in] long timeOut", "[in] long timeout", &DispatchTable},
      {kIdl, "[id(10)]", "[id(12)]", &DispatchTable},
      {kIdl, "[in] VARIANT Args, [out] VARIANT* retVal", "[in] VARIANT Args, [out, retval] VARIANT* retVal", &DispatchTable},
      {kIdl, "[in] VARIANT_BOOL bAppend", "[in] long bAppend", &DispatchTable},
      {kIdl, "[id(4)] HRESULT OnAppReady", "[id(5)] HRESULT OnAppReady", &Interfaces},
      {kHost, "GetLastErrorText(BSTR* pText)", "GetLastErrorText(BSTR* pMessage)", &Interfaces},
      {kHost, "RemoveChild(LONG nIndex", "RemoveChild(SHORT nIndex", &Interfaces},
      {kInterfaces, "  virtual HRESULT STDMETHODCALLTYPE StopLogging(BSTR* errMsg, LONG* errCode) = 0;\n", "", &Interfaces},
      {kHost, "OBJTYPE_MENU = 2,", "OBJTYPE_MENU = 20,", &Enums},
      {kIdl, "uuid(667F79F8-E27A-4AEF-9EB0-E724C17BA04A)", "uuid(667F79F8-E27A-4AEF-9EB0-E724C17BA04B)", &Guids},
      {kIdl, "version(1.0)", "version(1.1)", &Guids},
  };
  // clang-format on
  const Sources project = ProjectSources();
  for (const auto& c : cases) {
    Sources changed = project;
    std::string& text = c.side == kIdl ? changed.idl : (c.side == kInterfaces ? changed.interfaces : changed.host);
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << "the case no longer applies to the file: " << c.from;
    text.replace(at, std::string(c.from).size(), c.to);
    const auto [idl, cpp] = c.check(changed);
    EXPECT_NE(idl, cpp) << c.from << " -> " << c.to;
  }
}

}  // namespace
