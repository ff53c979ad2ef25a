// The read-only registry: a .reg text file parsed into a tree at each open,
// and a table of open keys, each holding a snapshot of its subtree.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>

#include "pal_internal.h"
#include "pal_registry.h"
#include "pal_string.h"

namespace {

using Text = std::u16string;

// Names compare through the platform's upper-case mapping (as lstrcmpiW).
Text folded(Text text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

struct Value {
  Text name;  // as first spelled; "" is the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Node {
  Text name;
  // Keyed by folded name, which also gives the case-insensitive order.
  std::map<Text, std::shared_ptr<Node>> children;
  std::map<Text, Value> values;  // "" is the default value
};

enum Root { LocalMachine, CurrentUser, ClassesRoot, RootCount };

struct Registry {
  std::shared_ptr<Node> roots[RootCount];
  FILETIME written = {0, 0};
};

// ---- text ------------------------------------------------------------------------------

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

Text trimmed(const Text& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool startsWithNoCase(const Text& text, size_t pos, std::u16string_view prefix) {
  if (text.size() - pos < prefix.size()) return false;
  return folded(text.substr(pos, prefix.size())) == folded(Text(prefix));
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Parses 1..maxDigits hex digits making up all of text.
bool parseHex(const Text& text, size_t maxDigits, uint32_t* out) {
  if (text.empty() || text.size() > maxDigits) return false;
  uint32_t value = 0;
  for (char16_t c : text) {
    int digit = hexDigit(c);
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  *out = value;
  return true;
}

// Reads a quoted string starting at text[pos] == '"': "\\" and "\"" are
// escapes, any other backslash stays as it is. pos ends after the closing
// quote. False if the string is not closed on this line.
bool parseQuoted(const Text& text, size_t& pos, Text* out) {
  if (pos >= text.size() || text[pos] != u'"') return false;
  ++pos;
  out->clear();
  while (pos < text.size()) {
    char16_t c = text[pos++];
    if (c == u'"') return true;
    if (c == u'\\' && pos < text.size() && (text[pos] == u'\\' || text[pos] == u'"')) c = text[pos++];
    *out += c;
  }
  return false;
}

std::vector<BYTE> utf16Bytes(const Text& text) {
  std::vector<BYTE> bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// The file's bytes as UTF-16: UTF-16LE with its byte-order mark, else UTF-8
// (with or without one).
Text decode(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    Text text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(
          static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
  }
  std::string_view view(bytes);
  if (view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  return pal::widen(view);
}

std::vector<Text> splitPath(const Text& path) {
  std::vector<Text> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == Text::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// ---- tree --------------------------------------------------------------------------------

std::shared_ptr<Node> copyOf(const Node& node) {
  auto copy = std::make_shared<Node>();
  copy->name = node.name;
  copy->values = node.values;
  for (const auto& [key, child] : node.children) copy->children.emplace(key, copyOf(*child));
  return copy;
}

// Adds source's values and keys to target; source wins where both have one.
void mergeInto(Node& target, const Node& source) {
  for (const auto& [key, value] : source.values) target.values[key] = value;
  for (const auto& [key, child] : source.children) {
    auto found = target.children.find(key);
    if (found == target.children.end())
      target.children.emplace(key, copyOf(*child));
    else
      mergeInto(*found->second, *child);
  }
}

const Node* findPath(const Node* node, const std::vector<Text>& names) {
  for (const Text& name : names) {
    if (node == nullptr) return nullptr;
    auto found = node->children.find(folded(name));
    node = found == node->children.end() ? nullptr : found->second.get();
  }
  return node;
}

// ---- the .reg format ----------------------------------------------------------------------

class Parser {
 public:
  explicit Parser(Registry& registry) : m_registry(registry) {}

  void Parse(const Text& text) {
    std::vector<Text> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(u'\n', start);
      if (end == Text::npos) end = text.size();
      Text line = text.substr(start, end - start);
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      lines.push_back(std::move(line));
      start = end + 1;
    }
    bool first = true;
    for (size_t i = 0; i < lines.size(); ++i) {
      Text line = trimmed(lines[i]);
      if (line.empty() || line[0] == u';') continue;
      if (first) {
        first = false;
        if (line == u"Windows Registry Editor Version 5.00") continue;
        if (line == u"REGEDIT4") {
          m_eightBit = true;
          continue;
        }
      }
      if (line[0] == u'[') {
        KeyLine(line);
      } else if (line[0] == u'@' || line[0] == u'"') {
        // Hex data may go on over the following lines, each but the last
        // ending in a backslash.
        size_t equals = DataStart(line);
        if (equals != Text::npos && startsWithNoCase(line, equals, u"hex")) {
          while (!line.empty() && line.back() == u'\\' && i + 1 < lines.size()) {
            line.pop_back();
            line += trimmed(lines[++i]);
          }
        }
        ValueLine(line);
      }
      // Anything else is a malformed line and is skipped.
    }
  }

 private:
  // Where the data of a value line starts (after '=' and blanks); npos if
  // the name is malformed.
  static size_t DataStart(const Text& line) {
    size_t pos = 0;
    Text name;
    if (line[0] == u'@') {
      pos = 1;
    } else if (!parseQuoted(line, pos, &name)) {
      return Text::npos;
    }
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != u'=') return Text::npos;
    ++pos;
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    return pos;
  }

  void KeyLine(const Text& line) {
    m_current = nullptr;
    if (line.back() != u']') return;
    Text path = line.substr(1, line.size() - 2);
    bool remove = !path.empty() && path[0] == u'-';
    if (remove) path.erase(0, 1);
    std::vector<Text> names = splitPath(path);
    if (names.empty()) return;
    Text root = folded(names[0]);
    names.erase(names.begin());
    Node* node;
    if (root == u"HKEY_LOCAL_MACHINE" || root == u"HKLM") {
      node = RootNode(LocalMachine);
    } else if (root == u"HKEY_CURRENT_USER" || root == u"HKCU") {
      node = RootNode(CurrentUser);
    } else if (root == u"HKEY_CLASSES_ROOT" || root == u"HKCR") {
      node = RootNode(LocalMachine);
      names.insert(names.begin(), {u"SOFTWARE", u"Classes"});
    } else {
      return;
    }
    if (remove) {
      if (names.empty()) return;  // a root cannot be deleted
      Text last = names.back();
      names.pop_back();
      if (Node* parent = const_cast<Node*>(findPath(node, names))) parent->children.erase(folded(last));
      return;
    }
    for (const Text& name : names) {
      auto& child = node->children[folded(name)];
      if (!child) {
        child = std::make_shared<Node>();
        child->name = name;
      }
      node = child.get();
    }
    m_current = node;
  }

  void ValueLine(const Text& line) {
    if (m_current == nullptr) return;  // before any key, or after a bad or deleting key line
    Text name;
    size_t pos = 0;
    if (line[0] == u'"' && !parseQuoted(line, pos, &name)) return;
    size_t dataStart = DataStart(line);
    if (dataStart == Text::npos) return;
    Text data = trimmed(line.substr(dataStart));
    Text key = folded(name);
    if (data == u"-") {
      m_current->values.erase(key);
      return;
    }
    Value value;
    if (!ParseData(data, &value)) return;
    auto found = m_current->values.find(key);
    value.name = found != m_current->values.end() ? found->second.name : name;
    m_current->values[key] = std::move(value);
  }

  bool ParseData(const Text& data, Value* value) const {
    if (!data.empty() && data[0] == u'"') {
      size_t pos = 0;
      Text text;
      if (!parseQuoted(data, pos, &text) || pos != data.size()) return false;
      value->type = REG_SZ;
      value->data = utf16Bytes(text);
      return true;
    }
    if (startsWithNoCase(data, 0, u"dword:")) {
      uint32_t number;
      if (!parseHex(trimmed(data.substr(6)), 8, &number)) return false;
      value->type = REG_DWORD;
      value->data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                     static_cast<BYTE>(number >> 24)};
      return true;
    }
    if (!startsWithNoCase(data, 0, u"hex")) return false;
    size_t pos = 3;
    uint32_t type = REG_BINARY;
    if (pos < data.size() && data[pos] == u'(') {
      size_t close = data.find(u')', pos);
      if (close == Text::npos || !parseHex(data.substr(pos + 1, close - pos - 1), 8, &type)) return false;
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != u':') return false;
    std::vector<BYTE> bytes;
    Text rest = trimmed(data.substr(pos + 1));
    if (!rest.empty()) {
      for (const Text& byteText : Split(rest)) {
        uint32_t byte;
        if (!parseHex(trimmed(byteText), 2, &byte)) return false;
        bytes.push_back(static_cast<BYTE>(byte));
      }
    }
    // REGEDIT4 files hold the text of expandable and multi-string values
    // as 8-bit characters; version 5 files as UTF-16.
    if (m_eightBit && (type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
      std::string eight(bytes.begin(), bytes.end());
      Text text = pal::widen(eight);
      bytes = utf16Bytes(text);
      bytes.resize(bytes.size() - 2);  // the terminators were among the bytes
    }
    value->type = type;
    value->data = std::move(bytes);
    return true;
  }

  static std::vector<Text> Split(const Text& text) {
    std::vector<Text> pieces;
    size_t start = 0;
    for (;;) {
      size_t comma = text.find(u',', start);
      pieces.push_back(text.substr(start, comma == Text::npos ? Text::npos : comma - start));
      if (comma == Text::npos) return pieces;
      start = comma + 1;
    }
  }

  Node* RootNode(Root which) {
    if (!m_registry.roots[which]) m_registry.roots[which] = std::make_shared<Node>();
    return m_registry.roots[which].get();
  }

  Registry& m_registry;
  Node* m_current = nullptr;
  bool m_eightBit = false;
};

// ---- the file ----------------------------------------------------------------------------

std::string registryPath() {
  std::lock_guard<std::mutex> guard(pal::envLock());
  const char* value = std::getenv("TRX_REGISTRY");
  if (value && *value) return value;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return std::string(config) + "/trx/registry.reg";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.config/trx/registry.reg";
  return std::string();
}

FILETIME modificationTime(const std::filesystem::path& path) {
  std::error_code ec;
  auto written = std::filesystem::last_write_time(path, ec);
  if (ec) return {0, 0};
  auto since1970 =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::file_clock::to_sys(written).time_since_epoch());
  // FILETIME counts 100 ns intervals since 1601-01-01.
  uint64_t ticks = static_cast<uint64_t>(since1970.count() / 100) + 116444736000000000ull;
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The file's keys as written: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER (the
// HKEY_CLASSES_ROOT view is not built). Every root exists afterwards.
std::shared_ptr<Registry> parseFile(const std::string& path) {
  auto registry = std::make_shared<Registry>();
  if (!path.empty()) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      Parser(*registry).Parse(decode(bytes));
      registry->written = modificationTime(path);
    }
  }
  for (auto& root : registry->roots)
    if (!root) root = std::make_shared<Node>();
  return registry;
}

const std::vector<Text>& classesPath() {
  static const std::vector<Text> path = {u"SOFTWARE", u"Classes"};
  return path;
}

// Builds HKEY_CLASSES_ROOT: the machine's classes, then the user's over them.
void buildClassesRoot(Registry& registry) {
  registry.roots[ClassesRoot] = std::make_shared<Node>();
  if (const Node* machine = findPath(registry.roots[LocalMachine].get(), classesPath()))
    mergeInto(*registry.roots[ClassesRoot], *machine);
  if (const Node* user = findPath(registry.roots[CurrentUser].get(), classesPath()))
    mergeInto(*registry.roots[ClassesRoot], *user);
}

std::shared_ptr<const Registry> loadRegistry() {
  std::shared_ptr<Registry> registry = parseFile(registryPath());
  buildClassesRoot(*registry);
  return registry;
}

// ---- writing the file --------------------------------------------------------------------

Text quotedText(const Text& text) {
  Text out = u"\"";
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out + u"\"";
}

const char16_t kHexDigits[] = u"0123456789abcdef";

// The text after '=' that reads back as the same type and bytes.
Text dataText(const Value& value) {
  const std::vector<BYTE>& data = value.data;
  if (value.type == REG_SZ && data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
      data[data.size() - 2] == 0) {
    // A plain string: one terminator at the end and no line breaks or NULs
    // inside, so that it fits on its line between quotes.
    Text text;
    bool plain = true;
    for (size_t i = 0; i + 2 < data.size(); i += 2) {
      char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
      if (c == 0 || c == u'\r' || c == u'\n') plain = false;
      text += c;
    }
    if (plain) return quotedText(text);
  }
  if (value.type == REG_DWORD && data.size() == 4) {
    uint32_t number = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                      static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    Text text = u"dword:";
    for (int shift = 28; shift >= 0; shift -= 4) text += kHexDigits[(number >> shift) & 0xF];
    return text;
  }
  Text text = u"hex";
  if (value.type != REG_BINARY) {
    text += u'(';
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      uint32_t digit = (value.type >> shift) & 0xF;
      if (digit != 0 || started || shift == 0) {
        text += kHexDigits[digit];
        started = true;
      }
    }
    text += u')';
  }
  text += u':';
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0) text += u',';
    text += kHexDigits[data[i] >> 4];
    text += kHexDigits[data[i] & 0xF];
  }
  return text;
}

// Writes node's section (when it has values, or is a key without subkeys
// that would otherwise be lost) and then its subkeys', in name order.
void writeKey(Text& out, const Text& path, const Node& node, bool isRoot) {
  if (!node.values.empty() || (node.children.empty() && !isRoot)) {
    out += u"\r\n[" + path + u"]\r\n";
    for (const auto& [key, value] : node.values) {
      (void)key;
      out += (value.name.empty() ? Text(u"@") : quotedText(value.name)) + u"=" + dataText(value) + u"\r\n";
    }
  }
  for (const auto& [key, child] : node.children) writeKey(out, path + u"\\" + child->name, *child, false);
}

Text fileText(const Registry& registry) {
  Text out = u"Windows Registry Editor Version 5.00\r\n";
  writeKey(out, u"HKEY_LOCAL_MACHINE", *registry.roots[LocalMachine], true);
  writeKey(out, u"HKEY_CURRENT_USER", *registry.roots[CurrentUser], true);
  return out;
}

// Writes the file in one step: a new file beside it, renamed over it.
LSTATUS replaceFile(const std::string& path, const Text& text) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  std::filesystem::path target(path);
  std::error_code ec;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  std::filesystem::path next = path + ".writing";
  {
    std::ofstream out(next, std::ios::binary | std::ios::trunc);
    if (!out) return ERROR_ACCESS_DENIED;
    out << pal::narrow(text.data(), text.size());
    out.flush();
    if (!out) {
      out.close();
      std::filesystem::remove(next, ec);
      return ERROR_WRITE_FAULT;
    }
  }
  std::filesystem::rename(next, target, ec);
  if (ec) {
    std::filesystem::remove(next, ec);
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

// Writes from every thread of the process go one after the other.
std::mutex& writeLock() {
  static std::mutex* instance = new std::mutex;
  return *instance;
}

// ---- open keys -------------------------------------------------------------------------

struct OpenKey {
  std::shared_ptr<const Node> node;  // shares ownership of the whole snapshot
  FILETIME written = {0, 0};
  REGSAM access = 0;
  int root = LocalMachine;  // which predefined key the path starts from
  std::vector<Text> path;   // names below it, as the caller spelled them
};

std::mutex& tableLock() {
  static std::mutex* instance = new std::mutex;
  return *instance;
}

std::unordered_map<ULONG_PTR, OpenKey>& table() {
  static auto* instance = new std::unordered_map<ULONG_PTR, OpenKey>;
  return *instance;
}

// Handle values are never reused; they stay clear of the predefined keys.
ULONG_PTR g_nextHandle = 0x1000;

int predefinedRoot(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return LocalMachine;
  if (key == HKEY_CURRENT_USER) return CurrentUser;
  if (key == HKEY_CLASSES_ROOT) return ClassesRoot;
  return -1;
}

constexpr REGSAM kKeyRights = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS |
                              KEY_NOTIFY | KEY_CREATE_LINK | DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER;
constexpr REGSAM kIgnoredFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// The rights asked for, generic rights mapped to the key's; false for a right
// keys do not have.
bool keyRights(REGSAM samDesired, REGSAM* rights) {
  REGSAM asked = samDesired & ~kIgnoredFlags;
  REGSAM mapped = 0;
  if (asked & GENERIC_READ) mapped |= KEY_READ;
  if (asked & GENERIC_WRITE) mapped |= KEY_WRITE;
  if (asked & GENERIC_EXECUTE) mapped |= KEY_EXECUTE;
  if (asked & (GENERIC_ALL | MAXIMUM_ALLOWED)) mapped |= KEY_ALL_ACCESS;
  asked &= ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (asked & ~kKeyRights) return false;
  *rights = asked | mapped;
  return true;
}

LSTATUS resolve(HKEY key, OpenKey* out) {
  int root = predefinedRoot(key);
  if (root >= 0) {
    std::shared_ptr<const Registry> registry = loadRegistry();
    out->node = std::shared_ptr<const Node>(registry, registry->roots[root].get());
    out->written = registry->written;
    out->access = KEY_ALL_ACCESS;
    out->root = root;
    out->path.clear();
    return ERROR_SUCCESS;
  }
  std::lock_guard<std::mutex> guard(tableLock());
  auto found = table().find(reinterpret_cast<ULONG_PTR>(key));
  if (found == table().end()) return ERROR_INVALID_HANDLE;
  *out = found->second;
  return ERROR_SUCCESS;
}

HKEY addHandle(OpenKey opened) {
  std::lock_guard<std::mutex> guard(tableLock());
  ULONG_PTR handle = g_nextHandle;
  g_nextHandle += 4;
  table().emplace(handle, std::move(opened));
  return reinterpret_cast<HKEY>(handle);
}

// ---- changes -------------------------------------------------------------------------------

// Where a key of the file lives: a root of the file (HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER) and the names below it.
struct Place {
  int root;
  std::vector<Text> path;
};

std::vector<Text> joined(const std::vector<Text>& first, const std::vector<Text>& second) {
  std::vector<Text> path = first;
  path.insert(path.end(), second.begin(), second.end());
  return path;
}

Place machineClasses(const std::vector<Text>& path) { return {LocalMachine, joined(classesPath(), path)}; }
Place userClasses(const std::vector<Text>& path) { return {CurrentUser, joined(classesPath(), path)}; }

Node* findNode(Registry& registry, const Place& place) {
  return const_cast<Node*>(findPath(registry.roots[place.root].get(), place.path));
}

// The key at place, created with its parents where missing (each named as
// given here).
Node* createNode(Registry& registry, const Place& place) {
  Node* node = registry.roots[place.root].get();
  for (const Text& name : place.path) {
    auto& child = node->children[folded(name)];
    if (!child) {
      child = std::make_shared<Node>();
      child->name = name;
    }
    node = child.get();
  }
  return node;
}

// The existing key whose values a handle at (root, path) changes. Through
// HKEY_CLASSES_ROOT that is the user's key when there is one, else the
// machine's.
Node* valueNode(Registry& registry, int root, const std::vector<Text>& path) {
  if (root != ClassesRoot) return findNode(registry, {root, path});
  if (Node* user = findNode(registry, userClasses(path))) return user;
  return findNode(registry, machineClasses(path));
}

// Applies change to the file as it is now and, if change succeeds, writes
// the result. refresh (optional) is the handle whose snapshot then shows the
// result (its key, if it still exists).
LSTATUS modify(HKEY refresh, const std::function<LSTATUS(Registry&)>& change) {
  std::lock_guard<std::mutex> serialised(writeLock());
  const std::string path = registryPath();
  std::shared_ptr<Registry> registry = parseFile(path);
  if (LSTATUS status = change(*registry); status != ERROR_SUCCESS) return status;
  if (LSTATUS status = replaceFile(path, fileText(*registry)); status != ERROR_SUCCESS) return status;
  registry->written = modificationTime(path);
  buildClassesRoot(*registry);
  if (refresh != nullptr && predefinedRoot(refresh) < 0) {
    std::lock_guard<std::mutex> guard(tableLock());
    auto found = table().find(reinterpret_cast<ULONG_PTR>(refresh));
    if (found != table().end()) {
      OpenKey& key = found->second;
      if (const Node* node = findPath(registry->roots[key.root].get(), key.path)) {
        key.node = std::shared_ptr<const Node>(std::shared_ptr<const Registry>(registry), node);
        key.written = registry->written;
      }
    }
  }
  return ERROR_SUCCESS;
}

// Removes the key at path below the handle's key, with everything below it.
// Through HKEY_CLASSES_ROOT both the machine's and the user's key go.
// ERROR_FILE_NOT_FOUND if there is no such key.
LSTATUS removeKey(Registry& registry, int root, const std::vector<Text>& path) {
  std::vector<Place> places;
  if (root == ClassesRoot)
    places = {machineClasses(path), userClasses(path)};
  else
    places = {{root, path}};
  bool found = false;
  for (const Place& place : places)
    if (findNode(registry, place) != nullptr) found = true;
  if (!found) return ERROR_FILE_NOT_FOUND;
  for (const Place& place : places) {
    std::vector<Text> parentPath(place.path.begin(), place.path.end() - 1);
    if (Node* parent = findNode(registry, {place.root, parentPath})) parent->children.erase(folded(place.path.back()));
  }
  return ERROR_SUCCESS;
}

LSTATUS subKeyNames(LPCWSTR lpSubKey, std::vector<Text>* names) {
  Text subKey = lpSubKey ? Text(lpSubKey) : Text();
  if (!subKey.empty() && subKey[0] == u'\\') return ERROR_BAD_PATHNAME;
  *names = splitPath(subKey);
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  REGSAM rights = 0;
  if (!keyRights(samDesired, &rights)) return ERROR_ACCESS_DENIED;
  std::vector<Text> names;
  if (LSTATUS status = subKeyNames(lpSubKey, &names); status != ERROR_SUCCESS) return status;
  OpenKey parent;
  if (LSTATUS status = resolve(hKey, &parent); status != ERROR_SUCCESS) return status;
  const Node* node = findPath(parent.node.get(), names);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  *phkResult = addHandle(OpenKey{std::shared_ptr<const Node>(parent.node, node), parent.written, rights, parent.root,
                                 joined(parent.path, names)});
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
      (lpClass != nullptr && lpcchClass == nullptr))
    return ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (LSTATUS status = resolve(hKey, &key); status != ERROR_SUCCESS) return status;
  if ((key.access & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
  if (dwIndex >= key.node->children.size()) return ERROR_NO_MORE_ITEMS;
  auto child = key.node->children.begin();
  std::advance(child, dwIndex);
  const Text& name = child->second->name;
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  if (lpClass != nullptr && *lpcchClass == 0) return ERROR_MORE_DATA;
  std::char_traits<char16_t>::copy(lpName, name.data(), name.size());
  lpName[name.size()] = 0;
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass != nullptr) {
    lpClass[0] = 0;
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = key.written;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (LSTATUS status = resolve(hKey, &key); status != ERROR_SUCCESS) return status;
  if ((key.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  auto found = key.node->values.find(folded(lpValueName ? Text(lpValueName) : Text()));
  if (found == key.node->values.end()) return ERROR_FILE_NOT_FOUND;
  const Value& value = found->second;
  if (lpType != nullptr) *lpType = value.type;
  const DWORD size = static_cast<DWORD>(value.data.size());
  if (lpData != nullptr) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (size > 0) std::copy(value.data.begin(), value.data.end(), lpData);
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (predefinedRoot(hKey) >= 0) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> guard(tableLock());
  return table().erase(reinterpret_cast<ULONG_PTR>(hKey)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR, DWORD, REGSAM samDesired,
                               const SECURITY_ATTRIBUTES*, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (phkResult == nullptr || Reserved != 0) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  REGSAM rights = 0;
  if (!keyRights(samDesired, &rights)) return ERROR_ACCESS_DENIED;
  std::vector<Text> names;
  if (LSTATUS status = subKeyNames(lpSubKey, &names); status != ERROR_SUCCESS) return status;
  OpenKey parent;
  if (LSTATUS status = resolve(hKey, &parent); status != ERROR_SUCCESS) return status;
  if (!names.empty() && (parent.access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
  const std::vector<Text> path = joined(parent.path, names);
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  // Registered first so that the write below refreshes its snapshot.
  HKEY created = addHandle(OpenKey{parent.node, parent.written, rights, parent.root, path});
  LSTATUS status = modify(created, [&](Registry& registry) -> LSTATUS {
    const Place place = parent.root == ClassesRoot ? machineClasses(path) : Place{parent.root, path};
    if (parent.root == ClassesRoot ? valueNode(registry, ClassesRoot, path) != nullptr
                                   : findNode(registry, place) != nullptr)
      return ERROR_ALREADY_EXISTS;  // nothing to write
    // A key opened before (not a predefined one) must still exist.
    if (predefinedRoot(hKey) < 0 && valueNode(registry, parent.root, parent.path) == nullptr) return ERROR_KEY_DELETED;
    createNode(registry, place);
    disposition = REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
  });
  if (status == ERROR_ALREADY_EXISTS) {
    // The key is there: the handle gets a fresh snapshot of it.
    std::shared_ptr<const Registry> registry = loadRegistry();
    const Node* node = findPath(registry->roots[parent.root].get(), path);
    std::lock_guard<std::mutex> guard(tableLock());
    OpenKey& key = table().at(reinterpret_cast<ULONG_PTR>(created));
    if (node != nullptr) {
      key.node = std::shared_ptr<const Node>(registry, node);
      key.written = registry->written;
      status = ERROR_SUCCESS;
    } else {
      status = ERROR_KEY_DELETED;  // removed by another process in between
    }
  }
  if (status != ERROR_SUCCESS) {
    RegCloseKey(created);
    return status;
  }
  *phkResult = created;
  if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
  if (Reserved != 0 || (lpData == nullptr && cbData > 0)) return ERROR_INVALID_PARAMETER;
  if ((dwType == REG_DWORD || dwType == REG_DWORD_BIG_ENDIAN) && cbData != 4) return ERROR_INVALID_PARAMETER;
  if (dwType == REG_QWORD && cbData != 8) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (LSTATUS status = resolve(hKey, &key); status != ERROR_SUCCESS) return status;
  if ((key.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  Value value;
  value.name = lpValueName ? Text(lpValueName) : Text();
  value.type = dwType;
  if (cbData > 0) value.data.assign(lpData, lpData + cbData);
  return modify(hKey, [&](Registry& registry) -> LSTATUS {
    Node* node = valueNode(registry, key.root, key.path);
    if (node == nullptr && predefinedRoot(hKey) >= 0)
      node = createNode(registry, key.root == ClassesRoot ? machineClasses({}) : Place{key.root, {}});
    if (node == nullptr) return ERROR_KEY_DELETED;
    auto found = node->values.find(folded(value.name));
    if (found != node->values.end()) value.name = found->second.name;  // keeps its spelling
    node->values[folded(value.name)] = value;
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  OpenKey key;
  if (LSTATUS status = resolve(hKey, &key); status != ERROR_SUCCESS) return status;
  if ((key.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const Text name = folded(lpValueName ? Text(lpValueName) : Text());
  return modify(hKey, [&](Registry& registry) -> LSTATUS {
    Node* node = valueNode(registry, key.root, key.path);
    if (node == nullptr) return predefinedRoot(hKey) >= 0 ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    return node->values.erase(name) == 1 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  std::vector<Text> names;
  if (LSTATUS status = subKeyNames(lpSubKey, &names); status != ERROR_SUCCESS) return status;
  OpenKey key;
  if (LSTATUS status = resolve(hKey, &key); status != ERROR_SUCCESS) return status;
  const REGSAM needed = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | (lpSubKey == nullptr ? KEY_SET_VALUE : 0);
  if ((key.access & needed) != needed) return ERROR_ACCESS_DENIED;
  const std::vector<Text> path = joined(key.path, names);
  if (lpSubKey != nullptr && !names.empty()) {
    return modify(nullptr, [&](Registry& registry) { return removeKey(registry, key.root, path); });
  }
  // No subkey named: the key's values and subkeys go, the key stays.
  return modify(hKey, [&](Registry& registry) -> LSTATUS {
    std::vector<Place> places;
    if (key.root == ClassesRoot)
      places = {machineClasses(path), userClasses(path)};
    else
      places = {{key.root, path}};
    bool found = false;
    for (const Place& place : places) {
      if (Node* node = findNode(registry, place)) {
        node->values.clear();
        node->children.clear();
        found = true;
      }
    }
    return found || predefinedRoot(hKey) >= 0 ? ERROR_SUCCESS : ERROR_KEY_DELETED;
  });
}
