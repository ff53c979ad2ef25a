// trxcomclient: a C++ test tool of trxcom.exe. It creates the service's
// object through COM (CLSCTX_LOCAL_SERVER) and calls INVTRXAutomation through
// its vtable, the way a compiled tool does, with the declarations widl
// generates from service/nvtrx.idl.
//
//   trxcomclient methods [client|noclient]   every method, results checked;
//                                            last line "trxcomclient methods: OK"
//   trxcomclient listen N SECONDS [root]     a sink for _INVTRXEvents; prints each
//                                            Record; ends after N events or SECONDS;
//                                            last line "trxcomclient listen: OK N";
//                                            with root, first the root descriptor
//   trxcomclient root                        the root descriptor GetRootObject gives
//   trxcomclient bench SECONDS [noclient]    cross-process calls per second
//
// Without a client every call that needs one waits twice the submit
// time-out (60 s for a new facade) before it answers busy, and holds the
// server's apartment thread meanwhile: the modes that need a client are run
// with one, and "bench noclient" measures only what needs none.
//
// Exit code 0 when the mode did what it checks, 1 when not, 2 for a command
// line it does not understand. Everything is released and COM uninitialised
// before the tool ends, so that the server sees its last release.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <oleauto.h>

#include <initguid.h>

#include "nvtrx_h.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// ---- small helpers ---------------------------------------------------------------

std::string Utf8(const wchar_t* text, size_t length) {
  if (!text || length == 0) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], size, nullptr, nullptr);
  return out;
}
std::string Utf8(BSTR text) { return text ? Utf8(text, SysStringLen(text)) : std::string(); }

// A line on standard output, written at once: the test script reads the
// output of a tool that runs in the background while it still runs.
void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : m_value(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(m_value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* Put() {
    SysFreeString(m_value);
    m_value = nullptr;
    return &m_value;
  }
  BSTR Get() const { return m_value; }
  std::string Text() const { return Utf8(m_value); }
  bool IsNull() const { return m_value == nullptr; }

 private:
  BSTR m_value = nullptr;
};

// Owns a VARIANT.
struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

// A VARIANT's value as text: strings quoted, arrays as (a,b,...).
std::string Show(const VARIANT& value) {
  if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal) return Show(*value.pvarVal);
  if (value.vt & VT_ARRAY) {
    SAFEARRAY* array = (value.vt & VT_BYREF) ? (value.pparray ? *value.pparray : nullptr) : value.parray;
    if (!array || SafeArrayGetDim(array) != 1) return "(array)";
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    std::string text = "(";
    for (LONG i = low; i <= high; ++i) {
      Variant element;
      if ((value.vt & VT_TYPEMASK) == VT_VARIANT) {
        SafeArrayGetElement(array, &i, &element);
      } else {
        element.vt = static_cast<VARTYPE>(value.vt & VT_TYPEMASK);
        SafeArrayGetElement(array, &i, &element.byref);
      }
      if (i > low) text += ",";
      text += Show(element);
    }
    return text + ")";
  }
  switch (value.vt) {
    case VT_EMPTY:
      return "(empty)";
    case VT_NULL:
      return "(null)";
    case VT_BSTR: {
      std::string quoted(1, '"');
      quoted += Utf8(value.bstrVal);
      quoted += '"';
      return quoted;
    }
    default: {
      Variant text;
      // The Windows declaration takes a non-const source; it is only read.
      if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) return Utf8(text.bstrVal);
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "(vt %u)", value.vt);
      return buffer;
    }
  }
}

// A SAFEARRAY of VARIANTs holding `count` values, moved in.
SAFEARRAY* VariantArray(VARIANT* values, LONG count) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
  for (LONG i = 0; i < count; ++i) SafeArrayPutElement(array, &i, &values[i]);
  return array;
}

// A SAFEARRAY of BSTRs.
SAFEARRAY* StringArray(const std::vector<const wchar_t*>& values) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values.size()));
  for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
    BSTR text = SysAllocString(values[static_cast<size_t>(i)]);
    SafeArrayPutElement(array, &i, text);  // copies the string
    SysFreeString(text);
  }
  return array;
}

const wchar_t kRoot[] = L"<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>";
const char kSampleRoot[] = "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik Sales\"/>";
constexpr LONG kBusy = -1019;
constexpr LONG kNoApplication = -1018;

// ---- the service's object -----------------------------------------------------------

