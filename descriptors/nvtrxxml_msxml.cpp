// The XML DOM seam on MSXML 6 (Windows).
//
// MSXML parses the text and evaluates XPath. Everything else is answered
// from a mirror of the tree that this file keeps beside the MSXML document:
// one record per node (and per attribute) with its type, name, value,
// parent and children, and the MSXML node it stands for.
// - Identity. MSXML may hand out a new COM object each time it returns the
//   same node (Wine's MSXML does), so interface pointers cannot tell two
//   nodes apart. A handle points at the node's record, which exists once.
//   Nodes that XPath returns are mapped to their records by their position
//   in the tree (the index among the siblings at each level). Counting the
//   earlier siblings costs a COM call each, so a selection of many nodes
//   among thousands of siblings is slow (2000 of 2000 siblings: about 0.3 s
//   under Wine).
// - Elements that are not yet part of the tree are MSXML nodes without a
//   parent and records without a parent; MSXML leaves them out of the
//   document's children and of selections from the document by itself.
// - White space. Text of nothing but raw white space between markup is not
//   a node, while text of nothing but white space written as references is.
//   MSXML can keep both or drop both, so the text is parsed with white space
//   kept after a light pass over it has removed the raw white-space runs.
// - Control characters. GetXml writes the characters below U+0020 as
//   character references and LoadXml reads them back, which XML 1.0 (and
//   MSXML) refuses. The pass over the text replaces such references by
//   private-use characters that the text does not use, and the records (and
//   the MSXML nodes, for XPath) get the real characters back after parsing.
// - Element names and attributes (names, order, values) are read from the
//   start tags by the same pass, as are the XML declaration and the
//   document type's text, so that they read and write the same on every
//   MSXML: Wine's leaves namespace declarations out of the attributes.
//   The pass also checks namespace prefixes, which Wine's MSXML drops when
//   they are not declared.
// - XPath names match as written, as on Linux: MSXML is not shown default
//   namespace declarations (an unprefixed name would otherwise only match
//   elements in no namespace), and the document's prefixes are given to it
//   as SelectionNamespaces.
// - Serialisation in the DOM's form (see nvtrxxml.h) is written here from
//   the records; MSXML's own "xml" property writes differently.
//
// Threads and COM. Documents are created as MSXML's free-threaded document
// (FreeThreadedDOMDocument60), whose interface pointers may be used from
// any thread of any apartment without marshalling: the object definitions
// catalogue is loaded once and read from the service's threads. Reading a
// document from several threads at once is safe (the records are not
// changed by reads); changing a document while another thread uses it is
// not. A thread that has not initialised COM cannot create a document
// (CO_E_NOTINITIALIZED): such a thread then joins the process's
// multithreaded apartment once, with CoInitializeEx(COINIT_MULTITHREADED),
// and stays in it until it ends; the backend never uninitialises COM.
// Documents (and node handles) must be released before the process's last
// CoUninitialize, which unloads MSXML.
#include "descriptors/nvtrxxml.h"

#include <msxml2.h>

#include <algorithm>
#include <bitset>
#include <deque>
#include <string>
#include <utility>

