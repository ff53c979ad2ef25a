#include "model/nvtrxautomation.h"

#include "descriptors/nvtrxodsutil.h"
#include "descriptors/nvtrxxml.h"
#include "log/nvtrxassert.h"
#include "log/nvtrxlog.h"
#include "model/nvtrxrequestexecutor.h"
#include "model/nvtrxservicestate.h"
#include "model/nvtrxxmlwriter.h"

namespace {

std::atomic<LONG> g_liveObjects{0};
std::atomic<LONG> g_instances{0};

// The arguments of a call as the text traces and messages show.
TrxString ArgumentText(const VARIANT* value) { return CNVTRXArray(value).ToText(); }

DWORD SubmitTimeout() {
  CNVTRXServiceState* state = CNVTRXServiceState::Current();
  return state ? state->GetSubmitTimeout() : CNVTRXServiceState::kDefaultSubmitTimeout;
}

bool HostUnloaded() {
  CNVTRXServiceState* state = CNVTRXServiceState::Current();
  return state && state->IsHostUnloaded();
}

// Host object types and the child types listed for each, in order.
bool ChildTypesOf(LONG objectType, std::vector<AUTO_OBJECTTYPE>& types) {
  switch (objectType) {
    case OBJTYPE_APPLICATION:
      types = {OBJTYPE_MENU, OBJTYPE_TOOLBAR, OBJTYPE_CONTROL, OBJTYPE_NAVCONTROL, OBJTYPE_VIEW, OBJTYPE_THREADBAR,
               OBJTYPE_EXTOBJECT};
      return true;
    case OBJTYPE_VIEW:
      types = {OBJTYPE_APPLET};
      return true;
    case OBJTYPE_APPLET:
      types = {OBJTYPE_MENU, OBJTYPE_CONTROL, OBJTYPE_TREECONTROL, OBJTYPE_LISTCONTROL};
      return true;
    case OBJTYPE_CONTROL:
      types = {OBJTYPE_SUBCONTROL};
      return true;
    case OBJTYPE_SUBCONTROL:
      types.clear();
      return true;
    default:
      return false;
  }
}

// The text of a property value in the contents document.
TrxString ValueText(const VARIANT& value) {
  if (value.vt & VT_ARRAY) {
    const std::vector<TrxString> items = TrxStringList(value);
    TrxString text;
    for (size_t i = 0; i < items.size(); ++i) text += (i ? OLESTR(",") : OLESTR("")) + items[i];
    return text;
  }
  TrxVariant asText;
  if (FAILED(asText.ChangeType(VT_BSTR, &value))) return TrxString();
  return TrxString(TrxBstrView(asText.bstrVal));
}

}  // namespace

// ---- construction and destruction --------------------------------------------------

CNVTRXAutomation::CNVTRXAutomation(TrxStringView name, CNVTRXAutomation* parent) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXAutomation constructor");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("TRXAutomation Name=\"%s\""), name);
  m_pParent = parent;
  ++g_liveObjects;
  m_strRepositoryName = TrxString(name);
  if (m_pParent) m_pParent->InsertChild(this);
  if (g_instances++ == 0) CNVTRXRequestExecutor::SetUp();
}

CNVTRXAutomation::~CNVTRXAutomation() {
  --g_liveObjects;
  ReleaseChildren();
  m_spNWEAuto.Reset();
  if (g_instances-- == 1) CNVTRXRequestExecutor::ShutDown();
}

LONG CNVTRXAutomation::GetLiveObjectCount() noexcept { return g_liveObjects.load(); }

void CNVTRXAutomation::DestroyChild(CNVTRXAutomation* child) {
  for (CNVTRXAutomation*& slot : m_arrChildren) {
    if (slot != child) continue;
    slot = nullptr;
    delete child;
    return;
  }
}

void CNVTRXAutomation::ReleaseChildren() {
  std::vector<CNVTRXAutomation*> children;
  children.swap(m_arrChildren);
  for (CNVTRXAutomation* child : children) delete child;
}

TRXRESULT CNVTRXAutomation::InsertChild(CNVTRXAutomation* child) {
  TRX_ASSERT(child != nullptr, "InsertChild called with an empty child");
  if (!child) return TRX_OK;
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Class name = %s -Child Class Name = %s"), m_strClassName,
                                       child->m_strClassName);
  m_arrChildren.push_back(child);
  return TRX_OK;
}

CNVTRXAutomation* CNVTRXAutomation::GetRoot() noexcept {
  CNVTRXAutomation* object = this;
  while (object->m_pParent) object = object->m_pParent;
  return object;
}

TrxString CNVTRXAutomation::GetFullName() const {
  TrxString name = m_pParent ? m_pParent->GetFullName() + OLESTR(".") : TrxString();
  name += m_strRepositoryName;
  return name;
}

// ---- descriptors -----------------------------------------------------------------

