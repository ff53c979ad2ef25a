// The XML DOM seam on pugixml.
//
// pugixml builds the tree and evaluates XPath; this file adds what an XML
// DOM has and pugixml leaves out:
// - Well-formedness. pugixml accepts several texts that are not XML (two
//   top-level elements, text beside the element, duplicate attributes, "<"
//   in an attribute value, unknown entities, a declaration that is not at
//   the start, undeclared namespace prefixes). The text is parsed with
//   references left as they are and checked in one pass over the tree,
//   which also resolves the references strictly.
// - Elements that are not yet part of the tree. pugixml creates every node
//   under a parent of the same document, so a created element is put at
//   the top level and remembered as an orphan until it is appended; every
//   document-level view (children, document element, serialisation,
//   selection results) leaves orphans out.
// - Serialisation in the DOM's form (see nvtrxxml.h); pugixml's printer
//   writes a space before "/>" and escapes differently.
// Text crosses the seam as UTF-16 and is held as UTF-8 inside.
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "descriptors/nvtrxxml.h"

struct CNVTRXXmlDocumentState {
  pugi::xml_document doc;
  // The loaded text. It is parsed in place, so names and values of the
  // loaded nodes point into it: it lives as long as the document.
  std::string buffer;
  // Elements created and not yet appended. They sit at pugixml's top level
  // but are not children of the document.
  std::vector<pugi::xml_node_struct*> orphans;

  bool IsOrphan(pugi::xml_node node) const {
    return !orphans.empty() && std::find(orphans.begin(), orphans.end(), node.internal_object()) != orphans.end();
  }
  void Adopt(pugi::xml_node node) {
    auto it = std::find(orphans.begin(), orphans.end(), node.internal_object());
    if (it != orphans.end()) orphans.erase(it);
  }
};

struct CNVTRXXmlAccess {
  static CNVTRXXmlNode Make(const std::shared_ptr<CNVTRXXmlDocumentState>& state, pugi::xml_node node,
                            pugi::xml_attribute attribute = pugi::xml_attribute()) {
    if (!node) return CNVTRXXmlNode();
    return CNVTRXXmlNode(state, node.internal_object(), attribute.internal_object());
  }
  static pugi::xml_node Node(const CNVTRXXmlNode& node) {
    return pugi::xml_node(static_cast<pugi::xml_node_struct*>(node.m_node));
  }
  static pugi::xml_attribute Attribute(const CNVTRXXmlNode& node) {
    return pugi::xml_attribute(static_cast<pugi::xml_attribute_struct*>(node.m_attribute));
  }
  static const std::shared_ptr<CNVTRXXmlDocumentState>& State(const CNVTRXXmlNode& node) { return node.m_state; }
};

namespace {

using Access = CNVTRXXmlAccess;

// pugixml's parse options: every kind of node kept, references left in the
// text for our own strict resolution, top-level text kept so that it can be
// refused.
constexpr unsigned kParseOptions = (pugi::parse_default | pugi::parse_declaration | pugi::parse_comments |
                                    pugi::parse_pi | pugi::parse_doctype | pugi::parse_fragment) &
                                   ~pugi::parse_escapes;

// UTF-16 to UTF-8 and back; plain ASCII, the common case, is copied unit
// by unit.
std::string Narrow(TrxStringView text) {
  if (!std::all_of(text.begin(), text.end(), [](OLECHAR c) { return c < 0x80; })) return TrxNarrow(text);
  return std::string(text.begin(), text.end());
}
TrxString Widen(std::string_view text) {
  if (!std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return TrxWiden(text);
  }
  return TrxString(text.begin(), text.end());
}
TrxString Widen(const char* text) { return text ? Widen(std::string_view(text)) : TrxString(); }

// Widens into `out`, reusing its storage: plain ASCII is copied as it is.
void WidenInto(const char* text, TrxString& out) {
  size_t n = 0;
  while (text[n] && static_cast<unsigned char>(text[n]) < 0x80) ++n;
  if (text[n]) {
    out = TrxWiden(text);
    return;
  }
  out.resize(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<OLECHAR>(text[i]);
}

bool IsTopLevel(pugi::xml_node node) { return node.parent() && node.parent().type() == pugi::node_document; }

// ---- characters and names ------------------------------------------------------------

// Characters XML allows in a document: tab, line feed, carriage return,
// U+0020 to U+D7FF, U+E000 to U+FFFD and paired surrogates.
bool HasOnlyXmlCharacters(TrxStringView text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const uint16_t c = static_cast<uint16_t>(text[i]);
    if (c < 0x20) {
      if (c != 0x09 && c != 0x0A && c != 0x0D) return false;
    } else if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size()) return false;
      const uint16_t next = static_cast<uint16_t>(text[i + 1]);
      if (next < 0xDC00 || next > 0xDFFF) return false;
      ++i;
    } else if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
      return false;
    }
  }
  return true;
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsNameStart(unsigned char c) { return IsAsciiLetter(c) || c == '_' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// An XML name without colons (an NCName). Characters beyond ASCII are all
// taken as name characters.
bool IsNcName(std::string_view name) {
  if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin() + 1, name.end(), [](char c) { return IsNameChar(static_cast<unsigned char>(c)); });
}

