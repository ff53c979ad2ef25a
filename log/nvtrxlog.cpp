#include "log/nvtrxlog.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

#include "log/nvtrxassert.h"
#include "log/nvtrxlasterror.h"
#include "log/nvtrxresult.h"

namespace {

// What a record becomes on the queue. File and function point to static
// strings; they are widened by the writer, off the producing thread.
struct LogEntry {
  LONG kind;
  SYSTEMTIME time;
  TrxString message;
  const char* file;
  const char* function;
  LONG line;
  LONG category;
  LONG depth;
  DWORD tick;     // start tick, or the current tick of an exit record
  DWORD elapsed;  // exit records: milliseconds since the entry
};

std::atomic<bool> g_verbose{false};
std::atomic<LONG> g_callDepth{0};
std::atomic<uint64_t> g_dropped{0};
std::atomic<int> g_writers{0};

// The queue and the named mutex that guards it. The mutex is named so that
// several service processes on Windows share one.
class LogQueue {
 public:
  static LogQueue& Instance() {
    static LogQueue queue;
    return queue;
  }

  bool Lock() {
    if (!m_mutex) return false;
    DWORD wait = WaitForSingleObject(m_mutex.Get(), INFINITE);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  void Unlock() { ReleaseMutex(m_mutex.Get()); }

  void Push(LogEntry&& entry) {
    if (!Lock()) return;  // no mutex: the record is dropped
    const bool writing = g_writers.load() > 0;
    const size_t limit = writing ? CNVTRXLog::kWriterQueueLimit : CNVTRXLog::kQueueLimit;
    const size_t trim = writing ? CNVTRXLog::kWriterQueueTrim : CNVTRXLog::kQueueTrim;
    const bool full = m_entries.size() >= limit;
    m_entries.push_back(std::move(entry));
    if (full) {
      const size_t n = trim < m_entries.size() ? trim : m_entries.size();
      m_entries.erase(m_entries.begin(), m_entries.begin() + static_cast<std::ptrdiff_t>(n));
      g_dropped += n;
    }
    Unlock();
  }

  // Moves every waiting entry into `out` (which is empty).
  void TakeAll(std::deque<LogEntry>& out) {
    if (!Lock()) return;
    out.swap(m_entries);
    Unlock();
  }

  size_t Size() {
    if (!Lock()) return 0;
    size_t n = m_entries.size();
    Unlock();
    return n;
  }

  void Discard() {
    if (!Lock()) return;
    m_entries.clear();
    Unlock();
  }

 private:
  LogQueue() : m_mutex(CreateMutexW(nullptr, FALSE, OLESTR("MutexToProtectLogQue"))) {}
  TrxHandle m_mutex;
  std::deque<LogEntry> m_entries;
};

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

// The facade's own records are always kept, whatever the level. This runs
// for every record that is not otherwise wanted, so it looks only at the
// end of the path.
bool IsFacadeFile(const char* file) {
  const std::string_view path(file);
  for (std::string_view name : {std::string_view("nvtrx.cpp"), std::string_view("nvtrx.h")}) {
    if (path.size() < name.size() || path.substr(path.size() - name.size()) != name) continue;
    if (path.size() == name.size()) return true;
    const char before = path[path.size() - name.size() - 1];
    return before == '/' || before == '\\';
  }
  return false;
}

bool Wanted(LONG kind, LONG category, const char* file) {
  if (g_verbose.load(std::memory_order_relaxed)) return true;
  if (kind == TRXLOG_KIND_MESSAGE && (category == TRXLOG_TRXERR || category == TRXLOG_NWEERR ||
                                      category == TRXLOG_USERTRACE || category == TRXLOG_USERERR))
    return true;
  return IsFacadeFile(file);
}

void Queue(LONG kind, TrxString&& message, const char* file, const char* function, int line, LONG category, LONG depth,
           DWORD tick, DWORD elapsed) {
  LogEntry entry{kind, {}, std::move(message), file, function, line, category, depth, tick, elapsed};
  GetLocalTime(&entry.time);
  LogQueue::Instance().Push(std::move(entry));
}

void QueueMessage(const char* file, int line, LONG category, TrxString&& message) {
  if (!Wanted(TRXLOG_KIND_MESSAGE, category, file)) return;
  Queue(TRXLOG_KIND_MESSAGE, std::move(message), file, "", line, category, g_callDepth.load(), GetTickCount(), 0);
}

thread_local bool t_sharesLastError = true;

void SetLastErrorRecord(LONG code, const TrxString& text) {
  if (!t_sharesLastError) return;
  if (CNVTRXLastError* record = CNVTRXLastError::Current()) record->Set(code, text);
}

const OLECHAR* CategoryWord(LONG category) {
  switch (category) {
    case TRXLOG_TRXTRACE:
      return OLESTR("trxtrace");
    case TRXLOG_TRXERR:
      return OLESTR("***trxerr***");
    case TRXLOG_NWETRACE:
      return OLESTR("nwetrace");
    case TRXLOG_NWEERR:
      return OLESTR("***nweerr***");
    case TRXLOG_USERTRACE:
      return OLESTR("usertrace");
    case TRXLOG_USERERR:
      return OLESTR("***usererr***");
    default:
      return OLESTR("");
  }
}

// "Sat Dec 05 06:20:00 2026"
void AppendDate(TrxString& out, const SYSTEMTIME& t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  auto two = [&](unsigned v) {
    out.push_back(static_cast<OLECHAR>('0' + (v / 10) % 10));
    out.push_back(static_cast<OLECHAR>('0' + v % 10));
  };
  const char* day = kDays[t.wDayOfWeek % 7];
  const char* month = kMonths[(t.wMonth >= 1 && t.wMonth <= 12) ? t.wMonth - 1 : 0];
  for (int i = 0; i < 3; ++i) out.push_back(static_cast<OLECHAR>(day[i]));
  out.push_back(' ');
  for (int i = 0; i < 3; ++i) out.push_back(static_cast<OLECHAR>(month[i]));
  out.push_back(' ');
  two(t.wDay);
  out.push_back(' ');
  two(t.wHour);
  out.push_back(':');
  two(t.wMinute);
  out.push_back(':');
  two(t.wSecond);
  out.push_back(' ');
  out += TrxDecimal(t.wYear);
}

void AppendNarrow(TrxString& out, const char* text) {
  for (; *text; ++text) out.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(*text)));
}

