#include "host/nvsimdescription.h"

#include <algorithm>
#include <initializer_list>
#include <set>
#include <tuple>

#include "descriptors/nvtrxxml.h"
#include "host/nvsimnames.h"
#include "host/nvsimstatus.h"
#include "host/nvsimxmllocator.h"

TrxString CNVSimLoadError::ToText() const {
  TrxString text = file.empty() ? TrxString(OLESTR("<description>")) : file;
  if (line > 0) text += OLESTR(":") + TrxDecimal(line);
  text += OLESTR(": ") + message;
  if (!element.empty()) text += OLESTR(" (in ") + element + OLESTR(")");
  return text;
}

// ---- paths and statuses ----------------------------------------------------------------

TrxString CNVSimDescription::EscapeSegment(TrxStringView name) {
  TrxString escaped;
  for (OLECHAR c : name) {
    if (c == '/' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool CNVSimDescription::SplitPath(TrxStringView path, std::vector<TrxString>& segments) {
  segments.clear();
  if (!path.empty() && path[0] == '/') path.remove_prefix(1);
  if (path.empty()) return true;
  TrxString segment;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '\\') {
      if (i + 1 >= path.size()) return false;
      segment += path[++i];
    } else if (path[i] == '/') {
      segments.push_back(std::move(segment));
      segment.clear();
    } else {
      segment += path[i];
    }
  }
  segments.push_back(std::move(segment));
  return true;
}

bool CNVSimDescription::ParseStatus(TrxStringView text, HRESULT& status) {
  static const struct {
    const OLECHAR* name;
    HRESULT status;
  } kNames[] = {
      {OLESTR("S_OK"), S_OK},
      {OLESTR("S_FALSE"), S_FALSE},
      {OLESTR("E_FAIL"), E_FAIL},
      {OLESTR("E_INVALIDARG"), E_INVALIDARG},
      {OLESTR("E_NOTIMPL"), E_NOTIMPL},
      {OLESTR("E_NOINTERFACE"), E_NOINTERFACE},
      {OLESTR("E_ACCESSDENIED"), E_ACCESSDENIED},
      {OLESTR("E_UNEXPECTED"), E_UNEXPECTED},
      {OLESTR("DISP_E_MEMBERNOTFOUND"), DISP_E_MEMBERNOTFOUND},
      {OLESTR("NVSIM_E_REQUEST_FAILED"), NVSIM_E_REQUEST_FAILED},
      {OLESTR("NVSIM_E_NOT_ALLOWED"), NVSIM_E_NOT_ALLOWED},
      {OLESTR("NVSIM_E_BAD_PARAMETER"), NVSIM_E_BAD_PARAMETER},
      {OLESTR("NVSIM_E_UNLOADING"), NVSIM_E_UNLOADING},
  };
  for (const auto& entry : kNames) {
    if (text == entry.name) {
      status = entry.status;
      return true;
    }
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (text.size() > 10) return false;
    uint32_t value = 0;
    for (OLECHAR c : text.substr(2)) {
      uint32_t digit;
      if (c >= '0' && c <= '9') {
        digit = static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
      value = value * 16 + digit;
    }
    status = static_cast<HRESULT>(value);
    return true;
  }
  TrxVariant number;
  if (!CNVSimValue::ScalarFromText(CNVSimValue::Kind::Int, text, number, nullptr)) return false;
  status = number.lVal;
  return true;
}

LONG CNVSimDescription::FindObject(TrxStringView path) const {
  if (!path.empty() && path[0] == '#') {
    auto it = m_ids.find(TrxString(path.substr(1)));
    return it == m_ids.end() ? -1 : it->second;
  }
  std::vector<TrxString> segments;
  if (!SplitPath(path, segments)) return -1;
  TrxString canonical;
  for (const TrxString& segment : segments) {
    if (!canonical.empty()) canonical += '/';
    canonical += EscapeSegment(segment);
  }
  auto it = m_paths.find(canonical);
  return it == m_paths.end() ? -1 : it->second;
}

LONG CNVSimDescription::FindScreen(TrxStringView name) const {
  for (size_t i = 0; i < m_screens.size(); ++i)
    if (m_screens[i].name == name) return static_cast<LONG>(i);
  return -1;
}

// ---- loading -------------------------------------------------------------------------------

namespace {

// Signals a load error; caught at the top of the loader.
struct LoadFailure {
  LONG line;
  TrxString element;
  TrxString message;
};

TrxString Quoted(TrxStringView text) { return OLESTR("\"") + TrxString(text) + OLESTR("\""); }

bool ReadWholeFile(TrxStringView path, std::vector<unsigned char>& bytes, DWORD& error) {
  const TrxString name(path);
  TrxHandle file(
      CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    error = GetLastError();
    return false;
  }
  unsigned char buffer[65536];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (read == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + read);
  }
  return true;
}

TrxString DecodeText(const std::vector<unsigned char>& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    TrxString text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += static_cast<OLECHAR>(bytes[i] | (bytes[i + 1] << 8));
    return text;
  }
  size_t start = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) start = 3;
  return TrxWiden(std::string_view(reinterpret_cast<const char*>(bytes.data()) + start, bytes.size() - start));
}

}  // namespace

class CNVSimDescriptionLoader {
 public:
  CNVSimDescriptionLoader(CNVSimDescription& description, const CNVSimXmlLocator& locator)
      : m_d(description), m_locator(locator) {}