namespace {

// mingw-w64 declares the MSXML 6 identifiers without defining them.
constexpr GUID kClsidFreeThreadedDomDocument60 = {
    0x88d96a06, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr GUID kClsidDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr GUID kIidXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr GUID kIidXmlDomElement = {0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

}  // namespace

struct CNVTRXXmlRecord;

struct CNVTRXXmlAttributeRecord {
  TrxString name;
  TrxString value;
  CNVTRXXmlRecord* owner = nullptr;
};

struct CNVTRXXmlRecord {
  TRXXMLNODETYPE type = TRXXML_NONE;
  TrxString name;   // element name, instruction target, document type name
  TrxString value;  // text, comment, instruction data, the document type's text
  CNVTRXXmlRecord* parent = nullptr;
  std::vector<CNVTRXXmlRecord*> children;
  std::vector<CNVTRXXmlAttributeRecord*> attributes;  // also the declaration's pseudo-attributes
  TrxComPtr<IXMLDOMNode> dom;                         // null for a declaration MSXML does not show
};

struct CNVTRXXmlDocumentState {
  TrxComPtr<IXMLDOMDocument2> doc;
  // Records never move (deque) and live as long as the state: the API has
  // no way to remove a node.
  std::deque<CNVTRXXmlRecord> records;  // the first is the document
  std::deque<CNVTRXXmlAttributeRecord> attributes;
  // 1 when the document's first record is a declaration that MSXML does not
  // list among the document's children.
  LONG domOffset = 0;

  CNVTRXXmlRecord* Root() { return &records.front(); }
  CNVTRXXmlRecord* NewRecord(TRXXMLNODETYPE type) {
    records.emplace_back();
    records.back().type = type;
    return &records.back();
  }
  CNVTRXXmlAttributeRecord* NewAttribute(CNVTRXXmlRecord* owner, TrxString name, TrxString value) {
    attributes.push_back(CNVTRXXmlAttributeRecord{std::move(name), std::move(value), owner});
    owner->attributes.push_back(&attributes.back());
    return &attributes.back();
  }
};

struct CNVTRXXmlAccess {
  static CNVTRXXmlNode Make(const std::shared_ptr<CNVTRXXmlDocumentState>& state, CNVTRXXmlRecord* record,
                            CNVTRXXmlAttributeRecord* attribute = nullptr) {
    if (!record) return CNVTRXXmlNode();
    return CNVTRXXmlNode(state, record, attribute);
  }
  static CNVTRXXmlRecord* Record(const CNVTRXXmlNode& node) { return static_cast<CNVTRXXmlRecord*>(node.m_node); }
  static CNVTRXXmlAttributeRecord* Attribute(const CNVTRXXmlNode& node) {
    return static_cast<CNVTRXXmlAttributeRecord*>(node.m_attribute);
  }
};

namespace {

using Access = CNVTRXXmlAccess;
using Record = CNVTRXXmlRecord;
using AttributeRecord = CNVTRXXmlAttributeRecord;

// ---- COM -----------------------------------------------------------------------------

HRESULT CreateInstance(const GUID& clsid, IXMLDOMDocument2** out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2, reinterpret_cast<void**>(out));
}

// A new, empty MSXML document set up for the seam's behaviour; null when
// MSXML 6 cannot be created.
TrxComPtr<IXMLDOMDocument2> CreateDomDocument() {
  TrxComPtr<IXMLDOMDocument2> doc;
  HRESULT hr = CreateInstance(kClsidFreeThreadedDomDocument60, doc.Put());
  if (hr == CO_E_NOTINITIALIZED) {
    // See the top of the file: this thread joins the multithreaded
    // apartment for good.
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
      hr = CreateInstance(kClsidFreeThreadedDomDocument60, doc.Put());
    }
  }
  // Where the free-threaded class is not registered the apartment-model one
  // still works on the thread that created it.
  if (FAILED(hr)) hr = CreateInstance(kClsidDomDocument60, doc.Put());
  if (FAILED(hr) || !doc) return TrxComPtr<IXMLDOMDocument2>();
  doc->put_async(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  // Raw white space is removed before parsing (see PrepareText); what is
  // left is kept.
  doc->put_preserveWhiteSpace(VARIANT_TRUE);
  auto setProperty = [&](const OLECHAR* name, VARIANT value) {
    TrxBstr bstrName(name);
    doc->setProperty(bstrName.Get(), value);
  };
  TrxVariant language;
  language.vt = VT_BSTR;
  language.bstrVal = SysAllocString(OLESTR("XPath"));
  setProperty(OLESTR("SelectionLanguage"), language);
  VARIANT no;
  VariantInit(&no);
  no.vt = VT_BOOL;
  no.boolVal = VARIANT_FALSE;
  // A document type declaration is allowed (MSXML 6 refuses one by
  // default); nothing outside the text is fetched.
  setProperty(OLESTR("ProhibitDTD"), no);
  setProperty(OLESTR("ResolveExternals"), no);
  setProperty(OLESTR("AllowXsltScript"), no);
  setProperty(OLESTR("AllowDocumentFunction"), no);
  return doc;
}

TrxString NodeName(IXMLDOMNode* node) {
  TrxBstr name;
  if (FAILED(node->get_nodeName(name.Put()))) return TrxString();
  return name.ToString();
}

TrxString NodeValue(IXMLDOMNode* node) {
  TrxVariant value;
  if (FAILED(node->get_nodeValue(&value)) || value.vt != VT_BSTR || !value.bstrVal) return TrxString();
  return TrxString(value.bstrVal, SysStringLen(value.bstrVal));
}

LONG NodeType(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  if (FAILED(node->get_nodeType(&type))) return NODE_INVALID;
  return type;
}

TrxComPtr<IXMLDOMNode> ParentOf(IXMLDOMNode* node) {
  TrxComPtr<IXMLDOMNode> parent;
  if (node->get_parentNode(parent.Put()) != S_OK) parent.Reset();
  return parent;
}

TrxComPtr<IXMLDOMElement> AsElement(IXMLDOMNode* node) {
  TrxComPtr<IXMLDOMElement> element;
  if (!node || FAILED(node->QueryInterface(kIidXmlDomElement, element.PutVoid()))) element.Reset();
  return element;
}

bool SetDomAttribute(IXMLDOMNode* node, TrxStringView name, TrxStringView value) {
  TrxComPtr<IXMLDOMElement> element = AsElement(node);
  if (!element) return false;
  TrxBstr bstrName(name);
  TrxVariant bstrValue;
  bstrValue.vt = VT_BSTR;
  bstrValue.bstrVal = SysAllocStringLen(value.data() ? value.data() : OLESTR(""), static_cast<UINT>(value.size()));
  return SUCCEEDED(element->setAttribute(bstrName.Get(), bstrValue));
}

// ---- characters and names ------------------------------------------------------------

bool IsXmlWhiteSpace(OLECHAR c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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

// What a value set through the seam holds: up to the first U+0000, with
// unpaired surrogates replaced by U+FFFD.
TrxString HeldText(TrxStringView text) {
  const size_t nul = text.find(OLECHAR(0));
  if (nul != TrxStringView::npos) text = text.substr(0, nul);
  TrxString out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint16_t c = static_cast<uint16_t>(out[i]);
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < out.size() && static_cast<uint16_t>(out[i + 1]) >= 0xDC00 &&
          static_cast<uint16_t>(out[i + 1]) <= 0xDFFF) {
        ++i;
      } else {
        out[i] = OLECHAR(0xFFFD);
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      out[i] = OLECHAR(0xFFFD);
    }
  }
  return out;
}

bool IsAsciiLetter(OLECHAR c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsNameStart(OLECHAR c) { return IsAsciiLetter(c) || c == '_' || static_cast<uint16_t>(c) >= 0x80; }
bool IsNameChar(OLECHAR c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// An XML name without colons (an NCName). Characters beyond ASCII are all
// taken as name characters.
bool IsNcName(TrxStringView name) {
  if (name.empty() || !IsNameStart(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), IsNameChar);
}

// A qualified name: an NCName, or two joined by one colon.
bool IsQName(TrxStringView name) {
  const size_t colon = name.find(':');
  if (colon == TrxStringView::npos) return IsNcName(name);
  return IsNcName(name.substr(0, colon)) && IsNcName(name.substr(colon + 1));
}

TrxStringView PrefixOf(TrxStringView name) {
  const size_t colon = name.find(':');
  return colon == TrxStringView::npos ? TrxStringView() : name.substr(0, colon);
}

bool EqualsNoCaseAscii(TrxStringView a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    OLECHAR x = a[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<OLECHAR>(x - 'A' + 'a');
    if (x != static_cast<OLECHAR>(b[i])) return false;
  }
  return i == a.size() && !b[i];
}

bool StartsWith(TrxStringView text, size_t at, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (at + i >= text.size() || text[at + i] != static_cast<OLECHAR>(prefix[i])) return false;
  }
  return true;
}

TrxStringView Trimmed(TrxStringView text) {
  while (!text.empty() && IsXmlWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

// ---- the pass before parsing ---------------------------------------------------------

// Reads a character reference "&#...;" or "&#x...;" at `at`; its code point
// and length, or false when there is none (or it is not one XML reads).
bool ReadCharacterReference(TrxStringView text, size_t at, uint32_t& codePoint, size_t& length) {
  if (!StartsWith(text, at, "&#")) return false;
  size_t i = at + 2;
  const bool hex = i < text.size() && text[i] == 'x';
  if (hex) ++i;
  const size_t digits = i;
  uint32_t cp = 0;
  for (; i < text.size() && text[i] != ';'; ++i) {
    const OLECHAR d = text[i];
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
  if (i == digits || i >= text.size()) return false;
  codePoint = cp;
  length = i + 1 - at;
  return true;
}

bool IsControlOutsideXml(uint32_t cp) { return cp >= 0x01 && cp < 0x20 && cp != 0x09 && cp != 0x0A && cp != 0x0D; }

constexpr uint32_t kPrivateUseFirst = 0xE000;
constexpr uint32_t kPrivateUseEnd = 0xF900;

// Code points a character reference may name. Besides XML 1.0's characters
// the controls U+0001 to U+001F are taken, because GetXml writes them as
// references so that such text survives a round trip.
bool IsReferableCharacter(uint32_t cp) {
  return (cp >= 0x01 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void AppendCodePoint(TrxString& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<OLECHAR>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<OLECHAR>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<OLECHAR>(0xDC00 + (cp & 0x3FF)));
  }
}

// An attribute value as XML reads it: the five predefined entities and
// character references resolved, a raw tab, line feed, carriage return (or
// carriage return and line feed) made one space. False for "<" or any
// other reference.
bool ReadAttributeValue(TrxStringView raw, TrxString& value) {
  value.clear();
  value.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    const OLECHAR c = raw[i];
    if (c == '<') return false;
    if (c == '\r' || c == '\n' || c == '\t') {
      value.push_back(' ');
      i += (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ? 2 : 1;
      continue;
    }
    if (c != '&') {
      value.push_back(c);
      ++i;
      continue;
    }
    uint32_t cp;
    size_t length;
    if (ReadCharacterReference(raw, i, cp, length)) {
      if (!IsReferableCharacter(cp)) return false;
      AppendCodePoint(value, cp);
      i += length;
      continue;
    }
    static const struct {
      const char* name;
      OLECHAR c;
    } kEntities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    bool known = false;
    for (const auto& entity : kEntities) {
      if (StartsWith(raw, i, entity.name)) {
        value.push_back(entity.c);
        i += std::char_traits<char>::length(entity.name);
        known = true;
        break;
      }
    }
    if (!known) return false;
  }
  return true;
}

// A start tag as the pass reads it. MSXML builds the elements; their names
// and attributes come from here, because Wine's MSXML leaves namespace
// declarations out of an element's attributes and drops prefixes it does
// not know.
struct StartTag {
  TrxString name;
  std::vector<std::pair<TrxString, TrxString>> attributes;  // name and value, in the order written
  // Where the tag declares the default namespace ("xmlns" from its name to
  // its closing quote); npos when it does not.
  size_t defaultNamespaceStart = TrxStringView::npos;
  size_t defaultNamespaceEnd = TrxStringView::npos;
};

// Reads the start tags in document order and keeps track of the namespace
// prefixes in scope.
class StartTagReader {
 public:
  // A start tag's text from "<" to ">"; false when its attributes cannot be
  // read, it uses a prefix that is not declared or declares one with an
  // empty name. `empty` is an element without an end tag.
  bool Enter(TrxStringView tag, bool empty, std::vector<StartTag>& tags,
             std::vector<std::pair<TrxString, TrxString>>& namespaces) {
    m_starts.push_back(m_prefixes.size());
    size_t i = 1;
    tags.emplace_back();
    StartTag& read = tags.back();
    read.name = TrxString(ReadName(tag, i));
    for (;;) {
      while (i < tag.size() && IsXmlWhiteSpace(tag[i])) ++i;
      const size_t attributeStart = i;
      const TrxStringView attributeName = ReadName(tag, i);
      if (attributeName.empty()) break;
      while (i < tag.size() && (IsXmlWhiteSpace(tag[i]) || tag[i] == '=')) ++i;
      if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) return false;
      const size_t end = tag.find(tag[i], i + 1);
      if (end == TrxStringView::npos) return false;
      TrxString value;
      if (!ReadAttributeValue(tag.substr(i + 1, end - i - 1), value)) return false;
      if (PrefixOf(attributeName) == OLESTR("xmlns")) {
        // A prefix is declared with a name; it cannot be undeclared.
        if (value.empty()) return false;
        m_prefixes.emplace_back(attributeName.substr(6));
        if (std::none_of(namespaces.begin(), namespaces.end(),
                         [&](const auto& known) { return known.first == m_prefixes.back(); })) {
          namespaces.emplace_back(m_prefixes.back(), value);
        }
      } else if (attributeName == OLESTR("xmlns")) {
        read.defaultNamespaceStart = attributeStart;
        read.defaultNamespaceEnd = end + 1;
      }
      read.attributes.emplace_back(TrxString(attributeName), std::move(value));
      i = end + 1;
    }
    bool declared = IsDeclared(PrefixOf(read.name), false);
    for (const auto& attribute : read.attributes) declared = declared && IsDeclared(PrefixOf(attribute.first), true);
    if (empty) Leave();
    return declared;
  }

  void Leave() {
    if (m_starts.empty()) return;
    m_prefixes.resize(m_starts.back());
    m_starts.pop_back();
  }

 private:
  static TrxStringView ReadName(TrxStringView tag, size_t& i) {
    const size_t start = i;
    while (i < tag.size() && !IsXmlWhiteSpace(tag[i]) && tag[i] != '=' && tag[i] != '/' && tag[i] != '>') ++i;
    return tag.substr(start, i - start);
  }

  bool IsDeclared(TrxStringView prefix, bool attribute) const {
    if (prefix.empty() || prefix == OLESTR("xml")) return true;
    if (prefix == OLESTR("xmlns")) return attribute;
    return std::find(m_prefixes.begin(), m_prefixes.end(), prefix) != m_prefixes.end();
  }

  std::vector<TrxString> m_prefixes;
  std::vector<size_t> m_starts;  // where each open element's declarations begin
};

struct PreparedText {
  TrxString text;
  // The document type declaration's text after "<!DOCTYPE".
  TrxString doctype;
  // The declaration's text between "<?xml" and "?>", when the text starts
  // with one.
  bool hasDeclaration = false;
  TrxString declaration;
  // References to control characters were replaced by base + the code
  // point; 0 when there were none.
  uint32_t controlBase = 0;
  // The start tags in document order.
  std::vector<StartTag> tags;
  // Each namespace prefix with the first name it is declared for.
  std::vector<std::pair<TrxString, TrxString>> namespaces;
  // A start tag whose attributes are not XML, or a namespace prefix used
  // where it is not declared or declared empty (Wine's MSXML drops such a
  // prefix from the name instead of refusing the text).
  bool badTag = false;
};

// Chooses 32 private-use characters that the text does not use, raw or as
// a reference, for the control characters; 0 when all blocks are taken.
uint32_t ChooseControlBase(TrxStringView text) {
  std::bitset<(kPrivateUseEnd - kPrivateUseFirst) / 32> taken;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint16_t>(text[i]);
    size_t length;
    if (text[i] == '&') ReadCharacterReference(text, i, cp, length);
    if (cp >= kPrivateUseFirst && cp < kPrivateUseEnd) taken.set((cp - kPrivateUseFirst) / 32);
  }
  for (size_t block = 0; block < taken.size(); ++block) {
    if (!taken.test(block)) return kPrivateUseFirst + static_cast<uint32_t>(block) * 32;
  }
  return 0;
}

// Copies text that holds references (content or a tag) and replaces the
// references to control characters.
void AppendReplacingControls(TrxString& out, TrxStringView text, uint32_t base) {
  if (!base) {
    out.append(text);
    return;
  }
  for (size_t i = 0; i < text.size();) {
    uint32_t cp;
    size_t length;
    if (text[i] == '&' && ReadCharacterReference(text, i, cp, length) && IsControlOutsideXml(cp)) {
      out.push_back(static_cast<OLECHAR>(base + cp));
      i += length;
    } else {
      out.push_back(text[i++]);
    }
  }
}

// The end (one past) of a markup item starting with "<" at `at`; the text's
// size when it does not end (MSXML then refuses the text).
size_t EndOfMarkup(TrxStringView text, size_t at, const char* terminator) {
  const size_t found = text.find(TrxString(terminator, terminator + std::char_traits<char>::length(terminator)), at);
  return found == TrxStringView::npos ? text.size() : found + std::char_traits<char>::length(terminator);
}

// The end of a start or end tag, or of a document type declaration: the
// first ">" outside quotes (and, for the latter, outside its brackets).
size_t EndOfTag(TrxStringView text, size_t at) {
  OLECHAR quote = 0;
  int brackets = 0;
  for (size_t i = at + 1; i < text.size(); ++i) {
    const OLECHAR c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      --brackets;
    } else if (c == '>' && brackets <= 0) {
      return i + 1;
    }
  }
  return text.size();
}

// Removes the runs of raw white space between markup inside the element,
// replaces references to control characters, reads the start tags (and
// leaves default namespace declarations out of what MSXML parses) and takes
// the declaration and the document type's text. A text that is not
// well-formed goes through in a form that is still not well-formed: only
// white space between markup in content and whole, well-formed default
// namespace declarations are removed.
PreparedText PrepareText(TrxStringView text) {
  PreparedText prepared;
  if (text.find(OLESTR("&#")) != TrxStringView::npos) {
    bool controls = false;
    for (size_t at = text.find(OLESTR("&#")); at != TrxStringView::npos && !controls;
         at = text.find(OLESTR("&#"), at + 2)) {
      uint32_t cp;
      size_t length;
      controls = ReadCharacterReference(text, at, cp, length) && IsControlOutsideXml(cp);
    }
    if (controls) prepared.controlBase = ChooseControlBase(text);
  }
  if (StartsWith(text, 0, "<?xml") && text.size() > 5 && (IsXmlWhiteSpace(text[5]) || text[5] == '?')) {
    const size_t end = text.find(OLESTR("?>"), 5);
    if (end != TrxStringView::npos) {
      prepared.hasDeclaration = true;
      prepared.declaration = TrxString(Trimmed(text.substr(5, end - 5)));
    }
  }
  TrxString& out = prepared.text;
  out.reserve(text.size());
  StartTagReader tags;
  int depth = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '<') {
      size_t end = text.find('<', i);
      if (end == TrxStringView::npos) end = text.size();
      const TrxStringView run = text.substr(i, end - i);
      if (depth <= 0 || !std::all_of(run.begin(), run.end(), IsXmlWhiteSpace)) {
        AppendReplacingControls(out, run, prepared.controlBase);
      }
      i = end;
      continue;
    }
    size_t end;
    if (StartsWith(text, i, "<!--")) {
      end = EndOfMarkup(text, i + 4, "-->");
      out.append(text.substr(i, end - i));
    } else if (StartsWith(text, i, "<![CDATA[")) {
      end = EndOfMarkup(text, i + 9, "]]>");
      out.append(text.substr(i, end - i));
    } else if (StartsWith(text, i, "<?")) {
      end = EndOfMarkup(text, i + 2, "?>");
      out.append(text.substr(i, end - i));
    } else if (StartsWith(text, i, "<!DOCTYPE")) {
      end = EndOfTag(text, i);
      const size_t inner = std::min(i + 9, end);
      prepared.doctype = TrxString(Trimmed(text.substr(inner, (end > inner ? end - 1 : inner) - inner)));
      out.append(text.substr(i, end - i));
    } else {
      end = EndOfTag(text, i);
      const TrxStringView tag = text.substr(i, end - i);
      if (StartsWith(text, i, "</")) {
        --depth;
        tags.Leave();
      } else {
        const bool empty = tag.size() >= 2 && tag[tag.size() - 2] == '/';
        if (!empty) ++depth;
        if (!tags.Enter(tag, empty, prepared.tags, prepared.namespaces)) {
          prepared.badTag = true;
        } else if (prepared.tags.back().defaultNamespaceStart != TrxStringView::npos) {
          // MSXML does not see default namespaces: an unprefixed name in an
          // XPath expression then matches the element as written, as on
          // Linux, rather than only elements in no namespace.
          const StartTag& read = prepared.tags.back();
          AppendReplacingControls(out, tag.substr(0, read.defaultNamespaceStart), prepared.controlBase);
          AppendReplacingControls(out, tag.substr(read.defaultNamespaceEnd), prepared.controlBase);
          i = end;
          continue;
        }
      }
      AppendReplacingControls(out, tag, prepared.controlBase);
    }
    i = end;
  }
  return prepared;
}

