// Recorder events per second: a user action on the simulated client goes
// through INVTRX::FireRecorderEvent and reaches the tools connected at the
// service's connection point as Record.
//
// The action is an application-level keyboard accelerator (Ctrl+N: key
// code 78, Shift FALSE, Ctrl TRUE, Alt FALSE), played on the apartment
// thread with recording on and no log file. Each run connects one or two
// counting sinks; items_per_second counts actions, and "events_per_action"
// says how many Record calls each action gave (the number of sinks when
// every event arrived).
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>

#include "host/nvsimapplication.h"
#include "log/nvtrxlog.h"
#include "service/nvtrx.h"
#include "bench/trxbenchservice.h"

namespace {

using Service = TrxBenchService;

// A tool's receiver of _INVTRXEvents that counts the Record calls.
class CountingSink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID__INVTRXEvents)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  // Lives on the stack of the benchmark; the count only guards against
  // misuse.
  ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id != DISPID_INVTRXEVENTS_RECORD || !params || params->cArgs != 3) return DISP_E_MEMBERNOTFOUND;
    ++m_events;
    return S_OK;
  }

  bool Connect(IUnknown* service) {
    TrxComPtr<IConnectionPointContainer> container;
    if (FAILED(service->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()))) return false;
    if (FAILED(container->FindConnectionPoint(DIID__INVTRXEvents, m_point.Put())) || !m_point) return false;
    return SUCCEEDED(m_point->Advise(static_cast<IDispatch*>(this), &m_cookie));
  }
  void Disconnect() {
    if (m_point) m_point->Unadvise(m_cookie);
    m_point.Reset();
  }
  uint64_t Events() const { return m_events; }

 private:
  std::atomic<ULONG> m_references{0};
  std::atomic<uint64_t> m_events{0};
  TrxComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
};

void BM_RecordAccelerator(benchmark::State& state) {
  const int sinkCount = static_cast<int>(state.range(0));
  Service service;
  if (!service.Ready(state)) return;
  CountingSink sinks[2];
  for (int i = 0; i < sinkCount; ++i) {
    if (!sinks[i].Connect(service.facade.Get())) {
      state.SkipWithError("the service offers no connection point for its events");
      for (int j = 0; j < i; ++j) sinks[j].Disconnect();
      return;
    }
  }
  TrxBstr message;
  LONG code = 0;
  service.facade->StartRecording(message.Put(), &code);
  if (code != 0) {
    state.SkipWithError("StartRecording failed");
    for (int i = 0; i < sinkCount; ++i) sinks[i].Disconnect();
    return;
  }
  CNVSimUserAction action;
  action.eventId = REQID_PROCESSACCELERATOR;
  action.arguments = {{u"0", u"78"}, {u"1", u"FALSE"}, {u"2", u"TRUE"}, {u"3", u"FALSE"}};
  LONG failures = 0;
  for (auto _ : state) {
    if (service.client->Play(action) != S_OK) ++failures;
  }
  service.facade->StopRecording(message.Put(), &code);
  uint64_t events = 0;
  for (int i = 0; i < sinkCount; ++i) {
    events += sinks[i].Events();
    sinks[i].Disconnect();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["failures"] = failures;
  state.counters["events_per_action"] =
      state.iterations() ? static_cast<double>(events) / static_cast<double>(state.iterations()) : 0;
}

// Argument: the number of connected sinks.
BENCHMARK(BM_RecordAccelerator)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