// A qualified name: an NCName, or two joined by one colon.
bool IsQName(std::string_view name) {
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos) return IsNcName(name);
  return IsNcName(name.substr(0, colon)) && IsNcName(name.substr(colon + 1));
}

std::string_view PrefixOf(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// Code points a character reference may name. Besides XML 1.0's characters
// the controls U+0001 to U+001F are taken, because GetXml writes them as
// references so that such text survives a round trip.
bool IsReferableCharacter(uint32_t cp) {
  return (cp >= 0x01 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Resolves the five predefined entities and the character references of a
// raw text into `out`. False for anything else after "&".
bool ResolveReferences(std::string_view raw, std::string& out) {
  out.clear();
  out.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    const char c = raw[i];
    if (c != '&') {
      out.push_back(c);
      ++i;
      continue;
    }
    const size_t end = raw.find(';', i + 1);
    if (end == std::string_view::npos) return false;
    const std::string_view ref = raw.substr(i + 1, end - i - 1);
    if (ref == "lt") {
      out.push_back('<');
    } else if (ref == "gt") {
      out.push_back('>');
    } else if (ref == "amp") {
      out.push_back('&');
    } else if (ref == "quot") {
      out.push_back('"');
    } else if (ref == "apos") {
      out.push_back('\'');
    } else if (ref.size() >= 2 && ref[0] == '#') {
      const bool hex = ref[1] == 'x';
      size_t k = hex ? 2 : 1;
      if (k >= ref.size()) return false;
      uint32_t cp = 0;
      for (; k < ref.size(); ++k) {
        const char d = ref[k];
        uint32_t digit;
        if (d >= '0' && d <= '9') {
          digit = static_cast<uint32_t>(d - '0');
        } else if (hex && d >= 'a' && d <= 'f') {
          digit = static_cast<uint32_t>(d - 'a' + 10);
        } else if (hex && d >= 'A' && d <= 'F') {
          digit = static_cast<uint32_t>(d - 'A' + 10);
        } else {
          return false;
        }
        cp = cp * (hex ? 16 : 10) + digit;
        if (cp > 0x10FFFF) return false;
      }
      if (!IsReferableCharacter(cp)) return false;
      TrxAppendUtf8(out, cp);
    } else {
      return false;
    }
    i = end + 1;
  }
  return true;
}

// ---- well-formedness -----------------------------------------------------------------

bool IsDeclarationValue(std::string_view name, std::string_view value) {
  if (name == "version") {
    return value.size() >= 3 && value.substr(0, 2) == "1." &&
           std::all_of(value.begin() + 2, value.end(), [](char c) { return c >= '0' && c <= '9'; });
  }
  if (name == "encoding") {
    return !value.empty() && IsAsciiLetter(static_cast<unsigned char>(value[0])) &&
           std::all_of(value.begin(), value.end(), [](char c) {
             return IsAsciiLetter(static_cast<unsigned char>(c)) || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-';
           });
  }
  if (name == "standalone") return value == "yes" || value == "no";
  return false;
}

// version, then optionally encoding, then optionally standalone.
bool IsWellFormedDeclaration(pugi::xml_node declaration) {
  static const std::string_view order[] = {"version", "encoding", "standalone"};
  size_t next = 0;
  bool first = true;
  for (pugi::xml_attribute a : declaration.attributes()) {
    const std::string_view name = a.name();
    while (next < 3 && order[next] != name) {
      if (first) return false;  // version must come first
      ++next;
    }
    if (next == 3 || !IsDeclarationValue(name, a.value())) return false;
    ++next;
    first = false;
  }
  return !first;
}

class WellFormednessCheck {
 public:
  explicit WellFormednessCheck(bool textStartsWithDeclaration) : m_startsWithDeclaration(textStartsWithDeclaration) {}

  bool Run(pugi::xml_node document) {
    if (!CheckTopLevel(document)) return false;
    pugi::xml_node n = document.first_child();
    while (n) {
      if (!Visit(n)) return false;
      if (n.type() == pugi::node_element) {
        if (pugi::xml_node child = n.first_child()) {
          n = child;
          continue;
        }
        LeaveElement(n);
      }
      while (!n.next_sibling()) {
        n = n.parent();
        if (n == document) return true;
        LeaveElement(n);
      }
      n = n.next_sibling();
    }
    return true;
  }

 private:
  // One element, no text, the declaration only first (and only when the text
  // starts with it), a document type declaration only before the element.
  bool CheckTopLevel(pugi::xml_node document) const {
    int elements = 0;
    bool first = true;
    bool doctype = false;
    for (pugi::xml_node child : document.children()) {
      switch (child.type()) {
        case pugi::node_declaration:
          if (!first || !m_startsWithDeclaration) return false;
          break;
        case pugi::node_doctype:
          if (doctype || elements > 0) return false;
          doctype = true;
          break;
        case pugi::node_element:
          ++elements;
          break;
        case pugi::node_pi:
        case pugi::node_comment:
          break;
        default:
          return false;  // text or CDATA outside the element
      }
      first = false;
    }
    return elements == 1;
  }

  bool Visit(pugi::xml_node n) {
    switch (n.type()) {
      case pugi::node_element:
        return VisitElement(n);
      case pugi::node_pcdata: {
        const std::string_view raw = n.value();
        if (raw.find("]]>") != std::string_view::npos) return false;
        return Resolve(raw, [&](const std::string& text) { return n.set_value(text.c_str()); });
      }
      case pugi::node_cdata:
        return true;
      case pugi::node_comment: {
        const std::string_view text = n.value();
        return text.find("--") == std::string_view::npos && (text.empty() || text.back() != '-');
      }
      case pugi::node_pi: {
        const std::string_view target = n.name();
        return IsNcName(target) && !EqualsNoCaseAscii(target, "xml");
      }
      case pugi::node_declaration:
        return IsTopLevel(n) && std::string_view(n.name()) == "xml" && IsWellFormedDeclaration(n);
      case pugi::node_doctype:
        return IsTopLevel(n);
      default:
        return false;
    }
  }

  bool VisitElement(pugi::xml_node element) {
    const std::string_view name = element.name();
    if (!IsQName(name)) return false;
    size_t count = 0;
    for (pugi::xml_attribute a : element.attributes()) {
      const std::string_view attributeName = a.name();
      if (!IsQName(attributeName)) return false;
      const std::string_view raw = a.value();
      if (raw.find('<') != std::string_view::npos) return false;
      if (!Resolve(raw, [&](const std::string& text) { return a.set_value(text.c_str()); })) return false;
      if (PrefixOf(attributeName) == "xmlns") {
        // A prefix is declared with a name; it cannot be undeclared.
        if (*a.value() == '\0') return false;
        m_prefixes.push_back({attributeName.substr(6), element.internal_object()});
      }
      ++count;
    }
    if (HasDuplicateAttribute(element, count)) return false;
    if (!IsDeclaredPrefix(PrefixOf(name), false)) return false;
    for (pugi::xml_attribute a : element.attributes()) {
      if (!IsDeclaredPrefix(PrefixOf(a.name()), true)) return false;
    }
    return true;
  }

  // The prefixes an element declared go out of scope with it.
  void LeaveElement(pugi::xml_node element) {
    while (!m_prefixes.empty() && m_prefixes.back().element == element.internal_object()) m_prefixes.pop_back();
  }

  bool IsDeclaredPrefix(std::string_view prefix, bool attribute) const {
    if (prefix.empty() || prefix == "xml") return true;
    if (prefix == "xmlns") return attribute;
    return std::any_of(m_prefixes.rbegin(), m_prefixes.rend(),
                       [&](const Prefix& declared) { return declared.prefix == prefix; });
  }

  static bool HasDuplicateAttribute(pugi::xml_node element, size_t count) {
    if (count < 2) return false;
    if (count <= 8) {
      for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute()) {
          if (std::strcmp(a.name(), b.name()) == 0) return true;
        }
      }
      return false;
    }
    std::vector<std::string_view> names;
    names.reserve(count);
    for (pugi::xml_attribute a : element.attributes()) names.emplace_back(a.name());
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
  }

  // Resolves the references of a raw text; `store` writes the result back
  // when there was anything to resolve.
  template <class Store>
  bool Resolve(std::string_view raw, Store store) {
    if (raw.find('&') == std::string_view::npos) return true;
    return ResolveReferences(raw, m_scratch) && store(m_scratch);
  }

  bool m_startsWithDeclaration;
  struct Prefix {
    std::string_view prefix;
    const pugi::xml_node_struct* element;  // the element that declared it
  };
  std::vector<Prefix> m_prefixes;  // declared namespace prefixes in scope, innermost last
  std::string m_scratch;
};

