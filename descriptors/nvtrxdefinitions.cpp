#include "descriptors/nvtrxdefinitions.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "log/nvtrxlog.h"
#include "model/nvtrxarray.h"
#include "log/nvtrxresult.h"

// The catalogue's bytes (UTF-8), generated from nvtrxobjectdefinitions.xml
// by Catalogue.cmake.
extern const unsigned char g_trxObjectDefinitionsXml[];
extern const std::size_t g_trxObjectDefinitionsXmlSize;

const TrxString& GetObjectDefinitionsText() {
  static const TrxString text = TrxWiden(
      std::string_view(reinterpret_cast<const char*>(g_trxObjectDefinitionsXml), g_trxObjectDefinitionsXmlSize));
  return text;
}

LONG GetVariantTypeName(LONG type, TrxString& name) {
  switch (type) {
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      name = OLESTR("Integer");
      return TRX_OK;
    case VT_R4:
      name = OLESTR("Float");
      return TRX_OK;
    case VT_R8:
      name = OLESTR("Double");
      return TRX_OK;
    case VT_CY:
      name = OLESTR("Currency");
      return TRX_OK;
    case VT_DATE:
      name = OLESTR("Date");
      return TRX_OK;
    case VT_BSTR:
      name = OLESTR("String");
      return TRX_OK;
    case VT_BOOL:
      name = OLESTR("Boolean");
      return TRX_OK;
    case VT_I1:
      name = OLESTR("Char");
      return TRX_OK;
    default:
      name = OLESTR("Unknown Type");
      return TRX_E_SYSTEM;
  }
}

namespace {

// The selection expressions of a call; the placeholder takes the name.
const TrxString& ClassQueryFormat() {
  static const TrxString format = OLESTR("//ObjectInfo[ObjectData/@NorvikClassName='%s']");
  return format;
}
const TrxString& MethodQueryFormat() {
  static const TrxString format = OLESTR("Methods//MethodData[@Name='%s']");
  return format;
}
const OLECHAR kParamsQuery[] = OLESTR("Params/ParamData");
const OLECHAR kVariantTypeAttribute[] = OLESTR("VariantType");
const OLECHAR kNameAttribute[] = OLESTR("Name");

// A name that stands in the expression's literal exactly as it is: the
// literal ends at the first apostrophe, and an expression cannot hold
// U+0000. Only for such names can a table lookup stand in for the query.
bool IsPlainLiteral(TrxStringView name) {
  return name.find(OLECHAR('\'')) == TrxStringView::npos && name.find(OLECHAR(0)) == TrxStringView::npos;
}

// Text as the document holds it (UTF-8), so that table keys compare exactly
// as the selection engine compares the names.
std::string Key(TrxStringView text) { return TrxNarrow(text); }

struct Parameter {
  bool checked = false;  // the type code could be read as a 16-bit integer
  VARTYPE type = VT_EMPTY;
  TrxString name;        // empty when the attribute cannot be read
};

// The parameters of a method node, in document order; false when the
// selection fails.
bool ReadParameters(const CNVTRXXmlNode& method, std::vector<Parameter>& parameters) {
  parameters.clear();
  std::vector<CNVTRXXmlNode> nodes;
  if (!method.SelectNodes(kParamsQuery, nodes)) return false;
  parameters.reserve(nodes.size());
  for (const CNVTRXXmlNode& node : nodes) {
    Parameter parameter;
    TrxString typeText;
    if (node.GetAttribute(kVariantTypeAttribute, typeText)) {
      TrxVariant text = TrxVariant::FromString(typeText);
      TrxVariant code;
      if (SUCCEEDED(VariantChangeType(&code, &text, 0, VT_I2))) {
        parameter.checked = true;
        parameter.type = static_cast<VARTYPE>(code.iVal);
      }
    }
    if (!node.GetAttribute(kNameAttribute, parameter.name)) parameter.name.clear();
    parameters.push_back(std::move(parameter));
  }
  return true;
}

}  // namespace

// Tables of the loaded document, in the order the queries would find things.
struct CNVTRXObjectDefinitions::Index {
  struct Method {
    CNVTRXXmlNode node;
    std::vector<Parameter> parameters;
  };
  struct Class {
    CNVTRXXmlNode node;
    std::unordered_map<std::string, size_t> methodByName;  // first MethodData in document order
  };

  std::vector<Class> classes;
  std::vector<Method> methods;
  std::unordered_map<std::string, size_t> classByName;  // first ObjectInfo in document order
  std::unordered_map<const void*, size_t> classByNode;
  std::unordered_map<const void*, size_t> methodByNode;

