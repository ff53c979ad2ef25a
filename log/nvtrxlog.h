// Trace log: records, the process-wide record queue and the log file writer.
//
// Every traced function opens a CNVTRXLogFunction scope (TRX_FUNCTION()),
// which queues an entry record, clears the service's last error and queues
// the matching exit record when the function returns. Traces and errors are
// reported through a short-lived CNVTRXLogRecord (TRX_LOG(category)) that
// carries the source position, a category and optionally the automation
// object concerned. Records go to one bounded queue shared by all threads;
// while a log file is started, a writer thread appends them to it as UTF-16
// lines.
#pragma once

#include <atomic>
#include <cstdint>
#include <source_location>

#include "log/nvtrxformat.h"
#include "platform/trxplatform.h"

// What a record says of the object it concerns: the repository names from
// the root down, joined by ".", and the catalogue class name. Automation
// objects are log subjects; the log knows nothing else of them.
class CNVTRXLogSubject {
 public:
  virtual TrxString GetFullName() const = 0;
  virtual TrxString GetLogClassName() const = 0;

 protected:
  ~CNVTRXLogSubject() = default;
};

// Record categories; the word written in the log line is in brackets.
enum TRXLOGCATEGORY : LONG {
  TRXLOG_FUNCTION = 0,   // entry and exit records
  TRXLOG_TRXTRACE = 1,   // "trxtrace": service trace
  TRXLOG_TRXERR = 2,     // "***trxerr***": service error
  TRXLOG_NWETRACE = 3,   // "nwetrace": host trace
  TRXLOG_NWEERR = 4,     // "***nweerr***": host error
  TRXLOG_USERTRACE = 5,  // "usertrace": user trace
  TRXLOG_USERERR = 6,    // "***usererr***": user error
};

enum TRXLOGKIND : LONG {
  TRXLOG_KIND_ENTRY = 100,
  TRXLOG_KIND_EXIT = 101,
  TRXLOG_KIND_MESSAGE = 200,
};

// One report: source position, category and the object it speaks of.
// `file` must be a string with static storage (__FILE__).
class CNVTRXLogRecord {
 public:
  CNVTRXLogRecord(const char* file, int line, LONG category, const CNVTRXLogSubject* object = nullptr) noexcept
      : m_file(file), m_line(line), m_category(category), m_object(object) {}

  // Writes the filled format; the last error is not touched.
  template <class... Args>
  void ReportTrace(TrxStringView format, const Args&... args) const {
    Trace(format, {TrxFormatArg(args)...});
  }
  // Writes the filled format followed by " ErrorCode: <code>" and, unless
  // the category is trxtrace, records code and text as the last error.
  template <class... Args>
  void ReportError(LONG code, TrxStringView format, const Args&... args) const {
    Error(code, format, {TrxFormatArg(args)...});
  }
  // Writes the message of a user error code (-1023 to -1000) or of a host
  // operation code (-109 to -103, reported with the -1017 text) and records
  // it as the last error; a report at usertrace level records the positive
  // counterpart of the code. A code outside both ranges is an internal
  // assertion and changes nothing.
  template <class... Args>
  void ReportUserError(LONG code, const Args&... args) const {
    UserError(code, {TrxFormatArg(args)...});
  }

  void Trace(TrxStringView format, TrxFormatArgs args) const;
  void Error(LONG code, TrxStringView format, TrxFormatArgs args) const;
  void UserError(LONG code, TrxFormatArgs args) const;

  // The message a ReportUserError with these arguments writes; empty for a
  // code outside the table.
  TrxString UserErrorMessage(LONG code, TrxFormatArgs args) const;

  LONG GetCategory() const noexcept { return m_category; }

 private:
  const char* m_file;
  int m_line;
  LONG m_category;
  const CNVTRXLogSubject* m_object;
};

// Function entry and exit records for one call. `file` and `function` must
// have static storage (__FILE__, __func__).
class CNVTRXLogFunction {
 public:
  CNVTRXLogFunction(const char* file, int line, const char* function) noexcept;
  ~CNVTRXLogFunction();
  CNVTRXLogFunction(const CNVTRXLogFunction&) = delete;
  CNVTRXLogFunction& operator=(const CNVTRXLogFunction&) = delete;

 private:
  const char* m_file;
  int m_line;
  const char* m_function;
  DWORD m_startTick;
  bool m_countsDepth;
};

#define TRX_LOG_CONCAT2(a, b) a##b
#define TRX_LOG_CONCAT(a, b) TRX_LOG_CONCAT2(a, b)
// Opens the entry/exit scope of the enclosing function.
#define TRX_FUNCTION() CNVTRXLogFunction TRX_LOG_CONCAT(trxFunctionScope_, __LINE__)(__FILE__, __LINE__, __func__)
// A record at this source position, e.g. TRX_LOG(TRXLOG_USERERR).ReportUserError(...).
#define TRX_LOG(category) CNVTRXLogRecord(__FILE__, __LINE__, (category))
#define TRX_LOG_OBJ(category, object) CNVTRXLogRecord(__FILE__, __LINE__, (category), (object))