// ---- serialisation -------------------------------------------------------------------

void AppendCharacterReference(std::string& out, unsigned char c) {
  out += "&#";
  if (c >= 10) out.push_back(static_cast<char>('0' + c / 10));
  out.push_back(static_cast<char>('0' + c % 10));
  out.push_back(';');
}

void AppendAttributeText(std::string& out, const char* text) {
  const char* run = text;  // start of the characters not yet written
  for (const char* p = text;; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != '&' && c != '<' && c != '>' && c != '"') continue;
    out.append(run, p);
    run = p + 1;
    switch (c) {
      case 0:
        return;
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        AppendCharacterReference(out, c);
    }
  }
}

bool IsXmlWhiteSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Text made only of white space is written entirely as references: raw,
// it would be white space between elements, which is not a node.
void AppendContentText(std::string& out, const char* text) {
  bool onlyWhiteSpace = true;
  for (const char* p = text; *p && onlyWhiteSpace; ++p) onlyWhiteSpace = IsXmlWhiteSpace(static_cast<unsigned char>(*p));
  for (const char* p = text; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        if (onlyWhiteSpace || (c < 0x20 && c != '\t' && c != '\n')) {
          AppendCharacterReference(out, c);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
}

void AppendAttributes(std::string& out, pugi::xml_node node) {
  for (pugi::xml_attribute a : node.attributes()) {
    out.push_back(' ');
    out += a.name();
    out += "=\"";
    AppendAttributeText(out, a.value());
    out.push_back('"');
  }
}

// Writes a node, or the start tag of an element with children (then true).
bool WriteOpening(std::string& out, pugi::xml_node n) {
  switch (n.type()) {
    case pugi::node_element:
      out.push_back('<');
      out += n.name();
      AppendAttributes(out, n);
      if (n.first_child()) {
        out.push_back('>');
        return true;
      }
      out += "/>";
      return false;
    case pugi::node_pcdata:
      AppendContentText(out, n.value());
      return false;
    case pugi::node_cdata: {
      // "]]>" cannot stand in one section: it is split over two.
      std::string_view text = n.value();
      out += "<![CDATA[";
      for (size_t end; (end = text.find("]]>")) != std::string_view::npos; text.remove_prefix(end + 2)) {
        out.append(text.substr(0, end + 2));
        out += "]]><![CDATA[";
      }
      out.append(text);
      out += "]]>";
      return false;
    }
    case pugi::node_comment:
      out += "<!--";
      out += n.value();
      out += "-->";
      return false;
    case pugi::node_pi:
      out += "<?";
      out += n.name();
      if (*n.value()) {
        out.push_back(' ');
        out += n.value();
      }
      out += "?>";
      return false;
    case pugi::node_declaration:
      out += "<?xml";
      AppendAttributes(out, n);
      out += "?>";
      return false;
    case pugi::node_doctype:
      out += "<!DOCTYPE ";
      out += n.value();
      out.push_back('>');
      return false;
    default:
      return false;
  }
}

// Writes a node and everything below it, without recursion.
void WriteTree(std::string& out, pugi::xml_node start) {
  pugi::xml_node n = start;
  for (;;) {
    if (WriteOpening(out, n)) {
      n = n.first_child();
      continue;
    }
    while (n != start && !n.next_sibling()) {
      n = n.parent();
      out += "</";
      out += n.name();
      out.push_back('>');
    }
    if (n == start) return;
    n = n.next_sibling();
  }
}

// ---- document-level views ------------------------------------------------------------

// Skips orphans among the children of the document.
pugi::xml_node VisibleFrom(const CNVTRXXmlDocumentState& state, pugi::xml_node node, bool forward) {
  while (node && state.IsOrphan(node)) node = forward ? node.next_sibling() : node.previous_sibling();
  return node;
}

pugi::xml_node TopLevelOf(pugi::xml_node node) {
  while (node && node.parent() && node.parent().type() != pugi::node_document) node = node.parent();
  return node;
}

}  // namespace

// ---- CNVTRXXmlNode -------------------------------------------------------------------

CNVTRXXmlNode::CNVTRXXmlNode() noexcept = default;
CNVTRXXmlNode::CNVTRXXmlNode(std::shared_ptr<CNVTRXXmlDocumentState> state, void* node, void* attribute) noexcept
    : m_state(std::move(state)), m_node(node), m_attribute(attribute) {}
CNVTRXXmlNode::CNVTRXXmlNode(const CNVTRXXmlNode& other) = default;
CNVTRXXmlNode::CNVTRXXmlNode(CNVTRXXmlNode&& other) noexcept
    : m_state(std::move(other.m_state)),
      m_node(std::exchange(other.m_node, nullptr)),
      m_attribute(std::exchange(other.m_attribute, nullptr)) {}
CNVTRXXmlNode& CNVTRXXmlNode::operator=(const CNVTRXXmlNode& other) = default;
CNVTRXXmlNode& CNVTRXXmlNode::operator=(CNVTRXXmlNode&& other) noexcept {
  if (this != &other) {
    m_state = std::move(other.m_state);
    m_node = std::exchange(other.m_node, nullptr);
    m_attribute = std::exchange(other.m_attribute, nullptr);
  }
  return *this;
}
CNVTRXXmlNode::~CNVTRXXmlNode() = default;

void CNVTRXXmlNode::Reset() noexcept {
  m_state.reset();
  m_node = nullptr;
  m_attribute = nullptr;
}

bool CNVTRXXmlNode::IsSameNode(const CNVTRXXmlNode& other) const noexcept {
  return GetIdentity() == other.GetIdentity();
}

const void* CNVTRXXmlNode::GetIdentity() const noexcept { return m_attribute ? m_attribute : m_node; }

TRXXMLNODETYPE CNVTRXXmlNode::GetType() const {
  if (m_attribute) return TRXXML_ATTRIBUTE;
  switch (Access::Node(*this).type()) {
    case pugi::node_document:
      return TRXXML_DOCUMENT;
    case pugi::node_element:
      return TRXXML_ELEMENT;
    case pugi::node_pcdata:
      return TRXXML_TEXT;
    case pugi::node_cdata:
      return TRXXML_CDATA;
    case pugi::node_comment:
      return TRXXML_COMMENT;
    case pugi::node_pi:
    case pugi::node_declaration:
      return TRXXML_PROCESSING_INSTRUCTION;
    case pugi::node_doctype:
      return TRXXML_DOCUMENT_TYPE;
    default:
      return TRXXML_NONE;
  }
}

TrxString CNVTRXXmlNode::GetName() const {
  if (m_attribute) return Widen(Access::Attribute(*this).name());
  const pugi::xml_node n = Access::Node(*this);
  switch (n.type()) {
    case pugi::node_document:
      return OLESTR("#document");
    case pugi::node_pcdata:
      return OLESTR("#text");
    case pugi::node_cdata:
      return OLESTR("#cdata-section");
    case pugi::node_comment:
      return OLESTR("#comment");
    case pugi::node_doctype: {
      const std::string_view text = n.value();
      const size_t end = text.find_first_of(" \t\r\n[");
      return TrxWiden(text.substr(0, end));
    }
    case pugi::node_element:
    case pugi::node_pi:
    case pugi::node_declaration:
      return Widen(n.name());
    default:
      return TrxString();
  }
}

TrxString CNVTRXXmlNode::GetValue() const {
  if (m_attribute) return Widen(Access::Attribute(*this).value());
  const pugi::xml_node n = Access::Node(*this);
  switch (n.type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
      return Widen(n.value());
    case pugi::node_declaration: {
      std::string text;
      AppendAttributes(text, n);
      return TrxWiden(std::string_view(text).substr(text.empty() ? 0 : 1));
    }
    default:
      return TrxString();
  }
}

LONG CNVTRXXmlNode::GetAttributeCount() const {
  if (!m_node || m_attribute) return 0;
  LONG count = 0;
  for (pugi::xml_attribute a = Access::Node(*this).first_attribute(); a; a = a.next_attribute()) ++count;
  return count;
}

namespace {
pugi::xml_attribute AttributeAt(pugi::xml_node node, LONG index) {
  if (index < 0) return pugi::xml_attribute();
  pugi::xml_attribute a = node.first_attribute();
  for (; a && index > 0; --index) a = a.next_attribute();
  return a;
}
}  // namespace

bool CNVTRXXmlNode::GetAttributeName(LONG index, TrxString& name) const {
  if (!m_node || m_attribute) return false;
  const pugi::xml_attribute a = AttributeAt(Access::Node(*this), index);
  if (!a) return false;
  WidenInto(a.name(), name);
  return true;
}

bool CNVTRXXmlNode::GetAttributeValue(LONG index, TrxString& value) const {
  if (!m_node || m_attribute) return false;
  const pugi::xml_attribute a = AttributeAt(Access::Node(*this), index);
  if (!a) return false;
  WidenInto(a.value(), value);
  return true;
}

bool CNVTRXXmlNode::GetAttribute(TrxStringView name, TrxString& value) const {
  if (!m_node || m_attribute || name.find(OLECHAR(0)) != TrxStringView::npos) return false;
  const pugi::xml_attribute a = Access::Node(*this).attribute(Narrow(name).c_str());
  if (!a) return false;
  WidenInto(a.value(), value);
  return true;
}

bool CNVTRXXmlNode::SetAttribute(TrxStringView name, TrxStringView value) {
  if (!m_node || m_attribute) return false;
  pugi::xml_node n = Access::Node(*this);
  if (n.type() != pugi::node_element) return false;
  const std::string narrowName = Narrow(name);
  if (!IsQName(narrowName)) return false;
  pugi::xml_attribute a = n.attribute(narrowName.c_str());
  if (!a) a = n.append_attribute(narrowName.c_str());
  return a && a.set_value(Narrow(value).c_str());
}

LONG CNVTRXXmlNode::GetChildCount() const {
  if (!m_node || m_attribute) return 0;
  const pugi::xml_node n = Access::Node(*this);
  LONG count = 0;
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
    if (n.type() != pugi::node_document || !m_state->IsOrphan(c)) ++count;
  }
  return count;
}

