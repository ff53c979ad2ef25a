// COM apartments (per-thread initialisation counts), GUID text, object
// creation from registered in-process servers and the by-reference
// inter-thread marshalling stand-in.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "pal_com.h"
#include "pal_registry.h"

extern "C" const IID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
extern "C" const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
extern "C" const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3A}};

namespace {

struct Apartment {
  int count = 0;
  bool singleThreaded = false;
};
thread_local Apartment t_apartment;

bool comInitialized() { return t_apartment.count > 0; }

// The stream a marshalled interface travels in: it holds one reference to
// the interface and nothing else.
class MarshalStream final : public IStream {
 public:
  explicit MarshalStream(IUnknown* held) : held_(held) {}

  // Takes the held reference out (null once unmarshalled or released).
  IUnknown* take() { return held_.exchange(nullptr); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
      *ppvObject = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      if (IUnknown* held = take()) held->Release();
      delete this;
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  ~MarshalStream() = default;
  std::atomic<ULONG> refs_{1};
  std::atomic<IUnknown*> held_;
};

int hexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" exactly.
bool parseGuid(LPCOLESTR text, GUID* guid) {
  static constexpr int kLength = CHARS_IN_GUID - 1;
  for (int i = 0; i < kLength; ++i)
    if (text[i] == 0) return false;
  if (text[kLength] != 0 || text[0] != u'{' || text[kLength - 1] != u'}') return false;
  uint8_t bytes[16];
  int count = 0;
  for (int i = 1; i < kLength - 1;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != u'-') return false;
      ++i;
      continue;
    }
    int high = hexValue(text[i]), low = hexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[count++] = static_cast<uint8_t>(high << 4 | low);
    i += 2;
  }
  guid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  guid->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = bytes[8 + i];
  return true;
}

}  // namespace

STDAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved != nullptr ||
      (dwCoInit & ~static_cast<DWORD>(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY))) {
    return E_INVALIDARG;
  }
  const bool singleThreaded = (dwCoInit & COINIT_APARTMENTTHREADED) != 0;
  Apartment& a = t_apartment;
  if (a.count == 0) {
    a.count = 1;
    a.singleThreaded = singleThreaded;
    return S_OK;
  }
  if (a.singleThreaded != singleThreaded) return RPC_E_CHANGED_MODE;
  ++a.count;
  return S_FALSE;
}

extern "C" void WINAPI CoUninitialize() {
  if (t_apartment.count > 0) --t_apartment.count;
}

extern "C" int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (lpsz == nullptr || cchMax < CHARS_IN_GUID) return 0;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  uint8_t bytes[16] = {static_cast<uint8_t>(rguid.Data1 >> 24), static_cast<uint8_t>(rguid.Data1 >> 16),
                       static_cast<uint8_t>(rguid.Data1 >> 8),  static_cast<uint8_t>(rguid.Data1),
                       static_cast<uint8_t>(rguid.Data2 >> 8),  static_cast<uint8_t>(rguid.Data2),
                       static_cast<uint8_t>(rguid.Data3 >> 8),  static_cast<uint8_t>(rguid.Data3)};
  for (int i = 0; i < 8; ++i) bytes[8 + i] = rguid.Data4[i];
  int out = 0, index = 0;
  lpsz[out++] = u'{';
  for (int group : {4, 2, 2, 2, 6}) {
    if (index > 0) lpsz[out++] = u'-';
    for (int i = 0; i < group; ++i, ++index) {
      lpsz[out++] = static_cast<OLECHAR>(kDigits[bytes[index] >> 4]);
      lpsz[out++] = static_cast<OLECHAR>(kDigits[bytes[index] & 0xF]);
    }
  }
  lpsz[out++] = u'}';
  lpsz[out++] = 0;
  return out;
}

STDAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (pclsid == nullptr) return E_INVALIDARG;
  *pclsid = GUID_NULL;
  if (lpsz == nullptr) return S_OK;
  if (parseGuid(lpsz, pclsid)) return S_OK;
  *pclsid = GUID_NULL;
  return CO_E_CLASSSTRING;
}

namespace {

// The path of rclsid's in-process server from the registry; empty if the
// class is not registered.
std::u16string inprocServerPath(REFCLSID rclsid) {
  OLECHAR clsid[CHARS_IN_GUID];
  StringFromGUID2(rclsid, clsid, CHARS_IN_GUID);
  std::u16string keyPath = std::u16string(u"CLSID\\") + clsid + u"\\InprocServer32";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  DWORD type = REG_NONE, size = 0;
  std::u16string path;
  if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::vector<OLECHAR> text(size / sizeof(OLECHAR) + 1, 0);
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(text.data()), &size) ==
        ERROR_SUCCESS)
      path = text.data();  // up to the terminator
  }
  RegCloseKey(key);
  return path;
}

// Libraries loaded for class creation stay loaded for the rest of the
// process, one load per path.
std::mutex& serverLock() {
  static std::mutex* instance = new std::mutex;
  return *instance;
}

std::map<std::u16string, HMODULE>& servers() {
  static auto* instance = new std::map<std::u16string, HMODULE>;
  return *instance;
}

// ---- class objects registered by this process ----

struct Registration {
  CLSID clsid;
  IUnknown* object;
  DWORD contexts;
  bool singleUse;
  bool used = false;
  bool suspended;
};

std::mutex& classTableLock() {
  static std::mutex* instance = new std::mutex;
  return *instance;
}

// Keyed by cookie, so the latest registration comes last.
std::map<DWORD, Registration>& classTable() {
  static auto* instance = new std::map<DWORD, Registration>;
  return *instance;
}

DWORD g_nextCookie = 1;

