#include "service/nvtrxmodule.h"

NVTRXCommand NVTRXParseCommandLine(TrxStringView commandLine) {
  size_t pos = 0;
  while (pos < commandLine.size()) {
    const size_t found = commandLine.find_first_of(OLESTR("-/"), pos);
    if (found == TrxStringView::npos) break;
    size_t end = found + 1;
    while (end < commandLine.size() && commandLine[end] != ' ' && commandLine[end] != '\t' && commandLine[end] != '-' &&
           commandLine[end] != '/')
      ++end;
    const TrxStringView token = commandLine.substr(found + 1, end - found - 1);
    if (TrxEqualsNoCase(token, OLESTR("RegServer"))) return NVTRXCommand::RegServer;
    if (TrxEqualsNoCase(token, OLESTR("UnregServer"))) return NVTRXCommand::UnregServer;
    pos = end;
  }
  return NVTRXCommand::RunServer;
}

// ---- CNVTRXModule ----------------------------------------------------------------------

CNVTRXModule::CNVTRXModule(DWORD timeOutMs, DWORD pauseMs)
    : m_timeOut(timeOutMs), m_pause(pauseMs), m_mainThread(GetCurrentThreadId()) {}

CNVTRXModule::~CNVTRXModule() {
  if (m_monitor) {
    m_stop = true;
    SetEvent(m_shutdownEvent);
    WaitForSingleObject(m_monitor, INFINITE);
    CloseHandle(m_monitor);
  }
  if (m_shutdownEvent) CloseHandle(m_shutdownEvent);
}

LONG CNVTRXModule::Lock() { return ++m_locks; }

LONG CNVTRXModule::Unlock() {
  const LONG locks = --m_locks;
  if (locks == 0) {
    if (m_delayShutdown) {
      m_activity = true;
      SetEvent(m_shutdownEvent);
    } else {
      PostQuit();
    }
  }
  return locks;
}

void CNVTRXModule::PostQuit() { PostThreadMessageW(m_mainThread, WM_QUIT, 0, 0); }

bool CNVTRXModule::StartMonitor() {
  if (!m_delayShutdown) return true;
  if (m_monitor) return true;
  m_shutdownEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (m_shutdownEvent) {
    DWORD threadId = 0;
    m_monitor = CreateThread(nullptr, 0, &CNVTRXModule::MonitorThread, this, 0, &threadId);
  }
  if (!m_monitor) {
    m_delayShutdown = false;
    return false;
  }
  return true;
}

DWORD WINAPI CNVTRXModule::MonitorThread(LPVOID self) {
  static_cast<CNVTRXModule*>(self)->Monitor();
  return 0;
}

void CNVTRXModule::Monitor() {
  for (;;) {
    WaitForSingleObject(m_shutdownEvent, INFINITE);
    if (m_stop) return;
    // Waits until a whole time-out passes without the event.
    DWORD wait;
    do {
      m_activity = false;
      wait = WaitForSingleObject(m_shutdownEvent, m_timeOut);
      if (m_stop) return;
    } while (wait == WAIT_OBJECT_0);
    if (!m_activity && m_locks == 0) {
      CoSuspendClassObjects();
      if (!m_activity && m_locks == 0) {
        PostQuit();
        return;
      }
      // A client came in between: serve it, and wait for the next quiet period.
      CoResumeClassObjects();
    }
  }
}

HRESULT CNVTRXModule::RunServer(REFCLSID clsid, IClassFactory* factory) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return hr;
  m_mainThread = GetCurrentThreadId();
  // Makes sure the thread has a message queue before anyone posts to it.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  DWORD cookie = 0;
  hr = CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
  if (SUCCEEDED(hr)) {
    StartMonitor();
    hr = CoResumeClassObjects();
    if (SUCCEEDED(hr)) {
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    CoRevokeClassObject(cookie);
    // Lets calls that were on their way when the class object went finish.
    if (m_delayShutdown) Sleep(m_pause);
  }
  CoUninitialize();
  return hr;
}

// ---- CNVTRXClassFactory ----------------------------------------------------------------

HRESULT CNVTRXClassFactory::QueryInterface(REFIID riid, void** ppv) {
  IClassFactory* self = this;
  return TrxQueryInterface(ppv, riid, {{IID_IUnknown, self}, {IID_IClassFactory, self}});
}

HRESULT CNVTRXClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return m_create(nullptr, riid, ppv);
}

HRESULT CNVTRXClassFactory::LockServer(BOOL lock) {
  if (lock)
    m_module.Lock();
  else
    m_module.Unlock();
  return S_OK;
}
