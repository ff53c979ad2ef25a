// Descriptors and definitions on the path of every Submit: reading a
// descriptor down to its innermost element, composing one, and checking a
// method call against the catalogue.
//   build/default/bench/bench_descriptors --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

#include "descriptors/nvtrxdefinitions.h"
#include "descriptors/nvtrxodsutil.h"
#include "log/nvtrxresult.h"

namespace {

const TrxString kFourLevels =
    u"<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"><Obj ClassName=\"NorvScreen\" "
    u"RepositoryName=\"Accounts Screen\"><Obj ClassName=\"NorvView\" RepositoryName=\"Account List View\"><Obj "
    u"ClassName=\"NorvList\" RepositoryName=\"Account List Applet\"/></Obj></Obj></Obj>";

const std::vector<std::pair<TrxString, TrxString>> kChain = {
    {u"NorvApplication", u"Norvik"},
    {u"NorvScreen", u"Accounts Screen"},
    {u"NorvView", u"Account List View"},
    {u"NorvList", u"Account List Applet"},
};

// ParseODS, ValidateODS and the walk to the innermost element, as the
// hierarchy lookup reads a descriptor.
void BM_ParseValidateWalkFourLevels(benchmark::State& state) {
  for (auto _ : state) {
    CNVTRXXmlNode node;
    if (ParseODS(kFourLevels, &node) != TRX_OK) state.SkipWithError("ParseODS failed");
    bool valid = false;
    if (ValidateODS(node, valid) != TRX_OK || !valid) state.SkipWithError("ValidateODS failed");
    TrxString className, repositoryName;
    while (CNVTRXXmlNode child = node.GetLastChild()) node = std::move(child);
    GetODSClassName(node, className);
    GetODSRepositoryName(node, repositoryName);
    benchmark::DoNotOptimize(repositoryName.data());
  }
}
BENCHMARK(BM_ParseValidateWalkFourLevels);

// GetLeafNode, as GetObjectContents uses it.
void BM_GetLeafNodeFourLevels(benchmark::State& state) {
  for (auto _ : state) {
    CNVTRXXmlNode leaf;
    if (GetLeafNode(kFourLevels, &leaf) != TRX_OK) state.SkipWithError("GetLeafNode failed");
    benchmark::DoNotOptimize(leaf.GetIdentity());
  }
}
BENCHMARK(BM_GetLeafNodeFourLevels);

void BM_ComposeFourLevels(benchmark::State& state) {
  for (auto _ : state) {
    TrxString text = TrxComposeODS(kChain);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ComposeFourLevels);

// A method of the last class of the catalogue, with its tables and with
// the selection expressions run on the document.
void ValidateCall(benchmark::State& state, const CNVTRXObjectDefinitions& definitions) {
  const TrxVariant argument = TrxVariant::FromString(u"Send");
  for (auto _ : state) {
    const LONG result = definitions.ValidateMethodCall(u"NorvCommunicationsToolbar", u"GetButtonTooltip", &argument);
    if (result != TRX_OK) state.SkipWithError("ValidateMethodCall failed");
    benchmark::DoNotOptimize(result);
  }
}

void BM_ValidateMethodCallLastClass(benchmark::State& state) { ValidateCall(state, CNVTRXObjectDefinitions::Shared()); }
BENCHMARK(BM_ValidateMethodCallLastClass);

void BM_ValidateMethodCallLastClassQueries(benchmark::State& state) {
  static CNVTRXObjectDefinitions definitions(CNVTRXObjectDefinitions::Lookup::Queries);
  if (!definitions.IsLoaded()) definitions.Load();
  ValidateCall(state, definitions);
}
BENCHMARK(BM_ValidateMethodCallLastClassQueries);

void BM_LoadCatalogue(benchmark::State& state) {
  for (auto _ : state) {
    CNVTRXObjectDefinitions definitions;
    if (definitions.Load() != TRX_OK) state.SkipWithError("Load failed");
  }
}
BENCHMARK(BM_LoadCatalogue)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
