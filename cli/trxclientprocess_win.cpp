#include "cli/trxclientprocess.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <ostream>
#include <thread>

#include "cli/trxbridge.h"
#include "cli/trxjsontext.h"
#include "host/nvsimcallwindow.h"

namespace {

// How long a tool waits for the client process to say it is ready (it
// starts trxcom.exe through COM first), and for the answer to one request.
constexpr DWORD kReadyWait = 60000;
constexpr DWORD kAnswerWait = 120000;
// How long a child gets to end after its input ends, and its output's
// reader after that.
constexpr DWORD kEndWait = 15000;
constexpr DWORD kReaderEndWait = 5000;

}  // namespace

bool TrxPumpedWait(HANDLE event, DWORD timeout, const std::function<void()>& idle) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD left = INFINITE;
    if (timeout != INFINITE) {
      const ULONGLONG spent = GetTickCount64() - start;
      if (spent >= timeout) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
      left = static_cast<DWORD>(timeout - spent);
    }
    const DWORD woken = MsgWaitForMultipleObjects(1, &event, FALSE, left, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) return true;
    if (woken == WAIT_OBJECT_0 + 1) {
      CNVSimCallWindow::PumpMessages();
      if (idle) idle();
      continue;
    }
    if (woken == WAIT_TIMEOUT) continue;  // the check above decides
    return false;
  }
}

// ---- TrxLineReader ------------------------------------------------------------------------

struct TrxLineReader::State {
  ~State() {
    if (ready) CloseHandle(ready);
  }
  std::mutex lock;
  std::deque<std::string> lines;
  bool ended = false;
  HANDLE ready = nullptr;  // set while a line waits or once the input has ended
};

TrxLineReader::TrxLineReader(HANDLE input, std::function<bool(const std::string&)> direct, size_t limit)
    : m_state(std::make_shared<State>()) {
  m_state->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread([state = m_state, input, limit, direct = std::move(direct)] {
    // Each byte is looked at once; a line keeps at most limit + 1 bytes.
    std::string line;
    bool cut = false;
    const auto deliver = [&] {
      if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
      cut = false;
      if (direct && direct(line)) {
        line.clear();
        return;
      }
      std::lock_guard<std::mutex> lock(state->lock);
      state->lines.push_back(std::move(line));
      line.clear();
      SetEvent(state->ready);
    };
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      for (DWORD k = 0; k < got; ++k) {
        if (buffer[k] == '\n') {
          deliver();
        } else if (line.size() <= limit) {
          line.push_back(buffer[k]);
        } else {
          cut = true;
        }
      }
    }
    if (!line.empty()) deliver();
    std::lock_guard<std::mutex> lock(state->lock);
    state->ended = true;
    SetEvent(state->ready);
  }).detach();
}

TrxLineReader::Result TrxLineReader::Next(std::string& line, DWORD timeout, const std::function<void()>& idle) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_state->lock);
      if (!m_state->lines.empty()) {
        line = std::move(m_state->lines.front());
        m_state->lines.pop_front();
        if (m_state->lines.empty() && !m_state->ended) ResetEvent(m_state->ready);
        return Result::Line;
      }
      if (m_state->ended) return Result::Ended;
    }
    if (!TrxPumpedWait(m_state->ready, timeout, idle)) return Result::TimedOut;
  }
}

bool TrxLineReader::WaitEnded(DWORD timeout) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_state->lock);
      if (m_state->ended) return true;
      // Lines nobody will read: drop them, so that the event waits again.
      m_state->lines.clear();
      ResetEvent(m_state->ready);
    }
    const ULONGLONG spent = GetTickCount64() - start;
    if (spent >= timeout || !TrxPumpedWait(m_state->ready, static_cast<DWORD>(timeout - spent))) {
      std::lock_guard<std::mutex> lock(m_state->lock);
      return m_state->ended;
    }
  }
}

void TrxKeepStandardHandles() {
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE handle = GetStdHandle(which);
    if (handle && handle != INVALID_HANDLE_VALUE) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  }
}

// ---- TrxChildProcess ----------------------------------------------------------------------

