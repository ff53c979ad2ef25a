// trxcom.exe: the service as a COM local server. "/RegServer" and
// "/UnregServer" write and remove its registry entries and type library;
// anything else runs the server until its last client has gone and a quiet
// period has passed (service/nvtrxmodule.h).
#include <string>

#include "platform/trxplatform.h"
#include "service/nvtrx.h"
#include "service/nvtrxinterfaces.h"
#include "service/nvtrxmodule.h"
#include "service/nvtrxregistrar.h"

namespace {

// Resource ids of the registry scripts (service/nvtrx.rc).
constexpr UINT kAppIdScript = 101;
constexpr UINT kClassScript = 102;

CNVTRXModule* g_module = nullptr;

// The facade counts as one lock on the module while it lives.
void FacadeLifetime(bool alive) {
  if (alive)
    g_module->Lock();
  else
    g_module->Unlock();
}

TrxString ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return TrxString();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The text of a "REGISTRY" resource (UTF-8).
HRESULT LoadScript(UINT id, TrxString* script) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"REGISTRY");
  if (!found) return HRESULT_FROM_WIN32(GetLastError());
  HGLOBAL loaded = LoadResource(nullptr, found);
  const DWORD size = SizeofResource(nullptr, found);
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
  *script = TrxWiden(std::string_view(bytes, size));
  return S_OK;
}

HRESULT RunScript(CNVTRXRegistrar& registrar, UINT id, bool doRegister) {
  TrxString script;
  HRESULT hr = LoadScript(id, &script);
  if (FAILED(hr)) return hr;
  return doRegister ? registrar.Register(script) : registrar.Unregister(script);
}

// Every step runs; the first failure is the result.
HRESULT UpdateRegistration(bool doRegister) {
  const TrxString module = ModulePath();
  CNVTRXRegistrar registrar;
  registrar.AddReplacement(L"APPID", NVTRX_APPID_TEXT);
  registrar.AddReplacement(L"MODULE", module);
  HRESULT result = S_OK;
  auto keep = [&result](HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  };
  keep(RunScript(registrar, kAppIdScript, doRegister));
  keep(RunScript(registrar, kClassScript, doRegister));
  if (doRegister) {
    ITypeLib* library = nullptr;
    const HRESULT hr = LoadTypeLibEx(module.c_str(), REGKIND_REGISTER, &library);
    if (library) library->Release();
    keep(hr);
  } else {
#ifdef _WIN64
    keep(UnRegisterTypeLib(LIBID_trxcomLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64));
#else
    keep(UnRegisterTypeLib(LIBID_trxcomLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN32));
#endif
  }
  return result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  switch (NVTRXParseCommandLine(TrxView(commandLine))) {
    case NVTRXCommand::RegServer:
      return static_cast<int>(UpdateRegistration(true));
    case NVTRXCommand::UnregServer:
      return static_cast<int>(UpdateRegistration(false));
    case NVTRXCommand::RunServer:
      break;
  }
  static CNVTRXModule module;
  g_module = &module;
  static CNVTRXClassFactory factory(module, &CNVCoTRX::CreateInstance);
  CNVCoTRX::SetLifetimeHook(&FacadeLifetime);
  const HRESULT hr = module.RunServer(CLSID_CNVCoTRX, &factory);
  CNVCoTRX::SetLifetimeHook(nullptr);
  return static_cast<int>(hr);
}