void CNVTRXAutomation::BuildODS() {
  std::vector<std::pair<TrxString, TrxString>> chain;
  for (const CNVTRXAutomation* object = this; object; object = object->m_pParent)
    chain.emplace_back(object->m_strClassName, object->m_strRepositoryName);
  std::vector<std::pair<TrxString, TrxString>> fromRoot(chain.rbegin(), chain.rend());
  m_strODS = TrxComposeODS(fromRoot);
}

void CNVTRXAutomation::GetODS(TrxString& text, bool) {
  BuildODS();
  text = m_strODS;
}

TRXRESULT CNVTRXAutomation::CreateObjectFromODSNode(const CNVTRXXmlNode* node, CNVTRXAutomation** ppObject) {
  TRX_FUNCTION();
  CNVTRXAutomation* current = this;
  CNVTRXXmlNode level = node ? *node : CNVTRXXmlNode();
  while (!level.IsNull()) {
    TrxString className, repositoryName;
    GetODSClassName(level, className);
    GetODSRepositoryName(level, repositoryName);
    CNVTRXAutomation* child = nullptr;
    const TRXRESULT code = current->CreateChild(className, repositoryName, &child);
    if (code != TRX_OK || !child) {
      if (ppObject) *ppObject = nullptr;
      return code != TRX_OK ? code : TRX_E_CREATE_OBJECT;
    }
    current = child;
    level = level.GetLastChild();
  }
  if (ppObject) *ppObject = current;
  return TRX_OK;
}

// ---- default slots ------------------------------------------------------------------

TRXRESULT CNVTRXAutomation::CreateChild(TrxStringView, TrxStringView, CNVTRXAutomation** ppChild) {
  TRX_FUNCTION();
  if (ppChild) *ppChild = nullptr;
  TrxString text = OLESTR("Class ");
  text += m_strClassName;
  text += OLESTR(" does not support having children - Child:");
  return Fail(TRX_E_SYSTEM, text);
}

TRXRESULT CNVTRXAutomation::OnBuildHierarchy(INVAutomation*, LONG, LONG, INVPropertySet*, CNVTRXAutomation**) {
  TRX_FUNCTION();
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("ClassName: %s"), m_strClassName);
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Default OnBuildHierarchy called. This method does nothing in the base class"));
  return TRX_DEFAULT_BUILD_HIERARCHY;
}

bool CNVTRXAutomation::GetSpecializedObjectFromId(TrxString, CNVTRXAutomation*&) { return false; }

TRXRESULT CNVTRXAutomation::GetData(VARIANT*) { return TRX_OK; }

TRXRESULT CNVTRXAutomation::GetTextData(const VARIANT&, VARIANT*) { return TRX_OK; }

bool CNVTRXAutomation::RecordsArguments(TrxStringView) const { return true; }

bool CNVTRXAutomation::OmitsItemStateFromContents() const { return false; }

const OLECHAR kTrxOwnClassName[] = OLESTR("<class name>");
const OLECHAR kTrxOwnRepositoryName[] = OLESTR("<repository name>");

void CNVTRXAutomation::AddPropertyRows(std::span<const TrxPropertyRow> rows) {
  for (const TrxPropertyRow& row : rows) {
    const TrxStringView mapped = row.mapped == kTrxOwnClassName        ? TrxStringView(m_strClassName)
                                 : row.mapped == kTrxOwnRepositoryName ? TrxStringView(m_strRepositoryName)
                                                                       : TrxStringView(row.mapped);
    m_propertyMap.AddPropertyMapping(row.name, row.type, mapped, row.hostType, row.kind, row.description);
  }
}

void CNVTRXAutomation::AddMethodRows(std::span<const TrxMethodRow> rows) {
  for (const TrxMethodRow& row : rows) {
    if (row.kind == TRXMETHOD_PROPERTY)
      m_methodMap.AddPropertyMapping(row.name, row.type, row.hostProperty, row.hostType, row.kind, row.description);
    else
      m_methodMap.AddMethodMapping(row.name, row.type, row.requestId, row.hostType, row.kind, row.description);
  }
}

CNVTRXAutomation* CNVTRXAutomation::FindChild(TrxStringView className, TrxStringView repositoryName) {
  for (CNVTRXAutomation* child : m_arrChildren)
    if (child && child->m_strClassName == className && child->m_strRepositoryName == repositoryName) return child;
  return nullptr;
}

// ---- properties --------------------------------------------------------------------