// A result code and the source position that reports it. Converting a code
// to TrxHere captures the position of the expression that converts it, so
// that `return TrxFail(TRX_E_BUSY);` logs the caller's file and line.
struct TrxHere {
  TrxHere(LONG resultCode, std::source_location where = std::source_location::current()) noexcept
      : code(resultCode), file(where.file_name()), line(static_cast<int>(where.line())) {}
  LONG code;
  const char* file;
  int line;
};

// Report and return in one statement. TrxFail reports a user error (usererr)
// and returns its code; TrxWarn reports the caller's mistake as a user trace,
// which records +N as the last error, and returns +N. With a subject, the
// messages that name an object (-1016, -1017) name it.
template <class... Args>
LONG TrxFail(TrxHere code, const Args&... args) {
  CNVTRXLogRecord(code.file, code.line, TRXLOG_USERERR).ReportUserError(code.code, args...);
  return code.code;
}
template <class... Args>
LONG TrxWarn(TrxHere code, const Args&... args) {
  CNVTRXLogRecord(code.file, code.line, TRXLOG_USERTRACE).ReportUserError(code.code, args...);
  return -code.code;
}
template <class... Args>
LONG TrxFailOn(const CNVTRXLogSubject* subject, TrxHere code, const Args&... args) {
  CNVTRXLogRecord(code.file, code.line, TRXLOG_USERERR, subject).ReportUserError(code.code, args...);
  return code.code;
}
template <class... Args>
LONG TrxWarnOn(const CNVTRXLogSubject* subject, TrxHere code, const Args&... args) {
  CNVTRXLogRecord(code.file, code.line, TRXLOG_USERTRACE, subject).ReportUserError(code.code, args...);
  return -code.code;
}

// Process-wide state of the log: the level switch, the call depth and the
// queue.
class CNVTRXLog {
 public:
  // Queue bound while no writer runs: at 2500 entries the 126 oldest go.
  static constexpr size_t kQueueLimit = 2500;
  static constexpr size_t kQueueTrim = 126;
  // While a writer drains the queue it may grow further before entries are
  // dropped, so that bursts are written rather than lost; this bounds the
  // memory if the file cannot keep up.
  static constexpr size_t kWriterQueueLimit = 200000;
  static constexpr size_t kWriterQueueTrim = 10000;

  // With the switch on every record is queued; off, only error and user
  // records (categories 2, 4, 5, 6) and the records of the facade are.
  static void SetVerbose(bool on) noexcept;
  static bool IsVerbose() noexcept;
  // Sets the switch from TRXLOGLEVEL: on when it holds a non-zero number.
  static void ReadLevelFromEnvironment();

  static LONG GetCallDepth() noexcept;

  // The last error belongs to the calls of tools and of the client. A
  // background thread (the launch notifier) turns this off for itself: its
  // function entries then leave the last error alone and its errors are
  // logged without becoming the last error of a call running elsewhere.
  static void SetThreadSharesLastError(bool shares) noexcept;

  // Queue inspection for diagnostics and tests.
  static size_t GetQueueLength();
  static uint64_t GetDroppedCount() noexcept;
  static void DiscardQueue();
};

// The log file and its writer thread. One per service, owned by the root
// application object.
class CNVTRXLogFile {
 public:
  CNVTRXLogFile() = default;
  CNVTRXLogFile(const CNVTRXLogFile&) = delete;
  CNVTRXLogFile& operator=(const CNVTRXLogFile&) = delete;
  // Stops the writer and waits for it to finish its last pass.
  ~CNVTRXLogFile();

  // Opens (append) or creates the file and starts the writer; a writer that
  // still runs is ended first, so there is never more than one. Returns 0,
  // or -1 when the file cannot be opened or created (append needs an
  // existing file).
  LONG Start(const OLECHAR* fileName, bool append);
  // Asks the writer to end after its next pass; does not wait.
  void Stop();
  bool IsRunning() const noexcept;
  const TrxString& GetFileName() const noexcept { return m_fileName; }

  // Waits until the queue is empty and the writer has finished writing what
  // it took; false on time-out or when no writer runs.
  bool WaitUntilWritten(DWORD timeoutMs);
  // Waits for the writer thread to end; true when none runs.
  bool WaitUntilStopped(DWORD timeoutMs);

 private:
  static DWORD WINAPI WriterThread(LPVOID param);
  void WriterLoop();

  TrxString m_fileName;
  TrxHandle m_thread;
  DWORD m_threadId = 0;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_busy{false};  // the writer holds entries it has not yet written
};