// Gives back the control characters that PrepareText replaced.
bool RestoreControls(TrxString& text, uint32_t base) {
  bool changed = false;
  for (OLECHAR& c : text) {
    const uint32_t cp = static_cast<uint16_t>(c);
    if (cp > base && cp < base + 0x20) {
      c = static_cast<OLECHAR>(cp - base);
      changed = true;
    }
  }
  return changed;
}

// The declaration's pseudo-attributes: name="value" or name='value'.
void ReadPseudoAttributes(CNVTRXXmlDocumentState& state, Record* declaration, TrxStringView text) {
  size_t i = 0;
  for (;;) {
    while (i < text.size() && IsXmlWhiteSpace(text[i])) ++i;
    const size_t nameStart = i;
    while (i < text.size() && text[i] != '=' && !IsXmlWhiteSpace(text[i])) ++i;
    const TrxStringView name = text.substr(nameStart, i - nameStart);
    while (i < text.size() && (IsXmlWhiteSpace(text[i]) || text[i] == '=')) ++i;
    if (name.empty() || i >= text.size()) return;
    const OLECHAR quote = text[i];
    const size_t end = text.find(quote, i + 1);
    if (end == TrxStringView::npos) return;
    state.NewAttribute(declaration, TrxString(name), TrxString(text.substr(i + 1, end - i - 1)));
    i = end + 1;
  }
}

