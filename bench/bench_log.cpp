// Trace log throughput: records per second from two producer threads into
// the file, with every record kept (level switch on), and the number of
// records dropped.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <vector>
#include <thread>

#include "log/nvtrxlog.h"

namespace {

std::filesystem::path LogPath() { return std::filesystem::temp_directory_path() / "trx-bench.log"; }

// Lines in a UTF-16 log file: its "\r\n" pairs.
double CountLines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  double lines = 0;
  for (size_t i = 2; i + 3 < bytes.size(); i += 2)
    if (bytes[i] == '\r' && bytes[i + 1] == 0 && bytes[i + 2] == '\n' && bytes[i + 3] == 0) ++lines;
  return lines;
}

// Free-running: two producers log as fast as they can while the writer drains.
void BM_LogTwoProducersFreeRunning(benchmark::State& state) {
  static CNVTRXLogFile* file = nullptr;
  static uint64_t droppedBefore = 0;
  if (state.thread_index() == 0) {
    CNVTRXLog::SetVerbose(true);
    CNVTRXLog::DiscardQueue();
    file = new CNVTRXLogFile();
    file->Start(TrxWiden(LogPath().string()).c_str(), false);
    droppedBefore = CNVTRXLog::GetDroppedCount();
  }
  int i = 0;
  for (auto _ : state) TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(u"Property Value returned from NWE : \"%s\" %d", u"x", ++i);
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    file->WaitUntilWritten(60000);
    state.counters["dropped"] = static_cast<double>(CNVTRXLog::GetDroppedCount() - droppedBefore);
    state.counters["written"] = CountLines(LogPath());
    delete file;
    CNVTRXLog::SetVerbose(false);
  }
}
BENCHMARK(BM_LogTwoProducersFreeRunning)->Threads(2)->UseRealTime()->MinTime(2.0);

// Paced: 50,000 records per second in all (25,000 per producer) for two
// seconds; every record must reach the file.
void BM_LogSustained50kPerSecond(benchmark::State& state) {
  const auto log = LogPath();
  for (auto _ : state) {
    CNVTRXLog::SetVerbose(true);
    CNVTRXLog::DiscardQueue();
    const uint64_t droppedBefore = CNVTRXLog::GetDroppedCount();
    CNVTRXLogFile file;
    file.Start(TrxWiden(log.string()).c_str(), false);
    auto producer = [] {
      const DWORD start = GetTickCount();
      for (int sent = 0; sent < 50000;) {
        // Keep up with 25 records per millisecond.
        const DWORD due = static_cast<DWORD>((GetTickCount() - start + 1) * 25);
        for (; sent < 50000 && static_cast<DWORD>(sent) < due; ++sent)
          TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(u"paced record %d", sent);
        Sleep(1);
      }
    };
    std::thread a(producer), b(producer);
    a.join();
    b.join();
    file.WaitUntilWritten(60000);
    state.counters["dropped"] = static_cast<double>(CNVTRXLog::GetDroppedCount() - droppedBefore);
    state.counters["written"] = CountLines(log);
    file.Stop();
    file.WaitUntilStopped(10000);
  }
  state.SetItemsProcessed(100000);
  CNVTRXLog::SetVerbose(false);
  std::filesystem::remove(log);
}
BENCHMARK(BM_LogSustained50kPerSecond)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