bool CNVTRXXmlNode::HasChildNodes() const { return !GetFirstChild().IsNull(); }

CNVTRXXmlNode CNVTRXXmlNode::GetChild(LONG index) const {
  if (!m_node || m_attribute || index < 0) return CNVTRXXmlNode();
  const pugi::xml_node n = Access::Node(*this);
  const bool document = n.type() == pugi::node_document;
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
    if (document && m_state->IsOrphan(c)) continue;
    if (index-- == 0) return Access::Make(m_state, c);
  }
  return CNVTRXXmlNode();
}

CNVTRXXmlNode CNVTRXXmlNode::GetFirstChild() const {
  if (!m_node || m_attribute) return CNVTRXXmlNode();
  const pugi::xml_node n = Access::Node(*this);
  pugi::xml_node c = n.first_child();
  if (n.type() == pugi::node_document) c = VisibleFrom(*m_state, c, true);
  return Access::Make(m_state, c);
}

CNVTRXXmlNode CNVTRXXmlNode::GetLastChild() const {
  if (!m_node || m_attribute) return CNVTRXXmlNode();
  const pugi::xml_node n = Access::Node(*this);
  pugi::xml_node c = n.last_child();
  if (n.type() == pugi::node_document) c = VisibleFrom(*m_state, c, false);
  return Access::Make(m_state, c);
}