// ---- the mirror ----------------------------------------------------------------------

// Builds the records of a freshly loaded document, checking what MSXML
// does not: names and instruction targets.
class MirrorBuilder {
 public:
  MirrorBuilder(CNVTRXXmlDocumentState& state, const PreparedText& prepared) : m_state(state), m_prepared(prepared) {}

  bool Run() {
    Record* root = m_state.Root();
    // The document's children come from its child list: Wine's MSXML gives
    // no next sibling for a document type node.
    TrxComPtr<IXMLDOMNodeList> children;
    LONG count = 0;
    if (m_state.doc->get_childNodes(children.Put()) != S_OK || !children || FAILED(children->get_length(&count))) {
      return false;
    }
    for (LONG i = 0; i < count; ++i) {
      TrxComPtr<IXMLDOMNode> child;
      if (children->get_item(i, child.Put()) != S_OK || !child) return false;
      Record* record = Add(root, child.Get(), i == 0);
      if (!record) return false;
      if (record->type == TRXXML_ELEMENT && !Element(record)) return false;
    }
    if (m_nextTag != m_prepared.tags.size()) return false;
    if (m_prepared.hasDeclaration && !m_sawDeclaration) {
      // MSXML keeps the declaration to itself: it is the document's first
      // child all the same.
      Record* declaration = m_state.NewRecord(TRXXML_PROCESSING_INSTRUCTION);
      declaration->name = OLESTR("xml");
      declaration->parent = root;
      ReadPseudoAttributes(m_state, declaration, m_prepared.declaration);
      root->children.insert(root->children.begin(), declaration);
      m_state.domOffset = 1;
    }
    return true;
  }

