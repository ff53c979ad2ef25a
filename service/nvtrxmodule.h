// The lifetime of the server process (trxcom.exe): its lock count, the
// shutdown monitor that ends the process a quiet period after the last lock
// went, the class object that COM hands to clients, and the command line.
//
// Locks: each live object a client holds and each IClassFactory::LockServer
// (TRUE) counts one. When the count falls to 0 the module either posts
// WM_QUIT to the main thread at once (delay shutdown off) or signals the
// shutdown monitor (delay shutdown on, the default). The monitor waits for a
// whole quiet period (the time-out) in which nothing happened; then, if the
// count is still 0, it suspends the class objects, checks once more and posts
// WM_QUIT to the main thread. A lock taken during the quiet period keeps the
// server serving (and resumes class objects the monitor had suspended).
#pragma once

#include <atomic>

#include "platform/trxplatform.h"

// {C4F2E8A1-6B3D-4F7A-9E21-5D8C0B7A3F64}: the server's AppID.
#define NVTRX_APPID_TEXT OLESTR("{C4F2E8A1-6B3D-4F7A-9E21-5D8C0B7A3F64}")

// What the command line asks for.
enum class NVTRXCommand { RunServer, RegServer, UnregServer };
// Tokens start with '-' or '/'; "RegServer" and "UnregServer" are compared
// without regard to case (the first one found decides); anything else runs
// the server.
NVTRXCommand NVTRXParseCommandLine(TrxStringView commandLine);

class CNVTRXModule {
 public:
  static constexpr DWORD kDefaultTimeOut = 5000;  // ms of quiet before the process ends
  static constexpr DWORD kDefaultPause = 1000;    // ms to wait after revoking the class object

  // The main thread (which receives WM_QUIT) is the constructing thread until
  // RunServer or SetMainThread names another.
  explicit CNVTRXModule(DWORD timeOutMs = kDefaultTimeOut, DWORD pauseMs = kDefaultPause);
  // Stops the monitor if it runs.
  ~CNVTRXModule();
  CNVTRXModule(const CNVTRXModule&) = delete;
  CNVTRXModule& operator=(const CNVTRXModule&) = delete;

  // The count after the change.
  LONG Lock();
  LONG Unlock();
  LONG GetLockCount() const noexcept { return m_locks.load(); }

  void SetMainThread(DWORD threadId) noexcept { m_mainThread = threadId; }
  DWORD MainThread() const noexcept { return m_mainThread; }
  bool DelayShutdown() const noexcept { return m_delayShutdown; }
  // Only before StartMonitor.
  void SetDelayShutdown(bool delay) noexcept { m_delayShutdown = delay; }

  // Starts the shutdown monitor thread (with delay shutdown on; otherwise
  // nothing to do). If it cannot start, delay shutdown is turned off and the
  // result is false.
  bool StartMonitor();

  // Runs the server on the calling thread: initialises COM (apartment
  // threaded), registers `factory` as the class object of clsid
  // (CLSCTX_LOCAL_SERVER, multiple use, suspended), starts the monitor,
  // resumes class objects, then dispatches messages until WM_QUIT; revokes
  // the class object, pauses (with delay shutdown) and uninitialises COM.
  // The first failure, else S_OK.
  HRESULT RunServer(REFCLSID clsid, IClassFactory* factory);

 private:
  static DWORD WINAPI MonitorThread(LPVOID self);
  void Monitor();
  void PostQuit();

  const DWORD m_timeOut;
  const DWORD m_pause;
  std::atomic<LONG> m_locks{0};
  std::atomic<DWORD> m_mainThread;
  bool m_delayShutdown = true;
  std::atomic<bool> m_activity{false};
  std::atomic<bool> m_stop{false};
  HANDLE m_shutdownEvent = nullptr;
  HANDLE m_monitor = nullptr;
};

// The class object the server registers: CreateInstance hands out objects
// made by `create` (aggregation refused with CLASS_E_NOAGGREGATION);
// LockServer counts on the module. The factory is owned by whoever made it
// (typically a static object): its reference count does not end its life
// and does not lock the module, since COM holds it while it is registered.
class CNVTRXClassFactory final : public IClassFactory {
 public:
  using Creator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);
  CNVTRXClassFactory(CNVTRXModule& module, Creator create) : m_module(module), m_create(create) {}
  virtual ~CNVTRXClassFactory() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  CNVTRXModule& m_module;
  Creator m_create;
  std::atomic<ULONG> m_refs{1};
};
