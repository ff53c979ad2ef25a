#include "service/nvtrx.h"

#include <algorithm>

#include "descriptors/nvtrxodsutil.h"
#include "descriptors/nvtrxxml.h"
#include "log/nvtrxassert.h"
#include "model/nvtrxxmlwriter.h"
#include "service/nvtrxdispatch.h"

// Every method's entry and exit records carry the facade's own name.
#define TRX_FACADE_SCOPE(name) CNVTRXLogFunction trxFacadeScope_(__FILE__, __LINE__, "CNVCoTRX::" name)

namespace {

std::atomic<CNVCoTRX*> g_facade{nullptr};
std::atomic<CNVCoTRX::LifetimeHook> g_lifetimeHook{nullptr};

const OLECHAR kSupportedComponents[] = OLESTR(
    "<?xml version=\"1.0\" encoding=\"UTF-16\" ?>"
    "<supportedcomponents>"
    "<activexcontrols>"
    "<progid value=\"Norvik.NvCalendarCtl.1\"/>"
    "<progid value=\"Norvik.NvCalculatorCtl.1\"/>"
    "<progid value=\"Norvik.NvCurrencyCtl.1\"/>"
    "<progid value=\"Norvik.NvListCtl.1\"/>"
    "<progid value=\"Norvik.NvTreeCtl.1\"/>"
    "<progid value=\"Norvik.NvMenuCtl.1\"/>"
    "<progid value=\"Norvik.NvToolbarCtl.1\"/>"
    "<progid value=\"Norvik.NvThreadbarCtl.1\"/>"
    "<progid value=\"Norvik.NvScreenTabsCtl.1\"/>"
    "<progid value=\"Norvik.NvViewTabsCtl.1\"/>"
    "<progid value=\"Norvik.NvPicklistCtl.1\"/>"
    "<progid value=\"Norvik.NvRichTextCtl.1\"/>"
    "<progid value=\"Norvik.NvInkDataCtl.1\"/>"
    "<progid value=\"Norvik.NvChartCtl.1\"/>"
    "<progid value=\"Norvik.NvAlphaTabsCtl.1\"/>"
    "<progid value=\"Norvik.NvTaskPaneCtl.1\"/>"
    "<progid value=\"Norvik.NvTaskAssistantCtl.1\"/>"
    "<progid value=\"Norvik.NvCommToolbarCtl.1\"/>"
    "<progid value=\"Norvik.NvPDQCtl.1\"/>"
    "<progid value=\"Norvik.NvFlowChartCtl.1\"/>"
    "<progid value=\"Norvik.NvRuleDesignerCtl.1\"/>"
    "</activexcontrols>"
    "<javaclasses>"
    "<classname value=\"com.norvik.applet.NvCommunicationsApplet\"/>"
    "</javaclasses>"
    "</supportedcomponents>");

const OLECHAR kLeakTrace[] = OLESTR("####### Possible CNVTRXAutomation objects leacked #######");

BSTR Allocate(TrxStringView text) {
  return SysAllocStringLen(text.data() ? text.data() : OLESTR(""), static_cast<UINT>(text.size()));
}

// Orders two object-definitions versions dot-separated part by part: parts
// made of digits by their numbers (so "8.10" comes after "8.2"), other parts
// by their text; a version that has more parts comes after one that is its
// beginning. Negative, zero or positive as `a` comes before, equals or
// comes after `b`.
int CompareVersions(TrxStringView a, TrxStringView b) {
  auto isNumber = [](TrxStringView part) {
    if (part.empty()) return false;
    for (OLECHAR c : part)
      if (c < '0' || c > '9') return false;
    return true;
  };
  auto stripZeros = [](TrxStringView part) {
    while (part.size() > 1 && part[0] == '0') part.remove_prefix(1);
    return part;
  };
  for (;;) {
    const size_t endA = a.find('.'), endB = b.find('.');
    TrxStringView partA = a.substr(0, endA), partB = b.substr(0, endB);
    int order;
    if (isNumber(partA) && isNumber(partB)) {
      partA = stripZeros(partA);
      partB = stripZeros(partB);
      order = partA.size() != partB.size() ? (partA.size() < partB.size() ? -1 : 1) : partA.compare(partB);
    } else {
      order = partA.compare(partB);
    }
    if (order != 0) return order;
    const bool moreA = endA != TrxStringView::npos, moreB = endB != TrxStringView::npos;
    if (!moreA || !moreB) return moreA == moreB ? 0 : (moreA ? 1 : -1);
    a.remove_prefix(endA + 1);
    b.remove_prefix(endB + 1);
  }
}

}  // namespace

// ---- lifetime --------------------------------------------------------------------------

CNVCoTRX::CNVCoTRX() { TRX_FACADE_SCOPE("CNVCoTRX Constructor"); }

CNVCoTRX::~CNVCoTRX() = default;

HRESULT CNVCoTRX::FinalConstruct() {
  m_pApplication = new CNVTRXApplication(OLESTR("Norvik"), nullptr);
  return S_OK;
}

void CNVCoTRX::FinalRelease() {
  m_events.DisconnectAll();
  m_notifier.Stop();
  {
    TrxLock hold(m_siteLock);
    m_site.Reset();
  }
  delete m_pApplication;
  m_pApplication = nullptr;
}

