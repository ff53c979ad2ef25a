// A notification tool for tests, built as an in-process server library:
// DllGetClassObject hands out a class object for whatever class id is asked
// for, and each object it creates answers IDispatch with two methods,
// Init(window handle, class id text) and Destroy(). Every call appends one
// UTF-8 line to the file named by TRX_TEST_NOTIFIER_LOG:
//
//   Init {OBJECT-CLSID} 4660 {TEXT-PASSED}     ("-" for a null or empty text)
//   Destroy {OBJECT-CLSID}
//
// When TRX_TEST_NOTIFIER_FAIL names the method ("Init" or "Destroy"), that
// call writes its line with " failed" appended and returns E_FAIL.
//
// The library is self-contained: it does not link the platform library (a
// second copy of the platform's state would live in it), so it uses only the
// interface and type declarations of the platform header plus the C++
// standard library, and defines the interface ids it needs itself. Each
// line is written with a single append and the file is closed at once, so a
// reader on another thread never sees half a line.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "trxplatform.h"

namespace {

constexpr IID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

constexpr DISPID kDispidInit = 1;
constexpr DISPID kDispidDestroy = 2;

std::string guidText(REFGUID guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

// The text up to its terminator, characters outside ASCII as '?'.
std::string narrow(const char16_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

bool equalsNoCase(const char16_t* text, const char* ascii) {
  if (text == nullptr) return false;
  size_t i = 0;
  for (; ascii[i] != 0; ++i) {
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    char a = ascii[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (c != static_cast<char16_t>(a)) return false;
  }
  return text[i] == 0;
}

bool shouldFail(const char* method) {
  const char* fail = std::getenv("TRX_TEST_NOTIFIER_FAIL");
  return fail != nullptr && std::string(fail) == method;
}

// Appends one line (the newline is added here) with a single write.
void journal(std::string line) {
  const char* path = std::getenv("TRX_TEST_NOTIFIER_LOG");
  if (path == nullptr || *path == 0) return;
  line += '\n';
  if (std::FILE* file = std::fopen(path, "ab")) {
    std::setvbuf(file, nullptr, _IOFBF, line.size() + 1);
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
  }
}

class Notifier final : public IDispatch {
 public:
  explicit Notifier(REFCLSID clsid) : m_clsid(clsid) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == kIID_IUnknown || riid == kIID_IDispatch) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override {
    if (cNames == 0) return S_OK;
    if (rgszNames == nullptr || rgDispId == nullptr) return E_POINTER;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    if (equalsNoCase(rgszNames[0], "Init")) rgDispId[0] = kDispidInit;
    if (equalsNoCase(rgszNames[0], "Destroy")) rgDispId[0] = kDispidDestroy;
    // The methods have no named parameters.
    return rgDispId[0] == DISPID_UNKNOWN || cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) override {
    if (riid != kIID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (dispIdMember != kDispidInit && dispIdMember != kDispidDestroy) return DISP_E_MEMBERNOTFOUND;
    if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (pDispParams == nullptr) return E_INVALIDARG;
    if (pDispParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (pVarResult != nullptr) pVarResult->vt = VT_EMPTY;
    if (dispIdMember == kDispidDestroy) {
      if (pDispParams->cArgs != 0) return DISP_E_BADPARAMCOUNT;
      return Finish("Destroy " + guidText(m_clsid), "Destroy");
    }
    if (pDispParams->cArgs != 2) return DISP_E_BADPARAMCOUNT;
    // Arguments come in reverse order: rgvarg[1] is the first.
    const VARIANT& window = pDispParams->rgvarg[1];
    const VARIANT& text = pDispParams->rgvarg[0];
    if (window.vt != VT_I4 || text.vt != VT_BSTR) {
      if (puArgErr != nullptr) *puArgErr = window.vt != VT_I4 ? 1 : 0;
      return DISP_E_TYPEMISMATCH;
    }
    std::string passed = narrow(text.bstrVal);
    if (passed.empty()) passed = "-";
    return Finish("Init " + guidText(m_clsid) + " " + std::to_string(window.lVal) + " " + passed, "Init");
  }

 private:
  ~Notifier() = default;

  static HRESULT Finish(std::string line, const char* method) {
    bool fail = shouldFail(method);
    if (fail) line += " failed";
    journal(std::move(line));
    return fail ? E_FAIL : S_OK;
  }

  const CLSID m_clsid;
  std::atomic<ULONG> m_refs{1};
};

// The class object for one class id; the objects it creates remember it.
class Factory final : public IClassFactory {
 public:
  explicit Factory(REFCLSID clsid) : m_clsid(clsid) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == kIID_IUnknown || riid == kIID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new Notifier(m_clsid);
    HRESULT hr = object->QueryInterface(riid, ppvObject);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ~Factory() = default;

  const CLSID m_clsid;
  std::atomic<ULONG> m_refs{1};
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* factory = new Factory(rclsid);
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}
