// The service's trace log copied to a stream as it grows: `trx serve
// --trace`. The service writes its log (UTF-16) to a file of this
// process's temporary folder; a thread of ours reads what it appends every
// 50 ms and writes it as UTF-8 lines. On Windows the service is another
// process, so a file is the one channel both sides have.
#pragma once

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

class TrxTraceTail {
 public:
  TrxTraceTail() = default;
  // Copies what is left, then stops.
  ~TrxTraceTail();
  TrxTraceTail(const TrxTraceTail&) = delete;
  TrxTraceTail& operator=(const TrxTraceTail&) = delete;

  // A fresh file name for the service's log.
  static std::string NewFileName();
  // Follows `file` (which the service may create later) into `out`.
  void Start(const std::string& file, std::ostream& out);

 private:
  void Copy();

  std::string m_file;
  std::ostream* m_out = nullptr;
  std::ifstream m_in;  // open once the service has created the file
  unsigned long long m_offset = 0;
  std::string m_pending;  // bytes of a character cut at the end of a read
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};
