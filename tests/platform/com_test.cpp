// COM apartments, task memory, GUID text and inter-thread marshalling of the
// Linux COM layer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "linux/pal_com.h"
#include "linux/pal_kernel.h"
#include "support/trxtestregistry.h"

namespace {

// {6B1C2E4A-0F3D-4C5B-9A87-112233445566}
const IID IID_ITestCounter = {0x6B1C2E4A, 0x0F3D, 0x4C5B, {0x9A, 0x87, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
// An interface nobody implements.
const IID IID_INowhere = {0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};

struct ITestCounter : public IUnknown {
  virtual DWORD STDMETHODCALLTYPE CallingThread() = 0;

 protected:
  ~ITestCounter() = default;
};

// Counts its references; never deletes itself, so a test can check the
// count after the last Release.
class TestObject final : public ITestCounter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_ITestCounter) {
      *ppv = static_cast<ITestCounter*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  DWORD STDMETHODCALLTYPE CallingThread() override { return GetCurrentThreadId(); }

  std::atomic<ULONG> refs{1};
};

// Runs f on a new thread and waits for it.
void onFreshThread(const std::function<void()>& f) {
  std::thread t(f);
  t.join();
}

std::u16string guidText(REFGUID guid) {
  OLECHAR buffer[CHARS_IN_GUID];
  EXPECT_EQ(StringFromGUID2(guid, buffer, CHARS_IN_GUID), CHARS_IN_GUID);
  return buffer;
}

}  // namespace

// ---- CoInitializeEx -----------------------------------------------------------------------

TEST(CoInitializeEx, ModesAndCounts) {
  enum Step { STA, MTA, UNINIT };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    std::vector<HRESULT> results;  // one per STA/MTA step
  };
  const Case cases[] = {
      {"first call", {STA}, {S_OK}},
      {"again in the same mode", {STA, STA}, {S_OK, S_FALSE}},
      {"multithreaded twice", {MTA, MTA}, {S_OK, S_FALSE}},
      {"apartment then multithreaded", {STA, MTA}, {S_OK, RPC_E_CHANGED_MODE}},
      {"multithreaded then apartment", {MTA, STA}, {S_OK, RPC_E_CHANGED_MODE}},
      {"fully uninitialised: mode may change", {STA, UNINIT, MTA}, {S_OK, S_OK}},
      {"one level left: mode is kept", {STA, STA, UNINIT, MTA, STA}, {S_OK, S_FALSE, RPC_E_CHANGED_MODE, S_FALSE}},
      {"a refused call adds no level", {STA, MTA, UNINIT, MTA}, {S_OK, RPC_E_CHANGED_MODE, S_OK}},
      {"extra uninitialise is harmless", {UNINIT, UNINIT, MTA}, {S_OK}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    onFreshThread([&] {
      std::vector<HRESULT> results;
      int levels = 0;
      for (Step s : c.steps) {
        if (s == UNINIT) {
          CoUninitialize();
          if (levels > 0) --levels;
          continue;
        }
        HRESULT hr = CoInitializeEx(nullptr, s == STA ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
        if (SUCCEEDED(hr)) ++levels;
        results.push_back(hr);
      }
      EXPECT_EQ(results, c.results);
      while (levels-- > 0) CoUninitialize();
    });
  }
}

TEST(CoInitializeEx, ArgumentsAndCoInitialize) {
  onFreshThread([] {
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
    EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE) << "CoInitialize is apartment";
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  });
}

TEST(CoInitializeEx, IsPerThread) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  onFreshThread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "another thread starts uninitialised";
    CoUninitialize();
  });
  CoUninitialize();
}

// ---- marshalling ------------------------------------------------------------------------------

TEST(CoMarshalInterThreadInterfaceInStream, RoundTripAcrossThreadsBalancesReferences) {
  TestObject object;
  IStream* stream = nullptr;
  onFreshThread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ITestCounter, &object, &stream), S_OK);
    CoUninitialize();
  });
  ASSERT_NE(stream, nullptr);
  EXPECT_GT(object.refs.load(), 1u) << "the stream holds a reference";

  std::atomic<DWORD> callerId{0}, calledOn{0};
  onFreshThread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ITestCounter* counter = nullptr;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_ITestCounter, reinterpret_cast<void**>(&counter)), S_OK);
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(static_cast<ITestCounter*>(&object), counter);
    callerId = GetCurrentThreadId();
    calledOn = counter->CallingThread();
    counter->Release();
    CoUninitialize();
  });
  EXPECT_EQ(calledOn.load(), callerId.load()) << "calls run on the caller's thread";
  EXPECT_EQ(object.refs.load(), 1u) << "no reference leaked";
}

