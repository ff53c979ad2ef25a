#include "service/nvtrxlaunchnotifier.h"

#include "log/nvtrxassert.h"
#include "log/nvtrxlog.h"
#include "log/nvtrxresult.h"

struct CNVTRXLaunchNotifier::Block {
  TrxHandle stopEvent;  // manual-reset: the facade asks the thread to end
  TrxHandle doneEvent;  // manual-reset: the thread has sent its Destroy
  DWORD window = 0;
  TrxString serviceClassId;
};

namespace {

std::atomic<LONG> g_runningThreads{0};

constexpr DWORD kRestartWait = 30000;
constexpr DWORD kUnloadWait = 1000;
constexpr DWORD kFinalWait = 5000;
constexpr DWORD kNotifierContext = 0x17;  // in-process, handler, local or remote server
constexpr LCID kNameLocale = 0x800;       // system default: names
constexpr LCID kCallLocale = 0x400;       // user default: calls
constexpr DWORD kSubkeyChars = 2000;

// The class id of the registered tool: the name of the first subkey of the
// notifier key, converted. False (traced or logged) when there is none.
bool ReadToolClassId(CLSID& classId) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTrxNotifierKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("TRXNotifier sleeping - No registry entires found"));
    return false;
  }
  OLECHAR name[kSubkeyChars] = {};
  DWORD length = kSubkeyChars;
  const LONG listed = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  if (listed != ERROR_SUCCESS) {
    // A key without a subkey registers no tool: the same as no key.
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("TRXNotifier sleeping - No registry entires found"));
    return false;
  }
  if (FAILED(CLSIDFromString(name, &classId))) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_E_SYSTEM, OLESTR("TRXNotifier: Registry entry found is not a valid CLSID"));
    return false;
  }
  return true;
}

// Calls a method of the notification object by name; the failure status of
// the name lookup or of the call, or S_OK.
HRESULT CallByName(IDispatch* tool, const OLECHAR* method, DISPPARAMS* parameters) {
  LPOLESTR names[1] = {const_cast<LPOLESTR>(method)};
  DISPID id = 0;
  HRESULT hr = tool->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &id);
  if (FAILED(hr)) return hr;
  return tool->Invoke(id, IID_NULL, kCallLocale, DISPATCH_METHOD, parameters, nullptr, nullptr, nullptr);
}

HRESULT CreateTool(const CLSID& classId, TrxComPtr<IDispatch>& tool) {
  tool.Reset();
  const HRESULT hr = CoCreateInstance(classId, nullptr, kNotifierContext, IID_IDispatch, tool.PutVoid());
  if (SUCCEEDED(hr) && !tool) return E_NOINTERFACE;
  return hr;
}

void NotifyInit(const CLSID& classId, const CNVTRXLaunchNotifier::Block& block) {
  TrxComPtr<IDispatch> tool;
  if (FAILED(CreateTool(classId, tool))) {
    TRX_LOG(TRXLOG_TRXERR)
        .ReportError(TRX_E_SYSTEM, OLESTR("TRXNotifier: CoCreateInstance on notification object failed"));
    return;
  }
  TrxBstr classIdText;
  if (!block.serviceClassId.empty()) classIdText = TrxBstr(block.serviceClassId);
  VARIANT arguments[2];
  VariantInit(&arguments[0]);
  VariantInit(&arguments[1]);
  arguments[0].vt = VT_BSTR;  // the service's class id (a null string when it has none)
  arguments[0].bstrVal = classIdText.Get();
  arguments[1].vt = VT_I4;  // the browser's window
  arguments[1].lVal = static_cast<LONG>(block.window);
  DISPPARAMS parameters = {arguments, nullptr, 2, 0};
  const HRESULT hr = CallByName(tool.Get(), OLESTR("Init"), &parameters);
  tool.Reset();
  if (FAILED(hr))
    TRX_LOG(TRXLOG_TRXERR)
        .ReportError(TRX_E_SYSTEM, OLESTR("TRXNotifier: Invoke Init(HWND, BSTR) failed with code 0x%X"),
                     static_cast<LONG>(hr));
}

void NotifyDestroy(bool haveClassId, const CLSID& classId) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("TRXNotifier preparing to fire notification of shutdown in progress"));
  TrxComPtr<IDispatch> tool;
  if (!haveClassId || FAILED(CreateTool(classId, tool))) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("Reconnecting to notifier object failed - Possibly the external tool is shutdown"));
    return;
  }
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  const HRESULT hr = CallByName(tool.Get(), OLESTR("Destroy"), &none);
  if (FAILED(hr))
    TRX_LOG(TRXLOG_TRXERR)
        .ReportError(TRX_E_SYSTEM, OLESTR("Invoking Destroy() failed with code 0x%X"), static_cast<LONG>(hr));
}

}  // namespace