  void Load(const CNVTRXXmlDocument& document) {
    const CNVTRXXmlNode root = document.GetDocumentElement();
    NumberElements(root);
    if (root.GetName() != OLESTR("application"))
      Fail(root, OLESTR("the document element must be <application>, not <") + root.GetName() + OLESTR(">"));
    LoadApplication(root);
    ResolveReferences();
    CheckDuplicates();
  }

 private:
  // Marks an absolute target until every object is known.
  static constexpr LONG kPending = -3;
  struct PendingObjectFilter {
    size_t rule;  // position among the general rules
    TrxString path;
    CNVTRXXmlNode node;
  };

  // ---- element locations and errors ----
  void NumberElements(const CNVTRXXmlNode& node) {
    if (node.GetType() != TRXXML_ELEMENT) return;
    const size_t ordinal = m_ordinals.size();
    m_ordinals[node.GetIdentity()] = ordinal;
    for (LONG i = 0; i < node.GetChildCount(); ++i) NumberElements(node.GetChild(i));
  }
  LONG LineOf(const CNVTRXXmlNode& node) const {
    auto it = m_ordinals.find(node.GetIdentity());
    return it == m_ordinals.end() ? 0 : m_locator.GetElementLine(it->second);
  }
  static TrxString Describe(const CNVTRXXmlNode& node) {
    TrxString text = OLESTR("<") + node.GetName();
    TrxString value;
    for (const OLECHAR* key : {OLESTR("type"), OLESTR("name"), OLESTR("request"), OLESTR("property")}) {
      if (node.GetAttribute(key, value)) text += OLESTR(" ") + TrxString(key) + OLESTR("=") + Quoted(value);
    }
    return text + OLESTR(">");
  }
  [[noreturn]] void Fail(const CNVTRXXmlNode& node, TrxString message) const {
    throw LoadFailure{LineOf(node), Describe(node), std::move(message)};
  }

  // ---- attributes ----
  void CheckAttributes(const CNVTRXXmlNode& node, std::initializer_list<const OLECHAR*> allowed,
                       bool allowArgs = false) const {
    for (LONG i = 0; i < node.GetAttributeCount(); ++i) {
      TrxString name;
      node.GetAttributeName(i, name);
      bool known = std::any_of(allowed.begin(), allowed.end(), [&](const OLECHAR* a) { return name == a; });
      if (!known && allowArgs && name.size() == 4 && name.substr(0, 3) == OLESTR("arg") && name[3] >= '0' &&
          name[3] <= '9')
        known = true;
      if (!known) Fail(node, OLESTR("unknown attribute ") + name);
    }
  }
  TrxString Required(const CNVTRXXmlNode& node, const OLECHAR* name, bool allowEmpty = false) const {
    TrxString value;
    if (!node.GetAttribute(name, value)) Fail(node, OLESTR("attribute ") + TrxString(name) + OLESTR(" is missing"));
    if (value.empty() && !allowEmpty) Fail(node, OLESTR("attribute ") + TrxString(name) + OLESTR(" is empty"));
    return value;
  }
  static bool Optional(const CNVTRXXmlNode& node, const OLECHAR* name, TrxString& value) {
    return node.GetAttribute(name, value);
  }
  bool Flag(const CNVTRXXmlNode& node, const OLECHAR* name, bool fallback) const {
    TrxString text;
    if (!node.GetAttribute(name, text)) return fallback;
    TrxVariant value;
    TrxString error;
    if (!CNVSimValue::ScalarFromText(CNVSimValue::Kind::Bool, text, value, &error))
      Fail(node, OLESTR("attribute ") + TrxString(name) + OLESTR(": ") + error);
    return value.boolVal != VARIANT_FALSE;
  }
  LONG Number(const CNVTRXXmlNode& node, const OLECHAR* name, LONG fallback, LONG minimum) const {
    TrxString text;
    if (!node.GetAttribute(name, text)) return fallback;
    TrxVariant value;
    TrxString error;
    if (!CNVSimValue::ScalarFromText(CNVSimValue::Kind::Int, text, value, &error))
      Fail(node, OLESTR("attribute ") + TrxString(name) + OLESTR(": ") + error);
    if (value.lVal < minimum)
      Fail(node, OLESTR("attribute ") + TrxString(name) + OLESTR(" must be at least ") + TrxDecimal(minimum));
    return value.lVal;
  }
  CNVSimTemplate Template(const CNVTRXXmlNode& node, const OLECHAR* name, TrxStringView text) const {
    CNVSimTemplate result;
    TrxString error;
    if (!result.Parse(text, &error)) Fail(node, OLESTR("attribute ") + TrxString(name) + OLESTR(": ") + error);
    return result;
  }
  HRESULT Status(const CNVTRXXmlNode& node, const OLECHAR* name, HRESULT fallback) const {
    TrxString text;
    if (!node.GetAttribute(name, text)) return fallback;
    HRESULT status = S_OK;
    if (!CNVSimDescription::ParseStatus(text, status))
      Fail(node, OLESTR("attribute ") + TrxString(name) + OLESTR(": ") + Quoted(text) + OLESTR(" is not a status"));
    return status;
  }
  // Text content of an element (its text and CDATA children).
  TrxString Text(const CNVTRXXmlNode& node) const {
    TrxString text;
    for (LONG i = 0; i < node.GetChildCount(); ++i) {
      const CNVTRXXmlNode child = node.GetChild(i);
      if (child.GetType() == TRXXML_TEXT || child.GetType() == TRXXML_CDATA) text += child.GetValue();
    }
    return text;
  }
  std::vector<CNVTRXXmlNode> Elements(const CNVTRXXmlNode& node) const {
    std::vector<CNVTRXXmlNode> elements;
    for (LONG i = 0; i < node.GetChildCount(); ++i) {
      CNVTRXXmlNode child = node.GetChild(i);
      if (child.GetType() == TRXXML_ELEMENT) elements.push_back(std::move(child));
    }
    return elements;
  }
  void NoElements(const CNVTRXXmlNode& node) const {
    for (const CNVTRXXmlNode& child : Elements(node))
      Fail(child, OLESTR("<") + child.GetName() + OLESTR("> is not allowed inside <") + node.GetName() + OLESTR(">"));
  }