// The served class object of rclsid for one of the contexts, AddRef'd; null
// if there is none.
IUnknown* registeredClassObject(REFCLSID rclsid, DWORD dwClsContext) {
  std::lock_guard<std::mutex> guard(classTableLock());
  auto& table = classTable();
  for (auto it = table.rbegin(); it != table.rend(); ++it) {
    Registration& entry = it->second;
    if (entry.clsid != rclsid || entry.suspended || (entry.singleUse && entry.used) ||
        (entry.contexts & dwClsContext) == 0)
      continue;
    entry.used = true;
    entry.object->AddRef();
    return entry.object;
  }
  return nullptr;
}

HRESULT getClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  if (IUnknown* registered = registeredClassObject(rclsid, dwClsContext)) {
    HRESULT hr = registered->QueryInterface(riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    registered->Release();
    return hr;
  }
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::u16string path = inprocServerPath(rclsid);
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  HMODULE module = nullptr;
  {
    std::lock_guard<std::mutex> guard(serverLock());
    auto found = servers().find(path);
    if (found != servers().end()) {
      module = found->second;
    } else {
      module = LoadLibraryW(path.c_str());
      if (module == nullptr) return CO_E_DLLNOTFOUND;
      servers().emplace(path, module);
    }
  }
  FARPROC exported = GetProcAddress(module, "DllGetClassObject");
  if (exported == nullptr) return CO_E_ERRORINDLL;
  // The generic function pointer type converts to any other without a warning.
  auto entry = reinterpret_cast<LPFNGETCLASSOBJECT>(reinterpret_cast<void (*)()>(exported));
  HRESULT hr = entry(rclsid, riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

}  // namespace

STDAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags, LPDWORD lpdwRegister) {
  if (lpdwRegister != nullptr) *lpdwRegister = 0;
  if (pUnk == nullptr || lpdwRegister == nullptr) return E_INVALIDARG;
  const DWORD use = flags & ~static_cast<DWORD>(REGCLS_SUSPENDED);
  if (use != REGCLS_SINGLEUSE && use != REGCLS_MULTIPLEUSE && use != REGCLS_MULTI_SEPARATE) return E_INVALIDARG;
  if (!comInitialized()) return CO_E_NOTINITIALIZED;
  DWORD contexts = dwClsContext;
  if (use == REGCLS_MULTIPLEUSE && (contexts & CLSCTX_LOCAL_SERVER)) contexts |= CLSCTX_INPROC_SERVER;
  pUnk->AddRef();
  std::lock_guard<std::mutex> guard(classTableLock());
  const DWORD cookie = g_nextCookie++;
  classTable().emplace(
      cookie, Registration{rclsid, pUnk, contexts, use == REGCLS_SINGLEUSE, false, (flags & REGCLS_SUSPENDED) != 0});
  *lpdwRegister = cookie;
  return S_OK;
}

STDAPI CoRevokeClassObject(DWORD dwRegister) {
  IUnknown* object = nullptr;
  {
    std::lock_guard<std::mutex> guard(classTableLock());
    auto found = classTable().find(dwRegister);
    if (found == classTable().end()) return CO_E_OBJNOTREG;
    object = found->second.object;
    classTable().erase(found);
  }
  object->Release();  // outside the lock: the release may register or revoke
  return S_OK;
}

STDAPI CoSuspendClassObjects() {
  std::lock_guard<std::mutex> guard(classTableLock());
  for (auto& [cookie, entry] : classTable()) entry.suspended = true;
  return S_OK;
}

STDAPI CoResumeClassObjects() {
  std::lock_guard<std::mutex> guard(classTableLock());
  for (auto& [cookie, entry] : classTable()) entry.suspended = false;
  return S_OK;
}

STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!comInitialized()) return CO_E_NOTINITIALIZED;
  return getClassObject(rclsid, dwClsContext, riid, ppv);
}

STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!comInitialized()) return CO_E_NOTINITIALIZED;
  void* factory = nullptr;
  HRESULT hr = getClassObject(rclsid, dwClsContext, IID_IClassFactory, &factory);
  if (FAILED(hr)) return hr;
  auto* classFactory = static_cast<IClassFactory*>(factory);
  hr = classFactory->CreateInstance(pUnkOuter, riid, ppv);
  classFactory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

STDAPI CoMarshalInterThreadInterfaceInStream(REFIID riid, LPUNKNOWN pUnk, LPSTREAM* ppStm) {
  if (ppStm == nullptr) return E_INVALIDARG;
  *ppStm = nullptr;
  if (pUnk == nullptr) return E_INVALIDARG;
  if (!comInitialized()) return CO_E_NOTINITIALIZED;
  void* itf = nullptr;
  HRESULT hr = pUnk->QueryInterface(riid, &itf);
  if (FAILED(hr)) return hr;
  // Every COM interface starts with IUnknown's methods.
  *ppStm = new MarshalStream(static_cast<IUnknown*>(itf));
  return S_OK;
}

STDAPI CoGetInterfaceAndReleaseStream(LPSTREAM pStm, REFIID iid, LPVOID* ppv) {
  if (pStm == nullptr) return E_INVALIDARG;
  HRESULT hr;
  auto* stream = dynamic_cast<MarshalStream*>(pStm);
  if (ppv == nullptr || stream == nullptr) {
    hr = E_INVALIDARG;
  } else if (*ppv = nullptr; !comInitialized()) {
    hr = CO_E_NOTINITIALIZED;
  } else if (IUnknown* held = stream->take()) {
    hr = held->QueryInterface(iid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    held->Release();
  } else {
    hr = CO_E_OBJNOTCONNECTED;
  }
  pStm->Release();
  return hr;
}