CNVTRXXmlNode CNVTRXXmlNode::GetNextSibling() const {
  if (!m_node || m_attribute) return CNVTRXXmlNode();
  const pugi::xml_node n = Access::Node(*this);
  if (IsTopLevel(n)) {
    if (m_state->IsOrphan(n)) return CNVTRXXmlNode();
    return Access::Make(m_state, VisibleFrom(*m_state, n.next_sibling(), true));
  }
  return Access::Make(m_state, n.next_sibling());
}

CNVTRXXmlNode CNVTRXXmlNode::GetParent() const {
  if (!m_node || m_attribute) return CNVTRXXmlNode();
  const pugi::xml_node n = Access::Node(*this);
  if (IsTopLevel(n) && m_state->IsOrphan(n)) return CNVTRXXmlNode();
  return Access::Make(m_state, n.parent());
}

bool CNVTRXXmlNode::AppendChild(const CNVTRXXmlNode& child) {
  if (!m_node || m_attribute || !child.m_node || child.m_attribute || m_state != child.m_state) return false;
  pugi::xml_node parent = Access::Node(*this);
  const pugi::xml_node moved = Access::Node(child);
  const pugi::xml_node_type parentType = parent.type();
  const pugi::xml_node_type childType = moved.type();
  if (parentType == pugi::node_document) {
    if (childType == pugi::node_element) {
      for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && c != moved && !m_state->IsOrphan(c)) return false;
      }
    } else if (childType != pugi::node_comment && childType != pugi::node_pi) {
      return false;
    }
  } else if (parentType == pugi::node_element) {
    if (childType != pugi::node_element && childType != pugi::node_pcdata && childType != pugi::node_cdata &&
        childType != pugi::node_comment && childType != pugi::node_pi) {
      return false;
    }
  } else {
    return false;
  }
  for (pugi::xml_node up = parent; up; up = up.parent()) {
    if (up == moved) return false;
  }
  const bool wasOrphan = IsTopLevel(moved) && m_state->IsOrphan(moved);
  if (!parent.append_move(moved)) return false;
  if (wasOrphan) m_state->Adopt(moved);
  return true;
}