TRXRESULT CNVTRXAutomation::GetProperty(const VARIANT& name, VARIANT* value) {
  TRX_FUNCTION();
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Class %s - Property Name : \"%s\""), m_strClassName, ArgumentText(&name));
  TRX_ASSERT(value != nullptr, "GetProperty called without an out value");
  TRX_ASSERT(name.vt == VT_BSTR, "GetProperty called with a property name that is not a string");
  if (!value) return TRX_E_SYSTEM;
  const TrxString propertyName = name.vt == VT_BSTR ? TrxString(TrxBstrView(name.bstrVal)) : TrxString();

  if (!m_spNWEAuto) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("object has no valid Norvik Client object"));
    return Fail(TRX_HOST_GETPROPERTY, propertyName);
  }

  TrxVariant mapped;
  const LONG row = m_propertyMap.LookupKey(propertyName, &mapped);
  if (row < 0) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("The property \"%s\" could not be mapped"), propertyName);
    return Fail(TRX_E_ARG_VALUE, OLESTR("GetProperty"), OLESTR("Property Name"), propertyName);
  }
  const VARIANT* kindCell = m_propertyMap.GetCell(row, 2);
  TRX_ASSERT(kindCell && kindCell->vt == VT_I4, "TRX_PROP in the property mapping is not an integer");
  const LONG kind = (kindCell && kindCell->vt == VT_I4) ? kindCell->lVal : -1;

  if (kind == TRXPROP_CONST) return SUCCEEDED(mapped.CopyTo(value)) ? TRX_OK : TRX_E_SYSTEM;
  if (kind == TRXPROP_OVERLOAD) {
    TRX_ASSERT(false, "Property defined as overload but is not overloaded");
    return TRX_NOT_OVERLOADED;
  }
  if (kind < TRXPROP_HOST || kind > TRXPROP_NEGATED) {
    TRX_ASSERT(false, "TRX_PROP in the property mapping is not supported");
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("Invalid TRXPROP value \"%d\" on class \"%s\""), kind, m_strClassName);
    return Fail(TRX_E_ARG_VALUE, OLESTR("GetProperty"), OLESTR("Property Type"), TrxDecimal(kind));
  }

  const TrxString hostProperty = mapped.vt == VT_BSTR ? TrxString(TrxBstrView(mapped.bstrVal)) : TrxString();
  TrxBstr hostName(hostProperty);
  TrxVariant aux;
  TrxVariant result;
  const HRESULT hr = m_spNWEAuto->GetProperty(hostName.Get(), &aux, 0, &result);
  if (FAILED(hr)) {
    return Fail(TRX_HOST_GETPROPERTY, hostProperty);
  }

  switch (kind) {
    case TRXPROP_HOST:
      if (result.vt == VT_BOOL || result.vt == VT_I2) {
        const bool isTrue = result.vt == VT_BOOL ? result.boolVal == -1 : result.iVal == -1;
        result = TrxVariant::FromBool(isTrue);
      } else if (result.vt == VT_UI4) {
        result.ChangeType(VT_BSTR);
      }
      break;
    case TRXPROP_COUNT: {
      // A list of one item may come as the item alone; anything else that is no array has none.
      const LONG count = (result.vt & VT_ARRAY) ? TrxSafeArrayExtent(result.parray) : result.vt == VT_BSTR ? 1 : 0;
      result = TrxVariant::FromI4(count);
      break;
    }
    case TRXPROP_NEGATED:
      if (hr == S_OK) {
        TrxVariant number;
        const bool isMinusOne = SUCCEEDED(number.ChangeType(VT_I4, &result)) && number.lVal == -1;
        result = TrxVariant::FromBool(!isMinusOne);
      }
      break;
    default:
      break;
  }
  result.Detach(value);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Property Value returned from NWE : \"%s\""), ArgumentText(value));
  return TRX_OK;
}

TRXRESULT CNVTRXAutomation::GetProperties(const VARIANT& names, VARIANT* value) {
  TRX_FUNCTION();
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Properties Requested: \"%s\""), ArgumentText(&names));
  TRX_ASSERT(value != nullptr, "GetProperties called without an out value");
  if (!value) return TRX_E_SYSTEM;
  const VARTYPE type = names.vt == (VT_BYREF | VT_VARIANT) && names.pvarVal ? names.pvarVal->vt : names.vt;
  if (type != (VT_ARRAY | VT_VARIANT) && type != VT_BSTR && type != VT_I4) {
    return TrxFail(TRX_E_ARG_TYPE, OLESTR("GetProperties"), OLESTR("Properties"), OLESTR("Array of String or Integer"));
  }
  CNVTRXArray requested(&names);
  const LONG count = requested.GetCount();
  CNVTRXArray table;
  for (LONG i = 0; i < count; ++i) {
    TrxVariant name = requested.GetAt(i, 0);
    TrxVariant propertyValue;
    GetProperty(name, &propertyValue);
    if (propertyValue.vt != VT_EMPTY) {
      table.SetAt(name, i, 0);
      table.SetAt(propertyValue, i, 1);
    }
  }
  table.ToVariant(value);
  return TRX_OK;
}

HRESULT CNVTRXAutomation::ReadHostProperty(INVAutomation* host, TrxStringView name, TrxVariant& value) {
  value.Clear();
  if (!host) return E_POINTER;
  TrxBstr property(name);
  TrxVariant aux;
  return host->GetProperty(property.Get(), &aux, 0, &value);
}

TRXRESULT CNVTRXAutomation::ReadHost(INVAutomation* host, TrxStringView property, TrxVariant& value,
                                     std::source_location where) const {
  if (SUCCEEDED(ReadHostProperty(host, property, value))) return TRX_OK;
  CNVTRXLogRecord(where.file_name(), static_cast<int>(where.line()), TRXLOG_USERERR, this)
      .ReportUserError(TRX_HOST_GETPROPERTY, property);
  return TRX_HOST_GETPROPERTY;
}

