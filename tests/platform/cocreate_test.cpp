// Creating objects by class id: from in-process server libraries named in the
// registry (the notification tool library is the server), and from class
// objects the process registers itself (the local server's side of COM).
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "oletest.h"
#include "paltest.h"
#include "support/trxtestregistry.h"

namespace {

// {5A0C4E1F-8B2D-4E6A-9C3B-7D1E2F3A4B5C}
const CLSID kNotifierClsid = {0x5A0C4E1F, 0x8B2D, 0x4E6A, {0x9C, 0x3B, 0x7D, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C}};
const std::string kNotifierText = "{5A0C4E1F-8B2D-4E6A-9C3B-7D1E2F3A4B5C}";
// {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}
const CLSID kOtherClsid = {0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
const std::string kOtherText = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
const IID kIID_Nowhere = {0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};

// Calls a method by name with arguments in call order: a number and a text.
HRESULT CallByName(IDispatch* object, const OLECHAR* name, std::vector<TrxVariant> arguments = {}) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

TrxComPtr<IDispatch> Create(REFCLSID clsid, HRESULT expected = S_OK, DWORD context = CLSCTX_INPROC_SERVER) {
  TrxComPtr<IDispatch> object;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, context, IID_IDispatch, object.PutVoid()), expected);
  return object;
}

// Registers the notification tool library for a class id, prepares its
// journal and initialises COM on the test's thread.
class CoCreateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_registry.RegisterInprocServer(kNotifierText, TRX_TEST_NOTIFIER_PATH);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { CoUninitialize(); }

  TrxTestRegistry m_registry;
  TrxNotifierJournal m_journal;
};

}  // namespace

TEST_F(CoCreateTest, TheRegisteredLibraryCreatesObjectsThatKnowTheirClassId) {
  m_registry.RegisterInprocServer(kOtherText, TRX_TEST_NOTIFIER_PATH);
  auto notifier = Create(kNotifierClsid), other = Create(kOtherClsid, S_OK, CLSCTX_ALL);
  ASSERT_TRUE(notifier && other);
  EXPECT_EQ(CallByName(notifier.Get(), OLESTR("Init"),
                       {TrxVariant::FromI4(4660), TrxVariant::FromString(u"{AAAABBBB-CCCC-DDDD-EEEE-FFFF00001111}")}),
            S_OK);
  EXPECT_EQ(CallByName(other.Get(), OLESTR("Init"), {TrxVariant::FromI4(-7), TrxVariant::FromString(u"")}), S_OK);
  EXPECT_EQ(CallByName(other.Get(), OLESTR("Destroy")), S_OK);
  EXPECT_EQ(m_journal.WaitForLines(3, paltest::kLongWait),
            (std::vector<std::string>{"Init " + kNotifierText + " 4660 {AAAABBBB-CCCC-DDDD-EEEE-FFFF00001111}",
                                      "Init " + kOtherText + " -7 -", "Destroy " + kOtherText}));

  // The factory's and the class object's own failures come back as they are.
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, kIID_Nowhere, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CoCreateInstance(kNotifierClsid, notifier.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CoGetClassObject(kNotifierClsid, CLSCTX_INPROC_SERVER, nullptr, kIID_Nowhere, &out), E_NOINTERFACE);
  EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(CoGetClassObject(kNotifierClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(CoCreateTest, FailuresAndRegistrationsSeenAtTheNextCall) {
  const std::string bad = "{22222222-3333-4444-5555-666666666666}";
  const CLSID badClsid = {0x22222222, 0x3333, 0x4444, {0x55, 0x55, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66}};
  // clang-format off
  const struct { const char* library; DWORD context; HRESULT expected; } cases[] = {
      {nullptr, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},  // no key at all
      {"", CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},  // the key without a library path
      {"/nonexistent/libtrxnothing.so", CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
      {"libm.so.6", CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL},  // no DllGetClassObject
      {TRX_TEST_NOTIFIER_PATH, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
      {TRX_TEST_NOTIFIER_PATH, CLSCTX_ALL, S_OK},
      {nullptr, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},  // removed again
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.library ? c.library : "(none)");
    m_registry.Remove("HKEY_CLASSES_ROOT\\CLSID\\" + bad);
    if (c.library && *c.library) m_registry.RegisterInprocServer(bad, c.library);
    if (c.library && !*c.library) m_registry.AddKey("HKEY_CLASSES_ROOT\\CLSID\\" + bad + "\\InprocServer32");
    void *object = reinterpret_cast<void*>(0x1), *factory = object;
    EXPECT_EQ(CoCreateInstance(badClsid, nullptr, c.context, IID_IUnknown, &object), c.expected);
    EXPECT_EQ(CoGetClassObject(badClsid, c.context, nullptr, IID_IClassFactory, &factory), c.expected);
    for (void* out : {object, factory}) {
      EXPECT_EQ(out != nullptr, c.expected == S_OK) << "the object, or null";
      if (out) static_cast<IUnknown*>(out)->Release();
    }
  }
  std::thread([] {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoGetClassObject(kNotifierClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object),
              CO_E_NOTINITIALIZED);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_TRUE(Create(kNotifierClsid));
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED)
        << "after the last CoUninitialize";
  }).join();
}

TEST_F(CoCreateTest, CreationFromSeveralThreadsAtOnce) {
  m_registry.RegisterInprocServer(kOtherText, TRX_TEST_NOTIFIER_PATH);
  constexpr int kThreads = 4, kRounds = 10;
  std::atomic<int> ready{0}, failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &ready, &failures] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      ++ready;
      while (ready.load() < kThreads) SwitchToThread();  // together, so that the first loads overlap
      for (int round = 0; round < kRounds; ++round) {
        auto notifier = Create(t % 2 ? kOtherClsid : kNotifierClsid);
        const TrxString text = TrxWiden("thread " + std::to_string(t));
        failures += !notifier || CallByName(notifier.Get(), OLESTR("Init"),
                                            {TrxVariant::FromI4(t), TrxVariant::FromString(text)}) != S_OK;
      }
      CoUninitialize();
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  const std::vector<std::string> lines = m_journal.WaitForLines(kThreads * kRounds, paltest::kLongWait);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kRounds));
  for (int t = 0; t < kThreads; ++t) {
    const std::string expected =
        "Init " + (t % 2 ? kOtherText : kNotifierText) + " " + std::to_string(t) + " thread " + std::to_string(t);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), kRounds) << "whole lines of thread " << t;
  }
}