  // ---- application, screens, objects ----
  void LoadApplication(const CNVTRXXmlNode& node) {
    CheckAttributes(
        node, {OLESTR("name"), OLESTR("displayName"), OLESTR("sessionId"), OLESTR("htmlId"), OLESTR("startScreen"),
               OLESTR("unknownProperties"), OLESTR("controlInterface"), OLESTR("registerStatus")});
    CNVSimObjectDef app;
    app.index = 0;
    app.type = OBJTYPE_APPLICATION;
    app.name = Required(node, OLESTR("name"));
    app.line = LineOf(node);
    m_d.m_objects.push_back(std::move(app));
    m_d.m_paths.emplace(TrxString(), 0);
    ShorthandProperties(node, 0);
    TrxString text;
    if (Optional(node, OLESTR("sessionId"), text))
      AddProperty(node, 0, OLESTR("SessionID"), CNVSimValue::FromString(text));
    if (Optional(node, OLESTR("unknownProperties"), text)) {
      if (text == OLESTR("fail")) {
        m_d.m_failUnknownProperties = true;
      } else if (text != OLESTR("empty")) {
        Fail(node, OLESTR("attribute unknownProperties must be \"empty\" or \"fail\""));
      }
    }
    m_d.m_controlInterface = Flag(node, OLESTR("controlInterface"), true);
    m_d.m_registrationStatus = Status(node, OLESTR("registerStatus"), S_OK);

    for (const CNVTRXXmlNode& child : Elements(node)) {
      const TrxString name = child.GetName();
      if (name == OLESTR("screen")) {
        LoadScreen(child);
      } else if (name == OLESTR("rules")) {
        CheckAttributes(child, {});
        for (const CNVTRXXmlNode& rule : Elements(child)) {
          if (rule.GetName() != OLESTR("on")) Fail(rule, OLESTR("only <on> rules belong inside <rules>"));
          m_d.m_generalRules.push_back(LoadRule(rule, true));
        }
      } else if (!ObjectContent(child, 0)) {
        Fail(child, OLESTR("<") + name + OLESTR("> is not allowed inside <application>"));
      }
    }
    NoTextContent(node);

    if (Optional(node, OLESTR("startScreen"), text)) {
      m_d.m_startScreen = m_d.FindScreen(text);
      if (m_d.m_startScreen < 0) Fail(node, OLESTR("startScreen names no screen: ") + Quoted(text));
    } else if (!m_d.m_screens.empty()) {
      m_d.m_startScreen = 0;
    }
    // The screen tab bar: declared, or added.
    for (LONG child : m_d.m_objects[0].children) {
      const CNVSimObjectDef& def = m_d.m_objects[static_cast<size_t>(child)];
      if (def.type == OBJTYPE_NAVCONTROL && def.name == OLESTR("Screen") && def.screen < 0) m_d.m_screenBar = child;
    }
    if (m_d.m_screenBar < 0) {
      CNVSimObjectDef bar;
      bar.index = static_cast<LONG>(m_d.m_objects.size());
      bar.type = OBJTYPE_NAVCONTROL;
      bar.name = OLESTR("Screen");
      bar.parent = 0;
      bar.path = OLESTR("Screen");
      bar.line = m_d.m_objects[0].line;
      m_d.m_screenBar = bar.index;
      m_d.m_paths.emplace(bar.path, bar.index);
      m_d.m_objects[0].children.push_back(bar.index);
      m_d.m_objects.push_back(std::move(bar));
    }
  }

  void NoTextContent(const CNVTRXXmlNode& node) const {
    for (LONG i = 0; i < node.GetChildCount(); ++i) {
      const CNVTRXXmlNode child = node.GetChild(i);
      if ((child.GetType() == TRXXML_TEXT || child.GetType() == TRXXML_CDATA)) {
        const TrxString value = child.GetValue();
        if (value.find_first_not_of(OLESTR(" \t\r\n")) != TrxString::npos)
          Fail(node, OLESTR("text is not allowed inside <") + node.GetName() + OLESTR(">"));
      }
    }
  }

  // Content that may appear inside an object (and the application): false
  // for an element that is none of these.
  bool ObjectContent(const CNVTRXXmlNode& child, LONG owner) {
    const TrxString name = child.GetName();
    if (name == OLESTR("property")) {
      LoadProperty(child, owner);
    } else if (name == OLESTR("object")) {
      LoadObject(child, owner, -1);
    } else if (name == OLESTR("on")) {
      CNVSimRule rule = LoadRule(child, false);
      Def(owner).rules.push_back(std::move(rule));
    } else if (name == OLESTR("list")) {
      LoadList(child, owner);
    } else if (name == OLESTR("childNames")) {
      CheckAttributes(child, {OLESTR("type"), OLESTR("property")});
      NoElements(child);
      AUTO_OBJECTTYPE type;
      const TrxString typeName = Required(child, OLESTR("type"));
      if (!CNVSimNames::ParseObjectType(typeName, type)) Fail(child, OLESTR("unknown object type ") + Quoted(typeName));
      Def(owner).childNameSources.emplace_back(type, Required(child, OLESTR("property")));
    } else {
      return false;
    }
    return true;
  }