CNVCoTRX* CNVCoTRX::Instance() noexcept { return g_facade.load(); }

void CNVCoTRX::SetLifetimeHook(LifetimeHook hook) noexcept { g_lifetimeHook.store(hook); }

HRESULT CNVCoTRX::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  CNVCoTRX* facade = g_facade.load();
  if (!facade) {
    facade = new CNVCoTRX();
    facade->FinalConstruct();
    g_facade.store(facade);
    if (LifetimeHook hook = g_lifetimeHook.load()) hook(true);
  }
  facade->AddRef();
  const HRESULT hr = facade->QueryInterface(riid, ppv);
  facade->Release();
  return hr;
}

HRESULT CNVCoTRX::QueryInterface(REFIID riid, void** ppv) {
  // IDispatch is the tools' interface (see the IDispatch methods below).
  INVTRXAutomation* automation = this;
  return TrxQueryInterface(ppv, riid,
                           {{IID_IUnknown, automation},
                            {IID_IDispatch, automation},
                            {IID_INVTRXAutomation, automation},
                            {IID_INVTRX, static_cast<INVTRX*>(this)},
                            {IID_IConnectionPointContainer, static_cast<IConnectionPointContainer*>(this)},
                            {IID_IObjectWithSite, static_cast<IObjectWithSite*>(this)}});
}

ULONG CNVCoTRX::AddRef() { return ++m_refs; }

ULONG CNVCoTRX::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) {
    CNVCoTRX* self = this;
    g_facade.compare_exchange_strong(self, nullptr);
    FinalRelease();
    delete this;
    if (LifetimeHook hook = g_lifetimeHook.load()) hook(false);
  }
  return refs;
}

// ---- IDispatch ----------------------------------------------------------------------------
// The facade has two IDispatch bases, INVTRXAutomation and INVTRX, and these
// four methods serve both: every late-bound call that reaches the facade is
// taken as a call of INVTRXAutomation, the tools' interface. The client calls
// INVTRX through its vtable and never late-bound.

namespace {

// The type information of INVTRXAutomation from the registered type library.
// On Windows the server registers the library; on Linux none is registered
// and this fails with TYPE_E_LIBNOTREGISTERED.
HRESULT LoadAutomationTypeInfo(ITypeInfo** info) {
  *info = nullptr;
  TrxComPtr<ITypeLib> library;
  const HRESULT hr = LoadRegTypeLib(LIBID_trxcomLib, 1, 0, 0, library.Put());
  if (FAILED(hr)) return hr;
  if (!library) return TYPE_E_LIBNOTREGISTERED;
  return library->GetTypeInfoOfGuid(IID_INVTRXAutomation, info);
}

}  // namespace

HRESULT CNVCoTRX::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  TrxComPtr<ITypeInfo> info;
  *pctinfo = SUCCEEDED(LoadAutomationTypeInfo(info.Put())) && info ? 1 : 0;
  return S_OK;
}

HRESULT CNVCoTRX::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return LoadAutomationTypeInfo(ppTInfo);
}

HRESULT CNVCoTRX::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
  return TrxAutomationGetIDsOfNames(riid, rgszNames, cNames, rgDispId);
}

HRESULT CNVCoTRX::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  const HRESULT hr = TrxAutomationInvoke(static_cast<INVTRXAutomation*>(this), dispIdMember, riid, wFlags,
                                         pDispParams, pVarResult, pExcepInfo, puArgErr);
  // A method that fails without an errMsg (SetSubmitTimeout has none) has
  // recorded its failure as the last error: that text describes it.
  if (hr == DISP_E_EXCEPTION && pExcepInfo && SysStringLen(pExcepInfo->bstrDescription) == 0 && m_pApplication) {
    LONG code = 0;
    TrxString text;
    m_pApplication->State().LastError().Get(code, text);
    if (code == pExcepInfo->scode && !text.empty()) {
      SysFreeString(pExcepInfo->bstrDescription);
      pExcepInfo->bstrDescription = Allocate(text);
    }
  }
  return hr;
}

// ---- helpers -------------------------------------------------------------------------

HRESULT CNVCoTRX::CopyLastError(BSTR* errMsg, LONG* errCode) {
  LONG code = 0;
  TrxString text;
  if (m_pApplication) m_pApplication->State().LastError().Get(code, text);
  if (errMsg) {
    SysFreeString(*errMsg);
    *errMsg = Allocate(text);
    if (!*errMsg) return E_OUTOFMEMORY;
  }
  if (errCode) *errCode = code;
  return S_OK;
}

HRESULT CNVCoTRX::Answer(TrxHere code, BSTR* errMsg, LONG* errCode) {
  TrxFail(code);
  CopyLastError(errMsg, nullptr);
  if (errCode) *errCode = code.code;
  return S_OK;
}

void CNVCoTRX::ReleaseTree() {
  if (m_pApplication) m_pApplication->ReleaseChildren();
  if (CNVTRXAutomation::GetLiveObjectCount() > 1) TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(kLeakTrace);
}

void CNVCoTRX::WarnNoClient() {
  MessageBoxW(nullptr, OLESTR("Failed to connect to Norvik Client"), OLESTR("Test Automation Warning"), MB_OK);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Failed to connect to Norvik Client"));
}

const OLECHAR* CNVCoTRX::SupportedComponents() noexcept { return kSupportedComponents; }