  // Mirrors "//ObjectInfo[ObjectData/@NorvikClassName='%s']" and
  // "Methods//MethodData[@Name='%s']": the same node sets in the same order,
  // with the predicates evaluated here once for every name.
  bool Build(const CNVTRXXmlDocument& document) {
    std::vector<CNVTRXXmlNode> objectInfos;
    if (!document.SelectNodes(OLESTR("//ObjectInfo"), objectInfos)) return false;
    for (CNVTRXXmlNode& objectInfo : objectInfos) {
      const size_t classIndex = classes.size();
      classes.push_back(Class{objectInfo, {}});
      classByNode.emplace(objectInfo.GetIdentity(), classIndex);
      for (CNVTRXXmlNode child = objectInfo.GetFirstChild(); child; child = child.GetNextSibling()) {
        TrxString className;
        if (child.GetType() == TRXXML_ELEMENT && child.GetName() == OLESTR("ObjectData") &&
            child.GetAttribute(OLESTR("NorvikClassName"), className)) {
          classByName.emplace(Key(className), classIndex);
        }
      }
      std::vector<CNVTRXXmlNode> methodNodes;
      if (!objectInfo.SelectNodes(OLESTR("Methods//MethodData"), methodNodes)) return false;
      for (CNVTRXXmlNode& methodNode : methodNodes) {
        size_t methodIndex;
        const auto known = methodByNode.find(methodNode.GetIdentity());
        if (known != methodByNode.end()) {
          methodIndex = known->second;
        } else {
          Method method{methodNode, {}};
          if (!ReadParameters(methodNode, method.parameters)) return false;
          methodIndex = methods.size();
          methods.push_back(std::move(method));
          methodByNode.emplace(methodNode.GetIdentity(), methodIndex);
        }
        TrxString methodName;
        if (methodNode.GetAttribute(kNameAttribute, methodName)) {
          classes[classIndex].methodByName.emplace(Key(methodName), methodIndex);
        }
      }
    }
    return true;
  }
};

CNVTRXObjectDefinitions::CNVTRXObjectDefinitions(Lookup lookup) : m_lookup(lookup) {}
CNVTRXObjectDefinitions::~CNVTRXObjectDefinitions() = default;

LONG CNVTRXObjectDefinitions::Load() { return LoadFromText(GetObjectDefinitionsText()); }

LONG CNVTRXObjectDefinitions::LoadFromText(TrxStringView text) {
  TRX_FUNCTION();
  m_index.reset();
  m_document.reset();
  auto document = std::make_unique<CNVTRXXmlDocument>();
  if (!document->LoadXml(text)) {
    TRX_LOG(TRXLOG_TRXERR).ReportUserError(TRX_E_SYSTEM, OLESTR("Load TRX XML Object Definitions failed!"));
    return TRX_E_SYSTEM;
  }
  if (m_lookup == Lookup::Indexed) {
    auto index = std::make_unique<Index>();
    // Without tables every call runs its queries; the results are the same.
    if (index->Build(*document)) m_index = std::move(index);
  }
  m_document = std::move(document);
  return TRX_OK;
}

LONG CNVTRXObjectDefinitions::ValidateMethodCall(TrxStringView className, TrxStringView methodName,
                                                 const VARIANT* args) const {
  TRX_FUNCTION();
  if (!m_document) return TRX_OK;

  // The class.
  CNVTRXXmlNode classNode;
  if (m_index && IsPlainLiteral(className)) {
    const auto found = m_index->classByName.find(Key(className));
    if (found != m_index->classByName.end()) classNode = m_index->classes[found->second].node;
  } else if (!m_document->SelectSingleNode(TrxFormatText(ClassQueryFormat(), className), classNode)) {
    return TRX_OK;
  }
  if (!classNode) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_NOT_FOUND, OLESTR("Invalid class name %s"), className);
    return TRX_NOT_FOUND;
  }

  // The method.
  const Index::Class* indexedClass = nullptr;
  if (m_index) {
    const auto found = m_index->classByNode.find(classNode.GetIdentity());
    if (found != m_index->classByNode.end()) indexedClass = &m_index->classes[found->second];
  }
  const std::vector<Parameter>* parameters = nullptr;
  CNVTRXXmlNode methodNode;
  if (indexedClass && IsPlainLiteral(methodName)) {
    const auto found = indexedClass->methodByName.find(Key(methodName));
    if (found != indexedClass->methodByName.end()) {
      methodNode = m_index->methods[found->second].node;
      parameters = &m_index->methods[found->second].parameters;
    }
  } else {
    if (!classNode.SelectSingleNode(TrxFormatText(MethodQueryFormat(), methodName), methodNode)) return TRX_OK;
    if (methodNode && m_index) {
      const auto found = m_index->methodByNode.find(methodNode.GetIdentity());
      if (found != m_index->methodByNode.end()) parameters = &m_index->methods[found->second].parameters;
    }
  }
  if (!methodNode) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_NOT_FOUND, OLESTR("Invalid method %s in class %s"), methodName, className);
    return TRX_NOT_FOUND;
  }

  // The parameters.
  std::vector<Parameter> selected;
  if (!parameters) {
    if (!ReadParameters(methodNode, selected)) return TRX_OK;
    parameters = &selected;
  }

  // The arguments, position by position.
  CNVTRXArray values(args);
  const LONG argumentCount = values.GetCount();
  const LONG checkedCount = std::min(static_cast<LONG>(parameters->size()), argumentCount);
  for (LONG i = 0; i < checkedCount; ++i) {
    const Parameter& parameter = (*parameters)[static_cast<size_t>(i)];
    if (!parameter.checked) continue;
    const TrxVariant argument = values.GetAt(i);
    if (argument.vt == parameter.type) continue;
    TrxString typeName;
    GetVariantTypeName(parameter.type, typeName);
    return TrxFail(TRX_E_ARG_TYPE, methodName, parameter.name, typeName);
  }
  return TRX_OK;
}

const CNVTRXObjectDefinitions& CNVTRXObjectDefinitions::Shared() {
  static CNVTRXObjectDefinitions definitions;
  static const bool loaded = definitions.Load() == TRX_OK;
  static_cast<void>(loaded);
  return definitions;
}