HRESULT CNVTRXAutomation::HostChild(INVAutomation* host, AUTO_OBJECTTYPE type, TrxStringView name,
                                    TrxComPtr<INVAutomation>& child) {
  child.Reset();
  if (!host) return E_POINTER;
  TrxBstr childName(name);
  const HRESULT hr = host->GetChild(type, childName.Get(), child.Put());
  return SUCCEEDED(hr) && !child ? E_FAIL : hr;
}

TRXRESULT CNVTRXAutomation::GetHostChild(INVAutomation* host, AUTO_OBJECTTYPE type, TrxStringView name,
                                         TrxComPtr<INVAutomation>& child, TrxStringView what,
                                         std::source_location where) const {
  if (SUCCEEDED(HostChild(host, type, name, child))) return TRX_OK;
  CNVTRXLogRecord(where.file_name(), static_cast<int>(where.line()), TRXLOG_USERERR, this)
      .ReportUserError(TRX_HOST_GETCHILD, what);
  return TRX_HOST_GETCHILD;
}

TRXRESULT CNVTRXAutomation::CheckArgumentCount(CNVTRXArray& arguments, TrxStringView method, LONG expected,
                                               std::source_location where) const {
  const LONG count = arguments.GetCount();
  if (count == expected) return TRX_OK;
  CNVTRXLogRecord(where.file_name(), static_cast<int>(where.line()), TRXLOG_USERTRACE, this)
      .ReportUserError(TRX_E_ARG_COUNT, count, method, expected);
  return -TRX_E_ARG_COUNT;
}

TRXRESULT CNVTRXAutomation::AnswerDescriptors(const std::vector<CNVTRXAutomation*>& children, VARIANT* value) {
  if (!value) return TRX_OK;
  CNVTRXArray descriptors;
  for (CNVTRXAutomation* child : children) {
    if (!child) continue;
    TrxString ods;
    child->GetODS(ods);
    descriptors.SetAt(ods, CNVTRXArray::kAppend);
  }
  VariantClear(value);
  if (descriptors.GetRowCount() == 0)
    TrxEmptyArray().Detach(value);
  else
    descriptors.ToVariant(value);
  return TRX_OK;
}

HRESULT CNVTRXAutomation::CurrentView(TrxComPtr<INVAutomation>& view) {
  return HostChild(GetRoot()->m_spNWEAuto.Get(), OBJTYPE_VIEW, OLESTR(""), view);
}

HRESULT CNVTRXAutomation::GetNWEProperty(TrxStringView name, VARIANT* auxParams, SHORT count, VARIANT* value) {
  TRX_ASSERT(m_spNWEAuto, "GetNWEProperty called without a host object");
  if (!m_spNWEAuto) return E_POINTER;
  TrxBstr hostName(name);
  HRESULT hr = E_FAIL;
  for (int attempt = 0; attempt < 10; ++attempt) {
    hr = m_spNWEAuto->GetProperty(hostName.Get(), auxParams, count, value);
    if (SUCCEEDED(hr)) break;
    VariantClear(value);
    Sleep(200);
  }
  return hr;
}

// ---- methods ------------------------------------------------------------------------

