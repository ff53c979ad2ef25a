// The service and the sample client of a benchmark, on the calling thread:
// COM initialised apartment-threaded, the facade created, the client loaded
// and attached; everything undone at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "host/nvsimapplication.h"
#include "log/nvtrxlog.h"
#include "service/nvtrx.h"

struct TrxBenchService {
  explicit TrxBenchService(const std::string& appFile = SamplePath()) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CNVTRXLog::SetVerbose(false);
    CNVCoTRX::CreateInstance(nullptr, IID_INVTRXAutomation, facade.PutVoid());
    CNVSimLoadError error;
    client = CNVSimApplication::Load(TrxWiden(appFile), error);
    if (client) attached = client->Attach(facade.Get());
  }
  ~TrxBenchService() {
    if (client) client->Unload();
    client.Reset();
    facade.Reset();
    CoUninitialize();
  }
  TrxBenchService(const TrxBenchService&) = delete;
  TrxBenchService& operator=(const TrxBenchService&) = delete;

  // False, with the benchmark skipped, when the client did not load or attach.
  bool Ready(benchmark::State& state) const {
    if (client && SUCCEEDED(attached)) return true;
    state.SkipWithError("the client did not load or attach");
    return false;
  }

  static std::string SamplePath() {
    for (const char* candidate : {"samples/crm.xml", "../samples/crm.xml", "../../samples/crm.xml"})
      if (std::filesystem::exists(candidate)) return candidate;
    return "samples/crm.xml";
  }

  TrxComPtr<INVTRXAutomation> facade;
  TrxComPtr<CNVSimApplication> client;
  HRESULT attached = E_FAIL;
};