TrxString TrxThisProgram() {
  std::vector<OLECHAR> buffer(32768);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return TrxString(buffer.data(), length < buffer.size() ? length : 0);
}

TrxString TrxCommandArgument(const TrxString& text) {
  if (!text.empty() && text.find_first_of(OLESTR(" \t\"")) == TrxString::npos) return text;
  TrxString quoted = OLESTR("\"");
  size_t backslashes = 0;
  for (OLECHAR c : text) {
    if (c == OLESTR('\\')) {
      ++backslashes;
      continue;
    }
    quoted.append(c == OLESTR('"') ? backslashes * 2 + 1 : backslashes, OLESTR('\\'));
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, OLESTR('\\'));
  return quoted + OLESTR("\"");
}

TrxChildProcess::~TrxChildProcess() {
  if (m_input) CloseHandle(m_input);
  if (m_process.hProcess) {
    if (!TrxPumpedWait(m_process.hProcess, kEndWait)) TerminateProcess(m_process.hProcess, 1);
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
    // Once the child has gone its output ends, unless a process it started
    // still holds the pipe: give the reading thread a moment to finish, so
    // that it is not left blocked in a read when this process exits.
    if (m_output) m_output->WaitEnded(kReaderEndWait);
  }
}

bool TrxChildProcess::Start(const TrxString& command, std::string& error) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE childInput = nullptr, childOutput = nullptr, output = nullptr;
  if (!CreatePipe(&childInput, &m_input, &inheritable, 0)) {
    error = "cannot create a pipe (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  if (!CreatePipe(&output, &childOutput, &inheritable, 0)) {
    error = "cannot create a pipe (error " + std::to_string(GetLastError()) + ")";
    CloseHandle(childInput);
    return false;
  }
  // Only the child's ends are inherited.
  SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
  HANDLE childError = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), &childError, 0, TRUE,
                  DUPLICATE_SAME_ACCESS);

  TrxString commandLine = command;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput;
  startup.hStdOutput = childOutput;
  startup.hStdError = childError;
  const BOOL started =
      CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &m_process);
  const DWORD startError = GetLastError();
  CloseHandle(childInput);
  CloseHandle(childOutput);
  if (childError) CloseHandle(childError);
  m_output = std::make_unique<TrxLineReader>(output);
  if (!started) {
    m_process = {};
    error = "cannot start " + TrxNarrow(command) + " (error " + std::to_string(startError) + ")";
    return false;
  }
  return true;
}

bool TrxChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  return m_input && WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

TrxLineReader::Result TrxChildProcess::ReadLine(std::string& line, DWORD timeout) {
  return m_output ? m_output->Next(line, timeout) : TrxLineReader::Result::Ended;
}

// ---- the client process -------------------------------------------------------------------

namespace {

class TrxClientProcess final : public TrxRemoteClient {
 public:
  bool Start(const std::string& appFile, bool detached, std::string& error) {
    TrxString command =
        TrxCommandArgument(TrxThisProgram()) + OLESTR(" client --app ") + TrxCommandArgument(TrxWiden(appFile));
    if (detached) command += OLESTR(" --detached");
    if (!m_process.Start(command, error)) return false;

    std::string line;
    const TrxLineReader::Result result = m_process.ReadLine(line, kReadyWait);
    if (result != TrxLineReader::Result::Line) {
      error = result == TrxLineReader::Result::Ended ? "the client process ended before it was ready"
                                                     : "the client process was not ready within 60 s";
      return false;
    }
    TrxJson ready;
    try {
      ready = TrxJson::parse(line);
    } catch (const TrxJson::exception&) {
      error = "the client process said: " + line;
      return false;
    }
    if (!ready.is_object() || ready.value("ready", false) != true) {
      error = ready.is_object() && ready.contains("error") && ready["error"].is_string()
                  ? ready["error"].get<std::string>()
                  : "the client process said: " + line;
      return false;
    }
    m_attachStatus = ready.contains("attach") && ready["attach"].is_number_integer()
                         ? static_cast<HRESULT>(ready["attach"].get<int64_t>())
                         : E_UNEXPECTED;
    return true;
  }