  CNVSimObjectDef& Def(LONG index) { return m_d.m_objects[static_cast<size_t>(index)]; }

  void LoadScreen(const CNVTRXXmlNode& node) {
    CheckAttributes(node, {OLESTR("name"), OLESTR("displayName"), OLESTR("defaultView")});
    CNVSimScreenDef screen;
    screen.name = Required(node, OLESTR("name"));
    if (m_d.FindScreen(screen.name) >= 0) Fail(node, OLESTR("a second screen named ") + Quoted(screen.name));
    if (!Optional(node, OLESTR("displayName"), screen.displayName)) screen.displayName = screen.name;
    screen.line = LineOf(node);
    const LONG index = static_cast<LONG>(m_d.m_screens.size());
    m_d.m_screens.push_back(std::move(screen));
    for (const CNVTRXXmlNode& child : Elements(node)) {
      if (child.GetName() != OLESTR("object")) Fail(child, OLESTR("only <object> elements belong inside <screen>"));
      LoadObject(child, 0, index);
    }
    NoTextContent(node);
    CNVSimScreenDef& loaded = m_d.m_screens[static_cast<size_t>(index)];
    if (loaded.views.empty()) Fail(node, OLESTR("the screen has no VIEW object"));
    TrxString defaultView;
    if (Optional(node, OLESTR("defaultView"), defaultView)) {
      for (LONG view : loaded.views)
        if (Def(view).name == defaultView) loaded.defaultView = view;
      if (loaded.defaultView < 0)
        Fail(node, OLESTR("defaultView names no view of this screen: ") + Quoted(defaultView));
    } else {
      loaded.defaultView = loaded.views.front();
    }
  }

  void LoadObject(const CNVTRXXmlNode& node, LONG parent, LONG screen) {
    CheckAttributes(node, {OLESTR("type"), OLESTR("name"), OLESTR("id"), OLESTR("displayName"), OLESTR("htmlId"),
                           OLESTR("visible")});
    CNVSimObjectDef def;
    def.index = static_cast<LONG>(m_d.m_objects.size());
    const TrxString typeName = Required(node, OLESTR("type"));
    if (!CNVSimNames::ParseObjectType(typeName, def.type) || def.type == OBJTYPE_NULL)
      Fail(node, OLESTR("unknown object type ") + Quoted(typeName));
    if (def.type == OBJTYPE_APPLICATION) Fail(node, OLESTR("an APPLICATION object exists only as <application>"));
    if (def.type == OBJTYPE_VIEW && screen < 0) Fail(node, OLESTR("a VIEW object belongs directly inside a <screen>"));
    def.name = Required(node, OLESTR("name"));
    def.parent = parent;
    def.screen = screen;
    def.visible = Flag(node, OLESTR("visible"), true);
    def.line = LineOf(node);
    if (Optional(node, OLESTR("id"), def.id)) {
      if (def.id.empty()) Fail(node, OLESTR("attribute id is empty"));
      if (!m_d.m_ids.emplace(def.id, def.index).second) Fail(node, OLESTR("a second object with id ") + Quoted(def.id));
    }
    const TrxString& parentPath = Def(parent).path;
    if (screen >= 0) {
      def.path = CNVSimDescription::EscapeSegment(m_d.m_screens[static_cast<size_t>(screen)].name) + OLESTR("/") +
                 CNVSimDescription::EscapeSegment(def.name);
    } else {
      def.path =
          (parentPath.empty() ? TrxString() : parentPath + OLESTR("/")) + CNVSimDescription::EscapeSegment(def.name);
    }
    const LONG index = def.index;
    m_d.m_paths.emplace(def.path, index);  // the first of equal paths; ids reach the others
    if (def.type == OBJTYPE_VIEW) m_d.m_screens[static_cast<size_t>(screen)].views.push_back(index);
    Def(parent).children.push_back(index);
    m_d.m_objects.push_back(std::move(def));
    ShorthandProperties(node, index);
    for (const CNVTRXXmlNode& child : Elements(node)) {
      if (!ObjectContent(child, index))
        Fail(child, OLESTR("<") + child.GetName() + OLESTR("> is not allowed inside <object>"));
    }
    NoTextContent(node);
    if (Def(index).list) AddCellControls(node, index);
  }