TRXRESULT CNVTRXAutomation::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                    VARIANT* result) {
  TRX_FUNCTION();
  TrxVariant mapped;
  const LONG row = m_methodMap.LookupKey(methodName, &mapped);
  if (row < 0) {
    return Fail(TRX_E_INVALID_METHOD, methodName, m_strClassName);
  }
  const VARIANT* kindCell = m_methodMap.GetCell(row, 2);
  TRX_ASSERT(kindCell && kindCell->vt == VT_I4, "Method kind in the method mapping is not an integer");
  const LONG kind = (kindCell && kindCell->vt == VT_I4) ? kindCell->lVal : TRXMETHOD_REQUEST;
  TrxVariant empty;

  if (kind == TRXMETHOD_PROPERTY) {
    TRX_ASSERT(mapped.vt == VT_BSTR, "Kind 1 method mapping does not name a host property");
    const TrxString hostProperty = mapped.vt == VT_BSTR ? TrxString(TrxBstrView(mapped.bstrVal)) : TrxString();
    if (!m_spNWEAuto) {
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("object has no valid Norvik Client object"));
      return Fail(TRX_HOST_GETPROPERTY, hostProperty);
    }
    const SHORT count =
        (arguments.vt & VT_ARRAY) ? static_cast<SHORT>(TrxSafeArrayExtent(arguments.parray)) : SHORT{1};
    TrxBstr hostName(hostProperty);
    const HRESULT hr =
        m_spNWEAuto->GetProperty(hostName.Get(), const_cast<VARIANT*>(&arguments), count, result);
    SHORT errorCode = 0;
    if (FAILED(hr) || FAILED(m_spNWEAuto->GetLastErrorCode(&errorCode)) || errorCode != 0) {
      return Fail(TRX_HOST_GETPROPERTY, hostProperty);
    }
    return TRX_OK;
  }

  const LONG requestId = mapped.vt == VT_I4 ? mapped.lVal : 0;
  if (kind == TRXMETHOD_FOCUS_WRAPPED || kind == TRXMETHOD_FOCUS_FIRST) {
    TRXRESULT code = NWEInvoke(m_spNWEAuto.Get(), REQID_SETFOCUS, &empty, TRXHOSTREF_KEEP, TRXTIMING_NONE);
    if (code != TRX_OK) {
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Call to NWEInvoke for SetFocus on the Ctrl Failed"));
      return code;
    }
    if (kind == TRXMETHOD_FOCUS_FIRST)
      return NWEInvoke(m_spNWEAuto.Get(), requestId, &arguments, TRXHOSTREF_DROP, TRXTIMING_SET);
    code = NWEInvoke(m_spNWEAuto.Get(), requestId, &arguments, TRXHOSTREF_KEEP, TRXTIMING_SET);
    if (code != TRX_OK) return code;
    code = NWEInvoke(m_spNWEAuto.Get(), REQID_CLEARFOCUS, &empty, TRXHOSTREF_DROP, TRXTIMING_ADD);
    if (code != TRX_OK) {
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Call to NWEInvoke for ClearFocus on the Ctrl Failed"));
      return code;
    }
    return TRX_OK;
  }
  return NWEInvoke(m_spNWEAuto.Get(), requestId, &arguments, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXAutomation::ConvertNWEMethod(const VARIANT&, LONG requestId, CNVTRXArray& hostArguments,
                                             TrxString& methodName, CNVTRXArray& arguments) {
  TRX_FUNCTION();
  if (m_methodMap.GetKeyCount() == 0) {
    return Fail(TRX_E_INVALID_METHOD, TrxDecimal(requestId), m_strClassName);
  }
  TrxString key;
  if (m_methodMap.LookupValue(TrxVariant::FromI4(requestId), &key) < 0) {
    return Fail(TRX_E_ARG_VALUE, OLESTR("ConvertNWEMethod"), OLESTR("Method ID"), TrxDecimal(requestId));
  }
  methodName = key;
  const LONG count = hostArguments.GetCount();
  for (LONG i = 0; i < count; ++i) arguments.SetAt(hostArguments.GetAt(i, 1), i, 0);
  return TRX_OK;
}

// ---- host requests ----------------------------------------------------------------

DWORD CNVTRXAutomation::WaitOnTRXEvent(HANDLE event, DWORD timeout) {
  const DWORD start = GetTickCount();
  DWORD wait = MsgWaitForMultipleObjects(1, &event, FALSE, 1, QS_ALLINPUT);
  for (;;) {
    if (wait == WAIT_OBJECT_0) return 0;
    if (wait == WAIT_OBJECT_0 + 1) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        const bool unicode = msg.hwnd == nullptr || IsWindowUnicode(msg.hwnd);
        if (unicode ? !PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) : !PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
          break;
        TranslateMessage(&msg);
        if (unicode) {
          DispatchMessageW(&msg);
        } else {
          DispatchMessageA(&msg);
        }
        if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0) return 0;
      }
    }
    if (timeout != INFINITE && GetTickCount() - start >= timeout) return WAIT_TIMEOUT;
    wait = MsgWaitForMultipleObjects(1, &event, FALSE, 1, QS_ALLINPUT);
  }
}

void CNVTRXAutomation::ApplyTiming(LONG timingMode) {
  if (timingMode != TRXTIMING_SET && timingMode != TRXTIMING_ADD && timingMode != TRXTIMING_DOUBLE_CLICK) return;
  CNVTRXServiceState* state = CNVTRXServiceState::Current();
  CNVTRXAutomation* root = GetRoot();
  LONG hostTime = 0;
  if (root->m_spNWEAuto) {
    TrxVariant value;
    ReadHostProperty(root->m_spNWEAuto.Get(), OLESTR("LastOperationTime"), value);
    TrxVariant number;
    if (SUCCEEDED(number.ChangeType(VT_I4, &value))) hostTime = number.lVal;
  }
  LONG total = hostTime;
  if (timingMode == TRXTIMING_ADD && state) total += state->GetLastOperationTime();
  if (state) state->SetLastOperationTime(total);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE INVOKE time on this operation is %ld ms"), total);
}

bool CNVTRXAutomation::ReportHostError() {
  if (HostUnloaded()) return false;
  CNVTRXAutomation* root = GetRoot();
  if (!root->m_spNWEAuto) return false;
  SHORT code = 0;
  if (FAILED(root->m_spNWEAuto->GetLastErrorCode(&code)) || code == 0) return false;
  // The text comes from this object's host object; when its reference has
  // been dropped, from the root's, which gave the code.
  INVAutomation* source = m_spNWEAuto ? m_spNWEAuto.Get() : root->m_spNWEAuto.Get();
  TrxBstr text;
  source->GetLastErrorText(text.Put());
  TRX_LOG_OBJ(TRXLOG_NWEERR, this)
      .ReportUserError(TRX_E_SYSTEM,
                       TrxFormatText(OLESTR("Norvik Web Engine(NWE) returned the following error text: \"%s\" and "
                                            "error ID: %d."),
                                     text, code));
  return true;
}