HRESULT CreateService(INVTRXAutomation** service) {
  *service = nullptr;
  const HRESULT hr = CoCreateInstance(CLSID_CNVCoTRX, nullptr, CLSCTX_LOCAL_SERVER, IID_INVTRXAutomation,
                                      reinterpret_cast<void**>(service));
  if (FAILED(hr)) Line("CoCreateInstance(CLSID_CNVCoTRX) failed: 0x%08lX", static_cast<unsigned long>(hr));
  return hr;
}

// ---- methods -----------------------------------------------------------------------------

class Checks {
 public:
  int Failures() const { return m_failures; }

  void Fail(const std::string& what) {
    Line("  FAILED: %s", what.c_str());
    ++m_failures;
  }
  void Status(const std::string& what, HRESULT actual, HRESULT expected) {
    Line("%s: hr 0x%08lX", what.c_str(), static_cast<unsigned long>(actual));
    if (actual != expected) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, " should be 0x%08lX", static_cast<unsigned long>(expected));
      Fail(what + buffer);
    }
  }
  void Code(const std::string& what, LONG actual, LONG expected) {
    Line("%s: %ld", what.c_str(), static_cast<long>(actual));
    if (actual != expected) Fail(what + " should be " + std::to_string(expected));
  }
  void Text(const std::string& what, const std::string& actual, const std::string& expected) {
    Line("%s: \"%s\"", what.c_str(), actual.c_str());
    if (actual != expected) Fail(what + " should be \"" + expected + "\"");
  }
  void Contains(const std::string& what, const std::string& actual, const std::string& piece) {
    Line("%s: \"%s\"", what.c_str(), actual.substr(0, 120).c_str());
    if (actual.find(piece) == std::string::npos) Fail(what + " should contain \"" + piece + "\"");
  }
  void True(const std::string& what, bool value) {
    Line("%s: %s", what.c_str(), value ? "yes" : "no");
    if (!value) Fail(what);
  }

 private:
  int m_failures = 0;
};

// One Submit on the root with its results.
struct SubmitResult {
  HRESULT hr = E_FAIL;
  LONG errCode = 12345;
  Variant retVal;
  Bstr errMsg;
};

void SubmitOnRoot(INVTRXAutomation* service, const wchar_t* method, VARIANT args, SubmitResult& result) {
  Bstr ods(kRoot), name(method);
  result.hr = service->Submit(ods.Get(), name.Get(), args, &result.retVal, result.errMsg.Put(), &result.errCode);
}