// ---- INVTRXAutomation ------------------------------------------------------------------

HRESULT CNVCoTRX::SetSubmitTimeout(LONG timeOut, BSTR*, LONG*) {
  TRX_FACADE_SCOPE("SetSubmitTimeout");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Timeout in Milliseconds : %d"), timeOut);
  if (timeOut < 10) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("Cannot set timeout value : %d. Timeout should be greater than 10"), timeOut);
    TRX_LOG(TRXLOG_USERERR)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("SetSubmitTimeout"), OLESTR("timeOut"), TrxDecimal(timeOut));
    return static_cast<HRESULT>(TRX_E_ARG_VALUE);
  }
  if (m_pApplication) m_pApplication->SetSubmitTimeout(timeOut);
  return S_OK;
}

HRESULT CNVCoTRX::StartLogging(BSTR filename, VARIANT_BOOL bAppend, BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("StartLogging");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("FileName: %s"), filename);
  if (m_pApplication) m_pApplication->State().EnableLogging(true, filename ? filename : OLESTR(""), bAppend != 0);
  return CopyLastError(errMsg, errCode);
}

HRESULT CNVCoTRX::StopLogging(BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("StopLogging");
  if (m_pApplication) m_pApplication->State().EnableLogging(false, nullptr, false);
  return CopyLastError(errMsg, errCode);
}

HRESULT CNVCoTRX::GetLastError(BSTR* errMsg, LONG* errCode) {
  // The error of the preceding call, read before this call's entry clears
  // it, and kept for the next reader.
  LONG code = 0;
  TrxString text;
  if (m_pApplication) m_pApplication->State().LastError().Get(code, text);
  TRX_FACADE_SCOPE("GetLastError");
  if (m_pApplication) m_pApplication->State().LastError().Set(code, text);
  return CopyLastError(errMsg, errCode);
}

HRESULT CNVCoTRX::StartRecording(BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("StartRecording");
  if (m_pApplication) m_pApplication->State().EnableRecording(true);
  return CopyLastError(errMsg, errCode);
}

HRESULT CNVCoTRX::StopRecording(BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("StopRecording");
  if (m_pApplication) m_pApplication->State().EnableRecording(false);
  return CopyLastError(errMsg, errCode);
}

HRESULT CNVCoTRX::GetObjectFromId(BSTR htmlId, BSTR* trxODS, BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("GetObjectFromId");
  if (!m_pApplication || m_pApplication->State().WaitForHostIdle() != TRX_OK) return Answer(TRX_E_BUSY, errMsg, errCode);
  m_pApplication->ClearLastError();
  const TrxString id(TrxBstrView(htmlId));
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("HTMLID: %s"), id);
  ToolCall call(this);
  CNVTRXServiceState::SuspendRecording guard(&m_pApplication->State());
  bool found = false;
  CNVTRXAutomation* object = nullptr;
  m_pApplication->GetObjectFromId(id, found, object);
  if (trxODS) {
    SysFreeString(*trxODS);
    *trxODS = nullptr;
  }
  if (found && object) {
    TrxString ods;
    object->GetODS(ods);
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("GetObjectFromId for \"%s\" returned: \"%s\""), id, ods);
    if (trxODS) *trxODS = Allocate(ods);
    ReleaseTree();
    // Found is success, whatever the walk met on the objects it passed.
    m_pApplication->ClearLastError();
    if (errMsg) {
      SysFreeString(*errMsg);
      *errMsg = nullptr;
    }
    if (errCode) *errCode = TRX_OK;
    return S_OK;
  }
  ReleaseTree();
  // A lookup that found nothing says so, unless it recorded a failure of its own.
  if (m_pApplication->GetLastErrorCode() == 0)
    m_pApplication->State().LastError().Set(TRX_NO_OBJECT_FOR_ID, OLESTR("The htmlId did not map to any TRX object"));
  return CopyLastError(errMsg, errCode);
}

HRESULT CNVCoTRX::GetRootObject(BSTR* trxODS, BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("GetRootObject");
  if (m_pApplication && m_pApplication->State().WaitForHostIdle() != TRX_OK) return Answer(TRX_E_BUSY, errMsg, errCode);
  if (!m_pApplication) {
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_NO_APPLICATION);
    return static_cast<HRESULT>(TRX_E_NO_APPLICATION);
  }
  m_pApplication->ClearLastError();
  // No client ever attached: there is no application to name.
  if (!m_pApplication->State().HasHost()) return Answer(TRX_E_NO_APPLICATION, errMsg, errCode);
  TrxString ods;
  m_pApplication->GetODS(ods);
  if (trxODS) {
    SysFreeString(*trxODS);
    *trxODS = Allocate(ods);
  }
  return CopyLastError(errMsg, errCode);
}

