// Soak of the serve bridge: 100,000 mixed request lines through
// TrxBridge::HandleLine against the sample client, with the process's
// resident memory and the live automation objects sampled every 10,000
// lines. Both should stay flat: every call releases what it built.
//
// The mix, 20 lines a round: property reads (GetProperty, UIName,
// RepositoryName, GetProperties), host requests (two keyboard
// accelerators), catalogue lookups, descriptor errors (an unknown class
// below the application, a descriptor that is no XML), GetRootObject,
// GetLastError, GetObjectDefinitions, the client's user action with
// recording on (a Record event) and off (none), client.get and the client's
// journal emptied, and recording switched off and on again. Every Submit
// waits for the client to be idle with a fixed 100 ms pause unless
// recording is on, so the Submits run while it is on, as the other
// benchmarks' recording runs do; while it is off the round makes only calls
// that do not wait.
//
// The simulated client keeps a log of what the service did through its
// control interface (CNVSimApplication::GetControlLog), never emptied: four
// entries per Submit, two per switch of the recorder, one per recorded
// action, 43 a round. The table shows the heap in use (malloc's count of
// allocated bytes) beside the resident memory; the growth of the heap per
// entry of that log is printed after it (the log grows evenly, so its
// length at the end stands for the whole run), and the heap in use once the
// session has closed, which must not depend on the number of calls.
//
// The samples are printed as a table; the counters give the first and last
// sample, the largest live object count seen and how many replies were not
// what the mix expects (errors of the bridge, or a call that should succeed
// failing).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <iterator>
#include <malloc.h>
#include <string>
#include <vector>

#include "cli/trxbridge.h"
#include "log/nvtrxlog.h"
#include "model/nvtrxautomation.h"

namespace {

constexpr int kCalls = 100000;
constexpr int kSampleEvery = 10000;

// Resident memory of this process in kB (VmRSS), 0 when it cannot be read.
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// Bytes of the heap in use (allocated and not freed).
long HeapKb() { return static_cast<long>(mallinfo2().uordblks / 1024); }

struct Step {
  const char* line;
  const char* expect;  // a part of the reply that shows it did what it should
  int events;          // Record lines expected before the reply
};

#define ROOT R"(<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>)"
// clang-format off
const Step kRound[] = {
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"GetProperty","Args":"UIName"})", R"("errCode":0)", 0},
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"UIName"})", R"("errCode":0)", 0},
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"RepositoryName"})", R"("errCode":0)", 0},
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"ProcessKeyboardAccelerator","Args":"Ctrl+S"})", R"("errCode":0)", 0},
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"GetClassCount","Args":"NorvMenu"})", R"("errCode":0)", 0},
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"GetRepositoryNameByIndex","Args":["NorvPageTabs",0]})", R"("errCode":0)", 0},
    {R"({"call":"Submit","trxODS":"<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NoSuchClass\" RepositoryName=\"X\"/></Obj>","methodName":"UIName"})", R"("errCode":-)", 0},
    {R"({"call":"Submit","trxODS":"<Obj ClassName=","methodName":"UIName"})", R"("errCode":-)", 0},
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"GetProperties","Args":["RepositoryName","UIName"]})", R"("errCode":0)", 0},
    {R"({"call":"client.action","eventId":"PROCESSACCELERATOR","arguments":[["0","78"],["1","FALSE"],["2","TRUE"],["3","FALSE"]]})", R"("hr":0)", 1},
    {R"({"call":"GetRootObject"})", R"("errCode":0)", 0},
    {R"({"call":"GetLastError"})", R"("hr":0)", 0},
    {R"({"call":"client.get","property":"DisplayName"})", R"("hr":0)", 0},
    {R"({"call":"Submit","trxODS":")" ROOT R"(","methodName":"ProcessKeyboardAccelerator","Args":"F8"})", R"("errCode":0)", 0},
    {R"({"call":"StopRecording"})", R"("errCode":0)", 0},
    {R"({"call":"client.action","eventId":"PROCESSACCELERATOR","arguments":[["0","78"],["1","FALSE"],["2","TRUE"],["3","FALSE"]]})", R"("hr":1)", 0},
    {R"({"call":"GetLastError"})", R"("hr":0)", 0},
    {R"({"call":"GetObjectDefinitions","ver":"8.2"})", R"("errCode":2)", 0},
    {R"({"call":"client.journal","clear":true})", R"("journal":[)", 0},
    {R"({"call":"StartRecording"})", R"("errCode":0)", 0},
};
// clang-format on
#undef ROOT

void BM_BridgeSoak(benchmark::State& state) {
  CNVTRXLog::SetVerbose(false);
  const long heapBefore = HeapKb();
  auto session = std::make_unique<TrxSession>();
  std::string error;
  if (!session->Open(TrxSessionOptions(), error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto bridge = std::make_unique<TrxBridge>(*session);
  bridge->HandleLine(R"({"call":"StartRecording"})");
  std::vector<long> resident, heap;
  std::vector<LONG> live;
  LONG liveMax = 0;
  int unexpected = 0;
  for (auto _ : state) {
    for (int call = 0; call < kCalls; ++call) {
      const Step& step = kRound[call % std::size(kRound)];
      const std::vector<std::string> lines = bridge->HandleLine(step.line);
      if (lines.size() != static_cast<size_t>(step.events) + 1 || lines.back().find(step.expect) == std::string::npos) {
        if (++unexpected <= 5) std::fprintf(stderr, "unexpected: %s\n  -> %s\n", step.line, lines.back().c_str());
      }
      liveMax = std::max(liveMax, CNVTRXAutomation::GetLiveObjectCount());
      if ((call + 1) % kSampleEvery == 0) {
        resident.push_back(ResidentKb());
        heap.push_back(HeapKb());
        live.push_back(CNVTRXAutomation::GetLiveObjectCount());
        // The client's log (a copy of it) is counted once, at the end.
      }
    }
  }
  const size_t logEntries = session->Client()->GetControlLog().size();
  bridge.reset();
  session.reset();
  const long heapAfter = HeapKb();
  std::printf("%8s %8s %8s %6s\n", "calls", "rss_kb", "heap_kb", "live");
  for (size_t i = 0; i < resident.size(); ++i)
    std::printf("%8zu %8ld %8ld %6ld\n", (i + 1) * kSampleEvery, resident[i], heap[i], static_cast<long>(live[i]));
  const double perEntry = heap.empty() ? 0.0
                                       : 1024.0 * static_cast<double>(heap.back() - heap.front()) /
                                             (static_cast<double>(logEntries) * (kCalls - kSampleEvery) / kCalls);
  std::printf("client log: %zu entries; heap growth per entry from the first sample to the last: %.1f bytes\n",
              logEntries, perEntry);
  std::printf("heap in use before the session %ld kB, after it closed %ld kB\n", heapBefore, heapAfter);
  state.SetItemsProcessed(state.iterations() * kCalls);
  state.counters["rss_kb_first"] = resident.empty() ? 0 : static_cast<double>(resident.front());
  state.counters["rss_kb_last"] = resident.empty() ? 0 : static_cast<double>(resident.back());
  state.counters["heap_kb_left_after_close"] = static_cast<double>(heapAfter - heapBefore);
  state.counters["live_max"] = liveMax;
  state.counters["live_last"] = live.empty() ? 0 : live.back();
  state.counters["unexpected"] = unexpected;
}

BENCHMARK(BM_BridgeSoak)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
