#include "descriptors/nvtrxodsutil.h"

#include "log/nvtrxlog.h"
#include "log/nvtrxresult.h"

namespace {

const OLECHAR kTooManyChildren[] = OLESTR("Too many child elements to the <Obj> node");

// Equality without regard to case with one of the descriptor's (ASCII)
// names; the platform's comparison decides for text beyond ASCII.
bool EqualsNoCase(TrxStringView text, TrxStringView name) {
  if (text.size() != name.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const OLECHAR c = text[i];
    if (c >= 0x80) return TrxEqualsNoCase(text, name);
    const OLECHAR lower = c >= 'A' && c <= 'Z' ? static_cast<OLECHAR>(c - 'A' + 'a') : c;
    const OLECHAR n = name[i];
    if (lower != (n >= 'A' && n <= 'Z' ? static_cast<OLECHAR>(n - 'A' + 'a') : n)) return false;
  }
  return true;
}

LONG AttributeValue(const CNVTRXXmlNode& node, LONG index, TrxString& text) {
  text.clear();
  if (!node.GetAttributeValue(index, text)) text.clear();
  return TRX_OK;
}

}  // namespace

LONG ParseODS(TrxStringView text, CNVTRXXmlNode* node) {
  TRX_FUNCTION();
  if (!node) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_NOT_FOUND, OLESTR("The second argument IXMLDOMNode** ppNode is NULL"));
    return TRX_NOT_FOUND;
  }
  node->Reset();
  if (text.empty()) return TRX_OK;

  CNVTRXXmlDocument document;
  if (!document.LoadXml(text)) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_BAD_ODS, OLESTR("LoadXML for ODS failed. ODS is not in valid XML format!"));
    return TRX_BAD_ODS;
  }
  const CNVTRXXmlNode documentNode = document.AsNode();
  CNVTRXXmlNode first = documentNode.GetFirstChild();
  if (!first) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_BAD_ODS, OLESTR("Wrong ODS"));
    return TRX_BAD_ODS;
  }
  if (first.GetNextSibling()) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_BAD_ODS, kTooManyChildren);
    return TRX_BAD_ODS;
  }
  *node = std::move(first);
  return TRX_OK;
}

LONG ValidateODS(const CNVTRXXmlNode& node, bool& valid) {
  TRX_FUNCTION();
  // Each level checks one element and goes on with its only child, whose
  // outcome is the outcome of the whole; a loop rather than recursion, so
  // that a deeply nested text cannot exhaust the stack.
  CNVTRXXmlNode current = node;
  TrxString first, second;
  for (;;) {
    valid = false;
    if (!current) {
      TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_BAD_ODS, OLESTR("Invalid node "));
      return TRX_BAD_ODS;
    }
    const TrxString name = current.GetName();
    if (!EqualsNoCase(name, kTRXODSElementName)) {
      TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_BAD_ODS, OLESTR("Invalid node name encountered: \"%s\""), name);
      return TRX_BAD_ODS;
    }
    if (current.GetType() != TRXXML_ELEMENT || current.GetAttributeCount() != 2) {
      TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_BAD_ODS,
                                         OLESTR("Missing required ODS attribute \"ClassName\" or \"Repository\""));
      return TRX_BAD_ODS;
    }
    if (!current.GetAttributeName(0, first) || !current.GetAttributeName(1, second)) return TRX_BAD_ODS;
    // The order matters: the two names swapped do not match.
    valid = EqualsNoCase(first, kTRXODSClassNameAttribute) && EqualsNoCase(second, kTRXODSRepositoryNameAttribute);
    if (!valid) return TRX_BAD_ODS;

    CNVTRXXmlNode child = current.GetFirstChild();
    if (!child) return TRX_OK;
    if (child.GetNextSibling()) {
      TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_BAD_ODS, kTooManyChildren);
      return TRX_BAD_ODS;
    }
    current = std::move(child);
  }
}

LONG GetLeafNode(TrxStringView text, CNVTRXXmlNode* node) {
  TRX_FUNCTION();
  if (!node) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_NOT_FOUND, OLESTR("The second argument IXMLDOMNode** ppNode is NULL"));
    return TRX_NOT_FOUND;
  }
  node->Reset();
  CNVTRXXmlNode top;
  LONG result = ParseODS(text, &top);
  if (result != TRX_OK || !top) return result;
  bool valid = false;
  result = ValidateODS(top, valid);
  if (result != TRX_OK) return result;
  if (!valid) return TRX_BAD_ODS;
  CNVTRXXmlNode leaf = std::move(top);
  while (CNVTRXXmlNode child = leaf.GetLastChild()) leaf = std::move(child);
  *node = std::move(leaf);
  return TRX_OK;
}

LONG GetODSClassName(const CNVTRXXmlNode& node, TrxString& text) { return AttributeValue(node, 0, text); }

LONG GetODSRepositoryName(const CNVTRXXmlNode& node, TrxString& text) { return AttributeValue(node, 1, text); }

// Not traced: composing reports nothing, and a function entry would clear
// the last error of the call that asks for a descriptor.
TrxString TrxComposeODS(const std::vector<std::pair<TrxString, TrxString>>& chainFromRoot) {
  if (chainFromRoot.empty()) return TrxString();
  CNVTRXXmlDocument document;
  // The root's element becomes the document element.
  CNVTRXXmlNode cursor = document.CreateElement(kTRXODSElementName);
  cursor.SetAttribute(kTRXODSClassNameAttribute, chainFromRoot.front().first);
  cursor.SetAttribute(kTRXODSRepositoryNameAttribute, chainFromRoot.front().second);
  document.AppendChild(cursor);
  // Each further element through the owner document of the one above it.
  for (size_t i = 1; i < chainFromRoot.size(); ++i) {
    CNVTRXXmlNode element = cursor.GetOwnerDocument().CreateElement(kTRXODSElementName);
    element.SetAttribute(kTRXODSClassNameAttribute, chainFromRoot[i].first);
    element.SetAttribute(kTRXODSRepositoryNameAttribute, chainFromRoot[i].second);
    cursor.AppendChild(element);
    cursor = std::move(element);
  }
  return document.GetDocumentElement().GetXml();
}