HRESULT CNVCoTRX::GetObjectContents(LONG nMode, BSTR trxODS, BSTR* trxContentXML, BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("GetObjectContents");
  if (!m_pApplication || m_pApplication->State().WaitForHostIdle() != TRX_OK) return Answer(TRX_E_BUSY, errMsg, errCode);
  auto setMessage = [&](const OLECHAR* text, LONG code) {
    if (errMsg) {
      SysFreeString(*errMsg);
      *errMsg = Allocate(TrxView(text));
    }
    if (errCode) *errCode = code;
  };
  if (nMode != 0 && nMode != 1 && nMode != 5) {
    TRX_LOG(TRXLOG_USERERR)
        .ReportUserError(TRX_E_ARG_VALUE, OLESTR("GetObjectContents"), OLESTR("nMode"), TrxDecimal(nMode));
    setMessage(OLESTR("Unsupported input value for nMode. Only values 0, 1 and 5 are supported"), TRX_E_ARG_VALUE);
    return S_OK;
  }
  m_pApplication->ClearLastError();
  const DWORD start = GetTickCount();
  const TrxString ods(TrxBstrView(trxODS));
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Mode : %d, TRXODS : %s"), nMode, ods);
  ToolCall call(this);
  CNVTRXServiceState::SuspendRecording guard(&m_pApplication->State());

  TrxString target;
  CNVTRXXmlNode leaf;
  if (GetLeafNode(ods, &leaf) == 0 && !leaf.IsNull()) GetODSRepositoryName(leaf, target);

  TrxString text;
  {
    CNVTRXXmlWriter writer(text);
    writer.WriteHeader();
    writer.StartElement(OLESTR("NorvikObjTree"));
    writer.WriteAttribute(OLESTR("Version"), OLESTR("1.0"));

    CNVTRXAutomation* object = nullptr;
    const TRXRESULT resolved = m_pApplication->ResolveDescriptor(ods, &object);
    if (resolved != TRX_OK) {
      setMessage(OLESTR("trx failed to return the child object from the ODS provided"), TRX_E_SYSTEM);
      TRX_LOG(TRXLOG_USERERR)
          .ReportUserError(TRX_E_SYSTEM, OLESTR("trx failed to return the child object from the ODS provided"));
    }
    const TrxString parentName =
        object && object->GetParent() ? object->GetParent()->GetRepositoryName() : TrxString();
    const TrxString key = TrxFormatText(OLESTR("%s|%s"), parentName, target);
    bool succeeded = false;
    if (nMode == 0) {
      if (resolved == TRX_OK && object && object->BuildTRXObjectHierarchy() == TRX_OK)
        succeeded = object->OutputActiveScreenXMLContents(0, key, writer, true) == TRX_OK;
    } else {
      m_pApplication->ReleaseChildren();
      if (m_pApplication->BuildTRXObjectHierarchy() == TRX_OK)
        succeeded = m_pApplication->OutputActiveScreenXMLContents(nMode, key, writer, true) == TRX_OK;
    }
    if (succeeded) {
      setMessage(OLESTR(""), TRX_OK);
    } else {
      setMessage(OLESTR("trx failed to return the content XML"), TRX_E_SYSTEM);
      TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_SYSTEM, OLESTR("trx failed to return the content XML"));
    }
    writer.Close();
  }
  ReleaseTree();
  if (trxContentXML) {
    SysFreeString(*trxContentXML);
    *trxContentXML = Allocate(text);
  }
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("GetObjectContents spent: %d"), static_cast<LONG>(GetTickCount() - start));
  return S_OK;
}

HRESULT CNVCoTRX::GetObjectDefinitions(BSTR ver, BSTR* trxDefnXML, BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("GetObjectDefinitions");
  const TrxStringView version = TrxBstrView(ver);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Version: %s"), version);
  if (errMsg) {
    SysFreeString(*errMsg);
    *errMsg = nullptr;
  }
  if (errCode) *errCode = 0;
  if (trxDefnXML) {
    SysFreeString(*trxDefnXML);
    *trxDefnXML = nullptr;
  }
  const int order = CompareVersions(kObjectDefinitionsVersion, version);
  if (order > 0) {
    if (trxDefnXML) *trxDefnXML = Allocate(GetObjectDefinitionsText());
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("New Version: %s"), kObjectDefinitionsVersion);
    return CopyLastError(errMsg, nullptr);
  }
  if (order == 0) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Same Version: %s"), version);
    if (errCode) *errCode = TRX_SAME_VERSION;
    if (errMsg) *errMsg = Allocate(OLESTR("trx has the same object definition"));
    return S_OK;
  }
  TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_SYSTEM, OLESTR("trx has an older object definition"));
  if (errCode) *errCode = TRX_E_SYSTEM;
  if (errMsg) *errMsg = Allocate(OLESTR("trx has an older object definition"));
  return S_OK;
}

// clang-format off
const CNVCoTRX::ServiceMethod CNVCoTRX::kServiceMethods[] = {
    {OLESTR("GetLastOpId"),            TRXMATCH_NOCASE, &CNVCoTRX::GetLastOpId},
    {OLESTR("GetSessionId"),           TRXMATCH_NOCASE, &CNVCoTRX::GetSessionId},
    {OLESTR("GetLastOpTime"),          TRXMATCH_NOCASE, &CNVCoTRX::GetLastOpTime},
    {OLESTR("GetBusyTime"),            TRXMATCH_NOCASE, &CNVCoTRX::GetBusyTime},
    {OLESTR("GetSupportedComponents"), TRXMATCH_NOCASE, &CNVCoTRX::GetSupportedComponents},
    {OLESTR("SetOpId"),                TRXMATCH_NOCASE, &CNVCoTRX::SetOpId},
};