  // ---- lists ----
  void LoadList(const CNVTRXXmlNode& node, LONG owner) {
    if (Def(owner).type != OBJTYPE_LISTCONTROL) Fail(node, OLESTR("a <list> belongs inside a LISTCONTROL object"));
    if (Def(owner).list) Fail(node, OLESTR("a second <list>"));
    CheckAttributes(node, {OLESTR("pageSize")});
    NoTextContent(node);
    auto list = std::make_shared<CNVSimListDef>();
    list->pageSize = Number(node, OLESTR("pageSize"), 10, 1);
    list->line = LineOf(node);
    for (const CNVTRXXmlNode& child : Elements(node)) {
      if (child.GetName() == OLESTR("column")) {
        if (!list->rows.empty()) Fail(child, OLESTR("columns come before the rows"));
        CheckAttributes(child, {OLESTR("name"), OLESTR("displayName"), OLESTR("type"), OLESTR("drillDown"),
                                OLESTR("total")});
        NoElements(child);
        CNVSimListColumn column;
        column.name = Required(child, OLESTR("name"));
        for (const CNVSimListColumn& other : list->columns)
          if (other.name == column.name) Fail(child, OLESTR("a second column named ") + Quoted(column.name));
        if (!Optional(child, OLESTR("displayName"), column.displayName)) column.displayName = column.name;
        if (!Optional(child, OLESTR("type"), column.type)) column.type = OLESTR("text");
        if (Optional(child, OLESTR("drillDown"), column.drillDown)) m_literalViews.push_back({column.drillDown, child});
        Optional(child, OLESTR("total"), column.total);
        list->columns.push_back(std::move(column));
      } else if (child.GetName() == OLESTR("row")) {
        CheckAttributes(child, {OLESTR("value"), OLESTR("level"), OLESTR("expanded")});
        CNVSimListRowDef row;
        row.level = Number(child, OLESTR("level"), 0, 0);
        row.expanded = Flag(child, OLESTR("expanded"), false);
        const LONG deepest = list->rows.empty() ? 0 : list->rows.back().level + 1;
        if (row.level > deepest) Fail(child, OLESTR("a row's level is at most one more than the row before"));
        const CNVSimValue cells = ValueOf(child, CNVSimValue::Kind::Strings);
        for (const TrxVariant& cell : cells.GetItems())
          row.cells.push_back(CNVSimValue::VariantText(cell));
        if (row.cells.size() != list->columns.size())
          Fail(child, OLESTR("the row has ") + TrxDecimal(static_cast<LONG>(row.cells.size())) +
                          OLESTR(" cells for ") + TrxDecimal(static_cast<LONG>(list->columns.size())) +
                          OLESTR(" columns"));
        list->rows.push_back(std::move(row));
      } else {
        Fail(child, OLESTR("a list holds <column> and <row> elements only"));
      }
    }
    if (list->columns.empty()) Fail(node, OLESTR("the list has no column"));
    Def(owner).list = std::move(list);
  }

  // One CONTROL per column, and the focused cell's "ListCellControl", unless
  // the list declares them; declared ones take the column's type and name.
  void AddCellControls(const CNVTRXXmlNode& node, LONG list) {
    std::vector<std::pair<TrxString, TrxString>> controls;  // name, UI type
    for (const CNVSimListColumn& column : Def(list).list->columns) controls.emplace_back(column.name, column.type);
    controls.emplace_back(OLESTR("ListCellControl"), TrxString());
    for (const auto& [name, type] : controls) {
      LONG found = -1;
      for (LONG child : Def(list).children)
        if (Def(child).type == OBJTYPE_CONTROL && Def(child).name == name) found = child;
      if (found < 0) {
        CNVSimObjectDef def;
        def.index = found = static_cast<LONG>(m_d.m_objects.size());
        def.type = OBJTYPE_CONTROL;
        def.name = name;
        def.parent = list;
        def.line = LineOf(node);
        def.path = Def(list).path + OLESTR("/") + CNVSimDescription::EscapeSegment(name);
        m_d.m_paths.emplace(def.path, def.index);
        Def(list).children.push_back(def.index);
        m_d.m_objects.push_back(std::move(def));
        if (type.empty()) continue;
        AddProperty(node, found, OLESTR("IsReadOnly"), CNVSimValue::FromBool(false));
        AddProperty(node, found, OLESTR("IsRequired"), CNVSimValue::FromBool(false));
      }
    }
  }

  void ShorthandProperties(const CNVTRXXmlNode& node, LONG owner) {
    TrxString text;
    if (Optional(node, OLESTR("displayName"), text))
      AddProperty(node, owner, OLESTR("DisplayName"), CNVSimValue::FromString(text));
    if (Optional(node, OLESTR("htmlId"), text))
      AddProperty(node, owner, OLESTR("HtmlID"), CNVSimValue::FromString(text));
  }

  void AddProperty(const CNVTRXXmlNode& node, LONG owner, TrxStringView name, CNVSimValue value) {
    CNVSimProperty property;
    property.name = TrxString(name);
    property.value = std::move(value);
    AddProperty(node, owner, std::move(property));
  }
  void AddProperty(const CNVTRXXmlNode& node, LONG owner, CNVSimProperty property) {
    for (const CNVSimProperty& existing : Def(owner).properties)
      if (existing.name == property.name)
        Fail(node, OLESTR("property ") + Quoted(property.name) + OLESTR(" is given twice"));
    Def(owner).properties.push_back(std::move(property));
  }

  // ---- properties ----
  void LoadProperty(const CNVTRXXmlNode& node, LONG owner) {
    CheckAttributes(node, {OLESTR("name"), OLESTR("type"), OLESTR("value"), OLESTR("keyed"), OLESTR("fail")});
    CNVSimProperty property;
    property.name = Required(node, OLESTR("name"));
    CNVSimValue::Kind kind = CNVSimValue::Kind::String;
    TrxString typeName;
    if (Optional(node, OLESTR("type"), typeName) && !CNVSimValue::ParseKind(typeName, kind))
      Fail(node, OLESTR("unknown property type ") + Quoted(typeName));
    property.keyed = Flag(node, OLESTR("keyed"), false);
    property.failStatus = Status(node, OLESTR("fail"), S_OK);
    if (SUCCEEDED(property.failStatus) && node.GetAttribute(OLESTR("fail"), typeName))
      Fail(node, OLESTR("attribute fail must be a failure status"));
    if (property.keyed) {
      TrxString text;
      // Without a value, a read that matches no entry gives VT_EMPTY.
      if (Optional(node, OLESTR("value"), text)) property.value = ParseValue(node, kind, text);
      for (const CNVTRXXmlNode& entry : Elements(node)) {
        if (entry.GetName() != OLESTR("entry")) Fail(entry, OLESTR("a keyed property holds <entry> elements only"));
        CheckAttributes(entry, {OLESTR("key"), OLESTR("value")});
        const TrxString key = Required(entry, OLESTR("key"), true);
        for (const auto& existing : property.entries)
          if (existing.first == key) Fail(entry, OLESTR("a second entry for the key ") + Quoted(key));
        property.entries.emplace_back(key, ValueOf(entry, kind));
      }
    } else {
      property.value = ValueOf(node, kind);
    }
    AddProperty(node, owner, std::move(property));
  }

