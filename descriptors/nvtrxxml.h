// A small XML DOM: documents, nodes, XPath selection and serialisation.
//
// The service needs only a little of an XML DOM: load a document from a
// string, walk its nodes, read and set attributes, create and append
// elements, select nodes with XPath 1.0 and serialise a node as text. This
// header is that seam; a backend implements it (pugixml on Linux in
// nvtrxxml_pugi.cpp). No backend type appears here.
//
// Behaviour every backend keeps:
// - A document owns its nodes. A CNVTRXXmlNode is a handle that keeps its
//   document alive, so a node may outlive the CNVTRXXmlDocument object it
//   came from. Handles are cheap to copy; two handles to the same node are
//   IsSameNode.
// - LoadXml accepts a well-formed XML text with exactly one element at the
//   top level. The XML declaration, comments, processing instructions and a
//   document type declaration are separate children of the document; the
//   declaration is a processing instruction named "xml". White space between
//   elements is not a node; text with anything else in it is. Entity and
//   character references are resolved; attribute values are normalised (a
//   raw tab, line feed or carriage return becomes a space).
// - GetXml of an element writes no declaration and no white space of its
//   own: attributes in double quotes in the order they were added, an
//   element without children as "<Name a="1"/>". In attribute values & < > "
//   and every character below U+0020 are written as references, in text & <
//   > and the characters below U+0020 other than tab and line feed (and a
//   text of nothing but white space entirely, as it would otherwise be white
//   space between elements); so any text read from a loaded document, or
//   set with SetAttribute, loads back unchanged. Two characters cannot be
//   held at all: U+0000 ends a value and an unpaired surrogate becomes
//   U+FFFD.
// - Selection failures (an expression that does not parse or does not give
//   a node set) are reported as a false result, never thrown.
#pragma once

#include <memory>
#include <vector>

#include "platform/trxplatform.h"

// Node types, numbered as the DOM's node types.
enum TRXXMLNODETYPE : LONG {
  TRXXML_NONE = 0,
  TRXXML_ELEMENT = 1,
  TRXXML_ATTRIBUTE = 2,  // only as a selection result
  TRXXML_TEXT = 3,
  TRXXML_CDATA = 4,
  TRXXML_PROCESSING_INSTRUCTION = 7,  // also the XML declaration, named "xml"
  TRXXML_COMMENT = 8,
  TRXXML_DOCUMENT = 9,
  TRXXML_DOCUMENT_TYPE = 10,
};

// The backend's document, shared by the document object and every handle
// into it.
struct CNVTRXXmlDocumentState;
class CNVTRXXmlDocument;

class CNVTRXXmlNode {
 public:
  // A null handle.
  CNVTRXXmlNode() noexcept;
  CNVTRXXmlNode(const CNVTRXXmlNode& other);
  CNVTRXXmlNode(CNVTRXXmlNode&& other) noexcept;
  CNVTRXXmlNode& operator=(const CNVTRXXmlNode& other);
  CNVTRXXmlNode& operator=(CNVTRXXmlNode&& other) noexcept;
  ~CNVTRXXmlNode();

  bool IsNull() const noexcept { return m_node == nullptr; }
  explicit operator bool() const noexcept { return m_node != nullptr; }
  void Reset() noexcept;
  bool IsSameNode(const CNVTRXXmlNode& other) const noexcept;
  // A value that is equal for handles to the same node and differs between
  // nodes of a document while both exist; nullptr for a null handle.
  const void* GetIdentity() const noexcept;

  TRXXMLNODETYPE GetType() const;
  // The DOM's node name: the element's or attribute's name, the target of a
  // processing instruction, the document type's name, "#text",
  // "#cdata-section", "#comment" or "#document".
  TrxString GetName() const;
  // The DOM's node value: the text of a text, CDATA or comment node, the
  // data of a processing instruction, an attribute's value; empty for
  // elements and the document.
  TrxString GetValue() const;

  // Attributes of an element (and the pseudo-attributes of the XML
  // declaration), in document order. By index: false when out of range.
  LONG GetAttributeCount() const;
  bool GetAttributeName(LONG index, TrxString& name) const;
  bool GetAttributeValue(LONG index, TrxString& value) const;
  // By name (exact match); false when the element has no such attribute.
  bool GetAttribute(TrxStringView name, TrxString& value) const;
  // Sets the value of an existing attribute in place, or adds the attribute
  // after the others. False when this is not an element or the name is not
  // an XML name.
  bool SetAttribute(TrxStringView name, TrxStringView value);