const CNVCoTRX::ObjectMethod CNVCoTRX::kObjectMethods[] = {
    {OLESTR("GetProperties"),        TRXMATCH_EXACT, &CNVCoTRX::GetProperties},
    {OLESTR("GetProperty"),          TRXMATCH_EXACT, &CNVCoTRX::GetProperty},
    {OLESTR("GetData"),              TRXMATCH_EXACT, &CNVCoTRX::GetData},
    {OLESTR("GetTextData"),          TRXMATCH_EXACT, &CNVCoTRX::GetTextData},
    {OLESTR("GetChildren"),          TRXMATCH_EXACT, &CNVCoTRX::GetChildren},
    {OLESTR("EnableLoopbackTests"),  TRXMATCH_EXACT, &CNVCoTRX::EnableLoopbackTests},
    {OLESTR("DisableLoopbackTests"), TRXMATCH_EXACT, &CNVCoTRX::DisableLoopbackTests},
};
// clang-format on

void CNVCoTRX::GetLastOpId(VARIANT* retVal, BSTR*, LONG*) {
  TrxVariant::FromString(m_pApplication->State().GetOperationId()).Detach(retVal);
}

void CNVCoTRX::GetSessionId(VARIANT* retVal, BSTR*, LONG*) {
  TrxVariant::FromString(m_pApplication->State().GetSessionId()).Detach(retVal);
}

void CNVCoTRX::GetLastOpTime(VARIANT* retVal, BSTR*, LONG*) {
  const LONG time = m_pApplication->State().GetLastOperationTime();
  TrxVariant::FromI4(time).Detach(retVal);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Reporting LastOpTime = %ld"), time);
}

void CNVCoTRX::GetBusyTime(VARIANT* retVal, BSTR* errMsg, LONG* errCode) {
  const DWORD start = GetTickCount();
  const TRXRESULT idle = m_pApplication->State().WaitForHostIdle();
  // Less the pause, so that an idle client answers about 0.
  const LONG busy = static_cast<LONG>(GetTickCount() - start) -
                    static_cast<LONG>(m_pApplication->State().GetIdlePause());
  if (idle == TRX_E_BUSY) {
    TrxFail(TRX_E_BUSY);
    CopyLastError(errMsg, errCode);
  }
  TrxVariant::FromI4(busy).Detach(retVal);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Reporting BusyTime = %ld"), busy);
}

void CNVCoTRX::GetSupportedComponents(VARIANT* retVal, BSTR* errMsg, LONG*) {
  TrxVariant::FromString(kSupportedComponents).Detach(retVal);
  *errMsg = Allocate(OLESTR(""));
}

void CNVCoTRX::SetOpId(VARIANT* retVal, BSTR*, LONG* errCode) {
  TrxVariant::FromI4(m_pApplication->State().SetOpId()).Detach(retVal);
  *errCode = 0;
}

TRXRESULT CNVCoTRX::GetProperties(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal) {
  return object->GetProperties(args, retVal);
}

TRXRESULT CNVCoTRX::GetProperty(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal) {
  return object->GetProperty(args, retVal);
}

TRXRESULT CNVCoTRX::GetData(CNVTRXAutomation* object, VARIANT&, VARIANT* retVal) { return object->GetData(retVal); }

TRXRESULT CNVCoTRX::GetTextData(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal) {
  return object->GetTextData(args, retVal);
}

TRXRESULT CNVCoTRX::GetChildren(CNVTRXAutomation* object, VARIANT& args, VARIANT* retVal) {
  return object->GetChildren(args, retVal);
}

TRXRESULT CNVCoTRX::EnableLoopbackTests(CNVTRXAutomation*, VARIANT&, VARIANT*) {
  m_pApplication->State().SetLoopbackTests(true);
  return TRX_OK;
}

TRXRESULT CNVCoTRX::DisableLoopbackTests(CNVTRXAutomation*, VARIANT&, VARIANT*) {
  m_pApplication->State().SetLoopbackTests(false);
  return TRX_OK;
}