 private:
  Record* Add(Record* parent, IXMLDOMNode* node, bool first) {
    Record* record;
    switch (NodeType(node)) {
      case NODE_ELEMENT:
        record = m_state.NewRecord(TRXXML_ELEMENT);
        record->name = NodeName(node);
        break;
      case NODE_TEXT:
        record = m_state.NewRecord(TRXXML_TEXT);
        record->name = OLESTR("#text");
        record->value = NodeValue(node);
        if (m_prepared.controlBase && RestoreControls(record->value, m_prepared.controlBase)) {
          TrxVariant value;
          value.vt = VT_BSTR;
          value.bstrVal = SysAllocStringLen(record->value.data(), static_cast<UINT>(record->value.size()));
          node->put_nodeValue(value);
        }
        break;
      case NODE_CDATA_SECTION:
        record = m_state.NewRecord(TRXXML_CDATA);
        record->name = OLESTR("#cdata-section");
        record->value = NodeValue(node);
        break;
      case NODE_COMMENT:
        record = m_state.NewRecord(TRXXML_COMMENT);
        record->name = OLESTR("#comment");
        record->value = NodeValue(node);
        break;
      case NODE_PROCESSING_INSTRUCTION:
        record = m_state.NewRecord(TRXXML_PROCESSING_INSTRUCTION);
        record->name = NodeName(node);
        if (record->name == OLESTR("xml") && first && parent == m_state.Root() && m_prepared.hasDeclaration) {
          m_sawDeclaration = true;
          ReadPseudoAttributes(m_state, record, m_prepared.declaration);
        } else {
          if (!IsNcName(record->name) || EqualsNoCaseAscii(record->name, "xml")) return nullptr;
          record->value = NodeValue(node);
        }
        break;
      case NODE_DOCUMENT_TYPE:
        record = m_state.NewRecord(TRXXML_DOCUMENT_TYPE);
        record->name = NodeName(node);
        record->value = m_prepared.doctype;
        break;
      default:
        // Entity references (entities declared in the document type) and
        // anything else the seam has no type for.
        return nullptr;
    }
    record->dom = node;
    record->parent = parent;
    parent->children.push_back(record);
    return record;
  }

  bool Element(Record* element) {
    // The elements come in the order of their start tags.
    if (m_nextTag >= m_prepared.tags.size()) return false;
    const StartTag& tag = m_prepared.tags[m_nextTag++];
    const TrxStringView domName = element->name;
    const TrxStringView tagName = tag.name;
    const size_t colon = tagName.find(':');
    if (domName != tagName && (colon == TrxStringView::npos || domName != tagName.substr(colon + 1))) return false;
    element->name = tag.name;
    if (!IsQName(element->name)) return false;
    for (const auto& attribute : tag.attributes) {
      if (!IsQName(attribute.first)) return false;
      for (const AttributeRecord* a : element->attributes) {
        if (a->name == attribute.first) return false;
      }
      m_state.NewAttribute(element, attribute.first, attribute.second);
      if (m_prepared.controlBase &&
          std::any_of(attribute.second.begin(), attribute.second.end(), [](OLECHAR c) { return c < 0x20; })) {
        // MSXML holds the replacement characters: XPath sees the real ones.
        SetDomAttribute(element->dom.Get(), attribute.first, attribute.second);
      }
    }

    TrxComPtr<IXMLDOMNode> child;
    if (element->dom->get_firstChild(child.Put()) != S_OK) child.Reset();
    while (child) {
      Record* record = Add(element, child.Get(), false);
      if (!record) return false;
      if (record->type == TRXXML_ELEMENT && !Element(record)) return false;
      TrxComPtr<IXMLDOMNode> next;
      if (child->get_nextSibling(next.Put()) != S_OK) next.Reset();
      child = std::move(next);
    }
    return true;
  }

  CNVTRXXmlDocumentState& m_state;
  const PreparedText& m_prepared;
  size_t m_nextTag = 0;
  bool m_sawDeclaration = false;
};

Record* TopOf(Record* record) {
  while (record->parent) record = record->parent;
  return record;
}

// The index of a node among its parent's children in MSXML.
LONG DomIndex(IXMLDOMNode* node) {
  LONG index = 0;
  TrxComPtr<IXMLDOMNode> previous;
  if (node->get_previousSibling(previous.Put()) != S_OK) return 0;
  while (previous) {
    ++index;
    TrxComPtr<IXMLDOMNode> before;
    if (previous->get_previousSibling(before.Put()) != S_OK) before.Reset();
    previous = std::move(before);
  }
  return index;
}

// Whether the child of `parent` at `index` can be the record of `node`: in
// range, of the same type and, for an element, the same name (with or
// without its prefix).
bool IsRecordOf(const Record* parent, LONG index, IXMLDOMNode* node) {
  if (index < 0 || index >= static_cast<LONG>(parent->children.size())) return false;
  const Record* candidate = parent->children[static_cast<size_t>(index)];
  if (static_cast<LONG>(candidate->type) != NodeType(node)) return false;
  if (candidate->type != TRXXML_ELEMENT) return true;
  const TrxString name = NodeName(node);
  if (candidate->name == name) return true;
  const size_t colon = candidate->name.find(':');
  return colon != TrxString::npos && TrxStringView(candidate->name).substr(colon + 1) == name;
}

// The record of a child of the document at `index` in MSXML. Wine's MSXML
// counts no previous sibling past a document type node, so when `node` (the
// selected node itself, or null for one of its ancestors) does not match the
// record at the index, the document's one element or the first child of the
// same kind and text is taken.
Record* TopLevelRecordOf(CNVTRXXmlDocumentState& state, LONG index, IXMLDOMNode* node) {
  const auto& children = state.Root()->children;
  index += state.domOffset;
  const bool inRange = index >= 0 && index < static_cast<LONG>(children.size());
  if (!node) {
    if (inRange && children[static_cast<size_t>(index)]->type == TRXXML_ELEMENT)
      return children[static_cast<size_t>(index)];
    for (Record* c : children) {
      if (c->type == TRXXML_ELEMENT) return c;
    }
    return nullptr;
  }
  const LONG type = NodeType(node);
  const TrxString name = NodeName(node);
  const TrxString value = type == NODE_ELEMENT ? TrxString() : NodeValue(node);
  auto matches = [&](const Record* c) {
    return static_cast<LONG>(c->type) == type && c->dom && c->name == name &&
           (type == NODE_ELEMENT || type == NODE_DOCUMENT_TYPE || c->value == value);
  };
  if (inRange && matches(children[static_cast<size_t>(index)])) return children[static_cast<size_t>(index)];
  for (Record* c : children) {
    if (matches(c)) return c;
  }
  return nullptr;
}

