// GetObjectContents (mode 1, the whole tree) of generated clients with
// navigation only: S screens of V views each, every view with its L2 tab.
// Recording is on, so the idle pause does not apply and the figure is the
// service's own cost.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "bench/trxbenchservice.h"

namespace {

// A description of `screens` screens with `views` views each.
std::string Generate(int screens, int views) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("trx-bench-contents-" + std::to_string(screens) + "x" + std::to_string(views) + ".xml");
  std::ofstream out(path);
  out << "<application name=\"Generated\" sessionId=\"GEN\" htmlId=\"s_0\">\n"
         "  <object type=\"NAVCONTROL\" name=\"Screen\" htmlId=\"s_sctrl\"/>\n";
  for (int s = 0; s < screens; ++s) {
    std::string names, displayNames;
    for (int v = 0; v < views; ++v) {
      names += (v ? "|" : "") + std::string("View ") + std::to_string(s) + "." + std::to_string(v);
      displayNames += (v ? "|" : "") + std::string("Tab ") + std::to_string(v);
    }
    out << "  <screen name=\"Screen " << s << "\" displayName=\"Screen " << s << "\">\n"
        << "    <object type=\"NAVCONTROL\" name=\"AggregateViews\" htmlId=\"s_l2_" << s << "\">\n"
        << "      <property name=\"ViewNames\" type=\"strings\" value=\"" << names << "\"/>\n"
        << "      <property name=\"ViewDisplayNames\" type=\"strings\" value=\"" << displayNames << "\"/>\n"
        << "    </object>\n";
    for (int v = 0; v < views; ++v)
      out << "    <object type=\"VIEW\" name=\"View " << s << "." << v << "\" displayName=\"Tab " << v
          << "\"><property name=\"ViewType\">Standard</property></object>\n";
    out << "  </screen>\n";
  }
  out << "</application>\n";
  return path.string();
}

void BM_ContentsOfTheWholeTree(benchmark::State& state) {
  TrxBenchService service(Generate(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
  if (!service.client || FAILED(service.attached)) {
    state.SkipWithError("the generated client did not load");
    return;
  }
  TrxBstr message;
  LONG code = 0;
  service.facade->StartRecording(message.Put(), &code);
  TrxBstr root(OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>"));
  LONG failures = 0;
  size_t length = 0;
  for (auto _ : state) {
    TrxBstr xml;
    service.facade->GetObjectContents(1, root.Get(), xml.Put(), message.Put(), &code);
    if (code != 0) ++failures;
    length = xml.View().size();
  }
  service.facade->StopRecording(message.Put(), &code);
  state.counters["failures"] = failures;
  state.counters["chars"] = static_cast<double>(length);
}

// Arguments: screens, views per screen.
BENCHMARK(BM_ContentsOfTheWholeTree)
    ->Args({20, 10})
    ->Args({5, 10})
    ->Args({80, 10})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