HRESULT CNVCoTRX::Submit(BSTR trxODS, BSTR methodName, VARIANT Args, VARIANT* retVal, BSTR* errMsg, LONG* errCode) {
  TRX_FACADE_SCOPE("Submit");
  TRX_ASSERT(trxODS != nullptr, "Submit called with a null TRXODS");
  TRX_ASSERT(methodName != nullptr, "Submit called with a null method name");
  const TrxString ods(TrxBstrView(trxODS));
  const TrxString method(TrxBstrView(methodName));
  if (retVal) VariantClear(retVal);
  if (errMsg) {
    SysFreeString(*errMsg);
    *errMsg = nullptr;
  }
  if (!errCode) return E_POINTER;
  *errCode = 0;

  CNVTRXArray arguments(&Args);
  const TrxString argumentText = arguments.ToText();
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("MethodName : \"%s\" Args : %s TRXODS : \"%s\""), method, argumentText, ods);
  if (!retVal || !errMsg) {
    TRX_LOG(TRXLOG_USERERR)
        .ReportUserError(TRX_E_ARG_VALUE, method, OLESTR("retVal, errMsg, or errCode"),
                         OLESTR("Unexpected NULL argument pointer"));
    return E_POINTER;
  }
  if (Args.vt != (VT_ARRAY | VT_VARIANT) && Args.vt != VT_BSTR && Args.vt != VT_I4 && Args.vt != VT_NULL &&
      Args.vt != VT_EMPTY) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Unsupported input variant type content"));
    TRX_LOG(TRXLOG_USERERR)
        .ReportUserError(TRX_E_ARG_TYPE, method, argumentText, OLESTR("Array, String, Integer or Null"));
    CopyLastError(errMsg, errCode);
    return E_INVALIDARG;
  }
  if (!m_pApplication) {
    *errCode = TRX_E_NO_APPLICATION;
    return S_OK;
  }
  *errCode = m_pApplication->State().CheckReady();
  if (*errCode != TRX_OK) {
    CopyLastError(errMsg, nullptr);
    return S_OK;
  }

  if (const ServiceMethod* own = TrxFindRow<ServiceMethod>(kServiceMethods, method)) {
    (this->*own->handler)(retVal, errMsg, errCode);
    return S_OK;
  }

  {
    ToolCall call(this);
    CNVTRXServiceState::SuspendRecording guard(&m_pApplication->State());
    m_pApplication->State().SetNarmId();
    *errCode = -1;
    CNVTRXAutomation* object = nullptr;
    *errCode = m_pApplication->ResolveDescriptor(ods, &object);
    if (*errCode == TRX_OK && object) {
      if (const ObjectMethod* own = TrxFindRow<ObjectMethod>(kObjectMethods, method)) {
        *errCode = (this->*own->handler)(object, Args, retVal);
      } else if (object->GetPropertyMap().LookupKey(method) >= 0) {
        *errCode = object->GetProperty(TrxVariant::FromString(method), retVal);
      } else {
        *errCode = m_pApplication->Definitions().ValidateMethodCall(object->GetTRXClassName(), method, &Args);
        if (*errCode == TRX_OK) {
          TrxVariant forObject;
          if (arguments.GetCount() > 0) {
            arguments.ToVariant(&forObject);
          } else if (Args.vt == VT_EMPTY) {
            forObject = TrxVariant::FromArray(SafeArrayCreateVector(VT_VARIANT, 0, 1), VT_VARIANT);
          }
          *errCode = object->HandleAutomationRequest(method, forObject, retVal);
        }
      }
    }
    m_pApplication->State().ClearOpId();
    if (*errCode == TRX_OK) {
      TRX_ASSERT(m_pApplication->GetLastErrorCode() == 0, "Submit succeeded with a last error recorded");
    } else {
      CopyLastError(errMsg, nullptr);
    }
    ReleaseTree();
  }
  return S_OK;
}

// ---- INVTRX ---------------------------------------------------------------------------------

HRESULT CNVCoTRX::AttachAppObject(IDispatch* pDisp) {
  TRX_FACADE_SCOPE("AttachAppObject");
  TRX_ASSERT(pDisp != nullptr, "AttachAppObject called without an application object");
  TrxComPtr<INVAutomation> automation;
  TrxComPtr<INVAppControl> control;
  if (pDisp) {
    pDisp->QueryInterface(IID_INVAutomation, automation.PutVoid());
    pDisp->QueryInterface(IID_INVAppControl, control.PutVoid());
  }
  if (!automation || !control) {
    WarnNoClient();
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_NO_APPLICATION);
    return E_FAIL;
  }
  const HRESULT hr = control->RegisterTRX(static_cast<INVTRX*>(this));
  if (FAILED(hr)) {
    WarnNoClient();
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_NO_APPLICATION);
    return hr;
  }
  return S_OK;
}

HRESULT CNVCoTRX::OnAppReady(IDispatch* pDisp) {
  TRX_FACADE_SCOPE("OnAppReady");
  TRX_ASSERT(pDisp != nullptr, "OnAppReady called without an application object");
  TrxComPtr<INVAutomation> automation;
  TrxComPtr<INVAppControl> control;
  if (pDisp) {
    pDisp->QueryInterface(IID_INVAutomation, automation.PutVoid());
    pDisp->QueryInterface(IID_INVAppControl, control.PutVoid());
  }
  if (!automation || !control || !m_pApplication) {
    WarnNoClient();
    TRX_LOG(TRXLOG_USERERR).ReportUserError(TRX_E_NO_APPLICATION);
    return E_FAIL;
  }
  m_pApplication->SetNWEAuto(automation.Get());
  m_pApplication->State().RefreshSessionId();
  if (m_pApplication->State().IsRecording() || CNVTRXServiceState::IsRecordingSuspended()) m_pApplication->State().EnableRecording(true);
  const DWORD window = BrowserWindow();
  OLECHAR classId[CHARS_IN_GUID] = {};
  StringFromGUID2(CLSID_CNVCoTRX, classId, CHARS_IN_GUID);
  m_notifier.Start(window, classId);
  m_pApplication->State().SetHostUnloaded(false);
  return S_OK;
}

HRESULT CNVCoTRX::OnUnload() {
  TRX_FACADE_SCOPE("OnUnload");
  if (m_pApplication) {
    m_pApplication->ClearLastError();
    m_pApplication->State().MarkUnloaded();
  }
  m_notifier.Stop();
  return S_OK;
}

