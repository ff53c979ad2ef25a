// The XML seam without a parser: the backend of Windows builds until the
// MSXML backend exists. Every document is empty and stays empty: LoadXml,
// CreateElement, AppendChild, SetAttribute and the selections fail, and
// every node handle is null. The server starts, registers and hands out its
// object with it; what needs XML (the object definitions catalogue, contents
// and descriptors) fails cleanly instead of reading anything.
#include "descriptors/nvtrxxml.h"

struct CNVTRXXmlDocumentState {};

CNVTRXXmlNode::CNVTRXXmlNode() noexcept = default;
CNVTRXXmlNode::CNVTRXXmlNode(const CNVTRXXmlNode& other) = default;
CNVTRXXmlNode::CNVTRXXmlNode(CNVTRXXmlNode&& other) noexcept = default;
CNVTRXXmlNode& CNVTRXXmlNode::operator=(const CNVTRXXmlNode& other) = default;
CNVTRXXmlNode& CNVTRXXmlNode::operator=(CNVTRXXmlNode&& other) noexcept = default;
CNVTRXXmlNode::~CNVTRXXmlNode() = default;
CNVTRXXmlNode::CNVTRXXmlNode(std::shared_ptr<CNVTRXXmlDocumentState> state, void* node, void* attribute) noexcept
    : m_state(std::move(state)), m_node(node), m_attribute(attribute) {}

void CNVTRXXmlNode::Reset() noexcept {
  m_state.reset();
  m_node = nullptr;
  m_attribute = nullptr;
}
bool CNVTRXXmlNode::IsSameNode(const CNVTRXXmlNode& other) const noexcept {
  return m_node == other.m_node && m_attribute == other.m_attribute;
}
const void* CNVTRXXmlNode::GetIdentity() const noexcept { return m_node; }
TRXXMLNODETYPE CNVTRXXmlNode::GetType() const { return TRXXML_NONE; }
TrxString CNVTRXXmlNode::GetName() const { return TrxString(); }
TrxString CNVTRXXmlNode::GetValue() const { return TrxString(); }
LONG CNVTRXXmlNode::GetAttributeCount() const { return 0; }
bool CNVTRXXmlNode::GetAttributeName(LONG, TrxString&) const { return false; }
bool CNVTRXXmlNode::GetAttributeValue(LONG, TrxString&) const { return false; }
bool CNVTRXXmlNode::GetAttribute(TrxStringView, TrxString&) const { return false; }
bool CNVTRXXmlNode::SetAttribute(TrxStringView, TrxStringView) { return false; }
LONG CNVTRXXmlNode::GetChildCount() const { return 0; }
bool CNVTRXXmlNode::HasChildNodes() const { return false; }
CNVTRXXmlNode CNVTRXXmlNode::GetChild(LONG) const { return CNVTRXXmlNode(); }
CNVTRXXmlNode CNVTRXXmlNode::GetFirstChild() const { return CNVTRXXmlNode(); }
CNVTRXXmlNode CNVTRXXmlNode::GetLastChild() const { return CNVTRXXmlNode(); }
CNVTRXXmlNode CNVTRXXmlNode::GetNextSibling() const { return CNVTRXXmlNode(); }
CNVTRXXmlNode CNVTRXXmlNode::GetParent() const { return CNVTRXXmlNode(); }
bool CNVTRXXmlNode::AppendChild(const CNVTRXXmlNode&) { return false; }
bool CNVTRXXmlNode::SelectSingleNode(TrxStringView, CNVTRXXmlNode& node) const {
  node.Reset();
  return false;
}
bool CNVTRXXmlNode::SelectNodes(TrxStringView, std::vector<CNVTRXXmlNode>& nodes) const {
  nodes.clear();
  return false;
}
TrxString CNVTRXXmlNode::GetXml() const { return TrxString(); }
CNVTRXXmlDocument CNVTRXXmlNode::GetOwnerDocument() const { return CNVTRXXmlDocument(); }

CNVTRXXmlDocument::CNVTRXXmlDocument() : m_state(std::make_shared<CNVTRXXmlDocumentState>()) {}
CNVTRXXmlDocument::CNVTRXXmlDocument(std::shared_ptr<CNVTRXXmlDocumentState> state) noexcept
    : m_state(std::move(state)) {}
CNVTRXXmlDocument::~CNVTRXXmlDocument() = default;
bool CNVTRXXmlDocument::LoadXml(TrxStringView) { return false; }
CNVTRXXmlNode CNVTRXXmlDocument::AsNode() const { return CNVTRXXmlNode(); }
CNVTRXXmlNode CNVTRXXmlDocument::GetDocumentElement() const { return CNVTRXXmlNode(); }
CNVTRXXmlNode CNVTRXXmlDocument::CreateElement(TrxStringView) { return CNVTRXXmlNode(); }