// The record of a node that MSXML returned from a selection; null when the
// node is not one the seam shows (another element that is not part of the
// tree). `contextTop` is the top of the selection's context.
Record* RecordOf(CNVTRXXmlDocumentState& state, IXMLDOMNode* node, Record* contextTop) {
  // The node and its ancestors below the top, the node first.
  std::vector<TrxComPtr<IXMLDOMNode>> path;
  TrxComPtr<IXMLDOMNode> current(node);
  for (;;) {
    TrxComPtr<IXMLDOMNode> parent = ParentOf(current.Get());
    if (!parent) break;
    path.push_back(current);
    current = std::move(parent);
  }
  Record* record;
  if (NodeType(current.Get()) == NODE_DOCUMENT) {
    record = state.Root();
  } else if (contextTop != state.Root()) {
    record = contextTop;  // the only tree besides the document's that the context reaches
  } else {
    return nullptr;
  }
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    IXMLDOMNode* step = it->Get();
    const bool last = it + 1 == path.rend();
    if (record == state.Root()) {
      record = TopLevelRecordOf(state, last ? DomIndex(step) : 0, last ? step : nullptr);
      if (!record) return nullptr;
      continue;
    }
    // Counting the previous siblings one by one costs a COM call each;
    // asking XPath to count them is slower still under Wine.
    const LONG index = DomIndex(step);
    if (!IsRecordOf(record, index, step)) return nullptr;
    record = record->children[static_cast<size_t>(index)];
  }
  return record;
}

// The records of a selected node: an attribute comes with its element.
bool RecordsOf(CNVTRXXmlDocumentState& state, IXMLDOMNode* node, Record* contextTop, Record*& record,
               AttributeRecord*& attribute) {
  attribute = nullptr;
  if (NodeType(node) != NODE_ATTRIBUTE) {
    record = RecordOf(state, node, contextTop);
    return record != nullptr;
  }
  TrxComPtr<IXMLDOMNode> owner;
  TrxBstr parentStep(OLESTR(".."));
  if (node->selectSingleNode(parentStep.Get(), owner.Put()) != S_OK || !owner) return false;
  record = RecordOf(state, owner.Get(), contextTop);
  if (!record) return false;
  // The name with its prefix, or (from Wine's MSXML) without.
  const TrxString name = NodeName(node);
  for (AttributeRecord* a : record->attributes) {
    if (a->name == name) {
      attribute = a;
      return true;
    }
  }
  for (AttributeRecord* a : record->attributes) {
    const size_t colon = a->name.find(':');
    if (colon != TrxString::npos && TrxStringView(a->name).substr(colon + 1) == name) {
      attribute = a;
      return true;
    }
  }
  return false;
}

// The MSXML node to run a selection from.
TrxComPtr<IXMLDOMNode> ContextOf(const Record* record, const AttributeRecord* attribute) {
  if (!attribute || !record->dom) return record->dom;
  TrxComPtr<IXMLDOMNamedNodeMap> map;
  TrxComPtr<IXMLDOMNode> node;
  TrxBstr name(attribute->name);
  if (record->dom->get_attributes(map.Put()) != S_OK || !map || map->getNamedItem(name.Get(), node.Put()) != S_OK) {
    node.Reset();
  }
  return node;
}

// ---- serialisation -------------------------------------------------------------------

void AppendCharacterReference(TrxString& out, OLECHAR c) {
  out += OLESTR("&#");
  if (c >= 10) out.push_back(static_cast<OLECHAR>('0' + c / 10));
  out.push_back(static_cast<OLECHAR>('0' + c % 10));
  out.push_back(';');
}

// Writes text with & < > as references, and " too in an attribute value.
// Characters below U+0020 become references, except tab and line feed in
// text; text made only of white space is written entirely as references:
// raw, it would be white space between elements, which is not a node.
void AppendEscapedText(TrxString& out, TrxStringView text, bool attribute) {
  const bool allAsReferences = !attribute && std::all_of(text.begin(), text.end(), IsXmlWhiteSpace);
  for (const OLECHAR c : text) {
    switch (c) {
      case '&':
        out += OLESTR("&amp;");
        continue;
      case '<':
        out += OLESTR("&lt;");
        continue;
      case '>':
        out += OLESTR("&gt;");
        continue;
      case '"':
        if (attribute) {
          out += OLESTR("&quot;");
          continue;
        }
        break;
      default:
        break;
    }
    const bool control = static_cast<uint16_t>(c) < 0x20 && (attribute || (c != '\t' && c != '\n'));
    if (allAsReferences || control) {
      AppendCharacterReference(out, c);
    } else {
      out.push_back(c);
    }
  }
}

void AppendAttributeText(TrxString& out, TrxStringView text) { AppendEscapedText(out, text, true); }
void AppendContentText(TrxString& out, TrxStringView text) { AppendEscapedText(out, text, false); }

void AppendAttributes(TrxString& out, const Record* record) {
  for (const AttributeRecord* a : record->attributes) {
    out.push_back(' ');
    out += a->name;
    out += OLESTR("=\"");
    AppendAttributeText(out, a->value);
    out.push_back('"');
  }
}

bool IsDeclaration(const Record* record) {
  return record->type == TRXXML_PROCESSING_INSTRUCTION && record->name == OLESTR("xml");
}

void WriteTree(TrxString& out, const Record* record) {
  switch (record->type) {
    case TRXXML_ELEMENT:
      out.push_back('<');
      out += record->name;
      AppendAttributes(out, record);
      if (record->children.empty()) {
        out += OLESTR("/>");
        return;
      }
      out.push_back('>');
      for (const Record* child : record->children) WriteTree(out, child);
      out += OLESTR("</");
      out += record->name;
      out.push_back('>');
      return;
    case TRXXML_TEXT:
      AppendContentText(out, record->value);
      return;
    case TRXXML_CDATA: {
      // "]]>" cannot stand in one section: it is split over two.
      TrxStringView text = record->value;
      out += OLESTR("<![CDATA[");
      for (size_t end; (end = text.find(OLESTR("]]>"))) != TrxStringView::npos; text.remove_prefix(end + 2)) {
        out.append(text.substr(0, end + 2));
        out += OLESTR("]]><![CDATA[");
      }
      out.append(text);
      out += OLESTR("]]>");
      return;
    }
    case TRXXML_COMMENT:
      out += OLESTR("<!--");
      out += record->value;
      out += OLESTR("-->");
      return;
    case TRXXML_PROCESSING_INSTRUCTION:
      out += OLESTR("<?");
      out += record->name;
      if (IsDeclaration(record)) {
        AppendAttributes(out, record);
      } else if (!record->value.empty()) {
        out.push_back(' ');
        out += record->value;
      }
      out += OLESTR("?>");
      return;
    case TRXXML_DOCUMENT_TYPE:
      out += OLESTR("<!DOCTYPE ");
      out += record->value;
      out.push_back('>');
      return;
    default:
      return;
  }
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
  return m_node ? Access::Record(*this)->type : TRXXML_NONE;
}