  CNVSimValue ParseValue(const CNVTRXXmlNode& node, CNVSimValue::Kind kind, TrxStringView text) const {
    CNVSimValue value;
    TrxString error;
    if (!CNVSimValue::FromText(kind, text, value, &error)) Fail(node, error);
    return value;
  }

  // The value written by an element: its value attribute, or its items or
  // rows, or its text.
  CNVSimValue ValueOf(const CNVTRXXmlNode& node, CNVSimValue::Kind kind) const {
    TrxString attribute;
    const bool hasAttribute = node.GetAttribute(OLESTR("value"), attribute);
    const std::vector<CNVTRXXmlNode> elements = Elements(node);
    if (hasAttribute && !elements.empty()) Fail(node, OLESTR("give either a value attribute or content, not both"));
    if (kind == CNVSimValue::Kind::Table) {
      if (hasAttribute) Fail(node, OLESTR("a table is written as <row> elements"));
      CNVSimValue table = CNVSimValue::EmptyOf(kind);
      for (const CNVTRXXmlNode& row : elements) {
        if (row.GetName() != OLESTR("row")) Fail(row, OLESTR("a table holds <row> elements only"));
        CheckAttributes(row, {OLESTR("value")});
        CNVSimValue cells = ValueOf(row, CNVSimValue::Kind::Variants);
        table.AppendRow(cells.GetItems());
      }
      NoTextContent(node);
      return table;
    }
    CNVSimValue probe = CNVSimValue::EmptyOf(kind);
    if (probe.IsList()) {
      if (hasAttribute) return ParseValue(node, kind, attribute);
      for (const CNVTRXXmlNode& item : elements) {
        if (item.GetName() != OLESTR("item")) Fail(item, OLESTR("a list holds <item> elements only"));
        CheckAttributes(item, {OLESTR("type"), OLESTR("value")});
        NoElements(item);
        TrxString text;
        if (!item.GetAttribute(OLESTR("value"), text)) text = Text(item);
        TrxVariant value;
        TrxString error;
        TrxString itemType;
        if (item.GetAttribute(OLESTR("type"), itemType)) {
          CNVSimValue::Kind itemKind;
          if (kind != CNVSimValue::Kind::Variants) Fail(item, OLESTR("only the items of a variants list have a type"));
          if (!CNVSimValue::ParseKind(itemType, itemKind) || !CNVSimValue::EmptyOf(itemKind).IsScalar())
            Fail(item, OLESTR("an item's type is string, int, bool or empty, not ") + Quoted(itemType));
          if (!CNVSimValue::ScalarFromText(itemKind, text, value, &error)) Fail(item, error);
        } else if (!CNVSimValue::ItemFromText(kind, text, value, &error)) {
          Fail(item, error);
        }
        probe.AppendItem(value);
      }
      NoTextContent(node);
      return probe;
    }
    NoElements(node);
    return ParseValue(node, kind, hasAttribute ? attribute : Text(node));
  }

  // ---- rules ----
  CNVSimRule LoadRule(const CNVTRXXmlNode& node, bool general) {
    if (general) {
      CheckAttributes(
          node, {OLESTR("request"), OLESTR("arg"), OLESTR("argCount"), OLESTR("object"), OLESTR("objectType")}, true);
    } else {
      CheckAttributes(node, {OLESTR("request"), OLESTR("arg"), OLESTR("argCount")}, true);
    }
    CNVSimRule rule;
    rule.line = LineOf(node);
    const TrxString requests = Required(node, OLESTR("request"));
    size_t start = 0;
    while (start < requests.size()) {
      size_t end = requests.find_first_of(OLESTR(" ,\t\r\n"), start);
      if (end == TrxString::npos) end = requests.size();
      const TrxString name = requests.substr(start, end - start);
      start = end + 1;
      if (name.empty()) continue;
      if (name == OLESTR("*")) {
        rule.requests.clear();
        break;
      }
      LONG request = 0;
      if (!CNVSimNames::ParseRequest(name, request)) Fail(node, OLESTR("unknown request ") + Quoted(name));
      rule.requests.push_back(request);
    }
    TrxString text;
    if (Optional(node, OLESTR("arg"), text)) rule.argumentPatterns.emplace_back(0, text);
    for (OLECHAR digit = '0'; digit <= '9'; ++digit) {
      const OLECHAR name[] = {'a', 'r', 'g', digit, 0};
      if (Optional(node, name, text)) {
        const size_t index = static_cast<size_t>(digit - '0');
        for (const auto& pattern : rule.argumentPatterns)
          if (pattern.first == index) Fail(node, OLESTR("argument 0 is given as both arg and arg0"));
        rule.argumentPatterns.emplace_back(index, text);
      }
    }
    rule.argumentCount = Number(node, OLESTR("argCount"), -1, 0);
    if (general) {
      if (Optional(node, OLESTR("objectType"), text)) {
        AUTO_OBJECTTYPE type;
        if (!CNVSimNames::ParseObjectType(text, type)) Fail(node, OLESTR("unknown object type ") + Quoted(text));
        rule.objectType = type;
      }
      if (Optional(node, OLESTR("object"), text)) m_objectFilters.push_back({m_d.m_generalRules.size(), text, node});
    }
    for (const CNVTRXXmlNode& child : Elements(node)) rule.actions.push_back(LoadAction(child));
    NoTextContent(node);
    return rule;
  }

