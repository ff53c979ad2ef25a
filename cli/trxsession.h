// One run of the service against a simulated Norvik client, on the calling
// thread: COM initialised apartment-threaded (the thread becomes the
// service's apartment thread), the service object created, the client
// loaded from its description file and, unless asked not to, attached the
// way a page of the client attaches (AttachAppObject, then OnAppReady).
//
// The session also creates a call window on its thread and makes it the
// client's event window, so that the client's recorder echoes the requests
// the service makes while the thread pumps messages waiting for them
// (CNVSimApplication::SetEventWindow).
#pragma once

#include <memory>
#include <string>

#include "host/nvsimapplication.h"
#include "host/nvsimcallwindow.h"
#include "platform/trxplatform.h"
#include "service/nvtrxinterfaces.h"

struct TrxSessionOptions {
  std::string appFile;     // the description file; empty for the bundled sample
  bool detached = false;   // load the client but do not attach it
  bool withClient = true;  // false: the service alone, no client at all
  // The service object from its registered local server (CoCreateInstance)
  // instead of this process's own (Windows).
  bool localServer = false;
  // The client in a process of its own (`trx client`, Windows); implies
  // localServer. With `detached` that process does not attach.
  bool clientProcess = false;
};

// The simulated client in another process: one client.* request line in,
// its reply line out. False, with the reason, when the process does not
// answer.
class TrxRemoteClient {
 public:
  virtual ~TrxRemoteClient() = default;
  virtual bool Exchange(const std::string& line, std::string& reply, std::string& error) = 0;
  // The status the client's attachment to the service had.
  virtual HRESULT GetAttachStatus() const = 0;
};

// The bundled sample, relative to the repository.
inline constexpr char kTrxDefaultAppFile[] = "samples/crm.xml";

// The description file to load: `requested` as given (relative to the
// working directory) when not empty; otherwise the bundled sample, looked
// for in the working directory and then in the folder of the executable
// and the folders above it. Empty, with the reason in `error`, when there
// is none.
std::string TrxFindDescriptionFile(const std::string& requested, std::string& error);

class TrxSession {
 public:
  TrxSession() = default;
  ~TrxSession();
  TrxSession(const TrxSession&) = delete;
  TrxSession& operator=(const TrxSession&) = delete;

  // Starts everything; false with a message saying what failed (and where,
  // for a description file that is not valid). A client that fails to
  // attach is not a failure here: see GetAttachStatus.
  bool Open(const TrxSessionOptions& options, std::string& error);

  INVTRXAutomation* Facade() const noexcept { return m_facade.Get(); }
  CNVSimApplication* Client() const noexcept { return m_client.Get(); }
  // The client process, when the client runs in one (else null).
  TrxRemoteClient* RemoteClient() const noexcept { return m_remoteClient.get(); }
  // The description file in use.
  const std::string& GetAppFile() const noexcept { return m_appFile; }
  // The client's event window (null without a client).
  HWND GetEventWindow() const noexcept { return m_eventWindow ? m_eventWindow->GetHandle() : nullptr; }

  // The client attaches to the service (AttachAppObject, OnAppReady).
  HRESULT Attach();
  // The status of the last attachment; S_FALSE when the client was left
  // detached.
  HRESULT GetAttachStatus() const noexcept { return m_attachStatus; }

 private:
  bool m_comInitialised = false;
  // Ends after the facade is released (declared before it): the client
  // process unloads and lets the service go when its input ends.
  std::unique_ptr<TrxRemoteClient> m_remoteClient;
  TrxComPtr<INVTRXAutomation> m_facade;
  TrxComPtr<CNVSimApplication> m_client;
  // Lives as long as the client: declared after it, destroyed before it
  // is released, on this thread.
  std::unique_ptr<CNVSimCallWindow> m_eventWindow;
  std::string m_appFile;
  HRESULT m_attachStatus = S_FALSE;
};
