#include "objects/nvtrxtree.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("GetChildCount"),   VT_BSTR,  0,                  VT_I4,    TRXMETHOD_PROPERTY, OLESTR("Returns the child count of the given tree node position"), OLESTR("ItemChildCount")},
    {OLESTR("IsExpanded"),      VT_BSTR,  0,                  VT_BOOL,  TRXMETHOD_PROPERTY, OLESTR("Returns true if the specified node position is expanded"), OLESTR("ItemExpanded")},
    {OLESTR("IsSelected"),      VT_BSTR,  0,                  VT_BOOL,  TRXMETHOD_PROPERTY, OLESTR("Returns true if the specified node position is selected"), OLESTR("ItemSelected")},
    {OLESTR("GetTreeItemName"), VT_BSTR,  0,                  VT_BSTR,  TRXMETHOD_PROPERTY, OLESTR("Returns UI Name of the specified node position"), OLESTR("ItemText")},
    {OLESTR("NextPage"),        VT_EMPTY, REQID_GOTONEXTPAGE, VT_EMPTY, TRXMETHOD_REQUEST,  OLESTR("Navigates to the next page of the tree applet")},
    {OLESTR("PreviousPage"),    VT_EMPTY, REQID_GOTOPREVPAGE, VT_EMPTY, TRXMETHOD_REQUEST,  OLESTR("Navigates to the previous page of the tree applet")},
    {OLESTR("Expand"),          VT_BSTR,  REQID_EXPANDITEM,   VT_BSTR,  TRXMETHOD_REQUEST,  OLESTR("Expands the specified Tree node position")},
    {OLESTR("Collapse"),        VT_BSTR,  REQID_COLLAPSEITEM, VT_BSTR,  TRXMETHOD_REQUEST,  OLESTR("Collapses the specified Tree node position")},
    {OLESTR("Select"),          VT_BSTR,  REQID_SELECTITEM,   VT_BSTR,  TRXMETHOD_REQUEST,  OLESTR("Selects the specified Tree node position")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR,  kTrxOwnClassName,     VT_BSTR,  TRXPROP_CONST,    OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR,  OLESTR("NorvTree"),   VT_BSTR,  TRXPROP_CONST,    OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR,  OLESTR("Tree"),       VT_BSTR,  TRXPROP_CONST,    OLESTR("property UIName")},
    {OLESTR("ActiveTreeItem"), VT_EMPTY, OLESTR("ActiveItem"), VT_EMPTY, TRXPROP_OVERLOAD, OLESTR("Returns current selected Tree node position")},
    {OLESTR("HtmlId"),         VT_BSTR,  OLESTR("HtmlID"),     VT_BSTR,  TRXPROP_HOST,     OLESTR("Returns HTMLid for the Tree control")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXTree> CNVTRXTree::kOwnProperties[] = {
    {OLESTR("ActiveTreeItem"), TRXMATCH_NOCASE, &CNVTRXTree::GetActiveTreeItem},
};
const TrxOwnMethod<CNVTRXTree> CNVTRXTree::kOwnMethods[] = {
    {OLESTR("IsExpanded"),    TRXMATCH_NOCASE, &CNVTRXTree::IsExpanded},
    {OLESTR("IsSelected"),    TRXMATCH_NOCASE, &CNVTRXTree::IsSelected},
    {OLESTR("GetChildCount"), TRXMATCH_NOCASE, &CNVTRXTree::GetChildCount},
    {OLESTR("IsExists"),      TRXMATCH_NOCASE, &CNVTRXTree::IsExists},
};
// clang-format on

CNVTRXTree::CNVTRXTree(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXTree Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvTree");
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_TREECONTROL, OLESTR("NorvTree"), m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

bool CNVTRXTree::ReadNode(const OLECHAR* property, const VARIANT& position, TrxVariant& value) {
  if (!m_spNWEAuto) return false;
  TrxBstr name(property);
  TrxVariant aux;
  if (FAILED(aux.CopyFrom(&position))) return false;
  SHORT error = 0;
  return SUCCEEDED(m_spNWEAuto->GetProperty(name.Get(), &aux, 1, &value)) &&
         SUCCEEDED(m_spNWEAuto->GetLastErrorCode(&error)) && error == 0;
}

TRXRESULT CNVTRXTree::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR && m_spNWEAuto)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXTree>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXAutomation::GetProperty(name, value);
}

TRXRESULT CNVTRXTree::GetActiveTreeItem(VARIANT* value) {
  TrxVariant active, text;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ActiveItem"), active)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ActiveItem"));
  if (!ReadNode(OLESTR("ItemText"), active, text)) return Warn(TRX_HOST_GETPROPERTY, OLESTR("ItemText"));
  if (value) text.Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXTree::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXTree>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXTree::IsExpanded(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxVariant position = args.GetAt(0);
  TrxVariant expanded, children;
  if (!ReadNode(OLESTR("ItemExpanded"), position, expanded)) return Warn(TRX_HOST_GETPROPERTY, OLESTR("ItemExpanded"));
  bool answer = TrxLong(expanded) == 1;
  // A leaf has nothing to hide: it counts as expanded.
  if (!answer) {
    if (!ReadNode(OLESTR("ItemChildCount"), position, children))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("ItemChildCount"));
    answer = TrxLong(children, -1) == 0;
  }
  if (result) TrxVariant::FromBool(answer).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXTree::IsSelected(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  TrxVariant selected;
  if (!ReadNode(OLESTR("ItemSelected"), args.GetAt(0), selected))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ItemSelected"));
  if (result) TrxVariant::FromBool(TrxBool(selected)).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXTree::GetChildCount(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxVariant position = args.GetAt(0);
  TrxVariant expanded, children;
  if (!ReadNode(OLESTR("ItemExpanded"), position, expanded)) return Warn(TRX_HOST_GETPROPERTY, OLESTR("ItemExpanded"));
  // The children of a collapsed node are not shown: none are counted.
  LONG count = 0;
  if (TrxLong(expanded) == 1) {
    if (!ReadNode(OLESTR("ItemChildCount"), position, children))
      return Warn(TRX_HOST_GETPROPERTY, OLESTR("ItemChildCount"));
    count = TrxLong(children);
  }
  if (result) TrxVariant::FromI4(count).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXTree::IsExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  TrxVariant text;
  // The client names a position it does not have "Id".
  const bool exists = ReadNode(OLESTR("ItemText"), args.GetAt(0), text) && TrxText(text) != OLESTR("Id");
  if (result) TrxVariant::FromBool(exists).Detach(result);
  return TRX_OK;
}