  // Child nodes in document order.
  LONG GetChildCount() const;
  bool HasChildNodes() const;
  // The child at an index; a null handle when out of range.
  CNVTRXXmlNode GetChild(LONG index) const;
  CNVTRXXmlNode GetFirstChild() const;
  CNVTRXXmlNode GetLastChild() const;
  CNVTRXXmlNode GetNextSibling() const;
  // The parent element or document; a null handle for the document and for
  // a node that is not (yet) part of the tree.
  CNVTRXXmlNode GetParent() const;
  // Appends `child` (moving it when it is already in the tree) as the last
  // child. False when the child comes from another document, is this node
  // or one of its ancestors, or cannot go here: only elements have element
  // and text children; a document takes one element and any number of
  // comments and processing instructions.
  bool AppendChild(const CNVTRXXmlNode& child);

  // XPath 1.0 selection with this node as the context. SelectSingleNode
  // gives the first node of the result in document order, or a null handle
  // when the result is empty. Both return false, and no nodes, when the
  // expression does not parse or does not give a node set.
  bool SelectSingleNode(TrxStringView xpath, CNVTRXXmlNode& node) const;
  bool SelectNodes(TrxStringView xpath, std::vector<CNVTRXXmlNode>& nodes) const;

  // The node as XML text (see the rules above). For the document: each of
  // its children followed by "\r\n".
  TrxString GetXml() const;

  // The document this node belongs to.
  CNVTRXXmlDocument GetOwnerDocument() const;

 private:
  friend class CNVTRXXmlDocument;
  friend struct CNVTRXXmlAccess;
  CNVTRXXmlNode(std::shared_ptr<CNVTRXXmlDocumentState> state, void* node, void* attribute) noexcept;

  std::shared_ptr<CNVTRXXmlDocumentState> m_state;
  void* m_node = nullptr;       // the backend's node
  void* m_attribute = nullptr;  // set for an attribute node
};

class CNVTRXXmlDocument {
 public:
  // A new, empty document.
  CNVTRXXmlDocument();
  // Another reference to the same document (until one of the two loads a
  // text: see LoadXml).
  CNVTRXXmlDocument(const CNVTRXXmlDocument& other) = default;
  CNVTRXXmlDocument& operator=(const CNVTRXXmlDocument& other) = default;
  CNVTRXXmlDocument(CNVTRXXmlDocument&& other) noexcept = default;
  CNVTRXXmlDocument& operator=(CNVTRXXmlDocument&& other) noexcept = default;
  ~CNVTRXXmlDocument();

  // Gives this document object the parsed text as its content. On failure
  // it is empty and the result false. Nodes of the former content, and
  // other document objects that referred to it, keep the former content.
  bool LoadXml(TrxStringView text);

  // The document as a node (type TRXXML_DOCUMENT).
  CNVTRXXmlNode AsNode() const;
  LONG GetChildCount() const { return AsNode().GetChildCount(); }
  CNVTRXXmlNode GetChild(LONG index) const { return AsNode().GetChild(index); }
  // The one top-level element; a null handle when there is none.
  CNVTRXXmlNode GetDocumentElement() const;

  // A new element of this document that is not yet part of the tree; a
  // null handle when the name is not an XML name.
  CNVTRXXmlNode CreateElement(TrxStringView name);
  // Appends to the document (see CNVTRXXmlNode::AppendChild).
  bool AppendChild(const CNVTRXXmlNode& child) { return AsNode().AppendChild(child); }

  bool SelectSingleNode(TrxStringView xpath, CNVTRXXmlNode& node) const {
    return AsNode().SelectSingleNode(xpath, node);
  }
  bool SelectNodes(TrxStringView xpath, std::vector<CNVTRXXmlNode>& nodes) const {
    return AsNode().SelectNodes(xpath, nodes);
  }

  // Each top-level node as XML text followed by "\r\n".
  TrxString GetXml() const { return AsNode().GetXml(); }

 private:
  friend class CNVTRXXmlNode;
  explicit CNVTRXXmlDocument(std::shared_ptr<CNVTRXXmlDocumentState> state) noexcept;

  std::shared_ptr<CNVTRXXmlDocumentState> m_state;
};