// One line of the log file, carriage return and line feed included.
void AppendLine(TrxString& out, const LogEntry& e) {
  switch (e.kind) {
    case TRXLOG_KIND_ENTRY:
    case TRXLOG_KIND_EXIT:
      AppendNarrow(out, e.function);
      out += e.kind == TRXLOG_KIND_ENTRY ? OLESTR("\t***Entry*** ") : OLESTR("\t***Exit*** ");
      out += TrxDecimal(e.depth);
      break;
    case TRXLOG_KIND_MESSAGE: {
      out += CategoryWord(e.category);
      out += OLESTR("\t ");
      const size_t start = out.size();
      out += e.message;
      for (size_t i = start; i < out.size(); ++i)
        if (out[i] == '\t' || out[i] == '\n') out[i] = ' ';
      break;
    }
    default:
      return;  // other kinds write nothing
  }
  out.push_back('\t');
  out += TrxDecimalU(e.tick);
  if (e.kind == TRXLOG_KIND_EXIT) {
    out.push_back('(');
    out += TrxDecimalU(e.elapsed);
    out.push_back(')');
  }
  out.push_back('\t');
  AppendNarrow(out, BaseName(e.file));
  out.push_back('(');
  out += TrxDecimal(e.line);
  out += OLESTR(")\t");
  AppendDate(out, e.time);
  out += OLESTR("\r\n");
}

// Opens the log file for reading and writing, shared for reading only.
// Another opener in this process may hold it for a moment (the pass of a
// writer that is ending, or the check of a new start): a sharing violation
// is waited out for up to 2 s rather than failing, which would lose a pass
// or refuse a start only by chance of timing.
HANDLE OpenLogFile(const TrxString& file, DWORD disposition) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount64() - start >= 2000)
      return handle;
    Sleep(10);
  }
}

