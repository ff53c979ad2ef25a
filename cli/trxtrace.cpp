#include "cli/trxtrace.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/trxplatform.h"

TrxTraceTail::~TrxTraceTail() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_thread.join();
  // The service's writer runs on its own time: copy until the file has
  // stayed the same for a few polls (two seconds at the most).
  for (int quiet = 0, polls = 0; quiet < 3 && polls < 40; ++polls) {
    const unsigned long long before = m_offset;
    Copy();
    quiet = m_offset == before ? quiet + 1 : 0;
    Sleep(50);
  }
  m_in.close();
  std::error_code ignored;
  std::filesystem::remove(m_file, ignored);
}

std::string TrxTraceTail::NewFileName() {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return (std::filesystem::temp_directory_path() /
          ("trx-trace-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(ticks) + "-" +
           std::to_string(counter++) + ".log"))
      .string();
}

void TrxTraceTail::Start(const std::string& file, std::ostream& out) {
  m_file = file;
  m_out = &out;
  m_thread = std::thread([this] {
    while (!m_stop.load()) {
      Copy();
      Sleep(50);
    }
  });
}

void TrxTraceTail::Copy() {
  if (!m_in.is_open()) {
    m_in.open(m_file, std::ios::binary);
    if (!m_in.is_open()) return;
  }
  m_in.clear();  // the end of the last read is not the end of the log
  const bool start = m_offset == 0;
  std::string bytes = m_pending;
  char buffer[65536];
  while (m_in.read(buffer, sizeof buffer) || m_in.gcount() > 0) {
    bytes.append(buffer, static_cast<size_t>(m_in.gcount()));
    m_offset += static_cast<unsigned long long>(m_in.gcount());
  }
  // UTF-16LE: a whole number of code units now, the odd byte next time.
  const size_t whole = bytes.size() & ~static_cast<size_t>(1);
  m_pending = bytes.substr(whole);
  TrxString text;
  for (size_t i = 0; i < whole; i += 2)
    text.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  if (start && !text.empty() && text.front() == 0xFEFF) text.erase(0, 1);  // the file's byte order mark
  // A surrogate pair split by the read waits for its second half.
  if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
    const OLECHAR high = text.back();
    text.pop_back();
    m_pending.insert(0, std::string{static_cast<char>(high & 0xFF), static_cast<char>(high >> 8)});
  }
  std::string narrow = TrxNarrow(text);
  narrow.erase(std::remove(narrow.begin(), narrow.end(), '\r'), narrow.end());
  if (!narrow.empty()) *m_out << narrow << std::flush;
}