TRXRESULT CNVTRXAutomation::NWEInvoke(INVAutomation* pNWEAuto, LONG requestId, const VARIANT* arguments,
                                      TRXHOSTREF hostReference, LONG timingMode) {
  TRX_FUNCTION();
  TRX_ASSERT(arguments != nullptr, "NWEInvoke called without arguments");
  TrxVariant noArguments;
  if (!arguments) arguments = &noArguments;
  const TrxString argumentText = ArgumentText(arguments);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("MethodID = %d and Args=%s"), requestId, argumentText);

  CNVTRXRequestExecutor* executor = CNVTRXRequestExecutor::Instance();
  if (!pNWEAuto || !executor || !executor->HasWorker()) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("object has no valid Norvik Client object"));
    return Fail(TRX_E_EXECUTE_METHOD, requestId, argumentText, OLESTR("HandleAutoRequest"));
  }

  // Blocking guard: a request abandoned earlier may still be in the host.
  if (!executor->WaitUntilFree(CNVTRXRequestExecutor::kBlockingGuardWait)) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("Previously abondoned NWE operation is still blocking - returning TRX_BLOCKING - Not "
                            "processed"));
    return Fail(TRX_E_EXECUTE_METHOD, requestId, argumentText, OLESTR("Blocked"));
  }

  TrxComPtr<INVAutomation> host(pNWEAuto);
  IStream* stream = nullptr;
  if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_INVAutomation, host.Get(), &stream)) || !stream) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE INVAutomation pointer failed to marshal to NWE invoke thread"));
    return Fail(TRX_E_EXECUTE_METHOD, requestId, argumentText, OLESTR("Marshaling"));
  }

  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Starting to Submit Request to NWEInvoke thread"));
  const bool finished = executor->Submit(requestId, *arguments, stream, CNVTRXRequestExecutor::kHandOverWait);

  if (hostReference == TRXHOSTREF_DROP && m_pParent && m_spNWEAuto) m_spNWEAuto.Reset();
  if (timingMode == TRXTIMING_DOUBLE_CLICK) Sleep(GetDoubleClickTime() + 30);

  if (WaitOnTRXEvent(executor->GetSyncEvent(), SubmitTimeout()) != 0) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("TRX Timeout has occurred waiting on NWE sync event on ClassName: %s, RepositoryName: %s"),
                     m_strClassName, m_strRepositoryName);
    return Fail(TRX_E_BUSY);
  }
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE sync event signaled IDLE"));
  ApplyTiming(timingMode);

  if (!finished) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportError(TRX_BLOCKING, OLESTR("Current NWE operation is blocking - returning TRX_BLOCKING"));
    return TRX_OK;
  }
  const LONG threadStatus = executor->GetThreadStatus();
  if (threadStatus != CNVTRXRequestExecutor::kDone) {
    return Fail(TRX_E_EXECUTE_METHOD, requestId, argumentText, threadStatus == CNVTRXRequestExecutor::kUnmarshalFailed ? OLESTR("Marshaling") : OLESTR("HandleAutoRequest"));
  }
  // A request the client refused answers -1023 with the client's text; the
  // cushion delay applies either way.
  const HRESULT hostStatus = executor->GetHostStatus();
  bool refused = FAILED(hostStatus);
  if (refused)
    TRX_LOG_OBJ(TRXLOG_NWEERR, this)
        .ReportUserError(TRX_E_SYSTEM, TrxFormatText(OLESTR("NWE automation request failed with code: 0x%X"),
                                                     static_cast<ULONG>(hostStatus)));
  refused = ReportHostError() || refused;
  if (const DWORD delay = CNVTRXRequestExecutor::GetCushionDelay()) Sleep(delay);
  return refused ? TRX_E_SYSTEM : TRX_OK;
}

// ---- hierarchy ----------------------------------------------------------------------