// Appends UTF-16 little-endian text to an existing file; false when the
// file cannot be opened (the text is then lost).
bool AppendToFile(const TrxString& file, const TrxString& text) {
  TrxHandle handle(OpenLogFile(file, OPEN_EXISTING));
  if (!handle) return false;
  if (SetFilePointer(handle.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return false;
  const std::vector<unsigned char> bytes = TrxUtf16LEBytes(text);
  size_t offset = 0;
  while (offset < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() - offset > 0x40000000 ? 0x40000000 : bytes.size() - offset);
    if (!WriteFile(handle.Get(), bytes.data() + offset, chunk, &written, nullptr) || written == 0) break;
    offset += written;
  }
  return true;
}

}  // namespace

// ---- records ------------------------------------------------------------------

void CNVTRXLogRecord::Trace(TrxStringView format, TrxFormatArgs args) const {
  if (!Wanted(TRXLOG_KIND_MESSAGE, m_category, m_file)) return;
  QueueMessage(m_file, m_line, m_category, TrxFormat(format, args));
}

void CNVTRXLogRecord::Error(LONG code, TrxStringView format, TrxFormatArgs args) const {
  TrxString message = TrxFormat(format, args);
  TrxFormatAppend(message, OLESTR(" ErrorCode: %d"), {code});
  if (m_category != TRXLOG_TRXTRACE) SetLastErrorRecord(code, message);
  QueueMessage(m_file, m_line, m_category, std::move(message));
}

TrxString CNVTRXLogRecord::UserErrorMessage(LONG code, TrxFormatArgs args) const {
  const OLECHAR* requestName = TrxHostOperationName(code);
  const LONG messageCode = requestName ? TRX_E_SYSTEM_OBJECT : code;
  const OLECHAR* format = TrxUserErrorText(messageCode);
  if (!format) return TrxString();
  const TrxString firstArg = args.size() > 0 ? args.begin()->ToText() : TrxString();
  if (m_object && messageCode == TRX_E_SYSTEM_OBJECT) {
    const TrxString fullName = m_object->GetFullName();
    return TrxFormatText(format, fullName, m_object->GetLogClassName(), requestName ? requestName : OLESTR(""),
                         firstArg);
  }
  if (m_object && messageCode == TRX_E_CREATE_OBJECT)
    return TrxFormatText(format, m_object->GetFullName(), m_object->GetLogClassName());
  if (requestName) {
    // A host operation code without an object: no object names to show, but
    // still the failed request and its parameter.
    return TrxFormatText(format, OLESTR(""), OLESTR(""), requestName, firstArg);
  }
  return TrxFormat(format, args);
}

void CNVTRXLogRecord::UserError(LONG code, TrxFormatArgs args) const {
  const LONG messageCode = TrxIsHostOperationCode(code) ? TRX_E_SYSTEM_OBJECT : code;
  if (!TrxIsUserErrorCode(messageCode)) {
    TrxAssertFailed(m_file, m_line, OLESTR("Invalid User Error Code"));
    return;
  }
  TrxString message = UserErrorMessage(code, args);
  SetLastErrorRecord(m_category == TRXLOG_USERTRACE ? -code : code, message);
  QueueMessage(m_file, m_line, m_category, std::move(message));
}

// ---- function scopes -------------------------------------------------------------

CNVTRXLogFunction::CNVTRXLogFunction(const char* file, int line, const char* function) noexcept
    : m_file(file),
      m_line(line),
      m_function(function),
      m_startTick(GetTickCount()),
      m_countsDepth(std::strstr(function, "TRXNotifierThread") == nullptr) {
  if (t_sharesLastError)
    if (CNVTRXLastError* record = CNVTRXLastError::Current()) record->Clear();
  const LONG depth = g_callDepth.load();
  if (Wanted(TRXLOG_KIND_ENTRY, TRXLOG_FUNCTION, m_file))
    Queue(TRXLOG_KIND_ENTRY, TrxString(), m_file, m_function, m_line, TRXLOG_FUNCTION, depth, m_startTick, 0);
  if (m_countsDepth) ++g_callDepth;
}

CNVTRXLogFunction::~CNVTRXLogFunction() {
  LONG depth = m_countsDepth ? --g_callDepth : g_callDepth.load();
  if (Wanted(TRXLOG_KIND_EXIT, TRXLOG_FUNCTION, m_file)) {
    const DWORD now = GetTickCount();
    Queue(TRXLOG_KIND_EXIT, TrxString(), m_file, m_function, m_line, TRXLOG_FUNCTION, depth, now, now - m_startTick);
  }
}

