#include "cli/trxsession.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "service/nvtrx.h"
#ifdef _WIN32
#include "cli/trxclientprocess.h"
#endif

namespace fs = std::filesystem;

namespace {

bool IsFile(const fs::path& path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored);
}

fs::path ExecutableFolder() {
  std::vector<OLECHAR> buffer(4096);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return fs::path(TrxNarrow(TrxStringView(buffer.data(), length))).parent_path();
}

}  // namespace

std::string TrxFindDescriptionFile(const std::string& requested, std::string& error) {
  if (!requested.empty()) return requested;
  if (IsFile(kTrxDefaultAppFile)) return kTrxDefaultAppFile;
  for (fs::path folder = ExecutableFolder(); !folder.empty(); folder = folder.parent_path()) {
    const fs::path candidate = folder / kTrxDefaultAppFile;
    if (IsFile(candidate)) return candidate.string();
    if (folder == folder.parent_path()) break;
  }
  error = std::string("cannot find the sample client ") + kTrxDefaultAppFile +
          " in the working directory or above the trx executable; name one with --app FILE";
  return {};
}

TrxSession::~TrxSession() {
  // The client holds the service it attached to and the service holds the
  // client's application object; the page going away breaks that cycle.
  if (m_client) {
    m_client->Unload();
    m_client->SetEventWindow(nullptr);
  }
  m_facade.Reset();
  // Echoes still waiting for the window are aborted with it, before the
  // client goes.
  m_eventWindow.reset();
  m_client.Reset();
  if (m_comInitialised) CoUninitialize();
}

bool TrxSession::Open(const TrxSessionOptions& options, std::string& error) {
  if (options.withClient) {
    m_appFile = TrxFindDescriptionFile(options.appFile, error);
    if (m_appFile.empty()) return false;
  }

  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(init)) {
    error = "cannot initialise COM on this thread (status 0x" + TrxNarrow(TrxHex(static_cast<uint32_t>(init))) + ")";
    return false;
  }
  m_comInitialised = true;

  const bool clientProcess = options.withClient && options.clientProcess;
  if (clientProcess) {
#ifdef _WIN32
    // That process creates the service object first, and attaches.
    m_remoteClient = TrxStartClientProcess(m_appFile, options.detached, error);
    if (!m_remoteClient) return false;
#else
    error = "the client runs in a process of its own only on Windows";
    return false;
#endif
  } else if (options.withClient) {
    CNVSimLoadError loadError;
    m_client = CNVSimApplication::Load(TrxWiden(m_appFile), loadError);
    if (!m_client) {
      error = "cannot load the client: " + TrxNarrow(loadError.ToText());
      return false;
    }
    m_eventWindow = std::make_unique<CNVSimCallWindow>();
    if (!m_eventWindow->GetHandle()) {
      error = "cannot create the client's event window";
      return false;
    }
    m_client->SetEventWindow(m_eventWindow->GetHandle());
  }

  HRESULT created = S_OK;
  if (options.localServer || clientProcess) {
    created = CoCreateInstance(CLSID_CNVCoTRX, nullptr, CLSCTX_LOCAL_SERVER, IID_INVTRXAutomation, m_facade.PutVoid());
    if (FAILED(created) || !m_facade) {
      error = "cannot create the service object of the registered server trxcom.exe (status 0x" +
              TrxNarrow(TrxHex(static_cast<uint32_t>(created))) + ")";
      return false;
    }
  } else {
    created = CNVCoTRX::CreateInstance(nullptr, IID_INVTRXAutomation, m_facade.PutVoid());
    if (FAILED(created) || !m_facade) {
      error = "cannot create the service object (status 0x" + TrxNarrow(TrxHex(static_cast<uint32_t>(created))) + ")";
      return false;
    }
  }
  if (clientProcess) {
    m_attachStatus = m_remoteClient->GetAttachStatus();
  } else {
    m_attachStatus = options.detached || !m_client ? S_FALSE : Attach();
  }
  return true;
}

HRESULT TrxSession::Attach() {
  if (!m_client || !m_facade) return E_UNEXPECTED;
  m_attachStatus = m_client->Attach(m_facade.Get());
  return m_attachStatus;
}