  CNVSimAction LoadAction(const CNVTRXXmlNode& node) {
    using Kind = CNVSimAction::Kind;
    static const struct {
      const OLECHAR* name;
      Kind kind;
    } kActions[] = {
        {OLESTR("set"), Kind::Set},
        {OLESTR("append"), Kind::Append},
        {OLESTR("remove"), Kind::Remove},
        {OLESTR("increment"), Kind::Increment},
        {OLESTR("show"), Kind::Show},
        {OLESTR("hide"), Kind::Hide},
        {OLESTR("goto-screen"), Kind::GotoScreen},
        {OLESTR("goto-view"), Kind::GotoView},
        {OLESTR("fail"), Kind::Fail},
        {OLESTR("delay"), Kind::Delay},
        {OLESTR("busy"), Kind::Busy},
        {OLESTR("hang"), Kind::Hang},
        {OLESTR("end-enter"), Kind::EndEnter},
    };
    CNVSimAction action;
    action.line = LineOf(node);
    const TrxString name = node.GetName();
    bool known = false;
    for (const auto& entry : kActions) {
      if (name == entry.name) {
        action.kind = entry.kind;
        known = true;
      }
    }
    if (!known) Fail(node, OLESTR("unknown action <") + name + OLESTR(">"));
    NoElements(node);
    NoTextContent(node);
    TrxString text;
    switch (action.kind) {
      case Kind::Set:
      case Kind::Append:
      case Kind::Remove:
        if (action.kind == Kind::Set) {
          CheckAttributes(node, {OLESTR("target"), OLESTR("property"), OLESTR("value"), OLESTR("key"), OLESTR("type")});
        } else if (action.kind == Kind::Append) {
          CheckAttributes(node,
                          {OLESTR("target"), OLESTR("property"), OLESTR("value"), OLESTR("unique"), OLESTR("max")});
        } else {
          CheckAttributes(node, {OLESTR("target"), OLESTR("property"), OLESTR("value")});
        }
        action.property = Required(node, OLESTR("property"));
        action.value = Template(node, OLESTR("value"), Required(node, OLESTR("value"), true));
        if (Optional(node, OLESTR("key"), text)) {
          action.keyed = true;
          action.key = Template(node, OLESTR("key"), text);
        }
        if (Optional(node, OLESTR("type"), text)) {
          if (!CNVSimValue::ParseKind(text, action.type) || action.type == CNVSimValue::Kind::Table)
            Fail(node, OLESTR("unknown value type ") + Quoted(text));
          action.typed = true;
          if (action.value.IsLiteral()) ParseValue(node, action.type, action.value.GetSource());
        }
        action.unique = Flag(node, OLESTR("unique"), false);
        action.limit = Number(node, OLESTR("max"), 0, 1);
        break;
      case Kind::Increment:
        CheckAttributes(node, {OLESTR("target"), OLESTR("property"), OLESTR("by"), OLESTR("min"), OLESTR("max")});
        action.property = Required(node, OLESTR("property"));
        action.by = Number(node, OLESTR("by"), 1, LONG(-2147483647 - 1));
        action.hasMin = node.GetAttribute(OLESTR("min"), text);
        action.min = Number(node, OLESTR("min"), 0, LONG(-2147483647 - 1));
        action.hasMax = node.GetAttribute(OLESTR("max"), text);
        action.max = Number(node, OLESTR("max"), 0, LONG(-2147483647 - 1));
        if (action.hasMin && action.hasMax && action.min > action.max) Fail(node, OLESTR("min is above max"));
        break;
      case Kind::Show:
      case Kind::Hide:
        CheckAttributes(node, {OLESTR("target")});
        if (!node.GetAttribute(OLESTR("target"), text)) Fail(node, OLESTR("attribute target is missing"));
        break;
      case Kind::GotoScreen:
        CheckAttributes(node, {OLESTR("screen")});
        action.value = Template(node, OLESTR("screen"), Required(node, OLESTR("screen")));
        if (action.value.IsLiteral() && m_d.FindScreen(action.value.GetSource()) < 0)
          m_literalScreens.push_back({action.value.GetSource(), node});
        break;
      case Kind::GotoView:
        CheckAttributes(node, {OLESTR("view")});
        action.value = Template(node, OLESTR("view"), Required(node, OLESTR("view")));
        if (action.value.IsLiteral()) m_literalViews.push_back({action.value.GetSource(), node});
        break;
      case Kind::Fail: {
        CheckAttributes(node, {OLESTR("code"), OLESTR("text"), OLESTR("status")});
        const LONG code = Number(node, OLESTR("code"), 1, -32768);
        if (code > 32767) Fail(node, OLESTR("attribute code must fit 16 bits"));
        action.code = static_cast<SHORT>(code);
        action.value = Template(node, OLESTR("text"), Optional(node, OLESTR("text"), text) ? text : TrxString());
        action.status = Status(node, OLESTR("status"), S_OK);
        break;
      }
      case Kind::Delay:
      case Kind::Busy:
        CheckAttributes(node, {OLESTR("ms")});
        if (!node.GetAttribute(OLESTR("ms"), text)) Fail(node, OLESTR("attribute ms is missing"));
        action.milliseconds = static_cast<DWORD>(Number(node, OLESTR("ms"), 0, 0));
        break;
      case Kind::Hang:
      case Kind::EndEnter:
        CheckAttributes(node, {});
        break;
    }
    if (node.GetAttribute(OLESTR("target"), text)) {
      action.target.source = text;
      if (text == OLESTR(".")) {
        action.target.index = CNVSimTarget::kSelf;
      } else if (text.substr(0, 2) == OLESTR("./") || text.substr(0, 2) == OLESTR("..")) {
        action.target.index = CNVSimTarget::kRelative;
        action.target.relative = text;
      } else {
        action.target.index = kPending;
        m_pendingTargets.push_back(node);
      }
    }
    return action;
  }