int RunMethods(bool withClient) {
  Line("trxcomclient methods: %s", withClient ? "with a client attached" : "without a client");
  INVTRXAutomation* service = nullptr;
  if (FAILED(CreateService(&service))) return 1;
  Checks check;
  LONG code = 0;

  // Every call that needs the client waits for it to be idle up to the
  // submit time-out, twice, before it reports it busy: without a client the
  // tool keeps that wait at the minimum.
  const LONG timeOut = withClient ? 30000 : 10;
  {
    Bstr msg;
    check.Status("SetSubmitTimeout(" + std::to_string(timeOut) + ")",
                 service->SetSubmitTimeout(timeOut, msg.Put(), &code), S_OK);
    check.True("SetSubmitTimeout writes no errMsg", msg.IsNull());
    check.Status("SetSubmitTimeout(9)", service->SetSubmitTimeout(9, msg.Put(), &code),
                 static_cast<HRESULT>(0xFFFFFC0A));
  }
  {
    Bstr msg;
    check.Status("GetLastError", service->GetLastError(msg.Put(), &code), S_OK);
    check.Code("GetLastError after SetSubmitTimeout(9) errCode", code, -1014);
    check.Text("GetLastError after SetSubmitTimeout(9) errMsg", msg.Text(),
               "Invalid argument value for method name \"SetSubmitTimeout\" for argument \"timeOut\". "
               "Input value: \"9\".");
  }

  // GetObjectDefinitions against the catalogue's version, 8.2.
  {
    struct Case {
      const wchar_t* ver;
      LONG errCode;
      const char* errMsg;  // nullptr: the document comes
    };
    const Case cases[] = {{L"8.2", 2, "trx has the same object definition"},
                          {L"8.1", 0, nullptr},
                          {nullptr, 0, nullptr},
                          {L"8.10", -1023, "trx has an older object definition"},
                          {L"9", -1023, "trx has an older object definition"}};
    for (const Case& c : cases) {
      Bstr ver(c.ver), xml, msg;
      const std::string label = "GetObjectDefinitions(" + (c.ver ? Utf8(c.ver, wcslen(c.ver)) : "null") + ")";
      check.Status(label, service->GetObjectDefinitions(ver.Get(), xml.Put(), msg.Put(), &code), S_OK);
      check.Code(label + " errCode", code, c.errCode);
      if (c.errMsg) {
        check.Text(label + " errMsg", msg.Text(), c.errMsg);
        check.True(label + " trxDefnXML is null", xml.IsNull());
      } else {
        check.Contains(label + " trxDefnXML", xml.Text(), "<NorvikObjectsConfig");
        check.Contains(label + " version", xml.Text(), "Version=\"8.2\"");
      }
    }
  }

  // StartLogging and StopLogging: a new file, appending to it, a missing folder.
  {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring file = std::wstring(folder) + L"trxcomclient-methods.log";
    DeleteFileW(file.c_str());
    Bstr name(file.c_str()), msg;
    check.Status("StartLogging(new file)", service->StartLogging(name.Get(), VARIANT_FALSE, msg.Put(), &code), S_OK);
    check.Code("StartLogging(new file) errCode", code, 0);
    check.Text("StartLogging(new file) errMsg", msg.Text(), "");
    check.Status("StopLogging", service->StopLogging(msg.Put(), &code), S_OK);
    check.Code("StopLogging errCode", code, 0);
    check.True("the log file exists", GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES);
    check.Status("StartLogging(append)", service->StartLogging(name.Get(), VARIANT_TRUE, msg.Put(), &code), S_OK);
    check.Code("StartLogging(append) errCode", code, 0);
    service->StopLogging(msg.Put(), &code);
    DeleteFileW(file.c_str());
    Bstr nowhere(L"C:\\trx-no-such-folder\\x.log");
    service->StartLogging(nowhere.Get(), VARIANT_FALSE, msg.Put(), &code);
    check.Code("StartLogging(missing folder) errCode", code, -1002);
    check.Text("StartLogging(missing folder) errMsg", msg.Text(),
               "Could not create the file C:\\trx-no-such-folder\\x.log.");
    service->StopLogging(msg.Put(), &code);
  }

  // What the client answers, or the busy and missing-application replies.
  {
    Bstr ods, msg;
    check.Status("GetRootObject", service->GetRootObject(ods.Put(), msg.Put(), &code), S_OK);
    check.Code("GetRootObject errCode", code, withClient ? 0 : kBusy);
    check.Text("GetRootObject trxODS", ods.Text(), withClient ? kSampleRoot : "");
    check.Text("GetRootObject errMsg", msg.Text(), withClient ? "" : "Norvik application is busy.");
  }
  {
    Bstr id(L"s_999"), ods, msg;
    check.Status("GetObjectFromId(s_999)", service->GetObjectFromId(id.Get(), ods.Put(), msg.Put(), &code), S_OK);
    if (withClient) {
      Line("GetObjectFromId(s_999) errCode: %ld \"%s\"", static_cast<long>(code), msg.Text().c_str());
      check.True("GetObjectFromId(s_999) fails", code != 0);
    } else {
      check.Code("GetObjectFromId(s_999) errCode", code, kBusy);
    }
    check.True("GetObjectFromId(s_999) has no trxODS", ods.IsNull() || ods.Text().empty());
  }
  {
    Bstr root(kRoot), xml, msg;
    check.Status("GetObjectContents(2)", service->GetObjectContents(2, root.Get(), xml.Put(), msg.Put(), &code), S_OK);
    check.Code("GetObjectContents(2) errCode", code, withClient ? -1014 : kBusy);
    if (withClient) {
      service->GetObjectContents(1, root.Get(), xml.Put(), msg.Put(), &code);
      Line("GetObjectContents(1) errCode: %ld \"%s\"", static_cast<long>(code), msg.Text().c_str());
      check.Contains("GetObjectContents(1) trxContentXML", xml.Text(), "<NorvikObjTree");
    }
  }
  {
    Bstr msg;
    check.Status("StartRecording", service->StartRecording(msg.Put(), &code), S_OK);
    check.Code("StartRecording errCode", code, withClient ? 0 : kNoApplication);
    check.Status("StopRecording", service->StopRecording(msg.Put(), &code), S_OK);
    check.Code("StopRecording errCode", code, withClient ? 0 : kNoApplication);
  }

  // Submit with each kind of argument it takes, and with one it refuses.
  {
    struct Case {
      const char* label;
      const wchar_t* method;
      VARIANT args;  // owned by the case list below
      LONG errCode;
      std::string retVal;  // as Show() writes it, when errCode is 0
    };
    std::vector<Case> cases;
    auto i4 = [](LONG value) {
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_I4;
      v.lVal = value;
      return v;
    };
    auto text = [](const wchar_t* value) {
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocString(value);
      return v;
    };
    auto mixed = [&](const wchar_t* name, LONG index) {
      VARIANT elements[2] = {text(name), i4(index)};
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_ARRAY | VT_VARIANT;
      v.parray = VariantArray(elements, 2);
      VariantClear(&elements[0]);
      return v;
    };
    VARIANT empty;
    VariantInit(&empty);
    cases.push_back({"SetTimeOut VT_I4 60", L"SetTimeOut", i4(60), 0, "30"});
    cases.push_back({"SetTimeOut VT_I4 60 again", L"SetTimeOut", i4(60), 0, "60"});
    cases.push_back({"UIName VT_EMPTY", L"UIName", empty, 0, "\"Norvik Sales Enterprise\""});
    cases.push_back({"GetClassCount VT_BSTR", L"GetClassCount", text(L"NorvMenu"), 0, "1"});
    cases.push_back({"GetRepositoryNameByIndex (BSTR, I4 0)", L"GetRepositoryNameByIndex", mixed(L"NorvPageTabs", 0), 0,
                     "\"NorvPageTabs\""});
    cases.push_back(
        {"GetRepositoryNameByIndex (BSTR, I4 1)", L"GetRepositoryNameByIndex", mixed(L"NorvPageTabs", 1), 1014, ""});
    cases.push_back({"NoSuchMethod", L"NoSuchMethod", empty, -12, ""});
    cases.push_back(
        {"ProcessKeyboardAccelerator", L"ProcessKeyboardAccelerator", text(L"Ctrl+Shift+F9"), 0, "(empty)"});
    for (Case& c : cases) {
      SubmitResult result;
      SubmitOnRoot(service, c.method, c.args, result);
      const std::string label = std::string("Submit ") + c.label;
      check.Status(label, result.hr, S_OK);
      if (!withClient) {
        check.Code(label + " errCode", result.errCode, kNoApplication);
        check.Text(label + " errMsg", result.errMsg.Text(), "Could not find Norvik application object.");
        check.Text(label + " retVal", Show(result.retVal), "(empty)");
      } else {
        check.Code(label + " errCode", result.errCode, c.errCode);
        if (c.errCode == 0) {
          check.True(label + " errMsg is null", result.errMsg.IsNull());
          check.Text(label + " retVal", Show(result.retVal), c.retVal);
        } else {
          Line("%s errMsg: \"%s\"", label.c_str(), result.errMsg.Text().c_str());
        }
      }
      VariantClear(&c.args);
    }
  }
  {
    // A typed array of strings is none of the types Submit takes: the call
    // fails before it asks the client, with the reason as its last error.
    Variant strings;
    strings.vt = VT_ARRAY | VT_BSTR;
    strings.parray = StringArray({L"NorvPageTabs", L"0"});
    SubmitResult result;
    SubmitOnRoot(service, L"GetRepositoryNameByIndex", strings, result);
    check.Status("Submit VT_ARRAY|VT_BSTR", result.hr, E_INVALIDARG);
    Bstr msg;
    service->GetLastError(msg.Put(), &code);
    check.Code("GetLastError after VT_ARRAY|VT_BSTR errCode", code, -1013);
    check.Text("GetLastError after VT_ARRAY|VT_BSTR errMsg", msg.Text(),
               "Invalid argument type for method name:GetRepositoryNameByIndex for argument: (NorvPageTabs,0). "
               "Expected type: Array, String, Integer or Null.");
  }

  if (withClient) {
    Bstr msg;
    service->SetSubmitTimeout(60000, msg.Put(), &code);  // the client's session goes on with the default
  }
  service->Release();
  if (check.Failures() == 0) {
    Line("trxcomclient methods: OK");
    return 0;
  }
  Line("trxcomclient methods: %d FAILED", check.Failures());
  return 1;
}

