// Submit through the facade against the simulated client, with the
// service's own cost reported beside the fixed 100 ms idle pause.
//
// Every Submit waits for the host to be idle with a 100 ms pause in
// between (WaitForHostIdle); that pause is part of the contract and stays.
// With recording on the wait returns at once, so those runs show the
// service's own cost directly; the runs with the pause report their mean
// wall time minus the pause as "own_us".
#include <benchmark/benchmark.h>

#include <filesystem>

#include "host/nvsimapplication.h"
#include "log/nvtrxlog.h"
#include "service/nvtrx.h"
#include "bench/trxbenchservice.h"

namespace {

using Service = TrxBenchService;

const OLECHAR kRoot[] = OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>");

// A field four levels below the application.
const OLECHAR kField[] =
    OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NorvScreen\" "
           "RepositoryName=\"Accounts Screen\"><Obj ClassName=\"NorvView\" RepositoryName=\"Account List View\"><Obj "
           "ClassName=\"NorvApplet\" RepositoryName=\"Account Form Applet\"><Obj ClassName=\"NorvText\" "
           "RepositoryName=\"Name\"/></Obj></Obj></Obj></Obj>");

void RunSubmit(benchmark::State& state, const OLECHAR* method, const VARIANT& args, bool recording, bool logging,
               const OLECHAR* descriptor = kRoot) {
  Service service;
  if (!service.Ready(state)) return;
  CNVTRXLogFile* log = nullptr;
  const auto logPath = std::filesystem::temp_directory_path() / "trx-bench-submit.log";
  TrxBstr message;
  LONG code = 0;
  if (logging) {
    CNVTRXLog::SetVerbose(true);
    TrxBstr file(TrxWiden(logPath.string()));
    service.facade->StartLogging(file.Get(), VARIANT_FALSE, message.Put(), &code);
    log = CNVCoTRX::Instance()->GetApplication()->State().GetLogFile();
  }
  if (recording) service.facade->StartRecording(message.Put(), &code);
  const uint64_t droppedBefore = CNVTRXLog::GetDroppedCount();
  TrxBstr ods(descriptor);
  TrxBstr name(method);
  LONG failures = 0;
  for (auto _ : state) {
    TrxVariant result;
    service.facade->Submit(ods.Get(), name.Get(), args, &result, message.Put(), &code);
    if (code != 0) ++failures;
  }
  state.counters["failures"] = failures;
  if (log) {
    log->WaitUntilWritten(60000);
    state.counters["dropped"] = static_cast<double>(CNVTRXLog::GetDroppedCount() - droppedBefore);
    service.facade->StopLogging(message.Put(), &code);
    CNVTRXLog::SetVerbose(false);
  }
  if (recording) service.facade->StopRecording(message.Put(), &code);
  // The fixed pause of the idle wait, subtracted to show the service's own cost.
  state.counters["pause_us"] = recording ? 0 : 100000;
}

void BM_SubmitPropertyRead(benchmark::State& state) {
  RunSubmit(state, OLESTR("GetProperty"), TrxVariant::FromString(OLESTR("RepositoryName")), state.range(0) != 0,
            state.range(1) != 0);
}
void BM_SubmitAccelerator(benchmark::State& state) {
  RunSubmit(state, OLESTR("ProcessKeyboardAccelerator"), TrxVariant::FromString(OLESTR("Ctrl+S")),
            state.range(0) != 0, state.range(1) != 0);
}

void BM_SubmitFieldSetText(benchmark::State& state) {
  RunSubmit(state, OLESTR("SetText"), TrxVariant::FromString(OLESTR("Acme Group")), true, false, kField);
}
void BM_SubmitFieldRead(benchmark::State& state) {
  RunSubmit(state, OLESTR("GetProperty"), TrxVariant::FromString(OLESTR("Text")), true, false, kField);
}

// Arguments: recording on (no idle pause), logging on (TRXLOGLEVEL=2 and a log file).
BENCHMARK(BM_SubmitPropertyRead)->Args({1, 0})->Args({1, 1})->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SubmitPropertyRead)->Args({0, 0})->Iterations(200)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SubmitAccelerator)->Args({1, 0})->Args({1, 1})->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SubmitAccelerator)->Args({0, 0})->Iterations(200)->UseRealTime()->Unit(benchmark::kMicrosecond);
// A field four levels deep, recording on: the service's own cost.
BENCHMARK(BM_SubmitFieldSetText)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SubmitFieldRead)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
