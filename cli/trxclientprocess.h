// Windows: the simulated client as a process of its own.
//
// On Windows `trx serve` is a COM client of the registered local server
// trxcom.exe, and the simulated client runs in a second process, `trx
// client`, exactly as a tool, the service and a real client are three
// processes. The tool forwards the bridge's client.* lines to that process
// through its standard input and reads one reply line per request from its
// standard output.
//
// Every thread here that waits is an apartment-threaded COM thread that the
// other processes call into (the service calls the client's objects, and
// fires Record at the tool's sink), so each wait pumps messages: lines are
// read by a thread of their own and handed over through an event.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli/trxjsontext.h"
#include "cli/trxsession.h"

class TrxBridge;

// Waits for `event` for at most `timeout` ms (INFINITE: no bound) while
// dispatching the messages of this thread; `idle` runs after each batch of
// messages. True when the event was set.
bool TrxPumpedWait(HANDLE event, DWORD timeout, const std::function<void()>& idle = {});

// Lines of a pipe or of standard input, read by a thread of its own. The
// thread is detached: it may stay blocked in ReadFile after its owner has
// gone (a process that COM started can hold the other end of a pipe it
// inherited), so what it shares lives as long as either of them.
class TrxLineReader {
 public:
  enum class Result { Line, Ended, TimedOut };

  // `direct`, when given, sees each line first, on the reading thread; a
  // line for which it returns true is not queued. It must stay callable
  // until the input has ended. A line longer than `limit` bytes keeps only
  // its first limit + 1 bytes, enough to tell that it is too long.
  explicit TrxLineReader(HANDLE input, std::function<bool(const std::string&)> direct = {},
                         size_t limit = kTrxDefaultMaxLineBytes);
  TrxLineReader(const TrxLineReader&) = delete;
  TrxLineReader& operator=(const TrxLineReader&) = delete;

  // The next line without its line end, waiting with messages pumped.
  Result Next(std::string& line, DWORD timeout, const std::function<void()>& idle = {});
  // Waits (messages pumped) until the input has ended; false on time-out.
  bool WaitEnded(DWORD timeout);

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

// A program started with pipes for its standard input and output (its
// standard error is this process's). Destroying it closes its input and
// gives it 15 s to end before it is terminated.
class TrxChildProcess {
 public:
  TrxChildProcess() = default;
  ~TrxChildProcess();
  TrxChildProcess(const TrxChildProcess&) = delete;
  TrxChildProcess& operator=(const TrxChildProcess&) = delete;

  // `command` is the whole command line, the program first.
  bool Start(const TrxString& command, std::string& error);
  bool WriteLine(const std::string& line);
  TrxLineReader::Result ReadLine(std::string& line, DWORD timeout);

 private:
  PROCESS_INFORMATION m_process = {};
  HANDLE m_input = nullptr;  // the write end of the child's standard input
  std::unique_ptr<TrxLineReader> m_output;
};

// Keeps this process's standard handles from being inherited by the
// processes it starts, COM's servers among them: a pipe's reader sees its
// end only once every holder of the other end has closed it, and a server
// outlives the tool that started it by seconds.
void TrxKeepStandardHandles();

// This program's file.
TrxString TrxThisProgram();
// A command-line argument as CreateProcess's parser reads it back: quoted
// when it holds blanks or quotes.
TrxString TrxCommandArgument(const TrxString& text);

// Starts `<this program> client --app FILE [--detached]` and waits for its
// first line: {"ready":true,"attach":<status>}. Null, with the reason in
// `error`, when the process cannot start or does not say it is ready.
std::unique_ptr<TrxRemoteClient> TrxStartClientProcess(const std::string& appFile, bool detached, std::string& error);

// `trx client [--app FILE] [--detached]`: the simulated client in this
// process, attached to the service object of the registered server;
// answers client.* lines of standard input until it ends. Writes
// {"ready":true,"attach":<status>} first, or {"ready":false,"error":"..."}
// and returns 1.
int TrxClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// The serve loop for a session whose service lives in another process: the
// bridge's lines from standard input, pumping messages while it waits, and
// events that arrive between requests written as they come.
void TrxRunPumpedBridge(std::ostream& out, TrxBridge& bridge);