  bool Exchange(const std::string& line, std::string& reply, std::string& error) override {
    if (!m_process.WriteLine(line)) {
      error = "the client process has ended";
      return false;
    }
    switch (m_process.ReadLine(reply, kAnswerWait)) {
      case TrxLineReader::Result::Line:
        return true;
      case TrxLineReader::Result::Ended:
        error = "the client process has ended";
        return false;
      case TrxLineReader::Result::TimedOut:
        break;
    }
    error = "the client process did not answer within 120 s";
    return false;
  }

  HRESULT GetAttachStatus() const override { return m_attachStatus; }

 private:
  TrxChildProcess m_process;
  HRESULT m_attachStatus = E_UNEXPECTED;
};

}  // namespace

std::unique_ptr<TrxRemoteClient> TrxStartClientProcess(const std::string& appFile, bool detached, std::string& error) {
  auto process = std::make_unique<TrxClientProcess>();
  if (!process->Start(appFile, detached, error)) return nullptr;
  return process;
}

int TrxClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  TrxKeepStandardHandles();
  TrxSessionOptions options;
  options.localServer = true;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      out << "usage: trx client [--app FILE] [--detached]\n"
             "\n"
             "The simulated client in a process of its own, attached to the service object of\n"
             "the registered server trxcom.exe: answers the client.* calls of the serve bridge,\n"
             "one JSON line each, from standard input until it ends. On Windows `trx serve`\n"
             "starts it.\n";
      return 0;
    }
    if (arguments[i] == "--app" && i + 1 < arguments.size()) {
      options.appFile = arguments[++i];
    } else if (arguments[i] == "--detached") {
      options.detached = true;
    } else {
      err << "trx client: unexpected argument \"" << arguments[i] << "\" (see trx client --help)\n";
      return 2;
    }
  }
  TrxSession session;
  std::string error;
  if (!session.Open(options, error)) {
    out << TrxJsonLine({{"ready", false}, {"error", error}}) << "\n" << std::flush;
    return 1;
  }
  // trx serve has bounded the lines it forwards.
  TrxBridge bridge(session, false);
  bridge.SetMaxLineBytes(SIZE_MAX);
  std::mutex writing;
  const auto write = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(writing);
    out << line << "\n" << std::flush;
  };
  write(TrxJson({{"ready", true}, {"attach", static_cast<LONG>(session.GetAttachStatus())}}).dump());

  // A request of the service's that hangs in the client holds this thread
  // (the client's objects live on it) until a tool releases it. The calls
  // that look at and release hanging requests are safe from any thread
  // (they only take the client's locks), so the reading thread answers them
  // itself.
  const auto direct = [&](const std::string& line) {
    TrxJson request;
    std::string unread;
    if (!TrxParseJson(line, request, unread) || !request.is_object() || !request.contains("call")) return false;
    const TrxJson& call = request["call"];
    if (call != "client.release" && call != "client.state" && call != "client.journal") return false;
    const std::vector<std::string> lines = bridge.HandleLine(line);
    if (!lines.empty()) write(lines.back());
    return true;
  };
  TrxLineReader input(GetStdHandle(STD_INPUT_HANDLE), direct, SIZE_MAX);
  std::string line;
  while (input.Next(line, INFINITE) == TrxLineReader::Result::Line) {
    const std::vector<std::string> lines = bridge.HandleLine(line);
    if (!lines.empty()) write(lines.back());
  }
  return 0;
}

void TrxRunPumpedBridge(std::ostream& out, TrxBridge& bridge) {
  // Events that arrive while no request runs (another tool recording, or
  // the client acting by itself) are written at once.
  const auto writeEvents = [&] {
    const std::vector<std::string> events = bridge.GetEventSink()->TakeLines();
    for (const std::string& event : events) out << event << '\n';
    if (!events.empty()) out.flush();
  };
  TrxLineReader input(GetStdHandle(STD_INPUT_HANDLE), {}, bridge.GetMaxLineBytes());
  std::string line;
  while (input.Next(line, INFINITE, writeEvents) == TrxLineReader::Result::Line) {
    for (const std::string& reply : bridge.HandleLine(line)) out << reply << '\n';
    out.flush();
  }
}