// ---- class objects the process registers ------------------------------------------------

namespace {

// {6E1D2C3B-4A59-4867-9A8B-7C6D5E4F3A21}
const CLSID kClsid = {0x6E1D2C3B, 0x4A59, 0x4867, {0x9A, 0x8B, 0x7C, 0x6D, 0x5E, 0x4F, 0x3A, 0x21}};

// A class object whose objects are the factory itself (enough to see which
// factory served a request); counts its references.
class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    const bool ok = riid == IID_IUnknown || riid == IID_IClassFactory;
    *ppv = ok ? static_cast<IClassFactory*>(this) : nullptr;
    if (ok) AddRef();
    return ok ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    ++created;
    return QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  std::atomic<ULONG> refs{1};
  int created = 0;
};

// The factory that serves kClsid for the context now, or the status.
std::string Served(DWORD context, const Factory* a, const Factory* b = nullptr) {
  void* object = nullptr;
  const HRESULT hr = CoGetClassObject(kClsid, context, nullptr, IID_IClassFactory, &object);
  if (object) static_cast<IUnknown*>(object)->Release();
  return FAILED(hr) ? oletest::Hex(hr) : object == a ? "a" : object == b ? "b" : "another";
}

}  // namespace

TEST_F(CoCreateTest, ClassObjectsRegisteredSuspendedResumedAndRevoked) {
  Factory a, b;
  DWORD first = 0, second = 0;
  const std::string notRegistered = oletest::Hex(REGDB_E_CLASSNOTREG);
  ASSERT_EQ(CoRegisterClassObject(kClsid, &a, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &first),
            S_OK);
  EXPECT_NE(first, 0u);
  EXPECT_EQ(a.refs, 2u) << "held while registered";
  EXPECT_EQ(Served(CLSCTX_LOCAL_SERVER, &a), notRegistered) << "registered suspended";
  EXPECT_EQ(CoResumeClassObjects(), S_OK);
  EXPECT_EQ(Served(CLSCTX_LOCAL_SERVER, &a), "a");
  EXPECT_EQ(Served(CLSCTX_INPROC_SERVER, &a), "a") << "multiple use of a local server serves in-process too";
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object), S_OK);
  EXPECT_EQ(object, static_cast<IUnknown*>(&a));
  EXPECT_EQ(a.created, 1);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(CoSuspendClassObjects(), S_OK);
  EXPECT_EQ(Served(CLSCTX_LOCAL_SERVER, &a), notRegistered);
  EXPECT_EQ(CoResumeClassObjects(), S_OK);
  ASSERT_EQ(CoRegisterClassObject(kClsid, &b, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &second), S_OK);
  EXPECT_EQ(Served(CLSCTX_LOCAL_SERVER, &a, &b), "b") << "the latest registration wins";
  EXPECT_EQ(Served(CLSCTX_LOCAL_SERVER, &a, &b), "a") << "single use: served once";
  EXPECT_EQ(CoRevokeClassObject(second), S_OK);
  EXPECT_EQ(CoRevokeClassObject(first), S_OK);
  EXPECT_EQ(a.refs, 1u) << "released on revocation";
  EXPECT_EQ(Served(CLSCTX_LOCAL_SERVER, &a), notRegistered);
  EXPECT_EQ(CoRevokeClassObject(first), CO_E_OBJNOTREG) << "revoked twice";

  DWORD cookie = 7;
  EXPECT_EQ(CoRegisterClassObject(kClsid, nullptr, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), E_INVALIDARG);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(CoRegisterClassObject(kClsid, &b, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, nullptr), E_INVALIDARG);
  std::thread([&] {
    EXPECT_EQ(CoRegisterClassObject(kClsid, &b, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), CO_E_NOTINITIALIZED);
  }).join();
  EXPECT_EQ(b.refs, 1u);
}