bool CNVTRXXmlNode::SelectSingleNode(TrxStringView xpath, CNVTRXXmlNode& node) const {
  node.Reset();
  if (!m_node) return false;
  if (!m_state->orphans.empty()) {
    // Orphans must be left out of the result, so the whole set is needed.
    std::vector<CNVTRXXmlNode> nodes;
    if (!SelectNodes(xpath, nodes)) return false;
    if (!nodes.empty()) node = std::move(nodes.front());
    return true;
  }
  if (xpath.find(OLECHAR(0)) != TrxStringView::npos) return false;
  try {
    const pugi::xpath_query query(Narrow(xpath).c_str());
    const pugi::xml_node self = Access::Node(*this);
    const pugi::xpath_node context =
        m_attribute ? pugi::xpath_node(Access::Attribute(*this), self) : pugi::xpath_node(self);
    const pugi::xpath_node found = query.evaluate_node(context);
    node = found.attribute() ? Access::Make(m_state, found.parent(), found.attribute()) : Access::Make(m_state, found.node());
    return true;
  } catch (...) {
    return false;
  }
}

bool CNVTRXXmlNode::SelectNodes(TrxStringView xpath, std::vector<CNVTRXXmlNode>& nodes) const {
  nodes.clear();
  if (!m_node || xpath.find(OLECHAR(0)) != TrxStringView::npos) return false;
  try {
    const pugi::xpath_query query(Narrow(xpath).c_str());
    const pugi::xml_node self = Access::Node(*this);
    const pugi::xpath_node context =
        m_attribute ? pugi::xpath_node(Access::Attribute(*this), self) : pugi::xpath_node(self);
    pugi::xpath_node_set found = query.evaluate_node_set(context);
    found.sort();
    // Orphans are reached only from inside themselves.
    const pugi::xml_node contextTop = TopLevelOf(self);
    nodes.reserve(found.size());
    for (const pugi::xpath_node& f : found) {
      const pugi::xml_node owner = f.attribute() ? f.parent() : f.node();
      if (!m_state->orphans.empty()) {
        const pugi::xml_node top = TopLevelOf(owner);
        if (top != contextTop && m_state->IsOrphan(top)) continue;
      }
      nodes.push_back(f.attribute() ? Access::Make(m_state, owner, f.attribute()) : Access::Make(m_state, owner));
    }
    return true;
  } catch (...) {
    nodes.clear();
    return false;
  }
}