// The notifier thread. `parameter` is a heap-held counted reference to the
// run's block, which the thread takes over.
DWORD WINAPI TRXNotifierThread(LPVOID parameter) {
  std::shared_ptr<CNVTRXLaunchNotifier::Block> block(
      std::move(*static_cast<std::shared_ptr<CNVTRXLaunchNotifier::Block>*>(parameter)));
  delete static_cast<std::shared_ptr<CNVTRXLaunchNotifier::Block>*>(parameter);
  CNVTRXLog::SetThreadSharesLastError(false);
  {
    CNVTRXLogFunction scope(__FILE__, __LINE__, "TRXNotifierThread");
    if (++g_runningThreads != 1)
      TRX_ASSERT(false, "Multiple instances of TRX launch notification threads detected simultaneously running");
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TrxHandle notify(CreateEventW(nullptr, TRUE, FALSE, kTrxNotifyEventName));

    CLSID classId = GUID_NULL;
    bool haveClassId = false;
    for (;;) {
      haveClassId = ReadToolClassId(classId);
      if (haveClassId) NotifyInit(classId, *block);
      const HANDLE waits[2] = {notify.Get(), block->stopEvent.Get()};
      const DWORD woken = notify ? WaitForMultipleObjects(2, waits, FALSE, INFINITE)
                                 : WaitForSingleObject(block->stopEvent.Get(), INFINITE) + 1;
      if (woken != WAIT_OBJECT_0) break;
      Sleep(50);
      ResetEvent(notify.Get());
    }
    NotifyDestroy(haveClassId, classId);
    if (SUCCEEDED(com)) CoUninitialize();
    // Counted out before the done event: the facade starts the next thread
    // as soon as it sees it. Done whether or not the tool could be told,
    // since there is nothing more to wait for.
    --g_runningThreads;
    SetEvent(block->doneEvent.Get());
  }
  return 0;
}

CNVTRXLaunchNotifier::~CNVTRXLaunchNotifier() {
  StopThread(kUnloadWait);
  // Threads that were told to stop but had not finished when they were
  // forgotten: give them a few seconds to end before their owner goes.
  for (TrxHandle& thread : m_stoppedThreads) WaitForSingleObject(thread.Get(), kFinalWait);
}

LONG CNVTRXLaunchNotifier::GetRunningCount() noexcept { return g_runningThreads.load(); }

void CNVTRXLaunchNotifier::Start(DWORD window, TrxStringView serviceClassId) {
  StopThread(kRestartWait);
  m_window = window;
  m_serviceClassId = TrxString(serviceClassId);

  auto block = std::make_shared<Block>();
  block->stopEvent.Attach(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  block->doneEvent.Attach(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  block->window = window;
  block->serviceClassId = m_serviceClassId;
  if (!block->stopEvent || !block->doneEvent) {
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_E_SYSTEM, OLESTR("TRXNotifier: the notifier events could not be created"));
    return;
  }
  auto* handOver = new std::shared_ptr<Block>(block);
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, &TRXNotifierThread, handOver, 0, &threadId);
  if (!thread) {
    delete handOver;
    TRX_LOG(TRXLOG_TRXERR).ReportError(TRX_E_SYSTEM, OLESTR("TRXNotifier: the notifier thread could not be started"));
    return;
  }
  m_block = std::move(block);
  m_thread.Attach(thread);
  m_threadId = threadId;
}

void CNVTRXLaunchNotifier::Stop() { StopThread(kUnloadWait); }

void CNVTRXLaunchNotifier::StopThread(DWORD milliseconds) {
  if (m_thread) {
    DWORD exitCode = 0;
    if (GetExitCodeThread(m_thread.Get(), &exitCode) && exitCode == STILL_ACTIVE) SetEvent(m_block->stopEvent.Get());
    WaitForSingleObject(m_block->doneEvent.Get(), milliseconds);
    // Forgotten from here on; kept only so that the owner can wait for it.
    m_stoppedThreads.push_back(std::move(m_thread));
  }
  std::erase_if(m_stoppedThreads, [](const TrxHandle& thread) {
    return WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
  });
  m_thread.Close();
  m_threadId = 0;
  m_block.reset();
}
