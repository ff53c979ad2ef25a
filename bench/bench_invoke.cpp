// NWEInvoke round trip: hand-over to the request executor, the host call on
// the worker thread, the idle wait on the calling thread. The host answers
// at once and signals idle before it returns.
#include <benchmark/benchmark.h>

#include <atomic>

#include "model/nvtrxautomation.h"
#include "model/nvtrxservicestate.h"

namespace {

class ImmediateHost : public INVAutomation {
 public:
  ImmediateHost() : m_idle(CreateEventW(nullptr, TRUE, FALSE, OLESTR("NWEAutoSynchroEvt"))) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_INVAutomation)) {
      *ppv = static_cast<INVAutomation*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
  HRESULT STDMETHODCALLTYPE GetParent(INVAutomation**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChild(AUTO_OBJECTTYPE, BSTR, INVAutomation**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChildNames(AUTO_OBJECTTYPE, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR, VARIANT*, SHORT, VARIANT* value) override {
    value->vt = VT_I4;
    value->lVal = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAllProperties(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HandleAutoRequest(AUTO_REQID, VARIANT, VARIANT* result) override {
    VariantInit(result);
    SetEvent(m_idle.Get());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLastErrorCode(SHORT* code) override {
    *code = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLastErrorText(BSTR* text) override {
    *text = nullptr;
    return S_OK;
  }

 private:
  std::atomic<ULONG> m_refs{1};
  TrxHandle m_idle;
};

class Root : public CNVTRXAutomation {
 public:
  explicit Root(INVAutomation* host) : CNVTRXAutomation(OLESTR("Norvik"), nullptr) {
    m_strClassName = OLESTR("NorvApplication");
    m_spNWEAuto = host;
  }
};

void BM_NWEInvokeRoundTrip(benchmark::State& state) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CNVTRXServiceState serviceState;
    ImmediateHost host;
    Root root(&host);
    TrxVariant args = TrxVariant::FromString(OLESTR("Ctrl+S"));
    for (auto _ : state) {
      const TRXRESULT code = root.NWEInvoke(&host, REQID_PROCESSACCELERATOR, &args, TRXHOSTREF_KEEP, state.range(0));
      if (code != TRX_OK) state.SkipWithError("NWEInvoke failed");
    }
  }
  CoUninitialize();
}
BENCHMARK(BM_NWEInvokeRoundTrip)->Arg(TRXTIMING_NONE)->Arg(TRXTIMING_SET)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