TRXRESULT CNVTRXAutomation::GetNWEChildren(TrxHostObjects& children) {
  TRX_FUNCTION();
  if (!m_spNWEAuto) {
    TrxString text = OLESTR("Possible specialized TRX object \"");
    text += m_strClassName;
    text += OLESTR("\" with NULL NWE Automation Interface Pointer - Returning");
    return Fail(TRX_E_SYSTEM, text);
  }
  TrxVariant objType;
  ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ObjType"), objType);
  if (objType.vt != VT_I4) return TRX_OK;
  std::vector<AUTO_OBJECTTYPE> types;
  if (!ChildTypesOf(objType.lVal, types)) return TRX_E_SYSTEM;

  auto addChild = [&](AUTO_OBJECTTYPE type, BSTR name) {
    TrxComPtr<INVAutomation> child;
    if (SUCCEEDED(m_spNWEAuto->GetChild(type, name, child.Put())) && child) children.push_back(std::move(child));
  };
  for (AUTO_OBJECTTYPE type : types) {
    TrxVariant names;
    if (FAILED(m_spNWEAuto->GetChildNames(type, &names))) continue;
    if (names.vt == VT_BSTR) {
      addChild(type, names.bstrVal);
      continue;
    }
    if (!(names.vt & VT_ARRAY) || !names.parray || SafeArrayGetDim(names.parray) < 1) continue;
    const VARTYPE element = static_cast<VARTYPE>(names.vt & VT_TYPEMASK);
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(names.parray, 1, &lower);
    SafeArrayGetUBound(names.parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
      if (element == VT_BSTR) {
        TrxBstr name;
        SafeArrayGetElement(names.parray, &i, name.Put());
        TrxBstr passed(name.IsNull() ? TrxBstr(OLESTR("")) : std::move(name));
        addChild(type, passed.Get());
      } else if (element == VT_VARIANT) {
        TrxVariant name;
        SafeArrayGetElement(names.parray, &i, &name);
        if (name.vt != VT_BSTR) break;
        addChild(type, name.bstrVal);
      } else {
        break;
      }
    }
  }
  return TRX_OK;
}

TRXRESULT CNVTRXAutomation::CreateChildFromNWE(INVAutomation* pNWEAuto, CNVTRXAutomation** ppChild) {
  TRX_FUNCTION();
  TRX_ASSERT(pNWEAuto != nullptr, "CreateChildFromNWE called without a host object");
  if (ppChild) *ppChild = nullptr;
  if (!pNWEAuto) return TRX_E_SYSTEM;
  TrxVariant name;
  ReadHostProperty(pNWEAuto, OLESTR("Name"), name);
  TRX_ASSERT(name.vt == VT_BSTR, "Property \"Name\" returned by NWE is not BSTR type");
  TrxVariant objType;
  ReadHostProperty(pNWEAuto, OLESTR("ObjType"), objType);
  TRX_ASSERT(objType.vt == VT_I4, "Property \"ObjType\" returned by NWE is not LONG");
  const LONG type = objType.vt == VT_I4 ? objType.lVal : 0;
  return OnBuildHierarchy(pNWEAuto, 0, type, nullptr, ppChild);
}

TRXRESULT CNVTRXAutomation::BuildTRXObjectHierarchy() {
  TRX_FUNCTION();
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("class = %s repository name: %s"), m_strClassName, m_strRepositoryName);
  if (!m_spNWEAuto) return TRX_OK;
  TrxHostObjects children;
  GetNWEChildren(children);
  for (const auto& host : children) {
    CNVTRXAutomation* child = nullptr;
    const TRXRESULT code = CreateChildFromNWE(host.Get(), &child);
    if (code != TRX_OK) {
      TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_E_CREATE_OBJECT);
      return code;
    }
    if (child) child->BuildTRXObjectHierarchy();
  }
  return TRX_OK;
}

