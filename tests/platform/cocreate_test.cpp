// Creating objects by class id from in-process server libraries named in the
// registry, with the notification tool library as the server.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/trxplatform.h"
#include "support/trxtestregistry.h"

namespace {

// {5A0C4E1F-8B2D-4E6A-9C3B-7D1E2F3A4B5C}
const CLSID kNotifierClsid = {0x5A0C4E1F, 0x8B2D, 0x4E6A, {0x9C, 0x3B, 0x7D, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C}};
const char* const kNotifierText = "{5A0C4E1F-8B2D-4E6A-9C3B-7D1E2F3A4B5C}";
// {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}
const CLSID kOtherClsid = {0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
const char* const kOtherText = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
// Registered nowhere.
const CLSID kUnknownClsid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
// An interface the notification object does not have.
const IID kIID_Nowhere = {0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};

// Calls a method by name with positional arguments given in call order.
HRESULT callByName(IDispatch* object, const OLECHAR* name, std::vector<VARIANT> arguments) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  UINT argError = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, &argError);
  VariantClear(&result);
  return hr;
}

VARIANT longArgument(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

// The BSTR stays owned by the caller's TrxBstr.
VARIANT textArgument(const TrxBstr& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text.Get();
  return v;
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

TEST_F(CoCreateTest, RegisteredLibraryCreatesTheNotificationObject) {
  IDispatch* notifier = nullptr;
  ASSERT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&notifier)),
            S_OK);
  ASSERT_NE(notifier, nullptr);
  TrxBstr service(OLESTR("{AAAABBBB-CCCC-DDDD-EEEE-FFFF00001111}"));
  EXPECT_EQ(callByName(notifier, OLESTR("Init"), {longArgument(4660), textArgument(service)}), S_OK);
  EXPECT_EQ(callByName(notifier, OLESTR("Destroy"), {}), S_OK);
  notifier->Release();
  EXPECT_EQ(
      m_journal.WaitForLines(2, 10000),
      (std::vector<std::string>{std::string("Init ") + kNotifierText + " 4660 {AAAABBBB-CCCC-DDDD-EEEE-FFFF00001111}",
                                std::string("Destroy ") + kNotifierText}));
}

TEST_F(CoCreateTest, NotificationObjectCalls) {
  IDispatch* notifier = nullptr;
  ASSERT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&notifier)),
            S_OK);
  TrxBstr empty(OLESTR(""));
  TrxBstr text(OLESTR("{1}"));
  TrxBstr null;
  struct Case {
    const char* what;
    const OLECHAR* name;
    std::vector<VARIANT> arguments;
    const char* failing;  // TRX_TEST_NOTIFIER_FAIL, or null
    HRESULT expected;
    std::string line;  // the journal line, "" for none
  };
  const std::string clsid = kNotifierText;
  const Case cases[] = {
      {"names ignore case",
       OLESTR("iNiT"),
       {longArgument(1), textArgument(text)},
       nullptr,
       S_OK,
       "Init " + clsid + " 1 {1}"},
      {"null text", OLESTR("Init"), {longArgument(-7), textArgument(null)}, nullptr, S_OK, "Init " + clsid + " -7 -"},
      {"empty text", OLESTR("Init"), {longArgument(0), textArgument(empty)}, nullptr, S_OK, "Init " + clsid + " 0 -"},
      {"destroy ignores case", OLESTR("DESTROY"), {}, nullptr, S_OK, "Destroy " + clsid},
      {"failing init",
       OLESTR("Init"),
       {longArgument(2), textArgument(text)},
       "Init",
       E_FAIL,
       "Init " + clsid + " 2 {1} failed"},
      {"failing destroy", OLESTR("Destroy"), {}, "Destroy", E_FAIL, "Destroy " + clsid + " failed"},
      {"failing init leaves destroy alone", OLESTR("Destroy"), {}, "Init", S_OK, "Destroy " + clsid},
      {"unknown name", OLESTR("Notify"), {}, nullptr, DISP_E_UNKNOWNNAME, ""},
      {"init without arguments", OLESTR("Init"), {}, nullptr, DISP_E_BADPARAMCOUNT, ""},
      {"destroy with an argument", OLESTR("Destroy"), {longArgument(1)}, nullptr, DISP_E_BADPARAMCOUNT, ""},
      {"arguments swapped", OLESTR("Init"), {textArgument(text), longArgument(1)}, nullptr, DISP_E_TYPEMISMATCH, ""},
  };
  size_t lines = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TrxScopedEnvironment failing("TRX_TEST_NOTIFIER_FAIL", c.failing);
    EXPECT_EQ(callByName(notifier, c.name, c.arguments), c.expected);
    if (!c.line.empty()) {
      std::vector<std::string> journal = m_journal.WaitForLines(++lines, 10000);
      ASSERT_EQ(journal.size(), lines);
      EXPECT_EQ(journal.back(), c.line);
    } else {
      EXPECT_EQ(m_journal.Lines().size(), lines) << "nothing written";
    }
  }
  notifier->Release();
}

TEST_F(CoCreateTest, EachObjectRemembersItsClassId) {
  m_registry.RegisterInprocServer(kOtherText, TRX_TEST_NOTIFIER_PATH);
  IDispatch* first = nullptr;
  IDispatch* second = nullptr;
  ASSERT_EQ(
      CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&first)),
      S_OK);
  ASSERT_EQ(
      CoCreateInstance(kOtherClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&second)),
      S_OK);
  EXPECT_EQ(callByName(second, OLESTR("Destroy"), {}), S_OK);
  EXPECT_EQ(callByName(first, OLESTR("Destroy"), {}), S_OK);
  first->Release();
  second->Release();
  EXPECT_EQ(m_journal.WaitForLines(2, 10000),
            (std::vector<std::string>{std::string("Destroy ") + kOtherText, std::string("Destroy ") + kNotifierText}));
}

