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

// The facade counts as a lock on the module while it lives, as the server's
// main wires it; ServedFacade does that wiring for the object's lifetime.
std::atomic<CNVTRXModule*> g_module{nullptr};
void CountFacade(bool created) { created ? g_module.load()->Lock() : g_module.load()->Unlock(); }
struct ServedFacade {
  explicit ServedFacade(CNVTRXModule& module) {
    g_module = &module;
    CNVCoTRX::SetLifetimeHook(&CountFacade);
  }
  ~ServedFacade() {
    CNVCoTRX::SetLifetimeHook(nullptr);
    g_module = nullptr;
  }
};

}  // namespace

TEST(Module, QuietPeriodStartsOnlyWhenTheCountFallsToZeroAndALockWithinItKeepsServing) {
  ensureQueue();
  CNVTRXModule module(2000, 0);
  ASSERT_TRUE(module.StartMonitor());
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

TEST(ClassFactory, CreatesOneFacadeRefusesAggregationAndCountsServerLocks) {
  CNVTRXModule module(60000, 0);
  ServedFacade served(module);
  CNVTRXClassFactory factory(module, &CNVCoTRX::CreateInstance);
  IUnknown* object = nullptr;
  IUnknown* outer = &factory;
  EXPECT_EQ(factory.CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  ASSERT_EQ(factory.CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  IUnknown* second = nullptr;
  ASSERT_EQ(factory.CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(second, object) << "one facade";
  EXPECT_EQ(module.GetLockCount(), 1) << "the facade counts once";
  EXPECT_EQ(factory.LockServer(TRUE), S_OK);
  EXPECT_EQ(module.GetLockCount(), 2);
  second->Release();
  EXPECT_EQ(module.GetLockCount(), 2) << "counted until the final release";
  object->Release();
  EXPECT_EQ(factory.LockServer(FALSE), S_OK);
  EXPECT_EQ(module.GetLockCount(), 0);
}

TEST(Server, RunsUntilTheLastClientLeavesAndAQuietPeriodPasses) {
  CNVTRXModule module(300, 0);
  ServedFacade served(module);
  CNVTRXClassFactory factory(module, &CNVCoTRX::CreateInstance);
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