TEST(CoMarshalInterThreadInterfaceInStream, FailedQueryInterfaceIsReturned) {
  TestObject object;
  onFreshThread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IStream* stream = reinterpret_cast<IStream*>(0x1);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_INowhere, &object, &stream), E_NOINTERFACE);
    EXPECT_EQ(stream, nullptr);
    CoUninitialize();
  });
  EXPECT_EQ(object.refs.load(), 1u);
}

TEST(CoMarshalInterThreadInterfaceInStream, InvalidArgumentsAndUninitialisedThread) {
  TestObject object;
  onFreshThread([&] {
    IStream* stream = nullptr;
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, &object, &stream), CO_E_NOTINITIALIZED);
    EXPECT_EQ(stream, nullptr);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, nullptr, &stream), E_INVALIDARG);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, &object, nullptr), E_INVALIDARG);
    CoUninitialize();
  });
  EXPECT_EQ(object.refs.load(), 1u);
}

TEST(CoGetInterfaceAndReleaseStream, FailuresStillReleaseTheStream) {
  struct Case {
    const char* what;
    bool initialise;
    const IID* iid;
    bool nullOut;
    HRESULT expected;
  };
  const Case cases[] = {
      {"unsupported interface", true, &IID_INowhere, false, E_NOINTERFACE},
      {"uninitialised thread", false, &IID_ITestCounter, false, CO_E_NOTINITIALIZED},
      {"null out pointer", true, &IID_ITestCounter, true, E_INVALIDARG},
      {"supported interface", true, &IID_IUnknown, false, S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject object;
    IStream* stream = nullptr;
    onFreshThread([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ITestCounter, &object, &stream), S_OK);
      CoUninitialize();
    });
    onFreshThread([&] {
      if (c.initialise) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      void* out = reinterpret_cast<void*>(0x1);
      EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, *c.iid, c.nullOut ? nullptr : &out), c.expected);
      if (c.expected == S_OK) {
        ASSERT_NE(out, nullptr);
        static_cast<IUnknown*>(out)->Release();
      } else if (!c.nullOut) {
        EXPECT_EQ(out, nullptr);
      }
      if (c.initialise) CoUninitialize();
    });
    EXPECT_EQ(object.refs.load(), 1u) << "stream and held reference released";
  }
  onFreshThread([] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    void* out = nullptr;
    EXPECT_EQ(CoGetInterfaceAndReleaseStream(nullptr, IID_IUnknown, &out), E_INVALIDARG);
    CoUninitialize();
  });
}

TEST(CoReleaseMarshalData, DropsTheHeldReference) {
  TestObject object;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IStream* stream = nullptr;
  ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ITestCounter, &object, &stream), S_OK);
  EXPECT_EQ(CoReleaseMarshalData(stream), S_OK);
  EXPECT_EQ(object.refs.load(), 1u);
  EXPECT_EQ(CoReleaseMarshalData(stream), CO_E_OBJNOTCONNECTED);
  stream->AddRef();
  void* out = nullptr;
  EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_ITestCounter, &out), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(out, nullptr);
  stream->Release();
  EXPECT_EQ(CoReleaseMarshalData(nullptr), E_INVALIDARG);
  EXPECT_EQ(object.refs.load(), 1u);
  CoUninitialize();
}

TEST(CoMarshalInterThreadInterfaceInStream, StreamIsAnIStreamWithoutData) {
  TestObject object;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IStream* stream = nullptr;
  ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ITestCounter, &object, &stream), S_OK);
  IStream* asStream = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_IStream, reinterpret_cast<void**>(&asStream)), S_OK);
  ISequentialStream* sequential = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&sequential)), S_OK);
  char byte;
  ULONG n = 0;
  EXPECT_EQ(sequential->Read(&byte, 1, &n), E_NOTIMPL);
  STATSTG stat{};
  EXPECT_EQ(asStream->Stat(&stat, STATFLAG_NONAME), E_NOTIMPL);
  void* other = nullptr;
  EXPECT_EQ(stream->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
  sequential->Release();
  asStream->Release();
  stream->Release();
  EXPECT_EQ(object.refs.load(), 1u) << "the last stream reference drops the object's";
  CoUninitialize();
}

// ---- CoCreateInstance -------------------------------------------------------------------------