TEST_F(CoCreateTest, ClassObjectCreatesObjectsAndReportsItsOwnStatus) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kNotifierClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  ASSERT_NE(factory, nullptr);
  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  IDispatch* notifier = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&notifier)), S_OK);
  EXPECT_EQ(callByName(notifier, OLESTR("Destroy"), {}), S_OK);
  notifier->Release();
  EXPECT_EQ(m_journal.WaitForLines(1, 10000), std::vector<std::string>{std::string("Destroy ") + kNotifierText});

  // The factory's and the class object's own failures come back as they are.
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, kIID_Nowhere, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(kNotifierClsid, object, CLSCTX_INPROC_SERVER, IID_IUnknown, &out), CLASS_E_NOAGGREGATION)
      << "the object does not support aggregation";
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoGetClassObject(kNotifierClsid, CLSCTX_INPROC_SERVER, nullptr, kIID_Nowhere, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  object->Release();
  factory->Release();
}

TEST_F(CoCreateTest, Failures) {
  const std::string bad = "{22222222-3333-4444-5555-666666666666}";
  const CLSID badClsid = {0x22222222, 0x3333, 0x4444, {0x55, 0x55, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66}};
  struct Case {
    const char* what;
    const char* library;  // null: no key at all; "": the key without a default value
    DWORD context;
    HRESULT expected;
  };
  const std::string notALibrary = m_registry.Path().string();
  const Case cases[] = {
      {"unregistered class id", nullptr, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
      {"key without a library path", "", CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
      {"library that does not exist", "/nonexistent/libtrxnothing.so", CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
      {"file that is no library", notALibrary.c_str(), CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
      {"library without DllGetClassObject", "libm.so.6", CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL},
      {"local server only", TRX_TEST_NOTIFIER_PATH, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
      {"remote server or handler", TRX_TEST_NOTIFIER_PATH, CLSCTX_REMOTE_SERVER | CLSCTX_INPROC_HANDLER,
       REGDB_E_CLASSNOTREG},
      {"working library, all contexts", TRX_TEST_NOTIFIER_PATH, CLSCTX_ALL, S_OK},
  };
  const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\" + bad + "\\InprocServer32";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_registry.Remove("HKEY_CLASSES_ROOT\\CLSID\\" + bad);
    if (c.library && *c.library)
      m_registry.RegisterInprocServer(bad, c.library);
    else if (c.library)
      m_registry.AddKey(key);
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(badClsid, nullptr, c.context, IID_IUnknown, &object), c.expected);
    if (FAILED(c.expected)) {
      EXPECT_EQ(object, nullptr);
    }
    if (object) static_cast<IUnknown*>(object)->Release();
    void* factory = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoGetClassObject(badClsid, c.context, nullptr, IID_IClassFactory, &factory), c.expected);
    if (FAILED(c.expected)) {
      EXPECT_EQ(factory, nullptr);
    }
    if (factory) static_cast<IUnknown*>(factory)->Release();
  }
  EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(CoGetClassObject(kNotifierClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(CoCreateTest, RegistrationIsSeenAtTheNextCall) {
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kOtherClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  m_registry.RegisterInprocServer(kOtherText, TRX_TEST_NOTIFIER_PATH);
  ASSERT_EQ(CoCreateInstance(kOtherClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  m_registry.Remove(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + kOtherText);
  EXPECT_EQ(CoCreateInstance(kOtherClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}

TEST_F(CoCreateTest, UninitialisedThreadIsRefused) {
  std::thread([] {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    void* factory = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoGetClassObject(kNotifierClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &factory),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(factory, nullptr);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), S_OK);
    if (object) static_cast<IUnknown*>(object)->Release();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(kNotifierClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED)
        << "after the last CoUninitialize";
  }).join();
}

TEST_F(CoCreateTest, CreationFromSeveralThreadsAtOnce) {
  m_registry.RegisterInprocServer(kOtherText, TRX_TEST_NOTIFIER_PATH);
  constexpr int kThreads = 4;
  constexpr int kRounds = 10;
  std::atomic<int> ready{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &ready, &failures] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      // Start together, so the first loads of the library overlap.
      ++ready;
      while (ready.load() < kThreads) SwitchToThread();
      for (int round = 0; round < kRounds; ++round) {
        IDispatch* notifier = nullptr;
        const CLSID& clsid = t % 2 ? kOtherClsid : kNotifierClsid;
        if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&notifier)) != S_OK) {
          ++failures;
          continue;
        }
        TrxBstr text(TrxWiden("thread " + std::to_string(t)));
        if (callByName(notifier, OLESTR("Init"), {longArgument(t), textArgument(text)}) != S_OK) ++failures;
        notifier->Release();
      }
      CoUninitialize();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  std::vector<std::string> lines = m_journal.WaitForLines(kThreads * kRounds, 10000);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kRounds));
  int perThread[kThreads] = {};
  for (const std::string& line : lines) {
    for (int t = 0; t < kThreads; ++t) {
      std::string expected = std::string("Init ") + (t % 2 ? kOtherText : kNotifierText) + " " + std::to_string(t) +
                             " thread " + std::to_string(t);
      if (line == expected) ++perThread[t];
    }
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(perThread[t], kRounds) << "whole lines of thread " << t;
}