TrxString CNVTRXXmlNode::GetName() const {
  if (m_attribute) return Access::Attribute(*this)->name;
  if (!m_node) return TrxString();
  const Record* record = Access::Record(*this);
  return record->type == TRXXML_DOCUMENT ? TrxString(OLESTR("#document")) : record->name;
}

TrxString CNVTRXXmlNode::GetValue() const {
  if (m_attribute) return Access::Attribute(*this)->value;
  if (!m_node) return TrxString();
  const Record* record = Access::Record(*this);
  switch (record->type) {
    case TRXXML_TEXT:
    case TRXXML_CDATA:
    case TRXXML_COMMENT:
      return record->value;
    case TRXXML_PROCESSING_INSTRUCTION: {
      if (!IsDeclaration(record)) return record->value;
      TrxString text;
      AppendAttributes(text, record);
      return text.empty() ? text : text.substr(1);
    }
    default:
      return TrxString();
  }
}

LONG CNVTRXXmlNode::GetAttributeCount() const {
  if (!m_node || m_attribute) return 0;
  return static_cast<LONG>(Access::Record(*this)->attributes.size());
}

bool CNVTRXXmlNode::GetAttributeName(LONG index, TrxString& name) const {
  if (!m_node || m_attribute || index < 0 || index >= GetAttributeCount()) return false;
  name = Access::Record(*this)->attributes[static_cast<size_t>(index)]->name;
  return true;
}

bool CNVTRXXmlNode::GetAttributeValue(LONG index, TrxString& value) const {
  if (!m_node || m_attribute || index < 0 || index >= GetAttributeCount()) return false;
  value = Access::Record(*this)->attributes[static_cast<size_t>(index)]->value;
  return true;
}

bool CNVTRXXmlNode::GetAttribute(TrxStringView name, TrxString& value) const {
  if (!m_node || m_attribute) return false;
  for (const AttributeRecord* a : Access::Record(*this)->attributes) {
    if (a->name == name) {
      value = a->value;
      return true;
    }
  }
  return false;
}

bool CNVTRXXmlNode::SetAttribute(TrxStringView name, TrxStringView value) {
  if (!m_node || m_attribute) return false;
  Record* record = Access::Record(*this);
  if (record->type != TRXXML_ELEMENT || !IsQName(name)) return false;
  TrxString held = HeldText(value);
  if (!SetDomAttribute(record->dom.Get(), name, held)) return false;
  for (AttributeRecord* a : record->attributes) {
    if (a->name == name) {
      a->value = std::move(held);
      return true;
    }
  }
  m_state->NewAttribute(record, TrxString(name), std::move(held));
  return true;
}

LONG CNVTRXXmlNode::GetChildCount() const {
  if (!m_node || m_attribute) return 0;
  return static_cast<LONG>(Access::Record(*this)->children.size());
}

bool CNVTRXXmlNode::HasChildNodes() const { return GetChildCount() > 0; }

CNVTRXXmlNode CNVTRXXmlNode::GetChild(LONG index) const {
  if (index < 0 || index >= GetChildCount()) return CNVTRXXmlNode();
  return Access::Make(m_state, Access::Record(*this)->children[static_cast<size_t>(index)]);
}

CNVTRXXmlNode CNVTRXXmlNode::GetFirstChild() const { return GetChild(0); }

CNVTRXXmlNode CNVTRXXmlNode::GetLastChild() const { return GetChild(GetChildCount() - 1); }

CNVTRXXmlNode CNVTRXXmlNode::GetNextSibling() const {
  if (!m_node || m_attribute) return CNVTRXXmlNode();
  const Record* record = Access::Record(*this);
  if (!record->parent) return CNVTRXXmlNode();
  const auto& siblings = record->parent->children;
  const auto it = std::find(siblings.begin(), siblings.end(), record);
  if (it == siblings.end() || it + 1 == siblings.end()) return CNVTRXXmlNode();
  return Access::Make(m_state, *(it + 1));
}

CNVTRXXmlNode CNVTRXXmlNode::GetParent() const {
  if (!m_node || m_attribute) return CNVTRXXmlNode();
  return Access::Make(m_state, Access::Record(*this)->parent);
}

bool CNVTRXXmlNode::AppendChild(const CNVTRXXmlNode& child) {
  if (!m_node || m_attribute || !child.m_node || child.m_attribute || m_state != child.m_state) return false;
  Record* parent = Access::Record(*this);
  Record* moved = Access::Record(child);
  if (!moved->dom || !parent->dom) return false;
  if (parent->type == TRXXML_DOCUMENT) {
    if (moved->type == TRXXML_ELEMENT) {
      for (const Record* c : parent->children) {
        if (c->type == TRXXML_ELEMENT && c != moved) return false;
      }
    } else if (moved->type != TRXXML_COMMENT && moved->type != TRXXML_PROCESSING_INSTRUCTION) {
      return false;
    }
  } else if (parent->type == TRXXML_ELEMENT) {
    if (moved->type != TRXXML_ELEMENT && moved->type != TRXXML_TEXT && moved->type != TRXXML_CDATA &&
        moved->type != TRXXML_COMMENT && moved->type != TRXXML_PROCESSING_INSTRUCTION) {
      return false;
    }
  } else {
    return false;
  }
  for (const Record* up = parent; up; up = up->parent) {
    if (up == moved) return false;
  }
  TrxComPtr<IXMLDOMNode> appended;
  if (moved->type == TRXXML_TEXT && !parent->children.empty() && parent->children.back()->type == TRXXML_TEXT &&
      parent->children.back() != moved) {
    // Wine's MSXML merges a text node appended after another into that one.
    // A comment between the two while the text is appended keeps them two
    // nodes, as the records are.
    TrxComPtr<IXMLDOMComment> comment;
    TrxBstr empty(OLESTR(""));
    TrxComPtr<IXMLDOMNode> separator, removed;
    if (FAILED(m_state->doc->createComment(empty.Get(), comment.Put())) || !comment ||
        FAILED(parent->dom->appendChild(static_cast<IXMLDOMNode*>(comment.Get()), separator.Put()))) {
      return false;
    }
    const HRESULT hr = parent->dom->appendChild(moved->dom.Get(), appended.Put());
    parent->dom->removeChild(static_cast<IXMLDOMNode*>(comment.Get()), removed.Put());
    if (FAILED(hr)) return false;
  } else if (FAILED(parent->dom->appendChild(moved->dom.Get(), appended.Put()))) {
    return false;
  }
  if (moved->parent) {
    auto& siblings = moved->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), moved));
  }
  moved->parent = parent;
  parent->children.push_back(moved);
  return true;
}

