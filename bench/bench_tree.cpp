// A tool reading a whole tree control: for every node position, its text
// (GetTreeItemName) and its child count (GetChildCount), each one Submit.
// The generated trees have three levels, every node expanded. Recording is
// on, so the idle pause does not apply and the figure is the service's own
// cost for the walk.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench/trxbenchservice.h"

namespace {

struct Shape {
  int roots, children, grandchildren;
};

std::vector<std::string> Positions(const Shape& shape) {
  std::vector<std::string> positions;
  for (int r = 1; r <= shape.roots; ++r) {
    positions.push_back(std::to_string(r));
    for (int c = 1; c <= shape.children; ++c) {
      positions.push_back(std::to_string(r) + "." + std::to_string(c));
      for (int g = 1; g <= shape.grandchildren; ++g)
        positions.push_back(std::to_string(r) + "." + std::to_string(c) + "." + std::to_string(g));
    }
  }
  return positions;
}

int ChildCount(const Shape& shape, const std::string& position) {
  const auto dots = std::count(position.begin(), position.end(), '.');
  return dots == 0 ? shape.children : dots == 1 ? shape.grandchildren : 0;
}

std::string Generate(const Shape& shape) {
  const std::vector<std::string> positions = Positions(shape);
  const auto path = std::filesystem::temp_directory_path() /
                    ("trx-bench-tree-" + std::to_string(positions.size()) + ".xml");
  std::ofstream out(path);
  out << "<application name=\"Generated\" sessionId=\"GEN\" htmlId=\"s_0\">\n"
         "  <object type=\"NAVCONTROL\" name=\"Screen\" htmlId=\"s_sctrl\"/>\n"
         "  <screen name=\"Plans Screen\" displayName=\"Plans\">\n"
         "    <object type=\"VIEW\" name=\"Plan View\" displayName=\"Plans\">\n"
         "      <object type=\"APPLET\" name=\"Plan Tree Applet\" displayName=\"Plans\" htmlId=\"s_1\">\n"
         "        <object type=\"TREECONTROL\" name=\"NorvTree\" htmlId=\"s_1_t\">\n"
         "          <property name=\"ActiveItem\">1</property>\n"
         "          <property name=\"ItemText\" keyed=\"true\" value=\"Id\">\n";
  for (const std::string& p : positions) out << "            <entry key=\"" << p << "\" value=\"Node " << p << "\"/>\n";
  out << "          </property>\n"
         "          <property name=\"ItemChildCount\" type=\"int\" keyed=\"true\" value=\"0\">\n";
  for (const std::string& p : positions)
    out << "            <entry key=\"" << p << "\" value=\"" << ChildCount(shape, p) << "\"/>\n";
  out << "          </property>\n"
         "          <property name=\"ItemExpanded\" type=\"int\" value=\"1\"/>\n"
         "        </object>\n"
         "      </object>\n"
         "    </object>\n"
         "  </screen>\n"
         "</application>\n";
  return path.string();
}

void BM_WalkTheTree(benchmark::State& state) {
  const Shape shape{static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                    static_cast<int>(state.range(2))};
  TrxBenchService service(Generate(shape));
  if (!service.Ready(state)) return;
  TrxBstr message;
  LONG code = 0;
  service.facade->StartRecording(message.Put(), &code);
  TrxBstr tree(
      OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NorvScreen\" "
             "RepositoryName=\"Plans Screen\"><Obj ClassName=\"NorvView\" RepositoryName=\"Plan View\"><Obj "
             "ClassName=\"NorvApplet\" RepositoryName=\"Plan Tree Applet\"><Obj ClassName=\"NorvTree\" "
             "RepositoryName=\"NorvTree\"/></Obj></Obj></Obj></Obj>"));
  TrxBstr itemName(OLESTR("GetTreeItemName")), childCount(OLESTR("GetChildCount"));
  std::vector<TrxVariant> positions;
  for (const std::string& p : Positions(shape)) positions.push_back(TrxVariant::FromString(TrxWiden(p)));
  LONG failures = 0;
  for (auto _ : state) {
    for (const TrxVariant& position : positions) {
      for (BSTR method : {itemName.Get(), childCount.Get()}) {
        TrxVariant result;
        service.facade->Submit(tree.Get(), method, position, &result, message.Put(), &code);
        if (code != 0) ++failures;
      }
    }
  }
  service.facade->StopRecording(message.Put(), &code);
  state.counters["failures"] = failures;
  state.counters["nodes"] = static_cast<double>(positions.size());
}

// Arguments: roots, children per root, grandchildren per child (100, 500
// and 1,970 nodes).
BENCHMARK(BM_WalkTheTree)
    ->Args({4, 4, 5})
    ->Args({5, 9, 10})
    ->Args({10, 14, 13})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