  // ---- references ----
  void ResolveReferences() {
    for (const CNVTRXXmlNode& node : m_pendingTargets) {
      TrxString source;
      node.GetAttribute(OLESTR("target"), source);
      if (m_d.FindObject(source) < 0) Fail(node, OLESTR("target names no object: ") + Quoted(source));
    }
    for (CNVSimObjectDef& def : m_d.m_objects) ResolveTargets(def.rules);
    ResolveTargets(m_d.m_generalRules);

    for (PendingObjectFilter& filter : m_objectFilters) {
      const LONG index = m_d.FindObject(filter.path);
      if (index < 0) Fail(filter.node, OLESTR("object names no object: ") + Quoted(filter.path));
      m_d.m_generalRules[filter.rule].object = index;
    }
    for (const auto& [screen, node] : m_literalScreens)
      if (m_d.FindScreen(screen) < 0) Fail(node, OLESTR("screen names no screen: ") + Quoted(screen));
    for (const auto& [view, node] : m_literalViews) {
      bool found = false;
      for (const CNVSimScreenDef& screen : m_d.m_screens)
        for (LONG index : screen.views)
          if (Def(index).name == view) found = true;
      if (!found) Fail(node, OLESTR("view names no view: ") + Quoted(view));
    }
  }
  void ResolveTargets(std::vector<CNVSimRule>& rules) {
    for (CNVSimRule& rule : rules)
      for (CNVSimAction& action : rule.actions)
        if (action.target.index == kPending) action.target.index = m_d.FindObject(action.target.source);
  }

  // Two visible siblings of one type and name would make GetChild
  // ambiguous: refused, except among objects of different screens.
  void CheckDuplicates() {
    for (const CNVSimObjectDef& def : m_d.m_objects) {
      std::set<std::tuple<LONG, LONG, TrxString>> seen;  // screen, type, name
      std::set<std::pair<LONG, TrxString>> unscoped;
      for (LONG child : def.children) {
        const CNVSimObjectDef& c = Def(child);
        if (!c.visible) continue;
        if (!seen.emplace(c.screen, c.type, c.name).second) {
          throw LoadFailure{c.line,
                            OLESTR("<object type=\"") + CNVSimNames::ObjectTypeName(c.type) + OLESTR("\" name=") +
                                Quoted(c.name) + OLESTR(">"),
                            OLESTR("a second ") + CNVSimNames::ObjectTypeName(c.type) + OLESTR(" named ") +
                                Quoted(c.name) + OLESTR(" beside it")};
        }
        if (c.screen < 0) unscoped.emplace(c.type, c.name);
      }
      for (LONG child : def.children) {
        const CNVSimObjectDef& c = Def(child);
        if (c.visible && c.screen >= 0 && unscoped.count({c.type, c.name})) {
          throw LoadFailure{c.line, OLESTR("<object name=") + Quoted(c.name) + OLESTR(">"),
                            OLESTR("the application already has a ") + CNVSimNames::ObjectTypeName(c.type) +
                                OLESTR(" named ") + Quoted(c.name)};
        }
      }
    }
  }

  CNVSimDescription& m_d;
  const CNVSimXmlLocator& m_locator;
  std::map<const void*, size_t> m_ordinals;
  std::vector<CNVTRXXmlNode> m_pendingTargets;
  std::vector<PendingObjectFilter> m_objectFilters;
  std::vector<std::pair<TrxString, CNVTRXXmlNode>> m_literalScreens;
  std::vector<std::pair<TrxString, CNVTRXXmlNode>> m_literalViews;
};

std::shared_ptr<const CNVSimDescription> CNVSimDescription::LoadText(TrxStringView text, TrxStringView sourceName,
                                                                     CNVSimLoadError& error) {
  error = CNVSimLoadError();
  error.file = TrxString(sourceName);
  const CNVSimXmlLocator locator(text);
  CNVTRXXmlDocument document;
  if (!document.LoadXml(text) || document.GetDocumentElement().IsNull()) {
    TrxString problem;
    LONG line = 0;
    if (locator.GetProblem(line, problem)) {
      error.line = line;
      error.message = OLESTR("not well-formed XML: ") + problem;
    } else {
      error.message = OLESTR("not well-formed XML");
    }
    return nullptr;
  }
  std::shared_ptr<CNVSimDescription> description(new CNVSimDescription());
  description->m_source = TrxString(sourceName);
  try {
    CNVSimDescriptionLoader loader(*description, locator);
    loader.Load(document);
  } catch (const LoadFailure& failure) {
    error.line = failure.line;
    error.element = failure.element;
    error.message = failure.message;
    return nullptr;
  }
  return description;
}

std::shared_ptr<const CNVSimDescription> CNVSimDescription::LoadFile(TrxStringView path, CNVSimLoadError& error) {
  std::vector<unsigned char> bytes;
  DWORD status = 0;
  if (!ReadWholeFile(path, bytes, status)) {
    error = CNVSimLoadError();
    error.file = TrxString(path);
    error.message = OLESTR("cannot read the file (system error ") + TrxDecimal(status) + OLESTR(")");
    return nullptr;
  }
  return LoadText(DecodeText(bytes), path, error);
}