TRXRESULT CNVTRXAutomation::GetChildren(const VARIANT&, VARIANT* value) {
  TRX_FUNCTION();
  if (!m_spNWEAuto) return TRX_OK;
  TrxHostObjects children;
  if (GetNWEChildren(children) != TRX_OK) {
    if (value) {
      VariantClear(value);
      value->vt = VT_ARRAY | VT_VARIANT;
      value->parray = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    }
    return TRX_OK;
  }
  for (const auto& host : children) {
    CNVTRXAutomation* child = nullptr;
    const TRXRESULT code = CreateChildFromNWE(host.Get(), &child);
    if (code != TRX_OK) return code;
  }
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(m_arrChildren.size()));
  for (LONG i = 0; i < static_cast<LONG>(m_arrChildren.size()); ++i) {
    TrxString ods;
    if (CNVTRXAutomation* child = m_arrChildren[static_cast<size_t>(i)]) child->GetODS(ods);
    TrxVariant element = TrxVariant::FromString(ods);
    SafeArrayPutElement(array, &i, &element);
  }
  if (value) {
    VariantClear(value);
    value->vt = VT_ARRAY | VT_VARIANT;
    value->parray = array;
  } else {
    SafeArrayDestroy(array);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXAutomation::GetObjectFromId(TrxString htmlId, bool& found, CNVTRXAutomation*& object) {
  TRX_FUNCTION();
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Class =%s - HTMLId: %s"), m_strClassName, htmlId);
  found = false;
  const TrxVariant htmlIdName = TrxVariant::FromString(OLESTR("HtmlId"));

  auto matches = [&](const VARIANT& value, bool acceptStringArrays) {
    if (value.vt == VT_BSTR) return TrxBstrView(value.bstrVal) == htmlId;
    const VARTYPE element = static_cast<VARTYPE>(value.vt & VT_TYPEMASK);
    if (!(value.vt & VT_ARRAY) || !(element == VT_VARIANT || (acceptStringArrays && element == VT_BSTR))) return false;
    CNVTRXArray cells(&value);
    const LONG count = cells.GetCount();
    for (LONG i = 0; i < count; ++i) {
      TrxVariant cell = cells.GetAt(i, 0);
      TrxVariant text;
      if (SUCCEEDED(text.ChangeType(VT_BSTR, &cell)) && TrxBstrView(text.bstrVal) == htmlId) return true;
    }
    return false;
  };

  {
    TrxVariant own;
    if (GetProperty(htmlIdName, &own) != TRX_OK) {
      TRX_LOG_OBJ(TRXLOG_USERERR, this)
          .ReportUserError(TRX_E_SYSTEM, OLESTR("GetProperty(\"HtmlId\") in GetObjectFromId failed"));
    } else if (matches(own, false)) {
      found = true;
      object = this;
      return TRX_OK;
    }
  }

  TrxHostObjects children;
  const TRXRESULT listed = GetNWEChildren(children);
  if (listed != TRX_OK) {
    TRX_LOG_OBJ(TRXLOG_USERERR, this).ReportUserError(TRX_E_SYSTEM, OLESTR("GetNWEChildren() failed"));
    return listed;
  }
  for (const auto& host : children) {
    if (found) break;
    CNVTRXAutomation* child = nullptr;
    // A host child that cannot be built is skipped: there is nothing to test.
    if (CreateChildFromNWE(host.Get(), &child) != TRX_OK || !child) continue;
    TrxVariant value;
    if (child->GetProperty(htmlIdName, &value) != TRX_OK) {
      TRX_LOG_OBJ(TRXLOG_USERERR, this)
          .ReportUserError(TRX_E_SYSTEM, OLESTR("GetProperty(\"HtmlId\") in GetObjectFromId in the loop failed"));
    } else if (value.vt == VT_BSTR) {
      if (matches(value, true)) {
        found = true;
        if (!child->GetSpecializedObjectFromId(TrxString(TrxBstrView(value.bstrVal)), object)) object = child;
        break;
      }
    } else if (value.vt & VT_ARRAY) {
      if (matches(value, true)) {
        found = true;
        object = child;
        break;
      }
    } else if (value.vt == VT_EMPTY) {
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("NWE returns VT_EMPTY for HtmlID"));
    } else {
      TRX_LOG_OBJ(TRXLOG_USERERR, this)
          .ReportUserError(TRX_E_SYSTEM, OLESTR("GetProperty(\"HtmlId\") returned an unsupported variant data type"));
      TRX_ASSERT(false, "GetProperty(\"HtmlId\") returned an unsupported variant data type");
    }
    if (!found) child->GetObjectFromId(htmlId, found, object);
  }
  return listed;
}

// ---- contents --------------------------------------------------------------------------

TRXRESULT CNVTRXAutomation::OutputActiveScreenXMLContents(LONG mode, TrxStringView activeElement,
                                                          CNVTRXXmlWriter& writer, bool close) {
  TRX_FUNCTION();
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("class = %s - Mode: %d active element: %s"), m_strClassName, mode, activeElement);
  writer.StartElement(OLESTR("Obj"));
  writer.WriteAttribute(OLESTR("ClassName"), m_strClassName);
  writer.WriteAttribute(OLESTR("RepositoryName"), m_strRepositoryName);

  const size_t bar = activeElement.find('|');
  const TrxStringView parentPart = bar == TrxStringView::npos ? TrxStringView() : activeElement.substr(0, bar);
  const TrxStringView ownPart = bar == TrxStringView::npos ? activeElement : activeElement.substr(bar + 1);
  const TrxStringView parentName = m_pParent ? TrxStringView(m_pParent->m_strRepositoryName) : TrxStringView();
  if (parentPart == parentName && ownPart == m_strRepositoryName)
    writer.WriteAttribute(OLESTR("ActiveElement"), OLESTR("true"));

  if (mode != 5) {
    writer.StartElement(OLESTR("Properties"));
    const bool listLike = OmitsItemStateFromContents();
    for (LONG row = 0; row < m_propertyMap.GetKeyCount(); ++row) {
      const TrxString key = m_propertyMap.GetKeyAt(row);
      writer.StartElement(OLESTR("Property"));
      const VARIANT* typeCell = m_propertyMap.GetCell(row, 0);
      writer.WriteAttribute(OLESTR("Type"), TrxDecimal(typeCell && typeCell->vt == VT_I4 ? typeCell->lVal : 0));
      writer.WriteAttribute(OLESTR("Name"), key);
      TrxString text;
      if (listLike && key == OLESTR("Count")) {
        text = OLESTR("0");
      } else if (!(listLike && key == OLESTR("ActiveItem"))) {
        TrxVariant value;
        GetProperty(TrxVariant::FromString(key), &value);
        text = ValueText(value);
      }
      writer.WriteAttribute(OLESTR("Value"), text);
      writer.EndElement();
    }
    writer.EndElement();
  }
  // By index: a child's output may reach the host, and a recorder event
  // handled meanwhile may add children here.
  for (size_t i = 0; i < m_arrChildren.size(); ++i)
    if (CNVTRXAutomation* child = m_arrChildren[i]) child->OutputActiveScreenXMLContents(mode, activeElement, writer, true);
  if (close) writer.EndElement();
  return TRX_OK;
}
