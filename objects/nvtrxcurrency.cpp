#include "objects/nvtrxcurrency.h"

#include "log/nvtrxassert.h"
#include "objects/nvtrxclasses.h"

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("Name"),         VT_BSTR, TRXPROP_HOST,    OLESTR("property RepositoryName")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),       VT_BSTR, TRXPROP_HOST,    OLESTR("Returns HTMLid for the list control")},
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,       VT_BSTR, TRXPROP_CONST,   OLESTR("property ClassName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("DisplayName"),  VT_BSTR, TRXPROP_HOST,    OLESTR("property UIName")},
    {OLESTR("IsRequired"),     VT_BOOL, OLESTR("IsRequired"),   VT_BOOL, TRXPROP_HOST,    OLESTR("Returns TRUE if the control is enabled or FALSE if it is grayed")},
    {OLESTR("IsEnabled"),      VT_BOOL, OLESTR("IsReadOnly"),   VT_BOOL, TRXPROP_NEGATED, OLESTR("Returns TRUE if the control is a required field or FALSE if it is not")},
    {OLESTR("Text"),           VT_BSTR, OLESTR("Value"),        VT_BSTR, TRXPROP_HOST,    OLESTR("Returns the Data Value of the Control")},
    {OLESTR("Amount"),         VT_BSTR, OLESTR("Amount"),       VT_BSTR, TRXPROP_HOST,    OLESTR("Returns the Data Value of the Control")},
    {OLESTR("CurrencyCode"),   VT_BSTR, OLESTR("CurrencyCode"), VT_BSTR, TRXPROP_HOST,    OLESTR("Returns the Data Value of the Control")},
    {OLESTR("ExchangeDate"),   VT_BSTR, OLESTR("ExchangeDate"), VT_BSTR, TRXPROP_HOST,    OLESTR("Returns the Data Value of the Control")},
    {OLESTR("IsOpen"),         VT_BOOL, OLESTR("IsPopupOpen"),  VT_BOOL, TRXPROP_HOST,    OLESTR("Returns TRUE if the control is open or FALSE if it is not")},
};
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"),     VT_BSTR,  REQID_SETVALUE,    VT_I4,    TRXMETHOD_FOCUS_WRAPPED, OLESTR("")},
    {OLESTR("OpenPopup"),   VT_EMPTY, REQID_SHOWPOPUP,   VT_I4,    TRXMETHOD_FOCUS_WRAPPED, OLESTR("")},
    {OLESTR("ClosePopup"),  VT_EMPTY, REQID_CLOSEPOPUP,  VT_EMPTY, TRXMETHOD_REQUEST,       OLESTR("")},
    {OLESTR("CancelPopup"), VT_EMPTY, REQID_CANCELPOPUP, VT_EMPTY, TRXMETHOD_REQUEST,       OLESTR("Closes the popup applet without saving the changes")},
};

// The three sub-fields of the popup: repository name, the names a tool
// may know them by in the popup, the class, and the client's "Type".
struct SubField {
  const OLECHAR* name;
  const OLECHAR* label;
  const OLECHAR* className;
  const OLECHAR* type;
};
const SubField kSubFields[] = {
    {OLESTR("Currency Code"), OLESTR("Currency Code:"), OLESTR("NorvText"),       OLESTR("text")},
    {OLESTR("Amount"),        OLESTR("Amount:"),        OLESTR("NorvCalculator"), OLESTR("calculator")},
    {OLESTR("Exchange Date"), OLESTR("Exchange Date:"), OLESTR("NorvCalendar"),   OLESTR("calendar")},
};

const TrxChildClass kChildClasses[] = {
    {OLESTR("NorvText"),       OLESTR("NorvText")},
    {OLESTR("NorvCalculator"), OLESTR("NorvCalculator")},
    {OLESTR("NorvCalendar"),   OLESTR("NorvCalendar")},
};
// clang-format on

const SubField* FindSubFieldOfClass(TrxStringView className) {
  for (const SubField& field : kSubFields)
    if (TrxEqualsNoCase(className, field.className)) return &field;
  return nullptr;
}

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXCurrency> CNVTRXCurrency::kOwnMethods[] = {
    {OLESTR("GetClassCount"),            TRXMATCH_NOCASE, &CNVTRXCurrency::GetClassCount},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXCurrency::GetRepositoryNameByIndex},
    {OLESTR("GetRepositoryName"),        TRXMATCH_NOCASE, &CNVTRXCurrency::GetRepositoryName},
};
// clang-format on

CNVTRXCurrency::CNVTRXCurrency(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXCurrency Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvCurrency");
  if (!AttachToHostControl(name)) return;
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}

TRXRESULT CNVTRXCurrency::CreateChild(TrxStringView className, TrxStringView repositoryName,
                                      CNVTRXAutomation** ppChild) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Class Name: \"%s\", RepositoryName: \"%s\""), className, repositoryName);
  // Anything but the three sub-field classes is left to the caller to report.
  bool known = false;
  for (const TrxChildClass& entry : kChildClasses) known = known || className == entry.className;
  if (!known) return TRX_CURRENCY_FAILED;
  return TrxCreateChild(this, kChildClasses, className, repositoryName, ppChild);
}

TRXRESULT CNVTRXCurrency::OnBuildHierarchy(INVAutomation* pNWEAuto, LONG, LONG objectType, INVPropertySet*,
                                           CNVTRXAutomation** ppChild) {
  TrxVariant nameValue, type;
  if (FAILED(ReadHostProperty(pNWEAuto, OLESTR("Name"), nameValue))) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_HOST_GETPROPERTY, OLESTR("GetProperty Name failed"));
    return TRX_HOST_GETPROPERTY;
  }
  const TrxString name = TrxText(nameValue);
  if (objectType != OBJTYPE_SUBCONTROL) {
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    TrxAssertFailed(__FILE__, __LINE__, OLESTR("Unsupported object type returned by NWE in OnBuildHierarchy"));
    return TRX_E_CREATE_OBJECT;
  }
  ReadHostProperty(pNWEAuto, OLESTR("Type"), type);
  // A sub-field is known by its type or by its name, in the order of the table.
  const SubField* field = nullptr;
  for (const SubField& candidate : kSubFields)
    if (!field && (TrxText(type) == candidate.type || name == candidate.name)) field = &candidate;
  if (!field) return TRX_OK;
  return CreateChild(field->className, name, ppChild);
}

TRXRESULT CNVTRXCurrency::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXCurrency>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Sending back to Base method HandleAutomationRequest"));
  return CNVTRXControl::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXCurrency::GetClassCount(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  if (result) TrxVariant::FromI4(FindSubFieldOfClass(TrxText(args.GetAt(0))) ? 1 : 0).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXCurrency::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const SubField* field = FindSubFieldOfClass(TrxText(args.GetAt(0)));
  const bool first = TrxLong(args.GetAt(1), -1) == 0;
  if (result) TrxVariant::FromString(field && first ? field->name : OLESTR("")).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXCurrency::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const SubField* field = FindSubFieldOfClass(TrxText(args.GetAt(0)));
  const TrxString uiName = TrxText(args.GetAt(1));
  const bool named = field && (TrxEqualsNoCase(uiName, field->name) || TrxEqualsNoCase(uiName, field->label));
  if (result) TrxVariant::FromString(named ? field->name : OLESTR("")).Detach(result);
  return TRX_OK;
}