// ---- listen ------------------------------------------------------------------------------

// The event sink: an IDispatch that takes _INVTRXEvents::Record (dispatch
// id 1: trxODS, eventName, pArgs by reference) and prints it. COM calls it
// on this STA thread while the thread pumps messages.
class RecordSink final : public IDispatch {
 public:
  int Count() const { return m_count; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID__INVTRXEvents)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  // The sink lives on the stack of RunListen: the count is kept for the
  // check that the server let go of it, nothing is deleted.
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&m_refs)); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = (i == 0 && names[0] && _wcsicmp(names[0], L"Record") == 0) ? 1 : DISPID_UNKNOWN;
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs != 3) return DISP_E_BADPARAMCOUNT;
    // Arguments come last first.
    const VARIANT& ods = params->rgvarg[2];
    const VARIANT& name = params->rgvarg[1];
    const VARIANT& args = params->rgvarg[0];
    ++m_count;
    Line("Record\t%s\t%s\ton %s", name.vt == VT_BSTR ? Utf8(name.bstrVal).c_str() : Show(name).c_str(),
         Show(args).c_str(), ods.vt == VT_BSTR ? Utf8(ods.bstrVal).c_str() : Show(ods).c_str());
    return S_OK;
  }
  LONG Refs() const { return m_refs; }

 private:
  LONG m_refs = 0;
  int m_count = 0;
};