TrxString CNVTRXXmlNode::GetXml() const {
  if (!m_node) return TrxString();
  std::string out;
  out.reserve(256);
  if (m_attribute) {
    const pugi::xml_attribute a = Access::Attribute(*this);
    out += a.name();
    out += "=\"";
    AppendAttributeText(out, a.value());
    out.push_back('"');
    return Widen(out);
  }
  const pugi::xml_node n = Access::Node(*this);
  if (n.type() == pugi::node_document) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (m_state->IsOrphan(c)) continue;
      WriteTree(out, c);
      out += "\r\n";
    }
  } else {
    WriteTree(out, n);
  }
  return Widen(out);
}

CNVTRXXmlDocument CNVTRXXmlNode::GetOwnerDocument() const {
  return m_state ? CNVTRXXmlDocument(m_state) : CNVTRXXmlDocument();
}

// ---- CNVTRXXmlDocument ---------------------------------------------------------------

CNVTRXXmlDocument::CNVTRXXmlDocument() : m_state(std::make_shared<CNVTRXXmlDocumentState>()) {}
CNVTRXXmlDocument::CNVTRXXmlDocument(std::shared_ptr<CNVTRXXmlDocumentState> state) noexcept
    : m_state(std::move(state)) {}
CNVTRXXmlDocument::~CNVTRXXmlDocument() = default;