// ---- process-wide state ------------------------------------------------------------

void CNVTRXLog::SetVerbose(bool on) noexcept { g_verbose.store(on); }
bool CNVTRXLog::IsVerbose() noexcept { return g_verbose.load(); }

void CNVTRXLog::ReadLevelFromEnvironment() {
  OLECHAR buffer[64];
  const DWORD n = GetEnvironmentVariableW(OLESTR("TRXLOGLEVEL"), buffer, 64);
  SetVerbose(n > 0 && n < 64 && TrxParseLong(TrxStringView(buffer, n)) != 0);
}

LONG CNVTRXLog::GetCallDepth() noexcept { return g_callDepth.load(); }

void CNVTRXLog::SetThreadSharesLastError(bool shares) noexcept { t_sharesLastError = shares; }
size_t CNVTRXLog::GetQueueLength() { return LogQueue::Instance().Size(); }
uint64_t CNVTRXLog::GetDroppedCount() noexcept { return g_dropped.load(); }
void CNVTRXLog::DiscardQueue() { LogQueue::Instance().Discard(); }

// ---- the log file ----------------------------------------------------------------

CNVTRXLogFile::~CNVTRXLogFile() {
  Stop();
  WaitUntilStopped(5000);
}

LONG CNVTRXLogFile::Start(const OLECHAR* fileName, bool append) {
  const TrxString name(TrxView(fileName));
  if (append) {
    TrxHandle file(OpenLogFile(name, OPEN_EXISTING));
    if (!file) return -1;
    SetFilePointer(file.Get(), 0, nullptr, FILE_END);
  } else {
    TrxHandle file(OpenLogFile(name, CREATE_ALWAYS));
    if (!file) return -1;
    static const BYTE kByteOrderMark[] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file.Get(), kByteOrderMark, 2, &written, nullptr);
  }

  // Never two writers on one queue: the running one ends first, after
  // writing what it already took to its own file. A file that could not be
  // opened above leaves the running writer as it was.
  Stop();
  WaitUntilStopped(INFINITE);

  m_fileName = name;
  m_stop = false;
  m_running = true;
  ++g_writers;
  DWORD threadId = 0;
  m_thread.Attach(CreateThread(nullptr, 0, &CNVTRXLogFile::WriterThread, this, 0, &threadId));
  m_threadId = threadId;
  if (!m_thread) {
    --g_writers;
    m_running = false;
  }
  return 0;
}

void CNVTRXLogFile::Stop() { m_stop = true; }

bool CNVTRXLogFile::IsRunning() const noexcept { return m_running.load(); }

bool CNVTRXLogFile::WaitUntilWritten(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (!m_running) return false;
    // The writer marks itself busy before it takes entries and clears the
    // mark after writing them, so an empty queue seen before an idle writer
    // means everything queued so far is in the file.
    if (CNVTRXLog::GetQueueLength() == 0 && !m_busy) return true;
    if (timeoutMs != INFINITE && GetTickCount() - start >= timeoutMs) return false;
    Sleep(1);
  }
}

bool CNVTRXLogFile::WaitUntilStopped(DWORD timeoutMs) {
  if (!m_thread) return true;
  if (WaitForSingleObject(m_thread.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  m_thread.Close();
  return true;
}

DWORD WINAPI CNVTRXLogFile::WriterThread(LPVOID param) {
  static_cast<CNVTRXLogFile*>(param)->WriterLoop();
  return 0;
}

// Each pass takes every waiting entry and appends them all with one open,
// write and close, so the file is complete up to the last line written.
void CNVTRXLogFile::WriterLoop() {
  std::deque<LogEntry> batch;
  TrxString text;
  for (;;) {
    m_busy = true;
    LogQueue::Instance().TakeAll(batch);
    const bool stopping = m_stop.load();
    if (!batch.empty()) {
      text.clear();
      for (const LogEntry& entry : batch) AppendLine(text, entry);
      batch.clear();
      AppendToFile(m_fileName, text);
    }
    m_busy = false;
    if (stopping) break;
    if (LogQueue::Instance().Size() == 0) Sleep(10);
  }
  --g_writers;
  m_running = false;
}