namespace {

// Recorder events that are not recorded: the id, and the object type it is
// ignored on (-1: every type).
struct IgnoredEvent {
  LONG eventId;
  LONG objectType;
};
constexpr IgnoredEvent kIgnoredEvents[] = {
    {REQID_NULL, -1},
    {REQID_SHOWLOVS, -1},
    {REQID_SETFOCUS, OBJTYPE_CONTROL},
    {REQID_CLEARFOCUS, OBJTYPE_CONTROL},
    {REQID_SETCELLFOCUS, OBJTYPE_LISTCONTROL},
};

bool IsIgnoredEvent(LONG eventId, LONG objectType) {
  for (const IgnoredEvent& ignored : kIgnoredEvents)
    if (ignored.eventId == eventId && (ignored.objectType < 0 || ignored.objectType == objectType)) return true;
  return false;
}

// The arguments of a Record: one converted argument as itself, several as
// an array of VARIANT, none as empty.
TrxVariant ShapeArguments(CNVTRXArray& converted) {
  TrxVariant shaped;
  const LONG count = converted.GetCount();
  if (count == 1) {
    shaped = converted.GetAt(0, 0);
  } else if (count > 1) {
    converted.ToVariant(&shaped);
  }
  return shaped;
}

}  // namespace

HRESULT CNVCoTRX::FireRecorderEvent(LONG eventId, INVAutomation* pEventObj, LONG eventObjType,
                                    INVPropertySet* pArgs) {
  TRX_FACADE_SCOPE("FireRecorderEvent");
  if (!pEventObj || !pArgs) {
    TRX_ASSERT(false, "FireRecorderEvent called without an event object or arguments");
    return E_INVALIDARG;
  }
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("eventId: %d, EventObjType: %d"), eventId, eventObjType);
  if (IsIgnoredEvent(eventId, eventObjType)) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("Unsupported event: %d. On objectType: %d - Event is ignored"), eventId, eventObjType);
    return S_OK;
  }
  if (eventId == REQID_ENTER_KEY_END || eventId == REQID_SHOWMESSAGEBOX) {
    Fire_CompositeEventRecord();
    return S_OK;
  }
  if (!m_pApplication) return E_UNEXPECTED;

  CNVTRXArray eventArgs(pArgs);
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("eventId: %d, EventObjType: %d, Args: %s"), eventId, eventObjType, eventArgs.ToText());

  const std::vector<CNVTRXAutomation*> before = m_pApplication->GetChildObjects();
  CNVTRXAutomation* object = nullptr;
  if (CreateRecorderHierarchy(pEventObj, eventId, eventObjType, pArgs, &object) != TRX_OK || !object) {
    PruneAfterEvent(before);
    return S_OK;
  }
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("Built: \"%s\" of \"%s\"."), object->GetFullName(), object->GetTRXClassName());

  TrxString method;
  CNVTRXArray converted;
  TrxVariant eventObject;
  eventObject.vt = VT_UNKNOWN;
  eventObject.punkVal = pEventObj;
  pEventObj->AddRef();
  if (object->ConvertNWEMethod(eventObject, eventId, eventArgs, method, converted) != TRX_OK) {
    PruneAfterEvent(before);
    TRX_LOG(TRXLOG_USERTRACE).ReportUserError(TRX_E_INVALID_EVENT, eventId, eventObjType);
    return S_OK;
  }

  TrxString ods;
  object->GetODS(ods);
  if (!method.empty()) {
    TrxVariant shaped;
    if (object->RecordsArguments(method)) shaped = ShapeArguments(converted);
    const TrxString argumentText = converted.ToText();
    if (eventId == REQID_ENTER_KEY) {
      TRX_LOG(TRXLOG_TRXTRACE)
          .ReportTrace(OLESTR("Composite event method: %s %s and ODS: %s"), method, argumentText, ods);
      m_pApplication->State().SetPendingRecordEvent(ods, method, shaped);
    } else {
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Fire_Record on method: %s %s and ODS: %s"), method, argumentText, ods);
      Fire_Record(ods, method, shaped);
    }
  }
  PruneAfterEvent(before);
  return S_OK;
}

TRXRESULT CNVCoTRX::CreateRecorderHierarchy(INVAutomation* host, LONG eventId, LONG eventObjType,
                                            INVPropertySet* pArgs, CNVTRXAutomation** ppObject) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVCoTRX::CreateRecorderHierarchy");
  *ppObject = nullptr;
  TRX_ASSERT(host != nullptr, "CreateRecorderHierarchy called without a host object");
  if (!host) return TRX_E_SYSTEM;
  TrxComPtr<INVAutomation> parent;
  host->GetParent(parent.Put());
  TrxVariant type;
  if (parent) {
    CNVTRXAutomation* parentObject = nullptr;
    const TRXRESULT code = CreateRecorderHierarchy(parent.Get(), eventId, eventObjType, pArgs, &parentObject);
    if (code != TRX_OK) return code;
    if (!parentObject) {
      TRX_ASSERT(false, "retCode == TRX_OK but pChild == NULL!!!");
      return TRX_E_SYSTEM;
    }
    if (FAILED(CNVTRXAutomation::ReadHostProperty(host, OLESTR("ObjType"), type)) || type.vt != VT_I4) {
      return TrxFail(TRX_E_SYSTEM, OLESTR("Invalid NWE Object Type"));
    }
    return parentObject->OnBuildHierarchy(host, eventId, type.lVal, pArgs, ppObject);
  }
  CNVTRXAutomation::ReadHostProperty(host, OLESTR("ObjType"), type);
  TRX_ASSERT(type.vt == VT_I4 && type.lVal == OBJTYPE_APPLICATION, "The topmost host object is not the application");
  *ppObject = m_pApplication;
  TrxVariant name;
  CNVTRXAutomation::ReadHostProperty(host, OLESTR("Name"), name);
  if (name.vt == VT_BSTR) {
    m_pApplication->SetRepositoryName(TrxBstrView(name.bstrVal));
  } else {
    TRX_ASSERT(false, "The host application's Name is not a string");
  }
  return TRX_OK;
}