bool CNVTRXXmlNode::SelectSingleNode(TrxStringView xpath, CNVTRXXmlNode& node) const {
  node.Reset();
  if (!m_node || xpath.empty() || xpath.find(OLECHAR(0)) != TrxStringView::npos) return false;
  Record* record = Access::Record(*this);
  const TrxComPtr<IXMLDOMNode> context = ContextOf(record, Access::Attribute(*this));
  if (!context) return false;
  TrxBstr expression(xpath);
  TrxComPtr<IXMLDOMNode> found;
  const HRESULT hr = context->selectSingleNode(expression.Get(), found.Put());
  if (FAILED(hr)) return false;
  if (hr == S_OK && found) {
    Record* foundRecord;
    AttributeRecord* foundAttribute;
    if (RecordsOf(*m_state, found.Get(), TopOf(record), foundRecord, foundAttribute)) {
      node = Access::Make(m_state, foundRecord, foundAttribute);
    }
  }
  return true;
}

bool CNVTRXXmlNode::SelectNodes(TrxStringView xpath, std::vector<CNVTRXXmlNode>& nodes) const {
  nodes.clear();
  if (!m_node || xpath.empty() || xpath.find(OLECHAR(0)) != TrxStringView::npos) return false;
  Record* record = Access::Record(*this);
  const TrxComPtr<IXMLDOMNode> context = ContextOf(record, Access::Attribute(*this));
  if (!context) return false;
  TrxBstr expression(xpath);
  TrxComPtr<IXMLDOMNodeList> list;
  LONG count = 0;
  if (FAILED(context->selectNodes(expression.Get(), list.Put())) || !list || FAILED(list->get_length(&count))) {
    return false;
  }
  Record* contextTop = TopOf(record);
  nodes.reserve(static_cast<size_t>(count));
  for (LONG i = 0; i < count; ++i) {
    TrxComPtr<IXMLDOMNode> found;
    if (list->get_item(i, found.Put()) != S_OK || !found) continue;
    Record* foundRecord;
    AttributeRecord* foundAttribute;
    if (RecordsOf(*m_state, found.Get(), contextTop, foundRecord, foundAttribute)) {
      nodes.push_back(Access::Make(m_state, foundRecord, foundAttribute));
    }
  }
  return true;
}

TrxString CNVTRXXmlNode::GetXml() const {
  if (!m_node) return TrxString();
  TrxString out;
  if (m_attribute) {
    const AttributeRecord* a = Access::Attribute(*this);
    out += a->name;
    out += OLESTR("=\"");
    AppendAttributeText(out, a->value);
    out.push_back('"');
    return out;
  }
  const Record* record = Access::Record(*this);
  if (record->type == TRXXML_DOCUMENT) {
    for (const Record* c : record->children) {
      WriteTree(out, c);
      out += OLESTR("\r\n");
    }
  } else {
    WriteTree(out, record);
  }
  return out;
}

CNVTRXXmlDocument CNVTRXXmlNode::GetOwnerDocument() const {
  return m_state ? CNVTRXXmlDocument(m_state) : CNVTRXXmlDocument();
}

// ---- CNVTRXXmlDocument ---------------------------------------------------------------

namespace {

// Lets XPath expressions use the document's namespace prefixes: "p:b"
// matches the elements written "p:b" (when a prefix is declared for
// several names, those of the first).
void SetSelectionNamespaces(IXMLDOMDocument2* doc, const std::vector<std::pair<TrxString, TrxString>>& namespaces) {
  TrxString declarations;
  for (const auto& [prefix, name] : namespaces) {
    const OLECHAR quote = name.find('\'') == TrxString::npos ? '\'' : '"';
    if (name.find(quote) != TrxString::npos) continue;
    if (!declarations.empty()) declarations.push_back(' ');
    declarations += OLESTR("xmlns:");
    declarations += prefix;
    declarations.push_back('=');
    declarations.push_back(quote);
    declarations += name;
    declarations.push_back(quote);
  }
  TrxBstr property(OLESTR("SelectionNamespaces"));
  TrxVariant value;
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(declarations.data(), static_cast<UINT>(declarations.size()));
  doc->setProperty(property.Get(), value);
}

std::shared_ptr<CNVTRXXmlDocumentState> NewState() {
  auto state = std::make_shared<CNVTRXXmlDocumentState>();
  state->doc = CreateDomDocument();
  Record* root = state->NewRecord(TRXXML_DOCUMENT);
  if (state->doc) root->dom = static_cast<IXMLDOMNode*>(state->doc.Get());
  return state;
}

}  // namespace

CNVTRXXmlDocument::CNVTRXXmlDocument() : m_state(NewState()) {}
CNVTRXXmlDocument::CNVTRXXmlDocument(std::shared_ptr<CNVTRXXmlDocumentState> state) noexcept
    : m_state(std::move(state)) {}
CNVTRXXmlDocument::~CNVTRXXmlDocument() = default;

bool CNVTRXXmlDocument::LoadXml(TrxStringView text) {
  // Nodes of the former content keep it: the content goes to a new state,
  // unless this object holds the only reference to a state that has never
  // had any (a new document, the usual case). A failed load leaves a new,
  // empty state, MSXML's document included.
  if (m_state.use_count() != 1 || m_state->records.size() != 1 || !m_state->doc) m_state = NewState();
  if (!m_state->doc) return false;
  if (!text.empty() && static_cast<uint16_t>(text.front()) == 0xFEFF) text.remove_prefix(1);
  if (!HasOnlyXmlCharacters(text)) return false;
  const PreparedText prepared = PrepareText(text);
  if (prepared.badTag) return false;
  TrxBstr source(prepared.text);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (SUCCEEDED(m_state->doc->loadXML(source.Get(), &loaded)) && loaded == VARIANT_TRUE &&
      MirrorBuilder(*m_state, prepared).Run()) {
    if (!prepared.namespaces.empty()) SetSelectionNamespaces(m_state->doc.Get(), prepared.namespaces);
    return true;
  }
  m_state = NewState();
  return false;
}

CNVTRXXmlNode CNVTRXXmlDocument::AsNode() const { return Access::Make(m_state, m_state->Root()); }

CNVTRXXmlNode CNVTRXXmlDocument::GetDocumentElement() const {
  for (Record* c : m_state->Root()->children) {
    if (c->type == TRXXML_ELEMENT) return Access::Make(m_state, c);
  }
  return CNVTRXXmlNode();
}

CNVTRXXmlNode CNVTRXXmlDocument::CreateElement(TrxStringView name) {
  if (!m_state->doc || !IsQName(name)) return CNVTRXXmlNode();
  TrxBstr bstrName(name);
  TrxComPtr<IXMLDOMElement> element;
  if (FAILED(m_state->doc->createElement(bstrName.Get(), element.Put())) || !element) return CNVTRXXmlNode();
  Record* record = m_state->NewRecord(TRXXML_ELEMENT);
  record->name = TrxString(name);
  record->dom = static_cast<IXMLDOMNode*>(element.Get());
  return Access::Make(m_state, record);
}
