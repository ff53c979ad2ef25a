// The server's lifetime: the lock count and the shutdown monitor's quiet
// period, the class object, the facade counted as a lock, a whole server run
// on its own thread, and the command line.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/trxplatform.h"
#include "service/nvtrx.h"
#include "service/nvtrxmodule.h"

namespace {

// Generous bounds: the machine may be busy.
constexpr DWORD kQuitBoundMs = 20000;

// Makes sure the calling thread has a message queue.
void ensureQueue() {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

// Waits up to ms for a WM_QUIT in the calling thread's queue.
bool quitWithin(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      if (msg.message == WM_QUIT) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
}

// {2B3C4D5E-6F70-4182-93A4-B5C6D7E8F901}
const CLSID kTestClsid = {0x2B3C4D5E, 0x6F70, 0x4182, {0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9, 0x01}};

// The module objects of the test server count on.
std::atomic<CNVTRXModule*> g_module{nullptr};

// An object of the test server: a lock on the module while it lives.
class ServedObject final : public IUnknown {
 public:
  ServedObject() { g_module.load()->Lock(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0) {
      delete this;
      g_module.load()->Unlock();
    }
    return refs;
  }
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new ServedObject();
    object->AddRef();
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }

 private:
  ~ServedObject() = default;
  std::atomic<ULONG> m_refs{0};
};

}  // namespace

TEST(Module, QuietPeriodStartsOnlyWhenTheCountFallsToZeroAndALockWithinItKeepsServing) {
  ensureQueue();
  CNVTRXModule module(2000, 0);
  ASSERT_TRUE(module.StartMonitor());
  EXPECT_TRUE(module.DelayShutdown());
  EXPECT_EQ(module.Lock(), 1);
  EXPECT_EQ(module.Lock(), 2);
  EXPECT_EQ(module.Unlock(), 1);
  EXPECT_FALSE(quitWithin(3000)) << "locked: no quit, however long it waits";
  EXPECT_EQ(module.Unlock(), 0);  // the quiet period begins
  EXPECT_FALSE(quitWithin(0)) << "not at once: the quiet period has to pass";
  module.Lock();  // and a client arrives within it
  EXPECT_FALSE(quitWithin(3000)) << "a lock is held";
  module.Unlock();
  EXPECT_TRUE(quitWithin(kQuitBoundMs)) << "quit after the quiet period";
  EXPECT_EQ(module.GetLockCount(), 0);
}

TEST(Module, WithoutDelayShutdownTheLastUnlockQuitsAtOnce) {
  ensureQueue();
  CNVTRXModule module(60000, 0);
  module.SetDelayShutdown(false);
  EXPECT_TRUE(module.StartMonitor());
  module.Lock();
  module.Lock();
  module.Unlock();
  EXPECT_FALSE(quitWithin(0));
  module.Unlock();
  EXPECT_TRUE(quitWithin(0)) << "posted by the last Unlock itself, no time-out involved";
}

TEST(Module, TheQuitGoesToTheMainThread) {
  CNVTRXModule module(100, 0);
  std::atomic<DWORD> threadId{0};
  std::atomic<bool> quit{false};
  std::thread main([&] {
    ensureQueue();
    threadId = GetCurrentThreadId();
    quit = quitWithin(kQuitBoundMs);
  });
  while (threadId == 0) Sleep(1);
  module.SetMainThread(threadId);
  ASSERT_TRUE(module.StartMonitor());
  module.Lock();
  module.Unlock();
  main.join();
  EXPECT_TRUE(quit);
  EXPECT_FALSE(quitWithin(0)) << "not to the constructing thread";
}

TEST(ClassFactory, CreatesRefusesAggregationAndCountsServerLocks) {
  CNVTRXModule module(60000, 0);
  g_module = &module;
  CNVTRXClassFactory factory(module, &ServedObject::Create);
  IUnknown* object = nullptr;
  IUnknown* outer = &factory;
  EXPECT_EQ(factory.CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  ASSERT_EQ(factory.CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_EQ(module.GetLockCount(), 1) << "the object counts";
  EXPECT_EQ(factory.LockServer(TRUE), S_OK);
  EXPECT_EQ(module.GetLockCount(), 2);
  object->Release();
  EXPECT_EQ(factory.LockServer(FALSE), S_OK);
  EXPECT_EQ(module.GetLockCount(), 0);
  IClassFactory* again = nullptr;
  EXPECT_EQ(factory.QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, &factory);
  again->Release();
  g_module = nullptr;
}

TEST(ClassFactory, TheFacadeCountsAsOneLockFromCreationToFinalRelease) {
  static std::atomic<int> alive{0}, calls{0};
  alive = 0;
  calls = 0;
  CNVCoTRX::SetLifetimeHook([](bool created) {
    ++calls;
    alive += created ? 1 : -1;
  });
  IUnknown* first = nullptr;
  IUnknown* second = nullptr;
  ASSERT_EQ(CNVCoTRX::CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&first)), S_OK);
  EXPECT_EQ(alive, 1);
  ASSERT_EQ(CNVCoTRX::CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(first, second) << "one facade";
  EXPECT_EQ(calls, 1) << "counted once";
  first->Release();
  EXPECT_EQ(alive, 1);
  second->Release();
  EXPECT_EQ(alive, 0) << "the final release";
  EXPECT_EQ(calls, 2);
  CNVCoTRX::SetLifetimeHook(nullptr);
}

TEST(Server, RunsUntilTheLastClientLeavesAndAQuietPeriodPasses) {
  CNVTRXModule module(300, 0);
  g_module = &module;
  CNVTRXClassFactory factory(module, &ServedObject::Create);
  std::atomic<HRESULT> result{E_PENDING};
  std::thread server([&] { result = module.RunServer(kTestClsid, &factory); });

  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  // Waits until the server serves its class object.
  IUnknown* object = nullptr;
  const ULONGLONG deadline = GetTickCount64() + kQuitBoundMs;
  HRESULT hr;
  while (FAILED(hr = CoCreateInstance(kTestClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(&object))) &&
         GetTickCount64() < deadline)
    Sleep(10);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(module.GetLockCount(), 1);
  // A server lock alone keeps it serving too.
  IClassFactory* classObject = nullptr;
  ASSERT_EQ(CoGetClassObject(kTestClsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&classObject)),
            S_OK);
  classObject->LockServer(TRUE);
  object->Release();
  Sleep(1500);
  EXPECT_EQ(result, E_PENDING) << "still serving while a server lock is held";
  classObject->LockServer(FALSE);
  classObject->Release();

  server.join();  // returns once the quiet period passed
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(CoCreateInstance(kTestClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG)
      << "the class object is revoked";
  CoUninitialize();
  g_module = nullptr;
}

TEST(CommandLine, RegServerUnregServerOrRun) {
  struct Case {
    const char* line;
    NVTRXCommand command;
  };
  const Case cases[] = {
      {"", NVTRXCommand::RunServer},
      {"-Embedding", NVTRXCommand::RunServer},
      {"/RegServer", NVTRXCommand::RegServer},
      {"-regserver", NVTRXCommand::RegServer},
      {"-UNREGSERVER", NVTRXCommand::UnregServer},
      {"/Embedding /UnregServer", NVTRXCommand::UnregServer},
      {"RegServer", NVTRXCommand::RunServer},
      {"-RegServerX", NVTRXCommand::RunServer},
      {"-x-RegServer", NVTRXCommand::RegServer},
  };
  for (const Case& c : cases) EXPECT_EQ(NVTRXParseCommandLine(TrxWiden(c.line)), c.command) << c.line;
}
