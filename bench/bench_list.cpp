// A list's grid and one of its cells through the facade, with recording on
// (no idle pause): the service's own cost. The client is generated: one
// list of N rows and 10 columns, all rows in one row set, the last column
// summed in a totals row. GetData over 100, 1,000 and 10,000 rows shows how
// the grid grows.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench/trxbenchservice.h"

namespace {

const OLECHAR kList[] = OLESTR(
    "<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NorvScreen\" "
    "RepositoryName=\"S\"><Obj ClassName=\"NorvView\" RepositoryName=\"V\"><Obj ClassName=\"NorvApplet\" "
    "RepositoryName=\"A\"><Obj ClassName=\"NorvList\" RepositoryName=\"NorvList\"/></Obj></Obj></Obj></Obj>");

// The client's description, written once per row count.
std::string ListClient(long rows) {
  const auto path = std::filesystem::temp_directory_path() / ("trx-bench-list-" + std::to_string(rows) + ".xml");
  std::ofstream file(path);
  file << "<application name=\"Bench\"><screen name=\"S\"><object type=\"VIEW\" name=\"V\"><object type=\"APPLET\" "
          "name=\"A\"><object type=\"LISTCONTROL\" name=\"NorvList\"><list pageSize=\""
       << rows << "\">";
  for (int c = 0; c < 10; ++c)
    file << "<column name=\"C" << c << "\" type=\"text\"" << (c == 9 ? " total=\"sum\"" : "") << "/>";
  for (long r = 0; r < rows; ++r) {
    file << "<row value=\"";
    for (int c = 0; c < 9; ++c) file << "Row " << r << " cell " << c << "|";
    file << r << "\"/>";
  }
  file << "</list></object></object></object></screen></application>";
  return path.string();
}

void RunList(benchmark::State& state, const OLECHAR* method, const VARIANT& args) {
  TrxBenchService service(ListClient(static_cast<long>(state.range(0))));
  if (!service.Ready(state)) return;
  TrxBstr message, ods(kList), name(method);
  LONG code = 0, failures = 0;
  service.facade->StartRecording(message.Put(), &code);
  for (auto _ : state) {
    TrxVariant result;
    service.facade->Submit(ods.Get(), name.Get(), args, &result, message.Put(), &code);
    if (code != 0) ++failures;
  }
  service.facade->StopRecording(message.Put(), &code);
  state.counters["failures"] = failures;
  state.counters["cells"] = static_cast<double>(state.range(0) * 10);
}

void BM_ListGetData(benchmark::State& state) { RunList(state, OLESTR("GetData"), TrxVariant()); }

void BM_ListGetCellText(benchmark::State& state) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  LONG i = 0;
  TrxVariant column = TrxVariant::FromString(OLESTR("C3")), row = TrxVariant::FromI4(500);
  SafeArrayPutElement(array, &i, &column);
  i = 1;
  SafeArrayPutElement(array, &i, &row);
  RunList(state, OLESTR("GetCellText"), TrxVariant::FromArray(array, VT_VARIANT));
}

BENCHMARK(BM_ListGetData)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListGetCellText)
    ->Arg(1000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