void CNVCoTRX::Fire_Record(TrxStringView trxODS, TrxStringView eventName, const VARIANT& args) {
  for (const TrxComPtr<IDispatch>& sink : m_events.GetSinks()) {
    // Arguments in reverse order of declaration; the sink gets a reference
    // to its own copy of the arguments.
    VARIANT parameters[3];
    for (VARIANT& parameter : parameters) VariantInit(&parameter);
    auto text = [](VARIANT& parameter, TrxStringView value) {
      parameter.bstrVal = Allocate(value);
      parameter.vt = parameter.bstrVal ? VT_BSTR : VT_ERROR;
      if (!parameter.bstrVal) parameter.scode = E_OUTOFMEMORY;
    };
    text(parameters[2], trxODS);
    text(parameters[1], eventName);
    TrxVariant copy;
    VariantCopy(&copy, const_cast<VARIANT*>(&args));
    parameters[0].vt = VT_BYREF | VT_VARIANT;
    parameters[0].pvarVal = &copy;
    DISPPARAMS dispatch = {parameters, nullptr, 3, 0};
    sink->Invoke(DISPID_INVTRXEVENTS_RECORD, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dispatch, nullptr,
                 nullptr, nullptr);
    VariantClear(&parameters[2]);
    VariantClear(&parameters[1]);
  }
}

void CNVCoTRX::Fire_CompositeEventRecord() {
  if (!m_pApplication || m_pApplication->State().GetPendingDescriptor().empty()) return;
  // Taken before firing: a sink may cause the next composite event.
  const TrxString ods = m_pApplication->State().GetPendingDescriptor();
  const TrxString method = m_pApplication->State().GetPendingMethod();
  TrxVariant args;
  VariantCopy(&args, const_cast<TrxVariant*>(&m_pApplication->State().GetPendingArguments()));
  m_pApplication->State().ClearPendingRecordEvent();
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Fire_CompositeEventRecord on method: %s and ODS: %s"), method, ods);
  Fire_Record(ods, method, args);
}

void CNVCoTRX::PruneAfterEvent(const std::vector<CNVTRXAutomation*>& before) {
  if (!m_pApplication) return;
  if (!m_pApplication->State().IsLoopbackTests() && m_toolCalls.load() == 0) {
    m_pApplication->ReleaseChildren();
    return;
  }
  // A tool call may be running further up this thread's stack (the client
  // fired the event while the call waited for it): destroy only the
  // top-level branches this event created, never objects the call holds.
  const std::vector<CNVTRXAutomation*> now = m_pApplication->GetChildObjects();
  for (CNVTRXAutomation* child : now) {
    if (!child || std::find(before.begin(), before.end(), child) != before.end()) continue;
    m_pApplication->DestroyChild(child);
  }
}

DWORD CNVCoTRX::BrowserWindow() {
  TrxComPtr<IUnknown> site;
  {
    TrxLock hold(m_siteLock);
    site = m_site;
  }
  if (!site) return 0;
  TrxComPtr<IOleClientSite> clientSite;
  TrxComPtr<IServiceProvider> provider, topProvider;
  TrxComPtr<IWebBrowser2> browser;
  if (FAILED(site->QueryInterface(IID_IOleClientSite, clientSite.PutVoid())) || !clientSite) return 0;
  if (FAILED(clientSite->QueryInterface(IID_IServiceProvider, provider.PutVoid())) || !provider) return 0;
  if (FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IServiceProvider, topProvider.PutVoid())) ||
      !topProvider)
    return 0;
  if (FAILED(topProvider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.PutVoid())) || !browser)
    return 0;
  SHANDLE_PTR window = 0;
  if (FAILED(browser->get_HWND(&window))) return 0;
  return static_cast<DWORD>(window);
}

// ---- IConnectionPointContainer and IObjectWithSite --------------------------------------------

HRESULT CNVCoTRX::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

HRESULT CNVCoTRX::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (!IsEqualIID(riid, DIID__INVTRXEvents)) return CONNECT_E_NOCONNECTION;
  *ppCP = &m_events;
  m_events.AddRef();
  return S_OK;
}

HRESULT CNVCoTRX::SetSite(IUnknown* pUnkSite) {
  TrxComPtr<IUnknown> previous;
  TrxLock hold(m_siteLock);
  previous = std::move(m_site);
  m_site = pUnkSite;
  return S_OK;
}

HRESULT CNVCoTRX::GetSite(REFIID riid, void** ppvSite) {
  if (!ppvSite) return E_POINTER;
  *ppvSite = nullptr;
  TrxComPtr<IUnknown> site;
  {
    TrxLock hold(m_siteLock);
    site = m_site;
  }
  if (!site) return E_FAIL;
  return site->QueryInterface(riid, ppvSite);
}