bool CNVTRXXmlDocument::LoadXml(TrxStringView text) {
  // Nodes of the former content keep it: unless nothing else refers to
  // it, the content goes to a new state.
  if (m_state.use_count() == 1) {
    m_state->doc.reset();
    m_state->orphans.clear();
  } else {
    m_state = std::make_shared<CNVTRXXmlDocumentState>();
  }
  if (!text.empty() && static_cast<uint16_t>(text.front()) == 0xFEFF) text.remove_prefix(1);
  if (!HasOnlyXmlCharacters(text)) return false;
  CNVTRXXmlDocumentState& state = *m_state;
  state.buffer = Narrow(text);
  const bool startsWithDeclaration = state.buffer.compare(0, 5, "<?xml") == 0;
  const pugi::xml_parse_result parsed =
      state.doc.load_buffer_inplace(state.buffer.data(), state.buffer.size(), kParseOptions, pugi::encoding_utf8);
  if (parsed && WellFormednessCheck(startsWithDeclaration).Run(state.doc)) return true;
  state.doc.reset();
  state.buffer.clear();
  return false;
}

CNVTRXXmlNode CNVTRXXmlDocument::AsNode() const { return Access::Make(m_state, m_state->doc); }

CNVTRXXmlNode CNVTRXXmlDocument::GetDocumentElement() const {
  for (pugi::xml_node c = m_state->doc.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && !m_state->IsOrphan(c)) return Access::Make(m_state, c);
  }
  return CNVTRXXmlNode();
}

CNVTRXXmlNode CNVTRXXmlDocument::CreateElement(TrxStringView name) {
  const std::string narrowName = Narrow(name);
  if (!IsQName(narrowName)) return CNVTRXXmlNode();
  pugi::xml_node element = m_state->doc.append_child(narrowName.c_str());
  if (!element) return CNVTRXXmlNode();
  m_state->orphans.push_back(element.internal_object());
  return Access::Make(m_state, element);
}
