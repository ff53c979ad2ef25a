// COM apartments, GUID text and inter-thread marshalling of the Linux COM
// layer.
#include <atomic>
#include <vector>

#include "paltest.h"

using paltest::OnNewThread;

namespace {

// {6B1C2E4A-0F3D-4C5B-9A87-112233445566}
const IID IID_ITestCounter = {0x6B1C2E4A, 0x0F3D, 0x4C5B, {0x9A, 0x87, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
const IID IID_INowhere = {0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};

struct ITestCounter : public IUnknown {
  virtual DWORD STDMETHODCALLTYPE CallingThread() = 0;

 protected:
  ~ITestCounter() = default;
};

// Counts its references and never deletes itself, so that a test can check
// the count after the last Release.
class TestObject final : public ITestCounter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    const bool ok = riid == IID_IUnknown || riid == IID_ITestCounter;
    *ppv = ok ? static_cast<ITestCounter*>(this) : nullptr;
    if (ok) AddRef();
    return ok ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  DWORD STDMETHODCALLTYPE CallingThread() override { return GetCurrentThreadId(); }
  std::atomic<ULONG> refs{1};
};

// A stream holding a marshalled TestObject, made on a thread of its own.
IStream* Marshal(TestObject& object) {
  IStream* stream = nullptr;
  OnNewThread([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ITestCounter, &object, &stream), S_OK);
    CoUninitialize();
  });
  return stream;
}

}  // namespace

TEST(CoInitializeEx, ModesAndCountsPerThread) {
  enum Step { STA, MTA, UNINIT };
  // clang-format off
  const struct { std::vector<Step> steps; std::vector<HRESULT> results; } cases[] = {
      {{STA, STA}, {S_OK, S_FALSE}},
      {{STA, MTA}, {S_OK, RPC_E_CHANGED_MODE}},
      {{STA, UNINIT, MTA}, {S_OK, S_OK}},  // fully uninitialised: the mode may change
      {{STA, STA, UNINIT, MTA, STA}, {S_OK, S_FALSE, RPC_E_CHANGED_MODE, S_FALSE}},  // one level left: kept
      {{STA, MTA, UNINIT, MTA}, {S_OK, RPC_E_CHANGED_MODE, S_OK}},  // a refused call adds no level
      {{UNINIT, UNINIT, MTA}, {S_OK}},  // an extra uninitialise is harmless
  };
  // clang-format on
  for (const auto& c : cases) {
    OnNewThread([&] {
      std::vector<HRESULT> results;
      int levels = 0;
      for (Step s : c.steps) {
        if (s == UNINIT) {
          CoUninitialize();
          levels -= levels > 0;
          continue;
        }
        results.push_back(CoInitializeEx(nullptr, s == STA ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED));
        levels += SUCCEEDED(results.back());
      }
      EXPECT_EQ(results, c.results);
      while (levels-- > 0) CoUninitialize();
    });
  }
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  OnNewThread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "another thread starts uninitialised";
    CoUninitialize();
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
    EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
  });
  CoUninitialize();
}

TEST(CoMarshalInterThreadInterfaceInStream, RoundTripAcrossThreadsBalancesReferences) {
  TestObject object;
  IStream* stream = Marshal(object);
  ASSERT_NE(stream, nullptr);
  EXPECT_GT(object.refs.load(), 1u) << "the stream holds a reference";
  std::atomic<DWORD> callerId{0}, calledOn{0};
  OnNewThread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ITestCounter* counter = nullptr;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_ITestCounter, reinterpret_cast<void**>(&counter)), S_OK);
    EXPECT_EQ(static_cast<ITestCounter*>(&object), counter);
    callerId = GetCurrentThreadId();
    calledOn = counter->CallingThread();
    counter->Release();
    CoUninitialize();
  });
  EXPECT_EQ(calledOn.load(), callerId.load()) << "calls run on the caller's thread";
  EXPECT_EQ(object.refs.load(), 1u) << "no reference leaked";

  OnNewThread([&] {
    IStream* none = reinterpret_cast<IStream*>(0x1);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, &object, &none), CO_E_NOTINITIALIZED);
    EXPECT_EQ(none, nullptr);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    none = reinterpret_cast<IStream*>(0x1);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_INowhere, &object, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, nullptr, &none), E_INVALIDARG);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, &object, nullptr), E_INVALIDARG);
    void* out = nullptr;
    EXPECT_EQ(CoGetInterfaceAndReleaseStream(nullptr, IID_IUnknown, &out), E_INVALIDARG);
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ITestCounter, &object, &none), S_OK);
    none->Release();  // never read: the last stream reference drops the object's
    CoUninitialize();
  });
  EXPECT_EQ(object.refs.load(), 1u);
}