TEST(CoCreateInstance, NoClassesAreRegistered) {
  TrxTestRegistry emptyRegistry;
  onFreshThread([] {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(IID_ITestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
              CO_E_NOTINITIALIZED);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(IID_ITestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CoCreateInstance(IID_ITestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
    CoUninitialize();
  });
}

// ---- task memory ----------------------------------------------------------------------------

TEST(CoTaskMemRealloc, KeepsContents) {
  auto* p = static_cast<char*>(CoTaskMemAlloc(8));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "abcdefg", 8);
  p = static_cast<char*>(CoTaskMemRealloc(p, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abcdefg");
  CoTaskMemFree(p);
  CoTaskMemFree(nullptr);
  void* fresh = CoTaskMemRealloc(nullptr, 16);
  EXPECT_NE(fresh, nullptr);
  EXPECT_EQ(CoTaskMemRealloc(fresh, 0), nullptr) << "size 0 frees";
}

// ---- GUID text ---------------------------------------------------------------------------------

TEST(StringFromGUID2, KnownInterfaceIds) {
  struct Case {
    const IID* iid;
    const char16_t* text;
  };
  const Case cases[] = {
      {&IID_IUnknown, u"{00000000-0000-0000-C000-000000000046}"},
      {&IID_IDispatch, u"{00020400-0000-0000-C000-000000000046}"},
      {&IID_IStream, u"{0000000C-0000-0000-C000-000000000046}"},
      {&IID_IClassFactory, u"{00000001-0000-0000-C000-000000000046}"},
      {&IID_ISequentialStream, u"{0C733A30-2A1C-11CE-ADE5-00AA0044773A}"},
      {&GUID_NULL, u"{00000000-0000-0000-0000-000000000000}"},
      {&IID_NULL, u"{00000000-0000-0000-0000-000000000000}"},
      {&IID_ITestCounter, u"{6B1C2E4A-0F3D-4C5B-9A87-112233445566}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + 38));
    EXPECT_EQ(guidText(*c.iid), c.text);
    CLSID parsed;
    EXPECT_EQ(CLSIDFromString(c.text, &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, *c.iid));
    IID parsedIid;
    EXPECT_EQ(IIDFromString(c.text, &parsedIid), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsedIid, *c.iid));
  }
  OLECHAR small[CHARS_IN_GUID - 1];
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, small, CHARS_IN_GUID - 1), 0) << "no room for the terminator";
}

TEST(CLSIDFromString, AcceptsLowerCaseHex) {
  CLSID parsed;
  EXPECT_EQ(CLSIDFromString(u"{6b1c2e4a-0f3d-4c5b-9a87-112233445566}", &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, IID_ITestCounter));
  EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, GUID_NULL)) << "null text is GUID_NULL";
}

TEST(CLSIDFromString, MalformedText) {
  struct Case {
    const char* what;
    const char16_t* text;
    HRESULT clsidResult;
    HRESULT iidResult;
  };
  const Case cases[] = {
      {"no braces", u"6B1C2E4A-0F3D-4C5B-9A87-112233445566", CO_E_CLASSSTRING, E_INVALIDARG},
      {"braces but no closing one", u"{6B1C2E4A-0F3D-4C5B-9A87-1122334455667", CO_E_CLASSSTRING, CO_E_IIDSTRING},
      {"dash moved", u"{6B1C2E4A0-F3D-4C5B-9A87-112233445566}", CO_E_CLASSSTRING, CO_E_IIDSTRING},
      {"not hex", u"{6B1C2E4G-0F3D-4C5B-9A87-112233445566}", CO_E_CLASSSTRING, CO_E_IIDSTRING},
      {"too short", u"{6B1C2E4A-0F3D-4C5B-9A87-11223344556}", CO_E_CLASSSTRING, E_INVALIDARG},
      {"too long", u"{6B1C2E4A-0F3D-4C5B-9A87-112233445566}x", CO_E_CLASSSTRING, E_INVALIDARG},
      {"empty", u"", CO_E_CLASSSTRING, E_INVALIDARG},
      {"a ProgID", u"Trx.Application", CO_E_CLASSSTRING, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CLSID clsid = IID_IDispatch;
    EXPECT_EQ(CLSIDFromString(c.text, &clsid), c.clsidResult);
    EXPECT_TRUE(IsEqualGUID(clsid, GUID_NULL)) << "cleared on failure";
    IID iid;
    EXPECT_EQ(IIDFromString(c.text, &iid), c.iidResult);
  }
  EXPECT_EQ(CLSIDFromString(u"{00000000-0000-0000-C000-000000000046}", nullptr), E_INVALIDARG);
}