int RunListen(int wanted, int seconds, bool showRoot) {
  INVTRXAutomation* service = nullptr;
  if (FAILED(CreateService(&service))) return 1;
  // Each step prints a line, so that a listener that stops somewhere shows where.
  Line("service: created");
  if (showRoot) {
    // The listener tells which application it sees, for a script that
    // compares it with what another tool sees.
    Bstr ods, msg;
    LONG code = 0;
    service->GetRootObject(ods.Put(), msg.Put(), &code);
    if (code == 0)
      Line("root: %s", ods.Text().c_str());
    else
      Line("root: errCode %ld \"%s\"", static_cast<long>(code), msg.Text().c_str());
  }
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  HRESULT hr = service->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID__INVTRXEvents, &point);
  RecordSink sink;
  DWORD cookie = 0;
  if (SUCCEEDED(hr)) hr = point->Advise(&sink, &cookie);
  if (FAILED(hr)) {
    Line("connecting the sink failed: 0x%08lX", static_cast<unsigned long>(hr));
    if (point) point->Release();
    if (container) container->Release();
    service->Release();
    return 1;
  }
  Line("listening: cookie %lu, for %d events or %d s", static_cast<unsigned long>(cookie), wanted, seconds);

  const DWORD start = GetTickCount();
  const DWORD limit = static_cast<DWORD>(seconds) * 1000;
  while (sink.Count() < wanted) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= limit) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, limit - spent, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  hr = point->Unadvise(cookie);
  if (FAILED(hr)) Line("Unadvise failed: 0x%08lX", static_cast<unsigned long>(hr));
  point->Release();
  container->Release();
  service->Release();
  const int received = sink.Count();
  if (received >= wanted && SUCCEEDED(hr)) {
    Line("trxcomclient listen: OK %d", received);
    return 0;
  }
  Line("trxcomclient listen: FAILED, %d of %d events in %d s", received, wanted, seconds);
  return 1;
}

// ---- root ----------------------------------------------------------------------------------

int RunRoot() {
  INVTRXAutomation* service = nullptr;
  if (FAILED(CreateService(&service))) return 1;
  Bstr ods, msg;
  LONG code = 0;
  const HRESULT hr = service->GetRootObject(ods.Put(), msg.Put(), &code);
  service->Release();
  if (FAILED(hr) || code != 0) {
    Line("GetRootObject: hr 0x%08lX errCode %ld \"%s\"", static_cast<unsigned long>(hr), static_cast<long>(code),
         msg.Text().c_str());
    return 1;
  }
  Line("%s", ods.Text().c_str());
  return 0;
}

// ---- bench ---------------------------------------------------------------------------------