TEST(CoGetInterfaceAndReleaseStream, FailuresStillReleaseTheStream) {
  // clang-format off
  const struct { bool initialise; const IID* iid; bool nullOut; HRESULT expected; } cases[] = {
      {true, &IID_INowhere, false, E_NOINTERFACE},
      {false, &IID_ITestCounter, false, CO_E_NOTINITIALIZED},
      {true, &IID_ITestCounter, true, E_INVALIDARG},
      {true, &IID_IUnknown, false, S_OK},
  };
  // clang-format on
  for (const auto& c : cases) {
    TestObject object;
    IStream* stream = Marshal(object);
    OnNewThread([&] {
      if (c.initialise) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      void* out = reinterpret_cast<void*>(0x1);
      EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, *c.iid, c.nullOut ? nullptr : &out), c.expected);
      EXPECT_EQ(out != nullptr, c.nullOut || c.expected == S_OK);
      if (c.expected == S_OK) static_cast<IUnknown*>(out)->Release();
      if (c.initialise) CoUninitialize();
    });
    EXPECT_EQ(object.refs.load(), 1u) << "stream and held reference released: " << c.expected;
  }
}

TEST(StringFromGUID2, TextOfGuidsAndBack) {
  // clang-format off
  const struct { const IID* iid; const char16_t* text; } cases[] = {
      {&IID_IUnknown, u"{00000000-0000-0000-C000-000000000046}"},
      {&IID_ISequentialStream, u"{0C733A30-2A1C-11CE-ADE5-00AA0044773A}"},
      {&GUID_NULL, u"{00000000-0000-0000-0000-000000000000}"},
      {&IID_ITestCounter, u"{6B1C2E4A-0F3D-4C5B-9A87-112233445566}"},
  };
  // clang-format on
  for (const auto& c : cases) {
    OLECHAR buffer[CHARS_IN_GUID];
    EXPECT_EQ(StringFromGUID2(*c.iid, buffer, CHARS_IN_GUID), CHARS_IN_GUID);
    EXPECT_EQ(std::u16string(buffer), c.text);
    CLSID parsed;
    EXPECT_EQ(CLSIDFromString(c.text, &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, *c.iid)) << TrxNarrow(c.text);
  }
  OLECHAR small[CHARS_IN_GUID - 1];
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, small, CHARS_IN_GUID - 1), 0) << "no room for the terminator";
  CLSID parsed;
  EXPECT_EQ(CLSIDFromString(u"{6b1c2e4a-0f3d-4c5b-9a87-112233445566}", &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, IID_ITestCounter)) << "lower-case hex";
  EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, GUID_NULL)) << "null text is GUID_NULL";
  EXPECT_EQ(CLSIDFromString(u"{00000000-0000-0000-C000-000000000046}", nullptr), E_INVALIDARG);
}

TEST(CLSIDFromString, MalformedText) {
  // clang-format off
  const char16_t* const cases[] = {
      u"6B1C2E4A-0F3D-4C5B-9A87-112233445566",  // no braces
      u"{6B1C2E4A-0F3D-4C5B-9A87-1122334455667",  // no closing brace
      u"{6B1C2E4A0-F3D-4C5B-9A87-112233445566}",  // a dash moved
      u"{6B1C2E4G-0F3D-4C5B-9A87-112233445566}",  // not hex
      u"{6B1C2E4A-0F3D-4C5B-9A87-11223344556}",  // too short
      u"Trx.Application",  // a ProgID
  };
  // clang-format on
  for (const char16_t* text : cases) {
    CLSID clsid = IID_IDispatch;
    EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING) << TrxNarrow(text);
    EXPECT_TRUE(IsEqualGUID(clsid, GUID_NULL)) << "cleared on failure";
  }
}