// Calls `call` for `seconds` and prints calls per second and microseconds
// per call. The first call's errCode must be 0 for the figure to mean
// anything: otherwise the measurement is skipped and says why.
template <typename Call>
void Measure(const char* label, int seconds, Call call) {
  LONG code = call();
  if (code != 0) {
    Line("bench %-46s skipped: errCode %ld", label, static_cast<long>(code));
    return;
  }
  LARGE_INTEGER frequency, begin, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  const LONGLONG end = begin.QuadPart + frequency.QuadPart * seconds;
  long calls = 0;
  do {
    code = call();
    ++calls;
    QueryPerformanceCounter(&now);
  } while (now.QuadPart < end && code == 0);
  const double elapsed = static_cast<double>(now.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
  if (code != 0) Line("bench %-46s stopped at call %ld: errCode %ld", label, calls, static_cast<long>(code));
  Line("bench %-46s %8.1f calls/s %10.1f us/call (%ld calls in %.1f s)", label, calls / elapsed, elapsed * 1e6 / calls,
       calls, elapsed);
}

int RunBench(int seconds, bool withClient) {
  INVTRXAutomation* service = nullptr;
  if (FAILED(CreateService(&service))) return 1;
  // (a) The cheapest method that crosses into the server: GetLastError
  // reads the service's last error, marshals a BSTR and a long back, and
  // asks nothing of the client. (AddRef and Release stay in this process,
  // with the proxy.)
  Measure("(a) GetLastError", seconds, [&] {
    Bstr msg;
    LONG code = 0;
    return FAILED(service->GetLastError(msg.Put(), &code)) ? -1L : 0L;
  });
  if (!withClient) {
    Line("bench (b) and (c) skipped: they need a client");
    service->Release();
    Line("trxcomclient bench: done");
    return 0;
  }
  // (b) A property read on the root: the service resolves the descriptor
  // and reads the property from the client. (c) A request the client
  // carries out: a keyboard accelerator on the application. Both first with
  // recording off, then on: with it on the service does not pause 100 ms
  // for the client after each request, so the figures show the cost of the
  // calls themselves (the client reports each request it carried out back
  // as a user action, which no sink receives here).
  const auto clientCalls = [&](const char* suffix) {
    Measure((std::string("(b) Submit UIName on the root") + suffix).c_str(), seconds, [&] {
      SubmitResult result;
      Variant none;
      SubmitOnRoot(service, L"UIName", none, result);
      return FAILED(result.hr) ? -1L : result.errCode;
    });
    Measure((std::string("(c) Submit ProcessKeyboardAccelerator F8") + suffix).c_str(), seconds, [&] {
      SubmitResult result;
      Variant keys;
      keys.vt = VT_BSTR;
      keys.bstrVal = SysAllocString(L"F8");
      SubmitOnRoot(service, L"ProcessKeyboardAccelerator", keys, result);
      return FAILED(result.hr) ? -1L : result.errCode;
    });
  };
  clientCalls("");
  Bstr msg;
  LONG code = 0;
  service->StartRecording(msg.Put(), &code);
  if (code != 0) Line("bench StartRecording: errCode %ld", static_cast<long>(code));
  clientCalls(", recording");
  service->StopRecording(msg.Put(), &code);
  service->Release();
  Line("trxcomclient bench: done");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: trxcomclient methods [client|noclient]\n"
               "       trxcomclient listen N SECONDS [root]\n"
               "       trxcomclient root\n"
               "       trxcomclient bench SECONDS [noclient]\n");
  return 2;
}

bool ReadCount(const wchar_t* text, int& value) {
  wchar_t* end = nullptr;
  const long number = std::wcstol(text, &end, 10);
  if (!end || *end || number < 0 || number > 100000) return false;
  value = static_cast<int>(number);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring mode = argv[1];
  int first = 0, second = 0;
  if (mode == L"methods") {
    if (argc > 3 || (argc == 3 && std::wcscmp(argv[2], L"client") != 0 && std::wcscmp(argv[2], L"noclient") != 0))
      return Usage();
  } else if (mode == L"listen") {
    if (argc < 4 || argc > 5 || !ReadCount(argv[2], first) || !ReadCount(argv[3], second)) return Usage();
    if (argc == 5 && std::wcscmp(argv[4], L"root") != 0) return Usage();
  } else if (mode == L"root") {
    if (argc != 2) return Usage();
  } else if (mode == L"bench") {
    if (argc < 3 || argc > 4 || !ReadCount(argv[2], first) || first == 0) return Usage();
    if (argc == 4 && std::wcscmp(argv[3], L"noclient") != 0) return Usage();
  } else {
    return Usage();
  }

  // An STA: the connection point's events arrive as messages to this thread.
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) {
    Line("CoInitializeEx failed: 0x%08lX", static_cast<unsigned long>(hr));
    return 1;
  }
  int result = 1;
  if (mode == L"methods")
    result = RunMethods(argc == 3 && std::wcscmp(argv[2], L"client") == 0);
  else if (mode == L"listen")
    result = RunListen(first, second, argc == 5);
  else if (mode == L"root")
    result = RunRoot();
  else
    result = RunBench(first, argc == 3);
  CoUninitialize();
  return result;
}
